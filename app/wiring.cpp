#include "wiring.h"

#include "config/configurator.h"
#include "usb/usbd.h"

#include <QCoreApplication>

void connectSession(Usbd *usbd, Configurator *configurator, QCoreApplication *application)
{
    SerialThread *thread = &configurator->serialThread;
    QObject::connect(configurator, SIGNAL(startSync()), thread, SLOT(startSync()));
    QObject::connect(thread, SIGNAL(finished()), configurator, SLOT(serialThreadTerminated()));
    QObject::connect(thread, SIGNAL(initUpdaterProgressBar(int)), configurator, SLOT(initUpdaterProgressBar(int)));
    QObject::connect(thread, SIGNAL(fileError(bool)), configurator, SLOT(fileError(bool)));
    QObject::connect(thread, SIGNAL(setUpdaterProgressBar(int)), configurator, SLOT(setUpdaterProgressBar(int)));
    QObject::connect(usbd, SIGNAL(showDongleVersion()), configurator, SLOT(showDongleVersion()));
    QObject::connect(usbd, SIGNAL(showProtocolVersion(int)), configurator, SLOT(showProtocolVersion(int)));
    if (application)
        QObject::connect(configurator, SIGNAL(shutdownApplication()), application, SLOT(quit()));
    QObject::connect(usbd, SIGNAL(dmxAttached()), configurator, SLOT(loadVELTRA()));
    QObject::connect(usbd, SIGNAL(dmxDetached()), configurator, SLOT(unloadVELTRA()));
    QObject::connect(usbd, SIGNAL(VELTRAOK()), configurator, SLOT(DongleandDMXconnected()));
    QObject::connect(usbd, SIGNAL(updateLiveData()), configurator, SLOT(updateLiveData()));
}
