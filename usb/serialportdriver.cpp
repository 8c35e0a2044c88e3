#include "serialportdriver.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool speedFor(unsigned baud, speed_t *speed)
{
    switch (baud) {
    case 1200: *speed = B1200; return true;
    case 2400: *speed = B2400; return true;
    case 4800: *speed = B4800; return true;
    case 9600: *speed = B9600; return true;
    case 19200: *speed = B19200; return true;
    case 38400: *speed = B38400; return true;
    case 57600: *speed = B57600; return true;
    case 115200: *speed = B115200; return true;
    case 230400: *speed = B230400; return true;
    default: return false;
    }
}

// ttyUSB2 before ttyUSB10.
bool ttyNameLess(const QString &a, const QString &b)
{
    static const QRegularExpression split(QStringLiteral("^(.*?)(\\d*)$"));
    const auto ma = split.match(a);
    const auto mb = split.match(b);
    if (ma.captured(1) != mb.captured(1))
        return ma.captured(1) < mb.captured(1);
    return ma.captured(2).toLongLong() < mb.captured(2).toLongLong();
}

int remainingMs(const QElapsedTimer &clock, unsigned timeoutMs)
{
    const qint64 left = qint64(timeoutMs) - clock.elapsed();
    return left > 0 ? int(left) : 0;
}

} // namespace

SerialPortDriver::SerialPortDriver() = default;

SerialPortDriver::SerialPortDriver(const QString &portPath)
    : m_fixedPath(portPath)
{
}

SerialPortDriver::~SerialPortDriver()
{
    closePort();
}

void SerialPortDriver::setSystemRoots(const QString &sysfsRoot, const QString &devRoot)
{
    m_sysfsRoot = sysfsRoot;
    m_devRoot = devRoot;
}

QList<DongleDriver::Found> SerialPortDriver::findPorts(const QByteArray &description, const QString &sysfsRoot,
                                                      const QString &devRoot)
{
    const QDir ttyClass(sysfsRoot + QStringLiteral("/class/tty"));
    QStringList names = ttyClass.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    std::sort(names.begin(), names.end(), ttyNameLess);

    QList<Found> found;
    for (const QString &name : qAsConst(names)) {
        // Only ttys backed by a device have a "device" link; the USB
        // device above the interface carries the product string and the
        // serial number beside it.
        const QFileInfo deviceLink(ttyClass.filePath(name + QStringLiteral("/device")));
        QString dir = deviceLink.canonicalFilePath();
        for (int depth = 0; depth < 6 && !dir.isEmpty(); ++depth) {
            QFile product(dir + QStringLiteral("/product"));
            if (product.open(QIODevice::ReadOnly)) {
                if (product.readAll().trimmed() == description) {
                    QFile serial(dir + QStringLiteral("/serial"));
                    found << Found {devRoot + QLatin1Char('/') + name,
                                    serial.open(QIODevice::ReadOnly) ? serial.readAll().trimmed() : QByteArray()};
                }
                break;
            }
            const QString parent = QFileInfo(dir).path();
            if (parent == dir)
                break;
            dir = parent;
        }
    }
    return found;
}

QString SerialPortDriver::findPortByDescription(const QByteArray &description,
                                                const QString &sysfsRoot, const QString &devRoot)
{
    const QList<Found> found = findPorts(description, sysfsRoot, devRoot);
    return found.isEmpty() ? QString() : found.first().port;
}

QList<DongleDriver::Found> SerialPortDriver::find(const QByteArray &description)
{
    return findPorts(description, m_sysfsRoot, m_devRoot);
}

long SerialPortDriver::portNumberOf(const QString &portPath)
{
    static const QRegularExpression trailingNumber(QStringLiteral("(\\d+)$"));
    const auto match = trailingNumber.match(QFileInfo(portPath).fileName());
    return match.hasMatch() ? match.captured(1).toLong() : -1;
}

void SerialPortDriver::report(const QString &problem)
{
    // Discovery retries four times a second; say it once until it changes.
    if (problem != m_lastError)
        qWarning().noquote() << "SerialPortDriver:" << problem;
    m_lastError = problem;
}

bool SerialPortDriver::valid(Handle handle) const
{
    return m_fd >= 0 && handle == Handle(m_fd) + 1;
}

int SerialPortDriver::openByDescription(const QByteArray &description, Handle *handle)
{
    if (!handle)
        return InvalidParameter;
    *handle = noHandle;
    if (m_fd >= 0)
        return DeviceNotOpened; // one device at a time, as D2XX does

    QString path = m_fixedPath;
    if (path.isEmpty()) {
        for (const Found &port : findPorts(description, m_sysfsRoot, m_devRoot)) {
            if (requiredSerialNumber().isEmpty() || port.serial == requiredSerialNumber()) {
                path = port.port;
                break;
            }
        }
    }
    if (path.isEmpty())
        return DeviceNotFound;

    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) {
            report(QStringLiteral("%1 does not exist; is the dongle plugged in?").arg(path));
            return DeviceNotFound;
        }
        if (error == EACCES || error == EPERM)
            report(QStringLiteral("no permission to open %1. Add your user to the dialout "
                                  "group (sudo usermod -aG dialout $USER), then log out and "
                                  "in again.")
                       .arg(path));
        else if (error == EBUSY)
            report(QStringLiteral("%1 is in use by another program. Close the program that "
                                  "holds it (a serial terminal, another configurator, "
                                  "ModemManager) and the dongle is picked up again.")
                       .arg(path));
        else
            report(QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error))));
        return DeviceNotOpened;
    }

    // Exclusive: TIOCEXCL keeps other openers out, the lock tells us about
    // programs that already had the port (TIOCEXCL does not stop root).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        report(QStringLiteral("%1 is in use by another program. Close the program that "
                              "holds it (a serial terminal, another configurator, "
                              "ModemManager) and the dongle is picked up again.")
                   .arg(path));
        return DeviceNotOpened;
    }

    termios tio {};
    if (::tcgetattr(fd, &tio) != 0) {
        ::close(fd);
        report(QStringLiteral("%1 is not a serial port.").arg(path));
        return DeviceNotOpened;
    }
    ::ioctl(fd, TIOCEXCL);
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSTOPB | PARENB | CSIZE);
#ifdef CRTSCTS
    tio.c_cflag &= ~CRTSCTS;
#endif
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    // D2XX never touches DTR and RTS; a hang-up on close would drop them,
    // and a dongle whose reset hangs on DTR would restart each time.
    tio.c_cflag &= ~HUPCL;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        report(QStringLiteral("cannot set up %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        return DeviceNotOpened;
    }

    m_fd = fd;
    m_path = path;
    m_lastError.clear();
    *handle = Handle(fd) + 1;
    lowerLatencyTimer(path);
    return Ok;
}

void SerialPortDriver::lowerLatencyTimer(const QString &path)
{
    // The FTDI driver's latency timer (16 ms unless told) holds every short
    // reply back that long. The attribute is writable by root, or by the
    // user when the package's udev rule has made it so.
    const QString name = QFileInfo(path).fileName();
    QFile timer(m_sysfsRoot + QStringLiteral("/class/tty/") + name + QStringLiteral("/device/latency_timer"));
    if (!timer.exists())
        return;
    QFile current(timer.fileName());
    const QByteArray before = current.open(QIODevice::ReadOnly) ? current.readAll().trimmed() : QByteArray("?");
    if (before == "1")
        return;
    if (timer.open(QIODevice::WriteOnly) && timer.write("1") == 1 && timer.flush())
        qDebug().noquote() << "SerialPortDriver: latency timer of" << name << "set from" << before << "to 1 ms";
    else
        qDebug().noquote() << "SerialPortDriver: latency timer of" << name << "stays at" << before
                           << "ms (not writable; the udev rule of the package makes it so)";
}

qint64 SerialPortDriver::lineMicros(unsigned count) const
{
    // Ten bits a byte on the line: start, eight data, stop.
    return qint64(count) * 10 * 1000000 / m_baud;
}

int SerialPortDriver::drain(unsigned count)
{
    // Like FT_Write, return once the bytes have left: their time on the line
    // first, then until the driver's queue is empty, bounded by the write
    // time-out. Without this the reply window would start before the request
    // has even reached the dongle.
    QElapsedTimer clock;
    clock.start();
    const qint64 lineUs = lineMicros(count);
    const qint64 boundUs = qint64(m_writeTimeoutMs) * 1000;
    ::usleep(useconds_t(std::min(lineUs, boundUs)));
#ifdef TIOCOUTQ
    for (;;) {
        int queued = 0;
        if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0 || queued <= 0)
            return Ok;
        if (clock.nsecsElapsed() / 1000 >= boundUs)
            return OtherError; // the write time-out: not all bytes have left
        ::usleep(useconds_t(std::max<qint64>(lineMicros(unsigned(queued)), 200)));
    }
#else
    return Ok;
#endif
}

int SerialPortDriver::comPortNumber(Handle handle, long *port)
{
    if (!valid(handle))
        return InvalidHandle;
    if (!port)
        return InvalidParameter;
    *port = portNumberOf(m_path);
    return Ok;
}

int SerialPortDriver::resetDevice(Handle handle)
{
    // The kernel driver has set the device up on open; nothing to reset.
    return valid(handle) ? Ok : InvalidHandle;
}

int SerialPortDriver::setBaudRate(Handle handle, unsigned baud)
{
    if (!valid(handle))
        return InvalidHandle;
    speed_t speed;
    if (!speedFor(baud, &speed))
        return InvalidBaudRate;
    termios tio {};
    if (::tcgetattr(m_fd, &tio) != 0)
        return IoError;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(m_fd, TCSANOW, &tio) != 0)
        return IoError;
    m_baud = baud;
    return Ok;
}

int SerialPortDriver::purge(Handle handle, unsigned mask)
{
    if (!valid(handle))
        return InvalidHandle;
    const bool rx = mask & PurgeRx;
    const bool tx = mask & PurgeTx;
    if (!rx && !tx)
        return Ok;
    const int which = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
    return ::tcflush(m_fd, which) == 0 ? Ok : IoError;
}

int SerialPortDriver::setTimeouts(Handle handle, unsigned readMs, unsigned writeMs)
{
    if (!valid(handle))
        return InvalidHandle;
    m_readTimeoutMs = readMs;
    m_writeTimeoutMs = writeMs;
    return Ok;
}

int SerialPortDriver::write(Handle handle, const char *data, unsigned count, unsigned *written)
{
    if (written)
        *written = 0;
    if (!valid(handle))
        return InvalidHandle;
    if (count > 0 && !data)
        return InvalidParameter;

    QElapsedTimer clock;
    clock.start();
    unsigned done = 0;
    while (done < count) {
        const ssize_t n = ::write(m_fd, data + done, count - done);
        if (n > 0) {
            done += unsigned(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return IoError;
        pollfd p {m_fd, POLLOUT, 0};
        const int left = remainingMs(clock, m_writeTimeoutMs);
        if (left == 0)
            break;
        if (::poll(&p, 1, left) < 0 && errno != EINTR)
            return IoError;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL))
            return IoError;
    }
    if (written)
        *written = done;
    if (done < count)
        return Ok; // the time-out ran out while queueing: the count says so
    return drain(done);
}

int SerialPortDriver::read(Handle handle, char *data, unsigned count, unsigned *received)
{
    if (received)
        *received = 0;
    if (!valid(handle))
        return InvalidHandle;
    if (count > 0 && !data)
        return InvalidParameter;

    QElapsedTimer clock;
    clock.start();
    unsigned done = 0;
    while (done < count) {
        pollfd p {m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, remainingMs(clock, m_readTimeoutMs));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return IoError;
        }
        if (ready == 0)
            break; // time-out: what has arrived is the answer
        if (p.revents & POLLIN) {
            const ssize_t n = ::read(m_fd, data + done, count - done);
            if (n > 0) {
                done += unsigned(n);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            return IoError; // end of file or error: the device has gone
        }
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL))
            return IoError;
    }
    if (received)
        *received = done;
    return Ok;
}

int SerialPortDriver::queueStatus(Handle handle, unsigned *rxBytes, unsigned *txBytes,
                                  unsigned *events)
{
    if (!valid(handle))
        return InvalidHandle;
    // An unplugged USB serial device, like a pseudo-terminal whose other end
    // has closed, reports a hang-up.
    pollfd p {m_fd, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)))
        return IoError;
    int waiting = 0;
    if (::ioctl(m_fd, FIONREAD, &waiting) != 0)
        return IoError;
    int queued = 0;
#ifdef TIOCOUTQ
    if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0)
        queued = 0;
#endif
    if (rxBytes)
        *rxBytes = unsigned(std::max(waiting, 0));
    if (txBytes)
        *txBytes = unsigned(std::max(queued, 0));
    if (events)
        *events = 0;
    return Ok;
}

void SerialPortDriver::closePort()
{
    if (m_fd < 0)
        return;
    // Exclusivity would outlive us while anyone else keeps the tty open, and
    // the dongle programmer opens this port next.
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
    m_fd = -1;
    m_path.clear();
}

int SerialPortDriver::close(Handle handle)
{
    if (!valid(handle))
        return InvalidHandle;
    closePort();
    return Ok;
}

QString SerialPortDriver::portName(Handle handle) const
{
    return valid(handle) ? m_path : QString();
}
