// The settings model: which choices the radio offers, which is in force, and
// how the operator's changes travel back to the radio.
#include "configurator.h"

#include "usb/pacing.h"
#include "usb/protocol.h"
#include "usb/usbd.h"

#include "app/logmessagehandler.h"

#include <QDebug>

#include <algorithm>
#include <iterator>

const QStringList Configurator::barsPowerTable{"5 Bars", "4 Bars", "3 Bars", "2 Bars"};
const QStringList Configurator::legacyPowerTable{"375mW 5 Bars", "100mW 4 Bars", "25mW 3 Bars", "Low(10mW) 2 Bars"};
const QStringList Configurator::mwPowerTable24{"500mW 5 Bars", "375mW 4 Bars", "100mW 3 Bars", "25mW 2 Bars"};
const QStringList Configurator::mwPowerTable58{"500mW 5 Bars", "140mW Bars", "35mW Bars", "10mW 2 Bars"};
const QStringList Configurator::levelPowerTable{"Level 7 L{4-5}", "Level 6 L{3-5}", "Level 5 L{2-5}",
                                                "Level 4 L{1-5}", "Level 3 L{1-4}", "Level 2 L{1-3}",
                                                "Level 1 L{1-2}", "Level 0 L{1}"};
const QStringList Configurator::offOnTable{"Off", "ON"};
const QStringList Configurator::dashTable{"-"};


void Configurator::buildSettingsLists()
{
    const RadioCapabilities &caps = radioCapabilities;
    const RadioSettings &settings = radioSettings;
    const int level = protocolLevel();

    // Entries and codes are paired by name, whatever shape the list takes
    // on this radio: the code in force shows as its own entry, and a chosen
    // entry sends its own code.
    if (caps.band24) {
        m_modes = RadioFrames::radioModes(caps, trxHardwareNumber, level);
        m_listForRadioMode = RadioFrames::texts(m_modes);
        const int code = settings.radioModeCode;
        if (RadioFrames::isR9Class(caps, trxHardwareNumber)) {
            const int column = caps.r8h ? 3 : 2;
            for (int i = 0; i < 4; ++i) {
                qDebug() << " here for radio settings " << code;
                qDebug() << " here for radio settings " << column;
            }
        }
        radioModeIndex = RadioFrames::indexOfCode(m_modes, code);
        // An unknown code shows no mode rather than a wrong one.
        m_presentRadioMode = m_listForRadioMode.value(radioModeIndex);
    }

    m_directions = RadioFrames::directions(caps, settings, trxHardwareNumber, level);
    m_listForDirection = RadioFrames::texts(m_directions);
    if (level == 1)
        directionIndex = RadioFrames::indexOfCode(
            m_directions, settings.pin10Flag == 1 ? RadioFrames::pin10Direction : settings.direction);
    else if (level >= 2)
        directionIndex = RadioFrames::indexOfCode(m_directions, settings.direction);
    m_presentTransmitterMode = m_listForDirection.value(directionIndex);

    adaptiveOptions = offOnTable;
    rdmOptions = offOnTable;
    m_adaptiveState = settings.adaptiveState;
    m_rdmEnabledState = caps.rdm ? settings.rdmState : -1;
    // Some radios report the switch with 2 added; the choice is Off or ON
    // either way, and goes back with the 2 it came with.
    if (caps.band58Switch == 1)
        m_highbandState = settings.band58State >= 2 ? settings.band58State - 2 : settings.band58State;
    else
        m_highbandState = -1;
}

void Configurator::powerList(int mode)
{
    m_operatingBand = mode;
    if (mode == 0 || mode == 1 || mode == 2) {
        if (mode == 0) {
            m_powerList = powerList24;
            m_presentPower = presentPower24;
        } else if (mode == 2) {
            m_powerList = powerList58;
            m_presentPower = presentPower58;
        } else {
            m_powerList = powerList52;
            m_presentPower = presentPower52;
        }
        emit powerSignal();
        if (mode == 0)
            qDebug() << " here for 2.4 power";
        else if (mode == 2)
            qDebug() << " here for 5.8 power";
        else
            qDebug() << " here for 5.2 power";
    }
    emit radioPowerloaded();
}

void Configurator::writePowerSettings(int index)
{
    m_powerSet = index;
    switch (m_operatingBand) {
    case Band::Band24:
        power24Index = index;
        deployListAppend(DeployItem::Band24);
        break;
    case Band::Band58:
        power58Index = index;
        deployListAppend(DeployItem::Band58);
        break;
    case Band::Band52:
        power52Index = index;
        deployListAppend(DeployItem::Band52);
        break;
    default:
        break;
    }
    emit OutputPowerChanged();
}

void Configurator::on_radioMode_currentIndexChanged(int index)
{
    radioModeIndex = index;
    m_edits.modeCode = index >= 0 && index < m_modes.size() ? m_modes.at(index).code : -1;
    deployListAppend(DeployItem::Settings);
    emit radioModechanged();
}

void Configurator::on_direction_currentIndexChanged(int index)
{
    directionIndex = index;
    m_edits.direction = index >= 0 && index < m_directions.size() ? m_directions.at(index).code : -1;
    deployListAppend(DeployItem::Settings);
    emit radioDirectionChanged();
}

void Configurator::on_adaptiveHopping_currentIndexChanged(int index)
{
    m_adaptiveState = index;
    m_edits.adaptive = index >= 0 ? index : -1;
    deployListAppend(DeployItem::Settings);
    emit adaptivehoppingChanged();
}

void Configurator::on_enableRDM_currentIndexChanged(int index)
{
    // A radio without RDM keeps its byte as it reported it.
    if (radioCapabilities.rdm) {
        m_rdmEnabledState = index;
        m_edits.rdm = index >= 0 ? index : -1;
    }
    deployListAppend(DeployItem::Settings);
    emit enableRDMchanged();
}

void Configurator::on_enable58_currentIndexChanged(int index)
{
    if (radioCapabilities.band58Switch == 1) {
        m_highbandState = index;
        m_edits.band58 = index >= 0 ? index : -1;
    }
    deployListAppend(DeployItem::Settings);
    emit enable58changed();
}

void Configurator::on_deviceLabel_textChanged(QString arg1)
{
    m_deviceLabel = arg1;
    deployListAppend(DeployItem::Label);
    emit DeviceLabelChanged();
}

void Configurator::deployListAppend(int mode)
{
    if (!deployList.contains(mode))
        deployList.append(mode);
    qDebug().noquote() << "debugging and appending" << logList(deployList);
}

void Configurator::deployListClear()
{
    deployList.clear();
}

int Configurator::executeDeployItem(int item)
{
    qDebug() << "Configurator: deploy command" << item;
    qDebug() << "Configurator: deploy command passed " << item;
    quint8 *out = m_dmxOut;
    out[0] = 0xCC;
    out[1] = 0x01;
    out[3] = 0x7A;
    out[4] = 0x3C;

    const int level = protocolLevel();
    if (level == 0 && item != DeployItem::Band24) {
        // A legacy radio takes its 2.4 GHz frame and nothing else.
        qDebug() << "Configurator: not sent to a legacy radio:" << item;
        return 0;
    }

    // A mode change moves the radio to another 5 GHz band: band frames still
    // pending follow it there.
    RadioFrames::retargetBandItems(deployList, radioSettings.radioModeCode, m_edits.modeCode,
                                   radioCapabilities.band5Count == 2);

    auto bandFrame = [&](const char *enter, int band, int command, int powerIndex) {
        qDebug() << enter;
        splitMaskList(band);
        listToBitMask(band);
        std::copy(std::begin(maskBytes), std::end(maskBytes), out + 6);
        out[2] = 23;
        out[5] = quint8(command);
        out[22] = quint8(powerIndex);
    };

    switch (item) {
    case DeployItem::Band24:
        bandFrame("2.4 mask enter", Band::Band24,
                  level == 0 ? RadioCommand::WriteLegacyBand24 : RadioCommand::WriteBand24, power24Index);
        if (level == 0)
            out[2] = 21;
        break;
    case DeployItem::Band58:
        bandFrame("5.8 mask enter", Band::Band58, RadioCommand::WriteBand58, power58Index);
        break;
    case DeployItem::Band52:
        bandFrame("5.2 mask enter", Band::Band52, RadioCommand::WriteBand52, power52Index);
        break;
    case DeployItem::Settings:
        buildSettingsFrame();
        break;
    case DeployItem::Label:
        out[2] = 38;
        out[5] = RadioCommand::WriteLabel;
        for (int i = 0; i < 32; ++i) {
            const bool fits = m_deviceLabel.size() > i && m_deviceLabel.at(i).unicode() < 256;
            out[6 + i] = fits ? quint8(m_deviceLabel.at(i).unicode()) : 0;
        }
        break;
    case DeployItem::Reboot:
        out[2] = 7;
        out[5] = RadioCommand::Reboot;
        out[6] = 10;
        break;
    default:
        // Nothing was composed: sending would repeat whatever frame the
        // buffer still holds.
        return 0;
    }

    // Frames are not acknowledged, but one that did not leave the PC is
    // known: the caller must not report the deploy as done.
    int sent;
    if (level <= 0) {
        sent = m_usbd->sendPacket();
        m_usbd->dmxOff();
    } else {
        sent = m_usbd->sendPacketWithCRC();
    }
    if (sent != 0)
        qDebug() << "Configurator: deploy command not sent" << item;
    return sent;
}

void Configurator::buildSettingsFrame()
{
    quint8 *out = m_dmxOut;
    const RadioCapabilities &caps = radioCapabilities;
    const int level = protocolLevel();
    const RadioFrames::SettingsPayload payload = RadioFrames::settingsFrame(m_settingsRead, m_edits, level);
    std::copy(payload.begin(), payload.end(), out + RadioFrames::payloadSlot);
    out[2] = 20;
    out[5] = RadioCommand::WriteSettings;
    if (level != 1) {
        if (trxHardwareNumber >= 16 && caps.r8l == 1 && caps.band5Count == 2)
            qDebug() << " here came in 5 ";
        qDebug() << "Set radio mode to " << payload[RadioFrames::ModeCodeByte] << " from position " << radioModeIndex
                 << caps.r8h << caps.r8l;
    }
}

bool Configurator::deployPending()
{
    // The length is read again at every step: a frame may retarget the items
    // still pending.
    bool allSent = true;
    for (int i = 0; i < deployList.size(); ++i) {
        qDebug() << " on store and disconnect clicked " << deployList.at(i);
        if (executeDeployItem(deployList.at(i)) != 0) {
            allSent = false;
            break;
        }
        Pacing::wait(500);
    }
    deployList.clear();
    return allSent;
}

void Configurator::on_storeAndDisconnect_clicked()
{
    qDebug() << "--- Deploying: ---";
    if (!deployPending()) {
        // Storing now would keep a half-written set of settings: the radio
        // stays as it was stored before.
        qDebug() << "Configurator: deploy incomplete, settings not stored";
        m_usbd->dmxOff();
        return;
    }

    if (protocolLevel() == 0) {
        m_usbd->dmxOff();
        emit storeAndDisconectClicked();
        return;
    }
    if (!writeDeviceLog(reportFileName()))
        qDebug() << "Configurator: device report not written:" << reportFileName() << m_reportError;
    if (!runCommand(RadioCommand::StoreSettings))
        return;
    m_usbd->dmxOff();
    emit storeAndDisconectClicked();
}

void Configurator::restoreFactoryDefaults()
{
    // The defaults are what the operator is shown: the selections are set to
    // the same entries so that the frames carry them too.
    presentPower24 = powerList24.value(1);
    power24Index = 1;
    executeDeployItem(DeployItem::Band24);
    if (radioCapabilities.r8h) {
        const int code = radioSettings.radioModeCode;
        if (code == 5 || code == 9 || code == 11) {
            presentPower58 = powerList58.value(1);
            power58Index = 1;
            executeDeployItem(DeployItem::Band58);
        } else if (code == 41 || code == 43) {
            presentPower52 = powerList52.value(1);
            power52Index = 1;
            executeDeployItem(DeployItem::Band52);
        }
    }
    m_presentRadioMode = m_listForRadioMode.value(1);
    radioModeIndex = 1;
    m_edits.modeCode = m_modes.value(1, RadioChoice {QString(), -1}).code;
    m_adaptiveState = 1;
    m_edits.adaptive = 1;
    if (radioCapabilities.rdm) {
        m_rdmEnabledState = 1;
        m_edits.rdm = 1;
    }
    executeDeployItem(DeployItem::Settings);
    m_deviceLabel = QStringLiteral("Skylane");
    executeDeployItem(DeployItem::Label);
}

void Configurator::on_deployDefaultFlexButton_clicked()
{
    m_presentTransmitterMode = m_listForDirection.value(0);
    directionIndex = 0;
    m_edits.direction = m_directions.value(0, RadioChoice {QString(), -1}).code;
    restoreFactoryDefaults();
}

void Configurator::on_deployDefaultPin10_clicked()
{
    m_presentTransmitterMode = m_listForDirection.value(2);
    directionIndex = 2;
    m_edits.direction = m_directions.value(2, RadioChoice {QString(), -1}).code;
    restoreFactoryDefaults();
}
