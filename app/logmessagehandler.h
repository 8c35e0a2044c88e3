#pragma once

#include <QDebug>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>

// Appends every message to veltra-log.txt in logFolderPath. Installed by the
// "log" switch and never removed: the file is the support record of a run.
void logMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &msg);

// The line written for a message, without the line ending. Fatal messages get
// their line too: it is written before the process aborts.
QString logLineFor(QtMsgType type, const QString &msg);

// Why the log file last failed to take a line, or empty when every line has
// reached it. A line the file does not take goes to standard error instead,
// so nothing is lost, and the operator is told (see onLogFileProblem).
QString logFileProblem();

// Called, from whatever thread logged, when the log file stops taking lines
// (once, until it takes one again).
void onLogFileProblem(std::function<void(const QString &why)> callback);

// A list as the log writes it, "(4, 8)": support reads the same words
// whatever name the Qt in use gives the container in its debug output.
template <typename List>
QString logList(const List &list)
{
    QStringList items;
    for (const auto &item : list) {
        QString text;
        QDebug(&text).nospace() << item;
        items << text;
    }
    return QLatin1Char('(') + items.join(QLatin1String(", ")) + QLatin1Char(')');
}
