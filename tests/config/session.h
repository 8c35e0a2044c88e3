#pragma once

// A Configurator over the virtual dongle and radio, wired as the application
// wires it, with the report folder in a temporary directory.

#include "app/wiring.h"
#include "config/readout.h"
#include "usb/pacing.h"

#include <QFile>
#include <QtTest>

struct Session : Readout::Bench
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
        : Bench(profile)
    {
        connectSession(usbd.get(), &configurator, nullptr);
    }

    // Connect as the operator does and wait for the readout to finish.
    bool connectAndRead()
    {
        usbd->liveDataEnabled = 0;
        configurator.on_connect_clicked();
        return QTest::qWaitFor([this] { return usbd->liveDataEnabled == 1; }, 8000);
    }

    // Save & Disconnect; returns the report it wrote.
    QByteArray store()
    {
        configurator.on_storeAndDisconnect_clicked();
        QFile file(configurator.reportFileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    size_t traceMark()
    {
        auto guard = dongle->lock();
        return dongle->trace().entries().size();
    }

    // The shortest time by the radio's clock between two frames that write
    // its settings, from trace entry `from` on; -1 for fewer than two.
    qint64 closestWritesUs(size_t from)
    {
        auto guard = dongle->lock();
        const auto &entries = dongle->trace().entries();
        qint64 last = -1, closest = -1;
        for (size_t i = from; i < entries.size(); ++i) {
            const SimTrace::Entry &entry = entries[i];
            if (entry.kind != SimTrace::RadioIn || !QByteArray::fromHex("0d0f111b19").contains(entry.bytes.at(5)))
                continue;
            if (last >= 0 && (closest < 0 || entry.timeUs - last < closest))
                closest = entry.timeUs - last;
            last = entry.timeUs;
        }
        return closest;
    }
};
