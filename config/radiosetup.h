#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// A radio's setup as a file: what `veltra-cli export` and the window's
// "Export setup…" write, and what `apply`, `batch` and "Apply setup…" take
// back. The settings go by the keys `set` takes and their values by the
// names the radio's own option lists give them, so that a setup moves
// between radios that name a choice alike, whatever codes they use for it.
// The layout of the file is described in docs/setup-format.md.
//
// Plain data with plain functions: reading, writing and comparing never
// touch a radio. What a given radio offers is judged by the Configurator
// (Configurator::applySetup), which queues what it takes.
class RadioSetup
{
public:
    // The layout written; files of a newer one are refused, not guessed at.
    static constexpr int formatVersion = 1;
    // A setup is a few hundred bytes: anything much larger is not one.
    static constexpr qint64 maxFileBytes = 64 * 1024;
    // The radio keeps 32 Latin-1 characters of label.
    static constexpr int maxLabelLength = 32;

    // Every setting key in the order files list them and radios take them:
    // a mode change comes before the band frames that follow it.
    static const QStringList &keys();
    // adaptive, rdm and band58: true or false in a file, "ON" or "Off" here
    // (the names the radio's lists use).
    static bool isSwitch(const QString &key);

    // Settings as (key, text) in key order; a key not listed is left as the
    // radio has it.
    QList<QPair<QString, QString>> settings;
    bool has(const QString &key) const;
    QString value(const QString &key) const;
    // Sets or replaces a setting, keeping key order; false for an unknown key.
    bool set(const QString &key, const QString &value);

    // Where the setup came from; informative, never applied.
    QString model;
    QString serial;
    QString firmware;
    QDateTime exported;

    // Reads a setup from JSON text; on failure `error` names the line or
    // key and the setup is left as it was.
    bool fromJson(const QByteArray &json, QString *error);
    QByteArray toJson() const;
    // The same for files: only regular files up to maxFileBytes are read, and
    // a file is written whole or not at all.
    bool readFile(const QString &path, QString *error);
    bool writeFile(const QString &path, QString *error) const;

    // One "key: ..." line for each setting of this setup that `radio` holds
    // differently (names compared as the radio's lists match them, masks as
    // channel sets); empty when the radio holds all of them.
    QStringList differences(const RadioSetup &radio) const;

    // C0, DEL and C1: never part of a label, never printed raw.
    static bool isControl(QChar ch);
    // Why a label cannot go to the radio, or empty when it can.
    static QString labelProblem(const QString &label);
    // "1-10,20" into channel numbers 1..84; "none" for no channel.
    static bool parseChannels(const QString &text, QList<int> *channels);
    // Channel numbers as the shortest such text ("none" when empty).
    static QString channelText(QList<int> channels);
    // A moment as ISO 8601 in local time with its offset from UTC, so that
    // people read their own clock and programs the exact moment.
    static QString isoTime(const QDateTime &when);
    // Whether two option names are the same choice (as `set` matches them).
    static bool sameName(const QString &a, const QString &b);
};
