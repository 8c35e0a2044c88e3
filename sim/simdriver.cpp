#include "simdriver.h"

#include "virtualdongle.h"
#include "wiremodel.h"

#include <chrono>
#include <thread>

SimDriver::SimDriver(std::shared_ptr<VirtualDongle> dongle, long comPortNumber, std::shared_ptr<WireModel> wire)
    : m_dongle(std::move(dongle))
    , m_wire(std::move(wire))
    , m_comPort(comPortNumber)
{
}

std::unique_ptr<SimDriver> SimDriver::forProfile(const SimProfile &profile, std::shared_ptr<VirtualDongle> *dongle)
{
    std::shared_ptr<WireModel> wire;
    const std::shared_ptr<VirtualDongle> made = WireModel::makeDongle(profile, &wire);
    if (dongle)
        *dongle = made;
    return std::make_unique<SimDriver>(made, 9, wire);
}

namespace {
void sleepUntil(qint64 us)
{
    const qint64 left = us - WireModel::nowUs();
    if (left > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(left));
}
} // namespace

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
    if (!requiredSerialNumber().isEmpty() && requiredSerialNumber() != m_dongle->profile().dongleSerial)
        return DeviceNotFound;
    if (m_open != noHandle)
        return DeviceNotOpened;
    m_open = m_nextHandle++;
    m_generation = m_dongle->plugGeneration();
    *handle = m_open;
    return Ok;
}

QList<DongleDriver::Found> SimDriver::find(const QByteArray &description)
{
    if (description != QByteArray(VirtualDongle::description) || !m_dongle->isPlugged())
        return {};
    return {Found {QString(), m_dongle->profile().dongleSerial}};
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
    if (mask & PurgeRx) {
        if (m_wire)
            m_wire->purgeReceive();
        else
            m_dongle->hostPurge();
    }
    return Ok;
}

int SimDriver::setTimeouts(Handle handle, unsigned readMs, unsigned writeMs)
{
    if (const int status = check(handle))
        return status;
    m_readTimeoutMs = readMs;
    m_writeTimeoutMs = writeMs;
    return Ok;
}

int SimDriver::write(Handle handle, const char *data, unsigned count, unsigned *written)
{
    if (written)
        *written = 0;
    if (const int status = check(handle))
        return status;
    if (count > 0 && !data)
        return InvalidParameter;
    if (m_wire) {
        // D2XX returns once the bytes are handed to the chip; on the line
        // that is when they have gone out.
        const qint64 done = m_wire->write(QByteArray(data, int(count)));
        const qint64 deadline = WireModel::nowUs() + qint64(m_writeTimeoutMs) * 1000;
        sleepUntil(std::min(done, deadline));
        if (const int status = check(handle))
            return status;
    } else {
        m_dongle->hostWrite(QByteArray(data, int(count)));
    }
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
    QByteArray bytes;
    if (m_wire) {
        const qint64 deadline = WireModel::nowUs() + qint64(m_readTimeoutMs) * 1000;
        for (;;) {
            bytes += m_wire->read(int(count) - bytes.size());
            if (bytes.size() >= int(count) || WireModel::nowUs() >= deadline)
                break;
            if (const int status = check(handle))
                return status;
            const qint64 next = m_wire->nextDeliveryUs();
            sleepUntil(next < 0 ? deadline : std::min(next, deadline));
        }
    } else {
        bytes = m_dongle->hostRead(int(count));
    }
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
        *rxBytes = unsigned(m_wire ? m_wire->pending() : m_dongle->hostPending());
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
