// Discovery and monitoring of the dongle and its radio on real timers, the
// counting rules also tick by tick, quicker and exact. Protocol waits are instant.

#include "simrig.h"

#include "usb/pacing.h"

#include <QtTest>

#include <atomic>
#include <thread>

namespace {

// Runs monitoring ticks by hand until one of them polls the dongle's status,
// within six ticks (or at tick `ticks` exactly).
void tickUntilPoll(SimRig &rig, int ticks = 0)
{
    for (int i = 1; i <= 6; ++i) {
        const int mark = rig.mark();
        rig.usbd->checkUSBDevice();
        if (rig.countSince(mark, 0x13) > 0) {
            if (ticks)
                QCOMPARE(i, ticks);
            return;
        }
    }
    QFAIL("no status poll within six ticks");
}

} // namespace

class TestUsbdMonitoring : public QObject
{
    Q_OBJECT

private slots:
    // Timers run ten times quicker: every interval and wait below is a tenth of the product's.
    void initTestCase()
    {
        Pacing::setInstant(true);
        Pacing::setTimerScale(10);
        TestLog::install();
    }

    void init() { TestLog::clear(); }

    // What the polls after DMX is on announce, in order: the first the level
    // and the radio, the next live data if enabled on a level-2 radio whose
    // reply passes its check. One lost reply is asked again (the r9 neither
    // taken for legacy nor let go); a radio reported but sending no frame is let go, DMX off.
    void polls_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("lost"); // the request whose next reply is lost; 0: none, -1: every frame
        QTest::addColumn<int>("live"); // live data enabled after the first poll
        QTest::addColumn<int>("corrupted");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("level 7") << "r9,level=7" << 0 << 0 << 0 << QStringList{"level 7", "attached"};
        QTest::newRow("legacy") << "legacy" << 0 << 0 << 0 << QStringList{"level 0", "attached"};
        QTest::newRow("r9, length read lost") << "r9" << 0x02 << 0 << 0 << QStringList{"level 2", "attached"};
        QTest::newRow("r9, first slots lost") << "r9" << 0x1E << 0 << 0 << QStringList{"level 2", "attached"};
        QTest::newRow("no frame arrives") << "r9" << -1 << 0 << 0 << QStringList{"detached"};
        QTest::newRow("live data") << "r9" << 0 << 1 << 0 << QStringList{"level 2", "attached", "live"};
        QTest::newRow("live data, bad check") << "r9" << 0 << 1 << 1 << QStringList{"level 2", "attached"};
        QTest::newRow("live data, level 1") << "p1" << 0 << 1 << 0 << QStringList{"level 1", "attached"};
    }

    void polls()
    {
        QFETCH(QString, profile);
        QFETCH(int, lost);
        QFETCH(int, live);
        QFETCH(int, corrupted);
        SimRig rig(profile);
        if (lost > 0)
            rig.dongle->dropRepliesTo(quint8(lost), 1);
        rig.dongle->stallInput(lost < 0);
        QStringList seen;
        connect(rig.usbd.get(), &Usbd::showProtocolVersion, this,
                [&seen](int v) { seen << QStringLiteral("level %1").arg(v); });
        connect(rig.usbd.get(), &Usbd::dmxAttached, this, [&seen] { seen << QStringLiteral("attached"); });
        connect(rig.usbd.get(), &Usbd::dmxDetached, this, [&seen] { seen << QStringLiteral("detached"); });
        connect(rig.usbd.get(), &Usbd::updateLiveData, this, [&seen] { seen << QStringLiteral("live"); });
        int mark = rig.mark();
        rig.usbd->initDongleDMX();
        tickUntilPoll(rig);
        QCOMPARE(rig.usbd->isDmxAttached(), lost >= 0);
        QCOMPARE(rig.countSince(mark, 0x11), lost < 0 ? 1 : 0);
        // A first frame that came whole is read once, whatever level it names.
        if (lost == 0)
            QCOMPARE(rig.countSince(mark, 0x02), 1);

        rig.usbd->liveDataEnabled = live;
        rig.dongle->corruptCheckValues(corrupted);
        mark = rig.mark();
        // Once a poll is made, every fifth tick makes the next.
        tickUntilPoll(rig, 5);
        QTEST(seen, "events");
        // Live data is one more in-buffer read per poll.
        QCOMPARE(rig.countSince(mark, 0x05), live && profile == QLatin1String("r9") ? 1 : 0);
    }

    // A tick run among a command's events reads live data into the
    // in-buffer; the command's caller still finds its reply there.
    void tickAmongACommandKeepsItsReply()
    {
        SimRig rig;
        rig.usbd->initDongleDMX();
        tickUntilPoll(rig);
        rig.usbd->liveDataEnabled = 1;
        QSignalSpy live(rig.usbd.get(), &Usbd::updateLiveData);
        QMetaObject::invokeMethod(this, [&rig] { tickUntilPoll(rig); }, Qt::QueuedConnection);
        QCOMPARE(rig.usbd->runDmxCommand(22), 22);
        QCOMPARE(live.count(), 1);
        QCOMPARE(int(rig.usbd->dmxInBuffer[5]), 22);
    }

    void missesAreCountedConsecutively()
    {
        SimRig rig;
        QSignalSpy detached(rig.usbd.get(), &Usbd::dmxDetached);
        rig.usbd->initDongleDMX();
        tickUntilPoll(rig);

        // Five misses, one poll that finds the radio again, eight misses: the
        // count starts over, so the radio stays.
        rig.dongle->setRadioConnected(false);
        for (int i = 0; i < 5; ++i)
            tickUntilPoll(rig);
        rig.dongle->setRadioConnected(true);
        tickUntilPoll(rig);
        rig.dongle->setRadioConnected(false);
        tickUntilPoll(rig);
        // A poll lost among the misses is no miss, and is made again at the
        // next tick: lost replies must not stretch the misses past a radio swap.
        rig.dongle->dropRepliesTo(0x13, 5);
        rig.usbd->checkUSBDevice();
        const int mark = rig.mark();
        rig.usbd->checkUSBDevice();
        QCOMPARE(rig.countSince(mark, 0x13), 1);
        for (int i = 0; i < 6; ++i)
            tickUntilPoll(rig);
        QVERIFY(rig.usbd->isDmxAttached());
        QCOMPARE(detached.count(), 0);

        tickUntilPoll(rig);
        QVERIFY(!rig.usbd->isDmxAttached());
        QCOMPARE(detached.count(), 1);
    }

    void unplugKeepsRadioState()
    {
        SimRig rig;
        QSignalSpy attached(rig.usbd.get(), &Usbd::dmxAttached);
        QSignalSpy detached(rig.usbd.get(), &Usbd::dmxDetached);
        QSignalSpy shown(rig.usbd.get(), &Usbd::showDongleVersion);
        QSignalSpy ok(rig.usbd.get(), &Usbd::VELTRAOK);
        rig.usbd->initDongleDMX();
        QTRY_COMPARE_WITH_TIMEOUT(attached.count(), 1, 5000);
        // A status reply lost again and again does not end the watch: the
        // dongle pulled out afterwards is still noticed.
        rig.dongle->dropReplies(5);
        QVERIFY(QTest::qWaitFor([] { return TestLog::count(QStringLiteral("Usbd: checkUSBDevice: status poll failed")) == 1; }, 10000));

        shown.clear();
        rig.dongle->unplug();
        QTRY_COMPARE_WITH_TIMEOUT(rig.usbd->usbDongleType, 0, 2000);
        QCOMPARE(shown.count(), 1);
        QCOMPARE(detached.count(), 0);
        QVERIFY(rig.usbd->isDmxAttached());
        QCOMPARE(rig.usbd->comPort, -1L);

        // Back with its DMX off: the radio, still known, is not announced again.
        rig.dongle->replug();
        QTRY_COMPARE_WITH_TIMEOUT(rig.usbd->usbDongleType, 3, 3000);
        rig.usbd->initDongleDMX();
        ok.clear();
        QTRY_VERIFY_WITH_TIMEOUT(ok.count() >= 1, 5000);
        QCOMPARE(attached.count(), 1);
        QCOMPARE(detached.count(), 0);

        // Out and back in between two ticks: the old handle is stale all the
        // same, and the dongle is closed and found anew.
        shown.clear();
        rig.dongle->unplug();
        rig.dongle->replug();
        QTRY_VERIFY_WITH_TIMEOUT(shown.count() >= 2, 3000);
        QCOMPARE(rig.usbd->usbDongleType, 3);
    }

    // A bootloader takes no request, so it is never polled; its unplugging is noticed.
    void bootloaderIsWatched()
    {
        SimRig rig(QStringLiteral("dongle=boot"));
        rig.dongle->unplug();
        QTRY_COMPARE_WITH_TIMEOUT(rig.usbd->usbDongleType, 0, 2000);
        QCOMPARE(rig.usbd->dongleVersion.major, -1);
    }

    void restartingTheTickKeepsOneChain()
    {
        // After a firmware update the tick is started directly while its chain
        // may still be running; the polling rate must stay the same.
        SimRig rig;
        for (int i = 0; i < 4; ++i)
            rig.usbd->checkUSBDevice();
        const int mark = rig.mark();
        QTest::qWait(300);
        // One chain polls every fifth tick of 30 ms: two polls in 300 ms, three at most.
        QVERIFY(rig.countSince(mark, 0x13) <= 3);
        QVERIFY(rig.countSince(mark, 0x13) >= 1);
    }

    // A tick that finds the lock taken (an upload, begun with or without a
    // dongle) skips its turn, not the watch: once the lock is free again the
    // dongle plugged in meanwhile is found, the one pulled out is noticed.
    void lockTakenSkipsATurnOnly_data()
    {
        QTest::addColumn<bool>("plugged");
        QTest::newRow("discovery") << false;
        QTest::newRow("monitoring") << true;
    }

    void lockTakenSkipsATurnOnly()
    {
        QFETCH(bool, plugged);
        SimRig rig;
        if (!plugged) {
            rig.dongle->unplug();
            QTRY_COMPARE_WITH_TIMEOUT(rig.usbd->usbDongleType, 0, 2000);
        }
        std::atomic<bool> release {false}, held {false};
        std::thread holder([&] {
            rig.usbd->usbLock->lock();
            held = true;
            while (!release)
                QThread::msleep(1);
            rig.usbd->usbLock->unlock();
        });
        QTRY_VERIFY(held.load());
        // Several turns of either chain go by with the lock taken, two polls'
        // worth, and none of them touches the dongle.
        const int mark = rig.mark();
        QTest::qWait(300);
        QCOMPARE(rig.requestsSince(mark), QList<QByteArray> {});
        plugged ? rig.dongle->unplug() : rig.dongle->replug();
        QTest::qWait(150);
        release = true;
        holder.join();
        QTRY_COMPARE_WITH_TIMEOUT(rig.usbd->usbDongleType, plugged ? 0 : 3, 2000);
    }
};

QTEST_GUILESS_MAIN(TestUsbdMonitoring)
#include "tst_usbd_monitoring.moc"
