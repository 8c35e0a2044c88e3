// Runs the real window executable with a private HOME, the way an operator
// starts it, and checks what reaches the log file and the screenshot.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray output;
};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_home.reset(new QTemporaryDir);
        QVERIFY(m_home->isValid());
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("fileWritten");
        QTest::addColumn<bool>("debugModeInFile");
        QTest::newRow("no arguments") << QStringList{} << false << false;
        QTest::newRow("log debug, unknown ignored") << QStringList{"--frobnicate", "log", "debug"} << true << true;
        QTest::newRow("debug log") << QStringList{"debug", "log"} << true << false;
        QTest::newRow("Log") << QStringList{"Log", "Debug"} << false << false;
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, fileWritten);
        QFETCH(bool, debugModeInFile);

        const Run run = start(arguments);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(QFile::exists(logFile()), fileWritten);
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
        // Without a handler the banner goes to the default output; the
        // banner's lines in the file are the next case's.
        if (!fileWritten) {
            QVERIFY(run.output.contains("Configurator Version 4 1 Revision 983"));
            return;
        }
        const QStringList lines = logLines();
        QVERIFY(!lines.contains(QStringLiteral("Debug: Log to file")));
        QCOMPARE(lines.contains(QStringLiteral("Debug: Debug Mode")), debugModeInFile);
        const int banner = lines.indexOf(QStringLiteral("Debug: ***************************************"));
        QVERIFY(banner > 0);
        if (debugModeInFile)
            QVERIFY(lines.indexOf(QStringLiteral("Debug: Debug Mode")) < banner);
    }

    // A run opens with its banner. On the simulator the dongle is found; a
    // profile the simulator does not know stops the start.
    void runsOnTheSimulator()
    {
        QCOMPARE(start({"--simulate", "log"}).exitCode, 0);
        const QStringList lines = logLines();
        const int banner = lines.indexOf(QStringLiteral("Debug: ***************************************"));
        QVERIFY(banner >= 0);
        QVERIFY(QRegularExpression(QStringLiteral("^Debug: Program starting: \"\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\"$"))
                    .match(lines.value(banner + 1)).hasMatch());
        QCOMPARE(lines.value(banner + 2), QStringLiteral("Debug: Configurator Version 4 1 Revision 983"));
        QCOMPARE(lines.value(banner + 3), QStringLiteral("Debug: Working directory: \"%1/\"").arg(m_home->path()));
        QVERIFY(lines.contains(QStringLiteral("Debug: Usbd: scanUSB: Dongle v3 has been attached")));

        const Run refused = start({"--simulate=r12"});
        QCOMPARE(refused.exitCode, 2);
        QVERIFY(refused.output.contains("unknown simulator profile"));
    }

private:
    QString logFile() const { return m_home->path() + QStringLiteral("/Documents/veltra_log/veltra-log.txt"); }
    QString shotFile() const { return m_home->path() + QStringLiteral("/shot.png"); }

    QStringList logLines() const
    {
        QFile file(logFile());
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    }

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
        // Only the picture needs a settled window, and a short settling does:
        // the window is drawn offscreen; the log is complete at once.
        env.insert(QStringLiteral("VELTRA_SCREENSHOT_SETTLE_MS"), arguments.isEmpty() ? QStringLiteral("300") : QStringLiteral("0"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_home->path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(VELTRA_CONFIGURATOR_EXE),
                      arguments + QStringList{"--screenshot", shotFile()});
        Run run;
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.output = process.readAll();
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return run;
    }

    QScopedPointer<QTemporaryDir> m_home;
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
