#include "ihexwriter.h"

#include <QFile>

namespace {

QByteArray record(int address, quint8 type, const QByteArray &data, bool badChecksum)
{
    QByteArray bytes;
    bytes.append(char(data.size()));
    bytes.append(char((address >> 8) & 0xFF));
    bytes.append(char(address & 0xFF));
    bytes.append(char(type));
    bytes.append(data);
    quint8 sum = 0;
    for (char c : bytes)
        sum = quint8(sum + quint8(c));
    quint8 checksum = quint8(0x100 - sum);
    if (badChecksum)
        checksum ^= 0x01;
    bytes.append(char(checksum));
    return ':' + bytes.toHex().toUpper() + '\n';
}

} // namespace

namespace IHexWriter {

QByteArray text(const QByteArray &image, bool badChecksum)
{
    QByteArray out;
    const int size = qMin(image.size(), 0x10000);
    for (int address = 0; address < size; address += 16)
        out += record(address, 0x00, image.mid(address, 16), badChecksum && address == 0);
    out += record(0, 0x01, QByteArray(), false);
    return out;
}

bool writeFile(const QString &path, const QByteArray &image, bool badChecksum)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = text(image, badChecksum);
    return file.write(bytes) == bytes.size();
}

} // namespace IHexWriter
