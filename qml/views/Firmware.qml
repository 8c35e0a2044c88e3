import QtQuick 2.15
import QtQuick.Layouts 1.15
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../localisation"
import "../components"
import "../shared_components/components"

// Firmware for the radio, its add-on board and the dongle. The files are
// picked here; the wizard leads the operator through the update itself.
ViewContainer {
    id: firmware
    objectName: "firmwareView"
    margin: 32

    readonly property alias wizard: wizard
    readonly property alias veltraFirmwarePath: veltraFirmwarePath
    readonly property alias dongleFirmwarePath: dongleFirmwarePath

    function beginUpdate(type, path) {
        wizard.setupUpdate(type, path)
        wizard.open()
    }

    header: TabBar {
        objectName: "tabBar"
        width: firmware.width
        onPrimaryButtonClicked: firmware.show(Qt.resolvedUrl("Start.qml"))
    }

    // The upload's progress as the operator reads it.
    readonly property int progress: configurator.isProgress
    onProgressChanged: {
        if (wizard.updateRunning)
            wizard.updateDisplayProgressStatus = progress + " %"
    }

    View {
        ViewRow {
            BoxGroup {
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                Layout.alignment: Qt.AlignTop
                key: "firmware.veltra_firmware_update"

                FileInput {
                    id: veltraFirmwarePath
                    objectName: "veltraFirmwarePath"
                    Layout.fillWidth: true
                    Layout.topMargin: 8
                    buttonKey: "firmware.open"
                    placeholderKey: "firmware.select_firmware_file"
                    nameFilter: "(*.vfp)"
                }
                RowLayout {
                    Layout.fillWidth: true
                    Layout.topMargin: 8
                    spacing: 12

                    Button {
                        objectName: "updateRadioButton"
                        Layout.fillWidth: true
                        key: "firmware.update_radio"
                        enabled: veltraFirmwarePath.path.length > 0
                        onClicked: firmware.beginUpdate(FirmwareUpdate.Radio, veltraFirmwarePath.path)
                    }
                    ButtonSecondary {
                        objectName: "updateAddOnButton"
                        Layout.fillWidth: true
                        key: "firmware.update_add_on"
                        enabled: veltraFirmwarePath.path.length > 0
                        onClicked: firmware.beginUpdate(FirmwareUpdate.AddOn, veltraFirmwarePath.path)
                    }
                }
                TextView {
                    Layout.fillWidth: true
                    Layout.topMargin: 8
                    key: "firmware.update_veltra_help"
                }
            }

            BoxGroup {
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                Layout.alignment: Qt.AlignTop
                key: "firmware.dongle_firmware_update"

                FileInput {
                    id: dongleFirmwarePath
                    objectName: "dongleFirmwarePath"
                    Layout.fillWidth: true
                    Layout.topMargin: 8
                    buttonKey: "firmware.open"
                    placeholderKey: "firmware.select_firmware_file"
                    nameFilter: "(*.hex)"
                }
                Button {
                    objectName: "updateDongleButton"
                    Layout.fillWidth: true
                    Layout.topMargin: 8
                    key: "firmware.update_dongle"
                    enabled: dongleFirmwarePath.path.length > 0
                    onClicked: firmware.beginUpdate(FirmwareUpdate.Dongle, dongleFirmwarePath.path)
                }
                TextView {
                    Layout.fillWidth: true
                    Layout.topMargin: 8
                    key: "firmware.update_dongle_help"
                }
            }
        }

        Spacer { }
    }

    // The update code tells the end of every update once: its outcome
    // (0 complete, 1 cancelled, 2 failed) and, for a failure, the reason.
    // The status text is not read: the dongle's state rewrites it.
    function takeOutcome(outcome) {
        if (outcome === 2)
            wizard.failureReason = configurator.isUpdateReason
        if (!wizard.updateRunning)
            return
        if (outcome === 1)
            wizard.updateCancelled()
        else
            wizard.updateDone(outcome === 0)
    }

    Connections {
        target: configurator
        function onUpdateFinished(outcome) { firmware.takeOutcome(outcome) }
    }

    FirmwareUpdate {
        id: wizard
        objectName: "updateWizard"

        onStartUpdate: function (type, path) {
            console.log("Requested update with type", type, "at path", path)
            // A file refused at once ends the update inside this call.
            configurator.firmwareUpdate(type, path)
        }
        onCancelUpdate: function (type, path) {
            console.log("Cancelled update with type", type)
            configurator.cancelUpdate(type, path)
        }
        onSessionEnded: firmware.show(Qt.resolvedUrl("Start.qml"))
    }
}
