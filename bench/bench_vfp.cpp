// How long loading a firmware package takes before an upload can start: the
// operator waits for this after choosing a file. Prints the median of several
// runs for a package with a 1 MiB image.
#include "firmware/vfp.h"
#include "firmware/vfpwriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {

// The reader logs a few lines per frame; they are formatted as usual but not
// written, so the figures show the reader and not the terminal.
void discardMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        out << "bench_vfp: no temporary folder\n";
        return 1;
    }

    constexpr int imageBytes = 1024 * 1024;
    constexpr int runs = 9;
    const QByteArray image = VfpWriter::testImage(imageBytes, 1);
    out << "Firmware package load, 1 MiB image, median of " << runs << " runs\n";

    for (const int payload : {64, 256, 508}) {
        const VfpWriter::Block block = VfpWriter::imageBlock(2, image, payload);
        const QString path = dir.filePath(QStringLiteral("bench_%1.vfp").arg(payload));
        if (!VfpWriter::writeFile(path, {block})) {
            out << "bench_vfp: cannot write " << path << '\n';
            return 1;
        }
        const double fileMiB = double(QFileInfo(path).size()) / (1024 * 1024);
        const double blockMiB = double(block.data.size()) / (1024 * 1024);

        qInstallMessageHandler(discardMessage);
        std::vector<double> loadMs;
        std::vector<double> checkMs;
        VFP vfp;
        bool ok = true;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            ok = ok && vfp.parseFile(path) == VFP::ParseOk;
            loadMs.push_back(timer.nsecsElapsed() / 1e6);
            timer.restart();
            ok = ok && vfp.verifyVFP(&block.data);
            checkMs.push_back(timer.nsecsElapsed() / 1e6);
        }
        const QByteArray *loaded = vfp.selectBlock(2);
        qInstallMessageHandler(nullptr);
        if (!ok || !loaded || *loaded != block.data) {
            out << "bench_vfp: the package did not load back\n";
            return 1;
        }

        const double load = median(loadMs);
        const double check = median(checkMs);
        out << QStringLiteral("  %1-byte payloads (%2 frames): parse and check %3 ms (%4 MB/s of file, %5 MB/s of block); "
                              "check alone %6 ms (%7 MB/s)\n")
                   .arg(payload)
                   .arg((imageBytes + payload - 1) / payload)
                   .arg(load, 0, 'f', 2)
                   .arg(fileMiB * 1.048576 / (load / 1000), 0, 'f', 0)
                   .arg(blockMiB * 1.048576 / (load / 1000), 0, 'f', 0)
                   .arg(check, 0, 'f', 2)
                   .arg(blockMiB * 1.048576 / (check / 1000), 0, 'f', 0);
    }
    return 0;
}
