// The dongle link's requests, slot buffers and command channel against the
// virtual dongle, its fixed waits instant; frames are read off its trace.
// Discovery and monitoring run on real timers, ten times quicker than the
// product's, and their counting rules also tick by tick.

#include "drivercontract.h"
#include "simrig.h"

#include "usb/donglerequests.h"
#include "usb/pacing.h"

#include <QtTest>

#include <atomic>
#include <thread>

namespace {

// A port that answers the bootloader probe with `probe` bytes and every request
// with `reply`, or once with part of it, the rest coming after the read window.
struct ScriptedDriver : SimDriver
{
    explicit ScriptedDriver(unsigned probe, QByteArray reply = QByteArray())
        : SimDriver(std::make_shared<VirtualDongle>()), m_probe(probe), m_reply(std::move(reply)) {}
    void shortenNextReply(int bytes) { m_shortNext = bytes; }

    int purge(Handle, unsigned) override { m_waiting.clear(); return Ok; }
    int write(Handle, const char *data, unsigned count, unsigned *written) override
    {
        if (count == 2 && data[0] == 0x31) {
            m_waiting = QByteArray(int(m_probe), 0x14);
        } else if (count == 8) {
            const int sent = m_shortNext >= 0 ? m_shortNext : m_reply.size();
            m_waiting += m_reply.left(sent);
            m_late = m_reply.mid(sent);
            m_shortNext = -1;
        }
        *written = count;
        return Ok;
    }
    int read(Handle, char *data, unsigned count, unsigned *received) override
    {
        if (m_lateDue) {
            m_waiting = m_late + m_waiting;
            m_late.clear();
            m_lateDue = false;
        }
        *received = qMin(count, unsigned(m_waiting.size()));
        std::copy(m_waiting.begin(), m_waiting.begin() + *received, data);
        m_waiting.remove(0, int(*received));
        m_lateDue = !m_late.isEmpty();
        return Ok;
    }
    int queueStatus(Handle, unsigned *rx, unsigned *tx, unsigned *events) override
    {
        *rx = unsigned(m_waiting.size());
        *tx = *events = 0;
        return Ok;
    }

    unsigned m_probe;
    QByteArray m_reply, m_waiting, m_late;
    bool m_lateDue = false;
    int m_shortNext = -1;
};

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

class TestUsbd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Pacing::setInstant(true);
        Pacing::setTimerScale(10);
        TestLog::install();
    }

    void init() { TestLog::clear(); }

    // The link and the virtual dongle share these names, so only the numbers
    // the dongle and FTDI's library use can show a wrong one.
    void codesAreTheDevicesOwn()
    {
        using namespace DongleRequests;
        QCOMPARE((QList<int>{SetDmxSlot, GetDmxSlot, SwapDmxOut, RestoreDefault, SwapDmxIn, GetVersion, DmxOff,
                             GetBootloaderVersion, Status, InitDmx, GetBufferSlot, InBufferReady, Reboot, SerialIn,
                             UpdaterMode, SerialFlushOut, SerialFlushIn, GetHardwareVersion, GetDmxSlotBulk, SerialOut,
                             EnterBootloader}),
                 (QList<int>{0x01, 0x02, 0x03, 0x04, 0x05, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19,
                             0x1A, 0x1B, 0x1C, 0x1E, 0x20, 0x40}));
        using D = DongleDriver;
        QCOMPARE((QList<int>{D::Ok, D::InvalidHandle, D::DeviceNotFound, D::DeviceNotOpened, D::IoError,
                             D::InsufficientResources, D::InvalidParameter, D::InvalidBaudRate, D::OtherError, D::PurgeRx,
                             D::PurgeTx}),
                 (QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 18, 1, 2}));
    }

    // Slot numbers and values stay small: only this shows the high bytes.
    void requestEncoding()
    {
        const int dataA = 0x1234;
        const int dataB = 16383;
        const QByteArray frame = QByteArray::fromHex("00153412ff7f0000");
        SimRig rig;
        const int mark = rig.mark();
        char reply[8] = {};
        QCOMPARE(rig.usbd->usbSimpleRequest(0x15, reply, 1000, dataA, dataB), 0);
        QCOMPARE(rig.requestsSince(mark), QList<QByteArray>{frame});
    }

    // Requests and the serial channel are the application's alone: without it
    // nothing is sent, and that is a failure, never a success with the reply untouched.
    void nothingIsSentWithoutTheApplication()
    {
        SimRig rig;
        rig.usbd->usbDongleType = 4; // its bootloader
        const int mark = rig.mark();
        char bytes[8] = {'a', 'b', 'c'};
        QCOMPARE(rig.usbd->serialDataOut(3, bytes), -1);
        QCOMPARE(rig.usbd->usbSimpleRequest(0x13, bytes, 500), -1);
        QCOMPARE(rig.usbd->serialDataIn(), -1);
        QCOMPARE(rig.usbd->enterUpdaterMode(), -1);
        QCOMPARE(rig.mark(), mark);
    }

    // The virtual radio judges what the link sends as a radio does: a frame
    // wrong in one place is refused, and the status frame comes instead.
    void radioRefusesBrokenFrames_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<bool>("taken");
        // Code 50 means nothing to the radio's firmware: the bare echo.
        QTest::newRow("sound") << "p1" << QByteArray::fromHex("cc01067a3c3201bb") << true;
        QTest::newRow("check value, low byte") << "p1" << QByteArray::fromHex("cc01067a3c0a0192") << false;
        QTest::newRow("check value, high byte") << "p1" << QByteArray::fromHex("cc01067a3c0a0293") << false;
        QTest::newRow("other manufacturer") << "p1" << QByteArray::fromHex("cc01067b3c0a0194") << false;
        QTest::newRow("length past the buffer") << "legacy" << QByteArray::fromHex("cc01ff7a3c04") << false;
        QTest::newRow("LEN 5, its check value sound") << "p1" << QByteArray::fromHex("cc01057a3c0188") << false;
        QTest::newRow("LEN 3 without a check value") << "legacy" << QByteArray::fromHex("cc01037a3c04") << false;
    }

    void radioRefusesBrokenFrames()
    {
        QFETCH(QString, profile);
        QFETCH(QByteArray, sent);
        QFETCH(bool, taken);
        SimRig rig(profile);
        VirtualRadio &radio = rig.dongle->radio();
        QCOMPARE(radio.receiveFrame(sent.leftJustified(VirtualDongle::bufferSlots, '\0')), taken);
        if (taken)
            QCOMPARE(radio.transmitFrame(), sent);
        // A reply is sent once; the status frame follows.
        QCOMPARE(int(quint8(radio.transmitFrame().at(5))), 0);
    }

    // A level-1 command is tried ten times, over a check value that fails,
    // a reply that never comes or a frame that could not be written (its
    // slots are tried five times each); level 0 has no check and one attempt.
    void commandAttempts_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<bool>("radio");
        QTest::addColumn<int>("corrupted");
        QTest::addColumn<int>("refused");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("attempts");
        QTest::newRow("sound") << "p1" << true << 0 << 0 << 12 << 1;
        QTest::newRow("nine bad check values") << "p1" << true << 9 << 0 << 12 << 10;
        QTest::newRow("ten bad check values") << "p1" << true << 10 << 0 << 255 << 10;
        QTest::newRow("no reply, level 1") << "p1" << false << 0 << 0 << 254 << 10;
        QTest::newRow("no reply, level 0") << "legacy" << false << 0 << 0 << 254 << 1;
        // The first frame never goes out; the second is answered.
        QTest::newRow("a frame not written") << "p1" << true << 0 << 5 << 12 << 1;
        QTest::newRow("a frame not written, level 0") << "legacy" << true << 0 << 5 << 254 << 0;
    }

    void commandAttempts()
    {
        QFETCH(QString, profile);
        QFETCH(bool, radio);
        QFETCH(int, corrupted);
        QFETCH(int, refused);
        QFETCH(int, attempts);
        SimRig rig(profile);
        rig.startRadio();
        rig.dongle->setRadioConnected(radio);
        rig.dongle->corruptCheckValues(corrupted);
        rig.driver->refusals = refused;
        const int mark = rig.mark();
        const qint64 waited = Pacing::requestedMs();
        QTEST(rig.usbd->runDmxCommand(12), "result");
        QCOMPARE(rig.countSince(mark, 0x03), attempts);
        QCOMPARE(rig.countSince(mark, 0x05), attempts);
        // LEN + 2 slots per attempt: six at level 0, eight with the check value.
        const int perFrame = profile == QLatin1String("legacy") ? 6 : 8;
        QCOMPARE(rig.countSince(mark, 0x01), attempts * perFrame);
        // 10 ms after each slot, 20 after the out swap, 10 after the in swap,
        // then 10 more once a reply is ready, or 3 s of polling for none.
        QCOMPARE(Pacing::requestedMs() - waited, qint64(attempts) * (perFrame * 10 + 20 + 10 + (radio ? 10 : 3000)));
    }

    // A length past the 134-slot buffer, either way. Out, a frame cut to fit
    // would claim a length it lacks: nothing goes out. In, it is read within
    // the buffer and refused as no radio's; the in-buffer keeps what it held.
    void frameLengthBounds()
    {
        SimRig rig(QStringLiteral("p1"));
        rig.startRadio();
        // The shortest frame in holds its header and its code: LEN 6, not 5.
        rig.dongle->radio().queueRawFrame(QByteArray::fromHex("cc01057a3c0000"));
        QCOMPARE(rig.usbd->getDmxInBuffer(), 0);
        rig.dongle->radio().queueRawFrame(QByteArray::fromHex("cc01067a3c0c0000"));
        QCOMPARE(rig.usbd->getDmxInBuffer(), 1);
        rig.usbd->dmxOutBuffer[2] = quint8(250);
        int mark = rig.mark();
        QCOMPARE(rig.usbd->sendPacketWithCRC(), -1);
        QCOMPARE(rig.usbd->sendPacket(), -1);
        QCOMPARE(rig.mark(), mark);

        rig.dongle->radio().queueRawFrame(QByteArray::fromHex("cc01c8") + QByteArray(131, char(0x11)));
        mark = rig.mark();
        QCOMPARE(rig.usbd->getDmxInBuffer(), 0);
        // The length read asks for slot 2 and gives nothing else.
        QCOMPARE(rig.requestsSince(mark, 0x02), QList<QByteArray> {QByteArray::fromHex("0002000002000000")});
        // The whole buffer and no more: 20 chunks, the last starting at 133.
        const auto chunks = rig.requestsSince(mark, 0x1E);
        QCOMPARE(chunks.size(), 20);
        QCOMPARE(int(quint8(chunks.last().at(4))), 133);
        QCOMPARE(int(rig.usbd->dmxInBuffer[133]), 0);

        // Neither LEN 200 nor LEN 133 (its check value's low byte past the buffer) can pass the check.
        for (int length : {200, 133}) {
            std::fill(std::begin(rig.usbd->dmxInBuffer), std::end(rig.usbd->dmxInBuffer), quint8(0x11));
            rig.usbd->dmxInBuffer[2] = quint8(length);
            QCOMPARE(rig.usbd->checkIntegrity(), 0);
        }
    }

    // Per dongle firmware: its type (3 application, 4 bootloader, 0 none: 0.0.x reads as
    // absent, its handle given back to a driver that refuses as any does), what is sent as
    // it is found, where a write to slot 5 goes (-1: not sent), a reboot on leaving for the
    // application alone; a bootloader build past 255 shows its byte order.
    void dongleFirmware_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("codes");
        QTest::addColumn<int>("hardware");
        QTest::addColumn<QString>("bootloader");
        QTest::addColumn<int>("wireSlot");
        const QString extras = QStringLiteral(",bootloader=4.5.300,hardware=2");
        QTest::newRow("0.3.1: slots from one") << "dongle=0.3.1" + extras << 3 << QByteArray::fromHex("1011") << -1 << "0.0.0" << 4;
        QTest::newRow("0.3.2") << "dongle=0.3.2" + extras << 3 << QByteArray::fromHex("1011") << -1 << "0.0.0" << 5;
        QTest::newRow("2.16") << "dongle=2.16.9" + extras << 3 << QByteArray::fromHex("1011") << -1 << "0.0.0" << 5;
        QTest::newRow("2.17") << "dongle=2.17.0" + extras << 3 << QByteArray::fromHex("101211") << -1 << "4.5.300" << 5;
        QTest::newRow("2.20") << "dongle=2.20.0" + extras << 3 << QByteArray::fromHex("10121c11") << 2 << "4.5.300" << 5;
        QTest::newRow("1.99") << "dongle=1.99.0" + extras << 3 << QByteArray::fromHex("1011") << -1 << "0.0.0" << 5;
        QTest::newRow("bootloader") << "dongle=boot" + extras << 4 << QByteArray() << -1 << "0.0.0" << -1;
        QTest::newRow("0.0.4: none") << "dongle=0.0.4" + extras << 0 << QByteArray::fromHex("10") << -1 << "0.0.0" << -1;
    }

    void dongleFirmware()
    {
        QFETCH(QString, profile);
        QFETCH(int, type);
        QFETCH(int, wireSlot);
        SimRig rig(profile);
        QCOMPARE(rig.usbd->usbDongleType, type);
        QCOMPARE(rig.usbd->dongleVersion.major == -1, type == 0);
        QCOMPARE(TestLog::count(QStringLiteral("Usbd: scanUSB: QTimer: No devices found, rescan in 250ms")), type == 0 ? 1 : 0);
        DongleDriver::Handle handle = DongleDriver::noHandle;
        QCOMPARE(rig.usbd->driver()->openByDescription("Veltra Dongle v3", &handle) == 0, type == 0);
        if (type == 0)
            refusesWhatItCannotDo(*rig.usbd->driver(), handle);
        QByteArray sent; // version reads (0x10, 0x12, 0x1C) and DMX off (0x11)
        for (const QByteArray &frame : rig.requestsSince(0)) {
            if (QByteArray::fromHex("1011121c").contains(frame.at(1)))
                sent.append(frame.at(1));
        }
        QTEST(sent, "codes");
        // The version reads carry nothing past their code.
        for (const QByteArray &frame : rig.requestsSince(0, 0x10) + rig.requestsSince(0, 0x12) + rig.requestsSince(0, 0x1C))
            QCOMPARE(frame.mid(2), QByteArray(6, '\0'));
        QTEST(rig.usbd->hardwareVersion, "hardware");
        const auto &version = rig.usbd->bootloaderVersion;
        QTEST(QStringLiteral("%1.%2.%3").arg(version.major).arg(version.minor).arg(version.build), "bootloader");

        const int mark = rig.mark();
        rig.usbd->setDmxSlot(5, 0x42);
        const QByteArray write = QByteArray::fromHex("00014200") + char(wireSlot) + QByteArray(3, '\0');
        QCOMPARE(rig.requestsSince(mark, 0x01), wireSlot < 0 ? QList<QByteArray>() : QList<QByteArray> {write});
        // Wherever it went on the wire, the value lands in slot 5 of the dongle's buffer.
        QCOMPARE(quint8(rig.dongle->outputBuffer().at(5)) == 0x42, wireSlot >= 0);
        rig.usbd.reset();
        QCOMPARE(rig.dongle->rebootCount(), type == 3 ? 1 : 0);
    }

    // The wait for a fresh input buffer: its ready queries, its time-out
    // (whatever the step), and firmware from before the ready flag.
    void inBufferWait_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<bool>("radio");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<int>("queries");
        QTest::newRow("2.22, radio") << "dongle=2.22.0" << true << 3000 << 1;
        QTest::newRow("1.4: no ready flag") << "dongle=1.4.0" << true << 3000 << 0;
        QTest::newRow("no radio, 25 ms: not a multiple of 10") << "" << false << 25 << 3;
        QTest::newRow("no radio, 0 ms") << "" << false << 0 << 1;
    }

    void inBufferWait()
    {
        QFETCH(QString, profile);
        QFETCH(bool, radio);
        QFETCH(int, timeout);
        QFETCH(int, queries);
        SimRig rig(profile);
        rig.startRadio();
        rig.dongle->setRadioConnected(radio);
        const int mark = rig.mark();
        const qint64 waitedBefore = Pacing::requestedMs();
        QCOMPARE(rig.usbd->swapDmxInBufferAndWait(timeout), radio ? 1 : 0);
        QCOMPARE(rig.countSince(mark, 0x16), queries);
        // The swap's pause, then one pause after each query that found nothing new.
        QCOMPARE(Pacing::requestedMs() - waitedBefore, qint64(10 + (radio ? 0 : 10 * queries)));
    }

    // The application is asked into its bootloader; the updater firmware is
    // asked nothing, only given 500 ms to get there on its own.
    void dongleBootloaderEntry_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QByteArray>("request"); // empty: none
        QTest::newRow("updater firmware") << "dongle=0.145.124" << QByteArray();
        QTest::newRow("application") << "dongle=3.2.7" << QByteArray::fromHex("0040000000000000");
    }

    void dongleBootloaderEntry()
    {
        QFETCH(QString, profile);
        QFETCH(QByteArray, request);
        SimRig rig(profile);
        const int mark = rig.mark();
        const qint64 waitedBefore = Pacing::requestedMs();
        rig.usbd->enterDongleBootloader();
        QCOMPARE(rig.requestsSince(mark), request.isEmpty() ? QList<QByteArray>() : QList<QByteArray> {request});
        QCOMPARE(Pacing::requestedMs() - waitedBefore, qint64(request.isEmpty() ? 500 : 0));
    }

    // What a port answers makes it the dongle, its bootloader or neither.
    void whatAnswersIsTheDongle_data()
    {
        QTest::addColumn<unsigned>("probeAnswer");
        QTest::addColumn<QByteArray>("reply"); // to every request
        QTest::addColumn<int>("type");
        QTest::newRow("nine: the bootloader") << 9u << QByteArray() << 4;
        QTest::newRow("eight: not it") << 8u << QByteArray() << 0;
        QTest::newRow("ten: not it") << 10u << QByteArray() << 0;
        QTest::newRow("the request code echoed: the dongle") << 0u << QByteArray::fromHex("1003020007000000") << 3;
        // A dongle echoes the request's code; these would read as a dongle
        // 255.255.65535 or 16.0.0.
        QTest::newRow("0xFF to everything") << 0u << QByteArray(8, char(0xFF)) << 0;
        QTest::newRow("the request itself echoed") << 0u << QByteArray::fromHex("0010000000000000") << 0;
    }

    void whatAnswersIsTheDongle()
    {
        QFETCH(unsigned, probeAnswer);
        QFETCH(QByteArray, reply);
        QFETCH(int, type);
        Usbd usbd(std::make_unique<ScriptedDriver>(probeAnswer, reply));
        auto *driver = static_cast<ScriptedDriver *>(usbd.driver());
        QCOMPARE(usbd.usbDongleType, type);
        if (type != 3)
            return;

        // The dongle's reply comes short once: that request fails, its buffer
        // left as it was, and the late rest is never taken for the next reply.
        QByteArray got(8, char(0x55));
        driver->shortenNextReply(5);
        QCOMPARE(usbd.usbSimpleRequest(0x10, got.data(), 1000), -1);
        QCOMPARE(got, QByteArray(8, char(0x55)));
        QCOMPARE(usbd.usbSimpleRequest(0x10, got.data(), 1000), 0);
        QCOMPARE(got, reply);
    }

    // A poll's reply with one byte more than a reply has came over a noisy
    // line: which eight bytes were the dongle's is not known, so none is taken.
    void serialReplyOneByteTooLong()
    {
        const QByteArray reply = QByteArray::fromHex("180001410000000000");
        Usbd usbd(std::make_unique<ScriptedDriver>(0u, reply));
        usbd.usbDongleType = 3;
        QCOMPARE(usbd.serialDataIn(), -3); // a reply lost
    }

    // The virtual dongle's side: a slot past bit 7 travels in two bytes, and both firmwares forget
    // bytes cut off by a pause of 50 ms or more (after less they join the next). No other reply comes.
    void virtualDongleAnswers_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QByteArrayList>("writes");
        QTest::addColumn<qint64>("pauseUs"); // after each write
        QTest::addColumn<QByteArray>("replies");
        const auto hex = [](const char *text) { return QByteArray::fromHex(text); };
        QTest::newRow("slot 133") << "r9" << QByteArrayList{hex("0001420005010000"), hex("0015850000000000")} << qint64(0)
                                  << hex("0100000000000000 1500420000000000");
        QTest::newRow("buffer 1, swapped") << "r9" << QByteArrayList{hex("0001420005000000"), hex("0003000000000000"),
                                                                      hex("0015050001000000")}
                                           << qint64(0) << hex("0100000000000000 0300000000000000 1500420000000000");
        QTest::newRow("restored to default") << "r9" << QByteArrayList{hex("0001420005000000"), hex("0003000000000000"),
                                                                        hex("0004000000000000"), hex("0015050000000000"),
                                                                        hex("0015050001000000")}
                                             << qint64(0) << hex("0100000000000000 0300000000000000 0400000000000000"
                                                                 "1500000000000000 1500000000000000");
        QTest::newRow("serial out of no bytes") << "r9" << QByteArrayList{hex("0020000000000000")} << qint64(0)
                                                << hex("2000000000000000");
        const QByteArrayList status {hex("00130000"), hex("0010000000000000")};
        QTest::newRow("application, 50 ms") << "r9" << status << qint64(50000) << hex("1003020007000000");
        QTest::newRow("application, 49.999 ms") << "r9" << status << qint64(49999) << hex("1300000000000000");
        // A parameter read whose argument never came, then a sync.
        const QByteArrayList parameter {hex("41"), hex("3020")};
        QTest::newRow("bootloader, 50 ms") << "r9,dongle=boot" << parameter << qint64(50000) << hex("1410");
        QTest::newRow("bootloader, 49.999 ms") << "r9,dongle=boot" << parameter << qint64(49999) << hex("140310");
    }

    void virtualDongleAnswers()
    {
        QFETCH(QString, profile);
        QFETCH(QByteArrayList, writes);
        QFETCH(qint64, pauseUs);
        QFETCH(QByteArray, replies);
        SimProfile parsed;
        QVERIFY(SimProfile::parse(profile, &parsed));
        qint64 now = 1000000;
        VirtualDongle dongle(parsed, [&now] { return now; });
        for (const QByteArray &bytes : writes) {
            dongle.hostWrite(bytes);
            now += pauseUs;
        }
        QCOMPARE(dongle.hostRead(replies.size() + 8).toHex(), replies.toHex());
    }

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

QTEST_GUILESS_MAIN(TestUsbd)
#include "tst_usbd.moc"
