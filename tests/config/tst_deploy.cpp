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
