#include "wholefile.h"

#include <QFileInfo>
#include <QSaveFile>

namespace WholeFile {

QString targetProblem(const QString &path)
{
    // QFileInfo follows links: a link to a device is refused as the device is.
    const QFileInfo target(path);
    if (target.exists() && !target.isFile())
        return QStringLiteral("%1: not a regular file").arg(path);
    return QString();
}

bool write(const QString &path, const QByteArray &bytes, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QString problem = targetProblem(path);
    if (!problem.isEmpty())
        return fail(QStringLiteral("cannot write %1; nothing written").arg(problem));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    // The flush is checked here: commit() flushes what is buffered too, but
    // does not look at whether that last write failed, and would then put an
    // empty or cut file in place of the earlier one.
    if (file.write(bytes) != bytes.size() || !file.flush() || file.error() != QFileDevice::NoError) {
        // Uncommitted, the save file drops what it wrote as it goes.
        const QString why = file.errorString();
        return fail(QStringLiteral("cannot write %1: %2; the earlier file is left as it was").arg(path, why));
    }
    if (!file.commit())
        return fail(QStringLiteral("cannot write %1: %2; the earlier file is left as it was").arg(path, file.errorString()));
    return true;
}

} // namespace WholeFile
