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
    // At level 1 a direction byte of 2 is the third entry, pin 10, as the
    // flag is: the list has no direction of its own for that byte.
    if (level == 1)
        directionIndex = RadioFrames::indexOfCode(
            m_directions, settings.pin10Flag == 1 || settings.direction == 2 ? RadioFrames::pin10Direction
                                                                               : settings.direction);
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

bool Configurator::offersBand(int band) const
{
    const RadioCapabilities &caps = radioCapabilities;
    const bool legacy = protocolLevel() == 0;
    switch (band) {
    case Band::Band24: return legacy || caps.band24;
    case Band::Band52: return !legacy && caps.band5Count == 2;
    case Band::Band58: return !legacy && caps.r8h;
    default: return false;
    }
}

bool Configurator::offersLabel() const
{
    return protocolLevel() > 0 && radioCapabilities.label;
}

QString Configurator::labelProblem(const QString &label) const
{
    return RadioSetup::labelProblem(label);
}

void Configurator::writePowerSettings(int index)
{
    m_powerSet = index;
    if (offersBand(m_operatingBand))
        m_bandEdits[m_operatingBand].power = true;
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

// A choice that means what the radio reported is no edit: the byte goes
// back exactly as read (a radio's adaptive byte of 2 stays 2 when the
// operator leaves it ON).
void Configurator::on_radioMode_currentIndexChanged(int index)
{
    radioModeIndex = index;
    const int code = index >= 0 && index < m_modes.size() ? m_modes.at(index).code : -1;
    m_edits.modeCode = code == radioSettings.radioModeCode ? -1 : code;
    deployListAppend(DeployItem::Settings);
    emit radioModechanged();
}

void Configurator::on_direction_currentIndexChanged(int index)
{
    directionIndex = index;
    const int code = index >= 0 && index < m_directions.size() ? m_directions.at(index).code : -1;
    const RadioSettings &read = radioSettings;
    const int codeAsRead = protocolLevel() == 1 && (read.pin10Flag == 1 || read.direction == 2)
                               ? RadioFrames::pin10Direction
                               : read.direction;
    m_edits.direction = code == codeAsRead ? -1 : code;
    deployListAppend(DeployItem::Settings);
    emit radioDirectionChanged();
}

void Configurator::on_adaptiveHopping_currentIndexChanged(int index)
{
    m_adaptiveState = index;
    m_edits.adaptive = index < 0 || (index != 0) == (radioSettings.adaptiveState != 0) ? -1 : index;
    deployListAppend(DeployItem::Settings);
    emit adaptivehoppingChanged();
}

void Configurator::on_enableRDM_currentIndexChanged(int index)
{
    // A radio without RDM keeps its byte as it reported it.
    if (radioCapabilities.rdm) {
        m_rdmEnabledState = index;
        m_edits.rdm = index < 0 || (index != 0) == (radioSettings.rdmState != 0) ? -1 : index;
    }
    deployListAppend(DeployItem::Settings);
    emit enableRDMchanged();
}

void Configurator::on_enable58_currentIndexChanged(int index)
{
    if (radioCapabilities.band58Switch == 1) {
        m_highbandState = index;
        // A switch reported with 2 added reads the same: only the low bit is on or off.
        const int onAsRead = radioSettings.band58State % 2;
        m_edits.band58 = index < 0 || index % 2 == onAsRead ? -1 : index;
    }
    deployListAppend(DeployItem::Settings);
    emit enable58changed();
}

void Configurator::on_deviceLabel_textChanged(QString arg1)
{
    // One rule for every way a label comes in; a label the radio cannot
    // keep as typed is not queued, so nothing else is stored in its place.
    const QString problem = labelProblem(arg1);
    if (!offersLabel() || !problem.isEmpty()) {
        qDebug() << "Configurator: label not taken:" << arg1 << (offersLabel() ? problem : "no label on this radio");
        return;
    }
    m_deviceLabel = arg1;
    deployListAppend(DeployItem::Label);
    emit DeviceLabelChanged();
}

void Configurator::deployListAppend(int mode)
{
    // Only frames this radio takes are queued: a legacy radio takes its 2.4
    // GHz frame alone, and no radio a band it does not have. Anything else
    // would be dropped at the deploy while the store said done.
    const bool taken = mode == DeployItem::Band24   ? offersBand(Band::Band24)
                       : mode == DeployItem::Band52 ? offersBand(Band::Band52)
                       : mode == DeployItem::Band58 ? offersBand(Band::Band58)
                       : mode == DeployItem::Label  ? offersLabel()
                                                    : protocolLevel() > 0;
    if (!taken) {
        qDebug() << "Configurator: not for this radio:" << mode;
        return;
    }
    if (!deployList.contains(mode))
        deployList.append(mode);
    qDebug().noquote() << "debugging and appending" << logList(deployList);
}

void Configurator::deployListClear()
{
    deployList.clear();
    std::fill(std::begin(m_bandEdits), std::end(m_bandEdits), BandEdit {});
}

void Configurator::followModeToItsBand()
{
    // The window's single 5 GHz edit of an R9 belongs to the 5 GHz band the
    // radio works on: a mode moving it to the other 5 GHz band takes the edit
    // along. An edit named for its band, or edits of both, stay where made.
    const RadioCapabilities &caps = radioCapabilities;
    if (caps.band5Count != 2 || !caps.r8h || m_edits.modeCode < 0)
        return;
    const int from = RadioFrames::band5OfMode(radioSettings.radioModeCode);
    const int to = RadioFrames::band5OfMode(m_edits.modeCode);
    if (from < 0 || to < 0 || from == to)
        return;
    auto itemOf = [](int band) { return band == Band::Band52 ? int(DeployItem::Band52) : int(DeployItem::Band58); };
    const BandEdit edit = m_bandEdits[from];
    if (!deployList.contains(itemOf(from)) || deployList.contains(itemOf(to)) || edit.pinned)
        return;
    if (edit.power) {
        const QStringList &fromPowers = from == Band::Band52 ? powerList52 : powerList58;
        const QStringList &toPowers = to == Band::Band52 ? powerList52 : powerList58;
        const int fromIndex = from == Band::Band52 ? power52Index : power58Index;
        const int toIndex = toPowers.indexOf(fromPowers.value(fromIndex));
        // A power the other band does not offer stays behind.
        if (toIndex >= 0)
            (to == Band::Band52 ? power52Index : power58Index) = toIndex;
    }
    if (edit.mask) {
        for (int i = 0; i < Channels::perBand; ++i)
            m_maskedChannels[to * Channels::flagsPerBand + i] = m_maskedChannels.value(from * Channels::flagsPerBand + i);
    }
    m_bandEdits[to] = edit;
    m_bandEdits[from] = BandEdit {};
    deployList.replace(deployList.indexOf(itemOf(from)), itemOf(to));
    qDebug().noquote() << "Configurator: 5 GHz edit follows the mode to band" << to << logList(deployList);
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
        // A legacy radio takes its 2.4 GHz frame and nothing else: this one
        // did not reach it.
        qDebug() << "Configurator: not sent to a legacy radio:" << item;
        return -1;
    }

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

    if (item != DeployItem::Reboot)
        m_sentFrames.insert(item, QByteArray(reinterpret_cast<const char *>(out), RadioFrames::frameSlots));

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
    followModeToItsBand();
    bool allSent = true;
    for (int i = 0; i < deployList.size(); ++i) {
        qDebug() << " on store and disconnect clicked " << deployList.at(i);
        if (executeDeployItem(deployList.at(i)) != 0) {
            allSent = false;
            break;
        }
        Pacing::wait(500);
    }
    deployListClear();
    return allSent;
}

bool Configurator::readBackReply(int command)
{
    // Deploy frames are answered too, though nobody waits for it: the
    // answer to the last one may come in first. An answer to another
    // command is passed over and the read asked again.
    for (int attempt = 0; attempt < 3 && !disconnectRequested; ++attempt) {
        const int result = m_usbd->runDmxCommand(command);
        if (result == command)
            return true;
        if (result == CommandResult::NoReply || result == CommandResult::BadReply)
            break;
        qDebug() << "Configurator: read-back: reply" << result << "to command" << command;
    }
    m_usbd->dmxOff();
    return false;
}

QStringList Configurator::settingsNotTaken()
{
    // Where each item reads back, and the slots of that reply that carry
    // what its frame set: a band's 88 channel flags and its power; the
    // settings the operator can choose; the label's 32 bytes.
    struct ReadBack
    {
        int item;
        int command;
        QList<int> places;
        const char *name;
    };
    QList<int> mask;
    for (int slot = 6; slot <= 16; ++slot)
        mask << slot;
    QList<int> label;
    for (int slot = 6; slot <= 37; ++slot)
        label << slot;
    const int level = protocolLevel();
    const ReadBack readBacks[] = {
        {DeployItem::Band24, RadioCommand::ReadBand24, mask + QList<int> {22}, "2.4 GHz mask and power"},
        {DeployItem::Band52, RadioCommand::ReadBand52, mask + QList<int> {22}, "5.2 GHz mask and power"},
        {DeployItem::Band58, RadioCommand::ReadBand58, mask + QList<int> {22}, "5.8 GHz mask and power"},
        {DeployItem::Settings, RadioCommand::ReadSettings,
         level == 1 ? QList<int> {6, 8, 9, 12, 13, 14} : QList<int> {6, 8, 9, 12, 14}, "settings"},
        {DeployItem::Label, RadioCommand::ReadLabel, label, "label"},
    };
    QStringList differing;
    m_notTaken.clear();
    for (const ReadBack &readBack : readBacks) {
        const auto sent = m_sentFrames.constFind(readBack.item);
        if (sent == m_sentFrames.constEnd())
            continue;
        if (!readBackReply(readBack.command))
            return {QStringLiteral("%1 (not read back)").arg(QLatin1String(readBack.name))};
        for (int slot : readBack.places) {
            if (RadioFrames::replyByte(m_dmxIn, slot, level) != quint8(sent->at(slot))) {
                differing << QLatin1String(readBack.name);
                m_notTaken << readBack.item;
                break;
            }
        }
    }
    return differing;
}

void Configurator::on_storeAndDisconnect_clicked()
{
    qDebug() << "--- Deploying: ---";
    m_storeError.clear();
    auto fail = [this](const QString &why) {
        m_storeError = why;
        qDebug() << "Configurator: settings not stored:" << why;
        m_usbd->dmxOff();
        emit storeFailed();
    };
    if (!deployPending()) {
        // Storing now would keep a half-written set of settings: the radio
        // stays as it was stored before.
        return fail(QStringLiteral("a settings frame did not reach the dongle"));
    }

    if (protocolLevel() == 0) {
        m_usbd->dmxOff();
        emit storeAndDisconectClicked();
        return;
    }

    // Frames are not acknowledged: what the radio took is read back before
    // it is asked to keep it. A frame lost or changed on the way goes once
    // more; a radio that still holds something else stores nothing.
    QStringList differing = settingsNotTaken();
    if (!differing.isEmpty() && m_usbd->isDmxAttached()) {
        qDebug().noquote() << "Configurator: sent again, the radio did not take:" << differing.join(QStringLiteral(", "));
        const QList<int> items = m_notTaken;
        for (int item : items) {
            if (executeDeployItem(item) != 0)
                return fail(QStringLiteral("a settings frame did not reach the dongle"));
            Pacing::wait(500);
        }
        differing = settingsNotTaken();
    }
    if (!differing.isEmpty())
        return fail(QStringLiteral("the radio did not take its %1").arg(differing.join(QStringLiteral(", "))));

    // The report tells what the radio holds, so it waits for the radio to
    // confirm the store.
    if (!runCommand(RadioCommand::StoreSettings))
        return fail(QStringLiteral("the radio did not confirm the store"));
    m_sentFrames.clear();
    if (!writeDeviceLog(reportFileName()))
        qDebug() << "Configurator: device report not written:" << reportFileName() << m_reportError;
    m_usbd->dmxOff();
    emit storeAndDisconectClicked();
}

bool Configurator::restoreFactoryDefaults()
{
    // The defaults are what the operator is shown: the selections are set to
    // the same entries so that the frames carry them too. The frames are
    // paced like a deploy's; a legacy radio takes the 2.4 GHz one only.
    bool sent = true;
    auto deploy = [this, &sent](int item) {
        if (!sent)
            return;
        if (executeDeployItem(item) != 0) {
            sent = false;
            return;
        }
        Pacing::wait(500);
    };
    presentPower24 = powerList24.value(1);
    power24Index = 1;
    if (offersBand(Band::Band24))
        deploy(DeployItem::Band24);
    if (radioCapabilities.r8h && protocolLevel() > 0) {
        const int code = radioSettings.radioModeCode;
        if (code == 5 || code == 9 || code == 11) {
            presentPower58 = powerList58.value(1);
            power58Index = 1;
            deploy(DeployItem::Band58);
        } else if ((code == 41 || code == 43) && offersBand(Band::Band52)) {
            presentPower52 = powerList52.value(1);
            power52Index = 1;
            deploy(DeployItem::Band52);
        }
    }
    if (protocolLevel() == 0)
        return sent;
    m_presentRadioMode = m_listForRadioMode.value(1);
    radioModeIndex = 1;
    m_edits.modeCode = m_modes.value(1, RadioChoice {QString(), -1}).code;
    m_adaptiveState = 1;
    m_edits.adaptive = 1;
    if (radioCapabilities.rdm) {
        m_rdmEnabledState = 1;
        m_edits.rdm = 1;
    }
    deploy(DeployItem::Settings);
    if (offersLabel()) {
        m_deviceLabel = QStringLiteral("Skylane");
        deploy(DeployItem::Label);
    }
    return sent;
}

bool Configurator::on_deployDefaultFlexButton_clicked()
{
    m_presentTransmitterMode = m_listForDirection.value(0);
    directionIndex = 0;
    m_edits.direction = m_directions.value(0, RadioChoice {QString(), -1}).code;
    return restoreFactoryDefaults();
}

bool Configurator::on_deployDefaultPin10_clicked()
{
    m_presentTransmitterMode = m_listForDirection.value(2);
    directionIndex = 2;
    m_edits.direction = m_directions.value(2, RadioChoice {QString(), -1}).code;
    return restoreFactoryDefaults();
}
