// Firmware updates as the updater view starts them: radio and add-on board
// through the upload thread, the dongle through avrdude.
#include "config/configurator.h"

#include "usb/pacing.h"
#include "usb/protocol.h"
#include "usb/usbd.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

namespace {

// The generation of firmware the dongle runs; its bootloader (type 4) is of
// the same generation.
constexpr int dongleGeneration = 3;
// The dongle restarts into its bootloader and lets go of the port meanwhile.
constexpr int bootloaderStartMs = 2000;
// Writing and verifying a full flash takes well under a minute; a programmer
// still busy after this has hung, and the window must come back.
constexpr int programmerLimitMs = 180000;

} // namespace

QString Configurator::updaterFilePath(const QString &fromScene)
{
    // Cutting "file:///" off would leave "home/u/fw.vfp", relative to
    // wherever the process happens to be; the URL's own conversion keeps the
    // root and decodes escapes such as %20.
    if (!fromScene.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return fromScene;
    QString path = QUrl(fromScene).toLocalFile();
    // A drive letter comes through with a slash in front outside Windows.
    static const QRegularExpression drive(QStringLiteral("^/[A-Za-z]:/"));
    if (drive.match(path).hasMatch())
        path.remove(0, 1);
    return path;
}

void Configurator::firmwareUpdate(int updateType, QString UpdaterfilePath)
{
    const QString path = updaterFilePath(UpdaterfilePath);
    qDebug() << "Configurator: firmwareUpdate:" << updateType << path;
    if (serialThread.isRunning()) {
        // Loading a package now would change the blocks under the upload.
        qDebug() << "Configurator: firmwareUpdate: an upload is running";
        return;
    }
    switch (updateType) {
    case radio_update:
    case addon_update:
        updateRadio(updateType, path);
        break;
    case dongle_update:
        updateDongle(path);
        break;
    default:
        emit FirmwareUpdatesofSystem();
        break;
    }
}

void Configurator::updateRadio(int updateType, const QString &path)
{
    if (updateType == radio_update && radioCapabilities.autoReboot != 0) {
        m_updaterStatusMessage = QStringLiteral("Trying to reboot Veltra...");
        executeDeployItem(DeployItem::Reboot);
    }

    const int loaded = serialThread.vfp->parseFile(path);
    if (loaded == VFP::ParseCannotOpen) {
        finishUpdate(UpdateFailed, QStringLiteral("File not found!"));
        return;
    }
    if (loaded != VFP::ParseOk) {
        finishUpdate(UpdateFailed, QStringLiteral("File data error!"));
        return;
    }

    disableConfigGUI();
    m_usbd->enterUpdaterMode();
    m_updaterStatusMessage.clear();
    m_updateOutcome = UpdateNone;
    // Each upload starts from nothing: no progress and no file error left
    // over from the one before.
    m_progressRange = 0;
    m_progressValue = -1;
    m_progress = 0;
    emit ProgressChanged();
    fileError(false);
    serialThread.startProcess(updateType);
    emit FirmwareUpdatesofSystem();
}

void Configurator::cancelUpdate(int type, QString path)
{
    Q_UNUSED(path)
    if (unsigned(type) > unsigned(addon_update))
        return;
    serialThread.uploadStatus = UploadStatus::Canceled;
    serialThread.stopProcess();
    // The run leaves at its next pass; once it has, the dongle's lock is
    // free and the dongle can be taken back.
    serialThread.wait();
    m_usbd->dmxOff();
    initGUI();
}

void Configurator::serialThreadTerminated()
{
    qDebug() << "Updater: serialThreadTerminated: Re-enabling USB device check.";
    const int status = serialThread.uploadStatus;
    m_updateOutcome = status == UploadStatus::Complete   ? UpdateComplete
                      : status == UploadStatus::Canceled ? UpdateCanceled
                                                         : UpdateFailed;
    if (status == UploadStatus::Complete || status == UploadStatus::Canceled) {
        m_updaterStatusMessage = status == UploadStatus::Complete ? QStringLiteral("Update Complete!")
                                             : QStringLiteral("Update canceled!");
        m_usbd->checkUSBDevice();
        m_usbd->dmxOff();
    } else {
        switch (status) {
        case UploadStatus::UsbError: m_updaterStatusMessage = QStringLiteral("USB Error! Please try again!"); break;
        case UploadStatus::FileError: m_updaterStatusMessage = QStringLiteral("File Error! No matching data found!"); break;
        case UploadStatus::Timeout: m_updaterStatusMessage = QStringLiteral("Timeout! Please try again!"); break;
        case UploadStatus::UnknownResponse: m_updaterStatusMessage = QStringLiteral("Unknown response! Please try again!"); break;
        case UploadStatus::CrcError: m_updaterStatusMessage = QStringLiteral("CRC Error! Please try again!"); break;
        default: break;
        }
        // After a failure the dongle may be anywhere in its updater mode:
        // start it over from discovery.
        m_usbd->closeUSBDevice();
        m_usbd->scanUSB();
    }
    if (m_usbd->usbDongleType == DongleType::Application)
        m_usbd->rebootDongle();
    initGUI();
    emit updateFinished(m_updateOutcome);
}

void Configurator::finishUpdate(int outcome, const QString &message)
{
    m_updateOutcome = outcome;
    m_updaterStatusMessage = message;
    emit updateFinished(outcome);
}

void Configurator::updateProgressBarState(int state)
{
    Q_UNUSED(state)
}

void Configurator::updateProgressBarValue(int value)
{
    Q_UNUSED(value)
}

void Configurator::updateOverlayIcon(int index)
{
    Q_UNUSED(index)
}

void Configurator::SetOverlayIcon(QIcon icon, QString description)
{
    Q_UNUSED(icon)
    Q_UNUSED(description)
}

// ---------------------------------------------------------------------------
// Dongle update

void Configurator::endDongleUpdate(const QString &message, int outcome)
{
    qDebug() << "Configurator: firmwareUpdate: dongle:" << message;
    finishUpdate(outcome, message);
    // The updater view waits for this whatever the outcome.
    emit FirmwareUpdatesofSystem();
}

QString Configurator::dongleProgrammer(QString *folder) const
{
    QString start = workingDirectoryPath;
    while (start.endsWith(QLatin1Char('\\')) || (start.size() > 1 && start.endsWith(QLatin1Char('/'))))
        start.chop(1);
    if (start.isEmpty())
        start = QDir::currentPath();

    const QString candidateFolder = QDir(start).filePath(QStringLiteral("avrdude"));
    folder->clear();
    if (QFileInfo(candidateFolder).isDir()) {
        *folder = candidateFolder;
#ifdef Q_OS_WIN
        const QString bundled = QDir(candidateFolder).filePath(QStringLiteral("avrdude.exe"));
#else
        const QString bundled = QDir(candidateFolder).filePath(QStringLiteral("avrdude"));
#endif
        const QFileInfo info(bundled);
        if (info.isFile() && info.isExecutable())
            return bundled;
    }
    return QStandardPaths::findExecutable(QStringLiteral("avrdude"));
}

QString Configurator::runDongleProgrammer(const QString &program, const QStringList &arguments,
                                          const QString &folder)
{
    QProcess process;
    process.setProgram(program);
    // An argument list, never a command line: the file name goes to avrdude
    // exactly as chosen, whatever quotes or shell syntax it holds.
    process.setArguments(arguments);
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start();
    if (!process.waitForStarted(30000)) {
        qDebug() << "Configurator: firmwareUpdate: avrdude did not start:" << process.errorString();
        return QStringLiteral("Dongle programmer (avrdude) could not be started!");
    }

    QByteArray pending;
    const auto logLines = [&pending, &process](bool rest) {
        pending += process.readAll();
        // avrdude ends some lines with a carriage return alone.
        const auto lineEnd = [&pending] {
            for (int i = 0; i < pending.size(); ++i) {
                if (pending.at(i) == '\n' || pending.at(i) == '\r')
                    return i;
            }
            return -1;
        };
        int end;
        while ((end = lineEnd()) >= 0) {
            const QByteArray line = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (!line.isEmpty())
                qDebug().noquote() << "Configurator: firmwareUpdate: avrdude:" << QString::fromLocal8Bit(line);
        }
        if (rest && !pending.trimmed().isEmpty())
            qDebug().noquote() << "Configurator: firmwareUpdate: avrdude:"
                               << QString::fromLocal8Bit(pending.trimmed());
    };

    QElapsedTimer clock;
    clock.start();
    while (!process.waitForFinished(100) && process.state() != QProcess::NotRunning) {
        logLines(false);
        if (clock.elapsed() > programmerLimitMs) {
            process.kill();
            process.waitForFinished(5000);
            logLines(true);
            qDebug() << "Configurator: firmwareUpdate: avrdude stopped after" << clock.elapsed() << "ms";
            return QStringLiteral("Dongle update failed! Please try again!");
        }
    }
    logLines(true);

    qDebug() << "Configurator: firmwareUpdate: avrdude exit code" << process.exitCode()
             << "status" << process.exitStatus();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QStringLiteral("Dongle update failed! Please try again!");
    return QString();
}

void Configurator::updateDongle(const QString &path)
{
    const int dongleType = m_usbd->usbDongleType;
    QString port = m_usbd->comPortName;
#ifdef Q_OS_WIN
    if (port.isEmpty() && m_usbd->comPort >= 0)
        port = QStringLiteral("COM%1").arg(m_usbd->comPort);
#endif
    if (dongleType == 0) {
        endDongleUpdate(QStringLiteral("No dongle found! Please connect the dongle."));
        return;
    }

    qDebug() << " dongle firmwarepath 1";
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        endDongleUpdate(QStringLiteral("File not found!"));
        return;
    }
    file.close();

    qDebug() << " dongle firmwarepath 2";
    // Only the file's own name tells its generation: a folder named after
    // another generation must not let a wrong file through.
    static const QRegularExpression generationName(QStringLiteral("veltra_dongle_([0-9]).*hex"));
    const QRegularExpressionMatch match = generationName.match(QFileInfo(path).fileName());
    if (!match.hasMatch() || match.captured(1).toInt() != dongleGeneration) {
        endDongleUpdate(QStringLiteral("Wrong firmware file for this dongle!"));
        return;
    }

    qDebug() << " dongle firmwarepath 3";
    // Everything the programmer needs is checked before the dongle leaves
    // its application: a dongle left in its bootloader with nothing to
    // program it is worse than no update.
    QString folder;
    const QString program = dongleProgrammer(&folder);
    if (program.isEmpty()) {
        endDongleUpdate(QStringLiteral("Dongle programmer (avrdude) not found!"));
        return;
    }
    if (port.isEmpty()) {
        endDongleUpdate(QStringLiteral("The dongle has no serial port for the programmer!"));
        return;
    }

    if (dongleType != 4)
        m_usbd->enterDongleBootloader();
    m_usbd->usbLock->lock();
    m_usbd->closeUSBDevice();
    initGUI();
    Pacing::wait(bootloaderStartMs);

    qDebug() << " dongle firmwarepath 4";
    const QStringList arguments {
        QStringLiteral("-p"), QStringLiteral("m324p"),
        QStringLiteral("-c"), QStringLiteral("arduino"),
        QStringLiteral("-b"), QStringLiteral("57600"),
        QStringLiteral("-P"), port,
        QStringLiteral("-U"), QStringLiteral("flash:w:") + path + QStringLiteral(":i"),
    };
    qDebug() << "Configurator: firmwareUpdate:" << program << arguments << "in" << folder;
    const QString failure = runDongleProgrammer(program, arguments, folder);

    m_usbd->usbLock->unlock();
    m_usbd->scanUSB();
    if (failure.isEmpty())
        endDongleUpdate(QStringLiteral("Update Complete!"), UpdateComplete);
    else
        endDongleUpdate(failure);
}
