#include "driverselection.h"

#include "sim/simdriver.h"
#include "sim/simprofile.h"
#include "sim/virtualdongle.h"

#include "usb/d2xxdriver.h"
#include "usb/pacing.h"

#ifdef Q_OS_UNIX
#include "usb/serialportdriver.h"
#endif

#include <QDebug>

DriverSelection DriverSelection::fromArguments(const QStringList &arguments)
{
    DriverSelection selection;
    bool simulate = false;
    QString profileText;
    QString port;
    QString forced;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--simulate")) {
            simulate = true;
        } else if (argument.startsWith(QLatin1String("--simulate="))) {
            simulate = true;
            profileText = argument.mid(int(qstrlen("--simulate=")));
        } else if (argument == QLatin1String("--port")) {
            if (i + 1 >= arguments.size()) {
                selection.error = QStringLiteral("--port needs the path of the dongle's port");
                return selection;
            }
            port = arguments.at(++i);
        } else if (argument.startsWith(QLatin1String("--port="))) {
            port = argument.mid(int(qstrlen("--port=")));
        } else if (argument == QLatin1String("--driver") || argument.startsWith(QLatin1String("--driver="))) {
            if (argument == QLatin1String("--driver"))
                forced = i + 1 < arguments.size() ? arguments.at(++i) : QString();
            else
                forced = argument.mid(int(qstrlen("--driver=")));
            if (forced != QLatin1String("d2xx") && forced != QLatin1String("serial")) {
                selection.error = QStringLiteral("--driver takes d2xx or serial");
                return selection;
            }
        }
    }

    if (simulate && !port.isEmpty()) {
        selection.error = QStringLiteral("--simulate and --port exclude each other");
        return selection;
    }

    if (simulate) {
        SimProfile profile;
        QString why;
        if (!SimProfile::parse(profileText, &profile, &why)) {
            selection.error = why;
            return selection;
        }
        selection.driver = SimDriver::forProfile(profile, &selection.simulator);
        if (!profile.traceFile.isEmpty() && !selection.simulator->trace().hasFile()) {
            selection.driver.reset();
            selection.simulator.reset();
            selection.error = QStringLiteral("cannot write the simulator trace to %1").arg(profile.traceFile);
            return selection;
        }
        qDebug() << "Dongle driver: simulator, profile" << (profileText.isEmpty() ? profile.name : profileText);
        // The test suites run the programs on the simulator in compressed
        // time: the same steps in the same order, without the waits. Never
        // for a real dongle, and never on the wire model, which is real time.
        if (qEnvironmentVariableIntValue("VELTRA_SIM_FAST") == 1 && !profile.wire.enabled) {
            qDebug() << "Dongle driver: simulator in compressed time";
            Pacing::setInstant(true);
            Pacing::setTimerScale(100);
        }
        return selection;
    }

    // A port named on the command line is taken as given. Otherwise FTDI's
    // own library when it is there and finds the dongle, else the kernel's
    // serial port; --driver insists on one of them.
    if (port.isEmpty() && forced != QLatin1String("serial")) {
        auto d2xx = std::make_unique<D2xxDriver>();
        if (!d2xx->available()) {
            qDebug().noquote() << "Dongle driver: D2XX absent:" << d2xx->absence();
            if (forced == QLatin1String("d2xx")) {
                // It finds no dongle, which is what the caller will say.
                selection.absence = d2xx->absence();
                selection.driver = std::move(d2xx);
                return selection;
            }
        } else {
            DongleDriver::Handle probe = DongleDriver::noHandle;
            const bool found = d2xx->openByDescription(VirtualDongle::description, &probe) == DongleDriver::Ok;
            if (found)
                d2xx->close(probe);
            if (found || forced == QLatin1String("d2xx")) {
                qDebug().noquote() << "Dongle driver: D2XX from" << d2xx->libraryFile();
                selection.driver = std::move(d2xx);
                return selection;
            }
            qDebug() << "Dongle driver: D2XX finds no dongle; the serial port is tried";
        }
    }
#ifdef Q_OS_UNIX
    if (!port.isEmpty()) {
        qDebug() << "Dongle driver: serial port" << port;
        selection.driver = std::make_unique<SerialPortDriver>(port);
    } else {
        qDebug() << "Dongle driver: serial port of" << VirtualDongle::description;
        selection.driver = std::make_unique<SerialPortDriver>();
    }
#else
    selection.error = QStringLiteral("no dongle driver found: install FTDI's D2XX driver, or use --simulate");
#endif
    return selection;
}
