#include "dongleprogrammer.h"

#include <QDebug>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

namespace {

constexpr int barCells = 50;

// The bar's cells so far on a line that starts with `label`, or -1 when the
// line is not that bar.
int cellsOf(const QByteArray &line, const char *label)
{
    if (!line.startsWith(label))
        return -1;
    const int open = line.indexOf('|');
    if (open < 0)
        return 0;
    const int close = line.indexOf('|', open + 1);
    const QByteArray bar = line.mid(open + 1, close < 0 ? -1 : close - open - 1);
    return qMin(int(bar.count('#')), barCells);
}

void logLine(const QString &line)
{
    qDebug().noquote() << "Configurator: firmwareUpdate: avrdude:" << line;
}

} // namespace

// Runs in the child between fork and exec.
static void endWithParent()
{
#ifdef Q_OS_LINUX
    // Runs in the child between fork and exec: only async-signal-safe calls.
    // The parent may have gone before the request took hold; the child is
    // then an orphan already and leaves at once.
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent)
        _exit(1);
#endif
}

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
ChildProcess::ChildProcess() = default;

void ChildProcess::setupChildProcess()
{
    endWithParent();
}
#else
ChildProcess::ChildProcess()
{
    setChildProcessModifier(endWithParent);
}
#endif

QStringList AvrdudeOutput::feed(const QByteArray &bytes)
{
    QStringList lines;
    for (char c : bytes) {
        if (c == '\n' || c == '\r') {
            const QByteArray line = m_line.trimmed();
            if (!line.isEmpty())
                lines << QString::fromLocal8Bit(line);
            m_line.clear();
            continue;
        }
        m_line.append(c);
        if (c == '#' || c == '|')
            lineChanged();
    }
    return lines;
}

QString AvrdudeOutput::rest() const
{
    return QString::fromLocal8Bit(m_line.trimmed());
}

void AvrdudeOutput::lineChanged()
{
    const int writing = cellsOf(m_line, "Writing");
    if (writing >= 0) {
        m_written = true;
        m_percent = qMax(m_percent, writing * 100 / barCells / 2);
        return;
    }
    const int reading = cellsOf(m_line, "Reading");
    if (reading >= 0 && m_written)
        m_percent = qMax(m_percent, 50 + reading * 100 / barCells / 2);
}

DongleProgrammer::DongleProgrammer(QObject *parent)
    : QObject(parent)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    connect(&m_process, &QProcess::readyRead, this, &DongleProgrammer::readOutput);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        qDebug() << "Configurator: firmwareUpdate: avrdude did not start:" << m_process.errorString();
        end(NotStarted);
    });
    connect(&m_process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            [this](int code, QProcess::ExitStatus status) {
                // Qt has drained the pipe through readyRead before this; only
                // a last line without its line feed is left.
                const QString rest = m_output.rest();
                if (!rest.isEmpty())
                    logLine(rest);
                qDebug() << "Configurator: firmwareUpdate: avrdude exit code" << code << "status" << status;
                if (m_canceled)
                    end(Canceled);
                else
                    end(status == QProcess::NormalExit && code == 0 ? Written : Failed);
            });
    connect(&m_limit, &QTimer::timeout, this, [this] {
        qDebug() << "Configurator: firmwareUpdate: avrdude stopped after" << limitMs << "ms";
        m_process.kill();
    });
}

DongleProgrammer::~DongleProgrammer()
{
    // Nobody is left to hear the outcome; the process must not outlive us.
    m_ended = true;
    if (isRunning()) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void DongleProgrammer::start(const QString &program, const QStringList &arguments, const QString &folder)
{
    if (isRunning())
        return;
    m_output = AvrdudeOutput();
    m_canceled = false;
    m_ended = false;
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    m_process.setWorkingDirectory(folder);
    m_limit.start(limitMs);
    m_process.start();
}

void DongleProgrammer::cancel()
{
    if (!isRunning())
        return;
    m_canceled = true;
    m_process.kill();
}

void DongleProgrammer::readOutput()
{
    const int before = m_output.percent();
    for (const QString &line : m_output.feed(m_process.readAll()))
        logLine(line);
    if (m_output.percent() != before)
        emit progress(m_output.percent());
}

void DongleProgrammer::end(int result)
{
    if (m_ended)
        return;
    m_ended = true;
    m_limit.stop();
    if (result == Written && m_output.percent() < 100)
        emit progress(100);
    emit finished(result);
}
