// The whole scene over the simulator, walked as an operator walks it: the
// window is built as the application builds it, clicks and keys go in through
// the window, and what the radio finally holds is read from the simulator.
// Any warning from the scene (a binding loop, an undefined property, a
// missing file) fails the walk. Every view, modal and wizard page is saved
// as a picture in each language under the build folder.

#include "app/wiring.h"
#include "config/configurator.h"
#include "config/dropdownmodel.h"
#include "config/frequencymaskingdata.h"
#include "config/frequencymaskingmodel.h"
#include "sim/radioapplication.h"
#include "usb/pacing.h"
#include "usb/simrig.h"
#include "firmware/vfpwriter.h"

#include <QDir>
#include <QImage>
#include <QMutex>
#include <QPixmap>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QMutex logMutex;
QStringList logLines;
QStringList sceneProblems;

bool fromScene(const QMessageLogContext &context, const QString &message)
{
    const QByteArray file(context.file ? context.file : "");
    const QByteArray category(context.category ? context.category : "");
    return file.startsWith("qrc:") || category == "qml" || category == "js"
           || category.startsWith("qt.quick") || message.contains(QLatin1String("qrc:/"))
           || message.startsWith(QLatin1String("TableView")) || message.startsWith(QLatin1String("QML"));
}

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QMutexLocker locker(&logMutex);
    logLines << message;
    const bool problem = type != QtDebugMsg && type != QtInfoMsg && fromScene(context, message);
    if (problem)
        sceneProblems << message;
    if (problem || type >= QtWarningMsg || qEnvironmentVariableIsSet("VELTRA_TEST_VERBOSE"))
        fprintf(stderr, "%s\n", qPrintable(message));
}

bool logged(const QString &line)
{
    QMutexLocker locker(&logMutex);
    return logLines.contains(line);
}

} // namespace

class TestWalk : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void startView();
    void connectShowsTheDevice();
    void maskingEditsQueueTheBand();
    void settingsEditsQueueTheirItems();
    void saveAndDisconnectStoresOnTheRadio();
    void languageChangeReloadsTheMaskingView();
    void disconnectReturnsToStart();
    void chineseWalk();
    void unpluggedDongleReturnsToStart();
    void wizardPagesInEveryLanguage();
    void radioUpdateReachesTheCompletePage();

private:
    QObject *loader() const { return m_window->findChild<QObject *>(QStringLiteral("mainLoader")); }
    QQuickItem *view() const { return qvariant_cast<QQuickItem *>(loader()->property("item")); }
    QString viewName() const { return view() ? view()->objectName() : QString(); }
    bool waitForView(const QString &name, int timeoutMs = 5000);
    QObject *find(const QString &name) const;
    QQuickItem *item(const QString &name) const { return qobject_cast<QQuickItem *>(find(name)); }
    void click(QQuickItem *target, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
               QPointF at = QPointF(-1, -1));
    void clickNamed(const QString &name) { click(item(name)); }
    bool pick(QQuickItem *dropdown, const QString &text);
    bool pickLanguage(const QString &code, const QString &label);
    void settle();
    void shot(const QString &name);
    bool popupOpen(const QString &name) const { return find(name) && find(name)->property("opened").toBool(); }
    QPointF cellCentre(QQuickItem *grid, int row, int column) const;
    bool connectRadio();

    QTemporaryDir m_home;
    QString m_language = QStringLiteral("en");
    std::unique_ptr<DropdownModel> m_dropdown;
    std::unique_ptr<SimRig> m_rig;
    std::unique_ptr<Configurator> m_configurator;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QQuickWindow *m_window = nullptr;
};

void TestWalk::initTestCase()
{
    qInstallMessageHandler(messageHandler);
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home.filePath(QStringLiteral("settings")));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_home.filePath(QStringLiteral("settings")));
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("orvane.com"));
    QDir().mkpath(QStringLiteral(VELTRA_SCREENSHOT_DIR));
    Pacing::setInstant(true);
    Pacing::setTimerScale(100);

    m_dropdown = std::make_unique<DropdownModel>();
    qRegisterMetaType<FrequencyMaskingData>("FrequencyMaskingData");
    qmlRegisterType<FrequencyMaskingModel>("FrequencyMaskingModel", 1, 0, "FrequencyMaskingModel");
    qmlRegisterSingletonType(QUrl(QStringLiteral("qrc:/assets/Colours.qml")), "configurator.style.colour", 1, 0, "Colours");
    qmlRegisterSingletonType(QUrl(QStringLiteral("qrc:/assets/Fonts.qml")), "configurator.style.fonts", 1, 0, "Fonts");
}

// Every case starts as the application does, in English, with a fresh
// radio behind the dongle: any one of them runs alone.
void TestWalk::init()
{
    QDir(m_home.filePath(QStringLiteral("settings"))).removeRecursively();
    m_language = QStringLiteral("en");
    m_engine = std::make_unique<QQmlApplicationEngine>();
    m_rig = std::make_unique<SimRig>(QStringLiteral("r9"));
    m_configurator = std::make_unique<Configurator>(m_rig->usbd.get());
    m_configurator->logFolderPath = m_home.filePath(QStringLiteral("logs")) + QLatin1Char('/');
    QDir().mkpath(m_configurator->logFolderPath);
    m_configurator->workingDirectoryPath = m_home.path() + QLatin1Char('/');
    connectSession(m_rig->usbd.get(), m_configurator.get(), nullptr);

    m_engine->rootContext()->setContextProperty(QStringLiteral("dropdownData"), m_dropdown.get());
    m_engine->rootContext()->setContextProperty(QStringLiteral("configurator"), m_configurator.get());
    m_engine->load(QUrl(QStringLiteral("qrc:/App.qml")));
    QCOMPARE(m_engine->rootObjects().size(), 1);
    m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().first());
    QVERIFY(m_window);
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QCOMPARE(m_window->size(), QSize(1280, 800));
}

void TestWalk::cleanup()
{
    // The scene goes first, so nothing on screen reads from the objects
    // taken down after it.
    m_engine.reset();
    m_window = nullptr;
    m_configurator.reset();
    m_rig.reset();
    QMutexLocker locker(&logMutex);
    const QStringList problems = sceneProblems;
    sceneProblems.clear();
    locker.unlock();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

void TestWalk::cleanupTestCase()
{
    qInstallMessageHandler(nullptr);
}

bool TestWalk::waitForView(const QString &name, int timeoutMs)
{
    return QTest::qWaitFor([&] {
        return loader()->property("status").toInt() == 1 && viewName() == name;
    }, timeoutMs);
}

// Looks through the object tree and the item tree: items made by a
// repeater or a table hang in the second only.
static QObject *findIn(QObject *root, const QString &name)
{
    if (!root)
        return nullptr;
    if (root->objectName() == name)
        return root;
    for (QObject *child : root->children()) {
        if (QObject *found = findIn(child, name))
            return found;
    }
    if (auto *item = qobject_cast<QQuickItem *>(root)) {
        for (QQuickItem *child : item->childItems()) {
            if (child->parent() != root) {
                if (QObject *found = findIn(child, name))
                    return found;
            }
        }
    }
    return nullptr;
}

QObject *TestWalk::find(const QString &name) const
{
    return findIn(view(), name);
}

void TestWalk::click(QQuickItem *target, Qt::KeyboardModifiers modifiers, QPointF at)
{
    QVERIFY(target);
    QVERIFY2(target->isVisible() && target->isEnabled(), qPrintable(target->objectName()));
    if (at.x() < 0)
        at = QPointF(target->width() / 2, target->height() / 2);
    QTest::mouseClick(m_window, Qt::LeftButton, modifiers, target->mapToScene(at).toPoint());
}

// Opens a drop-down and clicks the entry showing text, as the operator does.
bool TestWalk::pick(QQuickItem *dropdown, const QString &text)
{
    if (!dropdown)
        return false;
    click(dropdown);
    // A language pick takes the view, and with it the drop-down, away.
    QPointer<QObject> popup = qvariant_cast<QObject *>(dropdown->property("popup"));
    if (!popup || !QTest::qWaitFor([popup] { return popup->property("opened").toBool(); }, 2000))
        return false;
    int index = -1;
    QMetaObject::invokeMethod(dropdown, "find", Q_RETURN_ARG(int, index), Q_ARG(QString, text));
    auto *list = qvariant_cast<QQuickItem *>(popup->property("contentItem"));
    QQuickItem *entry = nullptr;
    if (!list || index < 0
        || !QTest::qWaitFor([&] {
               QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, entry), Q_ARG(int, index));
               return entry != nullptr;
           }, 2000))
        return false;
    click(entry);
    return QTest::qWaitFor([popup] { return !popup || !popup->property("visible").toBool(); }, 2000);
}

// Picks a language in the current view's selector and waits for the view to
// be made anew.
bool TestWalk::pickLanguage(const QString &code, const QString &label)
{
    const QString name = viewName();
    QPointer<QQuickItem> before = view();
    if (!pick(item(QStringLiteral("languageDropdown")), label))
        return false;
    m_language = code;
    return QTest::qWaitFor([&] { return view() && view() != before.data(); }, 3000) && waitForView(name);
}

void TestWalk::settle()
{
    QSignalSpy swapped(m_window, &QQuickWindow::frameSwapped);
    m_window->update();
    swapped.wait(300);
    QTest::qWait(60);
}

void TestWalk::shot(const QString &name)
{
    settle();
    QImage image = m_window->grabWindow();
    if (image.isNull() && m_window->screen())
        image = m_window->screen()->grabWindow(m_window->winId()).toImage();
    QVERIFY(!image.isNull());
    const QString path = QStringLiteral(VELTRA_SCREENSHOT_DIR "/%1-%2.png").arg(m_language, name);
    QVERIFY2(image.save(path, "PNG"), qPrintable(path));
}

QPointF TestWalk::cellCentre(QQuickItem *grid, int row, int column) const
{
    const qreal labelWidth = grid->property("labelWidth").toReal();
    const qreal cellWidth = grid->property("cellWidth").toReal();
    const qreal rowHeight = grid->property("rowHeight").toReal();
    const qreal x = column == 0 ? labelWidth / 2 : labelWidth + (column - 1) * (cellWidth + 1) + cellWidth / 2;
    return QPointF(x, row * (rowHeight + 3) + rowHeight / 2);
}

// Configuration on the start view, then the wait for the radio to be read.
bool TestWalk::connectRadio()
{
    if (!waitForView(QStringLiteral("startView")))
        return false;
    // The button answers once the dongle is known.
    if (!QTest::qWaitFor([this] { return item(QStringLiteral("configurationButton"))
                                         && item(QStringLiteral("configurationButton"))->isEnabled(); }, 3000))
        return false;
    clickNamed(QStringLiteral("configurationButton"));
    if (!QTest::qWaitFor([this] { return popupOpen(QStringLiteral("connectModal")) || viewName() == QLatin1String("deviceView"); }, 3000))
        return false;
    return waitForView(QStringLiteral("deviceView"), 10000);
}

void TestWalk::startView()
{
    QVERIFY(waitForView(QStringLiteral("startView")));
    QTRY_COMPARE(item(QStringLiteral("dongleStatus"))->findChild<QObject *>(QStringLiteral("statusText"))
                     ->property("text").toString(), QStringLiteral("3.2.7"));
    QCOMPARE(item(QStringLiteral("radioStatus"))->findChild<QObject *>(QStringLiteral("statusText"))
                 ->property("text").toString(), QStringLiteral("Veltra: Disconnected"));
    shot(QStringLiteral("start"));

    clickNamed(QStringLiteral("helpButton"));
    QVERIFY(popupOpen(QStringLiteral("supportModal")));
    shot(QStringLiteral("support"));
    click(qvariant_cast<QQuickItem *>(find(QStringLiteral("supportModal"))->property("closeButton")));
    QTRY_VERIFY(!popupOpen(QStringLiteral("supportModal")));
}

void TestWalk::connectShowsTheDevice()
{
    // The radio is cabled once the modal shows, so the modal is seen
    // however quickly the radio would answer.
    m_rig->dongle->setRadioConnected(false);
    QVERIFY(waitForView(QStringLiteral("startView")));
    QTRY_VERIFY(item(QStringLiteral("configurationButton"))->isEnabled());
    clickNamed(QStringLiteral("configurationButton"));
    QTRY_VERIFY(popupOpen(QStringLiteral("connectModal")));
    shot(QStringLiteral("connect"));
    m_rig->dongle->setRadioConnected(true);
    QVERIFY(waitForView(QStringLiteral("deviceView"), 10000));
    QVERIFY(logged(QStringLiteral("current dongle state true")));
    // Live data flows from the radio: its uptime shows and counts.
    QQuickItem *upTime = item(QStringLiteral("upTime"));
    QTRY_VERIFY_WITH_TIMEOUT(upTime->isVisible(), 5000);
    QVERIFY(upTime->property("text").toString().contains(QLatin1String(" days, ")));
    shot(QStringLiteral("device"));
}

void TestWalk::maskingEditsQueueTheBand()
{
    QVERIFY(connectRadio());
    clickNamed(QStringLiteral("maskingButton"));
    QVERIFY(waitForView(QStringLiteral("maskingView")));
    QVERIFY(m_configurator->deployList.isEmpty());
    QQuickItem *grid = item(QStringLiteral("maskingGrid"));
    QTRY_COMPARE(grid->property("rows").toInt(), 13);

    // The row of Wi-Fi channel 11 covers radio channels 52 to 73.
    click(grid, Qt::NoModifier, cellCentre(grid, 10, 0));
    const QList<bool> masked = m_configurator->ismaskedChannels();
    QCOMPARE(masked.size(), 264);
    for (int channel = 52; channel <= 73; ++channel)
        QVERIFY2(masked.at(channel - 1), qPrintable(QString::number(channel)));
    QCOMPARE(m_configurator->deployList, QList<int>{0});

    // Ctrl-click frees one channel; a Shift-drag over row 1 masks channels
    // 8 to 12.
    click(grid, Qt::ControlModifier, cellCentre(grid, 10, 60));
    QVERIFY(!m_configurator->ismaskedChannels().at(59));
    QVERIFY(m_configurator->ismaskedChannels().at(58));
    QVERIFY(!m_configurator->ismaskedChannels().at(7));
    QTest::mousePress(m_window, Qt::LeftButton, Qt::ShiftModifier, grid->mapToScene(cellCentre(grid, 1, 8)).toPoint());
    QTest::mouseMove(m_window, grid->mapToScene(cellCentre(grid, 1, 12)).toPoint());
    QTest::mouseRelease(m_window, Qt::LeftButton, Qt::ShiftModifier, grid->mapToScene(cellCentre(grid, 1, 12)).toPoint());
    for (int channel = 8; channel <= 12; ++channel)
        QVERIFY2(m_configurator->ismaskedChannels().at(channel - 1), qPrintable(QString::number(channel)));
    QCOMPARE(m_configurator->deployList, QList<int>{0});
    shot(QStringLiteral("masking-24"));

    // The 5.8 GHz tab: four Wi-Fi rows, its own power list; a power chosen
    // there queues the 5.8 GHz band.
    clickNamed(QStringLiteral("band58Tab"));
    QTRY_COMPARE(grid->property("rows").toInt(), 4);
    QCOMPARE(m_configurator->isoperatingBand(), 2);
    QQuickItem *power = item(QStringLiteral("powerDropdown"));
    const QString choice = m_configurator->isPowerList().value(2);
    QVERIFY(pick(power, choice));
    QVERIFY(logged(QStringLiteral("changed to index 2 with value ") + choice));
    QCOMPARE(m_configurator->deployList, (QList<int>{0, 2}));
    shot(QStringLiteral("masking-58"));

    clickNamed(QStringLiteral("band52Tab"));
    QTRY_COMPARE(m_configurator->isoperatingBand(), 1);
    shot(QStringLiteral("masking-52"));
}

void TestWalk::settingsEditsQueueTheirItems()
{
    QVERIFY(connectRadio());
    clickNamed(QStringLiteral("settingsButton"));
    QVERIFY(waitForView(QStringLiteral("settingsView")));
    shot(QStringLiteral("settings"));

    QQuickItem *name = item(QStringLiteral("deviceName"));
    QCOMPARE(name->property("text").toString(), QStringLiteral("Stage Left"));
    click(name);
    QTRY_VERIFY(name->hasActiveFocus());
    QTest::keyClick(m_window, Qt::Key_A, Qt::ControlModifier);
    for (const char key : QByteArray("Balcony"))
        QTest::keyClick(m_window, key);
    QCOMPARE(m_configurator->isDeviceLabel(), QStringLiteral("Balcony"));
    QVERIFY(logged(QStringLiteral("changed to Balcony")));

    QVERIFY(pick(item(QStringLiteral("transmitterMode")), QStringLiteral("R9 5.8GHz")));
    QVERIFY(logged(QStringLiteral("changed to index 4 with value R9 5.8GHz")));
    QCOMPARE(m_configurator->deployList, (QList<int>{5, 4}));
    shot(QStringLiteral("settings-edited"));
}

void TestWalk::saveAndDisconnectStoresOnTheRadio()
{
    QVERIFY(connectRadio());
    // The edits of the masking and settings views, made below the scene.
    Configurator &c = *m_configurator;
    c.on_deviceLabel_textChanged(QStringLiteral("Balcony"));
    c.on_radioMode_currentIndexChanged(c.isListforRadioMode().indexOf(QStringLiteral("R9 5.8GHz")));
    QList<bool> masks = c.ismaskedChannels();
    for (int channel : {8, 9, 10, 11, 12, 52, 73})
        masks[channel - 1] = true;
    c.currentMaskedChannels(masks);
    c.maskingChanged(0);
    c.powerList(2);
    c.writePowerSettings(2);

    clickNamed(QStringLiteral("saveDisconnectButton"));
    QVERIFY(popupOpen(QStringLiteral("storeModal")));
    shot(QStringLiteral("store"));
    QVERIFY(waitForView(QStringLiteral("startView"), 10000));
    QVERIFY(logged(QStringLiteral("current dongle state false")));

    const RadioUnit &radio = m_rig->dongle->radioUnit();
    QCOMPARE(radio.stores, 1);
    QVERIFY(radio.stored.label.startsWith("Balcony"));
    QCOMPARE(int(radio.stored.frame[2]), 9); // R9 5.8GHz
    // The channels added, and the radio's own 27 to 48.
    const auto &mask = radio.stored.masks[0];
    auto isMasked = [&mask](int channel) { return (mask[size_t((channel - 1) / 8)] >> ((channel - 1) % 8)) & 1; };
    QVERIFY(isMasked(52) && isMasked(73) && !isMasked(60) && isMasked(8) && isMasked(30));
    QCOMPARE(int(radio.stored.powerIndex[2]), 2);
}

void TestWalk::languageChangeReloadsTheMaskingView()
{
    // A radio that was given a name and channel 52 masked.
    RadioUnit &radio = m_rig->dongle->radioUnit();
    radio.stored.label = QByteArray("Balcony") + QByteArray(25, '\0');
    radio.stored.masks[0][6] |= 0x08; // channel 52
    radio.pending = radio.stored;
    QVERIFY(connectRadio());
    clickNamed(QStringLiteral("maskingButton"));
    QVERIFY(waitForView(QStringLiteral("maskingView")));
    QCOMPARE(find(QStringLiteral("maskingTitle"))->property("text").toString(), QStringLiteral("2.4 GHz Channel Masking"));

    QVERIFY(pickLanguage(QStringLiteral("es"), QStringLiteral("Español")));
    QCOMPARE(find(QStringLiteral("maskingTitle"))->property("text").toString(),
             QStringLiteral("Enmascaramiento de canales de 2,4 GHz"));
    // What was stored reads back into the new view.
    QTRY_COMPARE(item(QStringLiteral("maskingGrid"))->property("rows").toInt(), 13);
    QVERIFY(m_configurator->ismaskedChannels().at(51));
    shot(QStringLiteral("masking-24"));
    clickNamed(QStringLiteral("band52Tab"));
    shot(QStringLiteral("masking-52"));
    clickNamed(QStringLiteral("band58Tab"));
    shot(QStringLiteral("masking-58"));

    clickNamed(QStringLiteral("primaryButton"));
    QVERIFY(waitForView(QStringLiteral("deviceView")));
    shot(QStringLiteral("device"));
    clickNamed(QStringLiteral("settingsButton"));
    QVERIFY(waitForView(QStringLiteral("settingsView")));
    QCOMPARE(item(QStringLiteral("deviceName"))->property("text").toString(), QStringLiteral("Balcony"));
    shot(QStringLiteral("settings"));
}

void TestWalk::disconnectReturnsToStart()
{
    QVERIFY(connectRadio());
    clickNamed(QStringLiteral("disconnectButton"));
    QVERIFY(popupOpen(QStringLiteral("disconnectModal")));
    shot(QStringLiteral("disconnect"));
    QVERIFY(waitForView(QStringLiteral("startView"), 10000));
    // Disconnect stores nothing.
    QCOMPARE(m_rig->dongle->radioUnit().stores, 0);
    shot(QStringLiteral("start"));
    clickNamed(QStringLiteral("helpButton"));
    QVERIFY(popupOpen(QStringLiteral("supportModal")));
    shot(QStringLiteral("support"));
    click(qvariant_cast<QQuickItem *>(find(QStringLiteral("supportModal"))->property("closeButton")));
}

void TestWalk::chineseWalk()
{
    QVERIFY(waitForView(QStringLiteral("startView")));
    QVERIFY(pickLanguage(QStringLiteral("cn"), QString::fromUtf8("中文")));
    shot(QStringLiteral("start"));
    clickNamed(QStringLiteral("helpButton"));
    QVERIFY(popupOpen(QStringLiteral("supportModal")));
    shot(QStringLiteral("support"));
    click(qvariant_cast<QQuickItem *>(find(QStringLiteral("supportModal"))->property("closeButton")));

    clickNamed(QStringLiteral("configurationButton"));
    QVERIFY(popupOpen(QStringLiteral("connectModal")));
    shot(QStringLiteral("connect"));
    QVERIFY(waitForView(QStringLiteral("deviceView"), 10000));
    shot(QStringLiteral("device"));
    clickNamed(QStringLiteral("settingsButton"));
    QVERIFY(waitForView(QStringLiteral("settingsView")));
    shot(QStringLiteral("settings"));
    clickNamed(QStringLiteral("primaryButton"));
    QVERIFY(waitForView(QStringLiteral("deviceView")));
    clickNamed(QStringLiteral("maskingButton"));
    QVERIFY(waitForView(QStringLiteral("maskingView")));
    shot(QStringLiteral("masking-24"));
    clickNamed(QStringLiteral("band52Tab"));
    shot(QStringLiteral("masking-52"));
    clickNamed(QStringLiteral("band58Tab"));
    shot(QStringLiteral("masking-58"));
}

void TestWalk::unpluggedDongleReturnsToStart()
{
    QVERIFY(connectRadio());
    clickNamed(QStringLiteral("maskingButton"));
    QVERIFY(waitForView(QStringLiteral("maskingView")));
    m_rig->dongle->unplug();
    QVERIFY(waitForView(QStringLiteral("startView"), 5000));

    // Without a dongle the connect modal waits.
    clickNamed(QStringLiteral("configurationButton"));
    QVERIFY(popupOpen(QStringLiteral("connectModal")));
    QTest::qWait(1200);
    QCOMPARE(viewName(), QStringLiteral("startView"));
    shot(QStringLiteral("connect-waiting"));
    click(qvariant_cast<QQuickItem *>(find(QStringLiteral("connectModal"))->property("closeButton")));
    QTRY_VERIFY(!popupOpen(QStringLiteral("connectModal")));
    m_rig->dongle->replug();
    QTRY_VERIFY_WITH_TIMEOUT(m_configurator->isDongleVersion() == QLatin1String("3.2.7"), 5000);
}

void TestWalk::wizardPagesInEveryLanguage()
{
    const QList<QPair<QString, QString>> languages = {
        {QStringLiteral("cn"), QString::fromUtf8("中文")},
        {QStringLiteral("es"), QString::fromUtf8("Español")},
        {QStringLiteral("en"), QStringLiteral("English")},
    };
    for (const auto &language : languages) {
        QVERIFY(waitForView(QStringLiteral("startView")));
        if (m_language != language.first)
            QVERIFY(pickLanguage(language.first, language.second));
        clickNamed(QStringLiteral("firmwareButton"));
        QVERIFY(waitForView(QStringLiteral("firmwareView")));
        shot(QStringLiteral("firmware"));

        QObject *path = find(QStringLiteral("veltraFirmwarePath"));
        path->setProperty("path", QStringLiteral("/media/usb/veltra_r9_3.3.0.vfp"));
        clickNamed(QStringLiteral("updateRadioButton"));
        QObject *wizard = find(QStringLiteral("updateWizard"));
        QTRY_VERIFY(wizard->property("opened").toBool());
        auto *button = qvariant_cast<QQuickItem *>(wizard->property("button"));
        // The operator's own way through the pages before the update.
        for (int stage = 0; stage < 3; ++stage) {
            QCOMPARE(wizard->property("visibleStage").toInt(), stage);
            shot(QStringLiteral("wizard-%1").arg(stage + 1));
            if (stage < 2)
                click(button);
        }
        // The pages that follow the device's progress, shown as they look.
        const QStringList names = {QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"),
                                   QStringLiteral("error"), QStringLiteral("cancelled")};
        for (int i = 0; i < names.size(); ++i) {
            wizard->setProperty("visibleStage", 3 + i);
            wizard->setProperty("updateProgress", 42);
            wizard->setProperty("updateDisplayProgressStatus", QStringLiteral("42 %"));
            shot(QStringLiteral("wizard-") + names.at(i));
        }
        wizard->setProperty("visibleStage", 3);
        QObject *dialog = qvariant_cast<QObject *>(wizard->property("cancelDialog"));
        QMetaObject::invokeMethod(dialog, "open");
        QTRY_VERIFY(dialog->property("opened").toBool());
        shot(QStringLiteral("wizard-cancel"));
        QMetaObject::invokeMethod(dialog, "close");
        QMetaObject::invokeMethod(wizard, "resetFirmwareUpdate");
        QTRY_VERIFY(!wizard->property("visible").toBool());
        clickNamed(QStringLiteral("primaryButton"));
    }
    QVERIFY(waitForView(QStringLiteral("startView")));
}

void TestWalk::radioUpdateReachesTheCompletePage()
{
    // A package for the radio's processor, its image closed so that the
    // radio starts the new firmware.
    VfpWriter::Block block = VfpWriter::imageBlock(2, VfpWriter::testImage(2000, 2), 256);
    block.data += VfpWriter::frame(QByteArray());
    const QString package = m_home.filePath(QStringLiteral("veltra_r9.vfp"));
    QVERIFY(VfpWriter::writeFile(package, {block}));
    const int updatesBefore = m_rig->dongle->radioUnit().firmwareUpdates;

    QVERIFY(waitForView(QStringLiteral("startView")));
    clickNamed(QStringLiteral("firmwareButton"));
    QVERIFY(waitForView(QStringLiteral("firmwareView")));
    find(QStringLiteral("veltraFirmwarePath"))->setProperty("path", package);
    clickNamed(QStringLiteral("updateRadioButton"));
    QObject *wizard = find(QStringLiteral("updateWizard"));
    QTRY_VERIFY(wizard->property("opened").toBool());
    auto *button = qvariant_cast<QQuickItem *>(wizard->property("button"));
    for (int page = 0; page < 3; ++page)
        click(button); // Continue, Continue, Confirm Update
    QVERIFY(logged(QStringLiteral("Requested update with type 0 at path ") + package));
    QTRY_VERIFY_WITH_TIMEOUT(wizard->property("visibleStage").toInt() == 5, 20000);
    // The upload's progress came through to its end.
    QCOMPARE(wizard->property("updateProgress").toInt(), 100);
    QVERIFY(logged(QStringLiteral("Updater: serialThreadTerminated: Re-enabling USB device check.")));
    QCOMPARE(m_configurator->isUpdaterstatusMessage(), QStringLiteral("Update Complete!"));
    {
        auto guard = m_rig->dongle->lock();
        QCOMPARE(m_rig->dongle->radioUnit().firmwareUpdates, updatesBefore + 1);
    }
    shot(QStringLiteral("wizard-6-after-update"));
    click(button); // Done
    QVERIFY(waitForView(QStringLiteral("startView")));
}

QTEST_MAIN(TestWalk)

#include "tst_walk.moc"
