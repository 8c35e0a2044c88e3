#include "radiobootloader.h"

namespace {

// Enough to hold many handshakes; a device kept silent for a long time is
// polled with the same byte over and over, and that need not pile up.
constexpr int handshakeRecordCap = 4096;

void record(QByteArray &into, quint8 byte)
{
    if (into.size() < handshakeRecordCap)
        into.append(char(byte));
}

} // namespace

quint16 RadioBootloader::crc16(const QByteArray &bytes)
{
    quint16 crc = 0;
    for (char c : bytes) {
        crc ^= quint16(quint8(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x8005) : quint16(crc << 1);
    }
    return crc;
}

bool RadioBootloader::spend(int &left)
{
    if (left == 0)
        return false;
    if (left > 0)
        --left;
    return true;
}

void RadioBootloader::restart()
{
    m_phase = Phase::WaitType;
    m_sum = 0;
}

QByteArray RadioBootloader::receive(const QByteArray &payload)
{
    if (payload.size() == 1)
        return handshakeByte(quint8(payload.at(0)));
    // Anything longer is a frame; before a handshake the bootloader does not
    // know what it is for and keeps quiet.
    if (payload.isEmpty() || m_phase != Phase::Frames)
        return QByteArray();
    return frame(payload);
}

QByteArray RadioBootloader::answer(quint8 byte)
{
    return QByteArray(1, char(byte));
}

QByteArray RadioBootloader::startHandshake(quint8 type)
{
    m_pendingType = type;
    m_sum = type;
    if (m_version == 1) {
        m_phase = Phase::V1Second;
        return answer(ackV1);
    }
    m_sum = quint8(m_sum + ackV2);
    m_phase = Phase::V2First;
    return answer(ackV2);
}

QByteArray RadioBootloader::handshakeByte(quint8 byte)
{
    record(m_handshakeIn, byte);
    if (m_silent)
        return QByteArray();

    const auto completed = [this] {
        m_phase = Phase::Frames;
        m_updateType = m_pendingType;
        m_image.clear();
        if (imageStarted)
            imageStarted();
    };

    switch (m_phase) {
    case Phase::V1Second:
        if (byte == 0x47) {
            m_phase = Phase::V1Third;
            return answer(ackV1);
        }
        break;
    case Phase::V1Third:
        if (byte == 0x11) {
            completed();
            return answer(ackV1);
        }
        break;
    case Phase::V2First:
    case Phase::V2Second:
        if (byte == m_sum) {
            const quint8 reply = m_phase == Phase::V2First ? m_versionByte : m_mcuId;
            m_sum = quint8(m_sum + byte + reply);
            m_phase = m_phase == Phase::V2First ? Phase::V2Second : Phase::V2Third;
            return answer(reply);
        }
        break;
    case Phase::V2Third:
        if (byte == m_sum) {
            m_sum = quint8(m_sum + byte);
            quint8 reply = m_sum;
            if (spend(m_badSumsLeft))
                reply ^= 0x5A;
            completed();
            return answer(reply);
        }
        break;
    case Phase::WaitType:
    case Phase::Frames:
        break;
    }

    // A type byte where something else was due: the host has started over.
    if (byte == typeRadio || byte == typeAddon)
        return startHandshake(byte);
    m_phase = Phase::WaitType;
    return QByteArray();
}

bool RadioBootloader::intact(const QByteArray &payload)
{
    const int length = (quint8(payload.at(0)) << 8) | quint8(payload.at(1));
    if (length < 2 || payload.size() != length + 2)
        return false;
    const quint16 sent = quint16((quint8(payload.at(length)) << 8) | quint8(payload.at(length + 1)));
    return crc16(payload.mid(2, length - 2)) == sent;
}

QByteArray RadioBootloader::frame(const QByteArray &payload)
{
    const int index = m_framesReceived++;
    if (frameObserver)
        frameObserver(index);
    if (m_silentToFrames)
        return QByteArray();
    if (spend(m_oddAnswersLeft))
        return QByteArray(1, char(m_oddAnswer));
    if (spend(m_crcErrorsLeft) || !intact(payload))
        return QByteArray(1, char(frameCrcError));
    const QByteArray body = payload.mid(2, payload.size() - 4);

    if (body.isEmpty()) {
        // The closing frame: the new application takes over.
        m_phase = Phase::WaitType;
        if (imageComplete)
            imageComplete(m_image);
        return QByteArray(1, char(frameAccepted));
    }
    m_image += body;
    return QByteArray(1, char(frameAccepted));
}

bool RadioBootloader::applySetting(const QString &key, const QString &value, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    bool ok = false;
    if (key == QLatin1String("handshake")) {
        const int version = value.toInt(&ok);
        if (!ok || (version != 1 && version != 2))
            return fail(QStringLiteral("handshake=%1: expected 1 or 2").arg(value));
        setHandshakeVersion(version);
    } else if (key == QLatin1String("mcu")) {
        const int id = value.toInt(&ok);
        if (!ok || id < 0 || id > 255)
            return fail(QStringLiteral("mcu=%1: expected 0 to 255").arg(value));
        setMcuId(quint8(id));
    } else if (key == QLatin1String("bootfault")) {
        // Each fault lasts: the upload's retries never see it end.
        if (value == QLatin1String("silent"))
            setSilent(true);
        else if (value == QLatin1String("crc"))
            injectCrcErrors(always);
        else if (value == QLatin1String("wrong"))
            answerFramesWith(0x00, always); // a zero byte is an answer too
        else if (value == QLatin1String("badsum"))
            corruptChecksums(always);
        else
            return fail(QStringLiteral("bootfault=%1: expected silent, crc, wrong or badsum").arg(value));
    } else {
        return false;
    }
    return true;
}
