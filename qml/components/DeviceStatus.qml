import QtQuick 2.15
import QtQuick.Layouts 1.15
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../localisation"

// One device's line: its picture, its name and what it is doing now.
RowLayout {
    id: deviceStatus

    property url iconSource
    property string key
    property string status
    // Draws the status in the highlight colour.
    property bool connected: false
    // When set, shown in place of the status while not connected, in the
    // operator's language.
    property string disconnectedKey

    spacing: 12

    LocalisationManager {
        id: manager
    }

    Rectangle {
        Layout.preferredWidth: 40
        Layout.preferredHeight: 40
        radius: 20
        color: Colours.dark
        border.width: 2
        border.color: deviceStatus.connected ? Colours.yellow : Colours.checkboxInactive

        Image {
            anchors.centerIn: parent
            source: deviceStatus.iconSource
            sourceSize.width: 24
            sourceSize.height: 24
            width: 24
            height: 24
            opacity: deviceStatus.connected ? 1 : 0.6
        }
    }

    ColumnLayout {
        Layout.fillWidth: true
        spacing: 2

        LocalisedText {
            Layout.fillWidth: true
            key: deviceStatus.key
            color: Colours.grey
            font.family: Fonts.global
            font.styleName: Fonts.styleSemiBold
            font.pixelSize: 12
            elide: Text.ElideRight
        }

        Text {
            objectName: "statusText"
            Layout.fillWidth: true
            text: !deviceStatus.connected && deviceStatus.disconnectedKey.length > 0
                  ? manager.localise(deviceStatus.disconnectedKey) : deviceStatus.status
            color: deviceStatus.connected ? Colours.white : Colours.lightGrey
            font.family: Fonts.global
            font.pixelSize: 14
            elide: Text.ElideRight
        }
    }
}
