// The whole scene over the simulator, walked as an operator walks it: the
// window is built as the application builds it, clicks and keys go in through
// the window, and what the radio finally holds is read from the simulator.
// Any warning from the scene (a binding loop, an undefined property, a
// missing file) fails the walk. Every view, modal and wizard page is saved
// as a picture in each language under the build folder.

#include "app/wiring.h"
#include "config/configurator.h"
#include "config/dropdownmodel.h"
#include "sim/radioapplication.h"
#include "usb/pacing.h"
#include "usb/ptyserver.h"
#include "usb/simrig.h"
#include "firmware/vfpwriter.h"
#include "scene.h"

#include <QDir>
#include <QImage>
#include <QMutex>
#include <QPixmap>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// Every wait ends as soon as what it waits for holds, so a generous limit
// costs nothing; the sanitizer run makes the scene many times slower.
constexpr int patience = 30000;

QMutex logMutex;
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
    const bool problem = type != QtDebugMsg && type != QtInfoMsg && fromScene(context, message);
    if (problem)
        sceneProblems << message;
    if (problem || type >= QtWarningMsg || qEnvironmentVariableIsSet("VELTRA_TEST_VERBOSE"))
        fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

class TestWalk : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QString m_language;
    std::unique_ptr<DropdownModel> m_dropdown;
    std::unique_ptr<SimRig> m_rig;
    std::unique_ptr<Configurator> m_configurator;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QQuickWindow *m_window = nullptr;

    QObject *loader() const { return m_window->findChild<QObject *>(QStringLiteral("mainLoader")); }
    QQuickItem *view() const { return qvariant_cast<QQuickItem *>(loader()->property("item")); }
    QString viewName() const { return view() ? view()->objectName() : QString(); }
    QObject *find(const QString &name) const { return Scene::findIn(view(), name); }
    QQuickItem *item(const QString &name) const { return qobject_cast<QQuickItem *>(find(name)); }
    bool popupOpen(const QString &name) const { return find(name) && find(name)->property("opened").toBool(); }
    void clickNamed(const QString &name) { click(item(name)); }

    bool drawn(int timeoutMs)
    {
        QSignalSpy swapped(m_window, &QQuickWindow::frameSwapped);
        m_window->update();
        return swapped.wait(timeoutMs);
    }

    // Waits for the view to be loaded and drawn once: until then its layouts
    // may not have placed what a click aims at.
    bool waitForView(const QString &name, int timeoutMs = patience)
    {
        return QTest::qWaitFor([&] { return loader()->property("status").toInt() == 1 && viewName() == name; },
                               timeoutMs)
               && drawn(patience);
    }

    void click(QQuickItem *target, Qt::KeyboardModifiers modifiers = Qt::NoModifier, QPointF at = QPointF(-1, -1))
    {
        QVERIFY(target);
        QVERIFY2(target->isVisible() && target->isEnabled(), qPrintable(target->objectName()));
        if (at.x() < 0)
            at = QPointF(target->width() / 2, target->height() / 2);
        QTest::mouseClick(m_window, Qt::LeftButton, modifiers, target->mapToScene(at).toPoint());
    }

    // Clicks the named button and waits for the view it leads to.
    // A wait that runs out says where the walk stood, for a run that cannot
    // be repeated at will.
    bool go(const QString &button, const QString &name, int timeoutMs = patience)
    {
        clickNamed(button);
        if (waitForView(name, timeoutMs))
            return true;
        qWarning().noquote() << "still on" << viewName() << "after" << button << "| store error:"
                             << m_configurator->storeError() << "| stores:" << m_rig->dongle->radioUnit().stores;
        return false;
    }

    // Clicks the named button and pictures the modal it opens.
    bool showModal(const QString &button, const QString &modal, const QString &picture)
    {
        clickNamed(button);
        if (!QTest::qWaitFor([&] { return popupOpen(modal); }, patience))
            return false;
        shot(picture);
        return true;
    }

    // Opens a drop-down and clicks the entry showing text, as the operator does.
    bool pick(QQuickItem *dropdown, const QString &text)
    {
        if (!dropdown)
            return false;
        click(dropdown);
        // A language pick takes the view, and with it the drop-down, away.
        QPointer<QObject> popup = qvariant_cast<QObject *>(dropdown->property("popup"));
        if (!popup || !QTest::qWaitFor([popup] { return popup->property("opened").toBool(); }, patience))
            return false;
        int index = -1;
        QMetaObject::invokeMethod(dropdown, "find", Q_RETURN_ARG(int, index), Q_ARG(QString, text));
        auto *list = qvariant_cast<QQuickItem *>(popup->property("contentItem"));
        QQuickItem *entry = nullptr;
        if (!list || index < 0 || !QTest::qWaitFor([&] {
                QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, entry), Q_ARG(int, index));
                return entry != nullptr;
            }, patience))
            return false;
        click(entry);
        return QTest::qWaitFor([popup] { return !popup || !popup->property("visible").toBool(); }, patience);
    }

    void shot(const QString &name)
    {
        drawn(300);
        QImage image = m_window->grabWindow();
        // The software renderer draws nothing the window can hand back.
        if (image.isNull() && m_window->screen())
            image = m_window->screen()->grabWindow(m_window->winId()).toImage();
        QVERIFY(!image.isNull());
        const QString path = QStringLiteral(VELTRA_SCREENSHOT_DIR "/%1-%2.png").arg(m_language, name);
        // Light compression: the pictures are for a look, and saving them
        // takes a good part of a tour's time.
        QVERIFY2(image.save(path, "PNG", 80), qPrintable(path));
    }

    QPointF cellCentre(QQuickItem *grid, int row, int column) const
    {
        const qreal labelWidth = grid->property("labelWidth").toReal();
        const qreal cellWidth = grid->property("cellWidth").toReal();
        const qreal rowHeight = grid->property("rowHeight").toReal();
        const qreal x = column == 0 ? labelWidth / 2 : labelWidth + (column - 1) * (cellWidth + 1) + cellWidth / 2;
        return QPointF(x, row * (rowHeight + 3) + rowHeight / 2);
    }

    // Configuration on the start view, then the wait for the radio to be read.
    bool connectRadio()
    {
        return waitForView(QStringLiteral("startView"))
               && go(QStringLiteral("configurationButton"), QStringLiteral("deviceView"), patience);
    }

    // Puts path in the firmware view's file field, opens the update wizard
    // with the update button and presses the wizard's button that often.
    QObject *openWizard(const char *field, const char *button, const QString &path, int presses)
    {
        find(QLatin1String(field))->setProperty("path", path);
        clickNamed(QLatin1String(button));
        QObject *wizard = find(QStringLiteral("updateWizard"));
        if (!QTest::qWaitFor([wizard] { return wizard->property("opened").toBool(); }, patience))
            return nullptr;
        for (int i = 0; i < presses; ++i)
            click(qvariant_cast<QQuickItem *>(wizard->property("button")));
        return wizard;
    }

private slots:
    void initTestCase()
    {
        qInstallMessageHandler(messageHandler);
        Scene::isolateSettings(m_home.path());
        QDir().mkpath(QStringLiteral(VELTRA_SCREENSHOT_DIR));
        Pacing::setInstant(true);
        Pacing::setTimerScale(100);

        m_dropdown = std::make_unique<DropdownModel>();
        Scene::registerTypes();
    }

    // Every case starts as the application does, in English, with a fresh
    // radio behind the dongle: any one of them runs alone.
    void init()
    {
        QDir(m_home.filePath(QStringLiteral("settings"))).removeRecursively();
        m_language = QStringLiteral("en");
        m_engine = std::make_unique<QQmlApplicationEngine>();
        const QByteArray function = QTest::currentTestFunction();
        m_rig = std::make_unique<SimRig>(function == "storeFailureIsShown" ? QStringLiteral("r9,silent=13") : QStringLiteral("r9"));
        Usbd *usbd = m_rig->usbd.get();
        m_configurator = std::make_unique<Configurator>(usbd);
        m_configurator->logFolderPath = m_home.filePath(QStringLiteral("logs")) + QLatin1Char('/');
        QDir().mkpath(m_configurator->logFolderPath);
        m_configurator->workingDirectoryPath = m_home.path() + QLatin1Char('/');
        connectSession(usbd, m_configurator.get(), nullptr);

        m_engine->rootContext()->setContextProperty(QStringLiteral("dropdownData"), m_dropdown.get());
        m_engine->rootContext()->setContextProperty(QStringLiteral("configurator"), m_configurator.get());
        m_engine->load(QUrl(QStringLiteral("qrc:/App.qml")));
        m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().value(0));
        QVERIFY(m_window);
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    void cleanup()
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

    void cleanupTestCase() { qInstallMessageHandler(nullptr); }

    // Every view, modal and wizard page, pictured once in each language. The
    // language is picked on a working view, which brings that view back made
    // anew. The wizard's pages are set rather than reached: reaching them is
    // the wizard's own suite's part.
    void tour_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("label");
        QTest::newRow("en") << QStringLiteral("en") << QStringLiteral("English");
        QTest::newRow("es") << QStringLiteral("es") << QString::fromUtf8("Español");
        QTest::newRow("cn") << QStringLiteral("cn") << QString::fromUtf8("中文");
    }

    void tour()
    {
        QFETCH(QString, code);
        QFETCH(QString, label);
        QVERIFY(connectRadio());
        if (code != m_language) {
            QPointer<QQuickItem> before = view();
            QVERIFY(pick(item(QStringLiteral("languageDropdown")), label));
            m_language = code;
            QTRY_VERIFY_WITH_TIMEOUT(view() && view() != before.data(), patience);
            QVERIFY(waitForView(QStringLiteral("deviceView")));
        }
        shot(QStringLiteral("device"));
        QVERIFY(go(QStringLiteral("maskingButton"), QStringLiteral("maskingView")));
        shot(QStringLiteral("masking"));
        QVERIFY(go(QStringLiteral("primaryButton"), QStringLiteral("deviceView")));
        QVERIFY(go(QStringLiteral("settingsButton"), QStringLiteral("settingsView")));
        shot(QStringLiteral("settings"));
        QVERIFY(go(QStringLiteral("primaryButton"), QStringLiteral("deviceView")));
        QVERIFY(showModal(QStringLiteral("disconnectButton"), QStringLiteral("disconnectModal"), QStringLiteral("disconnect")));
        QVERIFY(waitForView(QStringLiteral("startView"), patience));

        shot(QStringLiteral("start"));
        QVERIFY(showModal(QStringLiteral("helpButton"), QStringLiteral("supportModal"), QStringLiteral("support")));
        click(qvariant_cast<QQuickItem *>(find(QStringLiteral("supportModal"))->property("closeButton")));
        QTRY_VERIFY_WITH_TIMEOUT(!popupOpen(QStringLiteral("supportModal")), patience);
        QVERIFY(go(QStringLiteral("firmwareButton"), QStringLiteral("firmwareView")));
        shot(QStringLiteral("firmware"));
        QObject *wizard = openWizard("veltraFirmwarePath", "updateRadioButton", QStringLiteral("/media/usb/veltra_r9_3.3.0.vfp"), 0);
        QVERIFY(wizard);
        wizard->setProperty("updateProgress", 42);
        wizard->setProperty("updateDisplayProgressStatus", QStringLiteral("42 %"));
        const QStringList pages {"1", "2", "3", "4", "5", "6", "error", "cancelled"};
        for (int stage = 0; stage < pages.size(); ++stage) {
            wizard->setProperty("visibleStage", stage);
            shot(QStringLiteral("wizard-") + pages.at(stage));
        }
        wizard->setProperty("visibleStage", 3);
        QObject *dialog = qvariant_cast<QObject *>(wizard->property("cancelDialog"));
        QMetaObject::invokeMethod(dialog, "open");
        QTRY_VERIFY_WITH_TIMEOUT(dialog->property("opened").toBool(), patience);
        shot(QStringLiteral("wizard-cancel"));
        QMetaObject::invokeMethod(wizard, "resetFirmwareUpdate");
        QTRY_VERIFY_WITH_TIMEOUT(!wizard->property("visible").toBool(), patience);
        QVERIFY(go(QStringLiteral("primaryButton"), QStringLiteral("startView")));

        // The radio is cabled once the connect modal shows, so the modal is
        // seen however quickly the radio would answer.
        m_rig->dongle->setRadioConnected(false);
        QVERIFY(showModal(QStringLiteral("configurationButton"), QStringLiteral("connectModal"), QStringLiteral("connect")));
        m_rig->dongle->setRadioConnected(true);
        QVERIFY(waitForView(QStringLiteral("deviceView"), patience));
        QVERIFY(showModal(QStringLiteral("saveDisconnectButton"), QStringLiteral("storeModal"), QStringLiteral("store")));
        QVERIFY(waitForView(QStringLiteral("startView"), patience));
        // Disconnect stored nothing, Save & Disconnect stored once.
        QCOMPARE(m_rig->dongle->radioUnit().stores, 1);
    }

    // Clicks, drags and keys in the masking and settings views reach the radio
    // with Save & Disconnect.
    void editsReachTheRadio()
    {
        QVERIFY(connectRadio());
        // Live data flows from the radio: its uptime shows.
        QTRY_VERIFY_WITH_TIMEOUT(item(QStringLiteral("upTime")) && item(QStringLiteral("upTime"))->isVisible(), patience);
        QVERIFY(go(QStringLiteral("maskingButton"), QStringLiteral("maskingView")));
        QQuickItem *grid = item(QStringLiteral("maskingGrid"));
        QTRY_COMPARE_WITH_TIMEOUT(grid->property("rows").toInt(), 13, patience);

        // The row of Wi-Fi channel 11 masks radio channels 52 to 73, a
        // Ctrl-click frees channel 60 again and a Shift-drag over row 1 masks
        // channels 8 to 12.
        click(grid, Qt::NoModifier, cellCentre(grid, 10, 0));
        click(grid, Qt::ControlModifier, cellCentre(grid, 10, 60));
        QTest::mousePress(m_window, Qt::LeftButton, Qt::ShiftModifier, grid->mapToScene(cellCentre(grid, 1, 8)).toPoint());
        QTest::mouseMove(m_window, grid->mapToScene(cellCentre(grid, 1, 12)).toPoint());
        QTest::mouseRelease(m_window, Qt::LeftButton, Qt::ShiftModifier, grid->mapToScene(cellCentre(grid, 1, 12)).toPoint());

        // The 5.8 GHz tab: four Wi-Fi rows and the band's own power list.
        clickNamed(QStringLiteral("band58Tab"));
        QTRY_COMPARE_WITH_TIMEOUT(grid->property("rows").toInt(), 4, patience);
        const QString choice = m_configurator->isPowerList().value(2);
        QVERIFY(pick(item(QStringLiteral("powerDropdown")), choice));
        QVERIFY(go(QStringLiteral("primaryButton"), QStringLiteral("deviceView")));

        QVERIFY(go(QStringLiteral("settingsButton"), QStringLiteral("settingsView")));
        QQuickItem *name = item(QStringLiteral("deviceName"));
        QCOMPARE(name->property("text").toString(), QStringLiteral("Stage Left"));
        click(name);
        QTRY_VERIFY_WITH_TIMEOUT(name->hasActiveFocus(), patience);
        // Emptied first: the field still takes typing after that.
        QTest::keyClick(m_window, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(m_window, Qt::Key_Delete);
        QCOMPARE(name->property("text").toString(), QString());
        for (const char key : QByteArray("Balcony"))
            QTest::keyClick(m_window, key);
        QVERIFY(pick(item(QStringLiteral("transmitterMode")), QStringLiteral("R9 5.8GHz")));
        QVERIFY(go(QStringLiteral("primaryButton"), QStringLiteral("deviceView")));

        QVERIFY(go(QStringLiteral("saveDisconnectButton"), QStringLiteral("startView"), patience));
        const RadioUnit &radio = m_rig->dongle->radioUnit();
        QCOMPARE(radio.stores, 1);
        QVERIFY(radio.stored.label.startsWith("Balcony"));
        QCOMPARE(int(radio.stored.frame[2]), 9); // R9 5.8GHz
        QCOMPARE(int(radio.stored.powerIndex[2]), 2);
        // The channels edited, and the radio's own 27 to 48 as they were.
        const auto &mask = radio.stored.masks[0];
        auto isMasked = [&mask](int channel) { return (mask[size_t((channel - 1) / 8)] >> ((channel - 1) % 8)) & 1; };
        QVERIFY(isMasked(52) && isMasked(73) && !isMasked(60) && isMasked(8) && isMasked(12) && isMasked(30));
    }

    // A radio that does not take its settings frame stores nothing, and the
    // operator is told which settings it did not take.
    void storeFailureIsShown()
    {
        QVERIFY(connectRadio());
        QVERIFY(go(QStringLiteral("settingsButton"), QStringLiteral("settingsView")));
        QVERIFY(pick(item(QStringLiteral("transmitterMode")), QStringLiteral("R9 5.8GHz")));
        QVERIFY(go(QStringLiteral("primaryButton"), QStringLiteral("deviceView")));
        clickNamed(QStringLiteral("saveDisconnectButton"));
        QTRY_VERIFY_WITH_TIMEOUT(popupOpen(QStringLiteral("storeFailedModal")), patience);
        QCOMPARE(find(QStringLiteral("storeFailedDetail"))->property("text").toString(),
                 QStringLiteral("the radio did not take its settings"));
        QCOMPARE(m_rig->dongle->radioUnit().stores, 0);
        click(qvariant_cast<QQuickItem *>(find(QStringLiteral("storeFailedModal"))->property("button")));
        QVERIFY(waitForView(QStringLiteral("startView"), patience));
    }

    // A setup file chosen in the settings view fills its choices as the
    // operator's own, and nothing the view does after that undoes them: Save
    // & Disconnect stores them.
    void appliedSetupIsStored()
    {
        const QString file = m_home.filePath(QStringLiteral("setup.json"));
        QFile setup(file);
        QVERIFY(setup.open(QIODevice::WriteOnly));
        setup.write(R"({"format": 1, "label": "Truss 7", "mode": "R9 5.8GHz", "adaptive": false})");
        setup.close();
        // The log folder cannot be made (a file stands in its way): the store
        // goes on and the window says the report was not written.
        QFile blocker(m_home.filePath(QStringLiteral("blocked")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        m_configurator->logFolderPath = blocker.fileName() + QLatin1Char('/');
        QVERIFY(connectRadio());
        QVERIFY(go(QStringLiteral("settingsButton"), QStringLiteral("settingsView")));
        // Where the file dialog's choice leads.
        QMetaObject::invokeMethod(view(), "applySetupFrom", Q_ARG(QVariant, QUrl::fromLocalFile(file).toString()));
        QCOMPARE(item(QStringLiteral("deviceName"))->property("text").toString(), QStringLiteral("Truss 7"));
        QCOMPARE(item(QStringLiteral("transmitterMode"))->property("currentText").toString(), QStringLiteral("R9 5.8GHz"));
        QCOMPARE(item(QStringLiteral("adaptiveSwitch"))->property("checked").toBool(), false);
        QCOMPARE(find(QStringLiteral("setupResult"))->property("text").toString(),
                 QStringLiteral("Setup applied. Save & Disconnect stores it."));
        QVERIFY(go(QStringLiteral("primaryButton"), QStringLiteral("deviceView")));
        QVERIFY(go(QStringLiteral("saveDisconnectButton"), QStringLiteral("startView"), patience));
        const RadioUnit &radio = m_rig->dongle->radioUnit();
        QCOMPARE(radio.stores, 1);
        QVERIFY(radio.stored.label.startsWith("Truss 7"));
        QCOMPARE(int(radio.stored.frame[2]), 9);
        QCOMPARE(int(radio.stored.frame[3]), 0);
        QObject *problem = Scene::findIn(m_window->contentItem(), QStringLiteral("fileProblemText"));
        QVERIFY(problem);
        QTRY_VERIFY_WITH_TIMEOUT(problem->property("visible").toBool(), patience);
        QVERIFY(problem->property("text").toString().startsWith(
            QStringLiteral("device report: cannot write ") + blocker.fileName() + QStringLiteral("/trx_")));
    }

    void unpluggedDongleReturnsToStart()
    {
        auto dongleStatus = [this] {
            QObject *status = find(QStringLiteral("dongleStatus"));
            return status ? status->findChild<QObject *>(QStringLiteral("statusText"))->property("text").toString() : QString();
        };
        QVERIFY(connectRadio());
        QVERIFY(go(QStringLiteral("maskingButton"), QStringLiteral("maskingView")));
        m_rig->dongle->unplug();
        QVERIFY(waitForView(QStringLiteral("startView")));
        QCOMPARE(dongleStatus(), QStringLiteral("Disconnected"));
        // The connect modal waits for a dongle, and takes the one plugged in.
        QVERIFY(showModal(QStringLiteral("configurationButton"), QStringLiteral("connectModal"), QStringLiteral("connect-waiting")));
        m_rig->dongle->replug();
        QVERIFY(waitForView(QStringLiteral("deviceView"), patience));
        // The version is read after discovery, which may finish after the
        // view is made.
        QTRY_COMPARE_WITH_TIMEOUT(dongleStatus(), QStringLiteral("3.2.7"), patience);
    }

    // A dongle update the Configurator refuses (the in-process dongle has no
    // port to hand to avrdude) ends on the error page with the Configurator's
    // reason under its text, and the wizard's button leads back to Start.
    void refusedDongleUpdateShowsItsReason()
    {
        const QString package = m_home.filePath(QStringLiteral("veltra_dongle_3.hex"));
        QVERIFY(writeIntelHex(package, VfpWriter::testImage(256)));
        QVERIFY(waitForView(QStringLiteral("startView")));
        QVERIFY(go(QStringLiteral("firmwareButton"), QStringLiteral("firmwareView")));
        // Continue, Confirm Update: the dongle's first page asks nothing.
        QObject *wizard = openWizard("dongleFirmwarePath", "updateDongleButton", package, 2);
        QVERIFY(wizard);
        QTRY_COMPARE_WITH_TIMEOUT(wizard->property("visibleStage").toInt(), 6, patience);
        auto *reason = qobject_cast<QQuickItem *>(Scene::findIn(wizard->property("contentItem").value<QObject *>(),
                                                                QStringLiteral("failureReasonText")));
        QVERIFY(reason && reason->isVisible());
        QCOMPARE(reason->property("text").toString(), QStringLiteral("The dongle has no serial port for the programmer."));
        shot(QStringLiteral("wizard-error-reason"));
        click(qvariant_cast<QQuickItem *>(wizard->property("button"))); // Done
        QVERIFY(waitForView(QStringLiteral("startView")));
    }
};

QTEST_MAIN(TestWalk)

#include "tst_walk.moc"
