// The diagnostic log is the support record a customer sends in: its line
// format, and what becomes of it when its folder vanishes or the run dies.
// Then the real window executable, run with a private HOME the way an
// operator starts it: what reaches its log file and its screenshot.
#include "app/appglobals.h"
#include "app/logmessagehandler.h"

#include <QImage>
#include <QtTest>

#include <optional>

static QStringList readLines(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Text) ? QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))
                                                            : QStringList();
}

class TestStartup : public QObject
{
    Q_OBJECT

    struct Run { int exitCode = -1; QByteArray output; };

private slots:
    void init()
    {
        QVERIFY(m_home.emplace().isValid());
        logFolderPath = m_home->path() + QLatin1Char('/');
    }

    // One line a message, led by its type; an info message leaves the line empty.
    void lineFormat()
    {
        const QString text = QStringLiteral("Usbd: scanUSB: Dongle v3 has been attached");
        for (QtMsgType type : {QtDebugMsg, QtWarningMsg, QtCriticalMsg, QtInfoMsg})
            logMessageHandler(type, QMessageLogContext(), text);
        QCOMPARE(readLines(handlerLog()), (QStringList{"Debug: " + text, "Warning: " + text, "Critical: " + text, "", ""}));
    }

    // A vanished folder is told once (its lines go to standard error), and
    // the file is written again once the folder is back.
    void missingFolderIsToldUntilItReturns()
    {
        QTemporaryDir parent;
        logFolderPath = parent.path() + QStringLiteral("/veltra_log/");
        QVERIFY(QDir().mkpath(logFolderPath));
        QStringList told;
        onLogFileProblem([&told](const QString &why) { told << why; });
        auto log = [](const char *text) { logMessageHandler(QtDebugMsg, QMessageLogContext(), QLatin1String(text)); };
        log("before");
        QVERIFY(QDir(logFolderPath).removeRecursively());
        log("while gone");
        log("still gone");
        QVERIFY(!QFile::exists(handlerLog()));
        QVERIFY(QDir().mkpath(logFolderPath));
        log("after");
        onLogFileProblem(nullptr);
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.first().startsWith(handlerLog()), qPrintable(told.first()));
        QCOMPARE(logFileProblem(), told.first());
        QCOMPARE(readLines(handlerLog()), (QStringList{"Debug: after", QString()}));
    }

    void fatalMessageReachesTheFileBeforeAbort()
    {
        // qFatal ends the process, so it runs in a child copy of this test.
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("-fatal-child"), m_home->path() + QLatin1Char('/')});
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QCOMPARE(readLines(handlerLog()), (QStringList{"Debug: last words", "Fatal: cannot go on", QString()}));
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("fileWritten");
        QTest::addColumn<bool>("debugModeInFile");
        QTest::addColumn<QByteArray>("output"); // printed, where no log file takes it
        // Without a handler the banner goes to the default output.
        const QByteArray version = "Configurator Version 4 1 Revision 983";
        QTest::newRow("no arguments") << QStringList{} << 0 << false << false << version;
        QTest::newRow("log debug, unknown ignored") << QStringList{"--frobnicate", "log", "debug"} << 0 << true << true << QByteArray();
        QTest::newRow("Log") << QStringList{"Log", "Debug"} << 0 << false << false << version;
        QTest::newRow("sim") << QStringList{"--simulate", "debug", "log"} << 0 << true << false << QByteArray();
        QTest::newRow("screenshot not written") << QStringList{"--screenshot", "/nonexistent/shot.png"} << 1 << false << false
                                                << QByteArray("Could not write the screenshot to /nonexistent/shot.png");
        QTest::newRow("unknown simulator profile") << QStringList{"--simulate=r12"} << 2 << false << false
                                                   << QByteArray("unknown simulator profile");
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, fileWritten);
        QFETCH(bool, debugModeInFile);
        QFETCH(QByteArray, output);

        const Run run = start(arguments);
        QTEST(run.exitCode, "exitCode");
        QCOMPARE(QFile::exists(logFile()), fileWritten);
        QVERIFY2(run.output.contains(output), run.output.constData());
        if (arguments.isEmpty()) {
            // The window drawn offscreen: its background, and something on it.
            QVERIFY(run.output.contains("Screenshot written to"));
            const QImage image(shotFile());
            QVERIFY(image.width() >= 800 && image.height() >= 600);
            QCOMPARE(QColor(image.pixel(2, 2)), QColor("#212121"));
            bool drawn = false;
            for (int x = 0; x < image.width() && !drawn; x += 4)
                drawn = QColor(image.pixel(x, image.height() / 2)) != QColor("#212121");
            QVERIFY(drawn);
        }
        if (!fileWritten)
            return;
        const QStringList lines = readLines(logFile());
        // The file opens with the banner, any debug mode line before it.
        QVERIFY(!lines.contains(QStringLiteral("Debug: Log to file")));
        QCOMPARE(lines.contains(QStringLiteral("Debug: Debug Mode")), debugModeInFile);
        const int banner = lines.indexOf(QStringLiteral("Debug: ***************************************"));
        QVERIFY(banner > 0);
        if (debugModeInFile)
            QVERIFY(lines.indexOf(QStringLiteral("Debug: Debug Mode")) < banner);
        QVERIFY(QRegularExpression(QStringLiteral("^Debug: Program starting: \"\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\"$"))
                    .match(lines.value(banner + 1)).hasMatch());
        QCOMPARE(lines.value(banner + 2), QStringLiteral("Debug: Configurator Version 4 1 Revision 983"));
        QCOMPARE(lines.value(banner + 3), QStringLiteral("Debug: Working directory: \"%1/\"").arg(m_home->path()));
        if (arguments.contains(QStringLiteral("--simulate")))
            QVERIFY(lines.contains(QStringLiteral("Debug: Usbd: scanUSB: Dongle v3 has been attached")));
    }

private:
    QString handlerLog() const { return logFolderPath + QStringLiteral("veltra-log.txt"); }
    QString logFile() const { return m_home->path() + QStringLiteral("/Documents/veltra_log/veltra-log.txt"); }
    QString shotFile() const { return m_home->path() + QStringLiteral("/shot.png"); }

    Run start(const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home->path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->path() + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home->path() + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home->path() + QStringLiteral("/.cache"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
        // Only the picture needs the window settled; the log is complete at once.
        env.insert(QStringLiteral("VELTRA_SCREENSHOT_SETTLE_MS"), arguments.isEmpty() ? QStringLiteral("300") : QStringLiteral("0"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_home->path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        const bool shot = arguments.contains(QStringLiteral("--screenshot"));
        process.start(QStringLiteral(VELTRA_CONFIGURATOR_EXE), shot ? arguments : arguments + QStringList{"--screenshot", shotFile()});
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAll()};
    }

    std::optional<QTemporaryDir> m_home;
};

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "-fatal-child") == 0) {
        logFolderPath = QString::fromLocal8Bit(argv[2]);
        qInstallMessageHandler(logMessageHandler);
        qDebug() << "last words";
        qFatal("cannot go on");
    }
    QCoreApplication app(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
