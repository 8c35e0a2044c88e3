#pragma once

#include <QString>
#include <QtGlobal>

// Appends every message to veltra-log.txt in logFolderPath. Installed by the
// "log" switch and never removed: the file is the support record of a run.
void logMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &msg);

// The line written for a message, without the line ending. Fatal messages get
// their line too: it is written before the process aborts.
QString logLineFor(QtMsgType type, const QString &msg);
