#pragma once

#include "dongledriver.h"

#include <QString>

// The dongle through the kernel's serial driver: the FTDI chip's tty
// (/dev/ttyUSBn), or any port named explicitly, such as the simulator's
// pseudo-terminal. Plain file-descriptor I/O (termios, poll, FIONREAD), so
// it can be used from any thread while the caller holds the dongle's lock.
//
// Without an explicit port the device is found by its USB product string in
// sysfs (Linux). The port is opened exclusively, raw 8N1. Problems a user can
// fix (no permission, port held by another program) are logged once, in
// plain words, until the situation changes.
//
// It behaves as D2XX does where the dongle link relies on it: a write
// returns once its bytes have left (bounded by the write time-out), closing
// leaves the modem lines alone (no hang-up), and the FTDI chip's latency
// timer is set to 1 ms where the kernel lets us, so that an 8-byte reply is
// not held back for 16 ms.
class SerialPortDriver : public DongleDriver
{
public:
    // Finds the port by the description given to openByDescription.
    SerialPortDriver();
    // Always opens `portPath`, whatever the description.
    explicit SerialPortDriver(const QString &portPath);
    ~SerialPortDriver() override;

    SerialPortDriver(const SerialPortDriver &) = delete;
    SerialPortDriver &operator=(const SerialPortDriver &) = delete;

    // Where the device tree and the device nodes are looked up ("/sys" and
    // "/dev" unless changed, which tests do).
    void setSystemRoots(const QString &sysfsRoot, const QString &devRoot);

    // The tty of the first USB device whose product string is `description`,
    // as a path under `devRoot`; empty when there is none.
    static QString findPortByDescription(const QByteArray &description,
                                         const QString &sysfsRoot = QStringLiteral("/sys"),
                                         const QString &devRoot = QStringLiteral("/dev"));
    // Every such device, with the serial number the USB device reports.
    static QList<Found> findPorts(const QByteArray &description, const QString &sysfsRoot = QStringLiteral("/sys"),
                                  const QString &devRoot = QStringLiteral("/dev"));
    // The number that ends the port's name (5 for /dev/ttyUSB5), or -1.
    static long portNumberOf(const QString &portPath);

    // The last problem met, in plain words; empty after a successful open.
    QString lastError() const { return m_lastError; }

    QList<Found> find(const QByteArray &description) override;
    int openByDescription(const QByteArray &description, Handle *handle) override;
    int comPortNumber(Handle handle, long *port) override;
    int resetDevice(Handle handle) override;
    int setBaudRate(Handle handle, unsigned baud) override;
    int purge(Handle handle, unsigned mask) override;
    int setTimeouts(Handle handle, unsigned readMs, unsigned writeMs) override;
    int write(Handle handle, const char *data, unsigned count, unsigned *written) override;
    int read(Handle handle, char *data, unsigned count, unsigned *received) override;
    int queueStatus(Handle handle, unsigned *rxBytes, unsigned *txBytes,
                    unsigned *events) override;
    int close(Handle handle) override;
    QString portName(Handle handle) const override;

private:
    bool valid(Handle handle) const;
    void lowerLatencyTimer(const QString &path);
    int drain(unsigned count);
    void report(const QString &problem);
    void closePort();
    // How long `count` bytes take on the line at its present rate.
    qint64 lineMicros(unsigned count) const;

    QString m_fixedPath;
    QString m_sysfsRoot = QStringLiteral("/sys");
    QString m_devRoot = QStringLiteral("/dev");
    QString m_path;
    int m_fd = -1;
    unsigned m_readTimeoutMs = 100;
    unsigned m_writeTimeoutMs = 100;
    unsigned m_baud = 57600; // only ever a rate the line was set to
    QString m_lastError;
};
