#pragma once

// The numbers of the protocols the product speaks, by name: the radio's
// command codes, the deploy items queued for it, the bands, the dongle's
// states, the command channel's failure results and the upload outcomes.
// The fields that carry them stay plain ints, as the radio and the scene
// see them. The simulator keeps its own names for the device's side.

namespace RadioCommand {
enum : int {
    WriteLegacyBand24 = 1,  // protocol level 0: 2.4 GHz mask and power
    ReadLegacyHopTable = 4, // protocol level 0
    ReadCapabilities = 9,
    ReadIdentity = 10,
    ReadSettings = 12,
    WriteSettings = 13,
    ReadBand24 = 14,
    WriteBand24 = 15,
    ReadBand58 = 16,
    WriteBand58 = 17,
    ReadHopTable = 18,
    QueryAdaptive = 20,
    ReadRadioId = 22,
    ReadLabel = 24,
    WriteLabel = 25,
    ReadBand52 = 26,
    WriteBand52 = 27,
    EndOfReadout = 30, // protocol level 2
    StoreSettings = 40,
    Reboot = 42,
};
}

// What runDmxCommand returns when no usable reply came.
namespace CommandResult {
enum : int {
    NoReply = 254,
    BadReply = 255,
};
}

// The items a deploy sends, one frame each.
namespace DeployItem {
enum : int {
    Band24 = 0,
    Band58 = 2,
    Settings = 4,
    Label = 5,
    Reboot = 6,
    Band52 = 8,
};
}

// Bands as the session and the masking view number them.
namespace Band {
enum : int {
    Band24 = 0,
    Band52 = 1,
    Band58 = 2,
};
}

// Channel geometry: radio channels per band shown and sent, flags per band
// as the radio reports them, and the combined list of all three bands.
namespace Channels {
constexpr int perBand = 84;
constexpr int flagsPerBand = 88;
constexpr int bands = 3;
constexpr int combined = bands * flagsPerBand;
}

// What `Usbd::usbDongleType` holds.
namespace DongleType {
enum : int {
    None = 0,
    Application = 3,
    Bootloader = 4,
};
}

// How a radio or add-on upload ended (`SerialThread::uploadStatus`).
namespace UploadStatus {
enum : int {
    Complete = 0,
    UsbError = 1,
    FileError = 2,
    Timeout = 3,
    UnknownResponse = 4,
    CrcError = 5,
    Canceled = 6,
};
}

// What `Usbd::serialDataIn` returns besides a byte (0 to 255).
namespace SerialInResult {
enum : int {
    // The dongle is gone (or none is open): no poll will ever bring a byte.
    UsbFailure = -1,
    // Nothing has come from the device yet.
    NoByte = -2,
    // The reply was late beyond waiting, short, or not the dongle's: no byte
    // was read, but the dongle may have handed one over in it.
    ReplyLost = -3,
};
}
