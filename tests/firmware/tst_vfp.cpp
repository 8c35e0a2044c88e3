// What the package reader passes is uploaded byte for byte, what it refuses
// never leaves the PC. Its CRC table meets the writer's bitwise CRC each load.
#include "config/wholefile.h"
#include "firmware/vfp.h"
#include "firmware/vfpwriter.h"

#include <QtTest>

#include <sys/stat.h>

namespace {

QStringList capturedLog;

// A package with one block for MCU id 2 carrying this frame stream.
QByteArray packageWith(const QByteArray &frameStream)
{
    return VfpWriter::text({{2, 1, 0, 0, frameStream, true, {}}});
}

} // namespace

class TestVfp : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString writePackage(const QByteArray &content)
    {
        const QString path = m_dir.filePath(QStringLiteral("package.vfp"));
        QFile::remove(path); // it may be a FIFO, which is not written over
        if (!WholeFile::write(path, content, nullptr))
            qFatal("cannot write the test package");
        return path;
    }

private slots:
    void initTestCase()
    {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &message) { capturedLog << message; });
    }

    void init() { capturedLog.clear(); }

    void parseResult_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<QString>("error"); // a piece of the refusal, where it matters

        const QByteArray good = VfpWriter::frame("firmware");
        const QByteArray badCrc = VfpWriter::frame("firmware", true);
        const QString sizeError = QStringLiteral("VFP: verifyVFP: file size error!");
        QTest::newRow("no header") << QByteArray("MAJOR=1\nMINOR=2\nDATA=" + good.toHex() + "\n") << 3 << QString() << QString();
        QTest::newRow("bad CRC") << packageWith(good + badCrc) << 2 << "VFP: verifyVFP: checksum error! 255 24 24" << QString();
        // The frame check names its line.
        QTest::newRow("bad CRC in the second block")
            << packageWith(good) + "[MCUID=9]\nDATA=" + badCrc.toHex() + "\n" << 2
            << "VFP: verifyVFP: checksum error! 255 12 12" << "line 7:";
        // The byte reads as a length of 0x0500, over the buffer's size; with
        // no body behind it, it is the file that is short.
        QTest::newRow("lone trailing byte") << packageWith(good + QByteArray::fromHex("05")) << 2 << sizeError << QString();
        // Two zero bytes leave the register at 0, so the CRC alone would pass
        // a frame that promises ten bytes and delivers two.
        QTest::newRow("cut frame, remains sum to 0")
            << packageWith(good + QByteArray::fromHex("000a0000")) << 2 << sizeError << QString();
        // A bare length field of 0 is a frame the reader takes.
        QTest::newRow("frame of no bytes") << packageWith(good + QByteArray(2, '\0')) << 0 << QString() << QString();
        QTest::newRow("frame fills the transmit buffer")
            << packageWith(VfpWriter::frame(QByteArray(508, 'x'))) << 0 << QString() << QString();
        QTest::newRow("frame one byte over the transmit buffer")
            << packageWith(VfpWriter::frame(QByteArray(509, 'x'))) << 2 << "VFP: verifyVFP: frame size error! 511 0 513"
            << QString();
        // Packages without a single frame: sent, they would leave a radio in
        // its bootloader with nothing written.
        const QString noFrames = QStringLiteral("VFP: parseFile: no block holds any frames");
        QTest::newRow("header only") << QByteArray("[MCUID=2]\n") << 4 << noFrames << QString();
        QTest::newRow("DATA on the header's line") << QByteArray("[MCUID=2] DATA=" + good.toHex() + "\n") << 4 << noFrames << QString();
        QTest::newRow("odd hex digit count") << QByteArray("[MCUID=2]\nDATA=" + good.toHex() + "0\n") << 2 << sizeError << QString();
        // Judged before they are read: a FIFO would block the open, a huge
        // file would take minutes. The content stands for what the file is.
        QTest::newRow("FIFO") << QByteArray("fifo") << 1 << QString() << "not a regular file";
        QTest::newRow("past 16 MiB") << QByteArray("large") << 1 << QString() << "too large: 16777217 bytes";
    }

    void parseResult()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, code);
        QFETCH(QString, logLine);
        QFETCH(QString, error);
        const QString path = writePackage(content);
        if (content == "fifo")
            QVERIFY(QFile::remove(path) && ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        else if (content == "large")
            QVERIFY(QFile::resize(path, VFP::maxFileBytes + 1));
        VFP vfp;
        QCOMPARE(vfp.parseFile(path), code);
        QCOMPARE(vfp.errorText().isEmpty(), code == 0);
        QVERIFY2(vfp.errorText().contains(error), qPrintable(vfp.errorText()));
        if (!logLine.isEmpty())
            QVERIFY2(!capturedLog.filter(logLine).isEmpty(), qPrintable(capturedLog.join(QLatin1Char('\n'))));
    }

    void lineRules_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("mcuId");
        QTest::addColumn<QString>("version"); // major.minor.revision

        const QByteArray frame = VfpWriter::frame("abc");
        const QByteArray hex = frame.toHex().toUpper();
        QTest::newRow("plain, lower-case hex")
            << QByteArray("[MCUID=5]\nMAJOR=3\nMINOR=4\nREVISION=77\nDATA=" + frame.toHex() + "\n") << 5 << "3.4.77";
        QTest::newRow("no final line feed") << QByteArray("[MCUID=2]\nDATA=" + hex + "\nREVISION=9") << 2 << "0.0.9";
        QTest::newRow("any order, last value wins, unknown lines ignored")
            << QByteArray("[MCUID=3]\nDATA=0000\nREVISION=1\nMAJOR=1\nCOMMENT=x\nDATA=" + hex + "\nMAJOR=6\nREVISION=2\n")
            << 3 << "6.0.2";
        QTest::newRow("lines before the header ignored")
            << QByteArray("DATA=zz0\nMAJOR=9\n; made by hand\n[MCUID=2]\nDATA=" + hex + "\n") << 2 << "0.0.0";
        QTest::newRow("malformed numbers read as 0")
            << QByteArray("[MCUID=x]\nMAJOR=one\nMINOR=99999999999\nREVISION=\nDATA=" + hex) << 0 << "0.0.0";
        QTest::newRow("header without bracket") << QByteArray("[MCUID=4\nDATA=" + hex) << 4 << "0.0.0";
        QTest::newRow("NUL ends the line's text")
            << QByteArray("[MCUID=2]\nDATA=" + hex + "\n") + QByteArray(1, '\0') + "DATA=0000\n" << 2 << "0.0.0";
    }

    void lineRules()
    {
        QFETCH(QByteArray, content);
        VFP vfp;
        QCOMPARE(vfp.parseFile(writePackage(content)), 0);
        QCOMPARE(vfp.blocks().size(), 1);
        const FirmwareBlock &block = vfp.blocks().first();
        QTEST(block.mcuId, "mcuId");
        QTEST(QStringLiteral("%1.%2.%3").arg(block.major).arg(block.minor).arg(block.revision), "version");
        QCOMPARE(block.data, VfpWriter::frame("abc"));
    }

    // The package maker's options, read back by the package reader.
    void packageMaker_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("mcuId");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QByteArray>("image");
        const QByteArray standard = VfpWriter::testImage(4096, 1);
        QTest::newRow("a block of its own, a byte a frame")
            << QStringList {"--block", "7:1000:2.1.30", "--frame-payload", "1", "--seed", "5"} << 0 << 7 << 30
            << VfpWriter::testImage(1000, 5);
        QTest::newRow("styles") << QStringList {"--spaced", "--crlf", "--lower", "--junk", "X=1", "--preamble", "; made"}
                                << 0 << 2 << 0 << standard;
        QTest::newRow("closed image") << QStringList {"--end-frame"} << 0 << 2 << 0 << standard;
        // A frame's length field counts its two CRC bytes too.
        QTest::newRow("no payload") << QStringList {"--frame-payload", "0"} << 2 << 2 << 0 << QByteArray();
        // Standard output takes nothing here: a package written to it fails.
        QTest::newRow("to a full standard output") << QStringList {"--block", "2:16", "-"} << 1 << 2 << 0 << QByteArray();
    }

    void packageMaker()
    {
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        const QString path = m_dir.filePath(QStringLiteral("made.vfp"));
        QProcess maker;
        maker.setStandardOutputFile(QStringLiteral("/dev/full"));
        maker.start(QStringLiteral(VELTRA_MAKE_VFP_EXE), options.contains(QStringLiteral("-")) ? options : options << path);
        QVERIFY(maker.waitForFinished(10000));
        QCOMPARE(maker.exitCode(), exitCode);
        if (exitCode != 0)
            return;
        QFile made(path);
        const QByteArray text = made.open(QIODevice::ReadOnly) ? made.readAll() : QByteArray();
        // The style options, each as asked and only then.
        const QByteArray data = text.mid(text.indexOf("DATA=") + 5, 40);
        QCOMPARE(data.at(2) == ' ', options.contains(QStringLiteral("--spaced")));
        QCOMPARE(data != data.toUpper(), options.contains(QStringLiteral("--lower")));
        QCOMPARE(text.contains("\r\n"), options.contains(QStringLiteral("--crlf")));
        VFP vfp;
        QCOMPARE(vfp.parseFile(path), 0);
        QTEST(vfp.blocks().first().mcuId, "mcuId");
        QTEST(vfp.blocks().first().revision, "revision");
        QTEST(VfpWriter::imageOf(vfp.blocks().first().data), "image");
        const bool closed = options.contains(QStringLiteral("--end-frame"));
        QCOMPARE(vfp.blocks().first().data.endsWith(VfpWriter::frame(QByteArray())), closed);
    }

    void selectBlock()
    {
        const QByteArray first = VfpWriter::frames(VfpWriter::testImage(40, 1), 16);
        const QByteArray second = VfpWriter::frames(VfpWriter::testImage(40, 2), 16);
        const VfpWriter::Block noData {3, 1, 0, 0, {}, false, {}};
        const QByteArray package = VfpWriter::text({noData, {7, 1, 0, 0, first, true, {}}, {7, 2, 0, 0, second, true, {}}});
        VFP vfp;
        QCOMPARE(vfp.parseFile(writePackage(package)), 0);
        QCOMPARE(vfp.blocks().size(), 3);

        capturedLog.clear();
        const QByteArray *chosen = vfp.selectBlock(7);
        QVERIFY(chosen);
        QCOMPARE(*chosen, first);
        QCOMPARE(capturedLog, (QStringList{QStringLiteral("VFP: Selecting firmware block with index 1"),
                                           QStringLiteral("Data[0:1] 0 18")}));

        capturedLog.clear();
        QVERIFY(!vfp.selectBlock(2));
        QVERIFY(capturedLog.isEmpty());

        // A file that cannot be opened leaves nothing of the last load behind.
        QCOMPARE(vfp.parseFile(m_dir.filePath(QStringLiteral("missing.vfp"))), 1);
        QVERIFY(vfp.blocks().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestVfp)
#include "tst_vfp.moc"
