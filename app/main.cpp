#include "appglobals.h"
#include "logmessagehandler.h"
#include "scenetypes.h"
#include "startup.h"
#include "wiring.h"

#include "config/configurator.h"

#include "config/dropdownmodel.h"

#include "screenshot.h"

#include "app/driverselection.h"
#include "usb/usbd.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QSettings>
#include <QUrl>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

// Our own switch: "--screenshot FILE" renders the window to FILE and quits.
QString screenshotPath(const QStringList &arguments)
{
    const int at = arguments.indexOf(QStringLiteral("--screenshot"));
    return at >= 0 ? arguments.value(at + 1) : QString();
}

} // namespace

int main(int argc, char *argv[])
{
    // The option-list model outlives the application object on purpose: it is
    // the first thing built and the last destroyed.
    DropdownModel dropdownModel;

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 always scales for high-DPI screens; Qt 5 must be asked.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
#endif
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Orvane"));
    QApplication::setOrganizationDomain(QStringLiteral("orvane.com"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/icons/icon.ico")));

    registerSceneTypes();

    const QUrl rootUrl(QStringLiteral("qrc:/App.qml"));
    QQmlApplicationEngine engine;
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreated, &app,
        [rootUrl](QObject *object, const QUrl &url) {
            if (!object && url == rootUrl)
                QCoreApplication::exit(-1);
        },
        Qt::QueuedConnection);

    workingDirectoryPath = Startup::workingDirectory();

    // Only Windows keeps the Documents folder in this store; touching it
    // elsewhere would leave a stray settings file behind.
    std::unique_ptr<QSettings> shellFolders;
#ifdef Q_OS_WIN
    shellFolders = std::make_unique<QSettings>(QSettings::UserScope, QStringLiteral("Microsoft"),
                                               QStringLiteral("Windows"));
#endif
    logFolderPath = Startup::logFolder(shellFolders.get());
    QDir().mkpath(logFolderPath);

    const QStringList arguments = app.arguments().mid(1);
    Startup::applyCommandLine(arguments);

    Startup::writeBanner();

    // The driver comes from the command line: the simulator, an explicit
    // port, or the dongle found by its USB description.
    DriverSelection dongleDriver = DriverSelection::fromArguments(arguments);
    if (!dongleDriver.error.isEmpty()) {
        qCritical().noquote() << dongleDriver.error;
        std::fprintf(stderr, "%s\n", qPrintable(dongleDriver.error));
        return 2;
    }
    qDebug() << "Creating instance Usbd...";
    Usbd usbd(std::move(dongleDriver.driver));

    qDebug() << "Creating instance Configurator...";
    Configurator configurator(&usbd);
    configurator.logFolderPath = logFolderPath;

    qDebug() << "Initializing pointers...";
    configurator.workingDirectoryPath = workingDirectoryPath;

    qDebug() << "Linking signals and slots...";
    connectSession(&usbd, &configurator, &app);

    qDebug() << "Starting application...";

    engine.rootContext()->setContextProperty(QStringLiteral("dropdownData"), &dropdownModel);
    engine.rootContext()->setContextProperty(QStringLiteral("configurator"), &configurator);

    std::optional<Screenshot> screenshot;
    const QString shotPath = screenshotPath(arguments);
    if (!shotPath.isEmpty())
        screenshot.emplace(&engine, shotPath);

    engine.load(rootUrl);

    // A log file that stops taking lines is told in the window, once the
    // window is there to tell it (the lines themselves go to standard error).
    auto tellLogProblem = [&configurator](const QString &why) {
        QMetaObject::invokeMethod(&configurator, [&configurator, why] {
            emit configurator.fileNotWritten(QStringLiteral("log: ") + why);
        }, Qt::QueuedConnection);
    };
    onLogFileProblem(tellLogProblem);
    if (!logFileProblem().isEmpty())
        tellLogProblem(logFileProblem());
    const int code = app.exec();
    onLogFileProblem(nullptr);
    return code;
}
