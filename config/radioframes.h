#pragma once

// The radio's replies decoded and its settings frame built, as plain
// functions of bytes: the session calls them, tests feed them tables.

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

// What the radio says it can do (reply to command 9).
struct RadioCapabilities
{
    int band24 = 0;
    int r8l = 0;
    int r8h = 0;
    int rdm = 0;
    // A legacy radio never reports its capabilities; it is asked for its hop
    // table, which every legacy radio in the field answers.
    int hopTable = 1;
    int adaptiveHopping = 0;
    int radioId = 0;
    int label = 0;
    int autoReboot = 0;
    int addon = 0;
    int repeater = 0;
    int r8Compatibility = 0;
    int band58Switch = 0;
    int band5Count = 0;
};

// What the radio has in force (reply to command 12).
struct RadioSettings
{
    int direction = 0;
    int radioModeCode = 0;
    int adaptiveState = 0;
    int settingsByte10 = 0;
    int rdmState = 0;
    int pin10Flag = 0;
    int band58State = 0;
    int pin10Option = 0;
};

// Who the radio is (reply to command 10).
struct RadioIdentity
{
    QString serial;
    QString mcu;
    QString code;
    QString version;
    QString bootloader;
    QString hardwareText;
    QString model;
    int hardwareNumber = 0;
    int addonType = 0;
    bool updateAvailable = false;
};

// One entry of an option list and the code the radio knows it by.
struct RadioChoice
{
    QString text;
    int code = 0;
    bool operator==(const RadioChoice &other) const { return text == other.text && code == other.code; }
};
using RadioChoices = QList<RadioChoice>;

namespace RadioFrames {

constexpr int frameSlots = 134;
constexpr int lengthSlot = 2;
constexpr int codeSlot = 5;
constexpr int payloadSlot = 6;
// Slots 6..19 of the settings reply and of the settings frame.
constexpr int settingsBytes = 14;
using SettingsPayload = std::array<quint8, settingsBytes>;

// Settings payload positions (slot - 6).
enum SettingsByte {
    DirectionByte = 0,
    ModeCodeByte = 2,
    AdaptiveByte = 3,
    RdmByte = 6,
    Pin10FlagByte = 7,
    Band58Byte = 8,
};

// Slot `index` of a reply frame, or 0 where the reply does not reach: a frame
// with a check value carries data up to slot LEN - 1, a legacy frame up to
// slot LEN + 1. Nothing outside the 134 slots is ever read.
quint8 replyByte(const quint8 *frame, int index, int level);

RadioIdentity decodeIdentity(const quint8 *frame, int level);
RadioCapabilities decodeCapabilities(const quint8 *frame, int level);
// The switch byte counts only when the capabilities said it is reported;
// otherwise it reads as 0.
RadioSettings decodeSettings(const quint8 *frame, int level, bool band58Reported);
// Slots 6..19 as the radio reported them, missing ones as 0.
SettingsPayload settingsPayloadOf(const quint8 *frame, int level);

// "-" without an add-on, else the add-on board's name.
QString addonText(int addon, int addonType);
// A text the radio sent, up to its first NUL: the radio pads its fields with
// NULs, which are characters to Qt but nothing to the operator.
QString cutAtNul(const QString &text);

// R9-class radios: hardware from 16 on with both 5 GHz bands and the
// 1 MBit/2 MBit-free 2.4 GHz part.
bool isR9Class(const RadioCapabilities &caps, int hardwareNumber);

// The radio modes this radio offers, each with the code byte 8 carries for
// it. Radios of level 1 know their modes by the codes 0, 1 and 2 only.
RadioChoices radioModes(const RadioCapabilities &caps, int hardwareNumber, int level);
// At level 1 pin 10 is not a direction code but a flag of its own; the entry
// "Set by Pin 10" stands for this value there.
constexpr int pin10Direction = 256;

// The directions this radio offers, each with its direction code.
RadioChoices directions(const RadioCapabilities &caps, const RadioSettings &settings, int hardwareNumber,
                        int level);
// Position of the first entry with `code`, or -1.
int indexOfCode(const RadioChoices &choices, int code);
QStringList texts(const RadioChoices &choices);

// The 5 GHz band a radio-mode code transmits on: 1 5.2 GHz, 2 5.8 GHz; -1
// for the 2.4 GHz and compatibility modes and unknown codes, whose edits
// have no other band to follow to.
int band5OfMode(int code);

// What the operator chose for the settings frame; -1 means not chosen, and
// the radio gets that byte back exactly as it reported it.
struct SettingsEdits
{
    int modeCode = -1;
    int direction = -1;
    int adaptive = -1;
    int rdm = -1;
    int band58 = -1;
};

// The settings frame's payload (slots 6..19) from the reply as read and the
// operator's choices.
SettingsPayload settingsFrame(const SettingsPayload &asRead, const SettingsEdits &edits, int level);

} // namespace RadioFrames
