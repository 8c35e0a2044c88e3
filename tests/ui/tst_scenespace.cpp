// The window as the application loads it over generated radios behind one
// dongle, driven through its objects (no pixels) with instant pacing: what each
// radio offers is judged from its capability bytes, what the window did from
// what the radio stored. VELTRA_SCENE_SEED repeats a run, VELTRA_SCENE_RADIOS sizes it.

#include "config/configurator.h"
#include "config/radiospace.h"
#include "config/readout.h"
#include "scene.h"
#include "usb/pacing.h"

#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtTest>

#include <memory>

using namespace RadioSpace;

namespace {

// The settings view's switches: the settings frame's byte each shows and the Configurator's
// reading of it. Any byte but 0 is on, but the 5.8 GHz switch counts its low bit.
const struct Switch { const char *name; int byte; const char *state; bool lowBit; } switches[] = {
    {"adaptiveSwitch", 3, "isadaptivestate", false}, {"rdmSwitch", 6, "isRDMEnabledstate", false},
    {"highBandSwitch", 8, "isHighbandstate", true}};

bool isOn(const Switch &s, int value) { return s.lowBit ? value % 2 == 1 : value != 0; }

// What a radio offers, read from its capability reply as the radio describes
// it, not through the session's decoders.
struct Offer { bool bands[3]; bool label; bool switches[3]; };

Offer offerOf(const RadioUnit &radio, int level)
{
    // A legacy radio has no capability reply, and its 2.4 GHz band alone.
    const QByteArray caps = level > 0 ? radio.capabilities : QByteArray();
    auto at = [&caps](int i) { return i < caps.size() ? int(quint8(caps.at(i))) : 0; };
    const int r8h = at(3), fiveCount = at(14) ? r8h >> 1 : r8h * 2;
    // The 5.8 GHz switch's byte comes with a reply long enough to carry it.
    return Offer {{level == 0 || at(0) != 0, fiveCount == 2, r8h != 0}, at(8) != 0, {at(6) != 0, at(4) != 0, caps.size() > 13}};
}

} // namespace

class TestSceneSpace : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<Readout::Bench> m_bench;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QQuickWindow *m_window = nullptr;
    quint32 m_seed = 0;
    int m_radios = 200;

    Configurator &c() { return m_bench->c(); }
    RadioUnit &radio() { return m_bench->radio(); }
    int level() const { return m_bench->usbd->protocolVersion; }
    QObject *loader() const { return m_window->findChild<QObject *>(QStringLiteral("mainLoader")); }
    QQuickItem *view() const { return qvariant_cast<QQuickItem *>(loader()->property("item")); }
    QObject *find(const QString &name) const { return Scene::findIn(view(), name); }

    bool read()
    {
        if (!m_bench->read())
            return false;
        c().showDongleVersion();
        return c().DongleandDMXconnected();
    }

    bool show(const char *file, const char *name)
    {
        // Made anew each time, as the operator's navigation makes it.
        loader()->setProperty("source", QUrl());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        loader()->setProperty("source", QUrl(QStringLiteral("qrc:/views/") + QLatin1String(file)));
        return QTest::qWaitFor([&] { return view() && view()->objectName() == QLatin1String(name); }, 5000);
    }

private slots:
    void initTestCase()
    {
        qInstallMessageHandler(Scene::keepProblems);
        Pacing::setInstant(true);
        Pacing::setTimerScale(100);
        m_seed = qEnvironmentVariableIsSet("VELTRA_SCENE_SEED") ? quint32(qEnvironmentVariableIntValue("VELTRA_SCENE_SEED"))
                                                                : QRandomGenerator::global()->generate();
        if (qEnvironmentVariableIsSet("VELTRA_SCENE_RADIOS"))
            m_radios = qEnvironmentVariableIntValue("VELTRA_SCENE_RADIOS");
        fprintf(stderr, "seed %u, %d radios (VELTRA_SCENE_SEED=%u repeats this run)\n", m_seed, m_radios, m_seed);
        registerSceneTypes();
        Scene::isolateSettings(m_home.path());
        m_bench = std::make_unique<Readout::Bench>(QStringLiteral("r9"));
        m_engine = std::make_unique<QQmlApplicationEngine>();
        m_engine->rootContext()->setContextProperty(QStringLiteral("configurator"), &c());
        m_engine->load(QUrl(QStringLiteral("qrc:/App.qml")));
        m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().value(0));
        QVERIFY(m_window);
        // Driven through its objects: nothing needs drawing, and a view is
        // made at once rather than a piece per frame of a window not shown.
        m_window->hide();
        loader()->setProperty("asynchronous", false);
    }

    void cleanupTestCase()
    {
        m_engine.reset();
        m_bench.reset();
        qInstallMessageHandler(nullptr);
        const QStringList problems = Scene::takeProblems();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    // For each radio: the window opens what it offers and nothing else; an
    // untouched Save & Disconnect stores its bytes back unchanged; then Clear
    // All on one band, an entry of each drop-down, a power and the switches,
    // saved, reach the radio as chosen and nothing else changes.
    void windowOverGeneratedRadios()
    {
        QRandomGenerator random(m_seed);
        for (int n = 0; n < m_radios; ++n) {
            const QString profile = n % 25 == 24 ? legacyProfile(random, true)
                                                 : makeProfile(random.bounded(shapes),
                                                               modeCodes[random.bounded(int(std::size(modeCodes)))], random);
            const QByteArray where = QStringLiteral("radio %1: %2").arg(n).arg(profile).toLatin1();
            QVERIFY2(m_bench->swap(profile), where);
            QVERIFY2(read(), where);
            const Offer offer = offerOf(radio(), level());
            const RadioUnit::Settings before = radio().stored;
            // The first flag, read through flagAt(band, channel), that is not as
            // Clear All on band cleared leaves it; empty when there is none.
            auto misflagged = [&](int cleared, bool offeredOnly, auto flagAt) {
                for (int band = 0; band < 3; ++band) {
                    if (offeredOnly && !offer.bands[band])
                        continue;
                    for (int channel = 1; channel <= 88; ++channel) {
                        const bool expected = (band != cleared || channel > 84) && Scene::masked(before.masks[size_t(band)], channel);
                        if (flagAt(band, channel) != expected)
                            return QStringLiteral(" band %1 channel %2").arg(band).arg(channel).toLatin1();
                    }
                }
                return QByteArray();
            };

            // What the views open.
            QVERIFY2(show("Settings.qml", "settingsView"), where);
            QVERIFY2(find("deviceName")->property("enabled").toBool() == offer.label, where + " label");
            for (int s = 0; s < 3; ++s)
                QVERIFY2(find(switches[s].name)->property("enabled").toBool() == offer.switches[s], where + " " + switches[s].name);
            QVERIFY2(show("Masking.qml", "maskingView"), where);
            QObject *tabBar = find("tabBar");
            // The view opens on the radio's first band, or on 2.4 GHz for none.
            const int first = offer.bands[0] ? 0 : offer.bands[1] ? 1 : offer.bands[2] ? 2 : 0;
            QVERIFY2(tabBar->property("activeTab").toInt() == first, where + " first tab");
            QList<int> bands;
            for (int band = 0; band < 3; ++band) {
                const char *property = band == 0 ? "has24ghz" : band == 1 ? "has52ghz" : "has58ghz";
                QVERIFY2(tabBar->property(property).toBool() == offer.bands[band], where + " band " + QByteArray::number(band));
                // A band the radio lacks cannot be picked: the tab stays.
                const int before = tabBar->property("activeTab").toInt();
                QMetaObject::invokeMethod(tabBar, "selectTab", Q_ARG(QVariant, band));
                QVERIFY2(tabBar->property("activeTab").toInt() == (offer.bands[band] ? band : before), where + " tab");
                if (offer.bands[band])
                    bands << band;
            }

            // Looked at, not touched: the radio keeps every byte.
            c().on_storeAndDisconnect_clicked();
            QVERIFY2(radio().stored == before, where);
            if (bands.isEmpty())
                continue;

            QVERIFY2(read(), where);
            const int cleared = bands.at(random.bounded(bands.size()));
            QVERIFY2(show("Masking.qml", "maskingView"), where);
            QMetaObject::invokeMethod(find("tabBar"), "selectTab", Q_ARG(QVariant, cleared));
            QMetaObject::invokeMethod(find("clearAll"), "clicked");
            // What the view hands over, channels 85 to 88 included: the radio
            // may keep those whatever the view says, so they are looked at here.
            const QList<bool> shown = c().ismaskedChannels();
            QByteArray wrong = misflagged(cleared, true, [&shown](int band, int channel) { return shown.value(band * 88 + channel - 1); });
            QVERIFY2(wrong.isEmpty(), where + " shown" + wrong);
            QObject *power = find("powerDropdown");
            const int powers = power->property("count").toInt();
            QVERIFY2(power->property("enabled").toBool() == (powers > 1), where + " power choice");
            const int powerChoice = powers > 1 ? random.bounded(powers) : -1;
            if (powerChoice >= 0)
                QMetaObject::invokeMethod(power, "activated", Q_ARG(int, powerChoice));

            int modeCode = -1;
            QString direction;
            int turned[3] = {-1, -1, -1};
            if (level() > 0) {
                QVERIFY2(show("Settings.qml", "settingsView"), where);
                const QStringList modes = c().isListforRadioMode();
                if (!modes.isEmpty()) {
                    const int pick = random.bounded(modes.size());
                    QMetaObject::invokeMethod(find("transmitterMode"), "activated", Q_ARG(int, pick));
                    modeCode = level() == 1 ? QList<int> {0, 1, 2, 0}.value(pick) : modeCodeOfEntry(modes.at(pick));
                }
                const QStringList directions = c().isListforRadio_direction();
                if (!directions.isEmpty()) {
                    const int pick = random.bounded(directions.size());
                    QMetaObject::invokeMethod(find("radioDirection"), "activated", Q_ARG(int, pick));
                    direction = directions.at(pick);
                }
                // Each switch it opens shows the radio's byte, then turns as drawn.
                for (int s = 0; s < 3; ++s) {
                    QObject *control = find(QLatin1String(switches[s].name));
                    if (!control->property("enabled").toBool())
                        continue;
                    if (level() == 2)
                        QVERIFY2(control->property("checked").toBool() == isOn(switches[s], quint8(before.frame[size_t(switches[s].byte)])),
                                 where + " " + switches[s].name);
                    turned[s] = int(random.bounded(2));
                    control->setProperty("checked", turned[s] == 1);
                    QMetaObject::invokeMethod(control, "toggled");
                }
            }
            c().on_storeAndDisconnect_clicked();
            const RadioUnit::Settings after = radio().stored;
            // The edits land in the band whose tab showed them, unless the
            // mode took the window's one 5 GHz edit to its other 5 GHz band.
            int landed = cleared;
            const int from = bandOfCode(before.frame[2]), to = bandOfCode(modeCode);
            if (offer.bands[1] && offer.bands[2] && cleared == from && from > 0 && to > 0 && to != from)
                landed = to;
            wrong = misflagged(landed, false, [&after](int band, int channel) { return Scene::masked(after.masks[size_t(band)], channel); });
            QVERIFY2(wrong.isEmpty(), where + " stored" + wrong);
            if (powerChoice >= 0) {
                auto list = [this](int band) { return band == 0 ? c().powerList24 : band == 1 ? c().powerList52 : c().powerList58; };
                const int moved = list(landed).indexOf(list(cleared).value(powerChoice));
                const int expected = landed == cleared ? powerChoice : moved >= 0 ? moved : before.powerIndex[size_t(landed)];
                QVERIFY2(after.powerIndex[size_t(landed)] == expected, where + " power in band " + QByteArray::number(landed));
            }
            if (modeCode >= 0)
                QVERIFY2(int(after.frame[2]) == modeCode, where + " mode code " + QByteArray::number(after.frame[2]));
            // Read again, each choice shows as made; a switch reads as meant
            // (a radio may say ON with any byte but 0).
            if (level() > 0) {
                QVERIFY2(read(), where);
                if (!direction.isEmpty())
                    QVERIFY2(c().ispresentTransmitterMode() == direction, where + " direction");
                for (int s = 0; s < 3; ++s) {
                    if (turned[s] >= 0)
                        QVERIFY2(isOn(switches[s], c().property(switches[s].state).toInt()) == (turned[s] == 1), where + " " + switches[s].name);
                }
                c().on_disconnect_clicked();
            }
        }
    }
};

QTEST_MAIN(TestSceneSpace)
#include "tst_scenespace.moc"
