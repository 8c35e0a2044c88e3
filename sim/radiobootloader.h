#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The radio's bootloader as it answers on the serial channel that the dongle
// opens in its updater mode. One payload from the host goes in, the bytes the
// bootloader sends back come out.
//
// The host opens with a type byte (0x02 radio, 0x03 add-on board). A version-1
// bootloader acknowledges it and the bytes 0x47 and 0x11 with 0x06 each. A
// version-2 bootloader answers 0x07 and then trades bytes with a running sum
// (every byte sent or received is added, modulo 256): the host's bytes must
// equal the sum so far, the bootloader answers its version byte, its MCU id
// and finally the sum itself. After that every payload is one firmware frame
// (big-endian body length N, N - 2 payload bytes, CRC-16 of the payload),
// answered 0x11 when its CRC holds and 0x22 when not. A frame with an empty
// payload closes the image: the bootloader starts the new application.
//
// The bootloader listens whenever the dongle forwards bytes to it. A real
// radio runs it after every restart, by command or because the operator
// power-cycled it, and leaves it for the application unless an upload has
// begun: from the handshake on, the application is being overwritten, and
// until a closing frame ends a whole image the radio stays in its bootloader
// through any restart. `imageStarted` tells the dongle so.
//
// Not thread-safe on its own: the virtual dongle calls it under its lock, and
// tests read it under the same lock.
class RadioBootloader
{
public:
    static constexpr quint8 typeRadio = 0x02;
    static constexpr quint8 typeAddon = 0x03;
    static constexpr quint8 ackV1 = 0x06;
    static constexpr quint8 ackV2 = 0x07;
    static constexpr quint8 frameAccepted = 0x11;
    static constexpr quint8 frameCrcError = 0x22;

    // --- what the bootloader is
    void setHandshakeVersion(int version) { m_version = version == 2 ? 2 : 1; }
    void setMcuId(quint8 id) { m_mcuId = id; }

    // A simulator profile setting: handshake=1|2, mcu=N, or
    // bootfault=silent|crc|wrong|badsum (for demos and scripted checks).
    // False when the key is not the bootloader's or the value does not fit.
    bool applySetting(const QString &key, const QString &value, QString *error);

    // --- fault injection
    // A count of `always` never runs out: a host that retries at full speed
    // gets through any finite number of faults sooner than a demo expects.
    static constexpr int always = -1;
    // Answers nothing at all.
    void setSilent(bool silent) { m_silent = silent; }
    // Completes handshakes but never answers a frame.
    void setSilentToFrames(bool silent) { m_silentToFrames = silent; }
    // The next `count` frames are answered 0x22 whatever their CRC.
    void injectCrcErrors(int count) { m_crcErrorsLeft = count; }
    // The next `count` frames are answered with `byte`.
    void answerFramesWith(quint8 byte, int count) { m_oddAnswer = byte; m_oddAnswersLeft = count; }
    // The next `count` version-2 handshakes end with a wrong sum.
    void corruptChecksums(int count) { m_badSumsLeft = count; }
    // Called with the 0-based number of every frame received, before it is
    // answered (for faults that must strike at a given point of an upload).
    std::function<void(int frame)> frameObserver;

    // Called when a handshake completes: the application is given up.
    std::function<void()> imageStarted;
    // Called with the image when a complete upload ends.
    std::function<void(const QByteArray &image)> imageComplete;

    // A restart: whatever handshake or upload was under way is forgotten.
    void restart();

    // The serial payload from the host; returns the answer.
    QByteArray receive(const QByteArray &payload);

    // --- observation
    // Every one-byte payload (handshake bytes) in order, capped so a silent
    // device polled for long stays small.
    const QByteArray &handshakeBytes() const { return m_handshakeIn; }
    // The type byte of the last completed handshake, 0 before any.
    quint8 updateType() const { return m_updateType; }
    int framesReceived() const { return m_framesReceived; }
    // Payloads of the frames accepted since the last handshake.
    const QByteArray &image() const { return m_image; }

    // CRC-16/BUYPASS of `bytes`, computed here on its own so the simulator
    // does not take the product's word for it.
    static quint16 crc16(const QByteArray &bytes);

private:
    enum class Phase { WaitType, V1Second, V1Third, V2First, V2Second, V2Third, Frames };

    QByteArray handshakeByte(quint8 byte);
    QByteArray frame(const QByteArray &payload);
    // The frame's length field matches its size and its CRC holds.
    static bool intact(const QByteArray &payload);
    QByteArray answer(quint8 byte);
    QByteArray startHandshake(quint8 type);
    // Takes one fault from `left`; false when none is left.
    static bool spend(int &left);

    int m_version = 1;
    quint8 m_mcuId = 2;
    // The first byte a version-2 bootloader sends after its 0x07.
    quint8 m_versionByte = 0x10;

    bool m_silent = false;
    bool m_silentToFrames = false;
    int m_crcErrorsLeft = 0;
    quint8 m_oddAnswer = 0;
    int m_oddAnswersLeft = 0;
    int m_badSumsLeft = 0;

    Phase m_phase = Phase::WaitType;
    quint8 m_pendingType = 0;
    quint8 m_sum = 0;
    quint8 m_updateType = 0;
    int m_framesReceived = 0;
    QByteArray m_image;
    QByteArray m_handshakeIn;
};
