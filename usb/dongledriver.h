#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// The operations the dongle link needs from a USB serial driver, shaped after
// FTDI's D2XX calls so that D2XX itself, the kernel's serial port and the
// simulator can stand behind the same seam. Every call returns a status, 0 for
// success, with the D2XX status numbers for the failures.
//
// A driver serves one device at a time; the handle it hands out stays valid
// until close() even when the device disappears, after which the calls on it
// fail (queueStatus first of all, which is how an unplugged dongle is noticed).
class DongleDriver
{
public:
    using Handle = quintptr;
    static constexpr Handle noHandle = 0;

    enum Status : int {
        Ok = 0,
        InvalidHandle = 1,
        DeviceNotFound = 2,
        DeviceNotOpened = 3,
        IoError = 4,
        InsufficientResources = 5,
        InvalidParameter = 6,
        InvalidBaudRate = 7,
        OtherError = 18,
    };

    enum PurgeMask : unsigned {
        PurgeRx = 1,
        PurgeTx = 2,
    };

    // A device this driver can reach, as listed before any open: its port
    // (empty where the driver has no name for it) and its USB serial number.
    struct Found
    {
        QString port;
        QByteArray serial;
    };

    virtual ~DongleDriver() = default;

    // Every device whose USB description equals `description`, opened or not.
    // A driver that cannot enumerate lists nothing.
    virtual QList<Found> find(const QByteArray &description) { Q_UNUSED(description) return {}; }
    // From now on openByDescription opens only the device with this USB
    // serial number (empty: any), so that several dongles on one PC each
    // serve their own process.
    void requireSerialNumber(const QByteArray &serial) { m_serialNumber = serial; }
    QByteArray requiredSerialNumber() const { return m_serialNumber; }

    // Opens the first device whose USB description equals `description`.
    virtual int openByDescription(const QByteArray &description, Handle *handle) = 0;
    // The COM port number of the open device; -1 when it has none.
    virtual int comPortNumber(Handle handle, long *port) = 0;
    // The one call made on a freshly opened handle before it is configured.
    virtual int resetDevice(Handle handle) = 0;
    virtual int setBaudRate(Handle handle, unsigned baud) = 0;
    // Drops what waits in the receive (PurgeRx) and/or transmit (PurgeTx) queue.
    virtual int purge(Handle handle, unsigned mask) = 0;
    virtual int setTimeouts(Handle handle, unsigned readMs, unsigned writeMs) = 0;
    // Writes `count` bytes; `written` receives how many went out.
    virtual int write(Handle handle, const char *data, unsigned count, unsigned *written) = 0;
    // Reads up to `count` bytes, returning after the read time-out with what
    // has arrived; succeeds with fewer bytes. Only the bytes received are
    // stored, the rest of `data` is left as it was.
    virtual int read(Handle handle, char *data, unsigned count, unsigned *received) = 0;
    // Bytes waiting in the receive queue (and transmit queue, event state).
    // Fails once the device has gone.
    virtual int queueStatus(Handle handle, unsigned *rxBytes, unsigned *txBytes,
                            unsigned *events) = 0;
    virtual int close(Handle handle) = 0;

    // The operating system's name for the open device's port, as an external
    // programmer is given it: "/dev/ttyUSB0", a pseudo-terminal path, "COM5".
    // Empty when the port has no such name.
    virtual QString portName(Handle handle) const = 0;

private:
    QByteArray m_serialNumber;
};
