// The serial-port backend end to end: the dongle link on one side of a pseudo-terminal,
// the virtual dongle (veltra-sim-pty) on the other. Real pacing, real timers.

#include "drivercontract.h"
#include "ptyserver.h"
#include "usb/serialportdriver.h"
#include "usb/usbd.h"

#include <QtTest>

#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

class TestSerialPort : public QObject
{
    Q_OBJECT

private slots:
    // The server refuses a profile the simulator refuses, and a link with
    // no path, each saying why in the simulator's own words; it names its
    // profiles when asked; it takes its link away when it quits.
    void serverRefusesABadProfileAndTidiesUp()
    {
        for (const auto &[argument, code, words] : {std::tuple {"r9,level=256", 2, "level=256: expected"},
                                                    std::tuple {"--link", 2, "unknown simulator profile \"--link\""},
                                                    std::tuple {"-h", 0, "profiles: r9, r8x, r8-2mbit, p1, legacy\n"}}) {
            QProcess refused;
            refused.setProcessChannelMode(QProcess::MergedChannels);
            refused.start(QStringLiteral(VELTRA_SIM_PTY_EXE), {QString::fromLatin1(argument)});
            QVERIFY(refused.waitForFinished(10000));
            QCOMPARE(refused.exitCode(), code);
            QVERIFY(refused.readAll().contains(words));
        }
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("dongle"));
        {
            PtyServer server({QStringLiteral("--link"), link, QStringLiteral("r9")});
            QVERIFY(QFileInfo(link).isSymLink());
            server.command("quit");
            QVERIFY(server.process.waitForFinished(3000));
            QCOMPARE(server.process.exitCode(), 0);
        }
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    // The dongle found among the system's ports by its description and
    // serial number, then driven on a line paced like a real one: bytes at
    // the baud rate, replies held by the chip's latency timer.
    void findsTheDongleAndDrivesThePacedLine()
    {
        PtyServer server({QStringLiteral("r9,wire=real,latency=1")});
        QTemporaryDir root;
        const QString sys = root.filePath(QStringLiteral("sys"));
        const QString dev = root.filePath(QStringLiteral("dev"));
        QDir().mkpath(dev);

        const auto writeLine = [](const QString &path, const QByteArray &text) { QVERIFY(WholeFile::write(path, text + '\n', nullptr)); };
        // An FTDI chip, then two dongles (the second past ttyUSB9: ports sort
        // by number, not by text), plus a tty without a device.
        const auto addTty = [&](const QString &tty, const QString &usbPath, const QByteArray &product,
                                const QByteArray &serial = QByteArray()) {
            const QString usbDevice = sys + QStringLiteral("/devices/") + usbPath;
            const QString port = usbDevice + QStringLiteral("/1-1:1.0/") + tty;
            QVERIFY(QDir().mkpath(port));
            writeLine(usbDevice + QStringLiteral("/product"), product);
            writeLine(usbDevice + QStringLiteral("/serial"), serial);
            QVERIFY(QDir().mkpath(sys + QStringLiteral("/class/tty/") + tty));
            QVERIFY(QFile::link(port, sys + QStringLiteral("/class/tty/") + tty + QStringLiteral("/device")));
        };
        addTty(QStringLiteral("ttyUSB2"), QStringLiteral("usb1/1-1"), "FT232R USB UART");
        addTty(QStringLiteral("ttyUSB3"), QStringLiteral("usb1/1-3"), "Veltra Dongle v3", "VA000001");
        addTty(QStringLiteral("ttyUSB12"), QStringLiteral("usb1/1-2"), "Veltra Dongle v3", "VA000002");
        QVERIFY(QDir().mkpath(sys + QStringLiteral("/class/tty/ttyS0")));
        QVERIFY(QFile::link(server.path, dev + QStringLiteral("/ttyUSB12")));
        // The FTDI driver's latency timer, at its default.
        QFile timer(sys + QStringLiteral("/class/tty/ttyUSB12/device/latency_timer"));
        writeLine(timer.fileName(), "16");

        const auto found = SerialPortDriver::findPorts("Veltra Dongle v3", sys, dev);
        QCOMPARE(found.size(), 2);
        QCOMPARE(found.at(1).port, dev + QStringLiteral("/ttyUSB12"));
        QCOMPARE(SerialPortDriver::findPortByDescription("Veltra Dongle v2", sys, dev), QString());

        // The second dongle, asked for by its serial number (the first has no
        // device node: taking it would fail).
        auto driver = std::make_unique<SerialPortDriver>();
        driver->setSystemRoots(sys, dev);
        driver->requireSerialNumber("VA000002");
        Usbd usbd(std::move(driver));
        QCOMPARE(usbd.usbDongleType, 3);
        QCOMPARE(usbd.comPort, 12L);
        QCOMPARE(usbd.comPortName, dev + QStringLiteral("/ttyUSB12"));
        // Lowered, so that short replies are not held back 16 ms each.
        QVERIFY(timer.open(QIODevice::ReadOnly));
        QCOMPARE(timer.readAll().trimmed(), QByteArray("1"));
        // The line at the dongle's speed, as the terminal holds it.
        termios tio {};
        const int fd = ::open(QFile::encodeName(server.path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0 && ::tcgetattr(fd, &tio) == 0 && ::cfgetospeed(&tio) == B57600);
        ::close(fd);

        QSignalSpy attached(&usbd, &Usbd::dmxAttached);
        usbd.initDongleDMX();
        QTRY_COMPARE_WITH_TIMEOUT(attached.count(), 1, 8000);
        for (int command : {10, 9, 12, 18})
            QCOMPARE(usbd.runDmxCommand(command), command);
        QCOMPARE(usbd.dmxInBuffer[2], quint8(90));
    }

    // A line nobody reads takes bytes until its buffers are full; the write
    // then ends at its time-out with the count it queued. The line takes the
    // standard rates up to 230400 baud and no other.
    void writeToALineNobodyReads()
    {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        SerialPortDriver driver(QString::fromLocal8Bit(::ptsname(master)));
        DongleDriver::Handle handle = DongleDriver::noHandle;
        QCOMPARE(driver.openByDescription("Veltra Dongle v3", &handle), 0);
        const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
        termios tio {};
        const std::pair<unsigned, speed_t> rates[] {{1200, B1200}, {230400, B230400}, {57600, B57600}};
        for (const auto &[baud, speed] : rates) {
            QCOMPARE(driver.setBaudRate(handle, baud), 0);
            QVERIFY(::tcgetattr(slave, &tio) == 0 && ::cfgetospeed(&tio) == speed);
        }
        ::close(slave);
        for (unsigned other : {0u, 57601u, 250000u})
            QCOMPARE(driver.setBaudRate(handle, other), int(DongleDriver::InvalidBaudRate));
        refusesWhatItCannotDo(driver, handle);
        QCOMPARE(driver.setTimeouts(handle, 100, 100), 0);
        const QByteArray block(1 << 20, 'x');
        unsigned written = 0;
        QCOMPARE(driver.write(handle, block.constData(), unsigned(block.size()), &written), 0);
        QVERIFY2(written > 0 && written < unsigned(block.size()), qPrintable(QString::number(written)));
        driver.close(handle);
        ::close(master);
    }

    // A port that cannot be opened is told in plain words and gives no
    // handle; one held by another program opens once it is let go.
    void problemsInPlainWords()
    {
        PtyServer server;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ttyUSB0"));
        const auto refused = [](SerialPortDriver &driver, int code, const char *words) {
            DongleDriver::Handle handle = DongleDriver::noHandle;
            QCOMPARE(driver.openByDescription("Veltra Dongle v3", &handle), code);
            QCOMPARE(handle, DongleDriver::noHandle);
            QVERIFY2(driver.lastError().contains(QLatin1String(words)), qPrintable(driver.lastError()));
        };
        SerialPortDriver missing(path), plainFile(path), folder(dir.path()), first(server.path), second(server.path);
        refused(missing, DongleDriver::DeviceNotFound, "does not exist");
        refused(folder, DongleDriver::DeviceNotOpened, "cannot open");
        // A read-only kernel setting refuses even root.
        SerialPortDriver denied(QStringLiteral("/proc/sys/kernel/osrelease"));
        refused(denied, DongleDriver::DeviceNotOpened, "no permission to open");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        refused(plainFile, DongleDriver::DeviceNotOpened, "is not a serial port");

        DongleDriver::Handle a = DongleDriver::noHandle, b = DongleDriver::noHandle;
        QCOMPARE(first.openByDescription("Veltra Dongle v3", &a), 0);
        refused(second, DongleDriver::DeviceNotOpened, "in use by another program");
        QCOMPARE(first.close(a), 0);
        QCOMPARE(second.openByDescription("Veltra Dongle v3", &b), 0);
        QVERIFY(second.lastError().isEmpty());
        second.close(b);
    }
};

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
