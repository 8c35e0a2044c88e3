#pragma once

// A Configurator over the virtual dongle and radio, wired as the application
// wires it, with the report folder in a temporary directory.

#include "app/wiring.h"
#include "config/configurator.h"
#include "sim/radioapplication.h"
#include "usb/pacing.h"
#include "usb/simrig.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

struct Session
{
    // Protocol waits skipped, discovery and monitoring a hundred times
    // quicker: the same steps in the same order, in milliseconds.
    static void quicken()
    {
        Pacing::setInstant(true);
        Pacing::setTimerScale(100);
        TestLog::install();
    }

    explicit Session(const QString &profile)
        : rig(profile)
        , configurator(rig.usbd.get())
    {
        connectSession(rig.usbd.get(), &configurator, nullptr);
        configurator.logFolderPath = folder.path() + QLatin1Char('/');
    }

    RadioUnit &radio() { return rig.dongle->radioUnit(); }

    // Connect as the operator does and wait for the readout to finish.
    bool connectAndRead()
    {
        rig.usbd->liveDataEnabled = 0;
        configurator.on_connect_clicked();
        return QTest::qWaitFor([this] { return rig.usbd->liveDataEnabled == 1; }, 8000);
    }

    // Save & Disconnect; returns the report it wrote.
    QByteArray store()
    {
        configurator.on_storeAndDisconnect_clicked();
        QFile file(configurator.reportFileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir folder;
    SimRig rig;
    Configurator configurator;
};
