#include "radiosetup.h"

#include "wholefile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QVector>

#include <algorithm>

namespace {

const QStringList sourceKeys {"model", "serial", "firmware", "exported"};

bool isMask(const QString &key)
{
    return key.startsWith(QLatin1String("mask"));
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// A JSON value written as JSON text, escapes and all.
QString encoded(const QJsonValue &value)
{
    const QByteArray array = QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

// QJsonParseError counts bytes from the start; people count lines.
QString lineAndColumn(const QByteArray &text, int offset)
{
    const QByteArray before = text.left(offset);
    const int line = before.count('\n') + 1;
    const int column = offset - (before.lastIndexOf('\n') + 1) + 1;
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

// The first key some object of `json` (valid JSON already) holds twice, as
// "key" or "source.key", and where it stands; empty when there is none.
// QJsonDocument keeps the last of them silently, and a setup that says two
// things of one setting is not one to guess at.
QString duplicateKey(const QByteArray &json, int *offset)
{
    struct Level
    {
        bool object;
        bool expectKey;
        QString path; // "source." inside source
        QSet<QString> keys;
        QString lastKey;
    };
    QVector<Level> levels;
    for (int i = 0; i < json.size(); ++i) {
        const char c = json.at(i);
        if (c == '"') {
            int end = i + 1;
            while (end < json.size() && json.at(end) != '"')
                end += json.at(end) == '\\' ? 2 : 1;
            if (!levels.isEmpty() && levels.last().object && levels.last().expectKey) {
                // Decoded as JSON decodes it: "l\u0061bel" is "label" too.
                const QString key = QJsonDocument::fromJson("[" + json.mid(i, end - i + 1) + "]").array().at(0).toString();
                Level &level = levels.last();
                if (level.keys.contains(key)) {
                    *offset = i;
                    return level.path + key;
                }
                level.keys.insert(key);
                level.lastKey = key;
                level.expectKey = false;
            }
            i = end;
        } else if (c == '{' || c == '[') {
            const QString path = levels.isEmpty() || !levels.last().object ? QString() : levels.last().path + levels.last().lastKey + QLatin1Char('.');
            levels.append(Level {c == '{', c == '{', levels.isEmpty() ? QString() : path, {}, {}});
        } else if ((c == '}' || c == ']') && !levels.isEmpty()) {
            levels.removeLast();
        } else if (c == ',' && !levels.isEmpty() && levels.last().object) {
            levels.last().expectKey = true;
        }
    }
    return QString();
}

} // namespace

const QStringList &RadioSetup::keys()
{
    static const QStringList all {"label", "mode", "direction", "adaptive", "rdm", "band58",
                                  "power24", "mask24", "power52", "mask52", "power58", "mask58"};
    return all;
}

bool RadioSetup::isSwitch(const QString &key)
{
    return key == QLatin1String("adaptive") || key == QLatin1String("rdm") || key == QLatin1String("band58");
}

bool RadioSetup::has(const QString &key) const
{
    return std::any_of(settings.cbegin(), settings.cend(), [&key](const auto &s) { return s.first == key; });
}

QString RadioSetup::value(const QString &key) const
{
    for (const auto &setting : settings) {
        if (setting.first == key)
            return setting.second;
    }
    return QString();
}

bool RadioSetup::set(const QString &key, const QString &value)
{
    const int rank = keys().indexOf(key);
    if (rank < 0)
        return false;
    int at = 0;
    for (; at < settings.size(); ++at) {
        const int other = keys().indexOf(settings.at(at).first);
        if (other == rank) {
            settings[at].second = value;
            return true;
        }
        if (other > rank)
            break;
    }
    settings.insert(at, qMakePair(key, value));
    return true;
}

bool RadioSetup::isControl(QChar ch)
{
    const ushort u = ch.unicode();
    return u < 0x20 || (u >= 0x7F && u <= 0x9F);
}

QString RadioSetup::labelProblem(const QString &label)
{
    if (label.size() > maxLabelLength)
        return QStringLiteral("at most %1 characters").arg(maxLabelLength);
    if (std::any_of(label.cbegin(), label.cend(), isControl))
        return QStringLiteral("control characters do not belong in a label");
    if (std::any_of(label.cbegin(), label.cend(), [](QChar ch) { return ch.unicode() > 255; }))
        return QStringLiteral("only Latin-1 characters fit in the radio's label");
    return QString();
}

bool RadioSetup::parseChannels(const QString &text, QList<int> *channels)
{
    channels->clear();
    // No channel is written "none": an empty text is more often a value
    // left out by mistake than a wish to clear the band.
    if (text == QLatin1String("none"))
        return true;
    static const QRegularExpression item(QStringLiteral("^(\\d{1,2})(?:-(\\d{1,2}))?$"));
    for (const QString &part : text.split(QLatin1Char(','))) {
        const auto match = item.match(part.trimmed());
        if (!match.hasMatch())
            return false;
        const int first = match.captured(1).toInt();
        const int last = match.captured(2).isEmpty() ? first : match.captured(2).toInt();
        if (first < 1 || last > 84 || first > last)
            return false;
        for (int channel = first; channel <= last; ++channel)
            channels->append(channel);
    }
    return true;
}

QString RadioSetup::channelText(QList<int> channels)
{
    std::sort(channels.begin(), channels.end());
    channels.erase(std::unique(channels.begin(), channels.end()), channels.end());
    QStringList runs;
    for (int i = 0; i < channels.size();) {
        int j = i;
        while (j + 1 < channels.size() && channels.at(j + 1) == channels.at(j) + 1)
            ++j;
        runs << (i == j ? QString::number(channels.at(i))
                        : QStringLiteral("%1-%2").arg(channels.at(i)).arg(channels.at(j)));
        i = j + 1;
    }
    return runs.isEmpty() ? QStringLiteral("none") : runs.join(QLatin1Char(','));
}

QString RadioSetup::isoTime(const QDateTime &when)
{
    const QDateTime local = when.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

bool RadioSetup::sameName(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

bool RadioSetup::fromJson(const QByteArray &json, QString *error)
{
    if (json.size() > maxFileBytes)
        return fail(error, QStringLiteral("too large for a setup: %1 bytes (at most %2)").arg(json.size()).arg(maxFileBytes));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(error, QStringLiteral("not valid JSON at %1: %2")
                               .arg(lineAndColumn(json, parseError.offset), parseError.errorString()));
    if (!document.isObject())
        return fail(error, QStringLiteral("not a setup: the file holds no JSON object"));
    int at = 0;
    const QString twice = duplicateKey(json, &at);
    if (!twice.isEmpty())
        return fail(error, QStringLiteral("\"%1\" is given twice, the second time at %2").arg(twice, lineAndColumn(json, at)));
    const QJsonObject object = document.object();

    // The version first: a newer file is refused as newer, not for the keys
    // this program does not know yet.
    const QJsonValue format = object.value(QLatin1String("format"));
    if (format.isUndefined())
        return fail(error, QStringLiteral("not a setup: \"format\" is missing"));
    if (!format.isDouble() || format.toDouble() != double(format.toInt()))
        return fail(error, QStringLiteral("\"format\" must be a whole number"));
    if (format.toInt() > formatVersion)
        return fail(error, QStringLiteral("format %1 is newer than this program reads (up to %2); "
                                          "use a newer configurator")
                               .arg(format.toInt()).arg(formatVersion));
    if (format.toInt() < 1)
        return fail(error, QStringLiteral("format %1 is not a setup format").arg(format.toInt()));

    RadioSetup read;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const QString key = it.key();
        const QJsonValue value = it.value();
        if (key == QLatin1String("format"))
            continue;
        if (key == QLatin1String("source")) {
            if (!value.isObject())
                return fail(error, QStringLiteral("\"source\" must be an object"));
            const QJsonObject source = value.toObject();
            for (auto s = source.constBegin(); s != source.constEnd(); ++s) {
                if (!sourceKeys.contains(s.key()))
                    return fail(error, QStringLiteral("unknown key \"source.%1\"").arg(s.key()));
                if (!s.value().isString())
                    return fail(error, QStringLiteral("\"source.%1\" must be a text").arg(s.key()));
            }
            read.model = source.value(QLatin1String("model")).toString();
            read.serial = source.value(QLatin1String("serial")).toString();
            read.firmware = source.value(QLatin1String("firmware")).toString();
            const QString when = source.value(QLatin1String("exported")).toString();
            if (!when.isEmpty()) {
                read.exported = QDateTime::fromString(when, Qt::ISODate);
                if (!read.exported.isValid())
                    return fail(error, QStringLiteral("\"source.exported\": \"%1\" is not a date and time such as "
                                                      "2024-05-01T09:30:00Z").arg(when));
            }
            continue;
        }
        if (!keys().contains(key))
            return fail(error, QStringLiteral("unknown key \"%1\"").arg(key));
        if (isSwitch(key)) {
            if (!value.isBool())
                return fail(error, QStringLiteral("\"%1\" must be true or false").arg(key));
            read.set(key, value.toBool() ? QStringLiteral("ON") : QStringLiteral("Off"));
            continue;
        }
        if (!value.isString())
            return fail(error, QStringLiteral("\"%1\" must be a text").arg(key));
        const QString text = value.toString();
        QList<int> channels;
        if (isMask(key) && !parseChannels(text, &channels))
            return fail(error, QStringLiteral("\"%1\": \"%2\" is not a channel list of 1 to 84, such as 1-10,20")
                                   .arg(key, text));
        // A label is judged where it meets a radio: the radio's own label may
        // come back unchanged whatever it holds.
        read.set(key, text);
    }
    *this = read;
    return true;
}

QByteArray RadioSetup::toJson() const
{
    // Written by hand rather than through QJsonObject, which would sort the
    // keys: a person reading the file finds the version and the source first
    // and the settings in the order the window shows them.
    QStringList lines;
    lines << QStringLiteral("    \"format\": %1").arg(formatVersion);
    QStringList source;
    const QPair<QString, QString> fields[] = {{"model", model}, {"serial", serial}, {"firmware", firmware},
                                              {"exported", exported.isValid() ? isoTime(exported) : QString()}};
    for (const auto &[key, text] : fields) {
        if (!text.isEmpty())
            source << QStringLiteral("        %1: %2").arg(encoded(key), encoded(text));
    }
    if (!source.isEmpty())
        lines << QStringLiteral("    \"source\": {\n%1\n    }").arg(source.join(QStringLiteral(",\n")));
    for (const auto &[key, text] : settings) {
        const QJsonValue value = isSwitch(key) ? QJsonValue(sameName(text, QStringLiteral("ON"))) : QJsonValue(text);
        lines << QStringLiteral("    %1: %2").arg(encoded(key), encoded(value));
    }
    return (QStringLiteral("{\n") + lines.join(QStringLiteral(",\n")) + QStringLiteral("\n}\n")).toUtf8();
}

bool RadioSetup::readFile(const QString &path, QString *error)
{
    // Judged before opening: a FIFO would block the open, a device or a
    // huge file would never end.
    const QFileInfo info(path);
    if (!info.exists())
        return fail(error, QStringLiteral("%1: no such file").arg(path));
    if (!info.isFile())
        return fail(error, QStringLiteral("%1: not a regular file").arg(path));
    if (info.size() > maxFileBytes)
        return fail(error, QStringLiteral("%1: too large for a setup: %2 bytes (at most %3)")
                               .arg(path).arg(info.size()).arg(maxFileBytes));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("%1: %2").arg(path, file.errorString()));
    QString why;
    if (!fromJson(file.read(maxFileBytes + 1), &why))
        return fail(error, QStringLiteral("%1: %2").arg(path, why));
    return true;
}

bool RadioSetup::writeFile(const QString &path, QString *error) const
{
    return WholeFile::write(path, toJson(), error);
}

QStringList RadioSetup::differences(const RadioSetup &radio) const
{
    QStringList lines;
    for (const auto &[key, wanted] : settings) {
        if (!radio.has(key)) {
            lines << QStringLiteral("%1: not offered by this radio").arg(key);
            continue;
        }
        const QString held = radio.value(key);
        bool same;
        if (isMask(key)) {
            QList<int> a, b;
            same = parseChannels(wanted, &a) && parseChannels(held, &b) && channelText(a) == channelText(b);
        } else if (key == QLatin1String("label")) {
            same = wanted == held;
        } else {
            same = sameName(wanted, held);
        }
        if (!same)
            lines << QStringLiteral("%1: %2 wanted, radio has %3").arg(key, quoted(wanted), quoted(held));
    }
    return lines;
}
