#pragma once

// A readout as the monitoring starts it when it finds a radio, run without
// the monitoring's timers, and the report it leaves (its date aside).

#include "config/configurator.h"
#include "sim/simdriver.h"
#include "sim/simprofile.h"
#include "sim/virtualdongle.h"
#include "usb/usbd.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace Readout {

// A Configurator on the virtual dongle and radio of a profile (over a line
// in real time when the profile asks for one), with no monitoring wired.
struct Bench
{
    explicit Bench(const QString &profileText)
    {
        SimProfile profile;
        if (!SimProfile::parse(profileText, &profile))
            qFatal("not a simulator profile: %s", qPrintable(profileText));
        auto driver = SimDriver::forProfile(profile, &dongle);
        wire = driver->wire();
        usbd = std::make_unique<Usbd>(std::move(driver));
        configurator = std::make_unique<Configurator>(usbd.get());
        configurator->logFolderPath = folder.path() + QLatin1Char('/');
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
        configurator->showProtocolVersion(usbd->protocolVersion);
        configurator->loadVELTRA();
        return usbd->liveDataEnabled == 1;
    }

    QStringList report()
    {
        QStringList lines;
        for (const auto &line : configurator->reportLines()) {
            if (!line.label.startsWith(QLatin1String("Date")))
                lines << line.label + line.value;
        }
        return lines;
    }

    RadioUnit &radio() { return dongle->radioUnit(); }
    Configurator &c() { return *configurator; }

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
    std::shared_ptr<VirtualDongle> dongle;
    WireModel *wire = nullptr;
    std::unique_ptr<Usbd> usbd;
    std::unique_ptr<Configurator> configurator;
};

} // namespace Readout
