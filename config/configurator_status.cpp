// How the dongle's and the radio's state read to the operator.
#include "configurator.h"

#include "usb/protocol.h"
#include "usb/usbd.h"

#include <QDebug>

QString Configurator::getModelFromSignature(QString signature)
{
    if (signature == QLatin1String("001E9609"))
        return QStringLiteral("ATMega644A");
    if (signature == QLatin1String("001E960A"))
        return QStringLiteral("ATMega644PA");
    if (signature == QLatin1String("001E9706"))
        return QStringLiteral("ATMega1284");
    if (signature == QLatin1String("001E9705"))
        return QStringLiteral("ATMega1284P");
    return QStringLiteral("Unknown");
}

void Configurator::showDongleVersion()
{
    const int major = m_usbd->dongleVersion.major;
    const int minor = m_usbd->dongleVersion.minor;
    const int build = m_usbd->dongleVersion.build;
    // A 3.x dongle with a negative minor is sitting in its bootloader.
    const bool needsUpdate = (major == 2 && minor <= 21) || (major == 3 && minor < 0);
    qDebug() << "Configurator: showDowngleVersion" << major << minor << build;

    if (major == -1) {
        m_dongleVersion = QStringLiteral("Disconnected");
        emit isconnectedDongle();
        return;
    }
    if (needsUpdate) {
        m_updaterStatusMessage = QStringLiteral("Dongle Upgrade Required");
        m_dongleVersion = QStringLiteral("Dongle Upgrade Required!");
    } else {
        m_dongleVersion = QStringLiteral("Connected");
    }
    emit isconnectedDongle();
    m_dongleVersion = QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(build);
    emit isconnectedDongle();

    const int hardware = m_usbd->hardwareVersion;
    if (hardware == -1 || m_usbd->usbDongleType == DongleType::Bootloader)
        m_dongleHWVersion = QStringLiteral("-");
    else if (m_usbd->usbDongleType == DongleType::Application)
        m_dongleHWVersion = QString(QChar(64 + hardware));
    else
        m_dongleHWVersion = QString(QChar(65 + hardware));
    // A bootloader version the dongle did not give is shown as not known.
    if (m_usbd->bootloaderVersion.major < 0)
        m_dongleBootLoaderVersion = QStringLiteral("-");
    else
        m_dongleBootLoaderVersion = QStringLiteral("%1.%2.%3")
                                        .arg(m_usbd->bootloaderVersion.major)
                                        .arg(m_usbd->bootloaderVersion.minor)
                                        .arg(m_usbd->bootloaderVersion.build);
}

void Configurator::showProtocolVersion(int version)
{
    if (version == -1) {
        m_statusVeltra = QStringLiteral("Veltra: Disconnected");
        radioCapabilities.autoReboot = 0;
        m_updaterAutorebootLabel.clear();
    } else if (version == 0) {
        m_statusVeltra = QStringLiteral("Veltra: R7/R8 [Update available]");
        m_trxModel = QStringLiteral("R7/R8");
        m_updaterAutorebootLabel.clear();
    } else {
        m_statusVeltra = QStringLiteral("Veltra: %1").arg(QStringLiteral("R8X"));
        m_updaterAutorebootLabel = QStringLiteral("Device supports automatic reboot.");
    }
    emit VeltraStatusChanged();
}

bool Configurator::DongleandDMXconnected()
{
    m_dongleState = m_usbd->isUsbAttached() && m_usbd->isDmxAttached();
    emit DongleConnectionOK();
    return m_dongleState;
}

bool Configurator::DongleConnected()
{
    m_dongleVersionUI = m_usbd->isUsbAttached();
    emit DongleVersionOK();
    return m_dongleVersionUI;
}
