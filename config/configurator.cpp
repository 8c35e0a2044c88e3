// The device session: construction, connect/disconnect and the readout of the
// radio into the properties the scene shows.
#include "configurator.h"

#include "usb/usbd.h"

#include <QCoreApplication>
#include <QDebug>

namespace {

QString hexBytes(const quint8 *bytes, int count, bool upper)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0'));
    return upper ? text.toUpper() : text;
}

QString latin1Text(const quint8 *bytes, int count)
{
    return QString::fromLatin1(reinterpret_cast<const char *>(bytes), count);
}

} // namespace

Configurator::Configurator(Usbd *usbd)
    : QObject(nullptr)
    , serialThread(usbd)
    , m_usbd(usbd)
    , m_dmxIn(usbd->dmxInBuffer)
    , m_dmxOut(usbd->dmxOutBuffer)
{
    qDebug() << "Configurator: Configurator: ProcessId:" << QCoreApplication::applicationPid();
    m_swVersion = QStringLiteral("%1.%2.%3").arg(4).arg(1).arg(QStringLiteral("983M"));
    initGUI();
    m_updaterStatusMessage.clear();
    m_updaterAutorebootLabel.clear();
    disconnectRequested = 0;
    radioCapabilities.autoReboot = 0;
    deployList.clear();
}

Configurator::~Configurator() = default;

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
    deployList.clear();
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
    deployList.clear();
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
    if (result == 254 || result == 255) {
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

void Configurator::loadVELTRA()
{
    resetConfigGUI();
    disconnectRequested = 0;

    const QString stars(55, QLatin1Char('*'));
    qDebug().noquote() << stars;
    qDebug() << "  Protocol version" << protocolLevel() << "found";
    qDebug().noquote() << stars;

    if (protocolLevel() == 0) {
        // A legacy radio sends no replies to read: its status frame, already
        // in the in-buffer, carries the 2.4 GHz mask and power.
        bitMaskToList(m_dmxIn + 6, 0);
        powerList24 = legacyPowerTable;
        presentPower24 = powerList24.value(inByte(22));
        power24Index = inByte(22);
    } else {
        // Identity.
        if (!runCommand(10))
            return;
        const quint8 *in = m_dmxIn;
        int serialSum = 0;
        for (int i = 6; i <= 10; ++i)
            serialSum += in[i];
        m_trxSerial = serialSum == 5 * 0xFF ? QStringLiteral("Not available") : hexBytes(in + 6, 5, false);
        m_trxMCU = hexBytes(in + 11, 4, true);
        m_trxCode = hexBytes(in + 15, 4, true);
        const int major = in[19];
        const int minor = in[20];
        const int build = in[21] << 8 | in[22];
        m_trxVersion = QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(build);
        if (in[23] == 0 && in[24] == 0 && in[25] == 0 && in[26] == 0)
            m_trxBootloader = QStringLiteral("Unknown");
        else
            m_trxBootloader = QStringLiteral("%1.%2.%3").arg(in[23]).arg(in[24]).arg(in[25] << 8 | in[26]);
        trxHardwareNumber = in[27];
        if (trxHardwareNumber < 16)
            m_trxHWVersion = QString::number(trxHardwareNumber);
        else
            m_trxHWVersion = latin1Text(in + 63, qMin<int>(in[62], 11));
        addonType = in[61];
        const QString model = latin1Text(in + 29, qMin<int>(in[28], 18));
        qDebug() << model;
        setStatusVeltra(model);
        m_trxModel = model;

        const bool updateAvailable = major <= 1 || (major == 2 && minor == 0)
                                     || (major == 2 && minor == 1 && build <= 701);
        if (updateAvailable)
            setStatusVeltra(m_statusVeltra + QStringLiteral("Update available!"));

        // Capabilities.
        qDebug() << "Get Capabilities";
        if (!runCommand(9))
            return;
        RadioCapabilities &caps = radioCapabilities;
        caps.band24 = in[6];
        caps.r8l = in[8];
        caps.r8h = in[9];
        caps.rdm = in[10];
        caps.hopTable = in[11];
        caps.adaptiveHopping = in[12];
        caps.radioId = in[13];
        caps.label = in[14];
        caps.autoReboot = in[15];
        caps.addon = in[16];
        caps.repeater = in[18];
        caps.r8Compatibility = in[20];
        caps.band58Switch = in[2] > 19 ? 1 : 0;
        caps.band5Count = caps.r8Compatibility ? caps.r8h >> 1 : caps.r8h * 2;
        m_r8Box = caps.r8Compatibility != 0;
        qDebug() << "capability.r8l" << caps.r8l;
        qDebug() << "capability.r8h" << caps.r8h;

        static const char *const addonNames[] = {"Development Board", "Addon T5 QX11", "T6 Micro", "Addon T6 QX1"};
        if (!caps.addon)
            m_addonVersion = QStringLiteral("-");
        else if (addonType >= 1 && addonType <= 4)
            m_addonVersion = QString::fromLatin1(addonNames[addonType - 1]);
        else
            m_addonVersion = QStringLiteral("Unknown");

        if (caps.label) {
            if (!runCommand(24))
                return;
            const QString label = latin1Text(in + 6, 32);
            qDebug() << label;
            // QString::trimmed leaves NUL characters alone: they are part of
            // the label as the radio stores it.
            m_deviceLabel = label.trimmed();
        }

        if (caps.band24) {
            if (!runCommand(14))
                return;
            qDebug() << " this is for 2.4";
            bitMaskToList(m_dmxIn + 6, 0);
            powerList24 = trxHardwareNumber < 16 ? mwPowerTable24 : barsPowerTable;
            presentPower24 = powerList24.value(in[22]);
            power24Index = in[22];
        }

        if (caps.r8h == 0) {
            powerList58 = dashTable;
        } else {
            powerList58.clear();
            powerList52.clear();
            if (trxHardwareNumber < 16) {
                powerList58 = mwPowerTable58;
            } else if (trxHardwareNumber == 16) {
                powerList58 = barsPowerTable;
                if (caps.band5Count == 2)
                    powerList52 = barsPowerTable;
            } else {
                powerList58 = levelPowerTable;
            }
            if (!runCommand(16))
                return;
            qDebug() << " this is for 5.8";
            bitMaskToList(m_dmxIn + 6, 2);
            presentPower58 = powerList58.value(in[22]);
            power58Index = in[22];
            if (caps.band5Count == 2) {
                if (!runCommand(26))
                    return;
                qDebug() << " this is for 5.2";
                bitMaskToList(m_dmxIn + 6, 1);
                presentPower52 = powerList52.value(in[22]);
                power52Index = in[22];
            } else {
                bitMaskToList(m_dmxIn + 6, 1);
            }
        }

        if (caps.radioId) {
            if (!runCommand(22))
                return;
            m_radioID = hexBytes(in + 6, 4, true);
        }

        if (!runCommand(12))
            return;
        std::copy(in, in + sizeof m_settingsReply, m_settingsReply);
        RadioSettings &settings = radioSettings;
        settings.direction = in[6];
        settings.radioModeCode = in[8];
        settings.adaptiveState = in[9];
        settings.settingsByte10 = in[10];
        settings.rdmState = in[12];
        settings.pin10Flag = in[13];
        if (caps.band58Switch == 1)
            settings.band58State = in[14];
        settings.pin10Option = in[19];

        buildSettingsLists();

        if (caps.adaptiveHopping) {
            if (!runCommand(20))
                return;
            switch (settings.radioModeCode) {
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
            return;
        }
        if (radioCapabilities.hopTable) {
            const int command = protocolLevel() == 0 ? 4 : 18;
            const int result = m_usbd->runDmxCommand(command);
            // A legacy radio's answer code is not fixed, but no answer (254)
            // or a broken one (255) leaves an old frame in the in-buffer.
            const bool answered = protocolLevel() == 0 ? (result != 0 && result != 254 && result != 255)
                                                       : result == 18;
            if (!answered) {
                m_usbd->dmxOff();
                return;
            }
            qDebug() << "Davoruz: Populating Hop Table";
            m_hopTable += hexBytes(m_dmxIn + 6, 84, false);
        }
    }

    deployList.clear();
    m_usbd->liveDataEnabled = 1;
    if (protocolLevel() == 2)
        m_usbd->runDmxCommand(30);
}
