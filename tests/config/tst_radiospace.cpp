// Properties over the generated radios of radiospace.h, met through the virtual
// radio with instant pacing and judged by what the radio stored.
#include "config/configurator.h"
#include "config/radiosetup.h"
#include "config/radiospace.h"
#include "config/readout.h"
#include "usb/pacing.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

using namespace RadioSpace;
using Readout::Bench;

// The bands a readout found with power lists to choose from (0 2.4, 1 5.2, 2 5.8 GHz).
QList<int> bandsWithPowers(Configurator &c)
{
    QList<int> bands;
    if (!c.powerList24.isEmpty())
        bands << 0;
    if (!c.powerList52.isEmpty())
        bands << 1;
    if (!c.powerList58.isEmpty() && c.powerList58 != Configurator::dashTable)
        bands << 2;
    return bands;
}

} // namespace

class TestRadioSpace : public QObject
{
    Q_OBJECT

private:
    // Every value in force chosen again, every band's mask queued: the deploy
    // an operator makes who looks at everything and changes nothing.
    static void chooseWhatIsInForce(Configurator &c)
    {
        if (c.radioModeIndex >= 0)
            c.on_radioMode_currentIndexChanged(c.radioModeIndex);
        if (c.directionIndex >= 0)
            c.on_direction_currentIndexChanged(c.directionIndex);
        if (c.radioCapabilities.adaptiveHopping)
            c.on_adaptiveHopping_currentIndexChanged(c.isadaptivestate());
        if (c.isRDMEnabledstate() >= 0)
            c.on_enableRDM_currentIndexChanged(c.isRDMEnabledstate());
        if (c.isHighbandstate() >= 0)
            c.on_enable58_currentIndexChanged(c.isHighbandstate());
        for (int band : bandsWithPowers(c)) {
            c.powerList(band);
            c.writePowerSettings(band == 0 ? c.power24Index : band == 1 ? c.power52Index : c.power58Index);
            c.maskingChanged(band);
        }
    }

private slots:
    void initTestCase()
    {
        Pacing::setInstant(true);
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    }

    void untouchedDeployWritesBackWhatWasRead_data()
    {
        QTest::addColumn<QString>("profile");
        QRandomGenerator random(12);
        // Each shape with every third mode code, the next two shapes taking
        // the codes it skips: every pair of shape and code within three shapes.
        for (int shape = 0; shape < shapes; ++shape) {
            for (int i = shape % 3; i < int(std::size(modeCodes)); i += 3)
                QTest::addRow("shape %d code %d", shape, modeCodes[i]) << makeProfile(shape, modeCodes[i], random);
        }
        for (int i = 0; i < 32; ++i)
            QTest::addRow("legacy %d", i) << legacyProfile(random, i % 2 == 0);
    }

    void untouchedDeployWritesBackWhatWasRead()
    {
        QFETCH(QString, profile);
        Bench bench(profile);
        const RadioUnit::Settings before = bench.radio().stored;
        QVERIFY(bench.read());
        // An adaptive radio's strip is the mask of the band its mode works on;
        // a repeating mode shows none.
        const int code = before.frame[2];
        const int band = code == 6 || code == 7 ? -1 : bandOfCode(code);
        const QList<bool> masks[] = {bench.c().maskList24, bench.c().maskList52, bench.c().maskList58};
        QCOMPARE(bench.c().isadaptiveList(), bench.radio().capabilities.size() > 6 && bench.radio().capabilities.at(6) && band >= 0 ? masks[band] : QList<bool> {});
        // An untouched deploy changes no byte; the radio's own exported setup,
        // applied back through the file's text, queues no frame.
        chooseWhatIsInForce(bench.c());
        bench.c().on_storeAndDisconnect_clicked();
        QCOMPARE(bench.radio().stored, before);
        QVERIFY(bench.read());
        RadioSetup setup;
        QString error;
        QVERIFY2(setup.fromJson(bench.c().currentSetup().toJson(), &error), qPrintable(error));
        for (const auto &refusal : bench.c().applySetup(setup))
            QFAIL(qPrintable(refusal.key + ": " + refusal.reason));
        QCOMPARE(bench.c().deployList, QList<int> {});
        // The other direction offered by name is stored as the radio's code for it.
        const QStringList directions = bench.c().isListforRadio_direction();
        const QString other = directions.value(bench.c().directionIndex) == QLatin1String("Transmitter") ? "Receiver" : "Transmitter";
        if (directions.contains(other)) {
            bench.c().on_direction_currentIndexChanged(int(directions.indexOf(other)));
            bench.c().on_storeAndDisconnect_clicked();
            QCOMPARE(int(bench.radio().stored.frame[0]), other == QLatin1String("Receiver") ? 1 : 0);
        }
    }

    // A mode, and a power and mask named for a band, set as the command line
    // sets them: they land in that band whatever band the mode uses, no other.
    void namedBandEditsStayOnTheirBand_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("seed");
        QRandomGenerator random(78);
        for (int shape = 0; shape < shapes; ++shape) {
            const int code = modeCodes[random.bounded(int(std::size(modeCodes)))];
            QTest::addRow("shape %d code %d", shape, code) << makeProfile(shape, code, random) << int(random.generate());
        }
    }

    void namedBandEditsStayOnTheirBand()
    {
        QFETCH(QString, profile);
        QFETCH(int, seed);
        QRandomGenerator random {quint32(seed)};
        Bench bench(profile);
        Configurator &c = bench.c();
        QVERIFY(bench.read());
        const QStringList modes = c.isListforRadioMode();
        const QList<int> bands = bandsWithPowers(c);
        for (int band : bands) {
            const RadioUnit::Settings before = bench.radio().stored;
            const QString suffix = band == 0 ? "24" : band == 1 ? "52" : "58";
            const QStringList powers = band == 0 ? c.powerList24 : band == 1 ? c.powerList52 : c.powerList58;
            const int power = random.bounded(powers.size());
            const int first = 1 + random.bounded(84), last = first + random.bounded(85 - first);
            RadioSetup setup;
            if (!modes.isEmpty())
                setup.set(QStringLiteral("mode"), modes.at(random.bounded(modes.size())));
            setup.set("power" + suffix, powers.at(power));
            setup.set("mask" + suffix, QStringLiteral("%1-%2").arg(first).arg(last));
            const int shown = c.isoperatingBand();
            QVERIFY(c.applySetup(setup).isEmpty());
            QCOMPARE(c.isoperatingBand(), shown); // the view keeps its band
            c.on_storeAndDisconnect_clicked();
            const RadioUnit::Settings &after = bench.radio().stored;
            auto powerIndex = before.powerIndex;
            powerIndex[size_t(band)] = quint8(power);
            QCOMPARE(after.powerIndex, powerIndex);
            auto masks = before.masks;
            for (int channel = 1; channel <= 84; ++channel) {
                quint8 &byte = masks[size_t(band)][size_t((channel - 1) / 8)];
                const quint8 bit = quint8(1 << ((channel - 1) % 8));
                byte = channel >= first && channel <= last ? byte | bit : byte & ~bit;
            }
            QCOMPARE(after.masks, masks);
            QVERIFY(bench.read());
        }
    }

    // Two radios one after the other behind the same dongle: nothing of the
    // first shows in the second's report.
    void secondRadioIsReadAsIfAlone_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QRandomGenerator random(56);
        QStringList profiles;
        for (int shape = 0; shape < shapes; ++shape)
            profiles << makeProfile(shape, modeCodes[random.bounded(int(std::size(modeCodes)))], random);
        for (int i = 0; i < 8; ++i)
            profiles << legacyProfile(random, true);
        for (int i = 0; i < profiles.size(); ++i) {
            const int other = random.bounded(profiles.size());
            QTest::addRow("radio %d then %d", i, other) << profiles.at(i) << profiles.at(other);
        }
    }

    void secondRadioIsReadAsIfAlone()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        Bench alone(second);
        QVERIFY(alone.read());
        Bench both(first);
        QVERIFY(both.read());
        QVERIFY(both.swap(second));
        QVERIFY(both.read());
        QCOMPARE(both.report(), alone.report());
        QCOMPARE(both.c().isListforRadioMode(), alone.c().isListforRadioMode());
        QCOMPARE(both.c().isListforRadio_direction(), alone.c().isListforRadio_direction());
        QCOMPARE(both.c().powerList52, alone.c().powerList52);
        QCOMPARE(both.c().isHighbandstate(), alone.c().isHighbandstate());
        QCOMPARE(both.c().isRDMEnabledstate(), alone.c().isRDMEnabledstate());
        QCOMPARE(both.c().isadaptiveList(), alone.c().isadaptiveList());
    }
};

QTEST_GUILESS_MAIN(TestRadioSpace)
#include "tst_radiospace.moc"
