#pragma once

#include <QtGlobal>

// Request codes of the dongle's 8-byte protocol, shared by the dongle link
// and the virtual dongle so that both sides name the wire the same way.
namespace DongleRequests {

enum Request : quint8 {
    SetDmxSlot = 0x01,
    GetDmxSlot = 0x02,
    SwapDmxOut = 0x03,
    RestoreDefault = 0x04,
    SwapDmxIn = 0x05,
    GetVersion = 0x10,
    DmxOff = 0x11,
    GetBootloaderVersion = 0x12,
    Status = 0x13,
    InitDmx = 0x14,
    GetBufferSlot = 0x15,
    InBufferReady = 0x16,
    Reboot = 0x17,
    SerialIn = 0x18,
    UpdaterMode = 0x19,
    SerialFlushOut = 0x1A,
    SerialFlushIn = 0x1B,
    GetHardwareVersion = 0x1C,
    GetDmxSlotBulk = 0x1E,
    SerialOut = 0x20,
    EnterBootloader = 0x40,
};

} // namespace DongleRequests
