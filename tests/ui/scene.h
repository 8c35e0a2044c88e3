#pragma once

// What the suites that load the scene share: settings kept apart from the
// user's, and a watch on what the scene says.

#include "app/scenetypes.h"

#include <QCoreApplication>
#include <QMutex>
#include <QQuickItem>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <utility>

namespace Scene {

// Every warning from the scene (a binding loop, an undefined property, a
// missing file) is kept, for the suite to fail on.
inline QMutex problemsMutex;
inline QStringList problems;

inline void keepProblems(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QByteArray file(context.file ? context.file : "");
    const QByteArray category(context.category ? context.category : "");
    const bool fromScene = file.startsWith("qrc:") || category == "qml" || category == "js"
                           || category.startsWith("qt.quick") || message.contains(QLatin1String("qrc:/"))
                           || message.startsWith(QLatin1String("TableView")) || message.startsWith(QLatin1String("QML"));
    QMutexLocker locker(&problemsMutex);
    const bool problem = type != QtDebugMsg && type != QtInfoMsg && fromScene;
    if (problem)
        problems << message;
    if (problem || type >= QtWarningMsg || qEnvironmentVariableIsSet("VELTRA_TEST_VERBOSE"))
        fprintf(stderr, "%s\n", qPrintable(message));
}

inline QStringList takeProblems()
{
    QMutexLocker locker(&problemsMutex);
    return std::exchange(problems, QStringList());
}

// The scene keeps the operator's language in the settings: a test's go in a
// folder of its own, never the user's.
inline void isolateSettings(const QString &folder)
{
    QStandardPaths::setTestModeEnabled(true);
    const QString settings = folder + QStringLiteral("/settings");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("orvane.com"));
}

// Looks through the object tree and the item tree: items made by a
// repeater or a table hang in the second only.
inline QObject *findIn(QObject *root, const QString &name)
{
    if (!root || root->objectName() == name)
        return root;
    QObjectList children = root->children();
    if (auto *item = qobject_cast<QQuickItem *>(root)) {
        for (QQuickItem *child : item->childItems())
            if (child->parent() != root)
                children << child;
    }
    for (QObject *child : qAsConst(children)) {
        if (QObject *found = findIn(child, name))
            return found;
    }
    return nullptr;
}

// A channel's flag in a mask as the radio stores it: channel 1 is the low
// bit of the first byte.
template <typename Mask>
bool masked(const Mask &mask, int channel)
{
    return (mask[size_t((channel - 1) / 8)] >> ((channel - 1) % 8)) & 1;
}

} // namespace Scene
