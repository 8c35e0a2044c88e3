import QtQuick 2.15
import QtQuick.Layouts 1.15
import FrequencyMaskingModel 1.0
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../localisation"
import "../components"
import "../shared_components/components"

// The channel masks of the radio's bands and the output power per band.
ViewContainer {
    id: masking
    objectName: "maskingView"
    margin: 32

    readonly property var titleKeys: ["masking.2_4_channel_masking", "masking.5_2_channel_masking",
                                      "masking.5_8_channel_masking"]
    // The power each band was given in this view, by band; the Configurator
    // keeps reporting the power read from the radio.
    property var chosenPower: ({})
    readonly property alias tabBar: tabBar
    readonly property alias grid: grid
    readonly property alias gridModel: gridModel
    readonly property alias powerDropdown: power

    function setupMask(band) {
        gridModel.setupModel(band)
        grid.reload()
        title.setTitle(titleKeys[band])
        updateTotalMask()
    }

    // The total strip is the band shown, cut from the list of all bands: one
    // line with every channel the radio will avoid there, whichever Wi-Fi
    // row masked it.
    function updateTotalMask() {
        var all = configurator.ismaskedChannels
        var first = tabBar.activeTab * 88
        var total = []
        for (var channel = 0; channel < 84; ++channel)
            total.push(all[first + channel] === true)
        totalModel.pushData(total)
    }

    function presentPowerIndex() {
        var band = tabBar.activeTab
        if (chosenPower[band] !== undefined)
            return chosenPower[band]
        return configurator.isPowerList.indexOf(configurator.ispresentPower)
    }

    // Edits through the presets count like edits in the grid.
    function applyPreset(option) {
        gridModel.setMaskOption(option)
        tabBar.bandEdited()
    }

    DevicePresence {
        id: presence
        onLost: masking.show(Qt.resolvedUrl("Start.qml"))
    }

    FrequencyMaskingModel {
        id: gridModel
        allCurrentMaskedChannels: configurator.ismaskedChannels
        onDidUpdateMaskedChannelsAll: function (maskedChannels) {
            configurator.currentMaskedChannels(maskedChannels)
            masking.updateTotalMask()
        }
    }

    FrequencyMaskingModel {
        id: totalModel
        activeBand: FrequencyMaskingModel.TotalMask
    }

    FrequencyMaskingModel {
        id: adaptiveModel
        activeBand: FrequencyMaskingModel.CurrentAdaptiveMask
    }

    Component.onCompleted: {
        setupMask(tabBar.activeTab)
        // The adaptive mask is read with the radio and not announced.
        adaptiveModel.channelsMasked = configurator.isadaptiveList
        totalStrip.reload()
        adaptiveStrip.reload()
        if (!presence.present)
            Qt.callLater(presence.lost)
    }

    header: TabBar {
        id: tabBar
        objectName: "tabBar"
        width: masking.width
        // The radio's own bands, the same answer the command line gets.
        has24ghz: configurator.offersBand(0)
        has52ghz: configurator.offersBand(1)
        has58ghz: configurator.offersBand(2)
        onPrimaryButtonClicked: masking.show(Qt.resolvedUrl("Device.qml"))
        onActivatedTab: function (tab) { masking.setupMask(tab) }
    }

    View {
        spacing: 12

        RowLayout {
            Layout.fillWidth: true
            spacing: 32

            LocalisedText {
                id: title
                objectName: "maskingTitle"
                Layout.preferredWidth: 380
                color: Colours.white
                font.family: Fonts.global
                font.styleName: Fonts.styleSemiBold
                font.pixelSize: 24
                wrapMode: Text.WordWrap
            }
            TextView {
                Layout.fillWidth: true
                key: "masking.help_info"
                font.pixelSize: 13
            }
        }

        // The grid keeps the room of the largest band, so the strips and
        // controls stay put when the operator changes band.
        Item {
            Layout.fillWidth: true
            Layout.preferredHeight: 13 * 21 + 22
            Layout.topMargin: 4

            FrequencyMaskingTable {
                id: grid
                objectName: "maskingGrid"
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.top: parent.top
                model: gridModel
                rowHeight: rows > 0 ? Math.min(40, Math.floor((13 * 21) / rows) - rowSpacing) : 18
                onEdited: tabBar.bandEdited()
            }
        }

        Title {
            small: true
            font.pixelSize: 14
            key: "masking.frequency_mask"
            color: Colours.lightGrey
        }
        FrequencyMaskingTable {
            id: totalStrip
            objectName: "totalStrip"
            Layout.fillWidth: true
            model: totalModel
            interactive: false
            showLabels: false
            showScale: false
            rowHeight: 14
        }

        Title {
            small: true
            font.pixelSize: 14
            key: "masking.current_adaptive_mask"
            color: Colours.lightGrey
        }
        FrequencyMaskingTable {
            id: adaptiveStrip
            objectName: "adaptiveStrip"
            Layout.fillWidth: true
            model: adaptiveModel
            interactive: false
            showLabels: false
            showScale: false
            rowHeight: 14
        }

        Spacer { }

        ViewRow {
            spacing: 40

            FormGroup {
                Layout.preferredWidth: 260
                Layout.alignment: Qt.AlignTop
                key: "masking.power"

                DropdownSecondary {
                    id: power
                    objectName: "powerDropdown"
                    Layout.fillWidth: true
                    model: configurator.isPowerList
                    currentIndex: masking.presentPowerIndex()
                    enabled: count > 1
                    onActivated: function (index) {
                        console.log("changed to index", index, "with value", textAt(index))
                        var chosen = masking.chosenPower
                        chosen[tabBar.activeTab] = index
                        masking.chosenPower = chosen
                        configurator.writePowerSettings(index)
                    }
                }
                TextView {
                    Layout.fillWidth: true
                    key: "masking.power_help"
                    rich: false
                    font.pixelSize: 12
                }
            }

            FormGroup {
                Layout.alignment: Qt.AlignTop
                key: "masking.mask_options"

                RowLayout {
                    spacing: 8

                    // The presets for the three Wi-Fi channels most networks
                    // use exist in the 2.4 GHz band only.
                    LocalisedText {
                        Layout.rightMargin: 4
                        key: "static.2_4_ghz"
                        color: tabBar.activeTab === TabBar.Band24 ? Colours.lightGrey : Colours.grey
                        font.family: Fonts.global
                        font.pixelSize: 13
                    }
                    Repeater {
                        model: [
                            { key: "masking.preset_1", option: FrequencyMaskingModel.Channel1 },
                            { key: "masking.preset_6", option: FrequencyMaskingModel.Channel6 },
                            { key: "masking.preset_11", option: FrequencyMaskingModel.Channel11 }
                        ]
                        ButtonSecondary {
                            objectName: "preset" + modelData.key.split("_")[1]
                            implicitWidth: 56
                            key: modelData.key
                            enabled: tabBar.activeTab === TabBar.Band24
                            onClicked: masking.applyPreset(modelData.option)
                        }
                    }
                }
                RowLayout {
                    spacing: 8

                    ButtonSecondary {
                        objectName: "presetOdd"
                        key: "masking.preset_odd"
                        onClicked: masking.applyPreset(FrequencyMaskingModel.MaskOdd)
                    }
                    ButtonSecondary {
                        objectName: "presetEven"
                        key: "masking.preset_even"
                        onClicked: masking.applyPreset(FrequencyMaskingModel.MaskEven)
                    }
                    ButtonMuted {
                        objectName: "clearAll"
                        key: "masking.clear_all"
                        onClicked: {
                            gridModel.clear()
                            tabBar.bandEdited()
                        }
                    }
                }
            }

            Spacer { }

            FormGroup {
                Layout.alignment: Qt.AlignTop
                key: "masking.regulatory_settings"

                ButtonSecondary {
                    objectName: "euSettings"
                    Layout.fillWidth: true
                    key: "masking.eu_settings"
                    onClicked: masking.applyPreset(FrequencyMaskingModel.EUSettings)
                }
                ButtonSecondary {
                    objectName: "fccSettings"
                    Layout.fillWidth: true
                    key: "masking.fcc_settings"
                    onClicked: masking.applyPreset(FrequencyMaskingModel.FCCSettings)
                }
            }
        }
    }
}
