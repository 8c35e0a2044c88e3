import QtQuick 2.15
import QtTest 1.15
import "qrc:/components"
import "qrc:/localisation"

// The update wizard's way through its pages: what each update type asks of
// the operator before it starts, how the device's progress and the outcome
// move it on, and that a running update is only cancelled once confirmed.
Item {
    id: root
    width: 1280
    height: 800

    Component { id: wizardComponent; FirmwareUpdate { } }
    Component { id: managerComponent; LocalisationManager { } }

    SignalSpy { id: started; signalName: "startUpdate" }
    SignalSpy { id: cancelled; signalName: "cancelUpdate" }
    SignalSpy { id: ended; signalName: "sessionEnded" }

    TestCase {
        name: "FirmwareUpdate"
        when: windowShown

        readonly property string path: "/media/usb/veltra_r9.vfp"
        property var pagesSeen: []

        function init() {
            wait(0)
            testSupport.clearSettings()
            configurator.isProgress = 0
            configurator.isfileErrorstate = false
            for (const spy of [started, cancelled, ended])
                spy.clear()
        }

        function openWizard(type) {
            var wizard = createTemporaryObject(wizardComponent, root)
            started.target = cancelled.target = ended.target = wizard
            wizard.setupUpdate(type, path)
            wizard.open()
            tryVerify(function () { return wizard.opened })
            return wizard
        }

        function press(wizard) {
            verify(wizard.button.visible, "no button on page " + wizard.visibleStage)
            mouseClick(wizard.button)
        }

        // Opened for type and taken up to the update's start, its pages kept in pagesSeen.
        function startedWizard(type) {
            var wizard = openWizard(type)
            var seen = []
            for (var i = 0; i < 5 && started.count === 0; ++i) {
                seen.push(wizard.visibleStage)
                press(wizard)
            }
            pagesSeen = seen
            compare(started.count, 1)
            return wizard
        }

        function reasonShown(wizard) {
            var text = findChild(wizard.contentItem, "failureReasonText")
            return text.visible ? text.text : ""
        }

        // One update from its first page to its last, failed where a reason is
        // given. The dongle needs no power cycle of the radio, and its update runs
        // within the start. The last page's button ends the session and closes the
        // wizard; only Chinese has a word of its own for it on the complete page.
        function test_run_data() {
            return [
                { tag: "radio, en", type: FirmwareUpdate.Radio, pages: [0, 1, 2], next: 3, end: 5, code: "en", button: "Done" },
                { tag: "dongle, cn", type: FirmwareUpdate.Dongle, pages: [1, 2], next: 4, end: 5, code: "cn", button: "完成" },
                { tag: "failed, es", type: FirmwareUpdate.Radio, pages: [0, 1, 2], next: 3, end: 6, code: "es", button: "Listo",
                  reason: "El dongle no tiene un puerto serie para el programador." }
            ]
        }

        function test_run(data) {
            createTemporaryObject(managerComponent, root).setLanguage(data.code)
            var wizard = startedWizard(data.type)
            compare(pagesSeen, data.pages)
            compare(Array.from(started.signalArguments[0]), [data.type, path])
            compare(wizard.visibleStage, data.next)
            if (data.reason)
                wizard.failureReason = "no_port"
            wizard.updateDone(!data.reason)
            compare(wizard.visibleStage, data.end)
            compare(wizard.updateRunning, false)
            compare(reasonShown(wizard), data.reason || "")
            compare(wizard.button.text, data.button)
            press(wizard)
            compare(ended.count, 1)
            tryVerify(function () { return !wizard.visible })
            compare(wizard.failureReason, "")
        }

        function test_progress() {
            var wizard = openWizard(FirmwareUpdate.Radio)
            // Left from an earlier update: nothing has started yet.
            configurator.isProgress = 100
            compare(wizard.visibleStage, wizard.stagePowerOff)
            for (var page = 0; page < 3; ++page)
                press(wizard)
            // A new upload starts from 0 before the device answers; the progress
            // shows only while it runs.
            var progress = ["updateProgressBar", "updateProgressText"].map(name => findChild(wizard.contentItem, name))
            configurator.isProgress = 0
            compare(wizard.visibleStage, wizard.stagePowerOn)
            compare(progress.map(item => item.visible), [false, false])
            configurator.isProgress = 12
            compare(wizard.visibleStage, wizard.stageUpdating)
            compare(progress.map(item => item.visible), [true, true])
            configurator.isProgress = 80
            compare(wizard.updateProgress, 80)
        }

        // A file error ends a started update on the error page, and before the
        // start changes nothing: closing then still keeps the session.
        function test_file_error_data() {
            return [
                { tag: "while waiting", running: true, page: 6 },
                { tag: "before the start", running: false, page: 0 }
            ]
        }

        function test_file_error(data) {
            var wizard = data.running ? startedWizard(FirmwareUpdate.Radio) : openWizard(FirmwareUpdate.Radio)
            configurator.isfileErrorstate = true
            compare(wizard.visibleStage, data.page)
            if (data.running)
                return
            mouseClick(wizard.closeButton)
            tryVerify(function () { return !wizard.visible })
            compare(ended.count, 0)
        }

        function test_cancel_asks_first_data() {
            return [
                { tag: "confirmed while waiting", progress: false, confirm: true },
                { tag: "confirmed while uploading", progress: true, confirm: true },
                { tag: "declined", progress: false, confirm: false }
            ]
        }

        function test_cancel_asks_first(data) {
            var wizard = startedWizard(FirmwareUpdate.AddOn)
            if (data.progress)
                configurator.isProgress = 40
            var before = wizard.visibleStage
            // The updating page has no button: its close icon asks instead.
            mouseClick(wizard.button.visible ? wizard.button : wizard.closeButton)
            tryVerify(function () { return wizard.cancelDialog.opened })
            compare(cancelled.count, 0)
            mouseClick(data.confirm ? wizard.cancelDialog.confirmButton : wizard.cancelDialog.cancelButton)
            tryVerify(function () { return !wizard.cancelDialog.visible })
            compare(wizard.updateRunning, !data.confirm)
            compare(wizard.visibleStage, data.confirm ? wizard.stageCancelled : before)
            compare(cancelled.count, data.confirm ? 1 : 0)
            if (!data.confirm)
                return
            compare(Array.from(cancelled.signalArguments[0]), [FirmwareUpdate.AddOn, path])
            // A late failure, with its reason, does not hide that the operator cancelled.
            wizard.failureReason = "usb_error"
            wizard.updateDone(false)
            compare(wizard.visibleStage, wizard.stageCancelled)
            compare(reasonShown(wizard), "")
        }
    }
}
