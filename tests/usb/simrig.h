#pragma once

// A Usbd wired to a virtual dongle whose trace is recorded, and a message
// handler that keeps the log lines for assertions.

#include "sim/simdriver.h"
#include "sim/simprofile.h"
#include "sim/virtualdongle.h"
#include "sim/wiremodel.h"
#include "usb/usbd.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

#include <future>
#include <memory>

namespace TestLog {

inline QMutex mutex;
inline QStringList lines;

inline void handler(QtMsgType, const QMessageLogContext &, const QString &message)
{
    QMutexLocker locker(&mutex);
    lines << message;
    if (qEnvironmentVariableIsSet("VELTRA_TEST_VERBOSE"))
        fprintf(stderr, "%s\n", qPrintable(message));
}

inline void install() { qInstallMessageHandler(handler); }
inline void clear() { QMutexLocker locker(&mutex); lines.clear(); }
inline int count(const QString &line) { QMutexLocker locker(&mutex); return int(lines.count(line)); }

} // namespace TestLog

// The dongle's link is free for another thread (the asking one would get
// the recursive lock anyway).
inline bool linkFree(Usbd &usbd)
{
    return std::async(std::launch::async, [&usbd] {
               const bool free = usbd.usbLock->tryLock();
               if (free)
                   usbd.usbLock->unlock();
               return free;
           }).get();
}

// The simulator's driver, able to refuse writes as a host whose transfer
// failed does, the dongle still there.
struct RigDriver : SimDriver
{
    using SimDriver::SimDriver;
    int refusals = 0;
    int write(Handle handle, const char *data, unsigned count, unsigned *written) override
    {
        if (refusals == 0)
            return SimDriver::write(handle, data, count, written);
        --refusals;
        *written = 0;
        return IoError;
    }
};

// The dongle sits behind a line paced in real time when the profile asks
// for one.
struct SimRig
{
    std::shared_ptr<VirtualDongle> dongle;
    std::unique_ptr<Usbd> usbd;
    RigDriver *driver = nullptr;
    WireModel *wire = nullptr;

    explicit SimRig(const QString &profileText = QString())
    {
        SimProfile profile;
        QString error;
        // A profile the simulator refuses would leave the default radio in
        // its place, and the test would check something else than it says.
        if (!SimProfile::parse(profileText, &profile, &error))
            qFatal("simulator profile %s: %s", qPrintable(profileText), qPrintable(error));
        std::shared_ptr<WireModel> line;
        dongle = WireModel::makeDongle(profile, &line);
        wire = line.get();
        dongle->trace().setRecording(true);
        auto owned = std::make_unique<RigDriver>(dongle, 9, line);
        driver = owned.get();
        usbd = std::make_unique<Usbd>(std::move(owned));
    }

    RadioUnit &radio() { return dongle->radioUnit(); }

    // Number of requests traced so far; a mark for requestsSince.
    int mark() const { return int(dongle->requests().size()); }

    QList<QByteArray> requestsSince(int from, int code = -1) const
    {
        QList<QByteArray> result;
        const QList<QByteArray> all = dongle->requests();
        for (int i = from; i < all.size(); ++i)
            if (code < 0 || quint8(all.at(i).at(1)) == code)
                result << all.at(i);
        return result;
    }

    int countSince(int from, int code) const { return int(requestsSince(from, code).size()); }

    // Slot writes after the first DMX stop since the mark: a command begun
    // once DMX is off, which no radio can hear.
    int slotWritesAfterDmxOff(int from) const
    {
        const QList<QByteArray> all = dongle->requests();
        int off = from;
        while (off < all.size() && quint8(all.at(off).at(1)) != 0x11)
            ++off;
        return countSince(off, 0x01);
    }

    // Starts DMX and takes the radio's level as known, as the monitoring
    // would after its first status poll.
    void startRadio()
    {
        usbd->initDongleDMX();
        usbd->protocolVersion = dongle->profile().protocolLevel;
    }
};
