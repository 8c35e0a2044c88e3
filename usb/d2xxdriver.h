#pragma once

#include "usb/dongledriver.h"

#include <QLibrary>
#include <QStringList>

// FTDI's own D2XX library behind the driver seam, loaded when the program
// runs: "ftd2xx" on Windows, libftd2xx.so(.1) on Linux, libftd2xx.dylib on
// macOS. A missing library, or one that lacks a call we use, means the
// backend is absent: available() says so and why, and nothing else fails.
//
// The calls are taken as D2XX defines them: the handle is an opaque pointer,
// statuses and counts are 32-bit, the COM port number is a C long.
class D2xxDriver : public DongleDriver
{
public:
    // Tries `names` in order (the platform's names when empty).
    explicit D2xxDriver(const QStringList &names = QStringList());
    ~D2xxDriver() override;

    bool available() const { return m_loaded; }
    // Why the library is not available: not found, or the missing call.
    QString absence() const { return m_absence; }
    // The file the library was loaded from.
    QString libraryFile() const { return m_library.fileName(); }

    static QStringList platformNames();

    // Needs the library's device list (FT_CreateDeviceInfoList and
    // FT_GetDeviceInfoDetail); a library without it lists nothing.
    QList<Found> find(const QByteArray &description) override;
    int openByDescription(const QByteArray &description, Handle *handle) override;
    int comPortNumber(Handle handle, long *port) override;
    int resetDevice(Handle handle) override;
    int setBaudRate(Handle handle, unsigned baud) override;
    int purge(Handle handle, unsigned mask) override;
    int setTimeouts(Handle handle, unsigned readMs, unsigned writeMs) override;
    int write(Handle handle, const char *data, unsigned count, unsigned *written) override;
    int read(Handle handle, char *data, unsigned count, unsigned *received) override;
    int queueStatus(Handle handle, unsigned *rxBytes, unsigned *txBytes, unsigned *events) override;
    int close(Handle handle) override;
    QString portName(Handle handle) const override;

private:
    using FtHandle = void *;
    using FtStatus = quint32;
    using Dword = quint32;

    // FT_OPEN_BY_DESCRIPTION of FT_OpenEx's flags.
    static constexpr Dword openByDescriptionFlag = 2;
    static constexpr Dword openBySerialNumberFlag = 1;

    struct Calls
    {
        FtStatus (*openEx)(void *, Dword, FtHandle *) = nullptr;
        FtStatus (*getComPortNumber)(FtHandle, long *) = nullptr;
        FtStatus (*resetDevice)(FtHandle) = nullptr;
        FtStatus (*setBaudRate)(FtHandle, Dword) = nullptr;
        FtStatus (*purge)(FtHandle, Dword) = nullptr;
        FtStatus (*setTimeouts)(FtHandle, Dword, Dword) = nullptr;
        FtStatus (*write)(FtHandle, void *, Dword, Dword *) = nullptr;
        FtStatus (*read)(FtHandle, void *, Dword, Dword *) = nullptr;
        FtStatus (*getStatus)(FtHandle, Dword *, Dword *, Dword *) = nullptr;
        FtStatus (*close)(FtHandle) = nullptr;
        // Optional: the device list.
        FtStatus (*createDeviceInfoList)(Dword *) = nullptr;
        FtStatus (*getDeviceInfoDetail)(Dword, Dword *, Dword *, Dword *, Dword *, void *, void *, FtHandle *) = nullptr;
    };

    bool resolveAll();
    static FtHandle toFt(Handle handle) { return reinterpret_cast<FtHandle>(handle); }

    QLibrary m_library;
    Calls m_calls;
    bool m_loaded = false;
    QString m_absence;
};
