// What a firmware upload costs on the host side: a 256 KiB image sent through
// the upload thread to the virtual radio's bootloader, with the protocol's
// fixed waits skipped. Prints frames per second and the dongle requests each
// frame takes (its serial-out request plus the polls until the answer).
#include "firmware/serialthread.h"
#include "sim/simdriver.h"
#include "sim/simprofile.h"
#include "sim/virtualdongle.h"
#include "sim/wiremodel.h"
#include "usb/pacing.h"
#include "usb/usbd.h"
#include "firmware/vfpwriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

#include <memory>

namespace {

void discardMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

struct Run
{
    int status = -1;
    int frames = 0;
    qint64 requests = 0;
    double ms = 0;
    bool imageArrived = false;
};

Run upload(const QString &package, const QByteArray &image, bool countRequests)
{
    auto dongle = std::make_shared<VirtualDongle>();
    dongle->trace().setRecording(countRequests);
    Usbd usbd(std::make_unique<SimDriver>(dongle));
    usbd.enterUpdaterMode();
    SerialThread thread(&usbd);
    Run run;
    if (thread.vfp->parseFile(package) != VFP::ParseOk)
        return run;

    const int requestsBefore = countRequests ? int(dongle->requests().size()) : 0;
    QElapsedTimer clock;
    clock.start();
    thread.startProcess(0);
    thread.wait();
    run.ms = double(clock.nsecsElapsed()) / 1e6;

    auto guard = dongle->lock();
    run.status = thread.uploadStatus;
    run.frames = dongle->radioBootloader().framesReceived();
    run.imageArrived = dongle->radioBootloader().image() == image;
    if (countRequests)
        run.requests = qint64(dongle->requests().size()) - requestsBefore;
    return run;
}

// The same upload over the wire model, with the protocol's real waits: its
// floor is every byte of every frame and request on the line at 57600 baud.
struct WireRun
{
    int status = -1;
    int frames = 0;
    int expectedFrames = 0;
    double ms = 0;
    double floorMs = 0;
};

WireRun wireUpload(const QString &package, int latencyMs)
{
    SimProfile profile;
    SimProfile::parse(QStringLiteral("r9,wire=real,latency=%1").arg(latencyMs), &profile);
    std::shared_ptr<VirtualDongle> dongle;
    auto driver = SimDriver::forProfile(profile, &dongle);
    WireModel *wire = driver->wire();
    Usbd usbd(std::move(driver));
    usbd.enterUpdaterMode();
    SerialThread thread(&usbd);
    WireRun run;
    if (thread.vfp->parseFile(package) != VFP::ParseOk)
        return run;
    // Count the frames of the stream: a length, then that many bytes.
    for (const FirmwareBlock &block : thread.vfp->blocks()) {
        const QByteArray &d = block.data;
        for (int i = 0; i + 1 < d.size(); i += 2 + ((quint8(d.at(i)) << 8) | quint8(d.at(i + 1))))
            ++run.expectedFrames;
    }
    const qint64 bytesBefore = wire->bytesToDongle() + wire->bytesToHost();
    QElapsedTimer clock;
    clock.start();
    thread.startProcess(0);
    thread.wait();
    run.ms = double(clock.nsecsElapsed()) / 1e6;
    run.floorMs = double(wire->bytesToDongle() + wire->bytesToHost() - bytesBefore) * WireModel::byteUs(57600) / 1000.0;
    auto guard = dongle->lock();
    run.status = thread.uploadStatus;
    run.frames = dongle->radioBootloader().framesReceived();
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        out << "bench_upload: no temporary folder\n";
        return 1;
    }
    Pacing::setInstant(true);
    qInstallMessageHandler(discardMessage);

    constexpr int imageBytes = 256 * 1024;
    const QByteArray image = VfpWriter::testImage(imageBytes, 5);
    out << "Radio firmware upload through the simulator, 256 KiB image, instant pacing\n";

    for (const int payload : {256, 508}) {
        const QString path = dir.filePath(QStringLiteral("upload_%1.vfp").arg(payload));
        if (!VfpWriter::writeFile(path, {VfpWriter::imageBlock(2, image, payload)})) {
            out << "bench_upload: cannot write " << path << '\n';
            return 1;
        }
        const Run timed = upload(path, image, false);
        const Run counted = upload(path, image, true);
        if (timed.status != 0 || !timed.imageArrived || counted.status != 0) {
            out << "bench_upload: upload failed, status " << timed.status << '\n';
            return 1;
        }
        out << "  frames of " << payload + 4 << " bytes: " << timed.frames << " frames in "
            << QString::number(timed.ms, 'f', 1) << " ms, "
            << QString::number(timed.frames / (timed.ms / 1000.0), 'f', 0) << " frames/s, "
            << QString::number(double(imageBytes) / 1024.0 / (timed.ms / 1000.0), 'f', 0) << " KiB/s, "
            << QString::number(double(counted.requests) / counted.frames, 'f', 2)
            << " dongle requests per frame (handshake included)\n";
    }

    // On the wire, in real time: minutes, so only the 512-byte frames.
    Pacing::setInstant(false);
    const QString path = dir.filePath(QStringLiteral("upload_508.vfp"));
    out << "The same upload on the wire model (57600 baud, real waits), frames of 512 bytes\n";
    out.flush();
    for (const int latency : {1, 16}) {
        const WireRun run = wireUpload(path, latency);
        if (run.status != 0) {
            out << "bench_upload: wire upload failed, status " << run.status << '\n';
            return 1;
        }
        out << "  latency timer " << latency << " ms: " << run.frames << " frames received for "
            << run.expectedFrames << " sent (" << run.frames - run.expectedFrames << " resent), "
            << QString::number(run.ms / 1000.0, 'f', 1) << " s against a line-time floor of "
            << QString::number(run.floorMs / 1000.0, 'f', 1) << " s, "
            << QString::number(100.0 * (run.ms - run.floorMs) / run.floorMs, 'f', 1) << " % above\n";
        out.flush();
    }
    out << "target on the wire: within 25 % of the floor\n";
    return 0;
}
