// veltra-sim-pty: serves the virtual dongle on a pseudo-terminal, so that the
// configurator's serial-port backend, or any other program that opens a
// serial port (avrdude for a dongle update), can be pointed at it.
//
//   veltra-sim-pty [PROFILE] [--link PATH]
//
// With wire=real in the profile the line has its real time: the host's bytes
// reach the dongle at the baud rate, replies wait in the chip's buffer for
// its latency timer, and what is on its way survives the host's purge.
//
// Prints the terminal's path on the first line of standard output (and the
// new one after each replug). With --link, PATH is kept as a symbolic link to
// the current terminal. Commands on standard input, one per line:
//   unplug | replug | radio on | radio off | drop N | corrupt N | quit
//   flash PATH   writes the dongle bootloader's flash image to PATH, then
//                prints "flash saved" (or "flash not saved")

#include "simprofile.h"
#include "virtualdongle.h"
#include "wiremodel.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int)
{
    stopRequested = 1;
}

struct Terminal
{
    int master = -1;
    int slave = -1; // kept open so the line stays up between clients
    QByteArray path;
};

bool openTerminal(Terminal *terminal)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        if (master >= 0)
            ::close(master);
        return false;
    }
    const char *name = ::ptsname(master);
    if (!name) {
        ::close(master);
        return false;
    }
    const QByteArray path(name);
    const int slave = ::open(path.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        ::close(master);
        return false;
    }
    // Raw from the start: nothing is echoed back before a client sets it up.
    termios tio {};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B57600);
        ::cfsetospeed(&tio, B57600);
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    terminal->master = master;
    terminal->slave = slave;
    terminal->path = path;
    return true;
}

void closeTerminal(Terminal *terminal)
{
    if (terminal->master >= 0)
        ::close(terminal->master);
    if (terminal->slave >= 0)
        ::close(terminal->slave);
    *terminal = Terminal();
}

void announce(const Terminal &terminal, const QByteArray &link)
{
    if (!link.isEmpty()) {
        ::unlink(link.constData());
        if (::symlink(terminal.path.constData(), link.constData()) != 0)
            std::fprintf(stderr, "cannot link %s: %s\n", link.constData(), std::strerror(errno));
    }
    std::printf("%s\n", terminal.path.constData());
    std::fflush(stdout);
}

bool writeAll(int fd, const QByteArray &bytes)
{
    int done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        done += int(n);
    }
    return true;
}

// Returns false when the server should stop.
bool runCommand(const QString &line, VirtualDongle &dongle, Terminal *terminal, const QByteArray &link)
{
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return true;
    const QString &verb = words.first();
    const int count = words.size() > 1 ? words.at(1).toInt() : 1;
    if (verb == QLatin1String("quit")) {
        return false;
    } else if (verb == QLatin1String("unplug")) {
        dongle.unplug();
        closeTerminal(terminal);
        std::printf("unplugged\n");
        std::fflush(stdout);
    } else if (verb == QLatin1String("replug")) {
        if (terminal->master < 0) {
            if (!openTerminal(terminal)) {
                std::fprintf(stderr, "cannot open a pseudo-terminal: %s\n", std::strerror(errno));
                return false;
            }
            dongle.replug();
            announce(*terminal, link);
        }
    } else if (verb == QLatin1String("radio") && words.size() > 1) {
        dongle.setRadioConnected(words.at(1) == QLatin1String("on"));
    } else if (verb == QLatin1String("drop")) {
        dongle.dropReplies(count);
    } else if (verb == QLatin1String("flash")) {
        // The path is the rest of the line, spaces and all; without one the
        // answer is still the line a client waits for.
        const QString path = line.trimmed().mid(verb.size()).trimmed();
        QFile file(path);
        const bool saved = file.open(QIODevice::WriteOnly)
                           && file.write(dongle.bootloader().flash()) == dongle.bootloader().flash().size();
        std::printf(saved ? "flash saved\n" : "flash not saved\n");
        std::fflush(stdout);
    } else if (verb == QLatin1String("corrupt")) {
        dongle.corruptCheckValues(count);
    } else {
        std::fprintf(stderr, "unknown command: %s\n", qPrintable(line));
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QString profileText;
    QByteArray link;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--link" && i + 1 < argc) {
            link = argv[++i];
        } else if (argument == "--help" || argument == "-h") {
            std::printf("usage: %s [PROFILE] [--link PATH]\nprofiles: %s\n", argv[0],
                        qPrintable(SimProfile::names().join(QStringLiteral(", "))));
            return 0;
        } else {
            profileText = QString::fromLocal8Bit(argument);
        }
    }

    SimProfile profile;
    QString error;
    if (!SimProfile::parse(profileText, &profile, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    std::shared_ptr<WireModel> wire;
    const std::shared_ptr<VirtualDongle> owned = WireModel::makeDongle(profile, &wire);
    VirtualDongle &dongle = *owned;
    Terminal terminal;
    if (!openTerminal(&terminal)) {
        std::fprintf(stderr, "cannot open a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    announce(terminal, link);

    bool inputOpen = true;
    QByteArray commandLine;
    char buffer[4096];
    while (!stopRequested) {
        pollfd fds[2];
        int count = 0;
        int masterIndex = -1;
        int inputIndex = -1;
        if (terminal.master >= 0) {
            masterIndex = count;
            fds[count++] = pollfd {terminal.master, POLLIN, 0};
        }
        if (inputOpen) {
            inputIndex = count;
            fds[count++] = pollfd {STDIN_FILENO, POLLIN, 0};
        }
        // On the wire, wake for the next byte that reaches the host.
        int timeoutMs = count ? -1 : 200;
        if (wire && terminal.master >= 0) {
            const qint64 next = wire->nextDeliveryUs();
            if (next >= 0)
                timeoutMs = int(std::max<qint64>(0, (next - WireModel::nowUs() + 999) / 1000));
        }
        if (::poll(fds, nfds_t(count), timeoutMs) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }

        if (masterIndex >= 0 && (fds[masterIndex].revents & POLLIN)) {
            const ssize_t n = ::read(terminal.master, buffer, sizeof buffer);
            if (n > 0) {
                if (wire) {
                    wire->write(QByteArray(buffer, int(n)));
                } else {
                    dongle.hostWrite(QByteArray(buffer, int(n)));
                    const QByteArray answer = dongle.hostRead(dongle.hostPending());
                    if (!answer.isEmpty())
                        writeAll(terminal.master, answer);
                }
            }
        }
        if (wire && terminal.master >= 0) {
            const QByteArray arrived = wire->read(wire->pending());
            if (!arrived.isEmpty())
                writeAll(terminal.master, arrived);
        }

        if (inputIndex >= 0 && (fds[inputIndex].revents & (POLLIN | POLLHUP))) {
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                inputOpen = false; // no more commands; keep serving
                continue;
            }
            commandLine.append(buffer, int(n));
            int end;
            bool keepGoing = true;
            while (keepGoing && (end = commandLine.indexOf('\n')) >= 0) {
                const QString line = QString::fromLocal8Bit(commandLine.left(end));
                commandLine.remove(0, end + 1);
                keepGoing = runCommand(line, dongle, &terminal, link);
            }
            if (!keepGoing)
                break;
        }
    }

    if (!link.isEmpty())
        ::unlink(link.constData());
    closeTerminal(&terminal);
    return 0;
}
