#pragma once

// What every dongle driver answers to a call it cannot carry out, as FTDI's
// library does: a missing argument is named as such, a handle that is not
// the open one is refused, and nothing is counted as written.

#include "usb/dongledriver.h"

#include <QtTest>

inline void refusesWhatItCannotDo(DongleDriver &driver, DongleDriver::Handle open)
{
    using D = DongleDriver;
    const D::Handle other = open + 1;
    unsigned count = 7;
    long port = 0;
    char byte = 0;
    QCOMPARE(driver.openByDescription("Veltra Dongle v3", nullptr), int(D::InvalidParameter));
    QCOMPARE(driver.comPortNumber(open, nullptr), int(D::InvalidParameter));
    QCOMPARE(driver.write(open, nullptr, 1, &count), int(D::InvalidParameter));
    QCOMPARE(count, 0u);
    QCOMPARE(driver.read(open, nullptr, 1, &count), int(D::InvalidParameter));
    for (const int status : {driver.write(other, &byte, 1, &count), driver.read(other, &byte, 1, &count),
                             driver.setBaudRate(other, 57600), driver.purge(other, D::PurgeRx),
                             driver.setTimeouts(other, 1, 1), driver.resetDevice(other),
                             driver.comPortNumber(other, &port), driver.close(other)})
        QCOMPARE(status, int(D::InvalidHandle));
}
