#pragma once

// A readout as the monitoring starts it when it finds a radio, run without
// the monitoring's timers, and the report it leaves (its date aside).

#include "config/configurator.h"
#include "usb/simrig.h"

#include <QStringList>
#include <QTemporaryDir>

namespace Readout {

// A Configurator on the virtual dongle and radio of a profile, with no
// monitoring wired.
struct Bench : SimRig
{
    explicit Bench(const QString &profileText)
        : SimRig(profileText)
        , configurator(usbd.get())
    {
        configurator.logFolderPath = folder.path() + QLatin1Char('/');
    }

    // True when the readout ran to its end.
    bool read()
    {
        usbd->liveDataEnabled = 0;
        usbd->initDongleDMX();
        usbd->radioAttached = true;
        // The frame the radio was found with tells its level (and is a legacy
        // radio's status).
        if (!usbd->getDmxInBuffer())
            return false;
        usbd->protocolVersion = usbd->dmxInBuffer[2] > 22 ? usbd->dmxInBuffer[23] : 0;
        configurator.showProtocolVersion(usbd->protocolVersion);
        configurator.loadVELTRA();
        return usbd->liveDataEnabled == 1;
    }

    Configurator &c() { return configurator; }

    QStringList report()
    {
        QStringList lines;
        for (const auto &line : configurator.reportLines()) {
            if (!line.label.startsWith(QLatin1String("Date")))
                lines << line.label + line.value;
        }
        return lines;
    }

    // Another radio behind the same dongle.
    bool swap(const QString &profileText)
    {
        SimProfile next;
        if (!SimProfile::parse(profileText, &next))
            return false;
        dongle->swapRadio(next);
        return true;
    }

    QTemporaryDir folder;
    Configurator configurator;
};

} // namespace Readout
