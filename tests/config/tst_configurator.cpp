// The device session end to end: the virtual dongle and radio, the dongle
// link and the Configurator wired as the application wires them.
#include "session.h"
#include "usb/pacing.h"

#include <QSignalSpy>
#include <QtTest>

class TestConfigurator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Protocol waits skipped, discovery and monitoring a hundred times
        // quicker: the same steps in the same order, in milliseconds.
        Pacing::setInstant(true);
        Pacing::setTimerScale(100);
        TestLog::install();
    }

    void readoutFillsEveryProperty_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("expected"); // property=value
        QTest::newRow("r9") << "r9"
                            << QStringList{"istrxSerial=123456789a", "istrxMCU=001E9705", "istrxCode=001E9705",
                                           "istrxVersion=3.2.1045", "istrxBootloader=1.3.17", "istrxHWVersion=R9-C1",
                                           "istrxModel=Veltra R9 TRX", "isStatusVELTRA=Veltra R9 TRX",
                                           "isDeviceLabel=Stage Left", "isRadioID=A1B2C3D4",
                                           "isAddonVersion=T6 Micro", "ispresentRadioMode=R9 2.4GHz",
                                           "ispresentTransmitterMode=Transmitter", "isr8Box=false",
                                           "isHighbandstate=1", "isRDMEnabledstate=1", "isadaptivestate=1"};
        QTest::newRow("r8x") << "r8x"
                             << QStringList{"istrxHWVersion=12", "istrxModel=Veltra R8X", "isAddonVersion=-",
                                            "ispresentRadioMode=R8X 5.8GHz", "ispresentTransmitterMode=Receiver",
                                            "isr8Box=true", "isRDMEnabledstate=-1", "isDeviceLabel=Truss 2"};
        QTest::newRow("p1") << "p1"
                            << QStringList{"istrxBootloader=Unknown", "isStatusVELTRA=Veltra R8Update available!",
                                           "ispresentRadioMode=R7 Compatibility Mode",
                                           "ispresentTransmitterMode=Receiver", "isHighbandstate=0"};
        QTest::newRow("serial not available") << "r9,serial=ff" << QStringList{"istrxSerial=Not available"};
        QTest::newRow("firmware 2.1.701 is old") << "r9,firmware=2.1.701"
                                                 << QStringList{"isStatusVELTRA=Veltra R9 TRXUpdate available!"};
        QTest::newRow("firmware 2.1.702 is current") << "r9,firmware=2.1.702"
                                                     << QStringList{"isStatusVELTRA=Veltra R9 TRX"};
        QTest::newRow("hardware 15 is a number") << "r9,trxhw=15" << QStringList{"istrxHWVersion=15"};
        QTest::newRow("old dongle has no hop table") << "r9,dongle=1.9.3"
                                                     << QStringList{"isHopTable=You need a newer dongle version."};
    }

    void readoutFillsEveryProperty()
    {
        QFETCH(QString, profile);
        QFETCH(QStringList, expected);
        Session session(profile);
        QVERIFY(session.connectAndRead());
        for (const QString &pair : expected) {
            const QString name = pair.section(QLatin1Char('='), 0, 0);
            const QString value = pair.section(QLatin1Char('='), 1);
            QCOMPARE(session.configurator.property(qPrintable(name)).toString(), value);
        }
        QVERIFY(session.configurator.deployList.isEmpty());
    }

    void modelNameAndLabelEdges()
    {
        Session session(QStringLiteral("r9"));
        session.radio().model = "Veltra R9 Tandem Node Extra Long";
        // Three letters then NULs: the NULs are characters, not white space.
        session.radio().stored.label = QByteArray("Abc") + QByteArray(29, '\0');
        QVERIFY(session.connectAndRead());
        QCOMPARE(session.configurator.istrxModel(), QStringLiteral("Veltra R9 Tandem N"));
        QCOMPARE(session.configurator.isDeviceLabel().size(), 32);
        QVERIFY(session.configurator.isDeviceLabel().startsWith(QStringLiteral("Abc")));
    }

    void legacyRadioIsReadWithoutCommandsButTheHopTable()
    {
        Session session(QStringLiteral("legacy"));
        const int mark = session.radio().commands.size();
        QVERIFY(session.connectAndRead());
        QCOMPARE(session.commandsSince(mark), QList<int>{4});
        // The class is all a legacy radio tells of itself, and it stays shown.
        QCOMPARE(session.configurator.istrxModel(), QStringLiteral("R7/R8"));
        QCOMPARE(session.configurator.isStatusVELTRA(), QStringLiteral("Veltra: R7/R8 [Update available]"));
        QCOMPARE(session.configurator.powerList24, Configurator::legacyPowerTable);
        QCOMPARE(session.configurator.presentPower24, QStringLiteral("100mW 4 Bars"));
        QCOMPARE(session.configurator.isHopTable().size(), 168);
    }

    void fullReadoutSendsTheCommandsInOrder()
    {
        Session session(QStringLiteral("r9"));
        const int mark = session.radio().commands.size();
        QVERIFY(session.connectAndRead());
        QCOMPARE(session.commandsSince(mark), (QList<int>{10, 9, 24, 14, 16, 26, 22, 12, 20, 18, 30}));
    }

    void disconnectDuringReadoutEndsItAfterThatReply()
    {
        Session session(QStringLiteral("r9"));
        const int mark = session.radio().commands.size();
        // The identity reply has been decoded; Disconnect arrives while the
        // next command is under way.
        connect(&session.configurator, &Configurator::VeltraStatusChanged, this, [&session] {
            if (session.configurator.isStatusVELTRA() == QLatin1String("Veltra R9 TRX"))
                QTimer::singleShot(0, &session.configurator, &Configurator::on_disconnect_clicked);
        });
        session.configurator.on_connect_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(session.commandsSince(mark).contains(10), 8000);
        QTest::qWait(300);
        QCOMPARE(session.commandsSince(mark), (QList<int>{10, 9}));
        QVERIFY(!session.rig.dongle->dmxRunning());
        QCOMPARE(session.rig.usbd->liveDataEnabled, 0);
        QVERIFY(session.configurator.isDeviceLabel().isEmpty());
    }

    void commandTimingOutEndsTheReadoutQuietly()
    {
        Session session(QStringLiteral("r9"));
        // No fresh input buffer ever becomes ready once the label is asked for.
        connect(&session.configurator, &Configurator::VeltraStatusChanged, this, [&session] {
            if (session.configurator.isStatusVELTRA() == QLatin1String("Veltra R9 TRX"))
                session.rig.dongle->stallInput(true);
        });
        const int mark = session.radio().commands.size();
        TestLog::clear();
        session.configurator.on_connect_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(!session.rig.dongle->dmxRunning(), 20000);
        QVERIFY(TestLog::count(QStringLiteral("Usbd: getDmxInBuffer: wait timed out")) >= 10);
        QVERIFY(!session.commandsSince(mark).contains(14));
        QCOMPARE(session.configurator.istrxModel(), QStringLiteral("Veltra R9 TRX"));
        QCOMPARE(session.rig.usbd->liveDataEnabled, 0);
    }

    void radioLeavingShowsDisconnected()
    {
        Session session(QStringLiteral("r9"));
        QVERIFY(session.connectAndRead());
        QTRY_VERIFY_WITH_TIMEOUT(session.configurator.isDongleState(), 4000);
        session.rig.dongle->setRadioConnected(false);
        QTRY_COMPARE_WITH_TIMEOUT(session.configurator.isStatusVELTRA(), QStringLiteral("Veltra: Disconnected"), 8000);
        QTRY_VERIFY_WITH_TIMEOUT(!session.configurator.isDongleState(), 4000);
        QVERIFY(session.configurator.isupdaterAutorebootLabel().isEmpty());
    }

    void dongleStatusTexts_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("updaterMessage");
        QTest::addColumn<QString>("hardware");
        QTest::newRow("2.21 needs an upgrade") << "r9,dongle=2.21.4,hardware=1" << "2.21.4" << "Dongle Upgrade Required" << "A";
        QTest::newRow("2.22 is fine") << "r9,dongle=2.22.0,hardware=2" << "2.22.0" << "" << "B";
        QTest::newRow("bootloader") << "r9,dongle=boot" << "3.-1.-1" << "Dongle Upgrade Required" << "-";
    }

    void dongleStatusTexts()
    {
        QFETCH(QString, profile);
        QFETCH(QString, version);
        QFETCH(QString, updaterMessage);
        QFETCH(QString, hardware);
        Session session(profile);
        // As after every version read of the dongle link.
        session.configurator.showDongleVersion();
        QCOMPARE(session.configurator.isDongleVersion(), version);
        QCOMPARE(session.configurator.isUpdaterstatusMessage(), updaterMessage);
        QCOMPARE(session.configurator.isDongleHWVersion(), hardware);
    }

    void noDongleReadsDisconnected()
    {
        Session session(QStringLiteral("r9"));
        // No radio has been seen yet: none is shown as connected.
        QCOMPARE(session.configurator.isStatusVELTRA(), QStringLiteral("Veltra: Disconnected"));
        session.rig.dongle->unplug();
        QTRY_COMPARE_WITH_TIMEOUT(session.configurator.isDongleVersion(), QStringLiteral("Disconnected"), 4000);
        QVERIFY(!session.configurator.DongleConnected());
    }
};

QTEST_GUILESS_MAIN(TestConfigurator)
#include "tst_configurator.moc"
