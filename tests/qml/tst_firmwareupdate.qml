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

    Component {
        id: wizardComponent
        FirmwareUpdate { }
    }

    Component {
        id: managerComponent
        LocalisationManager { }
    }

    SignalSpy {
        id: started
        signalName: "startUpdate"
    }

    SignalSpy {
        id: cancelled
        signalName: "cancelUpdate"
    }

    SignalSpy {
        id: ended
        signalName: "sessionEnded"
    }

    TestCase {
        id: testCase
        name: "FirmwareUpdate"
        when: windowShown

        readonly property string path: "/media/usb/veltra_r9.vfp"

        function init() {
            wait(0)
            testSupport.clearSettings()
            configurator.reset()
            started.clear()
            cancelled.clear()
            ended.clear()
        }

        function makeWizard() {
            var wizard = createTemporaryObject(wizardComponent, root)
            started.target = wizard
            cancelled.target = wizard
            ended.target = wizard
            return wizard
        }

        function press(wizard) {
            verify(wizard.button.visible, "no button on page " + wizard.visibleStage)
            mouseClick(wizard.button)
        }

        // Set up for type, opened, and taken up to the update's start.
        function startedWizard(type) {
            var wizard = makeWizard()
            wizard.setupUpdate(type, path)
            wizard.open()
            tryVerify(function () { return wizard.opened })
            while (wizard.visibleStage < wizard.stageReady)
                press(wizard)
            press(wizard)
            return wizard
        }

        function test_pages_before_the_start_data() {
            return [
                { tag: "radio", type: FirmwareUpdate.Radio, pages: [0, 1, 2], next: 3 },
                { tag: "add-on", type: FirmwareUpdate.AddOn, pages: [0, 1, 2], next: 3 },
                // The dongle needs no power cycle of the radio, and the
                // update runs within the start.
                { tag: "dongle", type: FirmwareUpdate.Dongle, pages: [1, 2], next: 4 }
            ]
        }

        function test_pages_before_the_start(data) {
            var wizard = makeWizard()
            wizard.setupUpdate(data.type, path)
            wizard.open()
            tryVerify(function () { return wizard.opened })
            var seen = []
            for (var i = 0; i < 10 && started.count === 0; ++i) {
                seen.push(wizard.visibleStage)
                compare(wizard.updateWaiting, false)
                press(wizard)
            }
            compare(seen, data.pages)
            compare(started.count, 1)
            compare(started.signalArguments[0][0], data.type)
            compare(started.signalArguments[0][1], path)
            compare(wizard.visibleStage, data.next)
            verify(wizard.updateWaiting)
        }

        function test_progress_moves_to_the_updating_page() {
            configurator.isProgress = 100 // left from an earlier update
            var wizard = startedWizard(FirmwareUpdate.Radio)
            // A new upload starts from 0 before the device answers.
            configurator.isProgress = 0
            compare(wizard.visibleStage, wizard.stagePowerOn)
            compare(wizard.deviceReady, false)
            configurator.isProgress = 12
            compare(wizard.visibleStage, wizard.stageUpdating)
            verify(wizard.deviceReady)
            compare(wizard.updateWaiting, false)
            compare(wizard.updateProgress, 12)
            configurator.isProgress = 80
            compare(wizard.updateProgress, 80)
            compare(wizard.visibleStage, wizard.stageUpdating)
        }

        function test_progress_before_the_start_is_ignored() {
            var wizard = makeWizard()
            wizard.setupUpdate(FirmwareUpdate.Radio, path)
            configurator.isProgress = 100
            compare(wizard.visibleStage, wizard.stagePowerOff)
            compare(wizard.updateProgress, 0)
        }

        function test_outcome_data() {
            return [
                { tag: "complete", type: FirmwareUpdate.Radio, done: true, page: 5, complete: true },
                { tag: "failed", type: FirmwareUpdate.AddOn, done: false, page: 6, complete: false },
                { tag: "dongle complete", type: FirmwareUpdate.Dongle, done: true, page: 5, complete: true }
            ]
        }

        function test_outcome(data) {
            var wizard = startedWizard(data.type)
            if (data.type !== FirmwareUpdate.Dongle)
                configurator.isProgress = 50
            wizard.updateDone(data.done)
            compare(wizard.visibleStage, data.page)
            compare(wizard.updateComplete, data.complete)
            compare(wizard.updateRunning, false)
            // The last page's button ends the session and closes the wizard.
            press(wizard)
            compare(ended.count, 1)
            tryVerify(function () { return !wizard.visible })
            compare(wizard.visibleStage, wizard.stagePowerOff)
        }

        function test_file_error_data() {
            return [
                { tag: "while waiting", progress: false, running: true, page: 6 },
                { tag: "while uploading", progress: true, running: true, page: 6 },
                { tag: "before the start", progress: false, running: false, page: 2 }
            ]
        }

        function test_file_error(data) {
            var wizard = makeWizard()
            wizard.setupUpdate(FirmwareUpdate.Radio, path)
            wizard.open()
            tryVerify(function () { return wizard.opened })
            press(wizard)
            press(wizard)
            if (data.running)
                press(wizard)
            if (data.progress)
                configurator.isProgress = 30
            configurator.isfileErrorstate = true
            compare(wizard.visibleStage, data.page)
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
            if (data.progress)
                mouseClick(wizard.closeButton) // the updating page has no button
            else
                press(wizard)
            tryVerify(function () { return wizard.cancelDialog.opened })
            compare(cancelled.count, 0)
            mouseClick(data.confirm ? wizard.cancelDialog.confirmButton : wizard.cancelDialog.cancelButton)
            tryVerify(function () { return !wizard.cancelDialog.visible })
            if (data.confirm) {
                compare(cancelled.count, 1)
                compare(cancelled.signalArguments[0][0], FirmwareUpdate.AddOn)
                compare(cancelled.signalArguments[0][1], path)
                compare(wizard.visibleStage, wizard.stageCancelled)
                compare(wizard.updateRunning, false)
                // A late outcome does not hide that the operator cancelled.
                wizard.updateDone(false)
                compare(wizard.visibleStage, wizard.stageCancelled)
            } else {
                compare(cancelled.count, 0)
                compare(wizard.visibleStage, before)
                verify(wizard.updateRunning)
            }
        }

        function test_close_before_the_start_keeps_the_session() {
            var wizard = makeWizard()
            wizard.setupUpdate(FirmwareUpdate.Radio, path)
            wizard.open()
            tryVerify(function () { return wizard.opened })
            press(wizard)
            mouseClick(wizard.closeButton)
            tryVerify(function () { return !wizard.visible })
            compare(ended.count, 0)
            compare(started.count, 0)
            compare(wizard.updatePath, "")
        }

        function test_last_button_text_data() {
            return [
                { tag: "en", code: "en", text: "Done" },
                { tag: "es", code: "es", text: "Listo" },
                // Only the Chinese table has a word of its own for it.
                { tag: "cn", code: "cn", text: "完成" }
            ]
        }

        function test_last_button_text(data) {
            var manager = createTemporaryObject(managerComponent, root)
            manager.setLanguage(data.code)
            compare(makeWizard().doneKey, data.code === "cn" ? "updater.step_6.button" : "updater.done.button")
            var wizard = startedWizard(FirmwareUpdate.Radio)
            wizard.updateDone(true)
            compare(wizard.button.text, data.text)
        }
    }
}
