// The device session: construction, connect/disconnect and the readout of the
// radio into the properties the scene shows.
#include "configurator.h"

#include "usb/protocol.h"
#include "usb/usbd.h"

#include <QCoreApplication>
#include <QDebug>


Configurator::Configurator(Usbd *usbd)
    : QObject(nullptr)
    , serialThread(usbd)
    , m_usbd(usbd)
    , m_dmxIn(usbd->dmxInBuffer)
    , m_dmxOut(usbd->dmxOutBuffer)
{
    qDebug() << "Configurator: Configurator: ProcessId:" << QCoreApplication::applicationPid();
    m_swVersion = QStringLiteral("%1.%2.%3").arg(4).arg(1).arg(QStringLiteral("983M"));
    // Until a radio has been seen there is none: the status line says so, as
    // it does once one has gone.
    m_statusVeltra = QStringLiteral("Veltra: Disconnected");
    initGUI();
    m_updaterStatusMessage.clear();
    m_updaterAutorebootLabel.clear();
    disconnectRequested = 0;
    radioCapabilities.autoReboot = 0;
    connect(&m_programmer, &DongleProgrammer::progress, this, [this](int percent) {
        m_progress = percent;
        emit ProgressChanged();
    });
    connect(&m_programmer, &DongleProgrammer::finished, this, &Configurator::dongleProgrammerFinished);
}

Configurator::~Configurator()
{
    // A dongle update still under way holds the link's lock for avrdude.
    if (m_dongleUpdateRunning) {
        m_dongleUpdateRunning = false;
        m_usbd->usbLock->unlock();
    }
}

int Configurator::protocolLevel() const
{
    return m_usbd->protocolVersion;
}

quint8 Configurator::inByte(int index) const
{
    return m_dmxIn[index];
}

void Configurator::setStatusVeltra(const QString &text)
{
    m_statusVeltra = text;
    emit VeltraStatusChanged();
}

void Configurator::initGUI()
{
    qDebug() << "Configurator: initGUI";
    m_svnRevision = QStringLiteral("Revision %1").arg(983);
    deployListClear();
    m_sentFrames.clear();
    resetConfigGUI();
    showDongleVersion();
}

void Configurator::resetConfigGUI()
{
    qDebug() << "Configurator: resetConfigGUI";
    m_trxSerial.clear();
    m_trxMCU.clear();
    m_trxCode.clear();
    m_trxBootloader.clear();
    m_trxModel.clear();
    m_trxVersion.clear();
    m_trxHWVersion.clear();
    m_deviceLabel.clear();
    m_hopTable.clear();
    m_radioID.clear();
    maskList24.clear();
    maskList52.clear();
    maskList58.clear();
    readoutMask24.clear();
    readoutMask52.clear();
    readoutMask58.clear();
    deployMask24.clear();
    deployMask52.clear();
    deployMask58.clear();
    m_maskedChannels.clear();
    m_adaptiveList.clear();
    m_listForDirection.clear();
    m_listForRadioMode.clear();
    m_adaptiveState = -1;
}

void Configurator::disableConfigGUI()
{
    qDebug() << "Configurator: disableConfigGUI";
}

void Configurator::unloadVELTRA()
{
    deployListClear();
    m_sentFrames.clear();
    disableConfigGUI();
    showDongleVersion();
}

int Configurator::runCommand(int command)
{
    if (disconnectRequested) {
        m_usbd->dmxOff();
        disableConfigGUI();
        return 0;
    }
    const int result = m_usbd->runDmxCommand(command);
    // The exchange lets the scene run once, so Disconnect may have come in.
    if (disconnectRequested) {
        m_usbd->dmxOff();
        disableConfigGUI();
        return 0;
    }
    if (result == CommandResult::NoReply || result == CommandResult::BadReply) {
        m_usbd->dmxOff();
        return 0;
    }
    if (result == command)
        return 1;
    qDebug() << "Configurator: runCommand: reply" << result << "to command" << command;
    disableConfigGUI();
    m_usbd->dmxOff();
    return 0;
}

void Configurator::on_connect_clicked()
{
    DongleConnected();
    if (m_usbd->isUsbAttached()) {
        disconnectRequested = 0;
        m_usbd->initDongleDMX();
    }
    emit connectButtonClicked();
}

void Configurator::on_disconnect_clicked()
{
    if (m_usbd->isDmxAttached()) {
        m_usbd->dmxOff();
        disconnectRequested = 1;
    }
    emit disconnectButtonClicked();
}

void Configurator::updateLiveData()
{
    const quint32 seconds = quint32(inByte(6)) << 24 | quint32(inByte(7)) << 16 | quint32(inByte(8)) << 8 | inByte(9);
    const QString text = QStringLiteral("%1 days, %2:%3:%4")
                             .arg(seconds / 86400)
                             .arg((seconds / 3600) % 24, 2, 10, QLatin1Char('0'))
                             .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
                             .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (text == m_upTime)
        return;
    m_upTime = text;
    emit upTimeChanged();
}

void Configurator::forgetRadio()
{
    // Nothing of the radio read before may colour the next one's lists,
    // frames or report.
    radioCapabilities = RadioCapabilities();
    radioSettings = RadioSettings();
    trxHardwareNumber = 0;
    addonType = 0;
    m_r8Box = false;
    m_addonVersion = QStringLiteral("-");
    m_settingsRead = {};
    m_edits = {};
    m_modes.clear();
    m_directions.clear();
    radioModeIndex = -1;
    directionIndex = -1;
    power24Index = power58Index = power52Index = 0;
    powerList24.clear();
    powerList58.clear();
    powerList52.clear();
    presentPower24.clear();
    presentPower58.clear();
    presentPower52.clear();
    m_powerList.clear();
    m_presentPower.clear();
    m_presentRadioMode.clear();
    m_presentTransmitterMode.clear();
    adaptiveOptions.clear();
    rdmOptions.clear();
    m_rdmEnabledState = -1;
    m_highbandState = -1;
}

void Configurator::decodeBand(int band)
{
    // Only what the reply carries counts; a short reply masks nothing more.
    quint8 mask[11];
    for (int i = 0; i < 11; ++i)
        mask[i] = RadioFrames::replyByte(m_dmxIn, 6 + i, protocolLevel());
    bitMaskToList(mask, band);
}

void Configurator::loadVELTRA()
{
    const bool complete = readRadio();
    emit readoutFinished(complete);
}

bool Configurator::readRadio()
{
    resetConfigGUI();
    forgetRadio();
    disconnectRequested = 0;

    const QString stars(55, QLatin1Char('*'));
    qDebug().noquote() << stars;
    qDebug() << "  Protocol version" << protocolLevel() << "found";
    qDebug().noquote() << stars;

    const int level = protocolLevel();
    auto in = [this, level](int index) { return int(RadioFrames::replyByte(m_dmxIn, index, level)); };

    if (level == 0) {
        // A legacy radio sends no replies to read: its status frame, already
        // in the in-buffer, carries the 2.4 GHz mask and power. Its class is
        // all it tells of itself.
        m_trxModel = QStringLiteral("R7/R8");
        decodeBand(Band::Band24);
        powerList24 = legacyPowerTable;
        power24Index = in(22);
        presentPower24 = powerList24.value(power24Index);
    } else {
        if (!runCommand(RadioCommand::ReadIdentity))
            return false;
        const RadioIdentity id = RadioFrames::decodeIdentity(m_dmxIn, level);
        m_trxSerial = id.serial;
        m_trxMCU = id.mcu;
        m_trxCode = id.code;
        m_trxVersion = id.version;
        m_trxBootloader = id.bootloader;
        trxHardwareNumber = id.hardwareNumber;
        m_trxHWVersion = id.hardwareText;
        addonType = id.addonType;
        qDebug() << id.model;
        setStatusVeltra(id.model);
        m_trxModel = id.model;
        if (id.updateAvailable)
            setStatusVeltra(m_statusVeltra + QStringLiteral("Update available!"));

        qDebug() << "Get Capabilities";
        if (!runCommand(RadioCommand::ReadCapabilities))
            return false;
        const RadioCapabilities &caps = radioCapabilities = RadioFrames::decodeCapabilities(m_dmxIn, level);
        m_r8Box = caps.r8Compatibility != 0;
        qDebug() << "capability.r8l" << caps.r8l;
        qDebug() << "capability.r8h" << caps.r8h;
        m_addonVersion = RadioFrames::addonText(caps.addon, addonType);

        if (caps.label) {
            if (!runCommand(RadioCommand::ReadLabel))
                return false;
            QString label;
            for (int i = 6; i <= 37; ++i)
                label += QChar(in(i));
            qDebug() << label;
            // QString::trimmed leaves NUL characters alone: they are part of
            // the label as the radio stores it.
            m_deviceLabel = label.trimmed();
        }

        if (caps.band24) {
            if (!runCommand(RadioCommand::ReadBand24))
                return false;
            qDebug() << " this is for 2.4";
            decodeBand(Band::Band24);
            powerList24 = trxHardwareNumber < 16 ? mwPowerTable24 : barsPowerTable;
            power24Index = in(22);
            presentPower24 = powerList24.value(power24Index);
        }

        if (caps.r8h == 0) {
            powerList58 = dashTable;
        } else {
            if (trxHardwareNumber < 16) {
                powerList58 = mwPowerTable58;
            } else if (trxHardwareNumber == 16) {
                powerList58 = barsPowerTable;
                if (caps.band5Count == 2)
                    powerList52 = barsPowerTable;
            } else {
                powerList58 = levelPowerTable;
            }
            if (!runCommand(RadioCommand::ReadBand58))
                return false;
            qDebug() << " this is for 5.8";
            decodeBand(Band::Band58);
            power58Index = in(22);
            presentPower58 = powerList58.value(power58Index);
            if (caps.band5Count == 2) {
                if (!runCommand(RadioCommand::ReadBand52))
                    return false;
                qDebug() << " this is for 5.2";
                decodeBand(Band::Band52);
                power52Index = in(22);
                presentPower52 = powerList52.value(power52Index);
            } else {
                decodeBand(Band::Band52);
            }
        }

        if (caps.radioId) {
            if (!runCommand(RadioCommand::ReadRadioId))
                return false;
            m_radioID = QString();
            for (int i = 6; i <= 9; ++i)
                m_radioID += QStringLiteral("%1").arg(in(i), 2, 16, QLatin1Char('0')).toUpper();
        }

        if (!runCommand(RadioCommand::ReadSettings))
            return false;
        m_settingsRead = RadioFrames::settingsPayloadOf(m_dmxIn, level);
        radioSettings = RadioFrames::decodeSettings(m_dmxIn, level, caps.band58Switch == 1);

        buildSettingsLists();

        if (caps.adaptiveHopping) {
            if (!runCommand(RadioCommand::QueryAdaptive))
                return false;
            switch (radioSettings.radioModeCode) {
            case 4: case 8: case 10: m_adaptiveList = maskList24; break;
            case 5: case 9: case 11: m_adaptiveList = maskList58; break;
            case 41: case 43: m_adaptiveList = maskList52; break;
            default: break;
            }
        }
    }

    if (m_usbd->dongleVersion.major < 2) {
        m_hopTable = QStringLiteral("You need a newer dongle version.");
    } else {
        if (disconnectRequested) {
            m_usbd->dmxOff();
            return false;
        }
        if (radioCapabilities.hopTable) {
            const int command = level == 0 ? RadioCommand::ReadLegacyHopTable : RadioCommand::ReadHopTable;
            const int result = m_usbd->runDmxCommand(command);
            // A legacy radio's answer code is not fixed, but no answer (254)
            // or a broken one (255) leaves an old frame in the in-buffer.
            const bool answered = level == 0 ? (result != 0 && result != CommandResult::NoReply && result != CommandResult::BadReply)
                                         : result == RadioCommand::ReadHopTable;
            if (answered) {
                qDebug() << "Davoruz: Populating Hop Table";
                for (int i = 6; i <= 89; ++i)
                    m_hopTable += QStringLiteral("%1").arg(in(i), 2, 16, QLatin1Char('0'));
            } else if (level == 0) {
                // Many legacy radios have no hop table to give: the readout
                // is complete without it.
                qDebug() << "Configurator: no hop table from the legacy radio, result" << result;
            } else {
                m_usbd->dmxOff();
                return false;
            }
        }
    }

    deployListClear();
    m_sentFrames.clear();
    m_usbd->liveDataEnabled = 1;
    if (level == 2)
        m_usbd->runDmxCommand(RadioCommand::EndOfReadout);
    return true;
}
