#include "radioapplication.h"

#include "simprofile.h"
#include "virtualradio.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

enum Cap { Band24, Cap7, R8l, R8h, Rdm, HopTable, Adaptive, RadioId, Label, AutoReboot, Addon, Cap17, Repeater, Cap19, R8Compatibility };

enum SettingsSlot { Direction = 0, ModeCode = 2, AdaptiveState = 3, PassThrough = 4, RdmState = 6, Pin10Flag = 7, Band58State = 8, Pin10Option = 13 };

// Channels first..last (1-based) of a band masked.
void maskRange(std::array<quint8, 11> &mask, int first, int last)
{
    for (int channel = first; channel <= last; ++channel)
        mask[size_t((channel - 1) / 8)] |= quint8(1u << ((channel - 1) % 8));
}

QByteArray paddedLabel(const QByteArray &text)
{
    QByteArray label = text.left(32);
    label.append(QByteArray(32 - label.size(), ' '));
    return label;
}

// Hex digits only, an even count of them; anything else gives no bytes.
QByteArray hexValue(const QString &value)
{
    static const QRegularExpression pattern(QStringLiteral("^([0-9a-fA-F]{2})*$"));
    return pattern.match(value).hasMatch() ? QByteArray::fromHex(value.toLatin1()) : QByteArray();
}

template<size_t N>
QByteArray bytes(const std::array<quint8, N> &array)
{
    return QByteArray(reinterpret_cast<const char *>(array.data()), int(N));
}

// The band whose mask adaptive hopping avoids in a mode: 0 2.4, 1 5.2, 2 5.8 GHz.
int adaptiveBand(int mode)
{
    return (mode == 5 || mode == 9 || mode == 11) ? 2 : (mode == 41 || mode == 43) ? 1 : 0;
}

} // namespace

RadioUnit RadioUnit::forProfile(const QString &name)
{
    RadioUnit unit;
    auto &caps = unit.capabilities;
    auto &s = unit.stored;

    // A hop sequence visiting every channel once, as the radio's own table does.
    for (int i = 0; i < 84; ++i)
        unit.hopTable[size_t(i)] = quint8((i * 37) % 84 + 1);

    caps[Band24] = 1;
    caps[Rdm] = 1;
    caps[HopTable] = 1;
    caps[Label] = 1;

    if (name == QLatin1String("r8x")) {
        unit.model = "Veltra R8X";
        unit.hardwareNumber = 12;
        unit.firmware = {2, 3, 410};
        unit.mcu = {{0x00, 0x1E, 0x96, 0x0A}};
        unit.code = {{0x00, 0x1E, 0x96, 0x0A}};
        unit.addonType = 0;
        caps[Rdm] = 0;
        caps[R8l] = 1;
        caps[R8h] = 1;
        caps[Adaptive] = 1;
        caps[RadioId] = 1;
        caps[AutoReboot] = 1;
        caps[R8Compatibility] = 1;
        s.frame[Direction] = 1;
        s.frame[ModeCode] = 5;
        s.frame[AdaptiveState] = 1;
        s.frame[RdmState] = 0;
        s.frame[Band58State] = 1;
        maskRange(s.masks[0], 2, 23);
        maskRange(s.masks[2], 41, 60);
        s.powerIndex = {{0, 0, 1}};
        s.label = paddedLabel("Truss 2");
    } else if (name == QLatin1String("r8-2mbit")) {
        unit.model = "Veltra R8 2MBit";
        unit.hardwareNumber = 14;
        unit.firmware = {2, 2, 3};
        unit.addonType = 0;
        caps[R8l] = 2;
        caps[R8h] = 1;
        caps[Adaptive] = 1;
        caps[AutoReboot] = 1;
        caps[R8Compatibility] = 1;
        s.frame[Direction] = 0;
        s.frame[ModeCode] = 8;
        s.frame[AdaptiveState] = 0;
        s.frame[Band58State] = 0;
        maskRange(s.masks[0], 52, 73);
        s.powerIndex = {{2, 0, 0}};
        s.label = paddedLabel("FOH");
    } else if (name == QLatin1String("p1")) {
        unit.model = "Veltra R8";
        unit.hardwareNumber = 10;
        unit.firmware = {2, 1, 701};
        unit.bootloader = {0, 0, 0};
        unit.mcu = {{0x00, 0x1E, 0x96, 0x09}};
        unit.code = {{0x00, 0x1E, 0x96, 0x09}};
        unit.addonType = 0;
        caps[Rdm] = 0;
        caps[R8Compatibility] = 1;
        s.frame[Direction] = 1;
        s.frame[ModeCode] = 0;
        maskRange(s.masks[0], 1, 10);
        s.powerIndex = {{1, 0, 0}};
        s.label = paddedLabel("Dimmer City");
    } else if (name == QLatin1String("legacy")) {
        unit.model = "Veltra R7";
        unit.hardwareNumber = 7;
        unit.firmware = {1, 4, 12};
        maskRange(s.masks[0], 27, 48);
        s.powerIndex = {{1, 0, 0}};
    } else {
        // r9: every capability, an add-on, current firmware.
        caps[R8l] = 1;
        caps[R8h] = 1;
        caps[Adaptive] = 1;
        caps[RadioId] = 1;
        caps[AutoReboot] = 1;
        caps[Addon] = 1;
        caps[Repeater] = 1;
        s.frame[Direction] = 0;
        s.frame[ModeCode] = 8;
        s.frame[AdaptiveState] = 1;
        s.frame[PassThrough] = 0x5A;
        s.frame[RdmState] = 1;
        s.frame[Band58State] = 1;
        maskRange(s.masks[0], 27, 48);
        maskRange(s.masks[1], 1, 6);
        maskRange(s.masks[2], 81, 84);
        s.powerIndex = {{1, 0, 2}};
        s.label = paddedLabel("Stage Left");
    }
    unit.pending = unit.stored;
    return unit;
}

bool RadioUnit::applySetting(const QString &key, const QString &value, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (key == QLatin1String("firmware")) {
        if (!SimProfile::parseVersion(value, &firmware))
            return fail(QStringLiteral("firmware=%1: expected MAJOR.MINOR.BUILD").arg(value));
    } else if (key == QLatin1String("trxbootloader")) {
        if (!SimProfile::parseVersion(value, &bootloader))
            return fail(QStringLiteral("trxbootloader=%1: expected MAJOR.MINOR.BUILD").arg(value));
    } else if (key == QLatin1String("serial")) {
        if (value == QLatin1String("ff")) {
            serial.fill(0xFF);
        } else {
            const QByteArray raw = QByteArray::fromHex(value.toLatin1());
            if (raw.size() != 5 || !QRegularExpression(QStringLiteral("^[0-9a-fA-F]{10}$")).match(value).hasMatch())
                return fail(QStringLiteral("serial=%1: expected ten hex digits or ff").arg(value));
            std::copy(raw.begin(), raw.end(), serial.begin());
        }
    } else if (key == QLatin1String("label")) {
        stored.label = paddedLabel(value.toLatin1());
        pending.label = stored.label;
    } else if (key == QLatin1String("labelhex")) {
        // The label's 32 bytes as the radio holds them, padding and all.
        const QByteArray raw = hexValue(value);
        if (raw.size() != 32)
            return fail(QStringLiteral("labelhex=%1: expected 32 bytes in hex").arg(value));
        stored.label = raw;
        pending.label = raw;
    } else if (key == QLatin1String("state")) {
        if (value.isEmpty())
            return fail(QStringLiteral("state= needs a file name"));
        stateFile = value;
    } else if (key == QLatin1String("caps")) {
        const QByteArray raw = hexValue(value);
        if (raw.size() < 13 || raw.size() > 15)
            return fail(QStringLiteral("caps=%1: expected 13 to 15 bytes in hex").arg(value));
        capabilities = raw;
    } else if (key == QLatin1String("settings")) {
        const QByteArray raw = hexValue(value);
        if (raw.size() != 14)
            return fail(QStringLiteral("settings=%1: expected 14 bytes in hex").arg(value));
        std::copy(raw.begin(), raw.end(), stored.frame.begin());
        pending.frame = stored.frame;
    } else if (key == QLatin1String("mask24") || key == QLatin1String("mask52") || key == QLatin1String("mask58")) {
        const QByteArray raw = hexValue(value);
        if (raw.size() != 11)
            return fail(QStringLiteral("%1=%2: expected 11 bytes in hex").arg(key, value));
        const size_t band = key == QLatin1String("mask24") ? 0 : key == QLatin1String("mask52") ? 1 : 2;
        std::copy(raw.begin(), raw.end(), stored.masks[band].begin());
        pending.masks[band] = stored.masks[band];
    } else if (key == QLatin1String("power")) {
        const QStringList parts = value.split(QLatin1Char(':'));
        std::array<quint8, 3> powers {};
        bool ok = parts.size() == 3;
        for (int i = 0; ok && i < 3; ++i) {
            const int index = parts.at(i).toInt(&ok);
            ok = ok && index >= 0 && index <= 255;
            powers[size_t(i)] = quint8(index);
        }
        if (!ok)
            return fail(QStringLiteral("power=%1: expected A:B:C, each 0 to 255").arg(value));
        stored.powerIndex = powers;
        pending.powerIndex = powers;
    } else if (key == QLatin1String("model") || key == QLatin1String("hwtext") || key == QLatin1String("modelhex")) {
        // modelhex: the name's bytes as the radio sends them, NUL padding and all.
        const QByteArray text = key == QLatin1String("modelhex") ? hexValue(value) : value.toLatin1();
        const int room = key == QLatin1String("hwtext") ? 11 : 32;
        if (text.isEmpty() != value.isEmpty())
            return fail(QStringLiteral("%1=%2: expected bytes in hex").arg(key, value));
        if (text.size() > room)
            return fail(QStringLiteral("%1=%2: at most %3 characters").arg(key, value).arg(room));
        (key == QLatin1String("hwtext") ? hardwareText : model) = text;
    } else if (key == QLatin1String("addon")) {
        qint64 kind = 0;
        if (!SimProfile::numberIn(value, 0, 255, &kind))
            return fail(QStringLiteral("addon=%1: expected 0 to 255").arg(value));
        addonType = int(kind);
    } else if (key == QLatin1String("silent")) {
        QList<int> codes;
        for (const QString &part : value.split(QLatin1Char(':'))) {
            bool ok = false;
            const int code = part.toInt(&ok);
            if (!ok || code < 0 || code > 255)
                return fail(QStringLiteral("silent=%1: expected command codes such as 4:25").arg(value));
            codes << code;
        }
        silentCommands = codes;
    } else if (key == QLatin1String("miss")) {
        // The next N frames of one command lost on the way (as a frame that
        // fails its check is): miss=15:1.
        const QStringList parts = value.split(QLatin1Char(':'));
        bool ok = parts.size() == 2;
        const int code = ok ? parts.at(0).toInt(&ok) : -1;
        const int count = ok ? parts.at(1).toInt(&ok) : -1;
        if (!ok || code < 0 || code > 255 || count < 0)
            return fail(QStringLiteral("miss=%1: expected a command code and a count such as 15:1").arg(value));
        missedCommands[code] = count;
    } else if (key == QLatin1String("uptime")) {
        qint64 seconds = 0;
        if (!SimProfile::numberIn(value, 0, 0xFFFFFFFFLL, &seconds))
            return fail(QStringLiteral("uptime=%1: expected seconds, 0 to 4294967295").arg(value));
        uptimeSeconds = quint32(seconds);
    } else if (key == QLatin1String("trxhw")) {
        qint64 number = 0;
        if (!SimProfile::numberIn(value, 0, 255, &number))
            return fail(QStringLiteral("trxhw=%1: expected 0 to 255").arg(value));
        hardwareNumber = int(number);
    } else {
        return false;
    }
    return true;
}

bool RadioUnit::refuseState(const QString &why)
{
    // A file we could not make sense of may be someone's; it is never
    // written over, and every store fails from now on.
    stateUsable = false;
    qWarning().noquote() << "Simulator: state file" << stateFile << why
                         << "- left as it is; stores will fail";
    return false;
}

bool RadioUnit::loadState()
{
    stateUsable = true;
    if (stateFile.isEmpty())
        return false;
    const QFileInfo info(stateFile);
    if (!info.exists())
        return false; // a radio not stored yet
    if (!info.isFile())
        return refuseState(QStringLiteral("is not a regular file"));
    if (info.size() > 64 * 1024)
        return refuseState(QStringLiteral("is too large for a radio's state"));
    QFile file(stateFile);
    if (!file.open(QIODevice::ReadOnly))
        return refuseState(QStringLiteral("cannot be read: ") + file.errorString());
    const QByteArray text = file.readAll();
    if (text.trimmed().isEmpty())
        return false;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return refuseState(QStringLiteral("is not a radio's state: ")
                           + (error.error != QJsonParseError::NoError ? error.errorString() : QStringLiteral("not an object")));
    const QJsonObject json = document.object();
    auto read = [&json](const char *key, auto &array) {
        const QByteArray raw = QByteArray::fromHex(json.value(QLatin1String(key)).toString().toLatin1());
        if (raw.size() == int(array.size()))
            std::copy(raw.begin(), raw.end(), array.begin());
    };
    read("settings", stored.frame);
    read("mask24", stored.masks[0]);
    read("mask52", stored.masks[1]);
    read("mask58", stored.masks[2]);
    read("power", stored.powerIndex);
    const QByteArray label = QByteArray::fromHex(json.value(QLatin1String("label")).toString().toLatin1());
    if (label.size() == 32)
        stored.label = label;
    pending = stored;
    return true;
}

bool RadioUnit::saveState() const
{
    if (stateFile.isEmpty())
        return true;
    if (!stateUsable)
        return false;
    auto hex = [](const auto &array) {
        return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(array.data()), int(array.size())).toHex());
    };
    QJsonObject json;
    json.insert(QStringLiteral("settings"), hex(stored.frame));
    json.insert(QStringLiteral("mask24"), hex(stored.masks[0]));
    json.insert(QStringLiteral("mask52"), hex(stored.masks[1]));
    json.insert(QStringLiteral("mask58"), hex(stored.masks[2]));
    json.insert(QStringLiteral("power"), hex(stored.powerIndex));
    json.insert(QStringLiteral("label"), QString::fromLatin1(stored.label.toHex()));
    // The last flush is checked before the commit, which does not look at
    // it: a full disk must leave the earlier state, not an empty file.
    QSaveFile file(stateFile);
    const QByteArray text = QJsonDocument(json).toJson();
    const bool written = file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush()
                         && file.error() == QFileDevice::NoError && file.commit();
    if (!written)
        qWarning().noquote() << "Simulator: state file" << stateFile << "cannot be written:" << file.errorString();
    return written;
}

void RadioUnit::attachTo(VirtualRadio &radio)
{
    loadState();
    // A legacy radio shows its 2.4 GHz mask and power in its status frame.
    auto syncLegacyStatus = [this](RadioState &state) {
        state.mask24 = stored.masks[0];
        state.power24Index = stored.powerIndex[0];
    };
    syncLegacyStatus(radio.state());

    auto reply = [](int code, const QByteArray &data) { return std::optional<RadioReply>(RadioReply {quint8(code), data}); };
    // Every command the application firmware takes is noted, for tests.
    // What a radio answers depends on its generation: a legacy radio knows
    // only its 2.4 GHz frame (1) and its hop table (4); radios with check
    // values know the readout and write commands, and the end-of-readout
    // command (30) only from level 2, where live data begins. Codes a radio
    // does not know go unanswered, as do those the profile silences.
    const int level = radio.state().protocolLevel;
    const QList<int> legacyCommands {1, 4};
    radio.clearCommandHandlers();
    radio.setAnswerUnknown(level > 0);
    auto handle = [this, &radio, level, legacyCommands](int code, VirtualRadio::CommandHandler handler) {
        const bool known = level == 0 ? legacyCommands.contains(code)
                                      : !legacyCommands.contains(code) && (code != 30 || level >= 2);
        if (!known || silentCommands.contains(code)) {
            radio.setCommandHandler(quint8(code), [](RadioState &, const RadioCommand &) {
                return std::optional<RadioReply>();
            });
            return;
        }
        // Every command the application firmware takes is noted, for tests.
        radio.setCommandHandler(quint8(code), [this, code, handler](RadioState &state, const RadioCommand &command) {
            if (missedCommands.value(code) > 0) {
                --missedCommands[code];
                return std::optional<RadioReply>();
            }
            commands.append(code);
            lastData[code] = command.data;
            return handler(state, command);
        });
    };
    for (int code : silentCommands)
        handle(code, {});

    handle(10, [this, reply](RadioState &, const RadioCommand &) {
        QByteArray data(68, '\0');
        auto put = [&data](int slot, int value) { data[slot - 6] = char(value); };
        for (int i = 0; i < 5; ++i)
            put(6 + i, serial[size_t(i)]);
        for (size_t i = 0; i < mcu.size(); ++i) {
            put(11 + int(i), mcu[i]);
            put(15 + int(i), code[i]);
        }
        put(19, firmware.major);
        put(20, firmware.minor);
        put(21, firmware.build >> 8);
        put(22, firmware.build & 0xFF);
        put(23, bootloader.major);
        put(24, bootloader.minor);
        put(25, bootloader.build >> 8);
        put(26, bootloader.build & 0xFF);
        put(27, hardwareNumber);
        // The profile keeps both texts within their fields (32 and 11 bytes).
        put(28, model.size());
        for (int i = 0; i < model.size(); ++i)
            put(29 + i, quint8(model.at(i)));
        put(61, addonType);
        put(62, hardwareText.size());
        for (int i = 0; i < hardwareText.size(); ++i)
            put(63 + i, quint8(hardwareText.at(i)));
        return reply(10, data);
    });
    handle(9, [this, reply](RadioState &, const RadioCommand &) {
        return reply(9, capabilities);
    });
    handle(24, [this, reply](RadioState &, const RadioCommand &) {
        return reply(24, pending.label);
    });
    const std::pair<int, int> bandReads[] = {{14, 0}, {26, 1}, {16, 2}};
    for (const auto &[command, band] : bandReads) {
        handle(command, [this, reply, command = command, band = band](RadioState &, const RadioCommand &) {
            QByteArray data = bytes(pending.masks[size_t(band)]);
            data.append(QByteArray(5, '\0'));
            data.append(char(pending.powerIndex[size_t(band)]));
            return reply(command, data);
        });
    }
    handle(22, [this, reply](RadioState &, const RadioCommand &) {
        return reply(22, bytes(radioId));
    });
    handle(12, [this, reply](RadioState &, const RadioCommand &) {
        return reply(12, bytes(pending.frame));
    });
    handle(20, [this, reply](RadioState &, const RadioCommand &) {
        // The mask adaptive hopping currently avoids: the one of the band in
        // use.
        return reply(20, bytes(pending.masks[size_t(adaptiveBand(pending.frame[ModeCode]))]));
    });
    auto hopTableReply = [this, reply](int code) {
        return [this, reply, code](RadioState &, const RadioCommand &) { return reply(code, bytes(hopTable)); };
    };
    handle(18, hopTableReply(18));
    handle(4, hopTableReply(4));
    handle(30, [reply](RadioState &, const RadioCommand &) { return reply(30, QByteArray()); });

    // Writes.
    handle(13, [this, reply](RadioState &, const RadioCommand &command) {
        for (int i = 0; i < 14 && i < command.data.size(); ++i)
            pending.frame[size_t(i)] = quint8(command.data.at(i));
        return reply(13, QByteArray());
    });
    const std::pair<int, int> bandWrites[] = {{15, 0}, {27, 1}, {17, 2}};
    for (const auto &[command, band] : bandWrites) {
        handle(command, [this, reply, command = command, band = band](RadioState &, const RadioCommand &c) {
            for (int i = 0; i < 11 && i < c.data.size(); ++i)
                pending.masks[size_t(band)][size_t(i)] = quint8(c.data.at(i));
            if (c.data.size() > 16)
                pending.powerIndex[size_t(band)] = quint8(c.data.at(16));
            return reply(command, QByteArray());
        });
    }
    // A legacy radio has no store command: it takes its 2.4 GHz frame at once.
    handle(1, [this, reply, syncLegacyStatus](RadioState &state, const RadioCommand &c) -> std::optional<RadioReply> {
        const Settings before = stored;
        for (int i = 0; i < 11 && i < c.data.size(); ++i)
            stored.masks[0][size_t(i)] = quint8(c.data.at(i));
        if (c.data.size() > 16)
            stored.powerIndex[0] = quint8(c.data.at(16));
        // A store the simulator cannot keep is not confirmed, so the host
        // sees a failure instead of a success that a restart would undo.
        if (!saveState()) {
            stored = before;
            return std::nullopt;
        }
        pending = stored;
        syncLegacyStatus(state);
        return reply(1, QByteArray());
    });
    handle(25, [this, reply](RadioState &, const RadioCommand &command) {
        pending.label = command.data.left(32);
        pending.label.append(QByteArray(32 - pending.label.size(), '\0'));
        return reply(25, QByteArray());
    });
    handle(40, [this, reply](RadioState &, const RadioCommand &) -> std::optional<RadioReply> {
        const Settings before = stored;
        stored = pending;
        if (!saveState()) {
            stored = before;
            return std::nullopt;
        }
        ++stores;
        return reply(40, QByteArray());
    });
    handle(42, [this, reply](RadioState &, const RadioCommand &) {
        // Whatever was not stored is lost with the restart.
        pending = stored;
        ++reboots;
        if (enterBootloader)
            enterBootloader();
        return reply(42, QByteArray());
    });
}

void RadioUnit::startNewFirmware(bool addon)
{
    if (!addon)
        firmware.build = (firmware.build + 1) & 0xFFFF;
    ++reboots;
    pending = stored;
}
