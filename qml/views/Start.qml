import QtQuick 2.15
import QtQuick.Layouts 1.15
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../localisation"
import "../components"
import "../shared_components/components"

// Where every session begins: connect to a radio, update firmware, read
// about the application, find the log folder.
ViewContainer {
    id: start
    objectName: "startView"

    readonly property alias connectModal: connectModal
    readonly property alias supportModal: supportModal

    function connect() {
        configurator.on_connect_clicked()
        connectModal.open()
    }

    DevicePresence {
        id: presence
        logChanges: true
        // Only a connection the operator asked for opens the device view: a
        // radio still known from before is no reason to leave this view.
        onFound: if (connectModal.opened) Qt.callLater(start.enterDevice)
    }

    // A dongle plugged back in comes up with its DMX off, while the radio
    // known through it before still counts as present: the dongle is
    // connected before the view goes on, or the radio would be missed until
    // dropped and the device view would fall back here with no one waiting.
    // The connection waits for discovery to finish, which switches the DMX
    // off last.
    function enterDevice() {
        if (!connectModal.opened || !presence.present)
            return
        if (!configurator.isDongleVersionUI)
            configurator.on_connect_clicked()
        start.show(Qt.resolvedUrl("Device.qml"))
    }

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
                    objectName: "configurationButton"
                    Layout.fillWidth: true
                    key: "start.configuration"
                    iconSource: "/assets/icons/monolith.png"
                    onClicked: start.connect()
                }
                IconButton {
                    objectName: "firmwareButton"
                    Layout.fillWidth: true
                    key: "start.firmware"
                    iconSource: "/assets/icons/firmware.png"
                    onClicked: start.show(Qt.resolvedUrl("Firmware.qml"))
                }
                IconButton {
                    objectName: "helpButton"
                    Layout.fillWidth: true
                    key: "start.help"
                    iconSource: "/assets/icons/help.png"
                    onClicked: supportModal.open()
                }
            }

            FormGroup {
                Layout.fillWidth: true
                key: "start.log_directory"

                FileInput {
                    id: logFolder
                    objectName: "logFolder"
                    Layout.fillWidth: true
                    readOnly: true
                    dialogEnabled: false
                    buttonKey: "start.set"
                    onButtonClicked: configurator.on_openSystemLogFilePath_clicked()
                    // Set once at start-up; the Configurator does not announce it.
                    Component.onCompleted: path = configurator.islogdata
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
                        status: "Veltra: Disconnected"
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

    Modal {
        id: connectModal
        objectName: "connectModal"
        image: "/assets/icons/device-connection.png"
        titleKey: "start.connect_devices"
        bodyKey: "start.connect_devices_info"
        buttonKey: "start.connect_devices_button"
        buttonEnabled: false
        onCloseClicked: {
            configurator.on_disconnect_clicked()
            close()
        }
        onOpened: start.enterDevice()
    }

    // A dongle plugged in while the operator waits is connected as it comes.
    Timer {
        interval: 1000
        repeat: true
        running: connectModal.opened && !configurator.isDongleVersionUI
        onTriggered: configurator.on_connect_clicked()
    }

    SupportModal {
        id: supportModal
        objectName: "supportModal"
        onCloseClicked: close()
    }
}
