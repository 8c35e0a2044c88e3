#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <functional>
#include <map>
#include <optional>

// What the radio knows about itself. The readout and settings commands add
// their data here (identity, capabilities, settings, masks, hop table ...),
// and the radio's bootloader its upload state.
struct RadioState
{
    QString profile = QStringLiteral("r9");
    // 0: legacy frames without check value; 1 and up: check values, the level
    // announced in slot 23 of the status frame; 2: uptime in the status frame.
    int protocolLevel = 2;
    // Cabled to the dongle and powered. Cleared to make the radio vanish.
    bool connected = true;
    // The uptime counts from here (microseconds on the simulator's clock).
    qint64 powerOnUs = 0;
    // Shown in the legacy status frame: 2.4 GHz channel mask and power index,
    // as the radio unit attached has them stored.
    std::array<quint8, 11> mask24 {};
    quint8 power24Index = 0;
    // Commands received and answered, for tests.
    int commandsReceived = 0;
};

// A command frame as the radio understood it.
struct RadioCommand
{
    quint8 code = 0;
    QByteArray data; // parameter slots, from slot 6 on
};

// What the radio sends back: a reply frame with this code and data (slots 6 on).
struct RadioReply
{
    quint8 code = 0;
    QByteArray data;
};

// The radio unit behind the dongle, at the level of DMX frames.
//
// Every frame the dongle transmits is offered to the radio; a well-formed
// command frame (start code 0xCC 0x01, a length that fits, the manufacturer
// identifier 0x7A 0x3C and, from level 1 on, a correct check value) is
// handed to the handler registered for its code, and the handler's reply is
// the next frame the radio sends. Codes without a handler are answered with
// an empty reply repeating the code (unless told otherwise). Between replies the radio sends its
// spontaneous status frame.
//
// A handler is a function of the radio's state and the command; it may
// change the state and returns the reply, or nothing to stay silent:
//
//     radio.setCommandHandler(22, [](RadioState &s, const RadioCommand &) {
//         return RadioReply {22, QByteArray("\x12\x34\x56\x78", 4)};
//     });
//
// Bytes arriving on the serial channel (dongle in updater mode) go to the
// serial handler, whose return value is what the radio sends back.
class VirtualRadio
{
public:
    using CommandHandler = std::function<std::optional<RadioReply>(RadioState &, const RadioCommand &)>;
    using SerialHandler = std::function<QByteArray(RadioState &, const QByteArray &)>;

    static constexpr int frameSlots = 134;
    static constexpr int maxLength = frameSlots - 2;

    explicit VirtualRadio(std::function<qint64()> clockUs);

    RadioState &state() { return m_state; }
    const RadioState &state() const { return m_state; }

    void setCommandHandler(quint8 code, CommandHandler handler);
    void clearCommandHandlers();
    // Whether codes without a handler get an empty reply repeating the code
    // (radios with check values acknowledge what they do not know) or none.
    void setAnswerUnknown(bool answer) { m_answerUnknown = answer; }
    void setSerialHandler(SerialHandler handler);

    // DMX side, driven by the dongle.
    // A frame the dongle has started transmitting; returns whether it was
    // taken as a command.
    bool receiveFrame(const QByteArray &dmx);
    // The frame the radio sends next: a pending reply, otherwise its status frame.
    QByteArray transmitFrame();
    // The next frame sent, exactly as given (malformed frames for tests).
    void queueRawFrame(const QByteArray &frame) { m_pendingReply = frame; }
    void clearPendingReply() { m_pendingReply.reset(); }

    QByteArray statusFrame() const;
    // A frame in the radio's framing: P0 without check value at level 0,
    // P1 with the additive check value otherwise. Data that would not fit
    // is cut.
    QByteArray composeFrame(quint8 code, const QByteArray &data) const;
    quint32 uptimeSeconds() const;
    // Counts the time on from `secondsAgo` before now, as a radio cabled
    // after running that long.
    void powerOn(quint32 secondsAgo);

    // Serial side: bytes from the host, the radio's answer.
    QByteArray receiveSerial(const QByteArray &bytes);

    // Whether `dmx` holds a command frame at `level`, and which.
    static std::optional<RadioCommand> parseFrame(const QByteArray &dmx, int level);
    static quint16 checkValue(const QByteArray &frame, int length);

private:
    std::function<qint64()> m_clockUs;
    RadioState m_state;
    std::map<quint8, CommandHandler> m_handlers;
    SerialHandler m_serialHandler;
    std::optional<QByteArray> m_pendingReply;
    bool m_answerUnknown = true;
};
