// The diagnostic log is the support record a customer sends in: its line
// format, and what becomes of it when its folder vanishes or the run dies.
#include "app/appglobals.h"
#include "app/logmessagehandler.h"

#include <QtTest>

static QStringList readLines(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Text) ? QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))
                                                            : QStringList();
}

class TestLog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        logFolderPath = m_dir.path() + QLatin1Char('/');
        QFile::remove(logFile());
    }

    // One line a message, led by its type; an info message leaves the line empty.
    void lineFormat()
    {
        const QString text = QStringLiteral("Usbd: scanUSB: Dongle v3 has been attached");
        for (QtMsgType type : {QtDebugMsg, QtWarningMsg, QtCriticalMsg, QtInfoMsg})
            logMessageHandler(type, QMessageLogContext(), text);
        QCOMPARE(readLines(logFile()), (QStringList{"Debug: " + text, "Warning: " + text, "Critical: " + text, "", ""}));
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
        QVERIFY(!QFile::exists(logFile()));
        QVERIFY(QDir().mkpath(logFolderPath));
        log("after");
        onLogFileProblem(nullptr);
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.first().startsWith(logFile()), qPrintable(told.first()));
        QCOMPARE(logFileProblem(), told.first());
        QCOMPARE(readLines(logFile()), (QStringList{"Debug: after", QString()}));
    }

    void fatalMessageReachesTheFileBeforeAbort()
    {
        // qFatal ends the process, so it runs in a child copy of this test.
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("-fatal-child"), m_dir.path() + QLatin1Char('/')});
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QCOMPARE(readLines(logFile()), (QStringList{"Debug: last words", "Fatal: cannot go on", QString()}));
    }

private:
    QString logFile() const { return logFolderPath + QStringLiteral("veltra-log.txt"); }

    QTemporaryDir m_dir;
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
    TestLog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_log.moc"
