// Runs every tst_*.qml beside this file with the scene's resources and style
// singletons as the application provides them, settings of its own (never the
// developer's), and a stand-in "configurator" whose values the tests set.

#include "ui/scene.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlPropertyMap>
#include <QtQuickTest>

// What the QML tests reach as "testSupport".
class TestSupport : public QObject
{
    Q_OBJECT

public:
    // Forgets every stored setting, as on a machine the app never ran on;
    // the settings go to disk as the QSettings goes.
    Q_INVOKABLE void clearSettings() { QSettings().clear(); }

    // The settings file as it lies on disk, all a restarted application sees.
    Q_INVOKABLE QString storedSettings() const
    {
        QFile file(QSettings().fileName());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
};

class Setup : public QObject
{
    Q_OBJECT

public:
    Setup() { Scene::isolateSettings(m_settingsDir.path()); }

public slots:
    void applicationAvailable() { registerSceneTypes(); }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        // What the scene's components see of the Configurator here: plain
        // values the tests set, as at start-up with no dongle until they do.
        m_configurator.insert(QStringLiteral("isProgress"), 0);
        m_configurator.insert(QStringLiteral("isfileErrorstate"), false);
        engine->rootContext()->setContextProperty(QStringLiteral("testSupport"), &m_support);
        engine->rootContext()->setContextProperty(QStringLiteral("configurator"), &m_configurator);
        engine->rootContext()->setContextProperty(QStringLiteral("sanitized"),
                                                  qEnvironmentVariableIsSet("VELTRA_SANITIZED"));
    }

private:
    QTemporaryDir m_settingsDir;
    TestSupport m_support;
    QQmlPropertyMap m_configurator;
};

QUICK_TEST_MAIN_WITH_SETUP(tst_qml, Setup)

#include "tst_qml.moc"
