// The application itself, started on the simulator with its log written to
// a file: the log shows the dongle found, its line speed set, its versions
// read and the monitoring started.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestSimulateApp : public QObject
{
    Q_OBJECT

private slots:
    void logShowsTheDongleFound();
    void unknownProfileIsRefused();
};

void TestSimulateApp::logShowsTheDongleFound()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.remove(QStringLiteral("XDG_DOCUMENTS_DIR"));
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    app.setProcessEnvironment(env);
    app.setWorkingDirectory(home.path());
    app.start(QStringLiteral(VELTRA_CONFIGURATOR_EXE),
              {QStringLiteral("--simulate"), QStringLiteral("log"), QStringLiteral("--screenshot"),
               home.filePath(QStringLiteral("shot.png"))});
    QVERIFY(app.waitForFinished(60000));
    QCOMPARE(app.exitCode(), 0);

    QFile log(home.filePath(QStringLiteral("Documents/veltra_log/veltra-log.txt")));
    QVERIFY2(log.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(log.fileName()));
    const QStringList lines = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'));

    const QStringList expected = {
        QStringLiteral("Debug: Creating instance Usbd..."),
        QStringLiteral("Debug: Usbd: scanUSB: Dongle v3 has been attached"),
        QStringLiteral("Debug: Usbd: scanUSB: Baudrate set to 57600"),
        QStringLiteral("Debug: Usbd: getDongleVersion:\t 3 2 7"),
        QStringLiteral("Debug: Usbd: getDongleBootloaderVersion:\t 3 0 1"),
        QStringLiteral("Debug: Usbd: getDongleHardwareVersion\t 1"),
        QStringLiteral("Debug: Usbd: scanUSB: QTimer: One device found, run checkUSBDevice in 250ms"),
        QStringLiteral("Debug: Starting application..."),
        QStringLiteral("Debug: Usbd: ~Usbd: closing"),
    };
    // In this order, with anything in between.
    int at = 0;
    for (const QString &line : expected) {
        const int found = lines.indexOf(line, at);
        QVERIFY2(found >= 0, qPrintable(QStringLiteral("missing or out of order: ") + line));
        at = found + 1;
    }
}

void TestSimulateApp::unknownProfileIsRefused()
{
    QTemporaryDir home;
    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(VELTRA_CONFIGURATOR_EXE), {QStringLiteral("--simulate=r12")});
    QVERIFY(app.waitForFinished(30000));
    QCOMPARE(app.exitCode(), 2);
    QVERIFY(app.readAllStandardError().contains("unknown simulator profile"));
}

QTEST_GUILESS_MAIN(TestSimulateApp)
#include "tst_simulate_app.moc"
