// Firmware updates as the updater view starts them: radio and add-on board
// through the upload thread, the dongle through avrdude.
#include "config/configurator.h"

#include "usb/pacing.h"
#include "usb/protocol.h"
#include "usb/usbd.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPair>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <iterator>

namespace {

// The generation of firmware the dongle runs; its bootloader (type 4) is of
// the same generation.
constexpr int dongleGeneration = 3;
// The dongle restarts into its bootloader and lets go of the port meanwhile.
constexpr int bootloaderStartMs = 2000;
// A radio whose new firmware was written restarts into it and is read as
// after Connect: a status poll every 1.5 s finds it, then a full readout of
// a few seconds on a slow line, more when replies are lost and the readout
// starts over. Past this it has stayed in its bootloader.
constexpr int radioBackMs = 30000;

// Why a firmware file that could not be taken was refused, as the operator
// is told it (message, reason name): a folder or an oversize file is not a
// missing one.
QPair<QString, QString> fileRefusal(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return {QStringLiteral("Not a firmware file!"), QStringLiteral("not_a_file")};
    if (info.exists() && info.size() > VFP::maxFileBytes)
        return {QStringLiteral("File too large!"), QStringLiteral("file_too_large")};
    return {QStringLiteral("File not found!"), QStringLiteral("file_not_found")};
}

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
    if (serialThread.isRunning() || m_dongleUpdateRunning || m_radioUpdateRunning) {
        // Loading a package now would change the blocks under the upload.
        qDebug() << "Configurator: firmwareUpdate: an update is running";
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
    // The package is judged before the radio is touched: a radio rebooted
    // into its bootloader for a file that is then refused is left waiting.
    const int loaded = serialThread.vfp->parseFile(path);
    if (loaded == VFP::ParseCannotOpen) {
        const auto refusal = fileRefusal(path);
        finishUpdate(UpdateFailed, refusal.first, refusal.second);
        return;
    }
    if (loaded == VFP::ParseNoData) {
        finishUpdate(UpdateFailed, QStringLiteral("File holds no firmware data!"), QStringLiteral("no_firmware_data"));
        return;
    }
    if (loaded != VFP::ParseOk) {
        finishUpdate(UpdateFailed, QStringLiteral("File data error!"), QStringLiteral("file_data_error"));
        return;
    }

    if (m_usbd->usbDongleType != DongleType::Application) {
        // Without a dongle running its application nothing can reach the
        // radio: an upload would only wait for answers that cannot come.
        finishUpdate(UpdateFailed, QStringLiteral("No dongle found! Please connect the dongle."),
                     QStringLiteral("no_dongle"));
        return;
    }

    if (updateType == radio_update && radioCapabilities.autoReboot != 0) {
        m_updaterStatusMessage = QStringLiteral("Trying to reboot Veltra...");
        executeDeployItem(DeployItem::Reboot);
    }

    disableConfigGUI();
    m_usbd->enterUpdaterMode();
    m_updaterStatusMessage.clear();
    startUpdateRecord();
    m_radioUpdateRunning = true;
    fileError(false);
    serialThread.startProcess(updateType);
    emit FirmwareUpdatesofSystem();
}

void Configurator::cancelUpdate(int type, QString path)
{
    Q_UNUSED(path)
    if (type == dongle_update) {
        cancelDongleUpdate();
        return;
    }
    if (unsigned(type) > unsigned(addon_update))
        return;
    if (m_radioBackLimit.isActive()) {
        // The image is written; only the wait for the radio is given up.
        endRadioUpdate(UpdateCanceled, QStringLiteral("Update canceled!"), QString());
        return;
    }
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
    struct Ending
    {
        int outcome;
        const char *message;
        const char *reason;
    };
    static const Ending endings[] = {
        {UpdateComplete, "Update Complete!", ""},
        {UpdateFailed, "USB Error! Please try again!", "usb_error"},
        {UpdateFailed, "File Error! No matching data found!", "no_matching_data"},
        {UpdateFailed, "Timeout! Please try again!", "timeout"},
        {UpdateFailed, "Unknown response! Please try again!", "unknown_response"},
        {UpdateFailed, "CRC Error! Please try again!", "crc_error"},
        {UpdateCanceled, "Update canceled!", ""},
    };
    const int status = serialThread.uploadStatus;
    const bool known = status >= 0 && status < int(std::size(endings));
    const Ending ending = known ? endings[status] : Ending {UpdateFailed, "", "unknown_response"};
    if (ending.outcome != UpdateFailed) {
        m_usbd->checkUSBDevice();
        m_usbd->dmxOff();
    } else {
        // After a failure the dongle may be anywhere in its updater mode:
        // start it over from discovery.
        m_usbd->closeUSBDevice();
        m_usbd->scanUSB();
    }
    if (m_usbd->usbDongleType == DongleType::Application)
        m_usbd->rebootDongle();
    if (status == UploadStatus::Complete) {
        // Every frame was taken; whether the radio runs what it took shows
        // only when it answers again.
        initGUI();
        awaitRadioBack();
        return;
    }
    if (known)
        m_updaterStatusMessage = QString::fromLatin1(ending.message);
    endRadioUpdate(ending.outcome, QString::fromLatin1(ending.message), QString::fromLatin1(ending.reason));
}

void Configurator::awaitRadioBack()
{
    qDebug() << "Updater: waiting for the radio to answer with its new firmware";
    m_updaterStatusMessage = QStringLiteral("Waiting for the radio to restart...");
    m_radioBackReadout = connect(this, &Configurator::readoutFinished, this, &Configurator::radioBack);
    m_radioBackLimit.setSingleShot(true);
    m_radioBackLimit.callOnTimeout(this, &Configurator::radioNotBack, Qt::UniqueConnection);
    m_radioBackLimit.start(Pacing::interval(radioBackMs));
    lookForRadio();
}

void Configurator::radioNotBack()
{
    qDebug() << "Updater: the radio did not answer after the update";
    if (!m_usbd->isUsbAttached()) {
        // Nothing could be asked: the dongle went, not the radio.
        endRadioUpdate(UpdateFailed, QStringLiteral("USB Error! Please try again!"), QStringLiteral("usb_error"));
        return;
    }
    endRadioUpdate(UpdateFailed,
                   QStringLiteral("The radio did not restart: it waits in its bootloader. Please run the update again!"),
                   QStringLiteral("radio_in_bootloader"));
}

void Configurator::lookForRadio()
{
    // The radio known before has restarted since (through its bootloader),
    // or its last readout broke off: the status poll that sees it must
    // announce it anew, and its readout is what tells the new firmware.
    m_usbd->radioAttached = false;
    m_usbd->liveDataEnabled = 0;
    // As Connect does: the monitoring finds the radio and reads it out.
    on_connect_clicked();
}

void Configurator::radioBack(bool readout)
{
    // Connected only while the limit runs: whatever ends the wait stops
    // both together.
    if (!readout) {
        // Seen but not read whole (a line fault, a radio still starting):
        // the next status poll finds it again.
        qDebug() << "Updater: the radio's readout failed; trying again";
        lookForRadio();
        return;
    }
    qDebug() << "Updater: the radio answers with firmware" << m_trxVersion;
    endRadioUpdate(UpdateComplete, QStringLiteral("Update Complete!"), QString());
}

void Configurator::endRadioUpdate(int outcome, const QString &message, const QString &reason)
{
    m_radioBackLimit.stop();
    disconnect(m_radioBackReadout);
    m_radioUpdateRunning = false;
    m_updateOutcome = outcome;
    m_updateReason = outcome == UpdateFailed ? reason : QString();
    m_updateMessage = message;
    if (!message.isEmpty())
        m_updaterStatusMessage = message;
    // A radio that came back stays connected with its new firmware read, as
    // after Connect. Otherwise the view is rebuilt; the dongle's state may
    // rewrite the status text there, so the outcome and its reason are what
    // the scene and the command line go by.
    if (outcome != UpdateComplete)
        initGUI();
    emit updateFinished(m_updateOutcome);
}

void Configurator::startUpdateRecord()
{
    m_updateOutcome = UpdateNone;
    m_updateReason.clear();
    m_updateMessage.clear();
    // Each update starts from nothing: no progress left over from the one
    // before.
    m_progressRange = 0;
    m_progressValue = -1;
    m_progress = 0;
    emit ProgressChanged();
}

void Configurator::finishUpdate(int outcome, const QString &message, const QString &reason)
{
    m_updateOutcome = outcome;
    m_updateReason = outcome == UpdateFailed ? reason : QString();
    m_updateMessage = message;
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

void Configurator::endDongleUpdate(int outcome, const QString &message, const QString &reason)
{
    qDebug() << "Configurator: firmwareUpdate: dongle:" << message;
    m_dongleUpdateRunning = false;
    finishUpdate(outcome, message, reason);
    // The updater view waits for this whatever the outcome.
    emit FirmwareUpdatesofSystem();
}

QString Configurator::dongleProgrammer(QString *folder) const
{
    // QDir takes the folder with or without its closing separator.
    const QString start = workingDirectoryPath.isEmpty() ? QDir::currentPath() : workingDirectoryPath;
    const QString programFolder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    return findDongleProgrammer(programFolder, start, folder);
}

QString Configurator::findDongleProgrammer(const QString &programFolder, const QString &start, QString *folder)
{
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("avrdude.exe");
#else
    const QString name = QStringLiteral("avrdude");
#endif

    // The avrdude folder the product ships beside its program comes first: a
    // menu entry or a shortcut starts the program in some other folder. Then
    // the folder under where it was started, then whatever the PATH holds.
    const QString besideProgram = programFolder.isEmpty() ? QString() : QDir(programFolder).filePath(QStringLiteral("avrdude"));
    const QString underStart = QDir(start).filePath(QStringLiteral("avrdude"));
    for (const QString &candidate : {besideProgram, underStart}) {
        if (candidate.isEmpty())
            continue;
        const QFileInfo info(QDir(candidate).filePath(name));
        if (info.isFile() && info.isExecutable()) {
            *folder = candidate;
            return info.filePath();
        }
    }
    // avrdude from the PATH still runs in the avrdude folder when there is one.
    *folder = QFileInfo(underStart).isDir() ? underStart : QString();
    return QStandardPaths::findExecutable(QStringLiteral("avrdude"));
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
        endDongleUpdate(UpdateFailed, QStringLiteral("No dongle found! Please connect the dongle."),
                        QStringLiteral("no_dongle"));
        return;
    }

    qDebug() << " dongle firmwarepath 1";
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        const auto refusal = fileRefusal(path);
        endDongleUpdate(UpdateFailed, refusal.first, refusal.second);
        return;
    }
    file.close();

    qDebug() << " dongle firmwarepath 2";
    // Only the file's own name tells its generation: a folder named after
    // another generation must not let a wrong file through.
    static const QRegularExpression generationName(QStringLiteral("veltra_dongle_([0-9]).*hex"));
    const QRegularExpressionMatch match = generationName.match(QFileInfo(path).fileName());
    if (!match.hasMatch() || match.captured(1).toInt() != dongleGeneration) {
        endDongleUpdate(UpdateFailed, QStringLiteral("Wrong firmware file for this dongle!"),
                        QStringLiteral("wrong_dongle_file"));
        return;
    }

    qDebug() << " dongle firmwarepath 3";
    // Everything the programmer needs is checked before the dongle leaves
    // its application: a dongle left in its bootloader with nothing to
    // program it is worse than no update.
    m_programmerPath = dongleProgrammer(&m_programmerFolder);
    if (m_programmerPath.isEmpty()) {
        endDongleUpdate(UpdateFailed, QStringLiteral("Dongle programmer (avrdude) not found!"),
                        QStringLiteral("no_programmer"));
        return;
    }
    if (port.isEmpty()) {
        endDongleUpdate(UpdateFailed, QStringLiteral("The dongle has no serial port for the programmer!"),
                        QStringLiteral("no_port"));
        return;
    }
    m_programmerArguments = QStringList {
        QStringLiteral("-p"), QStringLiteral("m324p"),
        QStringLiteral("-c"), QStringLiteral("arduino"),
        QStringLiteral("-b"), QStringLiteral("57600"),
        QStringLiteral("-P"), port,
        QStringLiteral("-U"), QStringLiteral("flash:w:") + path + QStringLiteral(":i"),
    };

    m_dongleUpdateRunning = true;
    startUpdateRecord();
    if (dongleType != DongleType::Bootloader)
        m_usbd->enterDongleBootloader();
    // Held until the programmer is done, across the event loop: the upload
    // thread and anything else that takes the lock keep off the port. The
    // monitoring's chain ends with the dongle closed, and scanUSB below
    // starts it again.
    m_usbd->usbLock->lock();
    m_usbd->closeUSBDevice();
    initGUI();
    m_bootloaderStart.setSingleShot(true);
    m_bootloaderStart.callOnTimeout(this, &Configurator::runDongleProgrammer, Qt::UniqueConnection);
    m_bootloaderStart.start(Pacing::interval(bootloaderStartMs));
}

void Configurator::runDongleProgrammer()
{
    qDebug() << " dongle firmwarepath 4";
    qDebug() << "Configurator: firmwareUpdate:" << m_programmerPath << m_programmerArguments << "in"
             << m_programmerFolder;
    m_programmer.start(m_programmerPath, m_programmerArguments, m_programmerFolder);
}

void Configurator::dongleProgrammerFinished(int result)
{
    if (!m_dongleUpdateRunning)
        return;
    m_usbd->usbLock->unlock();
    // Rediscovers the dongle, which has restarted with its new firmware, or
    // still waits in its bootloader after a write that stopped.
    m_usbd->scanUSB();
    switch (result) {
    case DongleProgrammer::Written:
        endDongleUpdate(UpdateComplete, QStringLiteral("Update Complete!"));
        break;
    case DongleProgrammer::Canceled:
        endDongleUpdate(UpdateCanceled, QStringLiteral("Update canceled!"));
        break;
    case DongleProgrammer::NotStarted:
        endDongleUpdate(UpdateFailed, QStringLiteral("Dongle programmer (avrdude) could not be started!"),
                        QStringLiteral("programmer_not_started"));
        break;
    default:
        endDongleUpdate(UpdateFailed, QStringLiteral("Dongle update failed! Please try again!"),
                        QStringLiteral("dongle_failed"));
        break;
    }
}

void Configurator::cancelDongleUpdate()
{
    if (!m_dongleUpdateRunning)
        return;
    qDebug() << "Configurator: cancelUpdate: dongle";
    if (m_bootloaderStart.isActive()) {
        // avrdude has not started: nothing was written.
        m_bootloaderStart.stop();
        dongleProgrammerFinished(DongleProgrammer::Canceled);
        return;
    }
    m_programmer.cancel();
}
