#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

// One image of a firmware package: the microcontroller it is meant for, its
// version, and its ready-made frame stream. The stream goes to the bootloader
// unchanged, so nothing here interprets the payloads.
struct FirmwareBlock
{
    int mcuId = 0;
    int major = 0;
    int minor = 0;
    int revision = 0;
    QByteArray data;
};

// A firmware package (.vfp) loaded into memory.
//
// The file is text: a "[MCUID=n]" line opens a block, "MAJOR=", "MINOR=" and
// "REVISION=" lines give its version and one "DATA=" line carries its frame
// stream in hexadecimal. Each frame is a big-endian body length N, N - 2
// payload bytes and a big-endian CRC-16 (polynomial 0x8005, initial value 0)
// of the payload.
//
// Loading happens on the main thread before an upload starts; the upload
// thread then only reads. Nothing locks, so a load must never overlap an
// upload.
class VFP
{
public:
    // The bootloader link stages a whole frame, length field included, in a
    // buffer of this size.
    static constexpr int maxFrameBytes = 512;

    // A package larger than this cannot hold a flash image for any of our
    // microcontrollers (a whole image in hex is well under a megabyte);
    // refusing it keeps a runaway file from exhausting memory and time.
    static constexpr qint64 maxFileBytes = 16 * 1024 * 1024;
    static constexpr qint64 maxLineBytes = maxFileBytes;

    // Result codes of parseFile.
    enum ParseResult {
        ParseOk = 0,          // at least one block, every frame stream sound
        ParseCannotOpen = 1,  // "File not found!" for the operator
        ParseDataError = 2,   // a frame stream failed its check
        ParseNoHeader = 3,    // no "[MCUID=" line anywhere
        ParseNoData = 4       // headers, but not one frame in any block
    };

    // Replaces the blocks with those of the file and returns a ParseResult.
    // Blocks read before a failing DATA line stay loaded. Only a regular file
    // of at most maxFileBytes is opened at all: a FIFO would block the open,
    // a device would never end.
    int parseFile(const QString &fileName);
    // What was wrong with the last file parseFile refused, in plain words;
    // empty after a file it took.
    QString errorText() const { return m_error; }

    // True when the stream is a gap-free run of whole frames, each with a good
    // CRC and small enough for the transmit buffer.
    bool verifyVFP(const QByteArray *data) const;

    // The frame stream of the first block for this MCU id, or null. Valid
    // until the next parseFile.
    const QByteArray *selectBlock(int mcuId) const;

    // One step of the augmented CRC-16: shifts the byte in below the register.
    // Running it over a payload followed by its CRC leaves 0.
    static quint16 crcUpdate(quint8 byte, quint16 crc);

    const QVector<FirmwareBlock> &blocks() const { return m_blocks; }

private:
    int refuse(int code, const QString &why);

    QVector<FirmwareBlock> m_blocks;
    QString m_error;
};
