#pragma once

#include "wiremodel.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// What the simulator plays: a named radio class and dongle, adjusted by
// settings. Written as "NAME,key=value,key=value"; the name may be left out
// (r9 is assumed) and so may the settings.
//
//   dongle=MAJOR.MINOR.BUILD  application firmware version (0.0.x reads as absent)
//   dongle=boot               the dongle starts in its bootloader
//   bootloader=MAJOR.MINOR.BUILD, hardware=N
//   radio=on|off              whether a radio is cabled behind the dongle
//   level=N                   the radio's protocol level, overriding the name's
//   firmware=MAJOR.MINOR.BUILD  the radio's firmware version
//   serial=HEX10|ff           the radio's serial number (ff: five 0xFF bytes)
//   label=TEXT                the radio's stored device label
//   trxhw=N                   the radio's hardware number
//   uptime=SECONDS            how long the radio has been on when cabled
//   state=FILE                keep what the radio stores in FILE
//   handshake=1|2, mcu=N      the radio bootloader's handshake and MCU id
//   bootfault=silent|crc|wrong|badsum   a bootloader that fails uploads
//   trace=FILE                every request and reply, as hex lines, into FILE
//   wire=real|instant         the line's real time (off by default)
//   latency=MS                the USB chip's latency timer, with wire=real
//   fault=KIND[:RATE]         late, split, drop or garbage replies on the wire
//   seed=N                    the wire's fault sequence
//   usbserial=TEXT            the dongle's USB serial number (VSIM0001)
//   radios=NAME:NAME...       radios swapped behind the dongle, as on a
//                             production line: the first is cabled at the
//                             start; once a stored radio has been read
//                             back and DMX stops, it is taken away and the
//                             next is cabled a few status polls later. Each
//                             has the serial of the one before plus one;
//                             state= belongs to the first only.
//   swap=POLLS                status polls between a radio taken away and
//                             the next cabled (12, more than the host's
//                             nine misses); 0 swaps them at once, quicker
//                             than the host can see one go.
struct SimProfile
{
    struct Version
    {
        int major;
        int minor;
        int build;
    };

    QString name = QStringLiteral("r9");
    int protocolLevel = 2;
    Version dongleVersion {3, 2, 7};
    Version bootloaderVersion {3, 0, 1};
    int hardwareVersion = 1;
    bool dongleInBootloader = false;
    bool radioConnected = true;
    QString traceFile;
    QByteArray dongleSerial = "VSIM0001";
    QStringList radios;
    int swapPolls = 12;
    WireModel::Settings wire;
    // The radio's own settings (firmware=, serial=, label=, trxhw=), applied
    // in order to the named radio.
    QList<QPair<QString, QString>> radioSettings;

    // "MAJOR.MINOR.BUILD" with one byte each for major and minor and two
    // for build, as the devices report them.
    static bool parseVersion(const QString &text, Version *version);
    // A whole number from low to high, for the settings that take one.
    static bool numberIn(const QString &value, qint64 low, qint64 high, qint64 *number);

    // The radio classes that can be named.
    static QStringList names();
    // The protocol level a named radio speaks; -1 for an unknown name.
    static int levelOf(const QString &name);
    // The profile of the radio `index` of `radios`: that class, the same
    // settings, its serial counted up from the first's.
    SimProfile swappedRadio(int index) const;

    // Parses `text` into `profile`; on failure returns false and says why in
    // `error` (when given), leaving `profile` untouched.
    static bool parse(const QString &text, SimProfile *profile, QString *error = nullptr);
};
