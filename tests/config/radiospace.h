#pragma once

// Radios the field may hold, generated as simulator profiles: every
// combination of capabilities that shapes the lists, each settings byte over
// its whole range, masks with the channels nobody shows set, labels padded
// with spaces or NULs. The suites over the command line's path and over the
// window draw from the same space.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QRandomGenerator>
#include <QString>

namespace RadioSpace {

// The radio's own words for its mode codes: which entry stands for which code.
inline int modeCodeOfEntry(const QString &text)
{
    static const QHash<QString, int> codes {
        {"R7 Compatibility Mode", 0}, {"R8 Compatibility Mode", 2}, {"R8X 2.4GHz", 4}, {"2.4GHz 1MBit", 4},
        {"R8X 5.8GHz", 5}, {"5GHz 1MBit", 5}, {"R8X 2.4GHz Repeater", 6}, {"R8X 5.8GHz Repeater", 7},
        {"R9 2.4GHz", 8}, {"2.4GHz 2MBit", 8}, {"R9 5.8GHz", 9}, {"5GHz 2MBit ", 9},
        {"R9 Tandem 2.4GHz", 10}, {"R9 Tandem 5.8GHz", 11}, {"R9 5.2GHz", 41}, {"R9 Tandem 5.2GHz", 43},
    };
    return codes.value(text, -1);
}

// The band a mode code works on: 0 2.4, 1 5.2, 2 5.8 GHz, -1 none.
inline int bandOfCode(int code)
{
    switch (code) {
    case 4: case 6: case 8: case 10: return 0;
    case 41: case 43: return 1;
    case 5: case 7: case 9: case 11: return 2;
    default: return -1;
    }
}

// Codes the pairing names, and ones it does not.
const int modeCodes[] = {0, 2, 4, 5, 6, 7, 8, 9, 10, 11, 41, 43, 17, 200};
constexpr int shapes = 432;

inline QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

inline QByteArray randomBytes(QRandomGenerator &random, int count)
{
    QByteArray bytes(count, '\0');
    for (char &b : bytes)
        b = char(random.bounded(256));
    return bytes;
}

// A byte anywhere in 0..255, the values radios are known to use drawn more
// often than the rest.
inline char anyByte(QRandomGenerator &random, int usual)
{
    static const int edges[] = {2, 3, 4, 5, 254, 255};
    const int pick = random.bounded(8);
    if (pick < 5)
        return char(random.bounded(usual));
    if (pick < 7)
        return char(edges[random.bounded(int(std::size(edges)))]);
    return char(random.bounded(256));
}

// A label over printable Latin-1, padded to 32 bytes with spaces or NULs.
inline QByteArray randomLabel(QRandomGenerator &random)
{
    QByteArray label;
    const int length = random.bounded(33);
    while (label.size() < length) {
        const int c = 0x20 + random.bounded(0x100 - 0x20);
        if (c < 0x7f || c >= 0xa0)
            label.append(char(c));
    }
    label.append(QByteArray(32 - label.size(), random.bounded(2) ? ' ' : '\0'));
    return label;
}

// One generated radio, as a simulator profile: the shape sets the
// capabilities that shape the lists, the rest is drawn.
inline QString makeProfile(int shape, int modeCode, QRandomGenerator &random)
{
    int n = shape;
    auto pick = [&n](int count) {
        const int value = n % count;
        n /= count;
        return value;
    };
    const int level = 1 + pick(2);
    const int capsLength = 13 + random.bounded(3);
    QByteArray caps = randomBytes(random, 15);
    caps[0] = char(pick(2)); // band24
    caps[2] = char(pick(3)); // r8l
    caps[3] = char(QList<int> {0, 1, 4}.at(pick(3))); // r8h
    caps[14] = char(pick(2)); // r8Compatibility
    caps[12] = char(pick(2)); // repeater
    const int hardware = QList<int> {12, 16, 20}.at(pick(3));
    for (int i : {4, 5, 6, 7, 8, 9, 10}) // rdm, hop table, adaptive, ID, label, reboot, add-on
        caps[i] = char(random.bounded(2));
    caps.truncate(capsLength);

    // Every settings byte over its whole range; the mode code as drawn.
    QByteArray settings(14, '\0');
    for (int i = 0; i < settings.size(); ++i)
        settings[i] = anyByte(random, 2);
    settings[0] = anyByte(random, 3); // direction
    settings[2] = char(modeCode);
    settings[8] = anyByte(random, 4); // 5.8 GHz switch, some radios add 2

    return QStringLiteral("r9,level=%1,trxhw=%2,caps=%3,settings=%4,mask24=%5,mask52=%6,mask58=%7,"
                          "power=%8:%9:%10,hwtext=HW%11,labelhex=%12")
        .arg(level)
        .arg(hardware)
        .arg(hex(caps), hex(settings), hex(randomBytes(random, 11)), hex(randomBytes(random, 11)),
             hex(randomBytes(random, 11)))
        .arg(random.bounded(4))
        .arg(random.bounded(4))
        .arg(random.bounded(8))
        .arg(shape)
        .arg(hex(randomLabel(random)));
}

// A legacy radio: its 2.4 GHz mask and power, with or without a hop table.
inline QString legacyProfile(QRandomGenerator &random, bool answersHopTable)
{
    return QStringLiteral("legacy,mask24=%1,power=%2:0:0%3")
        .arg(hex(randomBytes(random, 11)))
        .arg(random.bounded(4))
        .arg(answersHopTable ? QString() : QStringLiteral(",silent=4"));
}

} // namespace RadioSpace
