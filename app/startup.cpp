#include "startup.h"

#include "appglobals.h"
#include "logmessagehandler.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QSysInfo>

namespace Startup {

QString workingDirectory()
{
    return QDir::currentPath() + QDir::separator();
}

QString logFolder(QSettings *shellFolders)
{
    QString documents;
#ifdef Q_OS_WIN
    // The per-user registry entry names the Documents folder even when it has
    // been moved; an empty value leaves the log folder relative, as before.
    if (shellFolders) {
        shellFolders->beginGroup(QStringLiteral("CurrentVersion/Explorer/Shell Folders"));
        documents = shellFolders->value(QStringLiteral("Personal")).toString();
        shellFolders->endGroup();
    }
#else
    Q_UNUSED(shellFolders)
    documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
#endif
    const QString sep = QDir::separator();
    return documents + sep + QStringLiteral("veltra_log") + sep;
}

void installFileLog()
{
    qInstallMessageHandler(logMessageHandler);
}

void applyCommandLine(const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("debug")) {
            qDebug() << "Debug Mode";
        } else if (argument == QLatin1String("log")) {
            // Written before the handler exists, so it never reaches the file.
            qDebug() << "Log to file";
            installFileLog();
        }
    }
}

void writeBanner()
{
    const char *stars = "***************************************";
    qDebug() << "\r\n\r\n";
    qDebug() << stars;
    qDebug() << "Program starting:"
             << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    qDebug() << "Configurator Version" << 4 << 1 << "Revision" << 983;
    qDebug() << "Working directory:" << workingDirectoryPath;
    // Environment values are shown bare; a missing variable is an empty item.
    qDebug() << "Architecture:" << qgetenv("PROCESSOR_ARCHITECTURE").constData();
    qDebug() << "ArchiteW6432:" << qgetenv("PROCESSOR_ARCHITEW6432").constData();
    qDebug() << "Identifier:" << qgetenv("PROCESSOR_IDENTIFIER").constData();
#if defined(Q_OS_WIN) && QT_DEPRECATED_SINCE(5, 9)
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    qDebug() << "Win Version:" << int(QSysInfo::windowsVersion());
    QT_WARNING_POP
#else
    qDebug() << "Win Version:" << "";
#endif
    qDebug() << stars;
}

} // namespace Startup
