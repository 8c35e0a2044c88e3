#pragma once

// Writes Intel HEX files for the dongle update tests, so that no firmware
// file is typed by hand.
//
// Data records of up to 16 bytes from address 0 on, then the end-of-file
// record. Images above 64 KiB are not needed for the dongle and not written.

#include <QByteArray>
#include <QString>

namespace IHexWriter {

// The file text for `image` at address 0. With badChecksum the first
// record's checksum is wrong, so a programmer must refuse the file.
QByteArray text(const QByteArray &image, bool badChecksum = false);

// Writes text(image, badChecksum) to path; false when it cannot be written.
bool writeFile(const QString &path, const QByteArray &image, bool badChecksum = false);

} // namespace IHexWriter
