#include "clirunner.h"

#include "app/appglobals.h"
#include "app/startup.h"
#include "app/wiring.h"
#include "config/configurator.h"
#include "config/radiosetup.h"
#include "config/wholefile.h"
#include "firmware/serialthread.h"
#include "firmware/vfp.h"
#include "app/driverselection.h"
#include "app/logmessagehandler.h"
#include "usb/pacing.h"
#include "usb/protocol.h"
#include "usb/usbd.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>

#include <atomic>
#include <csignal>
#include <cstdio>

// The one thing asked of the console that Qt does not answer: whether
// standard output is a terminal.
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

using RadioFrames::cutAtNul;

// What a radio reports goes to a terminal with its control characters
// written out (\x1b), so that no label can move the cursor, retitle the
// window or forge a line of its own.
QString printable(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        if (RadioSetup::isControl(ch))
            out += QStringLiteral("\\x%1").arg(ch.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += ch;
    }
    return out;
}

std::atomic<bool> interrupted {false};

void onInterrupt(int)
{
    interrupted = true;
}

// Ctrl-C, or a service manager's stop, ends a long command the way its time
// limit does: the dongle's DMX is switched off and a running avrdude stopped.
// ISO C's signal() is all this needs, on every platform.
void catchInterrupts()
{
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
}

bool stdoutIsTerminal()
{
#ifdef Q_OS_WIN
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(fileno(stdout)) != 0;
#endif
}

void toStderr(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

// Without --log the protocol's trace stays out of the terminal; problems a
// user must see (a port held by another program, ...) still show.
void terminalMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg)
        toStderr(QStringLiteral("warning: ") + message);
    if (type == QtFatalMsg)
        std::abort();
}

const char usageText[] =
    "usage: veltra-cli [--simulate[=PROFILE]] [--port PATH] [--driver d2xx|serial] [--dongle SERIAL] [--log]\n"
    "                  [--timeout SECONDS] [--json] COMMAND ...\n"
    "  list                          list every dongle found: port, driver, USB serial number\n"
    "  info                          read the radio and print identity, versions and settings\n"
    "  report FILE                   write the device report\n"
    "  set KEY=VALUE ... [--store]   queue changes and deploy them; --store also stores them\n"
    "                                keys: label mode direction adaptive rdm band58\n"
    "                                      power24 power52 power58 mask24 mask52 mask58\n"
    "  defaults flex|pin10 [--store] restore the factory defaults\n"
    "  export FILE                   write the radio's setup to FILE\n"
    "  apply FILE [--store] [--label TEXT] [--skip-missing]\n"
    "                                check a setup against the radio, then deploy it\n"
    "  batch FILE [--label-pattern \"Truss {n}\"] [--log RESULTS.csv] [--count N] [--skip-missing]\n"
    "                                apply and store FILE on one radio after another\n"
    "  update radio|addon FILE.vfp   upload firmware to the radio or its add-on\n"
    "  update dongle FILE.hex        update the dongle through avrdude\n"
    "  verify FILE.vfp               check a firmware package\n"
    "  watch                         print dongle and radio events until Ctrl-C (or --timeout)\n";

// The report's field name and value as a terminal line shows them: the
// fixed text up to its colon is the name, anything after it leads the value.
QPair<QString, QString> field(const Configurator::ReportLine &line)
{
    // A label the radio padded with NULs ends at the first one on a terminal.
    QString value = line.value;
    const int nul = value.indexOf(QChar(0));
    if (nul >= 0)
        value.truncate(nul);
    const int colon = line.label.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return {line.label.trimmed(), value.trimmed()};
    return {line.label.left(colon), (line.label.mid(colon + 1) + value).trimmed()};
}

} // namespace

CliRunner::CliRunner(const QStringList &arguments)
    : m_arguments(arguments)
{
}

CliRunner::~CliRunner()
{
    // The session goes before the link it talks through.
    m_configurator.reset();
    m_usbd.reset();
}

void CliRunner::print(const QString &line)
{
    std::fprintf(stdout, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

int CliRunner::fail(Exit code, const QString &message)
{
    toStderr(QStringLiteral("veltra-cli: ") + message);
    return code;
}

bool CliRunner::waitFor(const std::function<bool()> &done, int timeoutMs, bool heedInterrupt)
{
    QElapsedTimer clock;
    clock.start();
    // A heartbeat keeps the blocking wait below short, so the condition and
    // Ctrl-C are looked at often; processEvents with a time limit would not
    // block at all and would spin a core.
    QTimer heartbeat;
    heartbeat.start(50);
    while (!done()) {
        if ((interrupted && heedInterrupt) || (timeoutMs >= 0 && clock.elapsed() >= timeoutMs))
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

int CliRunner::parseOptions()
{
    // Options may stand before or after the command; every other word is
    // the command's. An option nobody knows is refused, never taken for a
    // word of the command.
    // --log names batch's results file when a word follows it that is not
    // the command; otherwise it asks for the window's log.
    int logWord = -1;
    auto takeValue = [this](int &i, const char *what, QString *value) {
        if (i + 1 >= m_arguments.size())
            return fail(Usage, QStringLiteral("%1 needs %2").arg(m_arguments.at(i), QLatin1String(what)));
        *value = m_arguments.at(++i);
        return int(Ok);
    };
    for (int i = 0; i < m_arguments.size(); ++i) {
        const QString &a = m_arguments.at(i);
        if (a == QLatin1String("--store")) {
            m_store = true;
        } else if (a == QLatin1String("--skip-missing")) {
            m_skipMissing = true;
        } else if (a == QLatin1String("--label")) {
            if (const int code = takeValue(i, "a text", &m_label))
                return code;
            m_labelGiven = true;
        } else if (a == QLatin1String("--label-pattern")) {
            if (const int code = takeValue(i, "a text such as \"Truss {n}\"", &m_labelPattern))
                return code;
        } else if (a == QLatin1String("--count")) {
            QString text;
            if (const int code = takeValue(i, "a number of radios", &text))
                return code;
            bool ok = false;
            m_count = text.toInt(&ok);
            if (!ok || m_count < 1 || m_count > 1000000)
                return fail(Usage, QStringLiteral("--count takes a number of radios from 1 to 1000000"));
        } else if (a == QLatin1String("--dongle") || a == QLatin1String("--port") || a == QLatin1String("--driver")) {
            // The driver's own choice, handed on whole to its selection.
            const char *what = a == QLatin1String("--dongle") ? "the dongle's USB serial number (veltra-cli list shows it)"
                               : a == QLatin1String("--port") ? "the path of the dongle's port"
                                                              : "d2xx or serial";
            QString value;
            if (const int code = takeValue(i, what, &value))
                return code;
            m_driverArguments << a << value;
        } else if (a.startsWith(QLatin1String("--log="))) {
            m_resultsFile = a.mid(6);
        } else if (a == QLatin1String("--simulate") || a.startsWith(QLatin1String("--simulate="))) {
            m_driverArguments << a;
        } else if (a == QLatin1String("--log")) {
            m_log = true;
            if (i + 1 < m_arguments.size() && !m_arguments.at(i + 1).startsWith(QLatin1String("--")))
                logWord = m_command.size();
        } else if (a == QLatin1String("--json")) {
            m_json = true;
        } else if (a == QLatin1String("--timeout")) {
            bool ok = false;
            const double seconds = i + 1 < m_arguments.size() ? m_arguments.at(++i).toDouble(&ok) : 0;
            // NaN passes every comparison and a huge value overflows the
            // milliseconds into "wait forever": only a plain range will do.
            if (!ok || !(seconds >= 0.1 && seconds <= 86400))
                return fail(Usage, QStringLiteral("--timeout takes a number of seconds from 0.1 to 86400"));
            m_timeoutMs = qRound(seconds * 1000);
            m_timeoutGiven = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(usageText, stdout);
            return -1;
        } else if (a.startsWith(QLatin1String("--"))) {
            return fail(Usage, QStringLiteral("unknown option %1\n%2").arg(a, QString::fromLatin1(usageText)));
        } else {
            m_command << a;
        }
    }
    if (m_command.isEmpty())
        return fail(Usage, QString::fromLatin1(usageText).trimmed());
    if (logWord > 0 && m_command.first() == QLatin1String("batch")) {
        m_resultsFile = m_command.takeAt(logWord);
        m_log = false;
    }
    if (!m_resultsFile.isEmpty() && m_command.first() != QLatin1String("batch"))
        return fail(Usage, QStringLiteral("a results file is for batch only"));
    return Ok;
}

int CliRunner::run()
{
    const int parsed = parseOptions();
    if (parsed != Ok)
        return parsed < 0 ? int(Ok) : parsed;

    logFolderPath = Startup::logFolder(nullptr);
    workingDirectoryPath = Startup::workingDirectory();
    if (m_log) {
        QDir().mkpath(logFolderPath);
        Startup::installFileLog();
        Startup::writeBanner();
    } else {
        qInstallMessageHandler(terminalMessages);
    }

    const QString &command = m_command.first();
    // A package is checked without any device.
    if (command == QLatin1String("verify"))
        return logChecked(verify());

    if (command == QLatin1String("list"))
        return logChecked(list());

    static const QStringList commands{"info", "report", "set", "defaults", "update", "watch", "export", "apply", "batch"};
    if (!commands.contains(command))
        return fail(Usage, QStringLiteral("unknown command \"%1\"\n%2").arg(command, QString::fromLatin1(usageText)));
    // A setup is read before the dongle is touched: a file that is refused
    // sends nothing.
    if (command == QLatin1String("apply") || command == QLatin1String("batch")) {
        if (m_command.size() != 2)
            return fail(Usage, QStringLiteral("%1 needs one setup file").arg(command));
        QString error;
        if (!m_setup.readFile(m_command.at(1), &error))
            return fail(Refused, error);
        if (m_labelGiven)
            m_setup.set(QStringLiteral("label"), m_label);
    }

    // The time limit holds for the whole command: past it the dongle link
    // fails every exchange at once, so even a command caught in its retries
    // ends, and the link is then put back (DMX off) before we leave. watch
    // has its limit of its own, and an upload, once begun, is not cut.
    m_deadline = QDeadlineTimer(m_timeoutMs);
    int code = runOnDongle(command);
    if (code != Ok && m_usbd && m_usbd->pastDeadline()) {
        fail(Exit(code), QStringLiteral("the time limit of %1 s ran out (--timeout)").arg(m_timeoutMs / 1000.0));
        m_usbd->setDeadline(QDeadlineTimer::Forever);
        if (m_usbd->isUsbAttached())
            m_usbd->dmxOff();
    }
    return logChecked(code);
}

int CliRunner::logChecked(int code)
{
    // The log's lines went to standard error when the file refused them;
    // the run is not a success that left no record. The session's last
    // lines (the link put back) are logged first, so this is the last word.
    m_configurator.reset();
    m_usbd.reset();
    const QString problem = m_log ? logFileProblem() : QString();
    if (problem.isEmpty())
        return code;
    fail(StoreFailed, QStringLiteral("the log was not written (%1); its lines went to standard error").arg(problem));
    return code == Ok ? int(StoreFailed) : code;
}

void CliRunner::makeLogFolder()
{
    // A store writes its device report there, with or without --log; when
    // the folder cannot be made, the report's failure says why.
    QDir().mkpath(logFolderPath);
}

int CliRunner::runOnDongle(const QString &command)
{
    const int opened = openDongle();
    if (opened != Ok)
        return opened;
    if (command == QLatin1String("watch"))
        return watch();
    if (command == QLatin1String("batch"))
        return batch();
    m_usbd->setDeadline(m_deadline);
    if (command == QLatin1String("update"))
        return update();

    const int read = readRadio();
    if (read != Ok)
        return read;
    if (command == QLatin1String("info"))
        return info();
    if (command == QLatin1String("report"))
        return report();
    if (command == QLatin1String("set"))
        return set();
    if (command == QLatin1String("export"))
        return exportSetup();
    if (command == QLatin1String("apply"))
        return apply();
    return defaults();
}

int CliRunner::openDongle()
{
    DriverSelection selection = DriverSelection::fromArguments(m_driverArguments);
    if (!selection.error.isEmpty())
        return fail(Usage, selection.error);
    m_usbd = std::make_unique<Usbd>(std::move(selection.driver));
    m_configurator = std::make_unique<Configurator>(m_usbd.get());
    m_configurator->logFolderPath = logFolderPath;
    m_configurator->workingDirectoryPath = workingDirectoryPath;
    connectSession(m_usbd.get(), m_configurator.get(), QCoreApplication::instance());

    // Discovery retries every 250 ms on its own.
    const int asked = m_driverArguments.indexOf(QStringLiteral("--dongle"));
    if (!waitFor([this] { return m_usbd->isUsbAttached(); }, qMin(m_timeoutMs, 3000)) && asked >= 0)
        return fail(NoDongle, QStringLiteral("no Veltra dongle with USB serial number %1 found (veltra-cli list shows those found)")
                                  .arg(printable(m_driverArguments.value(asked + 1))));
    if (!m_usbd->isUsbAttached())
        return fail(NoDongle, selection.absence.isEmpty()
                                  ? QStringLiteral("no Veltra dongle found (is it plugged in, and may you open its port?)")
                                  : QStringLiteral("no Veltra dongle found: ") + selection.absence);
    return Ok;
}

int CliRunner::readRadio(int limitMs, bool quiet)
{
    // Quiet for a caller that has its own way on (an update that then
    // tries the bootloader): a failure it recovers from is no message.
    const auto failWith = [this, quiet](Exit code, const QString &message) {
        return quiet ? int(code) : fail(code, message);
    };
    if (m_usbd->usbDongleType == DongleType::Bootloader)
        return fail(NoDongle, QStringLiteral("the dongle is in its bootloader: update its firmware first"));
    m_configurator->on_connect_clicked();
    const int ownLimit = limitMs >= 0 ? limitMs : m_timeoutGiven ? m_timeoutMs : readoutWaitMs;
    const int waitMs = int(qMin(qint64(ownLimit), m_deadline.remainingTime()));
    bool seen = false;
    int readout;
    {
        // Each wait's listeners live in a scope object of its own, so none
        // outlives the locals it writes to.
        QObject scope;
        // The level is announced as the readout begins (the readout itself
        // runs inside the announcement of the radio).
        connect(m_usbd.get(), &Usbd::showProtocolVersion, &scope, [&seen](int level) { seen = seen || level >= 0; });
        readout = awaitReadout(waitMs);
    }
    if (readout != 1 && m_usbd->deviceGone())
        return fail(NoDongle, QStringLiteral("the dongle was lost during the readout"));
    const double seconds = waitMs / 1000.0;
    if (readout < 0 && seen)
        return failWith(ReadoutFailed, QStringLiteral("the radio's readout did not finish within %1 s").arg(seconds));
    if (readout < 0 && m_usbd->isDmxAttached())
        return failWith(NoRadio, QStringLiteral("a radio answered the dongle, but none of its frames could be read within %1 s")
                                     .arg(seconds));
    if (readout < 0)
        return failWith(NoRadio, QStringLiteral("no radio answered within %1 s").arg(seconds));
    if (readout == 0)
        return failWith(ReadoutFailed, QStringLiteral("the radio stopped answering during the readout"));
    return Ok;
}

int CliRunner::awaitReadout(int timeoutMs)
{
    int readout = -1; // -1 still waiting, 0 failed, 1 complete
    QObject scope;
    connect(m_configurator.get(), &Configurator::readoutFinished, &scope,
            [&readout](bool complete) { readout = complete ? 1 : 0; });
    // A radio whose first frame could not be read is let go with DMX off;
    // DMX goes on again at once, so that the next status poll tries again
    // instead of the wait running out with the radio there.
    Configurator *configurator = m_configurator.get();
    connect(m_usbd.get(), &Usbd::dmxDetached, &scope, [configurator] { configurator->on_connect_clicked(); },
            Qt::QueuedConnection);
    waitFor([&readout] { return readout >= 0; }, timeoutMs);
    return readout;
}

int CliRunner::info()
{
    QJsonObject json;
    for (const Configurator::ReportLine &line : m_configurator->reportLines()) {
        if (line.label.isEmpty() || line.label.startsWith(QLatin1String("Date:")))
            continue;
        const auto [name, value] = field(line);
        if (m_json)
            json.insert(name, value);
        else
            print(name + QStringLiteral(": ") + printable(value));
    }
    if (m_json)
        print(QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Indented)).trimmed());
    m_usbd->dmxOff();
    return Ok;
}

int CliRunner::report()
{
    if (m_command.size() != 2)
        return fail(Usage, QStringLiteral("report needs one file name"));
    const QString file = m_command.at(1);
    m_usbd->dmxOff();
    if (!m_configurator->writeDeviceLog(file))
        return fail(StoreFailed, QStringLiteral("report not written: ") + m_configurator->reportError());
    print(QStringLiteral("Report written to %1").arg(QFileInfo(file).absoluteFilePath()));
    return Ok;
}

int CliRunner::set()
{
    const QStringList assignments = m_command.mid(1);
    if (assignments.isEmpty())
        return fail(Usage, QStringLiteral("set needs at least one KEY=VALUE"));
    RadioSetup setup;
    for (const QString &assignment : assignments) {
        const int equals = assignment.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return fail(Usage, QStringLiteral("\"%1\" is not KEY=VALUE").arg(assignment));
        const QString key = assignment.left(equals);
        // Switches are named as their lists name them, or by position.
        if (!setup.set(key, assignment.mid(equals + 1)))
            return fail(Usage, QStringLiteral("unknown key \"%1\"").arg(key));
    }
    const int queued = queueSetup(setup, Configurator::IndicesAllowed);
    if (queued != Ok)
        return queued;
    return m_store ? storeAndFinish() : deployAndFinish();
}

int CliRunner::queueSetup(const RadioSetup &setup, Configurator::SetupOptions options)
{
    QStringList skipped;
    const QList<Configurator::SetupRefusal> refusals = m_configurator->applySetup(setup, options, &skipped);
    if (refusals.isEmpty()) {
        for (const QString &line : qAsConst(skipped))
            print(QStringLiteral("skipped %1").arg(line));
        return Ok;
    }
    // Nothing was queued; the radio is left as it is, and every refusal is
    // told at once so that one run shows all that must change.
    m_usbd->dmxOff();
    for (const Configurator::SetupRefusal &refusal : refusals)
        fail(Refused, QStringLiteral("%1: %2").arg(refusal.key, refusal.reason));
    return Refused;
}

int CliRunner::deployAndFinish()
{
    const bool sent = m_configurator->deployPending();
    if (!sent && m_usbd->deviceGone())
        return fail(NoDongle, QStringLiteral("the dongle was lost during the deploy; the radio may be half changed"));
    m_usbd->dmxOff();
    if (!sent)
        return fail(StoreFailed, QStringLiteral("a settings frame did not reach the dongle; the radio may be half changed"));
    // A legacy radio keeps its 2.4 GHz frame as it takes it: it has no
    // store to ask for.
    if (m_usbd->protocolVersion == 0)
        print(QStringLiteral("Stored."));
    else
        print(QStringLiteral("Deployed; not stored (add --store to keep the settings over a power cycle)."));
    return Ok;
}

int CliRunner::storeAndFinish()
{
    makeLogFolder();
    bool stored = false;
    QString unwritten;
    {
        QObject scope;
        connect(m_configurator.get(), &Configurator::storeAndDisconectClicked, &scope, [&stored] { stored = true; });
        connect(m_configurator.get(), &Configurator::fileNotWritten, &scope,
                [&unwritten](const QString &why) { unwritten = why; });
        m_configurator->on_storeAndDisconnect_clicked();
    }
    // Without the dongle nothing can be confirmed: that is its cause, not
    // the radio's.
    if (!stored && m_usbd->deviceGone())
        return fail(NoDongle, QStringLiteral("the dongle was lost during the store; the radio may be half changed"));
    if (!unwritten.isEmpty())
        fail(StoreFailed, QStringLiteral("not written: ") + unwritten);
    if (!stored)
        return fail(StoreFailed, QStringLiteral("not stored: ") + m_configurator->storeError());
    print(QStringLiteral("Stored."));
    return unwritten.isEmpty() ? int(Ok) : int(StoreFailed);
}

int CliRunner::defaults()
{
    if (m_command.size() != 2 || (m_command.at(1) != QLatin1String("flex") && m_command.at(1) != QLatin1String("pin10")))
        return fail(Usage, QStringLiteral("defaults needs flex or pin10"));
    const bool sent = m_command.at(1) == QLatin1String("flex") ? m_configurator->on_deployDefaultFlexButton_clicked()
                                                              : m_configurator->on_deployDefaultPin10_clicked();
    if (!sent && m_usbd->deviceGone())
        return fail(NoDongle, QStringLiteral("the dongle was lost during the defaults; the radio may be half changed"));
    if (!sent) {
        m_usbd->dmxOff();
        return fail(StoreFailed, QStringLiteral("a defaults frame did not reach the dongle; the radio may be half changed"));
    }
    return m_store ? storeAndFinish() : deployAndFinish();
}

int CliRunner::exportSetup()
{
    if (m_command.size() != 2)
        return fail(Usage, QStringLiteral("export needs one file name"));
    m_usbd->dmxOff();
    QString error;
    if (!m_configurator->currentSetup().writeFile(m_command.at(1), &error))
        return fail(StoreFailed, error);
    print(QStringLiteral("Setup written to %1").arg(QFileInfo(m_command.at(1)).absoluteFilePath()));
    return Ok;
}

int CliRunner::apply()
{
    const int queued = queueSetup(m_setup, m_skipMissing ? Configurator::SkipMissing : Configurator::NoSetupOption);
    if (queued != Ok)
        return queued;
    return m_store ? storeAndFinish() : deployAndFinish();
}

int CliRunner::list()
{
    QString error;
    const QList<DriverSelection::Listed> dongles = DriverSelection::listDongles(m_driverArguments, &error);
    if (!error.isEmpty())
        return fail(Usage, error);
    if (dongles.isEmpty())
        return fail(NoDongle, QStringLiteral("no Veltra dongle found"));
    QJsonArray json;
    for (const DriverSelection::Listed &dongle : dongles) {
        const QString serial = dongle.serial.isEmpty() ? QStringLiteral("-") : printable(dongle.serial);
        if (m_json)
            json.append(QJsonObject {{"port", dongle.port}, {"driver", dongle.driver}, {"serial", serial}});
        else
            print(QStringLiteral("%1  %2  %3").arg(dongle.port.isEmpty() ? QStringLiteral("-") : dongle.port, -14)
                      .arg(dongle.driver, -9).arg(serial));
    }
    if (m_json)
        print(QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Indented)).trimmed());
    return Ok;
}

namespace {

QString csvField(const QString &text)
{
    static const QRegularExpression special(QStringLiteral("[\",\r\n]"));
    if (!text.contains(special))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

} // namespace

int CliRunner::batch()
{
    // A batch runs for as long as radios come; --timeout bounds each radio's
    // store and read-back, not the wait for the next radio.
    m_usbd->setDeadline(QDeadlineTimer::Forever);
    if (m_usbd->usbDongleType == DongleType::Bootloader)
        return fail(NoDongle, QStringLiteral("the dongle is in its bootloader: update its firmware first"));
    // The pattern is judged for the first radio and for the last one
    // counted, whose number is the longest: a batch refused at radio 10
    // after nine went through would leave the work half done.
    for (const int number : {1, qMax(1, m_count)}) {
        if (m_labelPattern.isEmpty())
            break;
        const QString problem = RadioSetup::labelProblem(QString(m_labelPattern).replace(QStringLiteral("{n}"), QString::number(number)));
        if (!problem.isEmpty())
            return fail(Usage, QStringLiteral("--label-pattern (radio %1): %2").arg(number).arg(problem));
    }
    // The results are appended a line at a time, each checked: a line that
    // cannot be written whole is taken back and the batch stops, so the file
    // never says less than the radios got and never ends in half a line.
    // Unbuffered, so that a failed line is not written late by a flush.
    QFile results(m_resultsFile);
    QString resultsError;
    auto append = [&results, &resultsError](const QByteArray &line) {
        const qint64 size = results.size();
        if (results.write(line) == line.size())
            return true;
        resultsError = QStringLiteral("cannot write %1: %2").arg(results.fileName(), results.errorString());
        results.resize(size);
        return false;
    };
    if (!m_resultsFile.isEmpty()) {
        const QString problem = WholeFile::targetProblem(m_resultsFile);
        if (!problem.isEmpty())
            return fail(StoreFailed, QStringLiteral("cannot write %1; no radio touched").arg(problem));
        if (!results.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text | QIODevice::Unbuffered))
            return fail(StoreFailed, QStringLiteral("cannot write %1: %2").arg(m_resultsFile, results.errorString()));
        if (results.size() == 0 && !append("number,time,serial,label,result\n"))
            return fail(StoreFailed, resultsError + QStringLiteral("; no radio touched"));
    }
    makeLogFolder();
    catchInterrupts();

    Configurator &c = *m_configurator;
    bool gone = false;
    connect(m_usbd.get(), &Usbd::dmxDetached, this, [&gone] { gone = true; });
    // A dongle pulled out and put back comes back with its DMX off: the
    // batch says so and switches it on again, as watch does.
    bool dongleThere = true;
    connect(&c, &Configurator::isconnectedDongle, this, [&] {
        const bool now = m_usbd->usbDongleType == DongleType::Application;
        if (now == dongleThere)
            return;
        dongleThere = now;
        print(now ? QStringLiteral("The dongle is back.") : QStringLiteral("The dongle was lost; waiting for it."));
        // After discovery has ended, which switches DMX off as it finds the dongle.
        if (now)
            QTimer::singleShot(0, &c, &Configurator::on_connect_clicked);
    });
    int handled = 0;
    int good = 0;
    print(QStringLiteral("Waiting for radio #1; Ctrl-C ends the batch."));
    while (!interrupted) {
        c.on_connect_clicked();
        const int read = awaitReadout(-1);
        if (read < 0)
            break;
        const int number = ++handled;
        const QString serial = printable(cutAtNul(c.istrxSerial()));
        QString label = cutAtNul(c.isDeviceLabel());
        const QString result = read == 1 ? batchRadio(number, &label) : QStringLiteral("the readout failed");
        if (result == QLatin1String("OK"))
            ++good;
        print(QStringLiteral("#%1 %2 \"%3\" %4").arg(number).arg(serial, printable(label), result));
        if (results.isOpen()) {
            const QStringList fields {QString::number(number), RadioSetup::isoTime(QDateTime::currentDateTime()),
                                      serial, printable(label), result};
            QStringList line;
            for (const QString &field : fields)
                line << csvField(field);
            if (!append((line.join(QLatin1Char(',')) + QLatin1Char('\n')).toUtf8()))
                break;
        }
        if (m_count > 0 && handled >= m_count)
            break;
        // The next radio is the one cabled after this one has gone; with
        // DMX running, a radio that stays is seen to stay.
        gone = false;
        m_usbd->dmxOff();
        c.on_connect_clicked();
        print(QStringLiteral("Waiting for radio #%1 to be taken away and the next one cabled.").arg(number));
        if (!awaitSwap(c.istrxSerial(), &gone))
            break;
    }
    m_usbd->dmxOff();
    print(QStringLiteral("%1 radios, %2 OK.").arg(handled).arg(good));
    if (!resultsError.isEmpty())
        return fail(StoreFailed, resultsError + QStringLiteral("; the batch stopped after radio %1, whose result is above").arg(handled));
    return good == handled ? int(Ok) : int(BatchFailed);
}

bool CliRunner::awaitSwap(const QString &serial, bool *gone)
{
    // A radio is seen to go after nine polls without it, about three
    // seconds; one swapped quicker, or while replies are lost, never is. So
    // every few seconds the radio is asked who it is, and another serial
    // number is a new radio: DMX off lets the link see it go, and the
    // batch's next connect sees it come.
    const int askEveryMs = Pacing::interval(5000);
    while (!waitFor([gone] { return *gone; }, askEveryMs)) {
        if (interrupted)
            return false;
        const int level = m_usbd->protocolVersion;
        if (!m_usbd->isDmxAttached() || level < 1 || serial.isEmpty())
            continue;
        if (m_usbd->runDmxCommand(RadioCommand::ReadIdentity) != RadioCommand::ReadIdentity)
            continue;
        if (RadioFrames::decodeIdentity(m_usbd->dmxInBuffer, level).serial == serial)
            continue;
        *gone = false;
        m_usbd->dmxOff();
        return waitFor([gone] { return *gone; }, -1);
    }
    return true;
}

QString CliRunner::batchRadio(int number, QString *label)
{
    Configurator &c = *m_configurator;
    RadioSetup setup = m_setup;
    if (!m_labelPattern.isEmpty())
        setup.set(QStringLiteral("label"), QString(m_labelPattern).replace(QStringLiteral("{n}"), QString::number(number)));
    if (setup.has(QStringLiteral("label")))
        *label = setup.value(QStringLiteral("label"));
    QStringList skipped;
    const QList<Configurator::SetupRefusal> refusals =
        c.applySetup(setup, m_skipMissing ? Configurator::SkipMissing : Configurator::NoSetupOption, &skipped);
    if (!refusals.isEmpty()) {
        m_usbd->dmxOff();
        QStringList why;
        for (const Configurator::SetupRefusal &refusal : refusals)
            why << refusal.key + QStringLiteral(": ") + refusal.reason;
        return QStringLiteral("refused: ") + why.join(QStringLiteral("; "));
    }

    const QDeadlineTimer limit(m_timeoutMs);
    bool stored = false;
    QString unwritten;
    {
        QObject scope;
        connect(&c, &Configurator::storeAndDisconectClicked, &scope, [&stored] { stored = true; });
        connect(&c, &Configurator::fileNotWritten, &scope, [&unwritten](const QString &why) { unwritten = why; });
        c.on_storeAndDisconnect_clicked();
    }
    if (!stored && m_usbd->deviceGone())
        return QStringLiteral("not stored: the dongle was lost");
    if (!stored)
        return QStringLiteral("not stored: ") + c.storeError();

    // Read back as it now holds its settings: DMX is off after the store,
    // so the radio is seen to go, and is read anew once DMX runs again.
    bool gone = false;
    bool left;
    {
        QObject scope;
        connect(m_usbd.get(), &Usbd::dmxDetached, &scope, [&gone] { gone = true; });
        left = waitFor([&gone] { return gone; }, int(limit.remainingTime()));
    }
    int read = -1;
    if (left) {
        c.on_connect_clicked();
        read = awaitReadout(int(limit.remainingTime()));
    }
    if (read != 1)
        return QStringLiteral("not read back: the radio did not answer after the store");
    *label = cutAtNul(c.isDeviceLabel());

    const RadioSetup held = c.currentSetup();
    if (m_skipMissing) {
        // What was skipped is not there to compare.
        auto &wanted = setup.settings;
        wanted.erase(std::remove_if(wanted.begin(), wanted.end(), [&held](const auto &s) { return !held.has(s.first); }),
                     wanted.end());
    }
    const QStringList differences = setup.differences(held);
    if (!differences.isEmpty())
        return QStringLiteral("differs: ") + differences.join(QStringLiteral("; "));
    // Stored as asked, but without its record: not a plain OK.
    return unwritten.isEmpty() ? QStringLiteral("OK") : QStringLiteral("stored, but not written: ") + unwritten;
}

int CliRunner::verify()
{
    if (m_command.size() != 2)
        return fail(Usage, QStringLiteral("verify needs one package file"));
    VFP package;
    const int code = package.parseFile(m_command.at(1));
    if (code != VFP::ParseOk)
        return fail(PackageError, QStringLiteral("package error %1: %2").arg(code).arg(package.errorText()));

    QJsonObject json;
    int number = 0;
    for (const FirmwareBlock &block : package.blocks()) {
        int frames = 0;
        for (int at = 0; at + 2 <= block.data.size(); ++frames)
            at += 2 + (quint8(block.data.at(at)) << 8 | quint8(block.data.at(at + 1)));
        const QString version = QStringLiteral("%1.%2.%3").arg(block.major).arg(block.minor).arg(block.revision);
        if (m_json) {
            json.insert(QString::number(number), QJsonObject{{"mcu", block.mcuId}, {"version", version},
                                                             {"bytes", block.data.size()}, {"frames", frames}});
        } else {
            print(QStringLiteral("Block %1: MCU id %2, version %3, %4 bytes, %5 frames")
                      .arg(number).arg(block.mcuId).arg(version).arg(block.data.size()).arg(frames));
        }
        ++number;
    }
    if (m_json)
        print(QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Indented)).trimmed());
    else
        print(QStringLiteral("Package OK"));
    return Ok;
}

int CliRunner::watch()
{
    catchInterrupts();
    Configurator &c = *m_configurator;
    QString dongle;
    auto showDongle = [&] {
        if (c.isDongleVersion() != dongle) {
            dongle = c.isDongleVersion();
            print(QStringLiteral("dongle: %1").arg(dongle));
        }
    };
    showDongle();
    // Rediscovery and a radio's leaving both switch DMX off; the watch
    // switches it on again, so it follows a replugged dongle and the next
    // radio cabled to it for as long as it runs.
    bool running = m_usbd->usbDongleType == DongleType::Application;
    connect(&c, &Configurator::isconnectedDongle, this, [&] {
        showDongle();
        const bool now = m_usbd->usbDongleType == DongleType::Application;
        // After discovery has ended, which switches DMX off as it finds the dongle.
        if (now && !running)
            QTimer::singleShot(0, &c, &Configurator::on_connect_clicked);
        running = now;
    });
    connect(m_usbd.get(), &Usbd::dmxAttached, this, [this] {
        print(QStringLiteral("radio: attached, protocol level %1").arg(m_usbd->protocolVersion));
    });
    connect(m_usbd.get(), &Usbd::dmxDetached, this, [this, &c] {
        print(QStringLiteral("radio: detached"));
        QTimer::singleShot(0, &c, &Configurator::on_connect_clicked);
    });
    // The radio's status is told once the radio has named itself in replies
    // read whole, and when it goes; the placeholder a protocol level alone
    // gives (every leveled radio an "R8X") is not.
    QString status;
    auto showStatus = [&] {
        if (c.isStatusVELTRA() != status) {
            status = c.isStatusVELTRA();
            print(QStringLiteral("status: %1").arg(printable(status)));
        }
    };
    connect(&c, &Configurator::readoutFinished, this, [showStatus](bool complete) {
        if (complete)
            showStatus();
    });
    connect(m_usbd.get(), &Usbd::showProtocolVersion, this, [showStatus](int level) {
        if (level < 0)
            showStatus();
    });
    connect(&c, &Configurator::upTimeChanged, this, [this, &c] { print(QStringLiteral("uptime: %1").arg(c.isUpTime())); });
    c.on_connect_clicked();
    // Runs until interrupted, or for --timeout seconds when given.
    waitFor([] { return false; }, m_timeoutGiven ? m_timeoutMs : -1);
    m_usbd->dmxOff();
    return Ok;
}

void CliRunner::showProgress(int percent)
{
    static const bool terminal = stdoutIsTerminal();
    if (!terminal) {
        print(QStringLiteral("progress: %1 %").arg(percent));
        return;
    }
    // Redrawn in place: a bar of 40 cells and the percentage.
    const int cells = qBound(0, percent, 100) * 40 / 100;
    std::fprintf(stdout, "\r[%s%s] %3d %%", QByteArray(cells, '#').constData(),
                 QByteArray(40 - cells, ' ').constData(), percent);
    std::fflush(stdout);
}

int CliRunner::update()
{
    if (m_command.size() != 3)
        return fail(Usage, QStringLiteral("update needs radio, addon or dongle and a file"));
    const QString target = m_command.at(1);
    const QString file = m_command.at(2);
    Configurator &c = *m_configurator;

    if (target == QLatin1String("dongle"))
        return updateDongle(file);
    if (target != QLatin1String("radio") && target != QLatin1String("addon"))
        return fail(Usage, QStringLiteral("update needs radio, addon or dongle, not \"%1\"").arg(target));
    const int type = target == QLatin1String("radio") ? Configurator::radio_update : Configurator::addon_update;

    // The package is checked before the radio is touched.
    VFP package;
    const int code = package.parseFile(file);
    if (code != VFP::ParseOk)
        return fail(PackageError, QStringLiteral("package error %1: %2").arg(code).arg(package.errorText()));

    // A radio that answers is read first, so that it can be rebooted into
    // its bootloader; one that does not may already wait there, and the
    // other half of the time is left for its handshake.
    const int read = readRadio(int(m_deadline.remainingTime() / 2), true);
    if (read == NoDongle)
        return read;
    if (read != Ok)
        print(QStringLiteral("No radio answered; trying its bootloader directly."));
    // From here the bootloader's answer is waited for below; the upload,
    // once under way, runs to its end.
    m_usbd->setDeadline(QDeadlineTimer::Forever);

    catchInterrupts();
    // The end of an update is the one signal the Configurator gives for every
    // way it ends (a package refused at once, an upload that ran, the radio
    // seen again or not): asking the upload thread whether it still runs
    // could find it ended before its outcome has arrived.
    bool ended = false;
    connect(&c, &Configurator::updateFinished, this, [&ended] { ended = true; });
    int shown = -1;
    connect(&c, &Configurator::ProgressChanged, this, [this, &c, &shown] {
        if (c.isProgress() != shown)
            showProgress(shown = c.isProgress());
    });

    // The bootloader's handshake is retried for as long as nobody answers
    // (the operator may be power-cycling the radio); a script waits --timeout.
    bool handshaken = false;
    connect(&c.serialThread, &SerialThread::initUpdaterProgressBar, this, [&handshaken] { handshaken = true; });

    c.firmwareUpdate(type, file);
    if (!waitFor([&] { return handshaken || ended; }, int(m_deadline.remainingTime())) && !interrupted) {
        c.cancelUpdate(type, file);
        waitFor([&ended] { return ended; }, 5000, false);
        return fail(NoRadio, QStringLiteral("no bootloader answered within %1 s").arg(m_timeoutMs / 1000.0));
    }
    // Unbounded: only Ctrl-C ends this wait before the update does.
    if (!waitFor([&ended] { return ended; }, -1)) {
        c.cancelUpdate(type, file);
        // Ctrl-C has been heard; the wait for the outcome must not stop at
        // it again.
        waitFor([&ended] { return ended; }, 5000, false);
    }
    if (stdoutIsTerminal() && shown >= 0)
        std::fputs("\n", stdout);

    if (c.updateOutcome() == Configurator::UpdateCanceled)
        return fail(UploadFailed, QStringLiteral("update cancelled: the radio may wait in its bootloader; run the update again"));
    if (c.updateOutcome() != Configurator::UpdateComplete) {
        // An upload that went through whose radio did not come back says so
        // in its message; an upload that failed names its status as well.
        const int status = c.serialThread.uploadStatus;
        if (status == UploadStatus::Complete)
            return fail(UploadFailed, c.updateMessage());
        return fail(UploadFailed, QStringLiteral("upload status %1: %2").arg(status).arg(c.updateMessage()));
    }
    print(c.updateMessage());
    print(QStringLiteral("Radio firmware: ") + printable(c.istrxVersion()));
    return Ok;
}

int CliRunner::updateDongle(const QString &file)
{
    Configurator &c = *m_configurator;
    // avrdude has limits of its own; the dongle link is not in its way.
    m_usbd->setDeadline(QDeadlineTimer::Forever);
    catchInterrupts();
    bool finished = false;
    connect(&c, &Configurator::updateFinished, this, [&finished] { finished = true; });
    int shown = -1;
    connect(&c, &Configurator::ProgressChanged, this, [this, &c, &shown] {
        if (c.dongleUpdateRunning() && c.isProgress() != shown)
            showProgress(shown = c.isProgress());
    });
    c.firmwareUpdate(Configurator::dongle_update, file);
    // avrdude is stopped on Ctrl-C; the dongle keeps its bootloader, so the
    // update can be run again.
    waitFor([&finished] { return finished || interrupted; }, -1);
    if (!finished) {
        c.cancelUpdate(Configurator::dongle_update, file);
        waitFor([&finished] { return finished; }, 10000, false);
    }
    if (stdoutIsTerminal() && shown >= 0)
        std::fputs("\n", stdout);
    if (c.updateOutcome() != Configurator::UpdateComplete)
        return fail(DongleUpdateFailed, c.updateMessage());
    print(c.updateMessage());
    return Ok;
}
