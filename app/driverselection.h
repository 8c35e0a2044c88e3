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
//   (neither)              the kernel's serial port of the device described
//                          as "Veltra Dongle v3"
struct DriverSelection
{
    std::unique_ptr<DongleDriver> driver;
    // The simulated dongle, when simulating; shared with the driver.
    std::shared_ptr<VirtualDongle> simulator;
    // Set when the arguments cannot be followed; `driver` is then null.
    QString error;

    static DriverSelection fromArguments(const QStringList &arguments);
};
