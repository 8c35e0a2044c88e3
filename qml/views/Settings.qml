import QtQuick 2.15
import QtQuick.Layouts 1.15
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../localisation"
import "../components"
import "../shared_components/components"
import "../platform"

// The radio's settings as read, and the operator's changes to them. Changes
// are queued by the Configurator and written by Save & Disconnect.
ViewContainer {
    id: settings
    objectName: "settingsView"
    margin: 32

    readonly property alias deviceName: deviceName
    readonly property alias radioDirection: radioDirection
    readonly property alias transmitterMode: transmitterMode
    readonly property alias hopTable: hopTable

    // The label travels padded to its full length; the padding is not
    // part of the name.
    function labelText(label) {
        return String(label).replace(/[\u0000\s]+$/, "")
    }

    // The radio's hop table as pairs of hex digits, one channel each.
    function groupedHopTable(table) {
        if (!/^[0-9a-fA-F]+$/.test(table))
            return table
        return table.match(/.{1,2}/g).join(" ")
    }

    // Most of what the radio reported is read once with the radio and not
    // announced again, so the form reads it when it is made and after the
    // defaults were restored.
    function refresh() {
        deviceName.text = labelText(configurator.isDeviceLabel)
        radioModel.text = configurator.istrxModel
        radioDirection.currentIndex = configurator.isListforRadio_direction.indexOf(
                    configurator.ispresentTransmitterMode)
        transmitterMode.currentIndex = configurator.isListforRadioMode.indexOf(
                    configurator.ispresentRadioMode)
        // A radio may report any nonzero byte for ON; the command line's
        // export reads it so too.
        adaptive.checked = configurator.isadaptivestate > 0
        rdm.checked = configurator.isRDMEnabledstate > 0
        // Radios report the switch as 0 or 1, some with 2 added.
        highBand.checked = configurator.isHighbandstate % 2 === 1
        // Only what this radio can be written is open to edit, the same
        // answer the command line gets.
        deviceName.enabled = configurator.offersSetting("label")
        adaptive.enabled = configurator.offersSetting("adaptive")
        rdm.enabled = configurator.offersSetting("rdm")
        highBand.enabled = configurator.offersSetting("band58")
        hopTable.text = groupedHopTable(configurator.isHopTable)
    }

    // What the last export or apply came to: a localised heading and the
    // lines the Configurator gave (setting names and values as the radio
    // knows them).
    function showSetupResult(key, lines) {
        setupResult.key = key
        setupDetails.text = lines.join("\n")
    }

    // Where the file dialogs lead; the walk calls them with a path.
    function exportSetupTo(file) {
        var error = configurator.exportSetup(file)
        showSetupResult(error.length > 0 ? "settings.setup_not_exported" : "settings.setup_exported",
                        error.length > 0 ? [error] : [])
    }

    function applySetupFrom(file) {
        var result = configurator.applySetupFile(file)
        if (result.taken)
            refresh()
        showSetupResult(!result.taken ? "settings.setup_refused"
                                      : result.lines.length > 0 ? "settings.setup_skipped"
                                                                : "settings.setup_applied",
                        result.lines)
    }

    function logIndex(index, value) {
        console.log("changed to index", index, "with value", value)
    }

    // A file dialog of its own window, made only when asked for.
    Loader {
        id: setupDialog
        property bool applying: false
        active: false
        visible: false

        function ask(apply) {
            applying = apply
            active = true
        }

        sourceComponent: FileChooser {
            title: setupDialog.applying ? "Apply setup" : "Export setup"
            saving: !setupDialog.applying
            defaultSuffix: "json"
            nameFilters: ["Setup (*.json)", "All files (*)"]
            onChosen: function (file) {
                if (setupDialog.applying)
                    settings.applySetupFrom(String(file))
                else
                    settings.exportSetupTo(String(file))
                setupDialog.active = false
            }
            onRejected: setupDialog.active = false
        }
    }

    DevicePresence {
        id: presence
        onLost: settings.show(Qt.resolvedUrl("Start.qml"))
    }

    Component.onCompleted: {
        refresh()
        if (!presence.present)
            Qt.callLater(presence.lost)
    }

    header: TabBar {
        id: tabBar
        objectName: "tabBar"
        width: settings.width
        onPrimaryButtonClicked: settings.show(Qt.resolvedUrl("Device.qml"))
    }

    RowLayout {
        anchors.fill: parent
        spacing: 40

        GridLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.alignment: Qt.AlignTop
            columns: 2
            columnSpacing: 32
            rowSpacing: 24

            FormGroup {
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                key: "settings.device_name"

                Input {
                    id: deviceName
                    objectName: "deviceName"
                    Layout.fillWidth: true
                    maximumLength: 32
                    // The label rule of every way in: printable Latin-1, at
                    // most 32 characters. Anything else is not taken from the
                    // keyboard or a paste, and the line below says why.
                    validator: RegularExpressionValidator { regularExpression: /[\x20-\x7e\xa0-\xff]{0,32}/ }
                    onTextEdited: {
                        console.log("changed to", text)
                        configurator.on_deviceLabel_textChanged(text)
                    }
                }
                LocalisedText {
                    objectName: "labelRule"
                    Layout.fillWidth: true
                    key: "settings.label_rule"
                    visible: deviceName.enabled
                    color: Colours.grey
                    font.family: Fonts.global
                    font.pixelSize: 12
                    wrapMode: Text.WordWrap
                }
            }

            FormGroup {
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                // Level with the name's field, whose rule line makes it taller.
                Layout.alignment: Qt.AlignTop
                key: "settings.radio_model"

                InputMuted {
                    id: radioModel
                    objectName: "radioModel"
                    Layout.fillWidth: true
                }
            }

            FormGroup {
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                key: "settings.radio_direction"

                Dropdown {
                    id: radioDirection
                    objectName: "radioDirection"
                    Layout.fillWidth: true
                    model: configurator.isListforRadio_direction
                    enabled: count > 0
                    onActivated: function (index) {
                        settings.logIndex(index, textAt(index))
                        configurator.on_direction_currentIndexChanged(index)
                    }
                }
            }

            FormGroup {
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                key: "settings.transmitter_mode"

                Dropdown {
                    id: transmitterMode
                    objectName: "transmitterMode"
                    Layout.fillWidth: true
                    model: configurator.isListforRadioMode
                    enabled: count > 0
                    onActivated: function (index) {
                        settings.logIndex(index, textAt(index))
                        configurator.on_radioMode_currentIndexChanged(index)
                    }
                }
            }

            ColumnLayout {
                Layout.columnSpan: 2
                Layout.fillWidth: true
                Layout.fillHeight: false
                Layout.topMargin: 8
                spacing: 16

                RowLayout {
                    Layout.fillWidth: true
                    spacing: 40

                    Switch {
                        id: adaptive
                        objectName: "adaptiveSwitch"
                        key: "settings.adaptive_mask"
                        onToggled: {
                            settings.logIndex(checked ? 1 : 0, checked ? "ON" : "Off")
                            configurator.on_adaptiveHopping_currentIndexChanged(checked ? 1 : 0)
                        }
                    }
                    Switch {
                        id: rdm
                        objectName: "rdmSwitch"
                        key: "settings.downstream_rdm"
                        onToggled: {
                            settings.logIndex(checked ? 1 : 0, checked ? "ON" : "Off")
                            configurator.on_enableRDM_currentIndexChanged(checked ? 1 : 0)
                        }
                    }
                    Switch {
                        id: highBand
                        objectName: "highBandSwitch"
                        key: "settings.enable_5ghz"
                        onToggled: {
                            settings.logIndex(checked ? 1 : 0, checked ? "ON" : "Off")
                            configurator.on_enable58_currentIndexChanged(checked ? 1 : 0)
                        }
                    }
                    Spacer { }
                }
            }

            FormGroup {
                Layout.columnSpan: 2
                Layout.fillWidth: true
                key: "settings.restore_default"

                RowLayout {
                    spacing: 12

                    ButtonSecondary {
                        objectName: "flexButtonMode"
                        key: "settings.flex_button_mode"
                        onClicked: {
                            configurator.on_deployDefaultFlexButton_clicked()
                            settings.refresh()
                        }
                    }
                    ButtonSecondary {
                        objectName: "oemMode"
                        key: "settings.oem_mode"
                        onClicked: {
                            configurator.on_deployDefaultPin10_clicked()
                            settings.refresh()
                        }
                    }
                }
            }

            FormGroup {
                Layout.columnSpan: 2
                Layout.fillWidth: true
                key: "settings.setup"

                RowLayout {
                    spacing: 12

                    ButtonSecondary {
                        objectName: "exportSetupButton"
                        key: "settings.export_setup"
                        onClicked: setupDialog.ask(false)
                    }
                    ButtonSecondary {
                        objectName: "applySetupButton"
                        key: "settings.apply_setup"
                        onClicked: setupDialog.ask(true)
                    }
                    LocalisedText {
                        id: setupResult
                        objectName: "setupResult"
                        Layout.fillWidth: true
                        Layout.leftMargin: 8
                        font.pixelSize: 13
                        color: key === "settings.setup_refused" || key === "settings.setup_not_exported"
                               ? Colours.yellow : Colours.grey
                        elide: Text.ElideRight
                        visible: key.length > 0
                    }
                }
                Text {
                    id: setupDetails
                    objectName: "setupDetails"
                    Layout.fillWidth: true
                    visible: text.length > 0
                    color: Colours.grey
                    font.family: Fonts.global
                    font.pixelSize: 12
                    wrapMode: Text.Wrap
                    maximumLineCount: 4
                    elide: Text.ElideRight
                }
            }

            FormGroup {
                Layout.columnSpan: 2
                Layout.fillWidth: true
                key: "settings.hop_table"

                RowLayout {
                    Layout.fillWidth: true
                    spacing: 12

                    InputMuted {
                        id: hopTable
                        objectName: "hopTable"
                        Layout.fillWidth: true
                        font.pixelSize: 13
                    }
                    ButtonSecondary {
                        objectName: "copyHopTable"
                        Layout.alignment: Qt.AlignTop
                        key: "settings.copy"
                        onClicked: configurator.on_clipboard_copy_pressed()
                    }
                }
            }

            Spacer {
                Layout.columnSpan: 2
            }
        }

        BoxGroup {
            Layout.preferredWidth: 420
            Layout.alignment: Qt.AlignTop
            key: "settings.veltra_device_info"

            Repeater {
                model: [
                    { key: "settings.model", value: configurator.istrxModel },
                    { key: "settings.firmware", value: configurator.istrxVersion },
                    { key: "settings.hardware", value: configurator.istrxHWVersion },
                    { key: "settings.serial", value: configurator.istrxSerial },
                    { key: "settings.mcu", value: configurator.istrxMCU },
                    { key: "settings.code", value: configurator.istrxCode },
                    { key: "settings.boot", value: configurator.istrxBootloader },
                    { key: "settings.add_on_version", value: configurator.isAddonVersion }
                ]

                RowLayout {
                    Layout.fillWidth: true
                    spacing: 16

                    LocalisedText {
                        Layout.preferredWidth: 190
                        key: modelData.key
                        color: Colours.grey
                        font.family: Fonts.global
                        font.pixelSize: 13
                        elide: Text.ElideRight
                    }
                    Text {
                        Layout.fillWidth: true
                        text: modelData.value
                        color: Colours.white
                        font.family: Fonts.global
                        font.pixelSize: 14
                        elide: Text.ElideRight
                    }
                }
            }
        }
    }
}
