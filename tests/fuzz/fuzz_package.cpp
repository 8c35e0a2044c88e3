// Firmware packages of any shape. Whatever the reader accepts must pass a
// frame check written here on its own (lengths that fit the transmit buffer,
// CRCs from the simulator's independent CRC), and at least one block must
// hold frames: the reader may refuse sound files, never pass broken ones.
#include "firmware/vfp.h"
#include "sim/radiobootloader.h"

#include <QFile>
#include <QtGlobal>

#include <cstdlib>
#include <unistd.h>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

bool framesHold(const QByteArray &data)
{
    int at = 0;
    while (at < data.size()) {
        if (at + 2 > data.size())
            return false;
        const int n = (quint8(data.at(at)) << 8) | quint8(data.at(at + 1));
        if (n + 2 > VFP::maxFrameBytes || at + 2 + n > data.size())
            return false;
        // Shorter than a CRC: the format lets such a frame through when its
        // bytes are zero, as a CRC register that never moved.
        const bool sound = n < 2 ? data.mid(at + 2, n).count('\0') == n
                                 : RadioBootloader::crc16(data.mid(at + 2, n - 2))
                                       == quint16((quint8(data.at(at + n)) << 8) | quint8(data.at(at + n + 1)));
        if (!sound)
            return false;
        at += 2 + n;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    static const QString path = QStringLiteral("/tmp/veltra-fuzz-%1.vfp").arg(getpid());
    static const bool installed = (qInstallMessageHandler(quiet), true);
    Q_UNUSED(installed)
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char *>(bytes), qint64(size));
    }
    VFP vfp;
    const int code = vfp.parseFile(path);
    if (code == VFP::ParseOk) {
        bool anyFrames = false;
        for (const FirmwareBlock &block : vfp.blocks()) {
            const QByteArray &data = block.data;
            if (!data.isEmpty() && !framesHold(data))
                std::abort();
            anyFrames = anyFrames || !data.isEmpty();
        }
        if (!anyFrames)
            std::abort();
    } else if (vfp.errorText().isEmpty()) {
        std::abort(); // every refusal says why
    }
    return 0;
}
