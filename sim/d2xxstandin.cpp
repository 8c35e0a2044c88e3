// A stand-in for FTDI's D2XX library, built from the simulator: the same
// exported C calls with the same signatures and status numbers, answered by
// a virtual dongle. Built as libftd2xx.so.1 in its own folder, so the real
// loading code of the D2XX backend can be tested, and tried by hand:
//
//   LD_LIBRARY_PATH=build/sim/d2xx veltra-cli --driver d2xx info
//
// The dongle behind it follows the simulator profile in VELTRA_D2XX_SIM
// (default r9), made on the first call.
#include "simdriver.h"
#include "simprofile.h"
#include "virtualdongle.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>

namespace {

using FtStatus = std::uint32_t;
using Dword = std::uint32_t;
using FtHandle = void *;

constexpr Dword openByDescription = 2;
constexpr Dword openBySerialNumber = 1;

std::mutex &lock()
{
    static std::mutex m;
    return m;
}

bool refused = false;

SimDriver *driver()
{
    static std::unique_ptr<SimDriver> made;
    if (!made) {
        SimProfile profile;
        const QString text = qEnvironmentVariableIsSet("VELTRA_D2XX_SIM") ? qEnvironmentVariable("VELTRA_D2XX_SIM")
                                                                          : QStringLiteral("r9");
        QString error;
        refused = !SimProfile::parse(text, &profile, &error);
        made = SimDriver::forProfile(profile);
        // A profile that cannot be read is no dongle at all: standing in an
        // r9 for it would pass a test that asked for something else.
        if (refused) {
            std::fprintf(stderr, "libftd2xx stand-in: VELTRA_D2XX_SIM refused: %s\n", qPrintable(error));
            made->dongle().unplug();
        }
    }
    return made.get();
}

DongleDriver::Handle handleOf(FtHandle ft)
{
    return reinterpret_cast<DongleDriver::Handle>(ft);
}

} // namespace

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

STANDIN_EXPORT FtStatus FT_OpenEx(void *arg, Dword flags, FtHandle *handle)
{
    std::lock_guard<std::mutex> guard(lock());
    if (!handle || !arg)
        return DongleDriver::InvalidParameter;
    const QByteArray text(static_cast<const char *>(arg));
    if (flags == openBySerialNumber)
        driver()->requireSerialNumber(text);
    else if (flags != openByDescription)
        return DongleDriver::DeviceNotFound;
    else
        driver()->requireSerialNumber(QByteArray());
    DongleDriver::Handle opened = DongleDriver::noHandle;
    const int status = driver()->openByDescription(flags == openBySerialNumber ? QByteArray(VirtualDongle::description) : text,
                                                   &opened);
    *handle = status == DongleDriver::Ok ? reinterpret_cast<FtHandle>(opened) : nullptr;
    return FtStatus(status);
}

STANDIN_EXPORT FtStatus FT_GetComPortNumber(FtHandle ft, long *port)
{
    std::lock_guard<std::mutex> guard(lock());
    return FtStatus(driver()->comPortNumber(handleOf(ft), port));
}

STANDIN_EXPORT FtStatus FT_ResetDevice(FtHandle ft)
{
    std::lock_guard<std::mutex> guard(lock());
    return FtStatus(driver()->resetDevice(handleOf(ft)));
}

STANDIN_EXPORT FtStatus FT_SetBaudRate(FtHandle ft, Dword baud)
{
    std::lock_guard<std::mutex> guard(lock());
    return FtStatus(driver()->setBaudRate(handleOf(ft), baud));
}

STANDIN_EXPORT FtStatus FT_Purge(FtHandle ft, Dword mask)
{
    std::lock_guard<std::mutex> guard(lock());
    return FtStatus(driver()->purge(handleOf(ft), mask));
}

STANDIN_EXPORT FtStatus FT_SetTimeouts(FtHandle ft, Dword readMs, Dword writeMs)
{
    std::lock_guard<std::mutex> guard(lock());
    return FtStatus(driver()->setTimeouts(handleOf(ft), readMs, writeMs));
}

STANDIN_EXPORT FtStatus FT_Write(FtHandle ft, void *data, Dword count, Dword *written)
{
    unsigned done = 0;
    const int status = driver()->write(handleOf(ft), static_cast<const char *>(data), count, &done);
    if (written)
        *written = done;
    return FtStatus(status);
}

STANDIN_EXPORT FtStatus FT_Read(FtHandle ft, void *data, Dword count, Dword *received)
{
    unsigned done = 0;
    const int status = driver()->read(handleOf(ft), static_cast<char *>(data), count, &done);
    if (received)
        *received = done;
    return FtStatus(status);
}

STANDIN_EXPORT FtStatus FT_GetStatus(FtHandle ft, Dword *rx, Dword *tx, Dword *events)
{
    unsigned r = 0, t = 0, e = 0;
    const int status = driver()->queueStatus(handleOf(ft), &r, &t, &e);
    if (rx)
        *rx = r;
    if (tx)
        *tx = t;
    if (events)
        *events = e;
    return FtStatus(status);
}

STANDIN_EXPORT FtStatus FT_Close(FtHandle ft)
{
    std::lock_guard<std::mutex> guard(lock());
    return FtStatus(driver()->close(handleOf(ft)));
}

STANDIN_EXPORT FtStatus FT_CreateDeviceInfoList(Dword *count)
{
    std::lock_guard<std::mutex> guard(lock());
    if (!count)
        return DongleDriver::InvalidParameter;
    *count = Dword(driver()->find(VirtualDongle::description).size());
    return DongleDriver::Ok;
}

STANDIN_EXPORT FtStatus FT_GetDeviceInfoDetail(Dword index, Dword *flags, Dword *type, Dword *id, Dword *location,
                                               void *serial, void *description, FtHandle *handle)
{
    std::lock_guard<std::mutex> guard(lock());
    const auto found = driver()->find(VirtualDongle::description);
    if (index >= Dword(found.size()))
        return DongleDriver::DeviceNotFound;
    // The library's own sizes: 16 bytes of serial, 64 of description.
    if (flags)
        *flags = 0;
    if (type)
        *type = 5; // an FT232R
    if (id)
        *id = 0x04036001;
    if (location)
        *location = 0x11;
    if (serial)
        qstrncpy(static_cast<char *>(serial), found.at(int(index)).serial.constData(), 16);
    if (description)
        qstrncpy(static_cast<char *>(description), VirtualDongle::description, 64);
    if (handle)
        *handle = nullptr;
    return DongleDriver::Ok;
}

// Not D2XX: the tests' hand on the cable.
STANDIN_EXPORT void VeltraStandin_SetPlugged(int plugged)
{
    std::lock_guard<std::mutex> guard(lock());
    if (refused)
        return;
    if (plugged)
        driver()->dongle().replug();
    else
        driver()->dongle().unplug();
}
