#include "driverselection.h"

#include "sim/simdriver.h"
#include "sim/simprofile.h"
#include "sim/virtualdongle.h"

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

#ifdef Q_OS_UNIX
    if (!port.isEmpty()) {
        qDebug() << "Dongle driver: serial port" << port;
        selection.driver = std::make_unique<SerialPortDriver>(port);
    } else {
        qDebug() << "Dongle driver: serial port of" << VirtualDongle::description;
        selection.driver = std::make_unique<SerialPortDriver>();
    }
#else
    // The D2XX backend takes this place on Windows.
    selection.error = QStringLiteral("no dongle driver on this platform; use --simulate");
#endif
    return selection;
}
