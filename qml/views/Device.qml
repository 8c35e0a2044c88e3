import QtQuick 2.15
import QtQuick.Layouts 1.15
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../localisation"
import "../components"
import "../shared_components/components"

// The radio is read and live: from here the operator edits its masks or its
// settings, and leaves with or without storing them.
ViewContainer {
    id: device
    objectName: "deviceView"

    readonly property alias disconnectModal: disconnectModal
    readonly property alias storeModal: storeModal

    DevicePresence {
        id: presence
        logChanges: true
        // A store that failed is told first; its modal leads back to the
        // start view.
        onLost: if (!storeFailedModal.opened) device.show(Qt.resolvedUrl("Start.qml"))
    }

    // A view made after the radio left (a reload at the wrong moment) goes
    // straight back.
    Component.onCompleted: if (!presence.present) Qt.callLater(presence.lost)

    RowLayout {
        anchors.fill: parent
        spacing: 48

        Item {
            Layout.fillHeight: true
            Layout.preferredWidth: 520

            Image {
                anchors.centerIn: parent
                width: parent.width
                height: width * 440 / 600
                source: "../assets/images/Configurator.png"
                sourceSize.width: 600
                fillMode: Image.PreserveAspectFit
                smooth: true
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 32

            RowLayout {
                Layout.fillWidth: true
                spacing: 24

                Title {
                    Layout.fillWidth: true
                    key: "static.veltra_configurator"
                }
                LanguageDropdown {
                    objectName: "languageDropdown"
                }
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: 16

                IconButton {
                    objectName: "maskingButton"
                    Layout.fillWidth: true
                    key: "device.masking"
                    iconSource: "/assets/icons/wireless.png"
                    onClicked: device.show(Qt.resolvedUrl("Masking.qml"))
                }
                IconButton {
                    objectName: "settingsButton"
                    Layout.fillWidth: true
                    key: "device.settings"
                    iconSource: "/assets/icons/settings.png"
                    onClicked: device.show(Qt.resolvedUrl("Settings.qml"))
                }
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: 16

                ButtonSecondary {
                    objectName: "disconnectButton"
                    Layout.fillWidth: true
                    key: "device.disconnect"
                    onClicked: {
                        configurator.on_disconnect_clicked()
                        disconnectModal.open()
                    }
                }
                Button {
                    objectName: "saveDisconnectButton"
                    Layout.fillWidth: true
                    key: "device.save_disconnect"
                    onClicked: {
                        storeModal.open()
                        // Storing holds the application for a while; the
                        // modal is drawn first so the operator sees why.
                        storeTimer.start()
                    }
                }
            }

            Spacer { }

            RowLayout {
                Layout.fillWidth: true
                spacing: 24

                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 16

                    DeviceStatus {
                        objectName: "dongleStatus"
                        Layout.fillWidth: true
                        iconSource: "/assets/icons/dongle.png"
                        key: "static.dongle"
                        status: configurator.isDongleVersion
                        connected: configurator.isDongleVersion !== "Disconnected"
                        disconnectedKey: "static.disconnected"
                    }
                    DeviceStatus {
                        objectName: "radioStatus"
                        Layout.fillWidth: true
                        iconSource: "/assets/icons/monolith.png"
                        key: "static.veltra"
                        status: configurator.isStatusVELTRA
                        connected: configurator.isStatusVELTRA !== "Veltra: Disconnected"
                    }
                    // The radio's time since power-on, counting while live
                    // data flows.
                    Text {
                        objectName: "upTime"
                        Layout.fillWidth: true
                        Layout.leftMargin: 52
                        visible: text.length > 0
                        text: configurator.isUpTime
                        color: Colours.yellow
                        font.family: Fonts.global
                        font.pixelSize: 13
                        elide: Text.ElideRight
                    }
                }

                Image {
                    Layout.alignment: Qt.AlignBottom
                    Layout.preferredWidth: 260
                    Layout.preferredHeight: 70
                    source: "../assets/images/Full-Logo.png"
                    sourceSize.width: 260
                    fillMode: Image.PreserveAspectFit
                }
            }
        }
    }

    Timer {
        id: storeTimer
        interval: 100
        onTriggered: {
            configurator.on_storeAndDisconnect_clicked()
            if (configurator.isStoreError.length > 0) {
                storeModal.close()
                storeFailedModal.open()
            }
        }
    }

    // The radio kept what it had: the operator is told which settings it did
    // not take (in the radio's own terms) before leaving the radio.
    Modal {
        id: storeFailedModal
        objectName: "storeFailedModal"
        image: "/assets/icons/monolith@2x.png"
        titleKey: "device.store_failed"
        bodyKey: "device.store_failed_info"
        buttonKey: "device.store_failed_button"
        closeEnabled: false
        onButtonClicked: device.show(Qt.resolvedUrl("Start.qml"))

        Text {
            objectName: "storeFailedDetail"
            Layout.fillWidth: true
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
            text: configurator.isStoreError
            color: Colours.yellow
            font.family: Fonts.global
            font.pixelSize: 14
        }
    }

    Modal {
        id: disconnectModal
        objectName: "disconnectModal"
        image: "/assets/icons/monolith@2x.png"
        titleKey: "start.disconnect_devices"
        bodyKey: "start.disconnect_device_info"
        buttonKey: "start.disconnect_devices_button"
        buttonEnabled: false
        closeEnabled: false
    }

    Modal {
        id: storeModal
        objectName: "storeModal"
        image: "/assets/icons/monolith@2x.png"
        titleKey: "start.storeAnddisconnect_devices"
        bodyKey: "start.storeAnddisconnect_device_info"
        buttonKey: "start.storeAnddisconnect_devices_button"
        buttonEnabled: false
        closeEnabled: false
    }
}
