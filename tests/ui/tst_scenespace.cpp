// The window over generated radios: the scene as the application loads it,
// one radio after another behind the same dongle, driven through its objects
// (no pixels) with instant pacing. What each radio offers is judged from its
// capability bytes, and what the window did from what the radio stored.
// VELTRA_SCENE_SEED repeats a run; VELTRA_SCENE_RADIOS sets how many.

#include "config/configurator.h"
#include "config/dropdownmodel.h"
#include "config/radiospace.h"
#include "config/readout.h"
#include "scene.h"
#include "usb/pacing.h"

#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace RadioSpace;

namespace {

QStringList sceneProblems;

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QByteArray file(context.file ? context.file : "");
    if (type != QtDebugMsg && type != QtInfoMsg && (file.startsWith("qrc:") || message.contains(QLatin1String("qrc:/"))))
        sceneProblems << message;
}

bool flag(const std::array<quint8, 11> &mask, int channel)
{
    return (mask[size_t((channel - 1) / 8)] >> ((channel - 1) % 8)) & 1;
}

// What a radio offers, read from its capability and settings replies the
// way the radio describes them, not through the session's decoders.
struct Offer
{
    bool bands[3] = {};
    bool label = false, adaptive = false, rdm = false, band58 = false;
};

Offer offerOf(const RadioUnit &radio, int level)
{
    Offer o;
    if (level == 0) {
        o.bands[0] = true;
        return o;
    }
    const QByteArray caps = radio.capabilities;
    auto at = [&caps](int i) { return i < caps.size() ? int(quint8(caps.at(i))) : 0; };
    const int r8h = at(3), r8c = at(14);
    const int fiveCount = r8c ? r8h >> 1 : r8h * 2;
    o.bands[0] = at(0) != 0;
    o.bands[1] = fiveCount == 2;
    o.bands[2] = r8h != 0;
    o.label = at(8) != 0;
    o.adaptive = at(6) != 0;
    o.rdm = at(4) != 0;
    // The switch byte is reported by radios whose capability reply is long
    // enough to carry it.
    o.band58 = caps.size() > 13;
    return o;
}

} // namespace

class TestSceneSpace : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<DropdownModel> m_dropdown;
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

    void store() { c().on_storeAndDisconnect_clicked(); }

    void activate(QObject *dropdown, int index)
    {
        QVERIFY(dropdown);
        QMetaObject::invokeMethod(dropdown, "activated", Q_ARG(int, index));
    }

private slots:
    void initTestCase()
    {
        qInstallMessageHandler(messageHandler);
        Pacing::setInstant(true);
        Pacing::setTimerScale(100);
        m_seed = qEnvironmentVariableIsSet("VELTRA_SCENE_SEED") ? quint32(qEnvironmentVariableIntValue("VELTRA_SCENE_SEED"))
                                                                : QRandomGenerator::global()->generate();
        if (qEnvironmentVariableIsSet("VELTRA_SCENE_RADIOS"))
            m_radios = qEnvironmentVariableIntValue("VELTRA_SCENE_RADIOS");
        fprintf(stderr, "seed %u, %d radios (VELTRA_SCENE_SEED=%u repeats this run)\n", m_seed, m_radios, m_seed);
        Scene::registerTypes();
        Scene::isolateSettings(m_home.path());
        m_dropdown = std::make_unique<DropdownModel>();
        m_bench = std::make_unique<Readout::Bench>(QStringLiteral("r9"));
        m_engine = std::make_unique<QQmlApplicationEngine>();
        m_engine->rootContext()->setContextProperty(QStringLiteral("dropdownData"), m_dropdown.get());
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
        QVERIFY2(sceneProblems.isEmpty(), qPrintable(sceneProblems.join(QLatin1Char('\n'))));
    }

    // For each radio: the window opens what it offers and nothing else; an
    // untouched Save & Disconnect stores its bytes back unchanged; then Clear
    // All on one band, an entry of each drop-down and a power, saved, reach
    // the radio as chosen and nothing else changes.
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
            // A flag as it must be after Clear All on the band cleared.
            auto expectedFlag = [&before](int band, int channel, int cleared) {
                return band == cleared && channel <= 84 ? false : flag(before.masks[size_t(band)], channel);
            };

            // What the views open.
            QVERIFY2(show("Settings.qml", "settingsView"), where);
            QVERIFY2(find("deviceName")->property("enabled").toBool() == offer.label, where + " label");
            QVERIFY2(find("adaptiveSwitch")->property("enabled").toBool() == (offer.adaptive && level() > 0), where + " adaptive");
            QVERIFY2(find("rdmSwitch")->property("enabled").toBool() == (offer.rdm && level() > 0), where + " rdm");
            QVERIFY2(find("highBandSwitch")->property("enabled").toBool() == (offer.band58 && level() > 0), where + " band58");
            QVERIFY2(show("Masking.qml", "maskingView"), where);
            QObject *tabBar = find("tabBar");
            // The view opens on the radio's first band.
            const int first = offer.bands[0] ? 0 : offer.bands[1] ? 1 : 2;
            QVERIFY2(!offer.bands[first] || tabBar->property("activeTab").toInt() == first, where + " first tab");
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
            store();
            QVERIFY2(radio().stored == before, where);
            if (bands.isEmpty())
                continue;

            // Clear All on one band, then a choice in each drop-down.
            QVERIFY2(read(), where);
            const int cleared = bands.at(random.bounded(bands.size()));
            QVERIFY2(show("Masking.qml", "maskingView"), where);
            tabBar = find("tabBar");
            QMetaObject::invokeMethod(tabBar, "selectTab", Q_ARG(QVariant, cleared));
            QMetaObject::invokeMethod(find("clearAll"), "clicked");
            // What the view hands over, channels 85 to 88 included: the radio
            // may keep those whatever the view says, so they are looked at here.
            const QList<bool> shown = c().ismaskedChannels();
            for (int i = 0; i < 3 * 88; ++i) {
                const int band = i / 88, channel = i % 88 + 1;
                if (offer.bands[band])
                    QVERIFY2(shown.value(i) == expectedFlag(band, channel, cleared), where + " flag " + QByteArray::number(i));
            }
            QObject *power = find("powerDropdown");
            const int powers = power->property("count").toInt();
            QVERIFY2(power->property("enabled").toBool() == (powers > 1), where + " power choice");
            const int powerChoice = powers > 1 ? random.bounded(powers) : -1;
            if (powerChoice >= 0)
                activate(power, powerChoice);

            int modeCode = -1;
            QString direction;
            QHash<QString, bool> switches;
            if (level() > 0) {
                QVERIFY2(show("Settings.qml", "settingsView"), where);
                QObject *modes = find("transmitterMode");
                const QStringList modeList = c().isListforRadioMode();
                if (!modeList.isEmpty()) {
                    const int pick = random.bounded(modeList.size());
                    activate(modes, pick);
                    modeCode = level() == 1 ? QList<int> {0, 1, 2, 0}.value(pick) : modeCodeOfEntry(modeList.at(pick));
                }
                const QStringList directions = c().isListforRadio_direction();
                if (!directions.isEmpty()) {
                    const int pick = random.bounded(directions.size());
                    activate(find("radioDirection"), pick);
                    direction = directions.at(pick);
                }
                // Each switch the view opens shows the radio's byte (any nonzero
                // is on; the 5.8 GHz one counts its low bit), then is turned to
                // a drawn position.
                const struct { const char *name; int byte; bool lowBit; } switchBytes[] = {
                    {"adaptiveSwitch", 3, false}, {"rdmSwitch", 6, false}, {"highBandSwitch", 8, true}};
                for (const auto &[name, at, lowBit] : switchBytes) {
                    QObject *control = find(QLatin1String(name));
                    if (!control->property("enabled").toBool())
                        continue;
                    const int byte = quint8(before.frame[size_t(at)]);
                    if (level() == 2)
                        QVERIFY2(control->property("checked").toBool() == (lowBit ? byte % 2 == 1 : byte != 0),
                                 where + " " + name);
                    const bool on = random.bounded(2);
                    control->setProperty("checked", on);
                    QMetaObject::invokeMethod(control, "toggled");
                    switches.insert(QLatin1String(name), on);
                }
            }
            store();
            const RadioUnit::Settings after = radio().stored;
            // The edits land in the band whose tab showed them, unless the
            // mode took the window's one 5 GHz edit to its other 5 GHz band.
            int landed = cleared;
            const int from = bandOfCode(before.frame[2]), to = bandOfCode(modeCode);
            if (offer.bands[1] && offer.bands[2] && cleared == from && from > 0 && to > 0 && to != from)
                landed = to;
            for (int band = 0; band < 3; ++band) {
                for (int channel = 1; channel <= 88; ++channel)
                    QVERIFY2(flag(after.masks[size_t(band)], channel) == expectedFlag(band, channel, landed),
                             where + " stored band " + QByteArray::number(band) + " channel " + QByteArray::number(channel));
            }
            if (powerChoice >= 0) {
                auto list = [this](int band) { return band == 0 ? c().powerList24 : band == 1 ? c().powerList52 : c().powerList58; };
                const int moved = list(landed).indexOf(list(cleared).value(powerChoice));
                const int expected = landed == cleared ? powerChoice : moved >= 0 ? moved : before.powerIndex[size_t(landed)];
                QVERIFY2(after.powerIndex[size_t(landed)] == expected, where + " power in band " + QByteArray::number(landed));
                if (landed != cleared)
                    QVERIFY2(after.powerIndex[size_t(cleared)] == before.powerIndex[size_t(cleared)], where);
            }
            if (modeCode >= 0)
                QVERIFY2(int(after.frame[2]) == modeCode, where + " mode code " + QByteArray::number(after.frame[2]));
            // Read again, each choice shows as made; a switch reads as meant
            // (a radio may say ON with any byte but 0).
            if (!direction.isEmpty() || !switches.isEmpty()) {
                QVERIFY2(read(), where);
                if (!direction.isEmpty())
                    QVERIFY2(c().ispresentTransmitterMode() == direction, where + " direction");
                const QHash<QString, int> states {{"adaptiveSwitch", c().isadaptivestate() != 0},
                                                  {"rdmSwitch", c().isRDMEnabledstate() != 0},
                                                  {"highBandSwitch", c().isHighbandstate() % 2}};
                for (auto it = switches.cbegin(); it != switches.cend(); ++it)
                    QVERIFY2(states.value(it.key()) == int(it.value()), where + " " + it.key().toLatin1());
                c().on_disconnect_clicked();
            }
        }
    }
};

QTEST_MAIN(TestSceneSpace)
#include "tst_scenespace.moc"
