#include "usbd.h"

#include "usb/donglerequests.h"
#include "usb/protocol.h"

#include "pacing.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <QTimer>

#include <cstring>

namespace {

const QByteArray dongleDescription = QByteArrayLiteral("Veltra Dongle v3");

constexpr int scanIntervalMs = 250;
constexpr int checkIntervalMs = 300;
constexpr int detachedRescanMs = 300;
constexpr unsigned driverTimeoutMs = 100;
constexpr unsigned baudRate = 57600;
constexpr int frameBytes = 8;

// Fixed pauses of the protocol.
constexpr int slotWriteWaitMs = 10;
constexpr int outSwapWaitMs = 20;
constexpr int inSwapWaitMs = 10;
constexpr int readyPollWaitMs = 10;
constexpr int bootProbeWaitMs = 100;
constexpr int updaterModeWaitMs = 500;

// How long a late reply is waited for before the next request goes out.
constexpr int lateReplyWaitMs = 250;

constexpr int commandAttempts = 10;
constexpr int firstFrameAttempts = 3;
constexpr int noReply = CommandResult::NoReply;
constexpr int badReply = CommandResult::BadReply;

using namespace DongleRequests;

constexpr quint8 frameStart[] = {0xCC, 0x01};
constexpr quint8 manufacturer[] = {0x7A, 0x3C};

// The dongle link never finds a dongle through this one.
class NoDriver final : public DongleDriver
{
public:
    int openByDescription(const QByteArray &, Handle *) override { return DeviceNotFound; }
    int comPortNumber(Handle, long *) override { return InvalidHandle; }
    int resetDevice(Handle) override { return InvalidHandle; }
    int setBaudRate(Handle, unsigned) override { return InvalidHandle; }
    int purge(Handle, unsigned) override { return InvalidHandle; }
    int setTimeouts(Handle, unsigned, unsigned) override { return InvalidHandle; }
    int write(Handle, const char *, unsigned, unsigned *) override { return InvalidHandle; }
    int read(Handle, char *, unsigned, unsigned *) override { return InvalidHandle; }
    int queueStatus(Handle, unsigned *, unsigned *, unsigned *) override { return InvalidHandle; }
    int close(Handle) override { return InvalidHandle; }
    QString portName(Handle) const override { return QString(); }
};

quint8 byteAt(const char *buffer, int index)
{
    return static_cast<quint8>(buffer[index]);
}

} // namespace

Usbd::Usbd(std::unique_ptr<DongleDriver> driver, QObject *parent)
    : QObject(parent)
    , usbLock(new QRecursiveMutex)
    , usbDongleType(0)
    , liveDataEnabled(0)
    , checkValue(0)
    , comPort(-1)
    , dongleVersion{-1, -1, -1}
    , bootloaderVersion{0, 0, 0}
    , hardwareVersion(-1)
    , protocolVersion(-1)
    , radioAttached(false)
    , ftHandle(DongleDriver::noHandle)
    , ftStatus(0)
    , m_driver(driver ? std::move(driver) : std::make_unique<NoDriver>())
    , m_tick(new QTimer(this))
{
    m_tick->setSingleShot(true);
    connect(m_tick, &QTimer::timeout, this, [this] { (this->*m_next)(); });
    qDebug() << "Usbd: Usbd: ProcessId:" << QCoreApplication::applicationPid();
    std::memset(dmxInBuffer, 0, sizeof dmxInBuffer);
    std::memset(dmxOutBuffer, 0, sizeof dmxOutBuffer);
    connect(this, &Usbd::deviceEvent, this, &Usbd::handleDeviceEvent);
    connect(this, &Usbd::errorEvent, this, &Usbd::handleErrorEvent);
    scanUSB();
}

Usbd::~Usbd()
{
    qDebug() << "Usbd: ~Usbd: closing";
    // Leaving the application restarts the dongle, so it comes up clean for
    // whoever uses it next.
    if (usbDongleType == DongleType::Application)
        rebootDongle();
    closeHandle();
    delete usbLock;
}

bool Usbd::isUsbAttached()
{
    return usbDongleType != DongleType::None;
}

bool Usbd::isDmxAttached()
{
    return radioAttached;
}

void Usbd::SetProtocolVersion(int version)
{
    qDebug() << "Usbd: SetProtocolVersion" << version;
    protocolVersion = version;
    emit showProtocolVersion(version);
}

void Usbd::closeHandle()
{
    if (ftHandle != DongleDriver::noHandle) {
        m_driver->close(ftHandle);
        ftHandle = DongleDriver::noHandle;
    }
}

bool Usbd::firmwareAtLeast(int major, int minor) const
{
    return dongleVersion.major > major
           || (dongleVersion.major == major && dongleVersion.minor >= minor);
}

// ---------------------------------------------------------------------------
// Discovery and monitoring

void Usbd::scanUSB()
{
    // Whoever holds the lock (an upload, the dongle programmer) may end
    // without restarting discovery (an upload started with no dongle, a
    // thread that failed): a tick that cannot have the lock tries again
    // later, so a dongle plugged in meanwhile is still found.
    if (!usbLock->tryLock()) {
        armTimer(scanIntervalMs, &Usbd::scanUSB);
        return;
    }

    qDebug() << "Usbd: scanUSB: ProcessId:" << QCoreApplication::applicationPid();

    bool found = false;
    ftStatus = m_driver->openByDescription(dongleDescription, &ftHandle);
    if (ftStatus == DongleDriver::Ok) {
        qDebug() << "Usbd: scanUSB: Dongle v3 has been attached";

        long port = -1;
        comPort = m_driver->comPortNumber(ftHandle, &port) == DongleDriver::Ok ? port : -1;
        qDebug() << "Usbd: scanUSB: COM Port:" << comPort;
        comPortName = m_driver->portName(ftHandle);
        qDebug() << "Usbd: scanUSB: Port name:" << comPortName;

        m_driver->resetDevice(ftHandle);

        ftStatus = m_driver->setBaudRate(ftHandle, baudRate);
        if (ftStatus == DongleDriver::Ok)
            qDebug() << "Usbd: scanUSB: Baudrate set to 57600";
        else
            qDebug() << "Usbd: scanUSB: Baudrate failed";

        ftStatus = m_driver->purge(ftHandle, DongleDriver::PurgeRx | DongleDriver::PurgeTx);

        if (checkDongle3Boot()) {
            usbDongleType = DongleType::Bootloader;
            getDongleVersion();
            found = true;
        } else {
            usbDongleType = DongleType::Application;
            getDongleVersion();
            if (usbDongleType == DongleType::None || dongleVersion.major < 0) {
                // A dongle reporting 0.0 is not one we can work with, and a
                // port that does not answer its version request at all is
                // not the dongle.
                usbDongleType = DongleType::None;
                closeHandle();
                comPortName.clear();
            } else {
                dmxOff();
                found = true;
            }
        }
    } else {
        ftHandle = DongleDriver::noHandle;
    }

    if (found) {
        qDebug() << "Usbd: scanUSB: QTimer: One device found, run checkUSBDevice in 250ms";
        armTimer(scanIntervalMs, &Usbd::checkUSBDevice);
    } else {
        qDebug() << "Usbd: scanUSB: QTimer: No devices found, rescan in 250ms";
        armTimer(scanIntervalMs, &Usbd::scanUSB);
    }
    usbLock->unlock();
}

void Usbd::armTimer(int ms, void (Usbd::*next)())
{
    // One timer carries the whole chain: a tick or scan started directly (as
    // after a firmware update) replaces the pending one instead of running a
    // second chain beside it.
    m_next = next;
    m_tick->start(Pacing::interval(ms));
}

void Usbd::checkUSBDevice()
{
    if (usbDongleType == DongleType::None)
        return;
    if (!usbLock->tryLock()) {
        // As in discovery: skip this turn, not the watch.
        armTimer(checkIntervalMs, &Usbd::checkUSBDevice);
        return;
    }

    unsigned rxBytes = 0;
    unsigned txBytes = 0;
    unsigned events = 0;
    if (m_driver->queueStatus(ftHandle, &rxBytes, &txBytes, &events) != DongleDriver::Ok) {
        // The radio state is kept: if the same dongle comes back with the radio
        // still behind it, nothing needs announcing again.
        qDebug() << "Usbd: checkUSBDevice: Dongle has been detached";
        closeUSBDevice();
        qDebug() << "Usbd: checkUSBDevice: QTimer: Dongle is detached, rescan in "
                 << detachedRescanMs << "ms.";
        armTimer(detachedRescanMs, &Usbd::scanUSB);
        usbLock->unlock();
        return;
    }

    const int ticksSincePoll = statusPollCounter++;
    if (ticksSincePoll > 3 && usbDongleType != DongleType::Bootloader) {
        statusPollCounter = 0;
        char reply[frameBytes] = {};
        // A poll that fails (a lost reply, a dongle being unplugged) is not
        // the end of monitoring: the next tick runs, and its queue check
        // tells an unplugged dongle from a lost reply. A lost reply is asked
        // for again at once, and while a radio is being missed the next tick
        // polls too: otherwise lost replies would stretch the nine misses
        // that tell a radio gone until the next radio is cabled, and the
        // swap would go unseen.
        if (readRequest(Status, reply) == 0) {
            evaluateStatusReply(reinterpret_cast<const quint8 *>(reply));
            emit VELTRAOK();
        } else {
            qDebug() << "Usbd: checkUSBDevice: status poll failed";
            if (radioAttached && radioMissCounter > 0)
                statusPollCounter += 256;
        }
    }

    armTimer(checkIntervalMs, &Usbd::checkUSBDevice);
    usbLock->unlock();
}

void Usbd::evaluateStatusReply(const quint8 *reply)
{
    if (reply[1] != 0) {
        qDebug() << "Usbd: checkUSBDevice: veltraInfo[1]:" << reply[1];
        radioMissCounter = 0;
        if (!radioAttached) {
            radioAttached = true;
            qDebug() << "Usbd: Veltra has been attached";
            // One reply lost on the way is no reason to give the radio up:
            // the frame is asked for again, as a command is.
            int level = -1;
            for (int attempt = 1; attempt <= firstFrameAttempts && level < 0; ++attempt) {
                level = readFirstFrameLevel();
                if (level < 0 && (pastDeadline() || deviceGone()))
                    break;
            }
            if (level >= 0) {
                SetProtocolVersion(level);
                qDebug() << (dmxInBuffer[2] > 22 ? " getting pcl v2" : " getting pcl v1");
                emit dmxAttached();
            } else {
                qDebug() << "Usbd: checkUSBDevice: getDmxInBuffer timed out";
                dmxOff();
                emit dmxDetached();
                radioAttached = false;
            }
        }
        if (liveDataEnabled != 0 && protocolVersion == 2) {
            if (getDmxInBuffer() && checkIntegrity())
                emit updateLiveData();
        }
        return;
    }

    if (!radioAttached)
        return;

    // A radio that was there is given eight more polls, one per tick, before
    // it is declared gone.
    const int misses = radioMissCounter;
    statusPollCounter += 256;
    ++radioMissCounter;
    if (misses > 7) {
        radioAttached = false;
        radioMissCounter = 0;
        qDebug() << "Usbd: Veltra has been detached";
        SetProtocolVersion(-1);
        qDebug() << " getting pcl v3";
        liveDataEnabled = 0;
        emit dmxDetached();
        dmxOff();
    }
}

int Usbd::readFirstFrameLevel()
{
    if (!getDmxInBuffer())
        return -1;
    // Radios that know about protocol levels send a longer first frame, with
    // a check value, and name their level in slot 23. A level is taken only
    // from such a frame that passes its check: a frame cut short or garbled
    // would make a legacy radio of any radio.
    if (dmxInBuffer[2] <= 22)
        return 0;
    if (!checkIntegrity())
        return -1;
    return dmxInBuffer[23];
}

void Usbd::closeUSBDevice()
{
    if (usbDongleType == DongleType::Application || usbDongleType == DongleType::Bootloader)
        closeHandle();
    usbDongleType = DongleType::None;
    comPort = -1;
    comPortName.clear();
    dongleVersion = {-1, -1, -1};
    bootloaderVersion = {0, 0, 0};
    updateDongleInfo();
}

void Usbd::getVeltraInfo()
{
    char reply[frameBytes] = {};
    if (usbSimpleRequest(Status, reply, 1000) != 0)
        return;
    if (byteAt(reply, 1) == 1)
        emit veltraInfo(true, byteAt(reply, 2) != 0 ? QStringLiteral("broken")
                                                    : QStringLiteral("normal"));
    else
        emit veltraInfo(false, QStringLiteral("none"));
}

void Usbd::handleDeviceEvent(QString device, QString event)
{
    qDebug() << "deviceEvent: " << device << ", " << event;
}

void Usbd::handleErrorEvent(QString errorId, QString errorMsg)
{
    qDebug() << "Error " << errorId << " : " << errorMsg;
}

// ---------------------------------------------------------------------------
// Request protocol

int Usbd::usbSimpleRequest(int request, char *buffer, int timeout, int dataA, int dataB)
{
    return sendRequest(request, buffer, timeout, dataA, dataB, false);
}

int Usbd::sendRequest(int request, char *buffer, int timeout, int dataA, int dataB, bool awaitLate)
{
    Q_UNUSED(timeout) // every exchange uses the driver's fixed time-outs
    qDebug("Usbd: usbSimpleRequest: usbDongleType: %u, request: 0x%02x",
           unsigned(usbDongleType), unsigned(request));
    // Nothing is sent without a dongle running its application, and a
    // request that was not sent has not succeeded: callers that took this
    // for success went on as if the dongle had answered.
    if (usbDongleType != DongleType::Application)
        return -1;

    // Byte 5 carries dataB shifted by seven, not eight: the dongle rebuilds
    // slot numbers above 127 from bit 7 of byte 4 and this byte.
    const char frame[frameBytes] = {
        0,
        char(request),
        char(dataA & 0xFF),
        char((dataA >> 8) & 0xFF),
        char(dataB & 0xFF),
        char((dataB >> 7) & 0xFF),
        0,
        0,
    };
    return exchange(frame, nullptr, 0, buffer, "usbSimpleRequest", awaitLate);
}

void Usbd::dropLateReplies()
{
    // A reply that missed its read window is still on its way: it is read and
    // dropped here, so that it is never taken for the answer to the next
    // request. A purge alone cannot do this, as it does not reach bytes still
    // on the line.
    if (m_owedReplyBytes <= 0)
        return;
    const int owed = m_owedReplyBytes;
    QElapsedTimer clock;
    clock.start();
    char sink[frameBytes * 4];
    while (m_owedReplyBytes > 0 && clock.elapsed() < lateReplyWaitMs) {
        unsigned got = 0;
        const int want = qMin(m_owedReplyBytes, int(sizeof sink));
        if (m_driver->read(ftHandle, sink, unsigned(want), &got) != DongleDriver::Ok)
            break;
        m_owedReplyBytes -= int(got);
    }
    qDebug() << "Usbd: late reply bytes dropped:" << owed - qMax(m_owedReplyBytes, 0) << "of" << owed;
    m_owedReplyBytes = 0;
}

void Usbd::setDeadline(QDeadlineTimer deadline)
{
    m_deadlineNs = deadline.isForever() ? std::numeric_limits<qint64>::max() : deadline.deadlineNSecs();
}

bool Usbd::pastDeadline() const
{
    return QDeadlineTimer::current().deadlineNSecs() >= m_deadlineNs;
}

int Usbd::exchange(const char *request, const char *payload, int payloadSize, char *reply, const char *caller,
                   bool awaitLate)
{
    if (pastDeadline())
        return -1;
    QMutexLocker locker(usbLock);
    m_driver->setTimeouts(ftHandle, driverTimeoutMs, driverTimeoutMs);
    dropLateReplies();
    m_driver->purge(ftHandle, DongleDriver::PurgeRx | DongleDriver::PurgeTx);

    unsigned written = 0;
    if (m_driver->write(ftHandle, request, frameBytes, &written) != DongleDriver::Ok || written != frameBytes)
        return -1;
    if (payloadSize > 0
        && (m_driver->write(ftHandle, payload, unsigned(payloadSize), &written) != DongleDriver::Ok
            || written != unsigned(payloadSize)))
        return -1;

    // Read into a scratch frame: a caller's buffer keeps what it held unless
    // a whole reply came.
    char answer[frameBytes];
    unsigned received = 0;
    if (m_driver->read(ftHandle, answer, frameBytes, &received) != DongleDriver::Ok) {
        qDebug() << "Serial::request C";
        return -1;
    }
    if (received != frameBytes && awaitLate) {
        // A reply that must not be asked for twice (it may carry a byte the
        // dongle has already handed over) is given the time a late one
        // takes before it counts as lost.
        QElapsedTimer clock;
        clock.start();
        while (received < frameBytes && clock.elapsed() < lateReplyWaitMs) {
            unsigned more = 0;
            if (m_driver->read(ftHandle, answer + received, frameBytes - received, &more) != DongleDriver::Ok) {
                qDebug() << "Serial::request C";
                return -1;
            }
            received += more;
        }
    }
    if (received != frameBytes) {
        // Whatever is missing may still come, and must not be taken for the
        // next reply; a reply already given the late wait has had its time.
        if (!awaitLate)
            m_owedReplyBytes += frameBytes - int(received);
        qDebug("Usbd: %s: reply of %u bytes, request 0x%02x: %s", caller, received, unsigned(quint8(request[1])), QByteArray(answer, int(received)).toHex().constData());
        return -1;
    }
    // The dongle answers every request with its code in byte 0. A port that
    // answers anything else (noise, our own bytes echoed, 0xFF) is not the
    // dongle, and a reply behind a stray byte is not this request's.
    if (answer[0] != request[1]) {
        qDebug("Usbd: %s: reply 0x%02x does not answer request 0x%02x", caller, unsigned(quint8(answer[0])),
               unsigned(quint8(request[1])));
        return -1;
    }
    if (awaitLate) {
        // Bytes waiting after a whole reply mean it was longer than a reply
        // can be (noise on the line): which eight were the dongle's is not
        // known, so none is taken.
        unsigned waitingBytes = 0, txBytes = 0, events = 0;
        if (m_driver->queueStatus(ftHandle, &waitingBytes, &txBytes, &events) == DongleDriver::Ok && waitingBytes > 0) {
            qDebug("Usbd: %s: reply longer than a frame, request 0x%02x", caller, unsigned(quint8(request[1])));
            return -1;
        }
    }
    if (reply)
        std::memcpy(reply, answer, frameBytes);
    return 0;
}

int Usbd::readRequest(int request, char *reply, int dataA, int dataB)
{
    // Reading is harmless to repeat: a reply that came late, short or
    // garbled is asked for again, until the dongle is gone or time is up.
    constexpr int readAttempts = 5;
    for (int attempt = 1;; ++attempt) {
        if (usbSimpleRequest(request, reply, 1000, dataA, dataB) == 0)
            return 0;
        if (attempt == readAttempts || pastDeadline() || deviceGone())
            return -1;
    }
}

int Usbd::usbSerialOutRequest(int size, char *buffer, int timeout)
{
    Q_UNUSED(timeout)
    qDebug() << "Usbd: usbSerialOutRequest: size:" << size;
    if (size < 0 || size > 0xFFFF || (size > 0 && !buffer))
        return -1;

    // The payload size goes high byte first, unlike dataA of a request.
    const char header[frameBytes] = {
        0, char(SerialOut), char((size >> 8) & 0xFF), char(size & 0xFF), 0, 0, 0, 0,
    };
    char reply[frameBytes] = {};
    return exchange(header, buffer, size, reply, "usbSerialOutRequest");
}

int Usbd::checkDongle3Boot()
{
    QMutexLocker locker(usbLock);
    m_driver->setTimeouts(ftHandle, driverTimeoutMs, driverTimeoutMs);

    // STK500 "get sign-on" and its end-of-packet byte: only the bootloader
    // answers, with nine bytes.
    const char probe[2] = {0x31, 0x20};
    unsigned written = 0;
    if (m_driver->write(ftHandle, probe, sizeof probe, &written) != DongleDriver::Ok)
        return 0;

    Pacing::wait(bootProbeWaitMs);
    unsigned rxBytes = 0;
    unsigned txBytes = 0;
    unsigned events = 0;
    m_driver->queueStatus(ftHandle, &rxBytes, &txBytes, &events);
    qDebug() << "Usbd::checkDongle3Boot: bytes" << rxBytes;

    if (rxBytes == 9) {
        char answer[9] = {};
        unsigned received = 0;
        if (m_driver->read(ftHandle, answer, sizeof answer, &received) == DongleDriver::Ok) {
            qDebug() << "Usbd::checkDongle3Boot: buffer" << QByteArray(answer, sizeof answer);
            return 1;
        }
    }
    return 0;
}

void Usbd::getDongleVersion()
{
    if (usbDongleType == DongleType::Bootloader) {
        dongleVersion = {3, -1, -1};
        updateDongleInfo();
        return;
    }

    // A dongle that does not answer at all reads as 0.0 and so as absent.
    char reply[frameBytes] = {};
    if (readRequest(GetVersion, reply) != 0) {
        dongleVersion = {-1, -1, -1};
        updateDongleInfo();
        return;
    }
    const int major = byteAt(reply, 1);
    const int minor = byteAt(reply, 2);
    const int build = (byteAt(reply, 3) << 8) | byteAt(reply, 4);
    qDebug() << "Usbd: getDongleVersion:\t" << major << minor << build;
    dongleVersion = {major, minor, build};
    if (major == 0 && minor == 0) {
        usbDongleType = DongleType::None;
        dongleVersion = {-1, -1, -1};
    }
    updateDongleInfo();
}

void Usbd::updateDongleInfo()
{
    if (usbDongleType != DongleType::Bootloader && firmwareAtLeast(2, 17)) {
        getDongleBootloaderVersion();
        if (firmwareAtLeast(2, 20))
            getDongleHardwareVersion();
        else
            hardwareVersion = -1;
    } else {
        hardwareVersion = -1;
    }
    emit showDongleVersion();
}

void Usbd::getDongleBootloaderVersion()
{
    char reply[frameBytes] = {};
    if (readRequest(GetBootloaderVersion, reply) != 0) {
        // Not read is not 0.0.0.
        bootloaderVersion = {-1, -1, -1};
        return;
    }
    bootloaderVersion = {byteAt(reply, 1), byteAt(reply, 2),
                         (byteAt(reply, 3) << 8) | byteAt(reply, 4)};
    qDebug() << "Usbd: getDongleBootloaderVersion:\t" << bootloaderVersion.major
             << bootloaderVersion.minor << bootloaderVersion.build;
}

int Usbd::getDongleHardwareVersion()
{
    char reply[frameBytes] = {};
    if (readRequest(GetHardwareVersion, reply) != 0) {
        hardwareVersion = -1;
        return -1;
    }
    hardwareVersion = byteAt(reply, 1);
    qDebug() << "Usbd: getDongleHardwareVersion\t" << hardwareVersion;
    return hardwareVersion;
}

void Usbd::enterDongleBootloader()
{
    qDebug() << "Usbd: enterDongleBootloader:" << dongleVersion.major << dongleVersion.minor
             << dongleVersion.build;
    if (dongleVersion.is(0, 145, 124)) {
        // This firmware is the updater itself: it gives way to its bootloader
        // on its own, given a moment.
        qDebug() << "Usbd: enterDongleBootloader: Updater mode";
        qDebug() << "Usbd: enterDongleBootloader: Packet 1";
        Pacing::wait(updaterModeWaitMs);
        qDebug() << "Usbd: enterDongleBootloader: Packet 2";
        return;
    }
    qDebug() << "Usbd: enterDongleBootloader: Coex mode";
    char reply[frameBytes] = {};
    usbSimpleRequest(EnterBootloader, reply, 1000);
}

void Usbd::rebootDongle()
{
    qDebug() << "Usbd: rebootDongle";
    char reply[frameBytes] = {};
    if (usbSimpleRequest(Reboot, reply, 1000) == 0)
        qDebug() << "Usbd: dongle rebooted";
}

int Usbd::enterUpdaterMode()
{
    qDebug() << "Usbd: enterUpdaterMode";
    char reply[frameBytes] = {};
    return usbSimpleRequest(UpdaterMode, reply, 1000) != 0 ? -1 : 1;
}

int Usbd::serialDataOut(int bytesToSend, char *data)
{
    // Bytes that were not sent are no success: the upload would wait for
    // answers to frames that never left.
    if (usbDongleType != DongleType::Application)
        return -1;
    return usbSerialOutRequest(bytesToSend, data, 100) == 0 ? 0 : -1;
}

int Usbd::serialDataIn()
{
    char reply[frameBytes] = {};
    if (sendRequest(SerialIn, reply, 1000, 0, 0, true) != 0) {
        // Only a dongle that is gone is a failure of the link; a reply that
        // did not come whole is a poll without a byte, and the upload's own
        // time limits decide whether anything is missing.
        if (usbDongleType != DongleType::Application || deviceGone())
            return SerialInResult::UsbFailure;
        qDebug() << "Usbd: SerialDataIn: reply lost";
        return SerialInResult::ReplyLost;
    }
    // A reply that does not carry our request's code in front is not the
    // answer to this poll (noise on the line, or bytes of another reply):
    // its byte 3 would be taken for the device's answer.
    if (byteAt(reply, 0) != quint8(DongleRequests::SerialIn)) {
        qDebug() << "Usbd: SerialDataIn: not the reply to this poll" << QByteArray(reply, frameBytes).toHex();
        return SerialInResult::ReplyLost;
    }
    if (byteAt(reply, 2) != 0) {
        qDebug() << "Usbd: SerialDataIn:" << byteAt(reply, 3) << byteAt(reply, 7);
        return byteAt(reply, 3);
    }
    qDebug() << "Usbd: NoReply: " << byteAt(reply, 0) << " " << byteAt(reply, 1);
    return SerialInResult::NoByte;
}

void Usbd::serialDataFlushOutBuffer()
{
    char reply[frameBytes] = {};
    if (usbSimpleRequest(SerialFlushOut, reply, 1000) == 0)
        qDebug() << "Usbd: Flushed out buffer";
}

void Usbd::serialDataFlushInBuffer()
{
    char reply[frameBytes] = {};
    if (usbSimpleRequest(SerialFlushIn, reply, 1000) == 0)
        qDebug() << "Usbd: Flushed in buffer";
}

// ---------------------------------------------------------------------------
// DMX slot buffers

void Usbd::setDmxSlot(int slot, int value)
{
    writeSlot(slot, value);
}

int Usbd::writeSlot(int slot, int value)
{
    // Firmware 0.3.1 counts its slots from one.
    const int wireSlot = dongleVersion.is(0, 3, 1) ? slot - 1 : slot;
    char reply[frameBytes] = {};
    return usbSimpleRequest(SetDmxSlot, reply, 1000, value, wireSlot);
}

void Usbd::getDmxSlot(int slot)
{
    char reply[frameBytes] = {};
    if (usbSimpleRequest(GetDmxSlot, reply, 1000, 0, slot) != 0)
        return;
    if (slot >= 0 && slot < bufferSize)
        dmxInBuffer[slot] = byteAt(reply, 2);
}

int Usbd::direct_getDmxSlot(int slot)
{
    char reply[frameBytes] = {};
    if (readRequest(GetDmxSlot, reply, 0, slot) != 0)
        return -1;
    return byteAt(reply, 2);
}

void Usbd::direct_getDmxSlotBulk(int slot, quint8 *buffer)
{
    readChunk(slot, buffer);
}

bool Usbd::readChunk(int slot, quint8 *buffer)
{
    char reply[frameBytes] = {};
    if (readRequest(GetDmxSlotBulk, reply, 0, slot) != 0 || !buffer)
        return false;
    std::memcpy(buffer, reply + 1, 7);
    return true;
}

int Usbd::getDongleBufferSlot(int buffer, int slot)
{
    char reply[frameBytes] = {};
    if (usbSimpleRequest(GetBufferSlot, reply, 1000, slot, buffer) != 0)
        return -1;
    return byteAt(reply, 2);
}

void Usbd::swapDmxOutBuffer()
{
    char reply[frameBytes] = {};
    usbSimpleRequest(SwapDmxOut, reply, 1000);
}

void Usbd::swapDmxInBuffer()
{
    char reply[frameBytes] = {};
    usbSimpleRequest(SwapDmxIn, reply, 1000);
}

void Usbd::restoreDefaultBuffer()
{
    char reply[frameBytes] = {};
    usbSimpleRequest(RestoreDefault, reply, 1000);
}

void Usbd::dmxOff()
{
    char reply[frameBytes] = {};
    usbSimpleRequest(DmxOff, reply, 1000);
}

void Usbd::swapDmxOutBufferAndWait()
{
    qDebug() << "Usbd::swapDmxOutBufferAndWait";
    swapDmxOutBuffer();
    Pacing::wait(outSwapWaitMs);
}

int Usbd::swapDmxInBufferAndWait(int timeout)
{
    swapDmxInBuffer();
    Pacing::wait(inSwapWaitMs);

    // Firmware up to major version 1 has no ready flag; its buffer is fresh
    // once the swap has been given its pause.
    if (dongleVersion.major > 1) {
        for (;;) {
            // A query that went unanswered says nothing about the buffer:
            // taken for "ready" it would have the old frame read as new.
            const int ready = direct_dmxInBufferReady();
            if (ready > 0)
                break;
            if (ready < 0 && (pastDeadline() || deviceGone())) {
                qDebug() << "Usbd: swapDmxInBufferAndWait: the dongle does not answer";
                return 0;
            }
            Pacing::wait(readyPollWaitMs);
            timeout -= readyPollWaitMs;
            // A time-out that is not a multiple of the step, or none at all,
            // still ends the wait.
            if (timeout <= 0) {
                qDebug() << "Usbd: swapDmxInBufferAndWait: timed out";
                return 0;
            }
        }
    }
    qDebug() << "Usbd: swapDmxInBufferAndWait: done";
    return 1;
}

int Usbd::direct_dmxInBufferReady()
{
    if (dongleVersion.major <= 1)
        return 1;
    char reply[frameBytes] = {};
    if (readRequest(InBufferReady, reply) != 0)
        return -1;
    return byteAt(reply, 2);
}

int Usbd::getDmxInBuffer()
{
    if (swapDmxInBufferAndWait(3000) == 0) {
        qDebug() << "Usbd: getDmxInBuffer: wait timed out";
        return 0;
    }
    Pacing::wait(inSwapWaitMs);

    // Slot 2 holds the frame's LEN; the frame is LEN + 2 slots. A length that
    // cannot fit is read as a full buffer and then fails its check. Without
    // its length the frame cannot be read whole, and a frame read in part
    // would be decoded from slots of some earlier frame: then no frame came.
    const int length = direct_getDmxSlot(2);
    if (length < 0) {
        qDebug() << "Usbd: getDmxInBuffer: length not read";
        return 0;
    }
    const int frameSlots = qMin(length + 2, int(bufferSize));

    // Read aside, and taken only when every chunk came: the in-buffer holds
    // the last frame read whole.
    quint8 frame[bufferSize] = {};
    int read = 0;
    for (int first = 0; first < frameSlots; first += 7) {
        quint8 chunk[7] = {};
        if (!readChunk(first, chunk)) {
            qDebug() << "Usbd: getDmxInBuffer: slots from" << first << "not read";
            return 0;
        }
        for (int i = 0; i < 7 && first + i < bufferSize; ++i)
            frame[first + i] = chunk[i];
        read = qMin(first + 7, int(bufferSize));
    }
    // The length and the frame come from one input buffer.
    if (frame[2] != length) {
        qDebug() << "Usbd: getDmxInBuffer: length" << length << "but the frame says" << frame[2];
        return 0;
    }
    // Only a frame of the radio's framing counts: whatever else the line
    // carries (noise, a port that is not the dongle) is no frame at all. Its
    // length covers at least its own header and code (six slots); a shorter
    // one would have its check value read as its manufacturer or its code.
    const bool framed = frame[0] == frameStart[0] && frame[1] == frameStart[1]
                        && frame[3] == manufacturer[0] && frame[4] == manufacturer[1]
                        && frame[2] >= 6 && frame[2] <= maxFrameLength;
    if (!framed) {
        qDebug() << "Usbd: getDmxInBuffer: not a radio frame";
        return 0;
    }
    std::memcpy(dmxInBuffer, frame, size_t(read));
    return 1;
}

void Usbd::defaultBufferToDmx()
{
    // A bare legacy frame carrying command 2; slot 0 is left as it is.
    const int body[] = {1, 4, 0x7A, 0x3C, 2};
    for (int i = 0; i < 5; ++i)
        setDmxSlot(i + 1, body[i]);
    swapDmxOutBufferAndWait();
}

void Usbd::initDongleDMX()
{
    std::memset(dmxInBuffer, 0, sizeof dmxInBuffer);
    std::memset(dmxOutBuffer, 0, sizeof dmxOutBuffer);
    char reply[frameBytes] = {};
    if (usbSimpleRequest(InitDmx, reply, 1000) == 0)
        qDebug() << "Usbd: initDongleDMX";
}

// ---------------------------------------------------------------------------
// Command channel

int Usbd::frameLengthOf(const quint8 *buffer, const char *caller)
{
    const int length = buffer[2];
    if (length <= maxFrameLength)
        return length;
    // Cut short, the frame would carry a LEN that is not its own and a check
    // value in the wrong slots: it is not sent at all.
    qWarning("Usbd: %s: frame length %d does not fit in %d slots; not sent", caller, length, bufferSize);
    return -1;
}

bool Usbd::deviceGone()
{
    unsigned rx = 0, tx = 0, events = 0;
    return m_driver->queueStatus(ftHandle, &rx, &tx, &events) != DongleDriver::Ok;
}

int Usbd::sendSlots(int length, const char *caller)
{
    // Setting a slot twice sets it once, so a write whose reply went astray
    // is simply made again; only a dongle that keeps failing, or has gone,
    // fails the frame.
    constexpr int slotAttempts = 5;
    for (int i = 0; i <= length + 1; ++i) {
        int attempt = 1;
        while (writeSlot(i, dmxOutBuffer[i]) != 0) {
            if (attempt == slotAttempts || deviceGone()) {
                qWarning("Usbd: %s: slot %d of %d not written", caller, i, length + 2);
                return -1;
            }
            ++attempt;
        }
        Pacing::wait(slotWriteWaitMs);
    }
    swapDmxOutBufferAndWait();
    return 0;
}

int Usbd::sendPacketWithCRC()
{
    const int length = frameLengthOf(dmxOutBuffer, "sendPacketWithCRC");
    if (length < 0)
        return -1;
    quint16 sum = 0;
    for (int i = 0; i < length; ++i)
        sum = quint16(sum + dmxOutBuffer[i]);
    checkValue = sum;
    dmxOutBuffer[length] = quint8(sum >> 8);
    dmxOutBuffer[length + 1] = quint8(sum & 0xFF);
    return sendSlots(length, "sendPacketWithCRC");
}

int Usbd::sendPacket()
{
    const int length = frameLengthOf(dmxOutBuffer, "sendPacket");
    if (length < 0)
        return -1;
    return sendSlots(length, "sendPacket");
}

int Usbd::checkIntegrity()
{
    const int length = dmxInBuffer[2];
    const int summed = length <= maxFrameLength ? length : maxFrameLength;
    quint16 sum = 0;
    for (int i = 0; i < summed; ++i)
        sum = quint16(sum + dmxInBuffer[i]);
    checkValue = sum;

    const QString hex = QStringLiteral("%1").arg(sum, 4, 16, QLatin1Char('0'));
    // A frame that claims more slots than the buffer holds cannot be whole.
    const bool fits = length <= maxFrameLength;
    if (fits && dmxInBuffer[length] == quint8(sum >> 8)
        && dmxInBuffer[length + 1] == quint8(sum & 0xFF)) {
        qDebug() << "Checksum OK!" << hex;
        return 1;
    }
    qDebug() << "Checksum Error!" << hex;
    return 0;
}

int Usbd::runDmxCommand(int command)
{
    const quint8 code = quint8(command);
    if (protocolVersion <= 0) {
        qDebug() << "Usbd: runDmxCommand P0:" << command;
        const quint8 frame[6] = {frameStart[0], frameStart[1], 0x04,
                                 manufacturer[0], manufacturer[1], code};
        std::memcpy(dmxOutBuffer, frame, sizeof frame);
        if (sendSlots(4, "runDmxCommand") != 0)
            return noReply;
        return getDmxInBuffer() ? dmxInBuffer[5] : noReply;
    }

    qDebug() << "Usbd: runDmxCommand P1:" << command;
    for (int attempt = 1; attempt <= commandAttempts; ++attempt) {
        const quint8 frame[6] = {frameStart[0], frameStart[1], 0x06,
                                 manufacturer[0], manufacturer[1], code};
        std::memcpy(dmxOutBuffer, frame, sizeof frame);
        qDebug() << "Usbd: runDmxCommand: sendPacketWithCRC";
        // A command that could not be written gets no answer: a gone dongle
        // ends the command, anything else costs one attempt.
        if (sendPacketWithCRC() != 0) {
            if (attempt == commandAttempts || deviceGone())
                return noReply;
            continue;
        }
        qDebug() << "Usbd: runDmxCommand: getDmxInBuffer";
        if (!getDmxInBuffer()) {
            if (attempt == commandAttempts)
                return noReply;
            continue;
        }
        const bool intact = checkIntegrity() != 0;
        if (intact || attempt == commandAttempts) {
            // A monitoring tick run among these events may read the radio's
            // status frame into the buffer for live data; the caller reads
            // the reply from it, so the reply is put back afterwards.
            const int result = intact ? dmxInBuffer[5] : badReply;
            if (QCoreApplication::instance()) {
                quint8 reply[bufferSize];
                std::memcpy(reply, dmxInBuffer, bufferSize);
                QCoreApplication::processEvents();
                std::memcpy(dmxInBuffer, reply, bufferSize);
            }
            return result;
        }
    }
    return noReply;
}

void Usbd::CRC16C_reset()
{
    checkValue = 0;
}

void Usbd::CRC16C_addByte(signed char byte)
{
    checkValue ^= quint16(quint8(byte)) << 8;
    for (int bit = 0; bit < 8; ++bit) {
        if (checkValue & 0x8000)
            checkValue = quint16((checkValue << 1) ^ 0x1021);
        else
            checkValue = quint16(checkValue << 1);
    }
}
