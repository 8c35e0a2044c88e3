#include "wiring.h"

#include "config/configurator.h"
#include "usb/usbd.h"

#include <QCoreApplication>

void connectSession(Usbd *usbd, Configurator *configurator, QCoreApplication *application)
{
    SerialThread *thread = &configurator->serialThread;
    QObject::connect(configurator, &Configurator::startSync, thread, &SerialThread::startSync);
    QObject::connect(thread, &QThread::finished, configurator, &Configurator::serialThreadTerminated);
    QObject::connect(thread, &SerialThread::initUpdaterProgressBar, configurator, &Configurator::initUpdaterProgressBar);
    QObject::connect(thread, &SerialThread::fileError, configurator, &Configurator::fileError);
    QObject::connect(thread, &SerialThread::setUpdaterProgressBar, configurator, &Configurator::setUpdaterProgressBar);
    QObject::connect(usbd, &Usbd::showDongleVersion, configurator, &Configurator::showDongleVersion);
    QObject::connect(usbd, &Usbd::showProtocolVersion, configurator, &Configurator::showProtocolVersion);
    if (application)
        QObject::connect(configurator, &Configurator::shutdownApplication, application, &QCoreApplication::quit);
    QObject::connect(usbd, &Usbd::dmxAttached, configurator, &Configurator::loadVELTRA);
    QObject::connect(usbd, &Usbd::dmxDetached, configurator, &Configurator::unloadVELTRA);
    QObject::connect(usbd, &Usbd::VELTRAOK, configurator, &Configurator::DongleandDMXconnected);
    QObject::connect(usbd, &Usbd::updateLiveData, configurator, &Configurator::updateLiveData);
}
