// The D2XX backend through its real loading code: against the simulator's stand-in,
// a library absent or not D2XX, and as veltra-cli takes it (or not) by the library path.
#include "drivercontract.h"
#include "usb/d2xxdriver.h"
#include "usb/pacing.h"
#include "usb/usbd.h"

#include <QtTest>

const QString standin = QStringLiteral(VELTRA_D2XX_STANDIN_DIR "/libftd2xx.so.1");

class TestD2xx : public QObject
{
    Q_OBJECT

private slots:
    // The link's timers compressed; its waits stay, as the stand-in's line
    // keeps its own time.
    void initTestCase() { Pacing::setTimerScale(10); }

    // A library that loads but is not D2XX: the first call it lacks is told.
    void libraryThatIsNotD2xx()
    {
        const QString library = QStringLiteral("libz.so.1");
        D2xxDriver driver({library});
        QVERIFY(!driver.available());
        QVERIFY2(driver.absence().contains(QLatin1String("has no FT_OpenEx")), qPrintable(driver.absence()));
        DongleDriver::Handle handle = DongleDriver::noHandle;
        QCOMPARE(driver.openByDescription("Veltra Dongle v3", &handle), int(DongleDriver::DeviceNotFound));
    }

    // Discovery, an unplug and a replug through the stand-in; the radio
    // behind it is read in veltra-cli's runs below.
    void standinLibrary()
    {
        D2xxDriver driver({standin});
        DongleDriver::Handle handle = DongleDriver::noHandle;
        QCOMPARE(driver.openByDescription("Veltra Dongle v3", &handle), 0);
        refusesWhatItCannotDo(driver, handle);
        QCOMPARE(driver.close(handle), 0);
        Usbd usbd(std::make_unique<D2xxDriver>(QStringList {standin}));
        QCOMPARE(usbd.usbDongleType, 3);
        QCOMPARE(usbd.comPort, 9L);

        QLibrary hand(standin);
        auto setPlugged = reinterpret_cast<void (*)(int)>(hand.resolve("VeltraStandin_SetPlugged"));
        QVERIFY(setPlugged);
        setPlugged(0);
        QTRY_COMPARE_WITH_TIMEOUT(usbd.usbDongleType, 0, 5000);
        setPlugged(1);
        QTRY_COMPARE_WITH_TIMEOUT(usbd.usbDongleType, 3, 10000);
    }

    // Which backend veltra-cli takes: the stand-in's radio is an R8X, and no
    // other dongle is on this machine.
    void choiceOrder_data()
    {
        QTest::addColumn<bool>("onLibraryPath");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::newRow("D2XX first when it finds the dongle") << true << QStringList {"info"} << 0 << "TRX Model: Veltra R8X";
        // A profile the stand-in cannot read is no dongle, not an r9.
        QTest::newRow("unknown profile") << true << QStringList {"VELTRA_D2XX_SIM=r99", "--driver", "d2xx", "info"} << 2
                                         << "VELTRA_D2XX_SIM refused: unknown simulator profile \"r99\"";
        QTest::newRow("forced serial") << true << QStringList {"--driver", "serial", "info"} << 2 << "no Veltra dongle found";
        QTest::newRow("a port given wins") << true << QStringList {"--port", "/nonexistent/tty", "info"} << 2
                                           << "no Veltra dongle found";
        QTest::newRow("no library: the serial port") << false << QStringList {"info"} << 2 << "no Veltra dongle found";
        QTest::newRow("no library, D2XX forced") << false << QStringList {"--driver", "d2xx", "info"} << 2 << "was not found";
        // The library's device list, and a dongle opened by its serial number.
        QTest::newRow("listed") << true << QStringList {"--driver", "d2xx", "list"} << 0 << "-               d2xx       LINE7\n";
        QTest::newRow("a port named by hand listed as given") << true << QStringList {"--port", "/nonexistent/tty", "list"} << 0
                                                              << "/nonexistent/tty  serial     -\n";
        QTest::newRow("listed as JSON") << true << QStringList {"--simulate", "--json", "list"} << 0 << "\"serial\": \"VSIM0001\"";
        QTest::newRow("by its serial number") << true << QStringList {"--dongle", "LINE7", "watch"} << 0
                                              << "dongle: 3.2.7";
        QTest::newRow("another serial number") << true << QStringList {"--dongle", "LINE8", "--driver", "d2xx", "info"} << 2
                                               << "no Veltra dongle with USB serial number LINE8 found";
    }

    void choiceOrder()
    {
        QFETCH(bool, onLibraryPath);
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (onLibraryPath)
            env.insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral(VELTRA_D2XX_STANDIN_DIR));
        else
            env.remove(QStringLiteral("LD_LIBRARY_PATH"));
        QString profile = QStringLiteral("r8x,usbserial=LINE7");
        if (arguments.first().startsWith(QLatin1String("VELTRA_D2XX_SIM=")))
            profile = arguments.takeFirst().mid(16);
        env.insert(QStringLiteral("VELTRA_D2XX_SIM"), profile);
        cli.setProcessEnvironment(env);
        // A dongle not found is told after the time-out; a radio found is read.
        const QString timeout = output.startsWith(QLatin1String("TRX")) ? QStringLiteral("5") : QStringLiteral("0.2");
        cli.start(QStringLiteral(VELTRA_CLI_EXE), arguments + QStringList {"--timeout", timeout});
        QVERIFY(cli.waitForFinished(30000));
        QTEST(cli.exitCode(), "exitCode");
        const QString all = QString::fromUtf8(cli.readAllStandardOutput() + cli.readAllStandardError());
        QVERIFY2(all.contains(output), qPrintable(all));
    }
};

QTEST_GUILESS_MAIN(TestD2xx)
#include "tst_d2xx.moc"
