#pragma once

// Writes firmware packages (.vfp) for tests, benchmarks and the
// veltra-make-vfp program, so that no test package is typed by hand.
//
// A package is text: per block a "[MCUID=n]" line, "MAJOR=", "MINOR=" and
// "REVISION=" lines and one "DATA=" line holding the block's frame stream in
// hexadecimal. A frame is a big-endian body length N, N - 2 payload bytes and
// the big-endian CRC-16 of the payload.
//
// The CRC here is computed in the plain (non-augmented) form on purpose: it is
// a second, independent implementation that the reader's CRC is checked
// against whenever a generated package loads.
//
// Typical use:
//
//     const QByteArray image = VfpWriter::testImage(4096, 7);
//     VfpWriter::Block radio = VfpWriter::imageBlock(2, image, 256);
//     VfpWriter::writeFile(path, {radio});
//
// Faults are made by editing the pieces before writing: VfpWriter::frames()
// takes frame indices to give a wrong CRC, Block::data can be extended with a
// stray byte or a bare length field, Block::extraLines and Style::preamble add
// arbitrary lines, Block::withData = false leaves the DATA line out.

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QtGlobal>

namespace VfpWriter {

// CRC-16 with polynomial 0x8005, initial value 0, no reflection, no final XOR
// (CRC-16/BUYPASS); "123456789" gives 0xFEE8.
quint16 crc16(const QByteArray &payload);

// One frame: length field N = payload size + 2, the payload, the CRC. With
// badCrc the CRC's low byte is inverted, so the frame fails its check.
// Payloads longer than 65533 bytes cannot be described by the length field and
// give an empty result.
QByteArray frame(const QByteArray &payload, bool badCrc = false);

// The frame stream for an image cut into payloads of payloadPerFrame bytes
// (the last one shorter). Frame indices (0-based) in badCrcFrames get a wrong
// CRC. An empty image gives an empty stream. payloadPerFrame must be 1..65533;
// otherwise the result is empty.
QByteArray frames(const QByteArray &image, int payloadPerFrame, const QSet<int> &badCrcFrames = {});

// The payloads of a frame stream in order, concatenated: what a bootloader
// ends up with after an upload. Stops at the first incomplete frame.
QByteArray imageOf(const QByteArray &frameStream);

// Deterministic pseudo-random bytes: the same size and seed give the same image
// on every platform.
QByteArray testImage(int size, quint32 seed = 1);

struct Block
{
    int mcuId = 2;
    int major = 1;
    int minor = 0;
    int revision = 0;
    QByteArray data;               // the frame stream written as DATA=
    bool withData = true;          // false: the block has no DATA line
    QList<QByteArray> extraLines;  // written as they are, after the versions
};

// A block for mcuId whose data is the image cut into frames.
Block imageBlock(int mcuId, const QByteArray &image, int payloadPerFrame = 256);

struct Style
{
    QByteArray lineEnd = "\n";     // "\r\n" for a file saved on Windows
    int spaceEvery = 0;            // > 0: a space after every n bytes of DATA
    bool lowerCase = false;        // hex digits in lower case
    QList<QByteArray> preamble;    // lines before the first header
};

// The package text.
QByteArray text(const QList<Block> &blocks, const Style &style = {});

// Writes the package text to path whole or not at all; false, with `error`
// saying why, when the file cannot be written.
bool writeFile(const QString &path, const QList<Block> &blocks, const Style &style = {}, QString *error = nullptr);

} // namespace VfpWriter
