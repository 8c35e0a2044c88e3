#include "logmessagehandler.h"

#include "appglobals.h"

#include <QFile>

#include <cstdlib>

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
    // because nothing is shared between calls. A missing folder simply drops
    // the line until the folder exists again.
    {
        QFile file(logFolderPath + QStringLiteral("veltra-log.txt"));
        if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
            // UTF-8 whatever the locale, on every Qt.
            file.write((logLineFor(type, msg) + QLatin1Char('\n')).toUtf8());
        }
    }
    // A fatal message is the one most worth keeping, so it is written first.
    if (type == QtFatalMsg)
        std::abort();
}
