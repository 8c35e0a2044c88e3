#pragma once

#include <QString>
#include <QStringList>

class QSettings;

namespace Startup {

// The current directory in Qt's form followed by the platform's separator.
QString workingDirectory();

// The Documents folder followed by "veltra_log" and the separator. On Windows
// the folder comes from the per-user shell-folder entry held by `shellFolders`
// (the "Microsoft"/"Windows" settings store); elsewhere it comes from
// QStandardPaths and `shellFolders` is not used and may be null.
QString logFolder(QSettings *shellFolders);

// Examines the program's arguments (without the program name): "debug" and
// "log", whole and case-sensitive, in the order given; others are ignored.
void applyCommandLine(const QStringList &arguments);

// Routes every later message to the log file in logFolderPath.
void installFileLog();

// The lines that open every run's log, one debug message each.
void writeBanner();

} // namespace Startup
