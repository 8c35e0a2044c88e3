#include "radioframes.h"

#include "usb/protocol.h"

#include <algorithm>

namespace RadioFrames {

namespace {

QString hexText(const quint8 *frame, int first, int count, int level, bool upper)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("%1").arg(replyByte(frame, first + i, level), 2, 16, QLatin1Char('0'));
    return upper ? text.toUpper() : text;
}

QString latin1Text(const quint8 *frame, int first, int count, int level)
{
    QString text;
    text.reserve(count);
    for (int i = 0; i < count; ++i)
        text += QChar(replyByte(frame, first + i, level));
    return text;
}

void append(RadioChoices &choices, const char *text, int code)
{
    // A code the list already names keeps its first entry: one code, one
    // entry, so what the radio reports always shows as what was chosen.
    if (indexOfCode(choices, code) < 0)
        choices.append(RadioChoice {QString::fromLatin1(text), code});
}

// Level-1 radios know three modes, by position.
constexpr int p1ModeCodeTable[] = {0, 1, 2, 0};
constexpr int p1DistinctModes = 3;

} // namespace

quint8 replyByte(const quint8 *frame, int index, int level)
{
    const int length = frame[lengthSlot];
    const int end = std::min(level > 0 ? length : length + 2, frameSlots);
    return index >= 0 && index < end ? frame[index] : 0;
}

RadioIdentity decodeIdentity(const quint8 *frame, int level)
{
    auto at = [frame, level](int i) { return int(replyByte(frame, i, level)); };
    RadioIdentity id;
    int serialSum = 0;
    for (int i = 6; i <= 10; ++i)
        serialSum += at(i);
    id.serial = serialSum == 5 * 0xFF ? QStringLiteral("Not available") : hexText(frame, 6, 5, level, false);
    id.mcu = hexText(frame, 11, 4, level, true);
    id.code = hexText(frame, 15, 4, level, true);
    const int major = at(19);
    const int minor = at(20);
    const int build = at(21) << 8 | at(22);
    id.version = QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(build);
    if (at(23) == 0 && at(24) == 0 && at(25) == 0 && at(26) == 0)
        id.bootloader = QStringLiteral("Unknown");
    else
        id.bootloader = QStringLiteral("%1.%2.%3").arg(at(23)).arg(at(24)).arg(at(25) << 8 | at(26));
    id.hardwareNumber = at(27);
    id.hardwareText = id.hardwareNumber < 16 ? QString::number(id.hardwareNumber)
                                             : latin1Text(frame, 63, std::min(at(62), 11), level);
    id.addonType = at(61);
    id.model = latin1Text(frame, 29, std::min(at(28), 18), level);
    id.updateAvailable = major <= 1 || (major == 2 && minor == 0) || (major == 2 && minor == 1 && build <= 701);
    return id;
}

RadioCapabilities decodeCapabilities(const quint8 *frame, int level)
{
    auto at = [frame, level](int i) { return int(replyByte(frame, i, level)); };
    RadioCapabilities caps;
    caps.band24 = at(6);
    caps.r8l = at(8);
    caps.r8h = at(9);
    caps.rdm = at(10);
    caps.hopTable = at(11);
    caps.adaptiveHopping = at(12);
    caps.radioId = at(13);
    caps.label = at(14);
    caps.autoReboot = at(15);
    caps.addon = at(16);
    caps.repeater = at(18);
    caps.r8Compatibility = at(20);
    caps.band58Switch = frame[lengthSlot] > 19 ? 1 : 0;
    caps.band5Count = caps.r8Compatibility ? caps.r8h >> 1 : caps.r8h * 2;
    return caps;
}

RadioSettings decodeSettings(const quint8 *frame, int level, bool band58Reported)
{
    auto at = [frame, level](int i) { return int(replyByte(frame, i, level)); };
    RadioSettings settings;
    settings.direction = at(6);
    settings.radioModeCode = at(8);
    settings.adaptiveState = at(9);
    settings.settingsByte10 = at(10);
    settings.rdmState = at(12);
    settings.pin10Flag = at(13);
    settings.band58State = band58Reported ? at(14) : 0;
    settings.pin10Option = at(19);
    return settings;
}

SettingsPayload settingsPayloadOf(const quint8 *frame, int level)
{
    SettingsPayload payload {};
    for (int i = 0; i < settingsBytes; ++i)
        payload[size_t(i)] = replyByte(frame, payloadSlot + i, level);
    return payload;
}

QString cutAtNul(const QString &text)
{
    const int nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

QString addonText(int addon, int addonType)
{
    static const char *const names[] = {"Development Board", "Addon T5 QX11", "T6 Micro", "Addon T6 QX1"};
    if (!addon)
        return QStringLiteral("-");
    if (addonType >= 1 && addonType <= 4)
        return QString::fromLatin1(names[addonType - 1]);
    return QStringLiteral("Unknown");
}

bool isR9Class(const RadioCapabilities &caps, int hardwareNumber)
{
    return hardwareNumber >= 16 && (caps.r8l == 0 || caps.r8l == 1) && caps.band5Count == 2;
}

RadioChoices radioModes(const RadioCapabilities &caps, int hardwareNumber, int level)
{
    RadioChoices modes;
    if (!caps.band24)
        return modes;
    const bool mbit = caps.r8l == 2;
    append(modes, "R7 Compatibility Mode", 0);
    if (caps.r8Compatibility)
        append(modes, "R8 Compatibility Mode", 2);
    if (mbit) {
        append(modes, "2.4GHz 1MBit", 4);
        append(modes, "2.4GHz 2MBit", 8);
    } else {
        append(modes, "R8X 2.4GHz", 4);
    }
    if (caps.r8h) {
        if (mbit) {
            append(modes, "5GHz 1MBit", 5);
            append(modes, "5GHz 2MBit ", 9);
        } else {
            append(modes, "R8X 5.8GHz", 5);
        }
    }
    if (hardwareNumber < 16 && level >= 2 && caps.r8l < 2) {
        append(modes, "R8X 2.4GHz Repeater", 6);
        if (caps.r8h)
            append(modes, "R8X 5.8GHz Repeater", 7);
    }
    if (caps.band5Count == 2 && !mbit) {
        append(modes, "R9 2.4GHz", 8);
        if (caps.r8h) {
            append(modes, "R9 5.8GHz", 9);
            append(modes, "R9 5.2GHz", 41);
            append(modes, "R9 Tandem 2.4GHz", 10);
            append(modes, "R9 Tandem 5.8GHz", 11);
            append(modes, "R9 Tandem 5.2GHz", 43);
        }
    }
    if (level == 1) {
        // The first generation with check values has three modes, known to
        // it by position; the list offers what it can take.
        modes = modes.mid(0, p1DistinctModes);
        for (int i = 0; i < modes.size(); ++i)
            modes[i].code = p1ModeCodeTable[i];
    }
    return modes;
}

RadioChoices directions(const RadioCapabilities &caps, const RadioSettings &settings, int hardwareNumber,
                        int level)
{
    RadioChoices list;
    if (hardwareNumber < 16 || caps.band5Count != 2) {
        append(list, "Transmitter", 0);
        append(list, "Receiver", 1);
        append(list, "Set by Pin 10", level == 1 ? pin10Direction : 2);
        return list;
    }
    if (level < 2)
        return list;
    // A radio without 2.4 GHz reports receiving as 2 unless 2 means repeating.
    if (settings.direction == 2 && caps.band24 == 0 && !caps.repeater)
        append(list, "Receiver", 2);
    if (caps.repeater) {
        append(list, "Transmitter", 0);
        append(list, "Receiver", 1);
        append(list, "Repeater", 2);
    } else if (caps.band24 && settings.pin10Option == 0) {
        append(list, "Transmitter", 0);
        append(list, "Receiver", 1);
    }
    if (settings.pin10Option) {
        if (settings.direction < 2) {
            append(list, "Transmitter", 0);
            append(list, "Receiver", 1);
        } else {
            // Pin 10 in charge: the entry stands for the code the radio reports.
            append(list, "Set by Pin 10", settings.direction);
        }
    }
    return list;
}

int indexOfCode(const RadioChoices &choices, int code)
{
    for (int i = 0; i < choices.size(); ++i) {
        if (choices.at(i).code == code)
            return i;
    }
    return -1;
}

QStringList texts(const RadioChoices &choices)
{
    QStringList result;
    result.reserve(choices.size());
    for (const RadioChoice &choice : choices)
        result << choice.text;
    return result;
}

int band5OfMode(int code)
{
    switch (code) {
    case 41: case 43: return 1;
    case 5: case 7: case 9: case 11: return 2;
    default: return -1;
    }
}

SettingsPayload settingsFrame(const SettingsPayload &asRead, const SettingsEdits &edits, int level)
{
    SettingsPayload out = asRead;
    if (edits.modeCode >= 0)
        out[ModeCodeByte] = quint8(edits.modeCode);
    if (edits.direction >= 0) {
        if (level == 1) {
            // Pin 10 takes over from the direction byte, which the radio keeps.
            const bool pin10 = edits.direction == pin10Direction;
            out[Pin10FlagByte] = pin10 ? 1 : 0;
            if (!pin10)
                out[DirectionByte] = quint8(edits.direction);
        } else {
            out[DirectionByte] = quint8(edits.direction);
        }
    }
    if (edits.adaptive >= 0)
        out[AdaptiveByte] = quint8(edits.adaptive);
    if (edits.rdm >= 0)
        out[RdmByte] = quint8(edits.rdm);
    if (edits.band58 >= 0)
        out[Band58Byte] = quint8(asRead[Band58Byte] >= 2 ? edits.band58 + 2 : edits.band58);
    return out;
}

} // namespace RadioFrames
