#include "clirunner.h"

#include "app/appglobals.h"
#include "app/startup.h"
#include "app/wiring.h"
#include "config/configurator.h"
#include "firmware/serialthread.h"
#include "firmware/vfp.h"
#include "app/driverselection.h"
#include "usb/protocol.h"
#include "usb/usbd.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
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

bool isControl(QChar ch)
{
    const ushort u = ch.unicode();
    return u < 0x20 || (u >= 0x7F && u <= 0x9F);
}

// What a radio reports goes to a terminal with its control characters
// written out (\x1b), so that no label can move the cursor, retitle the
// window or forge a line of its own.
QString printable(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        if (isControl(ch))
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
    "usage: veltra-cli [--simulate[=PROFILE]] [--port PATH] [--driver d2xx|serial] [--log] [--timeout SECONDS] [--json] COMMAND ...\n"
    "  info                          read the radio and print identity, versions and settings\n"
    "  report FILE                   write the device report\n"
    "  set KEY=VALUE ... [--store]   queue changes and deploy them; --store also stores them\n"
    "                                keys: label mode direction adaptive rdm band58\n"
    "                                      power24 power52 power58 mask24 mask52 mask58\n"
    "  defaults flex|pin10 [--store] restore the factory defaults\n"
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

// "1-10,20" into channel numbers 1..84; "none" or "" for no channel.
bool parseChannels(const QString &text, QList<int> *channels)
{
    channels->clear();
    if (text.isEmpty() || text == QLatin1String("none"))
        return true;
    static const QRegularExpression item(QStringLiteral("^(\\d{1,2})(?:-(\\d{1,2}))?$"));
    for (const QString &part : text.split(QLatin1Char(','))) {
        const auto match = item.match(part.trimmed());
        if (!match.hasMatch())
            return false;
        const int first = match.captured(1).toInt();
        const int last = match.captured(2).isEmpty() ? first : match.captured(2).toInt();
        if (first < 1 || last > 84 || first > last)
            return false;
        for (int channel = first; channel <= last; ++channel)
            channels->append(channel);
    }
    return true;
}

// An option chosen by its index or its text; -1 when the list holds neither.
int optionIndex(const QStringList &options, const QString &value)
{
    bool isNumber = false;
    const int index = value.toInt(&isNumber);
    if (isNumber)
        return index >= 0 && index < options.size() ? index : -1;
    for (int i = 0; i < options.size(); ++i) {
        if (options.at(i).trimmed().compare(value.trimmed(), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString allowed(const QStringList &options)
{
    QStringList items;
    for (int i = 0; i < options.size(); ++i)
        items << QStringLiteral("%1 \"%2\"").arg(i).arg(options.at(i));
    return items.join(QStringLiteral(", "));
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
    for (int i = 0; i < m_arguments.size(); ++i) {
        const QString &a = m_arguments.at(i);
        if (a == QLatin1String("--store")) {
            m_store = true;
        } else if (a == QLatin1String("--simulate") || a.startsWith(QLatin1String("--simulate="))) {
            m_driverArguments << a;
        } else if (a == QLatin1String("--port")) {
            if (i + 1 >= m_arguments.size())
                return fail(Usage, QStringLiteral("--port needs the path of the dongle's port"));
            m_driverArguments << a << m_arguments.at(++i);
        } else if (a == QLatin1String("--driver")) {
            if (i + 1 >= m_arguments.size())
                return fail(Usage, QStringLiteral("--driver takes d2xx or serial"));
            m_driverArguments << a << m_arguments.at(++i);
        } else if (a == QLatin1String("--log")) {
            m_log = true;
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
        return verify();

    static const QStringList commands{"info", "report", "set", "defaults", "update", "watch"};
    if (!commands.contains(command))
        return fail(Usage, QStringLiteral("unknown command \"%1\"\n%2").arg(command, QString::fromLatin1(usageText)));

    // The time limit holds for the whole command: past it the dongle link
    // fails every exchange at once, so even a command caught in its retries
    // ends, and the link is then put back (DMX off) before we leave. watch
    // has its limit of its own, and an upload, once begun, is not cut.
    m_deadline = QDeadlineTimer(m_timeoutMs);
    const int code = runOnDongle(command);
    if (code != Ok && m_usbd && m_usbd->pastDeadline()) {
        m_usbd->setDeadline(QDeadlineTimer::Forever);
        if (m_usbd->isUsbAttached())
            m_usbd->dmxOff();
    }
    return code;
}

int CliRunner::runOnDongle(const QString &command)
{
    const int opened = openDongle();
    if (opened != Ok)
        return opened;
    if (command == QLatin1String("watch"))
        return watch();
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
    if (!waitFor([this] { return m_usbd->isUsbAttached(); }, qMin(m_timeoutMs, 3000)))
        return fail(NoDongle, selection.absence.isEmpty()
                                  ? QStringLiteral("no Veltra dongle found (is it plugged in, and may you open its port?)")
                                  : QStringLiteral("no Veltra dongle found: ") + selection.absence);
    return Ok;
}

int CliRunner::readRadio(int limitMs)
{
    if (m_usbd->usbDongleType == DongleType::Bootloader)
        return fail(NoDongle, QStringLiteral("the dongle is in its bootloader: update its firmware first"));
    int readout = -1; // -1 still waiting, 0 failed, 1 complete
    const auto connection = connect(m_configurator.get(), &Configurator::readoutFinished, this,
                                    [&readout](bool complete) { readout = complete ? 1 : 0; });
    m_configurator->on_connect_clicked();
    const int waitMs = int(qMin(qint64(limitMs < 0 ? m_timeoutMs : limitMs), m_deadline.remainingTime()));
    const bool ended = waitFor([&readout] { return readout >= 0; }, waitMs);
    disconnect(connection);
    if (readout != 1 && m_usbd->deviceGone())
        return fail(NoDongle, QStringLiteral("the dongle was lost during the readout"));
    if (!ended)
        return fail(NoRadio, QStringLiteral("no radio answered within %1 s")
                                 .arg((limitMs < 0 ? m_timeoutMs : waitMs) / 1000.0));
    if (readout == 0)
        return fail(ReadoutFailed, QStringLiteral("the radio stopped answering during the readout"));
    return Ok;
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
        return fail(StoreFailed, QStringLiteral("cannot write the report to %1: %2").arg(file, m_configurator->reportError()));
    print(QStringLiteral("Report written to %1").arg(QFileInfo(file).absoluteFilePath()));
    return Ok;
}

namespace {
bool knownSetKey(const QString &key)
{
    static const QStringList keys {"label", "mode", "direction", "adaptive", "rdm", "band58",
                                   "power24", "power52", "power58", "mask24", "mask52", "mask58"};
    return keys.contains(key);
}
} // namespace

int CliRunner::set()
{
    Configurator &c = *m_configurator;
    const RadioCapabilities &caps = c.radioCapabilities;
    const QStringList assignments = m_command.mid(1);
    if (assignments.isEmpty())
        return fail(Usage, QStringLiteral("set needs at least one KEY=VALUE"));

    // Everything is checked before anything is sent: a refused value must not
    // leave the radio half changed.
    QList<std::function<void()>> changes;
    QList<bool> masks = c.ismaskedChannels();
    masks.reserve(264);
    while (masks.size() < 264)
        masks.append(false);
    QList<int> maskBands;

    for (const QString &assignment : assignments) {
        const int equals = assignment.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return fail(Usage, QStringLiteral("\"%1\" is not KEY=VALUE").arg(assignment));
        const QString key = assignment.left(equals);
        const QString value = assignment.mid(equals + 1);
        auto refuse = [&](const QString &why) { return fail(Refused, QStringLiteral("%1: %2").arg(key, why)); };
        auto choose = [&](const QStringList &options, std::function<void(int)> apply) -> int {
            if (options.isEmpty())
                return refuse(QStringLiteral("not offered by this radio"));
            const int index = optionIndex(options, value);
            if (index < 0)
                return refuse(QStringLiteral("\"%1\" is not offered; allowed: %2").arg(value, allowed(options)));
            changes << [apply, index] { apply(index); };
            return Ok;
        };

        // A legacy radio takes one frame: its 2.4 GHz mask and power.
        const bool legacy = m_usbd->protocolVersion == 0;
        if (legacy && key != QLatin1String("power24") && key != QLatin1String("mask24") && knownSetKey(key))
            return refuse(QStringLiteral("a legacy radio takes only power24 and mask24"));

        int result = Ok;
        if (key == QLatin1String("label")) {
            if (value.size() > 32)
                return refuse(QStringLiteral("at most 32 characters"));
            if (std::any_of(value.cbegin(), value.cend(), isControl))
                return refuse(QStringLiteral("control characters do not belong in a label"));
            for (const QChar ch : value) {
                if (ch.unicode() > 255)
                    return refuse(QStringLiteral("only Latin-1 characters fit in the radio's label"));
            }
            changes << [&c, value] { c.on_deviceLabel_textChanged(value); };
        } else if (key == QLatin1String("mode")) {
            result = choose(c.isListforRadioMode(), [&c](int i) { c.on_radioMode_currentIndexChanged(i); });
        } else if (key == QLatin1String("direction")) {
            result = choose(c.isListforRadio_direction(), [&c](int i) { c.on_direction_currentIndexChanged(i); });
        } else if (key == QLatin1String("adaptive")) {
            result = choose(caps.adaptiveHopping ? c.adaptiveOptions : QStringList(),
                            [&c](int i) { c.on_adaptiveHopping_currentIndexChanged(i); });
        } else if (key == QLatin1String("rdm")) {
            result = choose(c.isRDMEnabledstate() >= 0 ? c.rdmOptions : QStringList(),
                            [&c](int i) { c.on_enableRDM_currentIndexChanged(i); });
        } else if (key == QLatin1String("band58")) {
            result = choose(c.isHighbandstate() >= 0 ? Configurator::offOnTable : QStringList(),
                            [&c](int i) { c.on_enable58_currentIndexChanged(i); });
        } else if (key.startsWith(QLatin1String("power")) || key.startsWith(QLatin1String("mask"))) {
            const QString band = key.mid(key.startsWith(QLatin1String("power")) ? 5 : 4);
            // Band numbers as the session counts them: 0 2.4, 1 5.2, 2 5.8 GHz.
            int number = -1;
            QStringList powers;
            if (band == QLatin1String("24") && (caps.band24 || legacy)) {
                number = 0;
                powers = c.powerList24;
            } else if (band == QLatin1String("52") && caps.band5Count == 2) {
                number = 1;
                powers = c.powerList52;
            } else if (band == QLatin1String("58") && caps.r8h) {
                number = 2;
                powers = c.powerList58;
            } else if (band != QLatin1String("24") && band != QLatin1String("52") && band != QLatin1String("58")) {
                return fail(Usage, QStringLiteral("unknown key \"%1\"").arg(key));
            }
            if (number < 0 || powers == Configurator::dashTable)
                return refuse(QStringLiteral("this radio has no such band"));
            if (key.startsWith(QLatin1String("power"))) {
                result = choose(powers, [&c, number](int i) {
                    c.powerList(number);
                    c.writePowerSettings(i);
                });
            } else {
                QList<int> channels;
                if (!parseChannels(value, &channels))
                    return refuse(QStringLiteral("\"%1\" is not a channel list of 1 to 84, such as 1-10,20").arg(value));
                for (int i = 0; i < 84; ++i)
                    masks[number * 88 + i] = channels.contains(i + 1);
                maskBands << number;
            }
        } else {
            return fail(Usage, QStringLiteral("unknown key \"%1\"").arg(key));
        }
        if (result != Ok)
            return result;
    }

    for (const auto &change : changes)
        change();
    if (!maskBands.isEmpty()) {
        c.currentMaskedChannels(masks);
        for (int band : maskBands)
            c.maskingChanged(band);
    }
    return m_store ? storeAndFinish() : deployAndFinish();
}

int CliRunner::deployAndFinish()
{
    const bool sent = m_configurator->deployPending();
    m_usbd->dmxOff();
    if (!sent)
        return fail(StoreFailed, QStringLiteral("a settings frame did not reach the dongle; the radio may be half changed"));
    print(QStringLiteral("Deployed; not stored (add --store to keep the settings over a power cycle)."));
    return Ok;
}

int CliRunner::storeAndFinish()
{
    bool stored = false;
    const auto connection = connect(m_configurator.get(), &Configurator::storeAndDisconectClicked, this,
                                    [&stored] { stored = true; });
    m_configurator->on_storeAndDisconnect_clicked();
    disconnect(connection);
    if (!stored)
        return fail(StoreFailed, QStringLiteral("the radio did not confirm the store"));
    print(QStringLiteral("Stored."));
    return Ok;
}

int CliRunner::defaults()
{
    if (m_command.size() != 2 || (m_command.at(1) != QLatin1String("flex") && m_command.at(1) != QLatin1String("pin10")))
        return fail(Usage, QStringLiteral("defaults needs flex or pin10"));
    if (m_command.at(1) == QLatin1String("flex"))
        m_configurator->on_deployDefaultFlexButton_clicked();
    else
        m_configurator->on_deployDefaultPin10_clicked();
    return m_store ? storeAndFinish() : deployAndFinish();
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
        if (now && !running)
            c.on_connect_clicked();
        running = now;
    });
    connect(m_usbd.get(), &Usbd::dmxAttached, this, [this] {
        print(QStringLiteral("radio: attached, protocol level %1").arg(m_usbd->protocolVersion));
    });
    connect(m_usbd.get(), &Usbd::dmxDetached, this, [this, &c] {
        print(QStringLiteral("radio: detached"));
        QTimer::singleShot(0, &c, &Configurator::on_connect_clicked);
    });
    connect(&c, &Configurator::VeltraStatusChanged, this, [this, &c] {
        print(QStringLiteral("status: %1").arg(printable(c.isStatusVELTRA())));
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
    int type = -1;
    if (target == QLatin1String("radio"))
        type = Configurator::radio_update;
    else if (target == QLatin1String("addon"))
        type = Configurator::addon_update;
    else
        return fail(Usage, QStringLiteral("update needs radio, addon or dongle, not \"%1\"").arg(target));

    // The package is checked before the radio is touched.
    VFP package;
    const int code = package.parseFile(file);
    if (code != VFP::ParseOk)
        return fail(PackageError, QStringLiteral("package error %1: %2").arg(code).arg(package.errorText()));

    // A radio that answers is read first, so that it can be rebooted into
    // its bootloader; one that does not may already wait there, and the
    // other half of the time is left for its handshake.
    const int read = readRadio(int(m_deadline.remainingTime() / 2));
    if (read == NoDongle)
        return read;
    if (read != Ok)
        print(QStringLiteral("No radio answered; trying its bootloader directly."));
    // From here the bootloader's answer is waited for below; the upload,
    // once under way, runs to its end.
    m_usbd->setDeadline(QDeadlineTimer::Forever);

    catchInterrupts();
    bool finished = false;
    // Connected after the session's own handler, so it runs once the outcome is known.
    connect(&c.serialThread, &QThread::finished, this, [&finished] { finished = true; });
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
    if (!c.serialThread.isRunning() && !finished)
        return fail(PackageError, c.updateMessage());
    if (!waitFor([&] { return handshaken || finished; }, int(m_deadline.remainingTime())) && !interrupted) {
        c.cancelUpdate(type, file);
        waitFor([&finished] { return finished; }, 5000, false);
        return fail(NoRadio, QStringLiteral("no bootloader answered within %1 s").arg(m_timeoutMs / 1000.0));
    }
    waitFor([&finished] { return finished; }, -1);
    if (interrupted && !finished) {
        c.cancelUpdate(type, file);
        waitFor([&finished] { return finished; }, 5000);
    }
    if (stdoutIsTerminal() && shown >= 0)
        std::fputs("\n", stdout);

    const int status = c.serialThread.uploadStatus;
    if (c.updateOutcome() != Configurator::UpdateComplete)
        return fail(UploadFailed, QStringLiteral("upload status %1: %2").arg(status).arg(c.updateMessage()));
    print(c.updateMessage());
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
