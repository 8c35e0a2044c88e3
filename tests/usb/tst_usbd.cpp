// The dongle link's requests, slot buffers and command channel against the
// virtual dongle, with the protocol's fixed waits made instant. Frames are
// asserted from the dongle's trace, as they crossed the wire.

#include "simrig.h"

#include "usb/pacing.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// A port that answers the bootloader probe with `probe` bytes and every
// request with `reply`, or with only part of it once: the rest then comes
// after the read window, at the next read.
class ScriptedDriver : public DongleDriver
{
public:
    explicit ScriptedDriver(unsigned probe, QByteArray reply = QByteArray())
        : m_probe(probe), m_reply(std::move(reply)) {}
    void shortenNextReply(int bytes) { m_shortNext = bytes; }

    int openByDescription(const QByteArray &, Handle *handle) override { *handle = 1; return Ok; }
    int comPortNumber(Handle, long *port) override { *port = -1; return Ok; }
    int resetDevice(Handle) override { return Ok; }
    int setBaudRate(Handle, unsigned) override { return Ok; }
    int purge(Handle, unsigned) override { m_waiting.clear(); return Ok; }
    int setTimeouts(Handle, unsigned, unsigned) override { return Ok; }
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
    int close(Handle) override { return Ok; }
    QString portName(Handle) const override { return QString(); }

private:
    unsigned m_probe;
    QByteArray m_reply;
    QByteArray m_waiting;
    QByteArray m_late;
    bool m_lateDue = false;
    int m_shortNext = -1;
};

} // namespace

class TestUsbd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Pacing::setInstant(true);
        TestLog::install();
    }

    void init()
    {
        TestLog::clear();
    }

    // Slot numbers and values stay small: only this shows the high bytes.
    void requestEncoding_data()
    {
        QTest::addColumn<int>("dataA");
        QTest::addColumn<int>("dataB");
        QTest::addColumn<QByteArray>("bytes2to5");

        QTest::newRow("dataB 200") << 0 << 200 << QByteArray::fromHex("0000c801");
        QTest::newRow("dataA 300") << 300 << 0 << QByteArray::fromHex("2c010000");
        QTest::newRow("both") << 0x1234 << 16383 << QByteArray::fromHex("3412ff7f");
    }

    void requestEncoding()
    {
        QFETCH(int, dataA);
        QFETCH(int, dataB);
        QFETCH(QByteArray, bytes2to5);

        SimRig rig;
        const int mark = rig.mark();
        char reply[8] = {};
        QCOMPARE(rig.usbd->usbSimpleRequest(0x15, reply, 1000, dataA, dataB), 0);
        const auto frames = rig.requestsSince(mark);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.first().size(), 8);
        QCOMPARE(quint8(frames.first().at(1)), quint8(0x15));
        QCOMPARE(frames.first().mid(2, 4), bytes2to5);
    }

    // Requests and the serial channel are the application's alone: with no
    // dongle open, or the dongle in its bootloader, nothing is sent, and
    // that is a failure, never a success with a reply left as it was.
    void nothingIsSentWithoutTheApplication_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("no dongle") << 0;
        QTest::newRow("dongle in its bootloader") << 4;
    }

    void nothingIsSentWithoutTheApplication()
    {
        QFETCH(int, type);
        SimRig rig;
        rig.usbd->usbDongleType = type;
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

    // A level-1 command is tried ten times, over a check value that fails
    // or a reply that never comes; level 0 has no check and one attempt.
    void commandAttempts_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<bool>("radio");
        QTest::addColumn<int>("corrupted");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("attempts");

        QTest::newRow("sound") << "p1" << true << 0 << 12 << 1;
        QTest::newRow("nine bad check values") << "p1" << true << 9 << 12 << 10;
        QTest::newRow("ten bad check values") << "p1" << true << 10 << 255 << 10;
        QTest::newRow("no reply, level 1") << "p1" << false << 0 << 254 << 10;
        QTest::newRow("no reply, level 0") << "legacy" << false << 0 << 254 << 1;
    }

    void commandAttempts()
    {
        QFETCH(QString, profile);
        QFETCH(bool, radio);
        QFETCH(int, corrupted);
        QFETCH(int, result);
        QFETCH(int, attempts);

        SimRig rig(profile);
        rig.startRadio();
        rig.dongle->setRadioConnected(radio);
        rig.dongle->corruptCheckValues(corrupted);
        const int mark = rig.mark();
        QCOMPARE(rig.usbd->runDmxCommand(12), result);
        QCOMPARE(rig.countSince(mark, 0x03), attempts);
        QCOMPARE(rig.countSince(mark, 0x05), attempts);
        // Each attempt writes LEN + 2 slots: six at level 0, eight with the
        // check value.
        QCOMPARE(rig.countSince(mark, 0x01), attempts * (profile == QLatin1String("legacy") ? 6 : 8));
    }

    void oversizedLengthFromTheWire()
    {
        SimRig rig(QStringLiteral("p1"));
        rig.startRadio();
        QByteArray frame(134, char(0x11));
        frame[0] = char(0xCC);
        frame[1] = 0x01;
        frame[2] = char(200);
        rig.dongle->radio().queueRawFrame(frame);

        const int mark = rig.mark();
        // Read within the buffer, then refused: such a frame cannot be the
        // radio's, and the in-buffer keeps the frame it held.
        QCOMPARE(rig.usbd->getDmxInBuffer(), 0);
        // The whole buffer and no more: 20 chunks, the last starting at 133.
        const auto chunks = rig.requestsSince(mark, 0x1E);
        QCOMPARE(chunks.size(), 20);
        QCOMPARE(int(quint8(chunks.last().at(4))), 133);
        QCOMPARE(int(rig.usbd->dmxInBuffer[133]), 0);

        // Neither LEN 200 nor LEN 133 (its check value's low byte past the
        // buffer) can pass the check.
        for (int length : {200, 133}) {
            std::fill(std::begin(rig.usbd->dmxInBuffer), std::end(rig.usbd->dmxInBuffer), quint8(0x11));
            rig.usbd->dmxInBuffer[2] = quint8(length);
            QCOMPARE(rig.usbd->checkIntegrity(), 0);
        }
    }

    // A frame whose length runs past the buffer would, cut to fit, claim a
    // length it does not have: nothing goes out.
    void frameLongerThanTheBufferIsNotSent()
    {
        SimRig rig;
        rig.usbd->dmxOutBuffer[2] = quint8(250);
        const int mark = rig.mark();
        QCOMPARE(rig.usbd->sendPacketWithCRC(), -1);
        QCOMPARE(rig.usbd->sendPacket(), -1);
        QCOMPARE(rig.mark(), mark);
    }

    void oldFirmwareShiftsSlots_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("wireSlot");

        QTest::newRow("0.3.1") << "dongle=0.3.1" << 4;
        QTest::newRow("0.3.2") << "dongle=0.3.2" << 5;
    }

    void oldFirmwareShiftsSlots()
    {
        QFETCH(QString, profile);
        QFETCH(int, wireSlot);

        SimRig rig(profile);
        const int mark = rig.mark();
        rig.usbd->setDmxSlot(5, 0x42);
        const auto writes = rig.slotWritesSince(mark);
        QCOMPARE(writes.size(), 1);
        QCOMPARE(writes.first(), qMakePair(wireSlot, 0x42));
        // Either way the value lands in slot 5 of the dongle's buffer.
        QCOMPARE(int(quint8(rig.dongle->outputBuffer().at(5))), 0x42);
    }

    void versionReadsFollowFirmware_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QByteArray>("codes");
        QTest::addColumn<int>("hardware");
        QTest::addColumn<QString>("bootloader");

        // A build past a byte shows the order of its two bytes.
        const QString extras = QStringLiteral(",bootloader=4.5.300,hardware=2");
        QTest::newRow("2.16") << "dongle=2.16.9" + extras << QByteArray::fromHex("10") << -1 << "0.0.0";
        QTest::newRow("2.17") << "dongle=2.17.0" + extras << QByteArray::fromHex("1012") << -1 << "4.5.300";
        QTest::newRow("2.20") << "dongle=2.20.0" + extras << QByteArray::fromHex("10121c") << 2 << "4.5.300";
        QTest::newRow("1.99") << "dongle=1.99.0" + extras << QByteArray::fromHex("10") << -1 << "0.0.0";
    }

    void versionReadsFollowFirmware()
    {
        QFETCH(QString, profile);
        QFETCH(QByteArray, codes);
        QFETCH(int, hardware);
        QFETCH(QString, bootloader);

        SimRig rig(profile);
        QByteArray versionCodes;
        for (const QByteArray &frame : rig.requestsSince(0)) {
            const quint8 code = quint8(frame.at(1));
            if (code == 0x10 || code == 0x12 || code == 0x1C)
                versionCodes.append(char(code));
        }
        QCOMPARE(versionCodes, codes);
        QCOMPARE(rig.usbd->hardwareVersion, hardware);
        const auto &version = rig.usbd->bootloaderVersion;
        QCOMPARE(QStringLiteral("%1.%2.%3").arg(version.major).arg(version.minor).arg(version.build), bootloader);
    }

    void zeroVersionCountsAsAbsent()
    {
        SimRig rig(QStringLiteral("dongle=0.0.4"));
        QCOMPARE(rig.usbd->usbDongleType, 0);
        QCOMPARE(rig.usbd->dongleVersion.major, -1);
        QVERIFY(!rig.usbd->isUsbAttached());
        QCOMPARE(rig.countSince(0, 0x11), 0);
        QCOMPARE(TestLog::count(QStringLiteral("Usbd: scanUSB: QTimer: No devices found, rescan in 250ms")), 1);
        // The handle was given back: the next attempt can open the dongle again.
        DongleDriver::Handle handle = DongleDriver::noHandle;
        QCOMPARE(rig.usbd->driver()->openByDescription("Veltra Dongle v3", &handle), 0);
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
        QTest::newRow("no radio, 3000 ms") << "" << false << 3000 << 300;
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
        if (radio)
            QCOMPARE(Pacing::requestedMs() - waitedBefore, qint64(10));
    }


    void dongleBootloaderEntry_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("requests");
        QTest::addColumn<qint64>("waitedMs");
        QTest::addColumn<bool>("inBootloader");

        QTest::newRow("updater firmware") << "dongle=0.145.124" << 0 << qint64(500) << false;
        QTest::newRow("application") << "dongle=3.2.7" << 1 << qint64(0) << true;
    }

    void dongleBootloaderEntry()
    {
        QFETCH(QString, profile);
        QFETCH(int, requests);
        QFETCH(qint64, waitedMs);
        QFETCH(bool, inBootloader);

        SimRig rig(profile);
        const int mark = rig.mark();
        const qint64 waitedBefore = Pacing::requestedMs();
        rig.usbd->enterDongleBootloader();
        QCOMPARE(rig.mark() - mark, requests);
        QCOMPARE(rig.countSince(mark, 0x40), requests);
        QCOMPARE(Pacing::requestedMs() - waitedBefore, waitedMs);
        QCOMPARE(rig.dongle->mode() == VirtualDongle::Mode::Bootloader, inBootloader);
    }

    void teardownRebootsRunningDongle_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("reboots");

        QTest::newRow("application") << "" << 1;
        QTest::newRow("bootloader") << "dongle=boot" << 0;
        QTest::newRow("no dongle") << "dongle=0.0.0" << 0;
    }

    void teardownRebootsRunningDongle()
    {
        QFETCH(QString, profile);
        QFETCH(int, reboots);

        SimRig rig(profile);
        rig.usbd.reset();
        QCOMPARE(rig.dongle->rebootCount(), reboots);
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
        QCOMPARE(usbd.usbDongleType, type);
    }

    void lateBytesAreNeverTakenForTheNextReply()
    {
        // Every request is answered with version 3.2.7; one answer comes short
        // and its rest arrives after the read window.
        const QByteArray version = QByteArray::fromHex("1003020007000000");
        auto owned = std::make_unique<ScriptedDriver>(0, version);
        ScriptedDriver *driver = owned.get();
        Usbd usbd(std::move(owned));
        QCOMPARE(usbd.usbDongleType, 3);

        char reply[8];
        std::fill(std::begin(reply), std::end(reply), char(0x55));
        driver->shortenNextReply(5);
        QCOMPARE(usbd.usbSimpleRequest(0x10, reply, 1000), -1);
        QCOMPARE(QByteArray(reply, 8), QByteArray(8, char(0x55))); // left as it was
        QCOMPARE(usbd.usbSimpleRequest(0x10, reply, 1000), 0);
        QCOMPARE(QByteArray(reply, 8), version);
    }

    // The virtual dongle's own side of the exchange, as the protocol has it:
    // a slot number past bit 7 travels in two bytes, and a buffer the dongle
    // does not have reads as 0. Each row's frames go out in turn; the last
    // one's reply is compared.
    void virtualDongleAnswers_data()
    {
        QTest::addColumn<QByteArray>("requests");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("slot 133") << QByteArray::fromHex("0001420005010000" "0015850000000000")
                                  << QByteArray::fromHex("1500420000000000");
        QTest::newRow("buffer 3") << QByteArray::fromHex("0001420005000000" "0015050003000000")
                                  << QByteArray::fromHex("1500000000000000");
    }

    void virtualDongleAnswers()
    {
        QFETCH(QByteArray, requests);
        QFETCH(QByteArray, reply);
        SimRig rig;
        QByteArray last;
        for (int at = 0; at < requests.size(); at += 8) {
            rig.dongle->hostWrite(requests.mid(at, 8));
            last = rig.dongle->hostRead(8);
        }
        QCOMPARE(last.toHex(), reply.toHex());
    }

    // Bytes cut off by a pause of 50 ms or more are forgotten, by the
    // application as by the bootloader; after a shorter pause they join the
    // bytes that follow.
    void pauseDropsAPartialRequest_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<qint64>("pauseUs");
        QTest::addColumn<QByteArray>("partial");
        QTest::addColumn<QByteArray>("whole");
        QTest::addColumn<QByteArray>("reply");
        const QByteArray status = QByteArray::fromHex("00130000"), version = QByteArray::fromHex("0010000000000000");
        QTest::newRow("application, 50 ms") << "r9" << qint64(50000) << status << version << QByteArray::fromHex("10");
        QTest::newRow("application, 49.999 ms") << "r9" << qint64(49999) << status << version << QByteArray::fromHex("13");
        // A parameter read whose argument never came, then a sync.
        const QByteArray parameter = QByteArray::fromHex("41"), sync = QByteArray::fromHex("3020");
        QTest::newRow("bootloader, 50 ms") << "r9,dongle=boot" << qint64(50000) << parameter << sync << QByteArray::fromHex("1410");
        QTest::newRow("bootloader, 49.999 ms") << "r9,dongle=boot" << qint64(49999) << parameter << sync
                                               << QByteArray::fromHex("140310");
    }

    void pauseDropsAPartialRequest()
    {
        QFETCH(QString, profile);
        QFETCH(qint64, pauseUs);
        QFETCH(QByteArray, partial);
        QFETCH(QByteArray, whole);
        QFETCH(QByteArray, reply);
        SimProfile parsed;
        QVERIFY(SimProfile::parse(profile, &parsed));
        qint64 now = 1000000;
        VirtualDongle dongle(parsed, [&now] { return now; });
        dongle.hostWrite(partial);
        now += pauseUs;
        dongle.hostWrite(whole);
        QCOMPARE(dongle.hostRead(reply.size()).toHex(), reply.toHex());
    }

    // A radio swapped in keeps the profile's settings, its serial counted on
    // from the first radio's.
    void swappedRadioKeepsTheProfile()
    {
        SimProfile profile;
        QVERIFY(SimProfile::parse(QStringLiteral("radios=r9:p1,serial=00000000ff,trxhw=7"), &profile));
        const SimProfile second = profile.swappedRadio(1);
        QCOMPARE(second.name, QStringLiteral("p1"));
        QVERIFY(second.radioSettings.contains(qMakePair(QStringLiteral("trxhw"), QStringLiteral("7"))));
        QVERIFY(second.radioSettings.contains(qMakePair(QStringLiteral("serial"), QStringLiteral("0000000100"))));
    }

    void statusIsPolledOnEveryFifthTick()
    {
        SimRig rig;
        for (int round = 0; round < 2; ++round) {
            const int mark = rig.mark();
            for (int tick = 1; tick <= 4; ++tick)
                rig.usbd->checkUSBDevice();
            QCOMPARE(rig.countSince(mark, 0x13), 0);
            rig.usbd->checkUSBDevice();
            QCOMPARE(rig.countSince(mark, 0x13), 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestUsbd)
#include "tst_usbd.moc"
