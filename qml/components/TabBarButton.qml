import QtQuick 2.15
import QtQuick.Templates 2.15 as T
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../localisation"

// One band tab of the tab bar; the active one is underlined in yellow.
T.AbstractButton {
    id: control

    property string key
    property bool active: false

    text: label.text
    implicitWidth: Math.max(104, label.implicitWidth + 32)
    implicitHeight: 72
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus

    contentItem: LocalisedText {
        id: label
        key: control.key
        color: control.active ? Colours.yellow : control.hovered ? Colours.white : Colours.lightGrey
        font.family: Fonts.global
        font.styleName: control.active ? Fonts.styleSemiBold : ""
        font.pixelSize: 16
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    background: Rectangle {
        color: control.down ? Colours.blueAlternative : control.hovered ? Colours.blue : "transparent"

        Rectangle {
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            height: 3
            color: Colours.yellow
            visible: control.active
        }
    }
}
