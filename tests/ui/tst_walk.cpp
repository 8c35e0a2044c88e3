// The whole scene over the simulator, walked as an operator walks it: clicks
// and keys go in through the window the application builds, what the radio
// finally holds is read from the simulator, and any scene warning fails it.

#include "config/session.h"
#include "usb/ptyserver.h"
#include "firmware/vfpwriter.h"
#include "scene.h"

#include <QClipboard>
#include <QImage>
#include <QPixmap>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QtTest>

#include <memory>

// Waits end once they hold: a generous limit costs nothing, and the sanitizer run is many times slower.
constexpr int patience = 30000;

class TestWalk : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QString m_language;
    std::unique_ptr<Session> m_session;
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

    // Until the view is loaded and drawn once, its layouts may not have placed what a click aims at.
    bool waitForView(const QString &name)
    {
        return QTest::qWaitFor([&] { return loader()->property("status").toInt() == 1 && viewName() == name; }, patience)
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

    bool go(const QString &button, const QString &name)
    {
        clickNamed(button);
        if (waitForView(name))
            return true;
        qWarning().noquote() << "still on" << viewName() << "after" << button << "| store error:"
                             << m_session->configurator.storeError() << "| stores:" << m_session->dongle->radioUnit().stores;
        return false;
    }

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
        // Light compression: the pictures are for a look, and saving takes much of a tour.
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

    bool connectRadio() { return waitForView("startView") && go("configurationButton", "deviceView"); }

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
        qInstallMessageHandler(Scene::keepProblems);
        Scene::isolateSettings(m_home.path());
        QDir().mkpath(QStringLiteral(VELTRA_SCREENSHOT_DIR));
        Pacing::setInstant(true);
        Pacing::setTimerScale(100);

        registerSceneTypes();
    }

    // Each case starts as the application does, in English over a fresh radio: any one runs alone.
    void init()
    {
        QDir(m_home.filePath(QStringLiteral("settings"))).removeRecursively();
        m_language = QStringLiteral("en");
        m_engine = std::make_unique<QQmlApplicationEngine>();
        const bool silent = QTest::currentTestFunction() == QByteArray("storeFailureIsShown");
        m_session = std::make_unique<Session>(silent ? QStringLiteral("r9,silent=13") : QStringLiteral("r9"));
        m_session->configurator.workingDirectoryPath = m_home.path() + QLatin1Char('/');

        m_engine->rootContext()->setContextProperty(QStringLiteral("configurator"), &m_session->configurator);
        m_engine->load(QUrl(QStringLiteral("qrc:/App.qml")));
        m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().value(0));
        QVERIFY(m_window);
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    void cleanup()
    {
        // The scene goes first: nothing on screen may read what goes after it.
        m_engine.reset();
        m_window = nullptr;
        m_session.reset();
        const QStringList problems = Scene::takeProblems();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    void cleanupTestCase() { qInstallMessageHandler(nullptr); }

    // Every view, modal and wizard page, pictured in each language picked on a
    // working view (which brings it back made anew). The wizard's pages are set,
    // its own suite reaches them; a dongle update runs for real and is refused:
    // the in-process dongle has no port for avrdude, and the error page says so.
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
            QVERIFY(pick(item("languageDropdown"), label));
            m_language = code;
            QTRY_VERIFY_WITH_TIMEOUT(view() && view() != before.data(), patience);
            QVERIFY(waitForView("deviceView"));
        }
        shot("device");
        QVERIFY(go("maskingButton", "maskingView"));
        shot("masking");
        QVERIFY(go("primaryButton", "deviceView"));
        QVERIFY(go("settingsButton", "settingsView"));
        shot("settings");
        QVERIFY(go("primaryButton", "deviceView"));
        QVERIFY(showModal("disconnectButton", "disconnectModal", "disconnect"));
        QVERIFY(waitForView("startView"));

        shot("start");
        QVERIFY(showModal("helpButton", "supportModal", "support"));
        click(qvariant_cast<QQuickItem *>(find("supportModal")->property("closeButton")));
        QTRY_VERIFY_WITH_TIMEOUT(!popupOpen("supportModal"), patience);
        QVERIFY(go("firmwareButton", "firmwareView"));
        shot("firmware");
        QObject *wizard = openWizard("veltraFirmwarePath", "updateRadioButton", QStringLiteral("/media/usb/veltra_r9_3.3.0.vfp"), 0);
        QVERIFY(wizard);
        wizard->setProperty("updateProgress", 42);
        wizard->setProperty("updateDisplayProgressStatus", QStringLiteral("42 %"));
        const QStringList pages {"1", "2", "3", "4", "5", "6", "error", "cancelled"};
        for (int stage = 0; stage < pages.size(); ++stage) {
            wizard->setProperty("visibleStage", stage);
            shot("wizard-" + pages.at(stage));
        }
        wizard->setProperty("visibleStage", 3);
        QObject *dialog = qvariant_cast<QObject *>(wizard->property("cancelDialog"));
        QMetaObject::invokeMethod(dialog, "open");
        QTRY_VERIFY_WITH_TIMEOUT(dialog->property("opened").toBool(), patience);
        shot("wizard-cancel");
        QMetaObject::invokeMethod(wizard, "resetFirmwareUpdate");
        QTRY_VERIFY_WITH_TIMEOUT(!wizard->property("visible").toBool(), patience);
        const QString dongleImage = m_home.filePath(QStringLiteral("veltra_dongle_3.hex"));
        QVERIFY(writeIntelHex(dongleImage, VfpWriter::testImage(256)));
        // Continue, Confirm Update: the dongle's first page asks nothing.
        QVERIFY(openWizard("dongleFirmwarePath", "updateDongleButton", dongleImage, 2));
        QTRY_VERIFY_WITH_TIMEOUT(!wizard->property("updateRunning").toBool(), patience);
        auto *why = qobject_cast<QQuickItem *>(Scene::findIn(wizard->property("contentItem").value<QObject *>(), "failureReasonText"));
        QVERIFY(why && why->isVisible());
        shot("wizard-error-reason");
        click(qvariant_cast<QQuickItem *>(wizard->property("button"))); // Done
        QVERIFY(waitForView("startView"));

        // The radio is cabled only once the connect modal shows, however quickly it would answer.
        m_session->dongle->setRadioConnected(false);
        QVERIFY(showModal("configurationButton", "connectModal", "connect"));
        m_session->dongle->setRadioConnected(true);
        QVERIFY(waitForView("deviceView"));
        QVERIFY(showModal("saveDisconnectButton", "storeModal", "store"));
        QVERIFY(waitForView("startView"));
        // Disconnect stored nothing, Save & Disconnect stored once.
        QCOMPARE(m_session->dongle->radioUnit().stores, 1);
    }

    // Clicks, drags, keys and a setup file in the masking and settings views reach
    // the radio with Save & Disconnect: nothing the view does after the file undoes it.
    void editsReachTheRadio()
    {
        const QString file = m_home.filePath(QStringLiteral("setup.json"));
        QVERIFY(WholeFile::write(file, R"({"format": 1, "label": "Truss 7", "mode": "R9 5.8GHz", "adaptive": false})", nullptr));
        // A file stands where the log folder goes: the store goes on, and the window says no report was written.
        QFile blocker(m_home.filePath(QStringLiteral("blocked")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        m_session->configurator.logFolderPath = blocker.fileName() + QLatin1Char('/');
        QVERIFY(connectRadio());
        // Live data flows from the radio: its uptime shows.
        QTRY_VERIFY_WITH_TIMEOUT(item("upTime") && item("upTime")->isVisible(), patience);
        QVERIFY(go("maskingButton", "maskingView"));
        QQuickItem *grid = item("maskingGrid");
        QTRY_COMPARE_WITH_TIMEOUT(grid->property("rows").toInt(), 13, patience);

        // Wi-Fi channel 11's row masks radio channels 52 to 73, a Ctrl-click
        // frees 60 again and a Shift-drag over row 1 masks 8 to 12.
        click(grid, Qt::NoModifier, cellCentre(grid, 10, 0));
        click(grid, Qt::ControlModifier, cellCentre(grid, 10, 60));
        QTest::mousePress(m_window, Qt::LeftButton, Qt::ShiftModifier, grid->mapToScene(cellCentre(grid, 1, 8)).toPoint());
        QTest::mouseMove(m_window, grid->mapToScene(cellCentre(grid, 1, 12)).toPoint());
        QTest::mouseRelease(m_window, Qt::LeftButton, Qt::ShiftModifier, grid->mapToScene(cellCentre(grid, 1, 12)).toPoint());

        clickNamed("band58Tab");
        QTRY_COMPARE_WITH_TIMEOUT(grid->property("rows").toInt(), 4, patience);
        QVERIFY(go("primaryButton", "deviceView"));

        QVERIFY(go("settingsButton", "settingsView"));
        QQuickItem *name = item("deviceName");
        // With nothing to say yet, the result line takes no room.
        QVERIFY(!item("setupResult")->isVisible());
        // The hop table shown in pairs goes to the clipboard as the radio's 84 bytes in hex.
        const QString hops = item("hopTable")->property("text").toString();
        clickNamed("copyHopTable");
        QCOMPARE(QGuiApplication::clipboard()->text(), QString(hops).remove(QLatin1Char(' ')));
        // Where the file dialog's choice leads.
        QMetaObject::invokeMethod(view(), "applySetupFrom", Q_ARG(QVariant, QUrl::fromLocalFile(file).toString()));
        QCOMPARE(name->property("text").toString(), QStringLiteral("Truss 7"));
        QCOMPARE(item("transmitterMode")->property("currentText").toString(), QStringLiteral("R9 5.8GHz"));
        QCOMPARE(find("setupResult")->property("text").toString(), QStringLiteral("Setup applied. Save & Disconnect stores it."));
        // Grey: only a refusal or a failed export is told in the warning colour.
        QCOMPARE(find("setupResult")->property("color").value<QColor>(), QColor("#828282"));
        click(name);
        QTRY_VERIFY_WITH_TIMEOUT(name->hasActiveFocus(), patience);
        // Emptied first: the field still takes typing after that.
        QTest::keyClick(m_window, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(m_window, Qt::Key_Delete);
        for (const char key : QByteArray("Balcony"))
            QTest::keyClick(m_window, key);
        QVERIFY(go("primaryButton", "deviceView"));

        QVERIFY(go("saveDisconnectButton", "startView"));
        const RadioUnit &radio = m_session->dongle->radioUnit();
        QVERIFY(radio.stored.label.startsWith("Balcony"));
        // The channels edited, and the radio's own 27 to 48 as they were.
        const auto &mask = radio.stored.masks[0];
        for (const int channel : {52, 73, 8, 12, 30})
            QVERIFY2(Scene::masked(mask, channel), qPrintable(QString::number(channel)));
        QVERIFY(!Scene::masked(mask, 60));
        QObject *problem = Scene::findIn(m_window->contentItem(), QStringLiteral("fileProblemText"));
        QTRY_VERIFY_WITH_TIMEOUT(problem && problem->property("visible").toBool(), patience);
        QVERIFY(problem->property("text").toString().startsWith(
            QStringLiteral("device report: cannot write ") + blocker.fileName() + QStringLiteral("/trx_")));
    }

    // A radio not taking its settings frame stores nothing; the operator is told which it did not take.
    void storeFailureIsShown()
    {
        QVERIFY(connectRadio());
        QVERIFY(go("settingsButton", "settingsView"));
        QVERIFY(pick(item("transmitterMode"), "R9 5.8GHz"));
        QVERIFY(go("primaryButton", "deviceView"));
        clickNamed("saveDisconnectButton");
        QTRY_VERIFY_WITH_TIMEOUT(popupOpen("storeFailedModal"), patience);
        QCOMPARE(find("storeFailedDetail")->property("text").toString(), QStringLiteral("the radio did not take its settings"));
        QCOMPARE(m_session->dongle->radioUnit().stores, 0);
        click(qvariant_cast<QQuickItem *>(find("storeFailedModal")->property("button")));
        QVERIFY(waitForView("startView"));
    }

    void unpluggedDongleReturnsToStart()
    {
        auto statusOf = [this](const char *line) {
            QObject *status = find(line);
            return status ? status->findChild<QObject *>(QStringLiteral("statusText"))->property("text").toString() : QString();
        };
        QVERIFY(connectRadio());
        QVERIFY(go("maskingButton", "maskingView"));
        m_session->dongle->unplug();
        QVERIFY(waitForView("startView"));
        QCOMPARE(statusOf("dongleStatus"), QStringLiteral("Disconnected"));
        QCOMPARE(statusOf("radioStatus"), QStringLiteral("Veltra: Disconnected"));
        // The connect modal waits for a dongle, and takes the one plugged in.
        QVERIFY(showModal("configurationButton", "connectModal", "connect-waiting"));
        m_session->dongle->replug();
        QVERIFY(waitForView("deviceView"));
        // Its DMX is on again: without it the radio is missed until dropped, and the view falls back.
        QVERIFY(m_session->dongle->dmxRunning());
        // The view waits for discovery to end, so the version is already there.
        QCOMPARE(statusOf("dongleStatus"), QStringLiteral("3.2.7"));
    }
};

QTEST_MAIN(TestWalk)

#include "tst_walk.moc"
