#include "firmware/vfp.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr quint16 crcBitwise(quint8 byte, quint16 crc)
{
    // The register sits in bits 8..23 with the new byte below it; whatever is
    // shifted out past bit 23 decides whether the polynomial is applied.
    quint32 r = (quint32(crc) << 8) | byte;
    for (int k = 0; k < 8; ++k) {
        r <<= 1;
        if (r & 0x1000000u)
            r ^= 0x800500u;
    }
    return quint16(r >> 8);
}

// Only the top byte of the register feeds the polynomial during one step, so
// its whole effect can be looked up once per step.
constexpr std::array<quint16, 256> makeCrcTable()
{
    std::array<quint16, 256> table{};
    for (int h = 0; h < 256; ++h)
        table[std::size_t(h)] = crcBitwise(0, quint16(h << 8));
    return table;
}

constexpr std::array<quint16, 256> crcTable = makeCrcTable();

constexpr std::array<qint8, 256> makeHexTable()
{
    std::array<qint8, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[std::size_t(c)] = -1;
    for (int c = '0'; c <= '9'; ++c)
        table[std::size_t(c)] = qint8(c - '0');
    for (int c = 'a'; c <= 'f'; ++c)
        table[std::size_t(c)] = qint8(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c)
        table[std::size_t(c)] = qint8(c - 'A' + 10);
    return table;
}

constexpr std::array<qint8, 256> hexTable = makeHexTable();

// Anything that is not a hex digit is skipped, so byte pairs may be spaced
// out. A dangling last digit becomes a byte of its own rather than being
// dropped: the frame check then refuses the stream instead of passing a
// silently shortened image.
QByteArray decodeHex(const char *text, int length)
{
    QByteArray out(length / 2 + 1, Qt::Uninitialized);
    auto *dst = reinterpret_cast<uchar *>(out.data());
    const auto *src = reinterpret_cast<const uchar *>(text);
    int count = 0;
    int high = -1;
    for (int k = 0; k < length; ++k) {
        const int nibble = hexTable[src[k]];
        if (nibble < 0)
            continue;
        if (high < 0) {
            high = nibble;
        } else {
            dst[count++] = uchar((high << 4) | nibble);
            high = -1;
        }
    }
    if (high >= 0)
        dst[count++] = uchar(high << 4);
    out.truncate(count);
    return out;
}

// A key's value, its line terminator and any spaces round it aside.
int decimalValue(const QByteArray &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? value : 0;
}

int firstTwoBytes(const QByteArray &data, int index)
{
    return index < data.size() ? int(uchar(data.at(index))) : 0;
}

// Reads a file line by line in large chunks, so that a megabyte DATA line
// costs a couple of memchr passes and refusing an endless line costs no more
// memory than the limit.
class LineReader
{
public:
    enum Status { Line, End, TooLong };

    explicit LineReader(QIODevice &device) : m_device(device), m_buffer(64 * 1024, Qt::Uninitialized) {}

    Status next(QByteArray &line)
    {
        line.clear();
        for (;;) {
            if (m_pos == m_end) {
                const qint64 got = m_device.read(m_buffer.data(), m_buffer.size());
                if (got <= 0)
                    return line.isEmpty() ? End : Line;
                m_pos = 0;
                m_end = int(got);
            }
            const char *start = m_buffer.constData() + m_pos;
            const auto *lineFeed = static_cast<const char *>(std::memchr(start, '\n', size_t(m_end - m_pos)));
            const int take = lineFeed ? int(lineFeed - start) + 1 : m_end - m_pos;
            if (line.size() + qint64(take) > VFP::maxLineBytes)
                return TooLong;
            line.append(start, take);
            m_pos += take;
            if (lineFeed)
                return Line;
        }
    }

private:
    QIODevice &m_device;
    QByteArray m_buffer;
    int m_pos = 0;
    int m_end = 0;
};

} // namespace

quint16 VFP::crcUpdate(quint8 byte, quint16 crc)
{
    return quint16((crc << 8) | byte) ^ crcTable[crc >> 8];
}

bool VFP::verifyVFP(const QByteArray *data) const
{
    if (!data)
        return false;
    const auto *d = reinterpret_cast<const uchar *>(data->constData());
    const qint64 size = data->size();
    // A length field cut off by the end of the data reads its missing byte as 0.
    const auto at = [d, size](qint64 p) -> qint64 { return p < size ? d[p] : 0; };

    qint64 i = 0;
    while (i < size) {
        const qint64 n = at(i) * 256 + at(i + 1);
        qDebug() << "VFP: verifyVFP: frameSize:" << n;
        const qint64 body = i + 2;
        const qint64 end = body + n;
        const qint64 stop = qMin(end, size);

        // The upload copies a whole frame into its transmit buffer; a longer
        // one must never get that far.
        if (n + 2 > maxFrameBytes && body < size) {
            qDebug() << "VFP: verifyVFP: frame size error!" << n << i << size;
            return false;
        }

        quint16 crc = 0;
        qint64 p = body;
        // The first frame is traced byte by byte: enough to diagnose a CRC
        // mismatch from a customer's log without flooding it.
        const qint64 traceStop = qMin(stop, n + 2);
        for (; p < traceStop; ++p) {
            qDebug() << "VFP: " << Qt::hex << crc << uint(d[p]);
            crc = crcUpdate(d[p], crc);
        }
        for (; p < stop; ++p)
            crc = crcUpdate(d[p], crc);
        i = stop > body ? stop : body;

        if (crc != 0) {
            qDebug() << "VFP: verifyVFP: checksum error!" << crc << i << size;
            return false;
        }
        qDebug() << "VFP: " << 0;

        // A frame that claims more bytes than remain (a bare length field at
        // the end, a lone trailing byte, or a cut frame whose remains happen
        // to sum to 0) would make the upload read past the block.
        if (end > size) {
            qDebug() << "VFP: verifyVFP: file size error!";
            return false;
        }
    }
    return true;
}

int VFP::refuse(int code, const QString &why)
{
    m_error = why;
    return code;
}

int VFP::parseFile(const QString &fileName)
{
    m_blocks.clear();
    m_error.clear();
    const QFileInfo info(fileName);
    if (!info.exists())
        return refuse(ParseCannotOpen, QStringLiteral("no such file"));
    if (!info.isFile())
        return refuse(ParseCannotOpen, QStringLiteral("not a regular file"));
    if (info.size() > maxFileBytes)
        return refuse(ParseCannotOpen, QStringLiteral("too large: %1 bytes").arg(info.size()));
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(ParseCannotOpen, file.errorString());

    LineReader reader(file);
    FirmwareBlock current;
    bool haveCurrent = false;
    QByteArray line;
    int lineNumber = 0;

    for (;;) {
        const LineReader::Status status = reader.next(line);
        if (status == LineReader::End)
            break;
        ++lineNumber;
        if (status == LineReader::TooLong) {
            qDebug() << "VFP: parseFile: line too long!" << fileName;
            return refuse(ParseDataError, QStringLiteral("line %1 is too long").arg(lineNumber));
        }
        const int nul = line.indexOf('\0');
        if (nul >= 0)
            line.truncate(nul);

        const int header = line.indexOf("[MCUID=");
        if (header >= 0) {
            if (haveCurrent)
                m_blocks.append(current);
            current = FirmwareBlock();
            haveCurrent = true;
            const int idStart = header + 7;
            const QByteArray rest = line.mid(idStart);
            const int close = rest.indexOf(']');
            current.mcuId = decimalValue(close >= 0 ? rest.left(close) : rest);
            qDebug() << "MCUID:" << current.mcuId;
        } else if (!haveCurrent) {
            continue;
        } else if (line.contains("MAJOR=")) {
            current.major = decimalValue(line.mid(6));
        } else if (line.contains("MINOR=")) {
            current.minor = decimalValue(line.mid(6));
        } else if (line.contains("REVISION=")) {
            current.revision = decimalValue(line.mid(9));
        } else if (line.contains("DATA=")) {
            current.data = decodeHex(line.constData() + 5, line.size() - 5);
            qDebug() << "Data[0:1]" << firstTwoBytes(current.data, 0) << firstTwoBytes(current.data, 1);
            if (!verifyVFP(&current.data))
                return refuse(ParseDataError, QStringLiteral("line %1: the frames of the block for MCU id %2 "
                                                             "fail their check")
                                                  .arg(lineNumber)
                                                  .arg(current.mcuId));
        }
    }

    if (!haveCurrent)
        return refuse(ParseNoHeader, QStringLiteral("no [MCUID=] header: not a firmware package"));
    m_blocks.append(current);
    // A header alone, a DATA= on the header's line or a file of CR-only line
    // ends (one long line) all read as blocks without frames; sent to a radio,
    // such a package would put it in its bootloader and give it nothing.
    if (std::all_of(m_blocks.cbegin(), m_blocks.cend(), [](const FirmwareBlock &b) { return b.data.isEmpty(); })) {
        qDebug() << "VFP: parseFile: no block holds any frames";
        return refuse(ParseNoData, QStringLiteral("no block holds any firmware data"));
    }
    return ParseOk;
}

const QByteArray *VFP::selectBlock(int mcuId) const
{
    for (int index = 0; index < m_blocks.size(); ++index) {
        const FirmwareBlock &block = m_blocks.at(index);
        if (block.mcuId != mcuId)
            continue;
        qDebug() << "VFP: Selecting firmware block with index" << index;
        qDebug() << "Data[0:1]" << firstTwoBytes(block.data, 0) << firstTwoBytes(block.data, 1);
        return &block.data;
    }
    return nullptr;
}
