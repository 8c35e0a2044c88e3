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
#include <QFileInfo>

#include <algorithm>

DriverSelection DriverSelection::fromArguments(const QStringList &arguments)
{
    DriverSelection selection;
    bool simulate = false;
    QString profileText;
    QString port;
    QString forced;
    QByteArray serial;
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
        } else if (argument == QLatin1String("--dongle") || argument.startsWith(QLatin1String("--dongle="))) {
            if (argument == QLatin1String("--dongle"))
                serial = arguments.value(++i).toLatin1();
            else
                serial = argument.mid(int(qstrlen("--dongle="))).toLatin1();
            if (serial.isEmpty()) {
                selection.error = QStringLiteral("--dongle needs the dongle's USB serial number (veltra-cli list shows it)");
                return selection;
            }
        } else if (argument == QLatin1String("--driver") || argument.startsWith(QLatin1String("--driver="))) {
            if (argument == QLatin1String("--driver"))
                forced = arguments.value(++i);
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
    if (!serial.isEmpty() && !port.isEmpty()) {
        selection.error = QStringLiteral("--dongle and --port exclude each other");
        return selection;
    }
    // Every driver chosen below opens only that dongle.
    const auto chosen = [&selection, &serial] {
        if (selection.driver)
            selection.driver->requireSerialNumber(serial);
        if (!serial.isEmpty())
            qDebug() << "Dongle driver: only the dongle with USB serial number" << serial;
    };

    if (simulate) {
        SimProfile profile;
        QString why;
        if (!SimProfile::parse(profileText, &profile, &why)) {
            selection.error = why;
            return selection;
        }
        selection.driver = SimDriver::forProfile(profile, &selection.simulator);
        chosen();
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
        d2xx->requireSerialNumber(serial);
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
                chosen();
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
    chosen();
#else
    selection.error = QStringLiteral("no dongle driver found: install FTDI's D2XX driver, or use --simulate");
#endif
    return selection;
}

QList<DriverSelection::Listed> DriverSelection::listDongles(const QStringList &arguments, QString *error)
{
    // The list is made by the drivers the arguments would choose from,
    // without opening anything: a dongle another process holds is listed too.
    // The arguments are the command line's, each option apart from its
    // value: --simulate[=PROFILE], --port PATH, --driver NAME, --dongle SERIAL.
    QStringList plain;
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--dongle"))
            ++i;
        else
            plain << arguments.at(i);
    }
    QList<Listed> listed;
    const QByteArray description(VirtualDongle::description);
    const bool simulate = std::any_of(plain.cbegin(), plain.cend(), [](const QString &a) {
        return a == QLatin1String("--simulate") || a.startsWith(QLatin1String("--simulate="));
    });
    const int portAt = int(plain.indexOf(QStringLiteral("--port")));
    const int driverAt = int(plain.indexOf(QStringLiteral("--driver")));
    const QString forced = driverAt >= 0 ? plain.value(driverAt + 1) : QString();
    if (simulate || portAt >= 0) {
        DriverSelection selection = fromArguments(plain);
        if (!selection.error.isEmpty()) {
            *error = selection.error;
            return listed;
        }
        if (simulate) {
            for (const auto &found : selection.driver->find(description))
                listed << Listed {QStringLiteral("(in-process)"), QStringLiteral("simulator"), QString::fromLatin1(found.serial)};
        } else {
            // A port named by hand is listed as given; the serial number is
            // what the device tree says of it, when it says anything.
            const QString port = plain.value(portAt + 1);
            QString serial;
#ifdef Q_OS_UNIX
            for (const auto &found : SerialPortDriver::findPorts(description)) {
                if (QFileInfo(found.port).canonicalFilePath() == QFileInfo(port).canonicalFilePath())
                    serial = QString::fromLatin1(found.serial);
            }
#endif
            listed << Listed {port, QStringLiteral("serial"), serial};
        }
        return listed;
    }
    if (forced != QLatin1String("serial")) {
        D2xxDriver d2xx;
        for (const auto &found : d2xx.find(description))
            listed << Listed {found.port, QStringLiteral("d2xx"), QString::fromLatin1(found.serial)};
    }
#ifdef Q_OS_UNIX
    if (forced != QLatin1String("d2xx")) {
        for (const auto &found : SerialPortDriver::findPorts(description))
            listed << Listed {found.port, QStringLiteral("serial"), QString::fromLatin1(found.serial)};
    }
#endif
    return listed;
}
