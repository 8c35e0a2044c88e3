// Figures for the dongle link over the virtual dongle:
//  1. our own cost per request exchange, with the protocol's waits instant
//     (target: under 20 us);
//  2. a bare P1 command's wall time against the sum of its fixed waits, with
//     real pacing (target: within 5 % of that floor).

#include "sim/simdriver.h"
#include "sim/simprofile.h"
#include "sim/virtualdongle.h"
#include "usb/pacing.h"
#include "usb/usbd.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void discard(QtMsgType, const QMessageLogContext &, const QString &) {}

struct Rig
{
    std::shared_ptr<VirtualDongle> dongle;
    std::unique_ptr<Usbd> usbd;

    explicit Rig(bool recordTrace)
    {
        SimProfile profile;
        SimProfile::parse(QStringLiteral("r9"), &profile);
        dongle = std::make_shared<VirtualDongle>(profile);
        dongle->trace().setRecording(recordTrace);
        usbd = std::make_unique<Usbd>(std::make_unique<SimDriver>(dongle));
        usbd->initDongleDMX();
        // As after the first status poll, so a monitoring tick that runs
        // during a command costs one exchange and nothing more.
        usbd->protocolVersion = 2;
        usbd->radioAttached = true;
    }
};

double exchangeMicros(bool recordTrace, int count)
{
    Rig rig(recordTrace);
    char reply[8];
    for (int i = 0; i < 1000; ++i)
        rig.usbd->usbSimpleRequest(0x13, reply, 500);
    if (recordTrace)
        rig.dongle->trace().clear();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i)
        rig.usbd->usbSimpleRequest(0x13, reply, 500);
    return double(clock.nsecsElapsed()) / 1000.0 / count;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(discard);

    std::printf("Dongle link over the virtual dongle\n\n");

    // 1. Cost per exchange, waits instant.
    Pacing::setInstant(true);
    const int exchanges = 200000;
    const double plain = exchangeMicros(false, exchanges);
    const double traced = exchangeMicros(true, exchanges);
    std::printf("Request exchange (status request, %d runs, log lines formatted and discarded):\n",
                exchanges);
    std::printf("  %.2f us per exchange, trace off   (target < 20 us)  %s\n", plain,
                plain < 20.0 ? "ok" : "OVER");
    std::printf("  %.2f us per exchange, trace kept in memory\n", traced);

    {
        Rig rig(false);
        const int commands = 5000;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < commands; ++i)
            rig.usbd->runDmxCommand(30);
        const double perCommand = double(clock.nsecsElapsed()) / 1000.0 / commands;
        // 8 slot writes, 1 output swap, 1 input swap, 1 ready query, 1 length
        // read and 2 chunk reads.
        std::printf("  bare P1 command, waits instant: %.2f us (%.2f us per exchange of 14)\n\n",
                    perCommand, perCommand / 14.0);
    }

    // 2. Real pacing: wall time against the fixed waits.
    Pacing::setInstant(false);
    Rig rig(false);
    const int commands = 20;
    std::vector<double> ratios;
    double wallTotal = 0.0;
    double floorTotal = 0.0;
    for (int i = 0; i < commands; ++i) {
        const qint64 waitsBefore = Pacing::requestedMs();
        QElapsedTimer clock;
        clock.start();
        const int result = rig.usbd->runDmxCommand(30);
        const double wallMs = double(clock.nsecsElapsed()) / 1e6;
        const double floorMs = double(Pacing::requestedMs() - waitsBefore);
        if (result != 30) {
            std::printf("command failed: %d\n", result);
            return 1;
        }
        wallTotal += wallMs;
        floorTotal += floorMs;
        ratios.push_back(wallMs / floorMs);
    }
    std::sort(ratios.begin(), ratios.end());
    const double overhead = (wallTotal / floorTotal - 1.0) * 100.0;
    std::printf("Bare P1 command, real pacing (%d runs):\n", commands);
    std::printf("  fixed waits %.1f ms, wall time %.2f ms on average\n", floorTotal / commands,
                wallTotal / commands);
    std::printf("  %.2f %% above the fixed-wait floor (median %.2f %%, worst %.2f %%)   "
                "(target < 5 %%)  %s\n",
                overhead, (ratios[ratios.size() / 2] - 1.0) * 100.0, (ratios.back() - 1.0) * 100.0,
                overhead < 5.0 ? "ok" : "OVER");
    return 0;
}
