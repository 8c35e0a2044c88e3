// The dongle's own firmware update: the checks that refuse a file before the
// dongle is touched, and the real avrdude writing a generated Intel HEX file
// into the virtual dongle's bootloader served on a pseudo-terminal.
#include "app/wiring.h"
#include "config/configurator.h"
#include "usb/serialportdriver.h"
#include "usb/simrig.h"
#include "firmware/vfpwriter.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

namespace {

// The virtual dongle on a pseudo-terminal; ends with the test.
struct PtyServer
{
    PtyServer()
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(VELTRA_SIM_PTY_EXE), {QStringLiteral("r9")});
        path = nextLine();
    }
    ~PtyServer()
    {
        process.closeWriteChannel(); // its last command: none left, it keeps serving
        process.terminate();
        process.waitForFinished(3000);
    }
    QString nextLine()
    {
        const bool line = QTest::qWaitFor([this] {
            return process.canReadLine() || (process.waitForReadyRead(50) && process.canReadLine());
        }, 10000);
        return line ? QString::fromLocal8Bit(process.readLine()).trimmed() : QString();
    }
    QProcess process;
    QString path;
};

// Intel HEX for `image` at address 0: 16-byte data records, then the end
// record; with badChecksum the first record's checksum is off by one.
bool writeIntelHex(const QString &path, const QByteArray &image, bool badChecksum = false)
{
    QByteArray text;
    const auto record = [&text](int address, char type, const QByteArray &data, bool bad) {
        QByteArray bytes;
        bytes.append(char(data.size())).append(char(address >> 8)).append(char(address)).append(type).append(data);
        quint8 sum = 0;
        for (char c : bytes)
            sum = quint8(sum - quint8(c));
        bytes.append(char(bad ? sum + 1 : sum));
        text += ':' + bytes.toHex().toUpper() + '\n';
    };
    for (int address = 0; address < image.size(); address += 16)
        record(address, 0x00, image.mid(address, 16), badChecksum && address == 0);
    record(0, 0x01, QByteArray(), false);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// Stands in the avrdude folder: notes where it runs and what it was given,
// then hands over to the real avrdude.
bool writeRecordingProgrammer(const QString &folder, const QString &avrdude)
{
    QDir().mkpath(folder);
    QFile script(QDir(folder).filePath(QStringLiteral("avrdude")));
    if (!script.open(QIODevice::WriteOnly))
        return false;
    script.write("#!/bin/sh\npwd > \"$0.cwd\"\nprintf '%s\\n' \"$@\" > \"$0.args\"\nexec '"
                 + avrdude.toLocal8Bit() + "' \"$@\"\n");
    script.close();
    return script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
}

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

} // namespace

class TestDongleUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestLog::install(); }
    void refused_data();
    void refused();
    void avrdudeWritesTheDongle_data();
    void avrdudeWritesTheDongle();
};

void TestDongleUpdate::refused_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("create");
    QTest::addColumn<bool>("dongle");
    QTest::addColumn<QString>("message");

    const QString wrongFile = QStringLiteral("Wrong firmware file for this dongle!");
    QTest::newRow("generation 2 file") << "veltra_dongle_2.hex" << true << true << wrongFile;
    QTest::newRow("generation only in the folder") << "veltra_dongle_3/veltra_dongle_2.hex" << true << true << wrongFile;
    QTest::newRow("missing file") << "veltra_dongle_3.hex" << false << true << "File not found!";
    QTest::newRow("no dongle") << "veltra_dongle_3.hex" << true << false
                               << "No dongle found! Please connect the dongle.";
    QTest::newRow("no port to hand over") << "veltra_dongle_3.hex" << true << true
                                          << "The dongle has no serial port for the programmer!";
}

void TestDongleUpdate::refused()
{
    QFETCH(QString, file);
    QFETCH(bool, create);
    QFETCH(bool, dongle);
    QFETCH(QString, message);

    QTemporaryDir dir;
    const QString path = dir.filePath(file);
    if (create) {
        QDir().mkpath(QFileInfo(path).path());
        QVERIFY(writeIntelHex(path, VfpWriter::testImage(256)));
    }
    SimRig rig;
    if (!dongle) {
        rig.dongle->unplug();
        rig.usbd->closeUSBDevice();
    }
    const int typeBefore = rig.usbd->usbDongleType;
    Configurator configurator(rig.usbd.get());
    configurator.workingDirectoryPath = dir.path() + QLatin1Char('/');

    QSignalSpy ended(&configurator, &Configurator::FirmwareUpdatesofSystem);
    configurator.firmwareUpdate(Configurator::dongle_update, path);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(configurator.isUpdaterstatusMessage(), message);
    // Refused before the dongle was asked to leave its application.
    QCOMPARE(rig.dongle->mode(), VirtualDongle::Mode::Application);
    QCOMPARE(rig.usbd->usbDongleType, typeBefore);
}

void TestDongleUpdate::avrdudeWritesTheDongle_data()
{
    QTest::addColumn<bool>("sound");
    QTest::addColumn<QString>("message");
    QTest::newRow("sound file") << true << "Update Complete!";
    QTest::newRow("file avrdude refuses") << false << "Dongle update failed! Please try again!";
}

void TestDongleUpdate::avrdudeWritesTheDongle()
{
    QFETCH(bool, sound);
    QFETCH(QString, message);

    const QString avrdude = QStandardPaths::findExecutable(QStringLiteral("avrdude"));
    QVERIFY2(!avrdude.isEmpty(), "avrdude is not installed (tools/deps.sh installs it)");
    PtyServer server;
    QVERIFY(server.path.startsWith(QLatin1String("/dev/")));

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

    QSignalSpy ended(&configurator, &Configurator::FirmwareUpdatesofSystem);
    configurator.firmwareUpdate(Configurator::dongle_update,
                                QUrl::fromLocalFile(hexPath).toString(QUrl::FullyEncoded));
    QCOMPARE(ended.count(), 1);
    QCOMPARE(configurator.isUpdaterstatusMessage(), message);

    const QStringList expected {
        "-p", "m324p", "-c", "arduino", "-b", "57600", "-P", server.path,
        "-U", "flash:w:" + hexPath + ":i",
    };
    QCOMPARE(readAll(programmerFolder + "/avrdude.args").split('\n', Qt::SkipEmptyParts), expected);
    QCOMPARE(readAll(programmerFolder + "/avrdude.cwd").trimmed(), programmerFolder);
    for (const QString &place : {start, programmerFolder, folder, QDir::currentPath()}) {
        QVERIFY2(!QFile::exists(place + "/x") && !QFile::exists(place + "/y"), qPrintable(place));
    }

    if (sound) {
        const QString dump = start + QStringLiteral("/flash.bin");
        server.process.write("flash " + dump.toLocal8Bit() + '\n');
        QCOMPARE(server.nextLine(), QStringLiteral("flash saved"));
        QFile flash(dump);
        QVERIFY(flash.open(QIODevice::ReadOnly));
        const QByteArray written = flash.readAll();
        QCOMPARE(written.left(image.size()), image);
        QCOMPARE(written.mid(image.size()), QByteArray(written.size() - image.size(), char(0xFF)));
    }
    // The dongle is found again, whichever firmware it now runs.
    QVERIFY(QTest::qWaitFor([&] { return usbd.usbDongleType == 3 || usbd.usbDongleType == 4; }, 5000));
}

QTEST_MAIN(TestDongleUpdate)
#include "tst_dongleupdate.moc"
