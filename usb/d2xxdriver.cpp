#include "d2xxdriver.h"

#include <QDebug>

QStringList D2xxDriver::platformNames()
{
#if defined(Q_OS_WIN)
    return {QStringLiteral("ftd2xx")};
#elif defined(Q_OS_MACOS)
    return {QStringLiteral("libftd2xx.dylib")};
#else
    return {QStringLiteral("libftd2xx.so"), QStringLiteral("libftd2xx.so.1")};
#endif
}

D2xxDriver::D2xxDriver(const QStringList &names)
{
    const QStringList tried = names.isEmpty() ? platformNames() : names;
    for (const QString &name : tried) {
        m_library.setFileName(name);
        if (m_library.load())
            break;
    }
    if (!m_library.isLoaded()) {
        m_absence = QStringLiteral("the D2XX library (%1) was not found").arg(tried.join(QLatin1String(", ")));
        return;
    }
    m_loaded = resolveAll();
    if (!m_loaded)
        m_library.unload();
}

D2xxDriver::~D2xxDriver()
{
    if (m_loaded)
        m_library.unload();
}

bool D2xxDriver::resolveAll()
{
    // Each call by its exported name; one missing means a library we cannot
    // trust to be D2XX at all.
    const auto take = [this](auto &slot, const char *name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(m_library.resolve(name));
        if (!slot && m_absence.isEmpty())
            m_absence = QStringLiteral("the D2XX library %1 has no %2").arg(m_library.fileName(), QLatin1String(name));
        return slot != nullptr;
    };
    bool all = true;
    all &= take(m_calls.openEx, "FT_OpenEx");
    all &= take(m_calls.getComPortNumber, "FT_GetComPortNumber");
    all &= take(m_calls.resetDevice, "FT_ResetDevice");
    all &= take(m_calls.setBaudRate, "FT_SetBaudRate");
    all &= take(m_calls.purge, "FT_Purge");
    all &= take(m_calls.setTimeouts, "FT_SetTimeouts");
    all &= take(m_calls.write, "FT_Write");
    all &= take(m_calls.read, "FT_Read");
    all &= take(m_calls.getStatus, "FT_GetStatus");
    all &= take(m_calls.close, "FT_Close");
    m_calls.createDeviceInfoList = reinterpret_cast<decltype(m_calls.createDeviceInfoList)>(
        m_library.resolve("FT_CreateDeviceInfoList"));
    m_calls.getDeviceInfoDetail = reinterpret_cast<decltype(m_calls.getDeviceInfoDetail)>(
        m_library.resolve("FT_GetDeviceInfoDetail"));
    return all;
}

QList<DongleDriver::Found> D2xxDriver::find(const QByteArray &description)
{
    QList<Found> found;
    Dword count = 0;
    if (!m_loaded || !m_calls.createDeviceInfoList || !m_calls.getDeviceInfoDetail
        || m_calls.createDeviceInfoList(&count) != Ok)
        return found;
    // The library's own buffer sizes: 16 bytes of serial, 64 of description.
    for (Dword i = 0; i < count && i < 128; ++i) {
        char serial[16 + 1] = {};
        char text[64 + 1] = {};
        Dword flags = 0, type = 0, id = 0, location = 0;
        FtHandle ft = nullptr;
        if (m_calls.getDeviceInfoDetail(i, &flags, &type, &id, &location, serial, text, &ft) != Ok)
            continue;
        if (QByteArray(text) != description)
            continue;
        QString port;
#ifdef Q_OS_WIN
        // The COM port is known only to an open handle; a dongle another
        // program holds keeps its port to itself.
        FtHandle probe = nullptr;
        long number = -1;
        if (m_calls.openEx(serial, openBySerialNumberFlag, &probe) == Ok && probe) {
            if (m_calls.getComPortNumber(probe, &number) == Ok && number >= 0)
                port = QStringLiteral("COM%1").arg(number);
            m_calls.close(probe);
        }
#endif
        found << Found {port, QByteArray(serial)};
    }
    return found;
}

int D2xxDriver::openByDescription(const QByteArray &description, Handle *handle)
{
    // Asked before the library opens anything: a device opened for nobody
    // would stay held until the process ends.
    if (!handle)
        return InvalidParameter;
    if (!m_loaded)
        return DeviceNotFound;
    // FT_OpenEx takes a NUL-terminated, non-const string. A dongle asked for
    // by its serial number is opened by that alone.
    const bool bySerial = !requiredSerialNumber().isEmpty();
    QByteArray text = bySerial ? requiredSerialNumber() : description;
    FtHandle ft = nullptr;
    const FtStatus status = m_calls.openEx(text.data(), bySerial ? openBySerialNumberFlag : openByDescriptionFlag, &ft);
    if (status != Ok || !ft)
        return status != Ok ? int(status) : int(DeviceNotOpened);
    *handle = reinterpret_cast<Handle>(ft);
    return Ok;
}

int D2xxDriver::comPortNumber(Handle handle, long *port)
{
    return m_loaded ? int(m_calls.getComPortNumber(toFt(handle), port)) : int(InvalidHandle);
}

int D2xxDriver::resetDevice(Handle handle)
{
    return m_loaded ? int(m_calls.resetDevice(toFt(handle))) : int(InvalidHandle);
}

int D2xxDriver::setBaudRate(Handle handle, unsigned baud)
{
    return m_loaded ? int(m_calls.setBaudRate(toFt(handle), Dword(baud))) : int(InvalidHandle);
}

int D2xxDriver::purge(Handle handle, unsigned mask)
{
    return m_loaded ? int(m_calls.purge(toFt(handle), Dword(mask))) : int(InvalidHandle);
}

int D2xxDriver::setTimeouts(Handle handle, unsigned readMs, unsigned writeMs)
{
    return m_loaded ? int(m_calls.setTimeouts(toFt(handle), Dword(readMs), Dword(writeMs))) : int(InvalidHandle);
}

int D2xxDriver::write(Handle handle, const char *data, unsigned count, unsigned *written)
{
    if (!m_loaded)
        return InvalidHandle;
    Dword done = 0;
    const FtStatus status = m_calls.write(toFt(handle), const_cast<char *>(data), Dword(count), &done);
    *written = unsigned(done);
    return int(status);
}

int D2xxDriver::read(Handle handle, char *data, unsigned count, unsigned *received)
{
    if (!m_loaded)
        return InvalidHandle;
    Dword done = 0;
    const FtStatus status = m_calls.read(toFt(handle), data, Dword(count), &done);
    *received = unsigned(qMin(done, Dword(count)));
    return int(status);
}

int D2xxDriver::queueStatus(Handle handle, unsigned *rxBytes, unsigned *txBytes, unsigned *events)
{
    if (!m_loaded)
        return InvalidHandle;
    Dword rx = 0, tx = 0, ev = 0;
    const FtStatus status = m_calls.getStatus(toFt(handle), &rx, &tx, &ev);
    if (rxBytes)
        *rxBytes = rx;
    if (txBytes)
        *txBytes = tx;
    if (events)
        *events = ev;
    return int(status);
}

int D2xxDriver::close(Handle handle)
{
    return m_loaded ? int(m_calls.close(toFt(handle))) : int(InvalidHandle);
}

QString D2xxDriver::portName(Handle handle) const
{
    // avrdude is given "COM<n>" on Windows; elsewhere D2XX knows no port
    // name, and the dongle update needs the kernel's serial port instead.
#ifdef Q_OS_WIN
    long port = -1;
    if (m_loaded && m_calls.getComPortNumber(toFt(handle), &port) == Ok && port >= 0)
        return QStringLiteral("COM%1").arg(port);
#else
    Q_UNUSED(handle)
#endif
    return QString();
}
