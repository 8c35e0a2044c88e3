#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include "simprofile.h"

#include <array>
#include <functional>

class VirtualRadio;

// The radio's application firmware as the simulator plays it: who the radio
// is, what it can do, and the settings it holds. A write takes effect at
// once and is what a read reports (the settings in force, `pending`); only
// the store command makes it survive a power cycle (`stored`).
struct RadioUnit
{
    using Version = SimProfile::Version;

    // Everything a write command can change.
    struct Settings
    {
        // Slots 6..19 of the settings frame: direction, -, radio mode code,
        // adaptive hopping, pass-through byte, -, RDM, pin-10 flag,
        // 5.8 GHz state, -, -, -, -, "Set by Pin 10" offered.
        std::array<quint8, 14> frame {};
        // Device masks by band: 0 = 2.4, 1 = 5.2, 2 = 5.8 GHz; bit b of
        // byte j is channel 8j + b + 1.
        std::array<std::array<quint8, 11>, 3> masks {};
        std::array<quint8, 3> powerIndex {};
        QByteArray label = QByteArray(32, ' ');
        bool operator==(const Settings &o) const
        {
            return frame == o.frame && masks == o.masks && powerIndex == o.powerIndex && label == o.label;
        }
    };

    // Identity (reply to command 10).
    std::array<quint8, 5> serial {{0x12, 0x34, 0x56, 0x78, 0x9A}};
    std::array<quint8, 4> mcu {{0x00, 0x1E, 0x97, 0x05}};
    std::array<quint8, 4> code {{0x00, 0x1E, 0x97, 0x05}};
    Version firmware {3, 2, 1045};
    Version bootloader {1, 3, 17};
    int hardwareNumber = 16;
    QByteArray model = "Veltra R9 TRX";
    int addonType = 3;
    QByteArray hardwareText = "R9-C1";
    // How long the radio had been on when it was cabled.
    quint32 uptimeSeconds = 0;

    // Capabilities (reply to command 9), slots 6 on: 13 to 15 bytes. The
    // reply is as long as they are; one that reaches slot 19 also tells that
    // the settings reply carries the 5.8 GHz switch.
    QByteArray capabilities = QByteArray(15, '\0');
    // Command codes this radio never answers (besides those its protocol
    // level does not know).
    QList<int> silentCommands;
    // Commands whose next frames are lost, with how many more to lose.
    QHash<int, int> missedCommands;

    std::array<quint8, 4> radioId {{0xA1, 0xB2, 0xC3, 0xD4}};
    std::array<quint8, 84> hopTable {};

    Settings stored;
    Settings pending;
    int stores = 0;
    // Codes of the commands taken, in order.
    QList<int> commands;
    // Parameter slots (6 on) of the last command taken, by code.
    QHash<int, QByteArray> lastData;
    int reboots = 0;
    // Restarts on the reboot command (42) land in the radio's bootloader,
    // which is told through this.
    std::function<void()> enterBootloader;

    // The named radio classes, with realistic settings and masks.
    static RadioUnit forProfile(const QString &name);

    // Answers every readout and write command on `radio` from this unit.
    // The unit must outlive the radio's handlers.
    void attachTo(VirtualRadio &radio);

    // Where the stored settings outlive the process (state=FILE): read when
    // the radio is attached, written on every store.
    QString stateFile;
    // False once the state file proved unreadable: it is then never written.
    bool stateUsable = true;
    bool loadState();
    // True when the state was kept (or there is no state file).
    bool saveState() const;
    bool refuseState(const QString &why);

    // The bootloader has written a complete image and starts it: the radio
    // comes back with its build number one higher, so a readout shows that
    // the update took.
    void startNewFirmware(bool addon);

    // Applies a profile setting; false when the key is not a radio setting
    // or the value does not fit (then `error` says why):
    //   firmware=M.m.b  serial=HEX10|ff  label=TEXT  labelhex=HEX32  trxhw=N  state=FILE
//   miss=CODE:N (the next N frames of a command lost)
    //   caps=HEX (13-15 bytes from slot 6)  settings=HEX (14 bytes, slots 6-19)
    //   mask24= mask52= mask58=HEX (11 bytes)  power=A:B:C (2.4, 5.2, 5.8 GHz)
    //   model=TEXT  addon=N (add-on kind)  hwtext=TEXT  silent=CODE:CODE...
    bool applySetting(const QString &key, const QString &value, QString *error);
};
