// The dongle's own firmware update: the refusals before the dongle is touched,
// and the real avrdude writing into the virtual dongle on a pseudo-terminal.
#include "app/wiring.h"
#include "config/configurator.h"
#include "usb/serialportdriver.h"
#include "usb/ptyserver.h"
#include "usb/simrig.h"
#include "firmware/dongleprogrammer.h"
#include "firmware/vfpwriter.h"

#include <QGuiApplication>
#include <QtTest>

#include <signal.h>

namespace {

// An avrdude of the test's own, at `folder`/avrdude.
bool writeProgrammer(const QString &folder, const QByteArray &script)
{
    const QString path = folder + QStringLiteral("/avrdude");
    return QDir().mkpath(folder) && WholeFile::write(path, "#!/bin/sh\n" + script, nullptr)
           && QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
}

// Notes where it runs and what it was given, then hands over to the real one.
bool writeRecordingProgrammer(const QString &folder, const QString &avrdude)
{
    return writeProgrammer(folder, "pwd > \"$0.cwd\"\nprintf '%s\\n' \"$@\" > \"$0.args\"\nexec '" + avrdude.toLocal8Bit()
                                       + "' \"$@\"\n");
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestDongleUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestLog::install(); }

    // Each refusal with its reason, the dongle left in its application: a
    // file is judged by its own name, not its folder's.
    void refused_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("plugged");
        QTest::addColumn<QString>("reason");
        QTest::newRow("wrong dongle's file") << "veltra_dongle_3/veltra_dongle_2.hex" << true << "wrong_dongle_file";
        QTest::newRow("missing file") << "missing/veltra_dongle_3.hex" << true << "file_not_found";
        QTest::newRow("a folder by the file's name") << "folder/veltra_dongle_3.hex" << true << "not_a_file";
        // The in-process dongle has no port to hand to avrdude.
        QTest::newRow("no port") << "veltra_dongle_3.hex" << true << "no_port";
        QTest::newRow("no avrdude on the PATH") << "veltra_dongle_3.hex" << true << "no_programmer";
        QTest::newRow("no dongle") << "veltra_dongle_3.hex" << false << "no_dongle";
    }

    void refused()
    {
        QFETCH(QString, file);
        QFETCH(bool, plugged);
        QTemporaryDir dir;
        const QString path = dir.filePath(file);
        const bool folder = file.startsWith(QLatin1String("folder"));
        QVERIFY(QDir().mkpath(folder ? path : QFileInfo(path).path()));
        if (!folder && !file.startsWith(QLatin1String("missing")))
            QVERIFY(writeIntelHex(path, VfpWriter::testImage(256)));
        SimRig rig;
        if (!plugged) {
            rig.dongle->unplug();
            QTRY_COMPARE(rig.usbd->usbDongleType, 0);
        }
        Configurator configurator(rig.usbd.get());
        configurator.workingDirectoryPath = dir.path() + QLatin1Char('/');
        QSignalSpy ended(&configurator, &Configurator::updateFinished);
        const QByteArray searchPath = qgetenv("PATH");
        if (QByteArray(QTest::currentDataTag()).contains("PATH"))
            qputenv("PATH", QFile::encodeName(dir.path()));
        configurator.firmwareUpdate(Configurator::dongle_update, path);
        qputenv("PATH", searchPath);
        QCOMPARE(ended.count(), 1);
        QTEST(configurator.updateReason(), "reason");
        QCOMPARE(rig.dongle->mode(), VirtualDongle::Mode::Application);
        QCOMPARE(rig.usbd->usbDongleType, plugged ? 3 : 0);
    }

    void avrdudeWritesTheDongle_data()
    {
        QTest::addColumn<bool>("sound");
        QTest::addColumn<bool>("cancelFirst");
        QTest::newRow("sound file") << true << false;
        QTest::newRow("file avrdude refuses") << false << false;
        // Stopped half way, the dongle waits in its bootloader for the next update.
        QTest::newRow("cancelled, then again") << true << true;
    }

    void avrdudeWritesTheDongle()
    {
        QFETCH(bool, sound);
        QFETCH(bool, cancelFirst);

        const QString avrdude = QStandardPaths::findExecutable(QStringLiteral("avrdude"));
        QVERIFY2(!avrdude.isEmpty(), "avrdude is not installed (tools/deps.sh installs it)");
        // Paced like a real line, so that avrdude's bars fill cell by cell.
        PtyServer server({QStringLiteral("r9,wire=real,latency=1")});

        QTemporaryDir dir;
        const QString start = QFileInfo(dir.path()).canonicalFilePath();
        const QString programmerFolder = start + QStringLiteral("/avrdude");
        QVERIFY(writeRecordingProgrammer(programmerFolder, avrdude));
        // Everything a shell would act on, in the folder of a properly named file.
        const QString folder = start + QStringLiteral("/fw \"quoted\" it's $(touch x) `touch y`");
        QVERIFY(QDir().mkpath(folder));
        const QString hexPath = folder + QStringLiteral("/veltra_dongle_3.hex");
        const QByteArray image = VfpWriter::testImage(3000, 3);
        QVERIFY(writeIntelHex(hexPath, image, !sound));

        Usbd usbd(std::make_unique<SerialPortDriver>(server.path));
        QVERIFY(QTest::qWaitFor([&] { return usbd.usbDongleType == 3; }, 5000));
        Configurator configurator(&usbd);
        connectSession(&usbd, &configurator, nullptr);
        configurator.workingDirectoryPath = start + QLatin1Char('/');
        QList<int> progress;
        connect(&configurator, &Configurator::ProgressChanged, this, [&] {
            if (progress.isEmpty() || progress.last() != configurator.isProgress())
                progress << configurator.isProgress();
        });
        QSignalSpy ended(&configurator, &Configurator::updateFinished);
        const QString url = QUrl::fromLocalFile(hexPath).toString(QUrl::FullyEncoded);

        if (cancelFirst) {
            configurator.firmwareUpdate(Configurator::dongle_update, url);
            QVERIFY(QTest::qWaitFor([&] { return configurator.isProgress() >= 10; }, 20000));
            configurator.cancelUpdate(Configurator::dongle_update, QString());
            QVERIFY(ended.wait(10000));
            QCOMPARE(configurator.updateOutcome(), int(Configurator::UpdateCanceled));
            QVERIFY(QTest::qWaitFor([&] { return usbd.usbDongleType == 4; }, 5000));
            ended.clear();
            progress.clear();
        }

        // A radio read before is not shown once avrdude has the dongle.
        if (!cancelFirst) {
            configurator.on_connect_clicked();
            QVERIFY(QTest::qWaitFor([&] { return !configurator.istrxVersion().isEmpty(); }, 10000));
        }
        configurator.firmwareUpdate(Configurator::dongle_update, url);
        // The call returns at once; avrdude runs beside the event loop.
        QVERIFY(configurator.dongleUpdateRunning());
        QCOMPARE(configurator.istrxVersion(), QString());
        QCOMPARE(ended.count(), 0);
        QVERIFY(ended.wait(60000));
        QCOMPARE(ended.count(), 1);
        QCOMPARE(configurator.updateOutcome(), int(sound ? Configurator::UpdateComplete : Configurator::UpdateFailed));
        QCOMPARE(configurator.updateReason(), sound ? QString() : QStringLiteral("dongle_failed"));

        // Word for word, the folder's name included: no shell stood between.
        QCOMPARE(QString::fromLocal8Bit(readAll(programmerFolder + "/avrdude.args")).split('\n', Qt::SkipEmptyParts),
                 (QStringList {"-p", "m324p", "-c", "arduino", "-b", "57600", "-P", server.path, "-U", "flash:w:" + hexPath + ":i"}));
        QCOMPARE(QString::fromLocal8Bit(readAll(programmerFolder + "/avrdude.cwd").trimmed()), programmerFolder);

        if (sound) {
            // The bar moved with avrdude's own, step by step, to its end.
            QVERIFY2(progress.size() >= 3, qPrintable(QString::number(progress.size())));
            QCOMPARE(progress.last(), 100);
            const QString dump = start + QStringLiteral("/flash.bin");
            server.command("flash " + dump.toLocal8Bit());
            QCOMPARE(server.nextLine(), QStringLiteral("flash saved"));
            const QByteArray written = readAll(dump);
            QCOMPARE(written.left(image.size()), image);
            QCOMPARE(written.mid(image.size()), QByteArray(written.size() - image.size(), char(0xFF)));
        }
        // The dongle is found again, whichever firmware it runs, its link free.
        QVERIFY(QTest::qWaitFor([&] { return usbd.usbDongleType == 3 || usbd.usbDongleType == 4; }, 5000));
        QVERIFY(linkFree(usbd));
    }

    // Closed half way through, the program leaves neither avrdude running nor
    // the link locked, and tears avrdude down itself rather than leave it to Qt.
    void closedDuringAnUpdate()
    {
        PtyServer server({QStringLiteral("r9")});
        QTemporaryDir dir;
        const QString pidFile = dir.filePath(QStringLiteral("avrdude.pid"));
        QVERIFY(writeProgrammer(dir.filePath(QStringLiteral("avrdude")), "echo $$ > '" + pidFile.toLocal8Bit() + "'\nexec sleep 30\n"));
        QVERIFY(writeIntelHex(dir.filePath(QStringLiteral("veltra_dongle_3.hex")), VfpWriter::testImage(256)));
        Usbd usbd(std::make_unique<SerialPortDriver>(server.path));
        QVERIFY(QTest::qWaitFor([&] { return usbd.usbDongleType == 3; }, 5000));
        auto configurator = std::make_unique<Configurator>(&usbd);
        configurator->workingDirectoryPath = dir.path() + QLatin1Char('/');
        configurator->firmwareUpdate(Configurator::dongle_update, dir.filePath(QStringLiteral("veltra_dongle_3.hex")));
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo(pidFile).size() > 0; }, 10000));
        const pid_t pid = pid_t(readAll(pidFile).trimmed().toLongLong());
        TestLog::clear();
        configurator.reset();
        QCOMPARE(::kill(pid, 0), -1);
        QVERIFY(linkFree(usbd));
        QMutexLocker locker(&TestLog::mutex);
        QCOMPARE(TestLog::lines.filter(QStringLiteral("Destroyed while")), QStringList());
    }

    // Started from a menu, the program runs in some other folder: the avrdude
    // beside it comes first, then the start-up folder's, then the PATH's.
    void programmerIsFoundBesideTheProgramFirst_data()
    {
        QTest::addColumn<bool>("beside");
        QTest::addColumn<bool>("underStart");
        QTest::addColumn<QString>("found"); // the folder found; none: the PATH's
        QTest::newRow("both") << true << true << "program/avrdude";
        QTest::newRow("under the start-up folder only") << false << true << "start/avrdude";
        QTest::newRow("neither") << false << false << "";
    }

    void programmerIsFoundBesideTheProgramFirst()
    {
        QFETCH(bool, beside);
        QFETCH(bool, underStart);
        QFETCH(QString, found);
        const QString onPath = QStandardPaths::findExecutable(QStringLiteral("avrdude"));
        QVERIFY2(!onPath.isEmpty(), "avrdude is not installed (tools/deps.sh installs it)");
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("program"));
        const QString start = dir.filePath(QStringLiteral("start"));
        if (beside)
            QVERIFY(writeRecordingProgrammer(program + QStringLiteral("/avrdude"), onPath));
        if (underStart)
            QVERIFY(writeRecordingProgrammer(start + QStringLiteral("/avrdude"), onPath));
        QString folder;
        const QString path = Configurator::findDongleProgrammer(program, start, &folder);
        QCOMPARE(folder, found.isEmpty() ? QString() : dir.filePath(found));
        QCOMPARE(path, found.isEmpty() ? onPath : dir.filePath(found + "/avrdude"));
    }

    // avrdude holds the dongle's port until it exits: killed with its parent
    // (kill -9, where no handler runs), it must not live on.
    void programmerEndsWithItsParent()
    {
    #ifndef Q_OS_LINUX
        QSKIP("the kernel's parent-death signal is Linux's");
    #else
        QTemporaryDir dir;
        const QString pidFile = dir.filePath(QStringLiteral("avrdude.pid"));
        QVERIFY(writeProgrammer(dir.path(), "echo $$ > '" + pidFile.toLocal8Bit() + "'\nexec sleep 30\n"));
        // The parent is this suite, started again in a child of its own.
        QProcess parent;
        parent.start(QCoreApplication::applicationFilePath(), {QStringLiteral("-programmer-child"), dir.filePath(QStringLiteral("avrdude"))});
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(pidFile) && QFileInfo(pidFile).size() > 0; }, 10000));
        const qint64 pid = readAll(pidFile).trimmed().toLongLong();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid_t(pid), 0), 0);
        parent.kill();
        QVERIFY(parent.waitForFinished(5000));
        QVERIFY2(QTest::qWaitFor([&] { return ::kill(pid_t(pid), 0) != 0; }, 5000), "avrdude outlived its parent");
    #endif
    }

    void progressFromAvrdudeOutput_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("lines");
        const QByteArray full = QByteArray(50, '#') + " | 100% 0.84s\n";
        QTest::newRow("writing half way, no terminal") << "avrdude: writing\nWriting | " + QByteArray(25, '#') << 25 << 2;
        QTest::newRow("written, verifying begun") << "Writing | " + full + "Reading | ##########" << 60 << 2;
        QTest::newRow("written and verified") << "Writing | " + full + "Reading | " + full << 100 << 2;
        // Older avrdude reads the signature with a bar of its own first.
        QTest::newRow("a read before the write") << "Reading | " + full + "Writing | ##" << 2 << 2;
        // With a terminal the line is drawn again after a carriage return.
        QTest::newRow("redrawn bar") << QByteArray("\rWriting | ##########                                         |  20% 0.1s"
                                                   "\rWriting | ####################                               |  40% 0.2s")
                                     << 20 << 2;
        QTest::newRow("no bar") << QByteArray("avrdude: ser_open(): can't open device\n") << 0 << 1;
    }

    void progressFromAvrdudeOutput()
    {
        QFETCH(QByteArray, output);
        QFETCH(int, percent);
        // Fed in pieces as a pipe delivers them: the count does not depend on
        // where the pieces break, and a bar drawn again never goes back.
        AvrdudeOutput whole, pieces;
        const QStringList all = whole.feed(output);
        QStringList split;
        for (int at = 0, shown = 0; at < output.size(); at += 3, shown = pieces.percent()) {
            split += pieces.feed(output.mid(at, 3));
            QVERIFY(pieces.percent() >= shown);
        }
        QCOMPARE(whole.percent(), percent);
        QCOMPARE(pieces.percent(), percent);
        QCOMPARE(split, all);
        QTEST(int(all.size()) + (whole.rest().isEmpty() ? 0 : 1), "lines");
    }
};

int main(int argc, char *argv[])
{
    // As programmerEndsWithItsParent's parent: starts avrdude, waits to be killed.
    QGuiApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "-programmer-child") == 0) {
        DongleProgrammer programmer;
        programmer.start(QString::fromLocal8Bit(argv[2]), {}, QString());
        QTimer::singleShot(60000, &app, &QCoreApplication::quit);
        return app.exec();
    }
    TestDongleUpdate test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_dongleupdate.moc"
