// Wall time of a full readout of the r9 radio over the virtual dongle, with
// the protocol's real waits, against the sum of the waits it asked for: what
// is left is our own cost and the event loop's.
#include "app/wiring.h"
#include "config/configurator.h"
#include "sim/simdriver.h"
#include "sim/simprofile.h"
#include "sim/virtualdongle.h"
#include "usb/pacing.h"
#include "usb/usbd.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

struct Run
{
    double wallMs;
    double waitMs;
};

Run readoutOnce(bool instant)
{
    Pacing::setInstant(instant);
    SimProfile profile;
    SimProfile::parse(QStringLiteral("r9"), &profile);
    auto dongle = std::make_shared<VirtualDongle>(profile);
    Usbd usbd(std::make_unique<SimDriver>(dongle));
    Configurator configurator(&usbd);
    // The readout itself, started as the monitoring does on attach, without
    // the timer wait before the first status poll.
    usbd.initDongleDMX();
    usbd.protocolVersion = 2;
    const qint64 waitsBefore = Pacing::requestedMs();
    QElapsedTimer timer;
    timer.start();
    configurator.loadVELTRA();
    const double wall = timer.nsecsElapsed() / 1e6;
    return {wall, double(Pacing::requestedMs() - waitsBefore)};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quiet);

    std::vector<double> instant;
    for (int i = 0; i < 20; ++i)
        instant.push_back(readoutOnce(true).wallMs);
    std::sort(instant.begin(), instant.end());

    std::vector<Run> real;
    for (int i = 0; i < 5; ++i)
        real.push_back(readoutOnce(false));
    std::sort(real.begin(), real.end(), [](const Run &a, const Run &b) { return a.wallMs < b.wallMs; });
    const Run median = real[real.size() / 2];

    std::printf("full readout of r9, waits instant: median %.3f ms (our own cost)\n", instant[instant.size() / 2]);
    std::printf("full readout of r9, real waits:    median %.1f ms wall, %.1f ms of fixed waits, %.2f %% above\n",
                median.wallMs, median.waitMs, 100.0 * (median.wallMs - median.waitMs) / median.waitMs);
    std::printf("target: within 5 %% of the fixed waits\n");
    return 0;
}
