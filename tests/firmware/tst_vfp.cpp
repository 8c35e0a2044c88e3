// The package reader decides whether a file may be sent to a radio's
// bootloader at all: what it passes is uploaded byte for byte, what it refuses
// never leaves the PC. These tests hold it to the file format, to the frame
// check and to the log lines support reads from customers' logs.
#include "firmware/vfp.h"
#include "firmware/vfpwriter.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList capturedLog;

void captureMessage(QtMsgType, const QMessageLogContext &, const QString &msg)
{
    capturedLog.append(msg);
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out.append(char(v));
    return out;
}

// A package with one block for MCU id 2 carrying this frame stream.
QByteArray packageWith(const QByteArray &frameStream)
{
    VfpWriter::Block block;
    block.data = frameStream;
    return VfpWriter::text({block});
}

} // namespace

class TestVfp : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QtMessageHandler m_previousHandler = nullptr;

    QString writePackage(const QByteArray &content)
    {
        const QString path = m_dir.filePath(QStringLiteral("package.vfp"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
            qFatal("cannot write the test package");
        return path;
    }

    bool logHas(const QString &prefix) const
    {
        for (const QString &line : capturedLog)
            if (line.startsWith(prefix))
                return true;
        return false;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void init()
    {
        capturedLog.clear();
        m_previousHandler = qInstallMessageHandler(captureMessage);
    }

    void cleanup() { qInstallMessageHandler(m_previousHandler); }

    void crcCheckValues_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("expected");
        QTest::newRow("digits then two zeros give the check value") << QByteArray("123456789", 9) + bytes({0, 0}) << 0xFEE8;
        QTest::newRow("digits then their CRC give 0") << QByteArray("123456789") + bytes({0xFE, 0xE8}) << 0;
        QTest::newRow("a single one bit reaches the polynomial") << bytes({1, 0, 0}) << 0x8005;
        QTest::newRow("empty") << QByteArray() << 0;
    }

    void crcCheckValues()
    {
        QFETCH(QByteArray, message);
        QFETCH(int, expected);
        quint16 table = 0;
        quint16 bitwise = 0;
        for (const char c : message) {
            table = VFP::crcUpdate(quint8(c), table);
            bitwise = VFP::crcUpdateBitwise(quint8(c), bitwise);
        }
        QCOMPARE(int(table), expected);
        QCOMPARE(int(bitwise), expected);
    }

    void crcTableMatchesBitwiseForEveryStep()
    {
        // Every register value with every byte: the two forms are one function.
        for (int crc = 0; crc <= 0xFFFF; ++crc)
            for (int byte = 0; byte <= 0xFF; ++byte)
                if (VFP::crcUpdate(quint8(byte), quint16(crc)) != VFP::crcUpdateBitwise(quint8(byte), quint16(crc)))
                    QFAIL(qPrintable(QStringLiteral("differs at crc %1 byte %2").arg(crc, 4, 16).arg(byte, 2, 16)));
    }

    void crcAgreesWithPlainFormOnRandomData()
    {
        // The augmented register over payload + 00 00 is the payload's CRC,
        // and over payload + CRC it is 0: this is what the frame check and
        // the package writer each rely on.
        QRandomGenerator random(20240611);
        for (int round = 0; round < 200; ++round) {
            QByteArray payload(int(random.bounded(600)), Qt::Uninitialized);
            for (char &c : payload)
                c = char(random.bounded(256));
            quint16 table = 0;
            quint16 bitwise = 0;
            for (const char c : payload + bytes({0, 0})) {
                table = VFP::crcUpdate(quint8(c), table);
                bitwise = VFP::crcUpdateBitwise(quint8(c), bitwise);
            }
            const quint16 plain = VfpWriter::crc16(payload);
            QCOMPARE(table, plain);
            QCOMPARE(bitwise, plain);
            quint16 closed = 0;
            for (const char c : payload + bytes({plain >> 8, plain & 0xFF}))
                closed = VFP::crcUpdate(quint8(c), closed);
            QCOMPARE(int(closed), 0);
        }
    }

    void parseResult_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("logLine");

        const QByteArray good = VfpWriter::frame("firmware");
        const QByteArray badCrc = VfpWriter::frame("firmware", true);
        QTest::newRow("no header") << QByteArray("MAJOR=1\nMINOR=2\nDATA=" + good.toHex() + "\n") << 3 << QString();
        QTest::newRow("empty file") << QByteArray() << 3 << QString();
        QTest::newRow("header only") << QByteArray("[MCUID=2]\n") << 0 << QString();
        QTest::newRow("one good frame") << packageWith(good) << 0 << QString();
        QTest::newRow("empty DATA") << packageWith(QByteArray()) << 0 << QString();
        QTest::newRow("empty frame") << packageWith(bytes({0, 0})) << 0 << QString();
        QTest::newRow("bad CRC") << packageWith(good + badCrc) << 2 << "VFP: verifyVFP: checksum error! 255 24 24";
        QTest::newRow("lone trailing byte") << packageWith(good + bytes({0x05})) << 2 << "VFP: verifyVFP: file size error!";
        QTest::newRow("lone trailing zero byte") << packageWith(good + bytes({0})) << 2 << "VFP: verifyVFP: file size error!";
        QTest::newRow("bare length field at the end")
            << packageWith(good + bytes({0x00, 0x10})) << 2 << "VFP: verifyVFP: file size error!";
        QTest::newRow("cut frame, remains off") << packageWith(good + good.left(7)) << 2 << "VFP: verifyVFP: checksum error!";
        // Two zero bytes leave the register at 0, so the CRC alone would pass
        // a frame that promises ten bytes and delivers two.
        QTest::newRow("cut frame, remains sum to 0")
            << packageWith(good + bytes({0x00, 0x0A, 0x00, 0x00})) << 2 << "VFP: verifyVFP: file size error!";
        QTest::newRow("frame fills the transmit buffer")
            << packageWith(VfpWriter::frame(QByteArray(508, 'x'))) << 0 << QString();
        QTest::newRow("frame one byte over the transmit buffer")
            << packageWith(VfpWriter::frame(QByteArray(509, 'x'))) << 2 << "VFP: verifyVFP: frame size error! 511 0 513";
        QTest::newRow("cut frame longer than the buffer")
            << packageWith(VfpWriter::frame(QByteArray(2000, 'x')).left(300)) << 2 << "VFP: verifyVFP: frame size error!";
        QTest::newRow("odd hex digit count")
            << QByteArray("[MCUID=2]\nDATA=" + good.toHex() + "0\n") << 2 << "VFP: verifyVFP: file size error!";
    }

    void parseResult()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, code);
        QFETCH(QString, logLine);
        VFP vfp;
        QCOMPARE(vfp.parseFile(writePackage(content)), code);
        if (!logLine.isEmpty())
            QVERIFY2(logHas(logLine), qPrintable(capturedLog.join(QLatin1Char('\n'))));
    }

    void unopenableFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("missing.vfp"));
        QTest::newRow("directory") << m_dir.path();
    }

    void unopenableFile()
    {
        QFETCH(QString, path);
        VFP vfp;
        QCOMPARE(vfp.parseFile(writePackage(VfpWriter::text({VfpWriter::imageBlock(2, "abc")}))), 0);
        QCOMPARE(vfp.parseFile(path), 1);
        QVERIFY(vfp.blocks().isEmpty());
        QVERIFY(!vfp.selectBlock(2));
    }

    void lineRules_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("mcuId");
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QByteArray>("data");

        const QByteArray frame = VfpWriter::frame("abc");
        const QByteArray hex = frame.toHex().toUpper();
        QTest::newRow("plain") << QByteArray("[MCUID=5]\nMAJOR=3\nMINOR=4\nREVISION=77\nDATA=" + hex + "\n")
                               << 5 << 3 << 4 << 77 << frame;
        QTest::newRow("CR LF") << QByteArray("[MCUID=2]\r\nMAJOR=1\r\nDATA=" + hex + "\r\n") << 2 << 1 << 0 << 0 << frame;
        QTest::newRow("no final line feed") << QByteArray("[MCUID=2]\nREVISION=9") << 2 << 0 << 0 << 9 << QByteArray();
        QTest::newRow("spaces in DATA") << QByteArray("[MCUID=2]\nDATA=" + frame.toHex(' ') + "\n")
                                        << 2 << 0 << 0 << 0 << frame;
        QTest::newRow("lower case DATA") << QByteArray("[MCUID=2]\nDATA=" + frame.toHex() + "\n")
                                         << 2 << 0 << 0 << 0 << frame;
        QTest::newRow("any order, last value wins")
            << QByteArray("[MCUID=3]\nDATA=0000\nREVISION=1\nMAJOR=1\nDATA=" + hex + "\nMAJOR=6\nREVISION=2\n")
            << 3 << 6 << 0 << 2 << frame;
        QTest::newRow("lines before the header ignored")
            << QByteArray("DATA=zz0\nMAJOR=9\n; made by hand\n[MCUID=2]\nDATA=" + hex + "\n")
            << 2 << 0 << 0 << 0 << frame;
        QTest::newRow("unknown lines ignored") << QByteArray("[MCUID=2]\nCOMMENT=nothing here\n\nDATA=" + hex + "\n")
                                               << 2 << 0 << 0 << 0 << frame;
        QTest::newRow("malformed numbers read as 0")
            << QByteArray("[MCUID=x]\nMAJOR=one\nMINOR=99999999999\nREVISION=\n") << 0 << 0 << 0 << 0 << QByteArray();
        QTest::newRow("header with trailing text") << QByteArray("[MCUID=12] radio main\n") << 12 << 0 << 0 << 0 << QByteArray();
        QTest::newRow("header without bracket") << QByteArray("[MCUID=4\n") << 4 << 0 << 0 << 0 << QByteArray();
        QTest::newRow("NUL ends the line's text")
            << QByteArray("[MCUID=2]\nDATA=" + hex + "\nnote") + bytes({0}) + "DATA=0000\n" << 2 << 0 << 0 << 0 << frame;
    }

    void lineRules()
    {
        QFETCH(QByteArray, content);
        VFP vfp;
        QCOMPARE(vfp.parseFile(writePackage(content)), 0);
        QCOMPARE(vfp.blocks().size(), 1);
        const FirmwareBlock &block = vfp.blocks().first();
        QTEST(block.mcuId, "mcuId");
        QTEST(block.major, "major");
        QTEST(block.minor, "minor");
        QTEST(block.revision, "revision");
        QTEST(block.data, "data");
    }

    void generatedPackagesRoundTrip_data()
    {
        QTest::addColumn<int>("imageSize");
        QTest::addColumn<int>("payload");
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<int>("spaceEvery");
        QTest::newRow("one-byte frames") << 300 << 1 << QByteArray("\n") << 0;
        QTest::newRow("typical") << 20000 << 256 << QByteArray("\n") << 0;
        QTest::newRow("largest frames, CR LF") << 20000 << 508 << QByteArray("\r\n") << 0;
        QTest::newRow("ragged last frame, spaced") << 1001 << 100 << QByteArray("\n") << 3;
    }

    void generatedPackagesRoundTrip()
    {
        QFETCH(int, imageSize);
        QFETCH(int, payload);
        QFETCH(QByteArray, lineEnd);
        QFETCH(int, spaceEvery);
        const QByteArray radio = VfpWriter::testImage(imageSize, 1);
        const QByteArray addon = VfpWriter::testImage(imageSize / 2, 2);
        VfpWriter::Style style;
        style.lineEnd = lineEnd;
        style.spaceEvery = spaceEvery;
        VfpWriter::Block first = VfpWriter::imageBlock(2, radio, payload);
        first.major = 4;
        first.minor = 1;
        first.revision = 983;
        VFP vfp;
        QCOMPARE(vfp.parseFile(writePackage(VfpWriter::text({first, VfpWriter::imageBlock(9, addon, payload)}, style))), 0);
        QCOMPARE(vfp.blocks().size(), 2);
        QCOMPARE(vfp.blocks().at(0).revision, 983);
        QCOMPARE(VfpWriter::imageOf(*vfp.selectBlock(2)), radio);
        QCOMPARE(VfpWriter::imageOf(*vfp.selectBlock(9)), addon);
    }

    void selectBlock()
    {
        const QByteArray first = VfpWriter::frames(VfpWriter::testImage(40, 1), 16);
        const QByteArray second = VfpWriter::frames(VfpWriter::testImage(40, 2), 16);
        VfpWriter::Block noData;
        noData.mcuId = 3;
        noData.withData = false;
        VFP vfp;
        QCOMPARE(vfp.parseFile(writePackage(VfpWriter::text(
                     {noData, VfpWriter::Block{7, 1, 0, 0, first, true, {}}, VfpWriter::Block{7, 2, 0, 0, second, true, {}}}))),
                 0);
        QCOMPARE(vfp.blocks().size(), 3);

        capturedLog.clear();
        const QByteArray *chosen = vfp.selectBlock(7);
        QVERIFY(chosen);
        QCOMPARE(*chosen, first);
        QCOMPARE(capturedLog, (QStringList{QStringLiteral("VFP: Selecting firmware block with index 1"),
                                           QStringLiteral("Data[0:1] 0 18")}));

        const QByteArray *empty = vfp.selectBlock(3);
        QVERIFY(empty);
        QVERIFY(empty->isEmpty());

        capturedLog.clear();
        QVERIFY(!vfp.selectBlock(2));
        QVERIFY(capturedLog.isEmpty());
    }

    void failingBlockKeepsEarlierOnes()
    {
        VfpWriter::Block broken = VfpWriter::imageBlock(9, "addon");
        broken.data = VfpWriter::frames("addon", 8, {0});
        VFP vfp;
        QCOMPARE(vfp.parseFile(writePackage(VfpWriter::text({VfpWriter::imageBlock(2, "radio"), broken}))), 2);
        QCOMPARE(vfp.blocks().size(), 1);
        QCOMPARE(vfp.blocks().first().mcuId, 2);
        QVERIFY(!vfp.selectBlock(9));
    }

    void logLinesOfALoad()
    {
        // The exact lines a load leaves in the support log.
        VFP vfp;
        QCOMPARE(vfp.parseFile(writePackage("[MCUID=7]\nDATA=0004 41 42 07 89 0000\n")), 0);
        QCOMPARE(capturedLog, (QStringList{
            QStringLiteral("MCUID: 7"),
            QStringLiteral("Data[0:1] 0 4"),
            QStringLiteral("VFP: verifyVFP: frameSize: 4"),
            QStringLiteral("VFP:  0 41"),
            QStringLiteral("VFP:  41 42"),
            QStringLiteral("VFP:  4142 7"),
            QStringLiteral("VFP:  4381 89"),
            QStringLiteral("VFP:  0"),
            QStringLiteral("VFP: verifyVFP: frameSize: 0"),
            QStringLiteral("VFP:  0"),
        }));
    }

    void endlessLineIsRefused()
    {
        // A file with no line ends at all, longer than any image could be,
        // must be refused rather than read into memory whole.
        const QString path = m_dir.filePath(QStringLiteral("endless.vfp"));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[MCUID=2]\nDATA=");
            QVERIFY(file.resize(VFP::maxLineBytes + 64));
        }
        VFP vfp;
        QCOMPARE(vfp.parseFile(path), 2);
        QFile::remove(path);
    }
};

QTEST_GUILESS_MAIN(TestVfp)
#include "tst_vfp.moc"
