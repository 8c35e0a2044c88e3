// The dongle link on a line with its real time: bytes at 57600 baud, the
// USB chip's latency timer, replies that come late, split, short or noisy,
// and a dongle pulled out mid-way. Real waits: the ctest label "wire".
#include "config/readout.h"
#include "firmware/serialthread.h"
#include "sim/wiremodel.h"
#include "usb/pacing.h"
#include "firmware/vfpwriter.h"

#include <QtTest>

#include <atomic>

namespace {

std::atomic<bool> lateBytesDropped {false}; // told from the serial thread too
std::atomic<bool> shortReplySeen {false};

void watchLog(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (message.contains(QLatin1String("late reply bytes dropped")) && !message.contains(QLatin1String("dropped: 0 of")))
        lateBytesDropped = true;
    if (message.contains(QLatin1String(": reply of 7 bytes")))
        shortReplySeen = true;
}

using Line = Readout::Bench;

} // namespace

class TestWire : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qInstallMessageHandler(watchLog);
        // The same radio read without a wire: what a readout on the wire must
        // show when it says it succeeded.
        Pacing::setInstant(true);
        Line line(QStringLiteral("r9"));
        QVERIFY(line.read());
        Pacing::setInstant(false);
        m_expected = line.report();
    }

    void init() { lateBytesDropped = shortReplySeen = false; }

    // A readout ends with what the radio holds, whatever a faulty line does
    // to a few of its replies, and never hangs; only a dongle pulled out
    // ends it early. A sound line loses nothing to a purge.
    void readout_data()
    {
        QTest::addColumn<QString>("faults"); // with the seed that places them
        QTest::addColumn<int>("unplugAfter"); // bytes on the line, -1: never
        QTest::newRow("sound") << QString() << -1;
        for (const QString fault : {"late:0.02", "split:0.05", "drop:0.02", "garbage:0.02"})
            QTest::newRow(qPrintable(fault)) << QStringLiteral(",seed=%1,fault=%2").arg(qHash(fault)).arg(fault) << -1;
        QTest::newRow("unplugged") << QString() << 1000;
    }

    void readout()
    {
        QFETCH(QString, faults);
        QFETCH(int, unplugAfter);
        Line line("r9,wire=real,latency=1" + faults);
        if (unplugAfter >= 0)
            line.wire->unplugAfter(unplugAfter);
        QElapsedTimer clock;
        clock.start();
        const bool complete = line.read();
        QCOMPARE(complete, unplugAfter < 0);
        if (complete)
            QCOMPARE(line.report(), m_expected);
        if (faults.isEmpty())
            QCOMPARE(line.wire->lostToPurge(), 0);
        QVERIFY2(clock.elapsed() < 60000, "a readout must end");
        // A faulty line that laid no fault would prove nothing.
        QCOMPARE(line.wire->faultsMade() > 0, !faults.isEmpty());
        // A late reply comes after the read's wait: its bytes are dropped before the next request.
        QVERIFY(lateBytesDropped || !faults.contains(QLatin1String("late")));
        // A reply that lost a byte on the way comes short.
        QVERIFY(shortReplySeen || !faults.contains(QLatin1String("drop")));
    }

    // A radio update ends with the whole image taken once. 200 frames of 512
    // bytes on a sound line: every accept byte arrives, nothing is sent twice.
    // With late, split, short or noisy replies to the serial channel's polls
    // (each seed hits another reply of the 40 frames), it still completes.
    void radioUpdate_data()
    {
        QTest::addColumn<QString>("options"); // the line's timing and faults
        QTest::newRow("sound, 200 long frames") << "latency=1";
        // The chip's own default: each handshake byte's answer takes about a
        // third of the 50 ms it is given.
        QTest::newRow("sound, latency timer 16 ms, second handshake") << "latency=16,handshake=2";
        for (const char *fault : {"late", "split", "drop", "garbage"}) {
            for (int seed : {3, 6})
                QTest::addRow("%s, seed %d", fault, seed) << QStringLiteral("latency=1,fault=%1:0.02,seed=%2").arg(fault).arg(seed);
        }
    }

    void radioUpdate()
    {
        QFETCH(QString, options);
        Line line("r9,wire=real," + options);
        const bool longFrames = options == QLatin1String("latency=1");
        const QByteArray image = longFrames ? VfpWriter::testImage(200 * 508, 7) : VfpWriter::testImage(40 * 256, 7);
        const QString package = line.folder.filePath(QStringLiteral("radio.vfp"));
        QVERIFY(VfpWriter::writeFile(package, {VfpWriter::imageBlock(2, image, longFrames ? 508 : 256)}));
        line.usbd->enterUpdaterMode();
        SerialThread thread(line.usbd.get());
        QCOMPARE(thread.vfp->parseFile(package), int(VFP::ParseOk));
        thread.startProcess(0);
        QVERIFY(thread.wait(120000));
        QCOMPARE(thread.uploadStatus.load(), 0);
        auto guard = line.dongle->lock();
        QCOMPARE(line.dongle->radioBootloader().image(), image);
        if (longFrames) {
            QCOMPARE(line.dongle->radioBootloader().framesReceived(), 200);
            QVERIFY(!lateBytesDropped);
        }
    }

private:
    QStringList m_expected;
};

QTEST_GUILESS_MAIN(TestWire)
#include "tst_wire.moc"
