#pragma once

// What the application registers before it loads the scene, for the suites
// that load it too.

#include "config/frequencymaskingdata.h"
#include "config/frequencymaskingmodel.h"

#include <QCoreApplication>
#include <QQmlEngine>
#include <QQuickItem>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

namespace Scene {

inline void registerTypes()
{
    qRegisterMetaType<FrequencyMaskingData>("FrequencyMaskingData");
    qmlRegisterType<FrequencyMaskingModel>("FrequencyMaskingModel", 1, 0, "FrequencyMaskingModel");
    qmlRegisterSingletonType(QUrl(QStringLiteral("qrc:/assets/Colours.qml")), "configurator.style.colour", 1, 0, "Colours");
    qmlRegisterSingletonType(QUrl(QStringLiteral("qrc:/assets/Fonts.qml")), "configurator.style.fonts", 1, 0, "Fonts");
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

} // namespace Scene
