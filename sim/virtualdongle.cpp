#include "virtualdongle.h"

#include "usb/donglerequests.h"

#include "usb/pacing.h"

#include <QStringList>

#include <algorithm>

const char VirtualDongle::description[] = "Veltra Dongle v3";

namespace {

using namespace DongleRequests;

QByteArray toBytes(const std::array<quint8, VirtualDongle::bufferSlots> &buffer)
{
    return QByteArray(reinterpret_cast<const char *>(buffer.data()), int(buffer.size()));
}

} // namespace

VirtualDongle::VirtualDongle(const SimProfile &profile, std::function<qint64()> clockUs)
    : m_clockUs(clockUs ? std::move(clockUs) : std::function<qint64()>(&Pacing::clockUs))
    , m_profile(profile)
    , m_trace(m_clockUs)
    , m_radio(m_clockUs)
{
    cableRadio(profile.radios.isEmpty() ? profile : profile.swappedRadio(0));
    m_radio.setSerialHandler([this](RadioState &, const QByteArray &bytes) {
        return m_radioBootloader.receive(bytes);
    });
    m_radioBootloader.imageStarted = [this] { m_radioInBootloader = true; };
    m_radioBootloader.imageComplete = [this](const QByteArray &image) {
        m_radioInBootloader = false;
        const bool addon = m_radioBootloader.updateType() == RadioBootloader::typeAddon;
        m_radioUnit.startNewFirmware(addon);
        m_trace.addEvent(QStringLiteral("%1 firmware written (%2 bytes), application restarted")
                             .arg(addon ? QStringLiteral("add-on") : QStringLiteral("radio"))
                             .arg(image.size()));
    };
    m_mode = profile.dongleInBootloader ? Mode::Bootloader : Mode::Application;
    if (!profile.traceFile.isEmpty())
        m_trace.openFile(profile.traceFile);
    m_trace.addEvent(QStringLiteral("dongle plugged in (profile %1, %2)")
                         .arg(profile.name,
                              m_mode == Mode::Bootloader ? QStringLiteral("bootloader")
                                                         : QStringLiteral("application")));
}

VirtualDongle::~VirtualDongle() = default;

void VirtualDongle::cableRadio(const SimProfile &profile)
{
    m_radio.state().profile = profile.name;
    m_radio.state().protocolLevel = profile.protocolLevel;
    m_radio.state().connected = profile.radioConnected;
    m_radio.clearPendingReply();
    m_radioUnit = RadioUnit::forProfile(profile.name);
    for (const auto &[key, value] : profile.radioSettings) {
        if (!m_radioUnit.applySetting(key, value, nullptr))
            m_radioBootloader.applySetting(key, value, nullptr);
    }
    m_radioUnit.attachTo(m_radio);
    m_radio.powerOn(m_radioUnit.uptimeSeconds);
    m_radioUnit.enterBootloader = [this] { m_radioBootloader.restart(); };
    m_radioInBootloader = false;
}

void VirtualDongle::swapRadio(const SimProfile &profile)
{
    auto guard = lock();
    cableRadio(profile);
    m_inReady = false;
    m_trace.addEvent(QStringLiteral("radio swapped (profile %1)").arg(profile.name));
}

void VirtualDongle::takeStoredRadioAway()
{
    // The line's operator unplugs a radio once the host has stored it and
    // read it back, and has the next one cabled a little later: long enough
    // for the host to see the radio gone.
    const QList<int> &taken = m_radioUnit.commands;
    const int store = taken.lastIndexOf(40);
    if (m_profile.radios.isEmpty() || m_radiosLeftIn >= 0 || store < 0 || taken.indexOf(10, store) < 0)
        return;
    m_radioUnit.commands.clear();
    m_trace.addEvent(QStringLiteral("radio taken away"));
    // 0 polls: the next radio is cabled at once.
    m_radiosLeftIn = m_profile.swapPolls;
    if (m_profile.swapPolls > 0)
        m_radio.state().connected = false;
    else
        cableNextRadio();
}

void VirtualDongle::cableNextRadio()
{
    if (m_radiosLeftIn < 0 || --m_radiosLeftIn > 0)
        return;
    m_radiosLeftIn = -1;
    if (m_nextRadio >= m_profile.radios.size())
        return;
    const SimProfile next = m_profile.swappedRadio(m_nextRadio++);
    cableRadio(next);
    m_inReady = false;
    m_trace.addEvent(QStringLiteral("radio %1 cabled (profile %2)").arg(m_nextRadio).arg(next.name));
}

std::unique_lock<std::recursive_mutex> VirtualDongle::lock() const
{
    return std::unique_lock<std::recursive_mutex>(m_mutex);
}

bool VirtualDongle::isPlugged() const
{
    auto guard = lock();
    return m_plugged;
}

quint64 VirtualDongle::plugGeneration() const
{
    auto guard = lock();
    return m_generation;
}

void VirtualDongle::setLineSpeed(unsigned baud)
{
    auto guard = lock();
    m_lineSpeed = baud;
}

unsigned VirtualDongle::lineSpeed() const
{
    auto guard = lock();
    return m_lineSpeed;
}

int VirtualDongle::hostPending() const
{
    auto guard = lock();
    return int(m_toHost.size());
}

QByteArray VirtualDongle::hostRead(int maxBytes)
{
    auto guard = lock();
    QByteArray bytes;
    while (maxBytes-- > 0 && !m_toHost.empty()) {
        bytes.append(m_toHost.front());
        m_toHost.pop_front();
    }
    return bytes;
}

void VirtualDongle::hostPurge()
{
    auto guard = lock();
    m_toHost.clear();
}

void VirtualDongle::sendToHost(const QByteArray &bytes, SimTrace::Kind kind)
{
    if (m_dropReplies > 0) {
        --m_dropReplies;
        m_trace.add(kind, bytes, QStringLiteral("dropped"));
        return;
    }
    if (m_dropCodeReplies > 0 && kind == SimTrace::Reply && !bytes.isEmpty() && quint8(bytes.at(0)) == m_dropCode) {
        --m_dropCodeReplies;
        m_trace.add(kind, bytes, QStringLiteral("dropped"));
        return;
    }
    m_trace.add(kind, bytes);
    m_toHost.insert(m_toHost.end(), bytes.begin(), bytes.end());
}

void VirtualDongle::hostWrite(const QByteArray &bytes)
{
    auto guard = lock();
    if (!m_plugged)
        return;
    const qint64 now = m_clockUs();
    if (m_mode == Mode::Bootloader) {
        // A pause also resynchronises the bootloader.
        if (now - m_lastByteUs >= requestIdleUs)
            m_bootloader.resetParser();
        m_lastByteUs = now;
        m_trace.add(SimTrace::BootIn, bytes);
        QByteArray answer;
        for (char byte : bytes)
            answer += m_bootloader.feed(quint8(byte));
        if (!answer.isEmpty())
            sendToHost(answer, SimTrace::BootOut);
        if (m_bootloader.takeLeaveRequest())
            startApplication();
        return;
    }
    for (char byte : bytes)
        receiveApplicationByte(quint8(byte), now);
}

void VirtualDongle::receiveApplicationByte(quint8 byte, qint64 now)
{
    const qint64 gap = now - m_lastByteUs;
    m_lastByteUs = now;

    if (m_serialPayloadLeft > 0) {
        m_serialPayload.append(char(byte));
        if (--m_serialPayloadLeft == 0)
            finishSerialPayload();
        return;
    }

    if (!m_request.isEmpty() && gap >= requestIdleUs) {
        m_trace.add(SimTrace::Event, m_request, QStringLiteral("incomplete request dropped"));
        m_request.clear();
    }
    m_request.append(char(byte));
    if (m_request.size() == 8) {
        const QByteArray frame = m_request;
        m_request.clear();
        handleRequest(frame);
    }
}

bool VirtualDongle::visible() const
{
    // A radio whose upload broke off runs only its bootloader: no DMX, no
    // replies, until an image is written whole.
    return m_plugged && m_mode == Mode::Application && m_dmxRunning && !m_updaterMode
           && m_radio.state().connected && !m_radioInBootloader;
}

void VirtualDongle::latchRadioFrame()
{
    QByteArray frame = m_radio.transmitFrame();
    QString note;
    if (m_radio.state().protocolLevel > 0 && m_corruptChecks > 0 && frame.size() >= 8) {
        --m_corruptChecks;
        frame[frame.size() - 1] = char(quint8(frame.back()) ^ 0x5A);
        note = QStringLiteral("check value corrupted");
    }
    m_trace.add(SimTrace::RadioOut, frame, note);
    m_in.fill(0);
    for (int i = 0; i < frame.size() && i < bufferSlots; ++i)
        m_in[size_t(i)] = quint8(frame.at(i));
    m_inReady = true;
}

namespace {
// One DMX frame of `slots` slots at 250 kbit/s: break and mark, then 44 us a slot.
qint64 dmxFrameUs(int slots)
{
    return 100 + 44 * qint64(slots);
}
constexpr qint64 radioTurnaroundUs = 1000;
} // namespace

void VirtualDongle::setDmxTiming(bool timed)
{
    auto guard = lock();
    m_dmxTimed = timed;
}

void VirtualDongle::settleInput(qint64 now)
{
    if (m_latchAtUs < 0 || now < m_latchAtUs)
        return;
    m_latchAtUs = -1;
    if (visible() && !m_inputStalled)
        latchRadioFrame();
}

void VirtualDongle::handleRequest(const QByteArray &frame)
{
    m_trace.add(SimTrace::Request, frame);
    const qint64 now = m_clockUs();
    settleInput(now);
    const auto at = [&frame](int i) { return quint8(frame.at(i)); };
    const quint8 code = at(1);
    const int dataA = at(2) | (at(3) << 8);
    // Byte 5 holds bits 7-14 of dataB; bit 7 travels in both bytes.
    const int dataB = (at(4) & 0x7F) | (at(5) << 7);

    QByteArray reply(8, '\0');
    reply[0] = char(code);
    const auto put = [&reply](int i, int value) { reply[i] = char(quint8(value)); };

    switch (code) {
    case SetDmxSlot: {
        // Firmware 0.3.1 counts slots from one; the host compensates.
        const int slot = m_profile.dongleVersion.major == 0 && m_profile.dongleVersion.minor == 3
                                 && m_profile.dongleVersion.build == 1
                             ? dataB + 1
                             : dataB;
        if (slot >= 0 && slot < bufferSlots)
            m_outWriting[size_t(slot)] = quint8(dataA);
        break;
    }
    case GetDmxSlot:
        put(2, dataB < bufferSlots ? m_in[size_t(dataB)] : 0);
        break;
    case SwapDmxOut:
        m_outTransmitted = m_outWriting;
        if (visible()) {
            const QByteArray dmx = toBytes(m_outTransmitted);
            const bool command = m_radio.receiveFrame(dmx);
            if (command)
                m_replyReadyUs = now + dmxFrameUs(bufferSlots) + radioTurnaroundUs;
            const int length = qMin(int(m_outTransmitted[2]) + 2, bufferSlots);
            m_trace.add(SimTrace::RadioIn, dmx.left(length),
                        command ? QString() : QStringLiteral("not a command"));
        }
        break;
    case RestoreDefault:
        m_outWriting.fill(0);
        m_outTransmitted.fill(0);
        break;
    case SwapDmxIn:
        m_inReady = false;
        if (m_dmxTimed)
            m_latchAtUs = std::max(now, m_replyReadyUs) + dmxFrameUs(bufferSlots);
        else if (visible() && !m_inputStalled)
            latchRadioFrame();
        break;
    case GetVersion:
        put(1, m_profile.dongleVersion.major);
        put(2, m_profile.dongleVersion.minor);
        put(3, m_profile.dongleVersion.build >> 8);
        put(4, m_profile.dongleVersion.build);
        break;
    case DmxOff:
        m_dmxRunning = false;
        m_radio.clearPendingReply();
        takeStoredRadioAway();
        break;
    case GetBootloaderVersion:
        put(1, m_profile.bootloaderVersion.major);
        put(2, m_profile.bootloaderVersion.minor);
        put(3, m_profile.bootloaderVersion.build >> 8);
        put(4, m_profile.bootloaderVersion.build);
        break;
    case Status:
        cableNextRadio();
        put(1, visible() ? 1 : 0);
        // Byte 2, a link reported broken, stays 0: the product reads it
        // only in a status query it never makes.
        break;
    case InitDmx:
        m_dmxRunning = true;
        m_updaterMode = false;
        break;
    case GetBufferSlot: {
        // Buffer 0: output being written, 1: output transmitted, 2: input.
        const int slot = dataA;
        if (slot < bufferSlots) {
            const auto &buffer = dataB == 0 ? m_outWriting : dataB == 1 ? m_outTransmitted : m_in;
            put(2, dataB <= 2 ? buffer[size_t(slot)] : 0);
        }
        break;
    }
    case InBufferReady:
        put(2, m_inReady ? 1 : 0);
        break;
    case Reboot:
        sendToHost(reply, SimTrace::Reply);
        ++m_reboots;
        m_trace.addEvent(QStringLiteral("dongle rebooted"));
        startApplication();
        return;
    case SerialIn:
        if (!m_serialIn.empty()) {
            put(2, 1);
            put(3, m_serialIn.front());
            m_serialIn.pop_front();
            put(7, int(qMin<size_t>(m_serialIn.size(), 255)));
        } else {
            put(1, code);
        }
        break;
    case UpdaterMode:
        m_updaterMode = true;
        m_dmxRunning = false;
        m_radio.clearPendingReply();
        break;
    case SerialFlushOut:
        break; // bytes for the radio go out as soon as they arrive
    case SerialFlushIn:
        m_serialIn.clear();
        break;
    case GetHardwareVersion:
        put(1, m_profile.hardwareVersion);
        break;
    case GetDmxSlotBulk:
        for (int i = 0; i < 7; ++i)
            put(1 + i, dataB + i < bufferSlots ? m_in[size_t(dataB + i)] : 0);
        break;
    case SerialOut:
        // The size travels high byte first; the reply follows the payload.
        m_serialPayloadLeft = (at(2) << 8) | at(3);
        m_serialPayload.clear();
        if (m_serialPayloadLeft == 0)
            finishSerialPayload();
        return;
    case EnterBootloader:
        sendToHost(reply, SimTrace::Reply);
        m_mode = Mode::Bootloader;
        m_dmxRunning = false;
        m_updaterMode = false;
        m_bootloader.resetParser();
        m_trace.addEvent(QStringLiteral("dongle entered its bootloader"));
        return;
    default:
        break;
    }
    sendToHost(reply, SimTrace::Reply);
}

void VirtualDongle::finishSerialPayload()
{
    const QByteArray payload = m_serialPayload;
    m_serialPayload.clear();
    if (m_updaterMode && m_radio.state().connected) {
        m_trace.add(SimTrace::SerialOut, payload);
        const QByteArray answer = m_radio.receiveSerial(payload);
        m_serialIn.insert(m_serialIn.end(), answer.begin(), answer.end());
    } else {
        m_trace.add(SimTrace::SerialOut, payload, QStringLiteral("not in updater mode, dropped"));
    }
    QByteArray reply(8, '\0');
    reply[0] = char(SerialOut);
    sendToHost(reply, SimTrace::Reply);
}

void VirtualDongle::startApplication()
{
    // Whatever ran before, the application starts from scratch.
    m_mode = Mode::Application;
    m_dmxRunning = false;
    m_updaterMode = false;
    m_inReady = false;
    m_latchAtUs = -1;
    m_outWriting.fill(0);
    m_outTransmitted.fill(0);
    m_in.fill(0);
    m_serialIn.clear();
    m_request.clear();
    m_serialPayloadLeft = 0;
    m_radio.clearPendingReply();
}

void VirtualDongle::unplug()
{
    auto guard = lock();
    if (!m_plugged)
        return;
    m_plugged = false;
    ++m_generation;
    m_toHost.clear();
    m_trace.addEvent(QStringLiteral("dongle unplugged"));
}

void VirtualDongle::replug()
{
    auto guard = lock();
    if (m_plugged)
        return;
    m_plugged = true;
    startApplication();
    m_mode = m_profile.dongleInBootloader ? Mode::Bootloader : Mode::Application;
    m_bootloader.resetParser();
    m_trace.addEvent(QStringLiteral("dongle plugged in"));
}

void VirtualDongle::dropReplies(int count)
{
    auto guard = lock();
    m_dropReplies = qMax(0, count);
    m_trace.addEvent(QStringLiteral("fault: next %1 replies dropped").arg(m_dropReplies));
}

void VirtualDongle::dropRepliesTo(quint8 code, int count)
{
    auto guard = lock();
    m_dropCode = code;
    m_dropCodeReplies = qMax(0, count);
    m_trace.addEvent(QStringLiteral("fault: next %1 replies to 0x%2 dropped").arg(m_dropCodeReplies).arg(code, 2, 16, QLatin1Char('0')));
}

void VirtualDongle::corruptCheckValues(int count)
{
    auto guard = lock();
    m_corruptChecks = qMax(0, count);
    m_trace.addEvent(QStringLiteral("fault: next %1 check values corrupted").arg(m_corruptChecks));
}

void VirtualDongle::setRadioConnected(bool connected)
{
    auto guard = lock();
    m_radio.state().connected = connected;
    if (!connected)
        m_radio.clearPendingReply();
    m_trace.addEvent(connected ? QStringLiteral("radio connected") : QStringLiteral("radio gone"));
}

void VirtualDongle::stallInput(bool stalled)
{
    auto guard = lock();
    m_inputStalled = stalled;
    m_trace.addEvent(stalled ? QStringLiteral("fault: input from the radio stalled")
                             : QStringLiteral("input from the radio flows"));
}

VirtualDongle::Mode VirtualDongle::mode() const
{
    auto guard = lock();
    return m_mode;
}

bool VirtualDongle::dmxRunning() const
{
    auto guard = lock();
    return m_dmxRunning;
}

bool VirtualDongle::radioInBootloader() const
{
    auto guard = lock();
    return m_radioInBootloader;
}

bool VirtualDongle::updaterMode() const
{
    auto guard = lock();
    return m_updaterMode;
}

int VirtualDongle::rebootCount() const
{
    auto guard = lock();
    return m_reboots;
}

QByteArray VirtualDongle::outputBuffer() const
{
    auto guard = lock();
    return toBytes(m_outWriting);
}

QList<QByteArray> VirtualDongle::requests() const
{
    auto guard = lock();
    QList<QByteArray> frames;
    for (const auto &entry : m_trace.entries()) {
        if (entry.kind == SimTrace::Request)
            frames << entry.bytes;
    }
    return frames;
}
