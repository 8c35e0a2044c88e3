#include "simprofile.h"

#include "radioapplication.h"
#include "radiobootloader.h"

#include <QRegularExpression>

namespace {

struct NamedRadio
{
    const char *name;
    int protocolLevel;
};

// Current radios speak level 2 (live data); "p1" is the first generation with
// check values, "legacy" the radios from before protocol levels.
constexpr NamedRadio namedRadios[] = {
    {"r9", 2},
    {"r8x", 2},
    {"r8-2mbit", 2},
    {"p1", 1},
    {"legacy", 0},
};


bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

} // namespace

bool SimProfile::parseVersion(const QString &text, Version *version)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,3})\\.(\\d{1,3})\\.(\\d{1,5})$"));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    const int major = match.captured(1).toInt();
    const int minor = match.captured(2).toInt();
    const int build = match.captured(3).toInt();
    // The dongle reports one byte each for major and minor, two for build.
    if (major > 255 || minor > 255 || build > 65535)
        return false;
    *version = {major, minor, build};
    return true;
}

bool SimProfile::numberIn(const QString &value, qint64 low, qint64 high, qint64 *number)
{
    bool ok = false;
    *number = value.toLongLong(&ok);
    return ok && *number >= low && *number <= high;
}

QStringList SimProfile::names()
{
    QStringList result;
    for (const auto &radio : namedRadios)
        result << QString::fromLatin1(radio.name);
    return result;
}

int SimProfile::levelOf(const QString &name)
{
    for (const auto &radio : namedRadios) {
        if (name == QLatin1String(radio.name))
            return radio.protocolLevel;
    }
    return -1;
}

SimProfile SimProfile::swappedRadio(int index) const
{
    SimProfile next = *this;
    next.name = radios.value(index, name);
    next.protocolLevel = levelOf(next.name);
    next.radioConnected = true;
    // The serial of the first radio, as the profile gives it or as its
    // class has it, counted up by the radio's place in the line.
    RadioUnit first = RadioUnit::forProfile(radios.value(0, name));
    next.radioSettings.clear();
    for (const auto &setting : radioSettings) {
        if (setting.first == QLatin1String("serial"))
            first.applySetting(setting.first, setting.second, nullptr);
        else if (setting.first != QLatin1String("state") || index == 0)
            next.radioSettings.append(setting);
    }
    quint64 serial = 0;
    for (quint8 byte : first.serial)
        serial = serial << 8 | byte;
    serial = (serial + quint64(index)) & 0xFFFFFFFFFFull;
    next.radioSettings.append(qMakePair(QStringLiteral("serial"), QStringLiteral("%1").arg(serial, 10, 16, QLatin1Char('0'))));
    return next;
}

bool SimProfile::parse(const QString &text, SimProfile *profile, QString *error)
{
    SimProfile result;
    const QStringList items = text.split(QLatin1Char(','));
    for (int i = 0; i < items.size(); ++i) {
        const QString item = items.at(i).trimmed();
        if (item.isEmpty()) {
            if (items.size() == 1)
                break; // no profile at all: the defaults
            return fail(error, QStringLiteral("empty item in simulator profile \"%1\"").arg(text));
        }
        const int equals = item.indexOf(QLatin1Char('='));
        if (equals < 0) {
            if (i != 0)
                return fail(error, QStringLiteral("\"%1\" is not a setting (key=value)").arg(item));
            bool known = false;
            for (const auto &radio : namedRadios) {
                if (item == QLatin1String(radio.name)) {
                    result.name = item;
                    result.protocolLevel = radio.protocolLevel;
                    known = true;
                }
            }
            if (!known)
                return fail(error, QStringLiteral("unknown simulator profile \"%1\" (known: %2)")
                                       .arg(item, names().join(QStringLiteral(", "))));
            continue;
        }

        const QString key = item.left(equals).trimmed();
        const QString value = item.mid(equals + 1).trimmed();
        if (key == QLatin1String("dongle")) {
            if (value == QLatin1String("boot")) {
                result.dongleInBootloader = true;
            } else if (!parseVersion(value, &result.dongleVersion)) {
                return fail(error, QStringLiteral("dongle=%1: expected MAJOR.MINOR.BUILD or boot").arg(value));
            }
        } else if (key == QLatin1String("bootloader")) {
            if (!parseVersion(value, &result.bootloaderVersion))
                return fail(error, QStringLiteral("bootloader=%1: expected MAJOR.MINOR.BUILD").arg(value));
        } else if (key == QLatin1String("hardware")) {
            qint64 hardware = 0;
            if (!numberIn(value, 0, 255, &hardware))
                return fail(error, QStringLiteral("hardware=%1: expected 0 to 255").arg(value));
            result.hardwareVersion = int(hardware);
        } else if (key == QLatin1String("radio")) {
            if (value == QLatin1String("on"))
                result.radioConnected = true;
            else if (value == QLatin1String("off"))
                result.radioConnected = false;
            else
                return fail(error, QStringLiteral("radio=%1: expected on or off").arg(value));
        } else if (key == QLatin1String("level")) {
            qint64 level = 0;
            if (!numberIn(value, 0, 255, &level))
                return fail(error, QStringLiteral("level=%1: expected 0 to 255").arg(value));
            result.protocolLevel = int(level);
        } else if (key == QLatin1String("usbserial")) {
            static const QRegularExpression printable(QStringLiteral("^[\\x21-\\x7e]{1,15}$"));
            if (!printable.match(value).hasMatch())
                return fail(error, QStringLiteral("usbserial=%1: expected 1 to 15 printable characters").arg(value));
            result.dongleSerial = value.toLatin1();
        } else if (key == QLatin1String("radios")) {
            const QStringList names = value.split(QLatin1Char(':'));
            for (const QString &name : names) {
                if (levelOf(name) < 0)
                    return fail(error, QStringLiteral("radios=%1: \"%2\" is not a radio (known: %3)")
                                           .arg(value, name, SimProfile::names().join(QStringLiteral(", "))));
            }
            result.radios = names;
        } else if (key == QLatin1String("swap")) {
            qint64 polls = 0;
            if (!numberIn(value, 0, 1000, &polls))
                return fail(error, QStringLiteral("swap=%1: expected 0 to 1000 status polls").arg(value));
            result.swapPolls = int(polls);
        } else if (key == QLatin1String("trace")) {
            if (value.isEmpty())
                return fail(error, QStringLiteral("trace= needs a file name"));
            result.traceFile = value;
        } else if (QString wireError; result.wire.apply(key, value, &wireError) || !wireError.isEmpty()) {
            if (!wireError.isEmpty())
                return fail(error, wireError);
        } else {
            // Anything else must be one of the radio's own settings.
            QString why;
            RadioUnit unit;
            RadioBootloader bootloader;
            if (!unit.applySetting(key, value, &why) && why.isEmpty() && !bootloader.applySetting(key, value, &why))
                return fail(error, why.isEmpty() ? QStringLiteral("unknown simulator setting \"%1\"").arg(key) : why);
            if (!why.isEmpty())
                return fail(error, why);
            result.radioSettings.append(qMakePair(key, value));
        }
    }
    if (profile)
        *profile = result;
    return true;
}
