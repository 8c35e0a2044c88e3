// The settings model: which choices the radio offers, which is in force, and
// how the operator's changes travel back to the radio.
#include "configurator.h"

#include "usb/pacing.h"
#include "usb/usbd.h"

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

namespace {

// List position of a radio mode code, by column: R8-class radios without and
// with 5 GHz, then the 1/2 MBit variants without and with 5 GHz.
const int modeIndexTable[10][4] = {
    {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}, {1, 1, 1, 1}, {2, 2, 2, 2},
    {2, 3, 2, 4}, {3, 4, 4, 2}, {3, 5, 4, 4}, {3, 3, 3, 3}, {3, 4, 3, 5},
};

int r9ModeIndex(int code)
{
    static const int head[12] = {0, 0, 1, 1, 1, 2, 3, 4, 3, 4, 6, 7};
    if (code < 0 || code > 43)
        return -1;
    if (code < 12)
        return head[code];
    if (code <= 40) {
        static const int cycle[4] = {10, 11, 8, 9};
        return cycle[(code - 12) % 4];
    }
    static const int tail[3] = {5, 10, 8};
    return tail[code - 41];
}

// Radio mode code sent for a list position, by the same columns.
const int modeCodeTable[8][4] = {
    {0, 0, 0, 0}, {2, 2, 2, 2}, {4, 4, 4, 4}, {6, 5, 8, 8},
    {4, 6, 6, 5}, {4, 7, 4, 9}, {4, 4, 4, 6}, {4, 4, 4, 7},
};
const int r9ModeCodeTable[9] = {0, 4, 5, 8, 9, 41, 10, 11, 43};
const int p1ModeCodeTable[4] = {0, 1, 2, 0};

void replaceAll(QList<int> &list, int from, int to)
{
    std::replace(list.begin(), list.end(), from, to);
}

} // namespace

bool Configurator::isR9Class() const
{
    const RadioCapabilities &caps = radioCapabilities;
    return trxHardwareNumber >= 16 && (caps.r8l == 0 || caps.r8l == 1) && caps.band5Count == 2;
}

void Configurator::buildSettingsLists()
{
    const RadioCapabilities &caps = radioCapabilities;
    const RadioSettings &settings = radioSettings;
    const int level = protocolLevel();

    if (caps.band24) {
        QStringList modes{"R7 Compatibility Mode"};
        if (caps.r8Compatibility)
            modes << "R8 Compatibility Mode";
        if (caps.r8l == 2)
            modes << "2.4GHz 1MBit" << "2.4GHz 2MBit";
        else
            modes << "R8X 2.4GHz";
        if (caps.r8h) {
            if (caps.r8l == 2)
                modes << "5GHz 1MBit" << "5GHz 2MBit ";
            else
                modes << "R8X 5.8GHz";
        }
        if (trxHardwareNumber < 16 && level >= 2 && caps.r8l < 2) {
            modes << "R8X 2.4GHz Repeater";
            if (caps.r8h)
                modes << "R8X 5.8GHz Repeater";
        }
        if (caps.band5Count == 2 && caps.r8l != 2) {
            modes << "R9 2.4GHz";
            if (caps.r8h)
                modes << "R9 5.8GHz" << "R9 5.2GHz" << "R9 Tandem 2.4GHz" << "R9 Tandem 5.8GHz" << "R9 Tandem 5.2GHz";
        }
        m_listForRadioMode = modes;

        int index = -1;
        const int code = settings.radioModeCode;
        if (isR9Class()) {
            const int column = caps.r8h ? 3 : 2;
            for (int i = 0; i < 4; ++i) {
                qDebug() << " here for radio settings " << code;
                qDebug() << " here for radio settings " << column;
            }
            index = r9ModeIndex(code);
        } else {
            const int column = (caps.r8l == 2 ? 2 : 0) + (caps.r8h ? 1 : 0);
            const int row = code % 32;
            if (row < 10)
                index = modeIndexTable[row][column];
        }
        // An unknown code shows no mode rather than a wrong one.
        m_presentRadioMode = m_listForRadioMode.value(index);
        if (index >= 0)
            radioModeIndex = index;
    }

    QStringList directions;
    if (trxHardwareNumber < 16 || caps.band5Count != 2) {
        directions << "Transmitter" << "Receiver" << "Set by Pin 10";
    } else if (level == 2) {
        if (settings.direction == 2 && caps.band24 == 0)
            directions << "Receiver";
        if (caps.repeater)
            directions << "Transmitter" << "Receiver" << "Repeater";
        else if (caps.band24 && settings.pin10Option == 0)
            directions << "Transmitter" << "Receiver";
        if (settings.pin10Option) {
            if (settings.direction < 2)
                directions << "Transmitter" << "Receiver";
            else
                directions << "Set by Pin 10";
        }
    }
    m_listForDirection = directions;

    if (level == 1) {
        directionIndex = settings.pin10Flag == 1 ? 2 : settings.direction;
        m_presentTransmitterMode = m_listForDirection.value(directionIndex);
    } else if (level == 2) {
        directionIndex = settings.direction;
        m_presentTransmitterMode = m_listForDirection.value(directionIndex);
    }

    adaptiveOptions = offOnTable;
    rdmOptions = offOnTable;
    m_adaptiveState = settings.adaptiveState;
    m_rdmEnabledState = caps.rdm ? settings.rdmState : -1;
    m_highbandState = caps.band58Switch == 1 ? settings.band58State : -1;
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
    case 0:
        power24Index = index;
        deployListAppend(0);
        break;
    case 2:
        power58Index = index;
        deployListAppend(2);
        break;
    case 1:
        power52Index = index;
        deployListAppend(8);
        break;
    default:
        break;
    }
    emit OutputPowerChanged();
}

void Configurator::on_radioMode_currentIndexChanged(int index)
{
    radioModeIndex = index;
    deployListAppend(4);
    emit radioModechanged();
}

void Configurator::on_direction_currentIndexChanged(int index)
{
    directionIndex = index;
    deployListAppend(4);
    emit radioDirectionChanged();
}

void Configurator::on_adaptiveHopping_currentIndexChanged(int index)
{
    m_adaptiveState = index;
    deployListAppend(4);
    emit adaptivehoppingChanged();
}

void Configurator::on_enableRDM_currentIndexChanged(int index)
{
    m_rdmEnabledState = index;
    deployListAppend(4);
    emit enableRDMchanged();
}

void Configurator::on_enable58_currentIndexChanged(int index)
{
    m_highbandState = index;
    deployListAppend(4);
    emit enable58changed();
}

void Configurator::on_deviceLabel_textChanged(QString arg1)
{
    m_deviceLabel = arg1;
    deployListAppend(5);
    emit DeviceLabelChanged();
}

void Configurator::deployListAppend(int mode)
{
    if (!deployList.contains(mode))
        deployList.append(mode);
    qDebug() << "debugging and appending" << deployList;
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

    // A mode change moves the radio to another 5 GHz band: band frames still
    // pending follow it there.
    const int code = radioSettings.radioModeCode;
    if (code == 5 || radioModeIndex == 2) {
        replaceAll(deployList, 8, 2);
    } else if (code == 9 || code == 11) {
        if (radioModeIndex == 6 || radioModeIndex == 9)
            replaceAll(deployList, 8, 2);
        else if (radioModeIndex == 7 || radioModeIndex == 10)
            replaceAll(deployList, 2, 8);
    } else if (code == 41 || code == 43) {
        if (radioModeIndex == 7 || radioModeIndex == 10)
            replaceAll(deployList, 2, 8);
        else if (radioModeIndex == 6 || radioModeIndex == 9)
            replaceAll(deployList, 8, 2);
    }

    const int level = protocolLevel();
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
    case 0:
        bandFrame("2.4 mask enter", 0, level == 0 ? 1 : 15, power24Index);
        if (level == 0)
            out[2] = 21;
        break;
    case 2:
        bandFrame("5.8 mask enter", 2, 17, power58Index);
        break;
    case 8:
        bandFrame("5.2 mask enter", 1, 27, power52Index);
        break;
    case 4:
        buildSettingsFrame();
        break;
    case 5:
        out[2] = 38;
        out[5] = 25;
        for (int i = 0; i < 32; ++i) {
            const bool fits = m_deviceLabel.size() > i && m_deviceLabel.at(i).unicode() < 256;
            out[6 + i] = fits ? quint8(m_deviceLabel.at(i).unicode()) : 0;
        }
        break;
    case 6:
        out[2] = 7;
        out[5] = 42;
        out[6] = 10;
        break;
    default:
        // Nothing was composed: sending would repeat whatever frame the
        // buffer still holds.
        return 0;
    }

    if (level <= 0) {
        m_usbd->sendPacket();
        m_usbd->dmxOff();
    } else {
        m_usbd->sendPacketWithCRC();
    }
    return 0;
}

void Configurator::buildSettingsFrame()
{
    quint8 *out = m_dmxOut;
    const RadioCapabilities &caps = radioCapabilities;
    const int level = protocolLevel();

    // Bytes the operator cannot choose go back as the radio reported them,
    // never as leftovers of the previous frame.
    std::copy(m_settingsReply + 6, m_settingsReply + 20, out + 6);
    out[2] = 20;
    out[5] = 13;

    const int inForce = radioSettings.radioModeCode;
    int code = -1;
    if (level == 1) {
        if (radioModeIndex >= 0 && radioModeIndex < 4)
            code = p1ModeCodeTable[radioModeIndex];
        if (radioModeIndex == 2) {
            out[13] = 1;
        } else {
            out[13] = 0;
            out[6] = quint8(directionIndex);
        }
    } else {
        out[6] = quint8(directionIndex);
        if (trxHardwareNumber >= 16 && caps.r8l == 1 && caps.band5Count == 2) {
            qDebug() << " here came in 5 ";
            if (radioModeIndex >= 0 && radioModeIndex < 9)
                code = r9ModeCodeTable[radioModeIndex];
        } else {
            const int column = 2 * caps.r8l - 2 + (caps.r8h ? 1 : 0);
            if (radioModeIndex >= 0 && radioModeIndex < 8 && column >= 0 && column < 4)
                code = modeCodeTable[radioModeIndex][column];
        }
    }
    if (code < 0) {
        qDebug() << "Configurator: no radio mode code for position" << radioModeIndex
                 << "- keeping the mode in force" << inForce;
        code = inForce;
    }
    out[8] = quint8(code);
    if (level != 1)
        qDebug() << "Set radio mode to " << code << " from position " << radioModeIndex << caps.r8h << caps.r8l;

    out[9] = quint8(m_adaptiveState);
    out[10] = quint8(radioSettings.settingsByte10);
    out[12] = quint8(m_rdmEnabledState);
    out[14] = quint8(radioSettings.band58State >= 2 ? m_highbandState + 2 : m_highbandState);
}

void Configurator::deployPending()
{
    // The length is read again at every step: a frame may retarget the items
    // still pending.
    for (int i = 0; i < deployList.size(); ++i) {
        qDebug() << " on store and disconnect clicked " << deployList.at(i);
        executeDeployItem(deployList.at(i));
        Pacing::wait(500);
    }
    deployList.clear();
}

void Configurator::on_storeAndDisconnect_clicked()
{
    qDebug() << "--- Deploying: ---";
    deployPending();

    if (protocolLevel() == 0) {
        m_usbd->dmxOff();
        emit storeAndDisconectClicked();
        return;
    }
    writeDeviceLog(reportFileName());
    if (!runCommand(40))
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
    executeDeployItem(0);
    if (radioCapabilities.r8h) {
        const int code = radioSettings.radioModeCode;
        if (code == 5 || code == 9 || code == 11) {
            presentPower58 = powerList58.value(1);
            power58Index = 1;
            executeDeployItem(2);
        } else if (code == 41 || code == 43) {
            presentPower52 = powerList52.value(1);
            power52Index = 1;
            executeDeployItem(8);
        }
    }
    m_presentRadioMode = m_listForRadioMode.value(1);
    radioModeIndex = 1;
    m_adaptiveState = 1;
    m_rdmEnabledState = 1;
    executeDeployItem(4);
    m_deviceLabel = QStringLiteral("Skylane");
    executeDeployItem(5);
}

void Configurator::on_deployDefaultFlexButton_clicked()
{
    m_presentTransmitterMode = m_listForDirection.value(0);
    directionIndex = 0;
    restoreFactoryDefaults();
}

void Configurator::on_deployDefaultPin10_clicked()
{
    m_presentTransmitterMode = m_listForDirection.value(2);
    directionIndex = 2;
    restoreFactoryDefaults();
}
