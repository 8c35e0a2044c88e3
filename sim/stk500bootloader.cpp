#include "stk500bootloader.h"

namespace {
// STK500 protocol bytes
constexpr quint8 eop = 0x20;
constexpr quint8 inSync = 0x14;
constexpr quint8 ok = 0x10;
constexpr quint8 noSync = 0x15;

enum Command : quint8 {
    GetSignOn = 0x31,
    SetParameter = 0x40,
    GetParameter = 0x41,
    SetDevice = 0x42,
    SetDeviceExt = 0x45,
    LeaveProgMode = 0x51,
    ChipErase = 0x52,
    LoadAddress = 0x55,
    Universal = 0x56,
    ProgPage = 0x64,
    ReadPage = 0x74,
    ReadSign = 0x75,
};
} // namespace

Stk500Bootloader::Stk500Bootloader()
    : m_flash(flashSize, char(0xFF))
{
}

QByteArray Stk500Bootloader::signature()
{
    return QByteArray("\x1E\x95\x08", 3);
}

void Stk500Bootloader::resetParser()
{
    m_command.clear();
}

bool Stk500Bootloader::takeLeaveRequest()
{
    const bool leave = m_leave;
    m_leave = false;
    return leave;
}

int Stk500Bootloader::argumentCount() const
{
    switch (quint8(m_command.at(0))) {
    case GetParameter: return 1;
    case SetParameter:
    case LoadAddress: return 2;
    case Universal: return 4;
    case SetDeviceExt: return 5;
    case SetDevice: return 20;
    case ReadPage: return 3;
    case ProgPage:
        if (m_command.size() < 3)
            return 3; // the length is not known yet
        return 3 + ((quint8(m_command.at(1)) << 8) | quint8(m_command.at(2)));
    default: return 0;
    }
}

QByteArray Stk500Bootloader::feed(quint8 byte)
{
    m_command.append(char(byte));
    // Command byte, its arguments, then the end-of-packet byte.
    if (m_command.size() < 1 + argumentCount() + 1)
        return QByteArray();
    if (quint8(m_command.back()) != eop) {
        m_command.clear();
        return QByteArray(1, char(noSync));
    }
    const QByteArray answer = execute();
    m_command.clear();
    return answer;
}

QByteArray Stk500Bootloader::execute()
{
    const auto arg = [this](int i) { return quint8(m_command.at(1 + i)); };
    QByteArray body;
    switch (quint8(m_command.at(0))) {
    case GetSignOn:
        body = QByteArrayLiteral("AVR STK");
        break;
    case GetParameter:
        switch (arg(0)) {
        case 0x80: body.append(char(0x02)); break; // hardware version
        case 0x81: body.append(char(0x04)); break; // software major
        case 0x82: body.append(char(0x04)); break; // software minor
        default: body.append(char(0x03)); break;
        }
        break;
    case LoadAddress:
        m_address = ((arg(1) << 8) | arg(0)) * 2; // a word address
        break;
    case Universal:
        body.append(char(0x00));
        break;
    case ProgPage: {
        const int length = (arg(0) << 8) | arg(1);
        if (arg(2) == 'F') {
            for (int i = 0; i < length && m_address + i < flashSize; ++i)
                m_flash[m_address + i] = m_command.at(4 + i);
        }
        break;
    }
    case ReadPage: {
        const int length = (arg(0) << 8) | arg(1);
        for (int i = 0; i < length; ++i)
            body.append(arg(2) == 'F' && m_address + i < flashSize ? m_flash.at(m_address + i)
                                                                   : char(0xFF));
        break;
    }
    case ReadSign:
        body = signature();
        break;
    case ChipErase:
        m_flash.fill(char(0xFF));
        break;
    case LeaveProgMode:
        m_leave = true;
        break;
    default:
        // Get sync (0x30), enter programming mode (0x50), the device and
        // parameter settings, and anything unknown: acknowledged.
        break;
    }
    return QByteArray(1, char(inSync)) + body + QByteArray(1, char(ok));
}
