#pragma once

#include <QByteArray>

// The dongle's own bootloader: the STK500 (version 1) dialect spoken by
// avrdude's "arduino" programmer. It answers the sign-on probe with its nine
// bytes, keeps a flash image that can be written and read back page by page,
// and asks to start the application when programming ends.
class Stk500Bootloader
{
public:
    static constexpr int flashSize = 32 * 1024;

    Stk500Bootloader();

    // One byte from the host; returns the bootloader's answer (often empty
    // until a command is complete).
    QByteArray feed(quint8 byte);
    // Forgets a half-received command.
    void resetParser();

    // True once after "leave programming mode" was answered.
    bool takeLeaveRequest();

    const QByteArray &flash() const { return m_flash; }
    // The device signature it reports (an ATmega324P).
    static QByteArray signature();

private:
    QByteArray execute();
    int argumentCount() const;

    QByteArray m_command;
    QByteArray m_flash;
    int m_address = 0; // bytes
    bool m_leave = false;
};
