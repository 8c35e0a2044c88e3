#pragma once

#include "usb/dongledriver.h"

#include <QString>
#include <QStringList>

#include <memory>

class VirtualDongle;

// Which driver the dongle link talks through, chosen from the command line:
//
//   --simulate[=PROFILE]   the in-process simulator (demo and training mode)
//   --port PATH            the kernel's serial port at PATH
//   --driver d2xx|serial   FTDI's D2XX library, or the kernel's serial port,
//                          for the device described as "Veltra Dongle v3"
//   (none of them)         D2XX when its library loads and finds the dongle,
//                          else the kernel's serial port
//   --dongle SERIAL        only the dongle with this USB serial number, so
//                          that each dongle on a PC can have its own process
struct DriverSelection
{
    std::unique_ptr<DongleDriver> driver;
    // The simulated dongle, when simulating; shared with the driver.
    std::shared_ptr<VirtualDongle> simulator;
    // Set when the arguments cannot be followed; `driver` is then null.
    QString error;
    // Why the driver asked for cannot find a dongle (its library is missing).
    QString absence;

    static DriverSelection fromArguments(const QStringList &arguments);

    // Every dongle the drivers the arguments allow can see, by driver name
    // ("simulator", "d2xx", "serial"); `error` as for fromArguments.
    struct Listed
    {
        QString port;
        QString driver;
        QString serial;
    };
    static QList<Listed> listDongles(const QStringList &arguments, QString *error);
};
