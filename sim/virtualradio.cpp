#include "virtualradio.h"

VirtualRadio::VirtualRadio(std::function<qint64()> clockUs)
    : m_clockUs(std::move(clockUs))
{
    m_state.powerOnUs = m_clockUs();
}

void VirtualRadio::setCommandHandler(quint8 code, CommandHandler handler)
{
    m_handlers[code] = std::move(handler);
}

void VirtualRadio::clearCommandHandlers()
{
    m_handlers.clear();
}

void VirtualRadio::setSerialHandler(SerialHandler handler)
{
    m_serialHandler = std::move(handler);
}

quint16 VirtualRadio::checkValue(const QByteArray &frame, int length)
{
    quint16 sum = 0;
    for (int i = 0; i < length && i < frame.size(); ++i)
        sum = quint16(sum + quint8(frame.at(i)));
    return sum;
}

std::optional<RadioCommand> VirtualRadio::parseFrame(const QByteArray &dmx, int level)
{
    // A frame cut short fails the header or the length check: slots past its
    // end read as 0.
    const auto at = [&dmx](int i) { return i < dmx.size() ? quint8(dmx.at(i)) : quint8(0); };
    if (at(0) != 0xCC || at(1) != 0x01 || at(3) != 0x7A || at(4) != 0x3C)
        return std::nullopt;
    const int length = at(2);
    if (length > maxLength || length + 2 > dmx.size())
        return std::nullopt;

    RadioCommand command;
    command.code = at(5);
    if (level > 0) {
        if (length < 6)
            return std::nullopt;
        const quint16 sum = checkValue(dmx, length);
        if (at(length) != quint8(sum >> 8) || at(length + 1) != quint8(sum & 0xFF))
            return std::nullopt;
        command.data = dmx.mid(6, length - 6);
    } else {
        if (length < 4)
            return std::nullopt;
        // Without a check value the two slots after LEN are data too.
        command.data = dmx.mid(6, qMax(0, length + 2 - 6));
    }
    return command;
}

bool VirtualRadio::receiveFrame(const QByteArray &dmx)
{
    const auto command = parseFrame(dmx, m_state.protocolLevel);
    if (!command)
        return false;
    ++m_state.commandsReceived;

    std::optional<RadioReply> reply;
    const auto handler = m_handlers.find(command->code);
    if (handler != m_handlers.end())
        reply = handler->second(m_state, *command);
    else if (m_answerUnknown)
        reply = RadioReply {command->code, QByteArray()};

    if (reply)
        m_pendingReply = composeFrame(reply->code, reply->data);
    return true;
}

QByteArray VirtualRadio::transmitFrame()
{
    if (m_pendingReply) {
        QByteArray frame = *m_pendingReply;
        m_pendingReply.reset();
        return frame;
    }
    return statusFrame();
}

QByteArray VirtualRadio::composeFrame(quint8 code, const QByteArray &data) const
{
    const bool checked = m_state.protocolLevel > 0;
    // A frame is LEN + 2 slots; without check value the data runs to LEN + 1.
    const int room = checked ? maxLength - 6 : maxLength - 4;
    const QByteArray body = data.left(room);
    const int length = checked ? 6 + body.size() : 4 + body.size();

    QByteArray frame;
    frame.reserve(length + 2);
    frame.append(char(0xCC)).append(char(0x01)).append(char(length));
    frame.append(char(0x7A)).append(char(0x3C)).append(char(code));
    frame.append(body);
    if (checked) {
        const quint16 sum = checkValue(frame, length);
        frame.append(char(sum >> 8)).append(char(sum & 0xFF));
    }
    return frame;
}

void VirtualRadio::powerOn(quint32 secondsAgo)
{
    m_state.powerOnUs = m_clockUs() - qint64(secondsAgo) * 1000000;
}

quint32 VirtualRadio::uptimeSeconds() const
{
    const qint64 us = m_clockUs() - m_state.powerOnUs;
    return us > 0 ? quint32(us / 1000000) : 0;
}

QByteArray VirtualRadio::statusFrame() const
{
    // Slots 6 on: 18 data slots in every framing, so legacy radios give
    // LEN 22 and leveled ones LEN 24 with their level in slot 23.
    QByteArray data(18, '\0');
    if (m_state.protocolLevel == 0) {
        for (int i = 0; i < 11; ++i)
            data[i] = char(m_state.mask24[size_t(i)]);
        data[16] = char(m_state.power24Index); // slot 22
    } else {
        if (m_state.protocolLevel >= 2) {
            const quint32 up = uptimeSeconds();
            data[0] = char(up >> 24);
            data[1] = char(up >> 16);
            data[2] = char(up >> 8);
            data[3] = char(up);
        }
        data[17] = char(m_state.protocolLevel); // slot 23
    }
    return composeFrame(0, data);
}

QByteArray VirtualRadio::receiveSerial(const QByteArray &bytes)
{
    if (!m_serialHandler)
        return QByteArray();
    return m_serialHandler(m_state, bytes);
}
