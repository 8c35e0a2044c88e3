#pragma once

#include <QByteArray>
#include <QString>

// Files the product writes for people to keep (a device report, a setup):
// written whole or not at all.
namespace WholeFile {

// Writes `bytes` to `path` beside it first and puts the file in place only
// when every byte reached the disk, so a full disk or a failing medium
// leaves the earlier file as it was. Anything that is there and is not a
// regular file (a device, a pipe, a folder) is refused: the file put in its
// place would replace it. On failure `error` says why.
bool write(const QString &path, const QByteArray &bytes, QString *error);

// Why `path` cannot take a file written whole, or empty when it can.
QString targetProblem(const QString &path);

} // namespace WholeFile
