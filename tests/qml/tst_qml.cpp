// Runs every tst_*.qml beside this file with the scene's resources and style
// singletons available, as the application provides them, and with a settings
// store of its own so that a test run never touches the developer's settings.
// The components reach a stand-in "configurator" whose values the tests set.

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QObject>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlPropertyMap>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtQml>
#include <QtQuickTest>

// What the QML tests reach as "testSupport".
class TestSupport : public QObject
{
    Q_OBJECT

public:
    explicit TestSupport(const QString &settingsRoot) : m_settingsRoot(settingsRoot) { }

    // Forgets every stored setting, as on a machine the app never ran on.
    Q_INVOKABLE void clearSettings()
    {
        QSettings settings;
        settings.clear();
        settings.sync();
    }

    // The settings files as they lie on disk, which is all that a restarted
    // application would see.
    Q_INVOKABLE QString storedSettings() const
    {
        QString text;
        QDirIterator it(m_settingsRoot, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (file.open(QIODevice::ReadOnly))
                text += QString::fromUtf8(file.readAll());
        }
        return text;
    }

private:
    QString m_settingsRoot;
};

// What the scene's components see of the Configurator here: its properties
// as plain values a test sets.
class ConfiguratorStandIn : public QQmlPropertyMap
{
    Q_OBJECT

public:
    ConfiguratorStandIn() : QQmlPropertyMap(this, nullptr) { reset(); }

    // As at start-up with no dongle.
    Q_INVOKABLE void reset()
    {
        insert(QStringLiteral("isProgress"), 0);
        insert(QStringLiteral("isfileErrorstate"), false);
    }
};

class Setup : public QObject
{
    Q_OBJECT

public:
    Setup()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
        QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
        QCoreApplication::setOrganizationDomain(QStringLiteral("orvane.com"));
        QCoreApplication::setApplicationName(QStringLiteral("veltra-configurator"));
    }

public slots:
    void applicationAvailable()
    {
        qmlRegisterSingletonType(QUrl(QStringLiteral("qrc:/assets/Colours.qml")),
                                 "configurator.style.colour", 1, 0, "Colours");
        qmlRegisterSingletonType(QUrl(QStringLiteral("qrc:/assets/Fonts.qml")),
                                 "configurator.style.fonts", 1, 0, "Fonts");
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->rootContext()->setContextProperty(QStringLiteral("testSupport"), &m_support);
        engine->rootContext()->setContextProperty(QStringLiteral("configurator"), &m_configurator);
        engine->rootContext()->setContextProperty(QStringLiteral("sanitized"),
                                                  qEnvironmentVariableIsSet("VELTRA_SANITIZED"));
    }

private:
    QTemporaryDir m_settingsDir;
    TestSupport m_support { m_settingsDir.path() };
    ConfiguratorStandIn m_configurator;
};

QUICK_TEST_MAIN_WITH_SETUP(tst_qml, Setup)

#include "tst_qml.moc"
