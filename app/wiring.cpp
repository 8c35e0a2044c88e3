#include "wiring.h"

#include "config/configurator.h"
#include "usb/usbd.h"

#include <QCoreApplication>

void connectSession(Usbd *usbd, Configurator *configurator, QCoreApplication *application)
{
    QObject::connect(usbd, SIGNAL(showDongleVersion()), configurator, SLOT(showDongleVersion()));
    QObject::connect(usbd, SIGNAL(showProtocolVersion(int)), configurator, SLOT(showProtocolVersion(int)));
    if (application)
        QObject::connect(configurator, SIGNAL(shutdownApplication()), application, SLOT(quit()));
    QObject::connect(usbd, SIGNAL(dmxAttached()), configurator, SLOT(loadVELTRA()));
    QObject::connect(usbd, SIGNAL(dmxDetached()), configurator, SLOT(unloadVELTRA()));
    QObject::connect(usbd, SIGNAL(VELTRAOK()), configurator, SLOT(DongleandDMXconnected()));
    QObject::connect(usbd, SIGNAL(updateLiveData()), configurator, SLOT(updateLiveData()));
}
