import QtQuick 2.15
import QtQuick.Layouts 1.15
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../localisation"
import "../shared_components/components"

// The update wizard: it walks the operator through powering the radio off,
// cabling, starting the update and powering the radio on, follows the upload
// and ends on the outcome. The view owns the Configurator calls; the wizard
// asks for them through startUpdate and cancelUpdate and is told the outcome
// through updateDone, updateCancelled and fileinCorrect; a failure's reason
// (failureReason) is shown under the error page's text.
Modal {
    id: wizard

    enum UpdateAction {
        BeginUpdate,
        DoneUpdate,
        CancelUpdate
    }

    // In the order of the Configurator's update types.
    enum UpdateType {
        Radio,
        AddOn,
        Dongle
    }

    // The pages, in the order the operator meets them.
    readonly property int stagePowerOff: 0
    readonly property int stageConnect: 1
    readonly property int stageReady: 2
    readonly property int stagePowerOn: 3
    readonly property int stageUpdating: 4
    readonly property int stageComplete: 5
    readonly property int stageError: 6
    readonly property int stageCancelled: 7

    property int updateType: FirmwareUpdate.Radio
    property string updatePath
    // Started, and the device has not answered yet.
    property bool updateWaiting: false
    property bool updateComplete: false
    // The device answers and the upload runs.
    property bool deviceReady: false
    property int visibleStage: stagePowerOff
    property int updateProgress: 0
    property string updateDisplayProgressStatus: manager.localise("updater.wait.text")
    // Why the update failed, by the name the update code gives it; the text
    // is "updater.reason." + name in the operator's language.
    property string failureReason
    readonly property bool updateRunning: updateWaiting || deviceReady
    readonly property alias cancelDialog: cancelDialog

    signal startUpdate(int type, string path)
    signal cancelUpdate(int type, string path)
    signal sessionEnded()

    // Only Chinese has a word of its own for the last page's button.
    readonly property string doneKey: manager.getLanguage() === "cn" ? "updater.step_6.button"
                                                                      : "updater.done.button"
    readonly property var pages: [
        { image: "/assets/icons/power.png", title: "updater.step_1.title",
          body: "updater.step_1.body", button: "updater.step_1.button", action: -1 },
        { image: "/assets/icons/device-connection.png", title: "updater.step_2.title",
          body: "updater.step_2.body", button: "updater.step_2.button", action: -1 },
        { image: "/assets/icons/firmware@2x.png", title: "updater.step_3.title",
          body: "updater.step_3.body", button: "updater.step_3.button",
          action: FirmwareUpdate.BeginUpdate },
        { image: "/assets/icons/monolith@2x.png", title: "updater.step_4.title",
          body: "updater.step_4.body", button: "static.cancel", action: FirmwareUpdate.CancelUpdate },
        { image: "", title: "updater.step_5.title", body: "updater.step_5.body", button: "", action: -1 },
        { image: "/assets/icons/update-complete@2x.png", title: "updater.step_6.title",
          body: "updater.step_6.body", button: doneKey, action: FirmwareUpdate.DoneUpdate },
        { image: "/assets/icons/update-fail@2x.png", title: "updater.error.title",
          body: "updater.error.body", button: "updater.done.button", action: FirmwareUpdate.DoneUpdate },
        { image: "/assets/icons/update-fail@2x.png", title: "updater.cancelled.title",
          body: "updater.cancelled.body", button: "updater.done.button", action: FirmwareUpdate.DoneUpdate }
    ]
    readonly property var page: pages[visibleStage]

    // Read from the Configurator while an update runs.
    readonly property int deviceProgress: configurator.isProgress
    readonly property bool deviceFileError: configurator.isfileErrorstate

    // Prepares an update of type from the file at path; the operator starts
    // it from the wizard's pages. The dongle needs no power cycle of the
    // radio, so its update starts at the cabling page.
    function setupUpdate(type, path) {
        resetUpdater()
        updateType = type
        updatePath = path
        visibleStage = type === FirmwareUpdate.Dongle ? stageConnect : stagePowerOff
    }

    function resetUpdater() {
        updateWaiting = false
        updateComplete = false
        deviceReady = false
        updateProgress = 0
        failureReason = ""
        updateDisplayProgressStatus = manager.localise("updater.wait.text")
        visibleStage = stagePowerOff
        cancelDialog.close()
    }

    // The update was stopped at the operator's request.
    function updateCancelled() {
        updateWaiting = false
        deviceReady = false
        visibleStage = stageCancelled
    }

    // The file does not fit the device, or could not be read.
    function fileinCorrect() {
        updateWaiting = false
        deviceReady = false
        visibleStage = stageError
    }

    // The update has ended, well or not.
    function updateDone(succeeded) {
        if (visibleStage === stageCancelled || visibleStage === stageError)
            return
        updateWaiting = false
        deviceReady = false
        updateComplete = succeeded
        visibleStage = succeeded ? stageComplete : stageError
    }

    // Closes the wizard, ready for another update.
    function resetFirmwareUpdate() {
        resetUpdater()
        updateType = FirmwareUpdate.Radio
        updatePath = ""
        close()
    }

    function act(action) {
        switch (action) {
        case FirmwareUpdate.BeginUpdate:
            // The page moves on first: a file the Configurator refuses at once
            // sends the wizard to the error page from inside startUpdate.
            visibleStage = updateType === FirmwareUpdate.Dongle ? stageUpdating : stagePowerOn
            updateWaiting = true
            startUpdate(updateType, updatePath)
            break
        case FirmwareUpdate.CancelUpdate:
            cancelDialog.open()
            break
        case FirmwareUpdate.DoneUpdate:
            var ended = updateComplete || visibleStage >= stageComplete
            resetFirmwareUpdate()
            if (ended)
                sessionEnded()
            break
        default:
            visibleStage = Math.min(visibleStage + 1, stageReady)
        }
    }

    // An upload starts from 0; the first step beyond it shows the device
    // answers.
    onDeviceProgressChanged: {
        if (!updateRunning || (!deviceReady && deviceProgress <= 0))
            return
        updateProgress = deviceProgress
        if (!deviceReady) {
            deviceReady = true
            updateWaiting = false
            visibleStage = stageUpdating
        }
    }
    onDeviceFileErrorChanged: {
        if (deviceFileError && updateRunning)
            fileinCorrect()
    }

    image: page.image
    titleKey: page.title
    bodyKey: page.body
    buttonKey: page.button
    onButtonClicked: act(page.action)
    contentVisible: visibleStage === stageUpdating || (visibleStage === stageError && failureReason.length > 0)
    onCloseClicked: {
        if (updateRunning)
            cancelDialog.open()
        else if (visibleStage >= stageComplete)
            act(FirmwareUpdate.DoneUpdate)
        else
            resetFirmwareUpdate() // nothing started: the operator stays on the view
    }
    onClosed: cancelDialog.close()

    LocalisationManager {
        id: manager
    }

    LocalisedText {
        objectName: "failureReasonText"
        Layout.fillWidth: true
        visible: wizard.visibleStage === wizard.stageError
        key: wizard.failureReason.length > 0 ? "updater.reason." + wizard.failureReason : ""
        color: Colours.yellow
        font.styleName: Fonts.styleSemiBold
        font.pixelSize: 16
        horizontalAlignment: Text.AlignHCenter
        wrapMode: Text.WordWrap
    }

    ProgressBar {
        objectName: "updateProgressBar"
        Layout.fillWidth: true
        Layout.topMargin: 8
        visible: wizard.visibleStage === wizard.stageUpdating
        value: wizard.updateProgress
    }

    Text {
        objectName: "updateProgressText"
        visible: wizard.visibleStage === wizard.stageUpdating
        Layout.fillWidth: true
        text: wizard.updateDisplayProgressStatus
        color: Colours.yellow
        font.family: Fonts.global
        font.styleName: Fonts.styleSemiBold
        font.pixelSize: 16
        horizontalAlignment: Text.AlignHCenter
    }

    Dialog {
        id: cancelDialog
        objectName: "cancelDialog"
        titleKey: "updater.cancel.title"
        bodyKey: "updater.cancel.body"
        onConfirmed: {
            if (!wizard.updateRunning)
                return
            wizard.cancelUpdate(wizard.updateType, wizard.updatePath)
            wizard.updateCancelled()
        }
    }
}
