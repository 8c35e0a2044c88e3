#include "simdriver.h"

#include "virtualdongle.h"

SimDriver::SimDriver(std::shared_ptr<VirtualDongle> dongle, long comPortNumber)
    : m_dongle(std::move(dongle))
    , m_comPort(comPortNumber)
{
}

int SimDriver::check(Handle handle) const
{
    if (handle == noHandle || handle != m_open)
        return InvalidHandle;
    // Unplugging invalidates the handle for good, even after a replug.
    if (!m_dongle->isPlugged() || m_dongle->plugGeneration() != m_generation)
        return IoError;
    return Ok;
}

int SimDriver::openByDescription(const QByteArray &description, Handle *handle)
{
    if (!handle)
        return InvalidParameter;
    *handle = noHandle;
    if (description != QByteArray(VirtualDongle::description) || !m_dongle->isPlugged())
        return DeviceNotFound;
    if (m_open != noHandle)
        return DeviceNotOpened;
    m_open = m_nextHandle++;
    m_generation = m_dongle->plugGeneration();
    *handle = m_open;
    return Ok;
}

int SimDriver::comPortNumber(Handle handle, long *port)
{
    if (const int status = check(handle))
        return status;
    if (!port)
        return InvalidParameter;
    *port = m_comPort;
    return Ok;
}

int SimDriver::resetDevice(Handle handle)
{
    return check(handle);
}

int SimDriver::setBaudRate(Handle handle, unsigned baud)
{
    if (const int status = check(handle))
        return status;
    m_dongle->setLineSpeed(baud);
    return Ok;
}

int SimDriver::purge(Handle handle, unsigned mask)
{
    if (const int status = check(handle))
        return status;
    // What the host has written is with the dongle at once; only the receive
    // side has anything to drop.
    if (mask & PurgeRx)
        m_dongle->hostPurge();
    return Ok;
}

int SimDriver::setTimeouts(Handle handle, unsigned, unsigned)
{
    return check(handle);
}

int SimDriver::write(Handle handle, const char *data, unsigned count, unsigned *written)
{
    if (written)
        *written = 0;
    if (const int status = check(handle))
        return status;
    if (count > 0 && !data)
        return InvalidParameter;
    m_dongle->hostWrite(QByteArray(data, int(count)));
    if (written)
        *written = count;
    return Ok;
}

int SimDriver::read(Handle handle, char *data, unsigned count, unsigned *received)
{
    if (received)
        *received = 0;
    if (const int status = check(handle))
        return status;
    if (count > 0 && !data)
        return InvalidParameter;
    const QByteArray bytes = m_dongle->hostRead(int(count));
    std::copy(bytes.begin(), bytes.end(), data);
    if (received)
        *received = unsigned(bytes.size());
    return Ok;
}

int SimDriver::queueStatus(Handle handle, unsigned *rxBytes, unsigned *txBytes, unsigned *events)
{
    if (const int status = check(handle))
        return status;
    if (rxBytes)
        *rxBytes = unsigned(m_dongle->hostPending());
    if (txBytes)
        *txBytes = 0;
    if (events)
        *events = 0;
    return Ok;
}

int SimDriver::close(Handle handle)
{
    if (handle == noHandle || handle != m_open)
        return InvalidHandle;
    m_open = noHandle;
    return Ok;
}

QString SimDriver::portName(Handle) const
{
    // An in-process device has no name another program could open.
    return QString();
}
