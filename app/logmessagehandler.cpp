#include "logmessagehandler.h"

#include "appglobals.h"

#include <QFile>
#include <QMutex>

#include <cstdio>
#include <cstdlib>

namespace {

QMutex problemLock;
bool failing = false;
QString lastProblem;
std::function<void(const QString &)> problemCallback;

// Keeps what the last line found; the callback is told when the file turns
// from taking lines to refusing them.
void noteProblem(const QString &why)
{
    std::function<void(const QString &)> callback;
    {
        QMutexLocker locker(&problemLock);
        if (!why.isEmpty()) {
            lastProblem = why;
            if (!failing)
                callback = problemCallback;
        }
        failing = !why.isEmpty();
    }
    if (callback)
        callback(why);
}

} // namespace

QString logFileProblem()
{
    QMutexLocker locker(&problemLock);
    return lastProblem;
}

void onLogFileProblem(std::function<void(const QString &why)> callback)
{
    QMutexLocker locker(&problemLock);
    problemCallback = std::move(callback);
}

QString logFolderPath;
QString workingDirectoryPath;

QString logLineFor(QtMsgType type, const QString &msg)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("Debug: %1").arg(msg);
    case QtWarningMsg:
        return QStringLiteral("Warning: %1").arg(msg);
    case QtCriticalMsg:
        return QStringLiteral("Critical: %1").arg(msg);
    case QtFatalMsg:
        return QStringLiteral("Fatal: %1").arg(msg);
    default:
        return QString();
    }
}

void logMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    Q_UNUSED(context)
    // Open, append and close for every message: each line is on disk when the
    // call returns, so a crash loses nothing already logged. No lock is needed
    // for the file because nothing of it is shared between calls. A line the
    // file does not take (folder missing or read-only, disk full) goes to
    // standard error, and the file is used again once it takes lines.
    const QString line = logLineFor(type, msg);
    {
        QFile file(logFolderPath + QStringLiteral("veltra-log.txt"));
        QString why;
        if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            // UTF-8 whatever the locale, on every Qt; the text mode gives
            // the platform's line ends.
            const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
            if (file.write(bytes) != bytes.size() || !file.flush() || file.error() != QFileDevice::NoError)
                why = file.errorString();
        } else {
            why = file.errorString();
        }
        if (!why.isEmpty()) {
            std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
            std::fflush(stderr);
            why = QStringLiteral("%1: %2").arg(file.fileName(), why);
        }
        noteProblem(why);
    }
    // A fatal message is the one most worth keeping, so it is written first.
    if (type == QtFatalMsg)
        std::abort();
}
