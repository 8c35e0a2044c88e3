// Changes travelling back to the radio: the frames the virtual radio
// received, what it stored, and what a new readout shows.
#include "session.h"
#include "usb/pacing.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestDeploy : public QObject
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

    void roundTripThroughStore()
    {
        Session session(QStringLiteral("r9"));
        QVERIFY(session.connectAndRead());
        Configurator &c = session.configurator;
        QCOMPARE(c.isListforRadioMode().value(4), QStringLiteral("R9 5.8GHz"));
        c.on_deviceLabel_textChanged(QStringLiteral("Balcony"));
        c.on_radioMode_currentIndexChanged(4);
        c.on_direction_currentIndexChanged(1);
        c.on_adaptiveHopping_currentIndexChanged(0);
        c.on_enableRDM_currentIndexChanged(0);
        c.powerList(0);
        c.writePowerSettings(3);
        c.powerList(2);
        c.writePowerSettings(0);
        QCOMPARE(c.deployList, (QList<int>{5, 4, 0, 2}));

        QVERIFY(!session.store().isEmpty());
        QVERIFY(session.waitForDetach());
        QCOMPARE(session.radio().stores, 1);
        QVERIFY(QFile::exists(c.reportFileName()));

        QVERIFY(session.connectAndRead());
        QCOMPARE(c.ispresentRadioMode(), QStringLiteral("R9 5.8GHz"));
        QCOMPARE(c.ispresentTransmitterMode(), QStringLiteral("Receiver"));
        QCOMPARE(c.isadaptivestate(), 0);
        QCOMPARE(c.isRDMEnabledstate(), 0);
        QCOMPARE(c.presentPower24, QStringLiteral("2 Bars"));
        QCOMPARE(c.presentPower58, QStringLiteral("5 Bars"));
        // The label travels with NUL padding and reads back with it.
        QVERIFY(c.isDeviceLabel().startsWith(QStringLiteral("Balcony")));
        QCOMPARE(c.isDeviceLabel().size(), 32);
    }

    void untouchedSettingsGoBackAsRead()
    {
        Session session(QStringLiteral("r9"));
        const QByteArray reported = QByteArray(reinterpret_cast<const char *>(session.radio().stored.frame.data()), 14);
        QVERIFY(session.connectAndRead());
        // Re-choosing the RDM state in force queues the settings frame with
        // every other choice untouched.
        session.configurator.on_enableRDM_currentIndexChanged(session.configurator.isRDMEnabledstate());
        session.configurator.on_storeAndDisconnect_clicked();
        QCOMPARE(session.radio().lastData.value(13), reported);
    }

    void untouchedBandFramesCarryTheMasksRead()
    {
        Session session(QStringLiteral("r9"));
        const auto masks = session.radio().stored.masks;
        QVERIFY(session.connectAndRead());
        for (int band : {0, 1, 2})
            session.configurator.maskingChanged(band);
        session.configurator.on_storeAndDisconnect_clicked();
        const QPair<int, int> commandBand[] = {{15, 0}, {27, 1}, {17, 2}};
        for (const auto &cb : commandBand) {
            const QByteArray sent = session.radio().lastData.value(cb.first);
            QCOMPARE(sent.size(), 17);
            QCOMPARE(sent.left(11), QByteArray(reinterpret_cast<const char *>(masks[size_t(cb.second)].data()), 11));
            QCOMPARE(sent.mid(11, 5), QByteArray(5, '\0'));
        }
    }

    void labelLength_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("40 characters") << QString(40, QLatin1Char('x')) << QByteArray(32, 'x');
        QTest::newRow("3 characters") << "Abc" << QByteArray("Abc") + QByteArray(29, '\0');
        QTest::newRow("beyond Latin-1") << QString::fromUtf8("A\u20ACB") << QByteArray("A\0B", 3) + QByteArray(29, '\0');
    }

    void labelLength()
    {
        QFETCH(QString, label);
        QFETCH(QByteArray, sent);
        Session session(QStringLiteral("r9"));
        QVERIFY(session.connectAndRead());
        session.configurator.on_deviceLabel_textChanged(label);
        session.configurator.on_storeAndDisconnect_clicked();
        QCOMPARE(session.radio().lastData.value(25), sent);
    }

    void nothingPendingStillStores()
    {
        Session session(QStringLiteral("r9"));
        QVERIFY(session.connectAndRead());
        const int mark = session.radio().commands.size();
        QSignalSpy stored(&session.configurator, &Configurator::storeAndDisconectClicked);
        session.configurator.on_storeAndDisconnect_clicked();
        QCOMPARE(session.radio().commands.mid(mark), QList<int>{40});
        QCOMPARE(stored.count(), 1);
        QVERIFY(QFile::exists(session.configurator.reportFileName()));
    }

    void legacyRadioGetsOneUncheckedFrame()
    {
        Session session(QStringLiteral("legacy"));
        QVERIFY(session.connectAndRead());
        const int mark = session.radio().commands.size();
        session.configurator.powerList(0);
        session.configurator.writePowerSettings(3);
        QSignalSpy stored(&session.configurator, &Configurator::storeAndDisconectClicked);
        session.configurator.on_storeAndDisconnect_clicked();
        QCOMPARE(session.radio().commands.mid(mark), QList<int>{1});
        // LEN 21, no check value: mask bytes then the power in slot 22.
        const QByteArray sent = session.radio().lastData.value(1);
        QCOMPARE(sent.size(), 17);
        QCOMPARE(int(sent.at(16)), 3);
        QCOMPARE(session.radio().stored.powerIndex[0], quint8(3));
        QVERIFY(!session.rig.dongle->dmxRunning());
        QCOMPARE(stored.count(), 1);
        QCOMPARE(session.radio().stores, 0);
        QVERIFY(QDir(session.folder.path()).entryList(QDir::Files).isEmpty());
    }

    void pendingBandFollowsTheModeChange_data()
    {
        QTest::addColumn<bool>("bandFirst");
        QTest::addColumn<int>("bandCommand");
        QTest::newRow("band frame first keeps its band") << true << 17;
        QTest::newRow("mode frame first moves it to 5.2 GHz") << false << 27;
    }

    void pendingBandFollowsTheModeChange()
    {
        QFETCH(bool, bandFirst);
        QFETCH(int, bandCommand);
        Session session(QStringLiteral("r9"));
        session.radio().stored.frame[2] = 9; // R9 5.8GHz in force
        QVERIFY(session.connectAndRead());
        const int mark = session.radio().commands.size();
        const int tandem52 = session.configurator.isListforRadioMode().indexOf(QStringLiteral("R9 Tandem 5.2GHz"));
        if (!bandFirst)
            session.configurator.on_radioMode_currentIndexChanged(tandem52);
        session.configurator.powerList(2);
        session.configurator.writePowerSettings(1);
        if (bandFirst)
            session.configurator.on_radioMode_currentIndexChanged(tandem52);
        session.configurator.on_storeAndDisconnect_clicked();
        const QList<int> sent = session.radio().commands.mid(mark);
        QVERIFY(sent.contains(bandCommand));
        QVERIFY(!sent.contains(bandCommand == 17 ? 27 : 17));
    }

    void selectionsQueueOnce()
    {
        Session session(QStringLiteral("r9"));
        QVERIFY(session.connectAndRead());
        TestLog::clear();
        session.configurator.on_radioMode_currentIndexChanged(2);
        session.configurator.on_radioMode_currentIndexChanged(2);
        QCOMPARE(TestLog::count(QStringLiteral("debugging and appending (4)")), 2);
        session.configurator.powerList(1);
        session.configurator.writePowerSettings(0);
        QCOMPARE(session.configurator.deployList, (QList<int>{4, 8}));
        QSignalSpy loaded(&session.configurator, &Configurator::radioPowerloaded);
        QSignalSpy shown(&session.configurator, &Configurator::powerSignal);
        session.configurator.powerList(7);
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(shown.count(), 0);
        session.configurator.writePowerSettings(1);
        QCOMPARE(session.configurator.deployList, (QList<int>{4, 8}));
    }

    void factoryDefaultsSendWhatIsShown()
    {
        Session session(QStringLiteral("r9"));
        QVERIFY(session.connectAndRead());
        session.configurator.on_deployDefaultFlexButton_clicked();
        const QByteArray settings = session.radio().lastData.value(13);
        QCOMPARE(int(quint8(settings.at(0))), 0); // first direction
        QCOMPARE(int(quint8(settings.at(2))), 4); // entry 1: R8X 2.4GHz
        QCOMPARE(int(quint8(settings.at(3))), 1);
        QCOMPARE(int(quint8(settings.at(6))), 1);
        QCOMPARE(int(quint8(session.radio().lastData.value(15).at(16))), 1);
        // What the view shows is what was sent: entry 1 of the lists.
        QCOMPARE(session.configurator.presentPower24, session.configurator.powerList24.value(1));
        QCOMPARE(session.configurator.ispresentRadioMode(), QStringLiteral("R8X 2.4GHz"));
        QCOMPARE(session.radio().lastData.value(25).left(7), QByteArray("Skylane"));
        QVERIFY(session.configurator.deployList.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDeploy)
#include "tst_deploy.moc"
