#include "firmware/vfpwriter.h"

#include "config/wholefile.h"

namespace VfpWriter {

namespace {

constexpr int maxPayload = 0xFFFF - 2;

void appendBigEndian(QByteArray &out, quint16 value)
{
    out.append(char(value >> 8));
    out.append(char(value & 0xFF));
}

} // namespace

quint16 crc16(const QByteArray &payload)
{
    quint16 crc = 0;
    for (const char c : payload) {
        crc ^= quint16(uchar(c)) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x8005) : quint16(crc << 1);
    }
    return crc;
}

QByteArray frame(const QByteArray &payload, bool badCrc)
{
    if (payload.size() > maxPayload)
        return QByteArray();
    QByteArray out;
    out.reserve(payload.size() + 4);
    appendBigEndian(out, quint16(payload.size() + 2));
    out.append(payload);
    quint16 crc = crc16(payload);
    if (badCrc)
        crc ^= 0x00FF;
    appendBigEndian(out, crc);
    return out;
}

QByteArray frames(const QByteArray &image, int payloadPerFrame, const QSet<int> &badCrcFrames)
{
    if (payloadPerFrame < 1 || payloadPerFrame > maxPayload)
        return QByteArray();
    QByteArray out;
    out.reserve(image.size() + (image.size() / payloadPerFrame + 1) * 4);
    int index = 0;
    for (int pos = 0; pos < image.size(); pos += payloadPerFrame, ++index)
        out.append(frame(image.mid(pos, payloadPerFrame), badCrcFrames.contains(index)));
    return out;
}

QByteArray imageOf(const QByteArray &frameStream)
{
    QByteArray out;
    int pos = 0;
    while (pos + 2 <= frameStream.size()) {
        const int n = int(uchar(frameStream.at(pos))) * 256 + int(uchar(frameStream.at(pos + 1)));
        if (n < 2 || pos + 2 + n > frameStream.size())
            break;
        out.append(frameStream.mid(pos + 2, n - 2));
        pos += 2 + n;
    }
    return out;
}

QByteArray testImage(int size, quint32 seed)
{
    QByteArray out(qMax(size, 0), Qt::Uninitialized);
    // xorshift32; a zero state would stay zero forever.
    quint32 state = seed ? seed : 0x9E3779B9u;
    for (char &c : out) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = char(state >> 24);
    }
    return out;
}

Block imageBlock(int mcuId, const QByteArray &image, int payloadPerFrame)
{
    Block block;
    block.mcuId = mcuId;
    block.data = frames(image, payloadPerFrame);
    return block;
}

QByteArray text(const QList<Block> &blocks, const Style &style)
{
    QByteArray out;
    const auto line = [&out, &style](const QByteArray &content) {
        out.append(content);
        out.append(style.lineEnd);
    };
    for (const QByteArray &content : style.preamble)
        line(content);
    for (const Block &block : blocks) {
        line("[MCUID=" + QByteArray::number(block.mcuId) + "]");
        line("MAJOR=" + QByteArray::number(block.major));
        line("MINOR=" + QByteArray::number(block.minor));
        line("REVISION=" + QByteArray::number(block.revision));
        for (const QByteArray &content : block.extraLines)
            line(content);
        if (!block.withData)
            continue;
        QByteArray hex;
        if (style.spaceEvery > 0) {
            for (int pos = 0; pos < block.data.size(); pos += style.spaceEvery) {
                if (pos > 0)
                    hex.append(' ');
                hex.append(block.data.mid(pos, style.spaceEvery).toHex());
            }
        } else {
            hex = block.data.toHex();
        }
        line("DATA=" + (style.lowerCase ? hex : hex.toUpper()));
    }
    return out;
}

bool writeFile(const QString &path, const QList<Block> &blocks, const Style &style, QString *error)
{
    return WholeFile::write(path, text(blocks, style), error);
}

} // namespace VfpWriter
