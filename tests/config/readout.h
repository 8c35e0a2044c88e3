#pragma once

// A readout as the monitoring starts it when it finds a radio, run without
// the monitoring's timers, and the report it leaves (its date aside).

#include "config/configurator.h"
#include "usb/usbd.h"

#include <QStringList>

namespace Readout {

// True when the readout ran to its end.
inline bool run(Usbd &usbd, Configurator &configurator)
{
    usbd.liveDataEnabled = 0;
    usbd.initDongleDMX();
    usbd.radioAttached = true;
    // The frame the radio was found with tells its level (and is a legacy
    // radio's status).
    if (!usbd.getDmxInBuffer())
        return false;
    const quint8 *found = usbd.dmxInBuffer;
    usbd.protocolVersion = found[2] > 22 ? found[23] : 0;
    configurator.showProtocolVersion(usbd.protocolVersion);
    configurator.loadVELTRA();
    return usbd.liveDataEnabled == 1;
}

inline QStringList report(Configurator &configurator)
{
    QStringList lines;
    for (const auto &line : configurator.reportLines()) {
        if (!line.label.startsWith(QLatin1String("Date")))
            lines << line.label + line.value;
    }
    return lines;
}

} // namespace Readout
