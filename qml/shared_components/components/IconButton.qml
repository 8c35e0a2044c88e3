import QtQuick 2.15
import QtQuick.Templates 2.15 as T
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../../localisation"

// A large tile with a picture and a label: the ways on from a view.
T.AbstractButton {
    id: control

    property string key
    property url iconSource
    property int iconSize: 48

    text: label.text
    implicitWidth: 184
    implicitHeight: 136
    padding: 16
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus

    contentItem: Item {
        Image {
            id: picture
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.top: parent.top
            anchors.topMargin: 6
            width: control.iconSize
            height: control.iconSize
            source: control.iconSource
            sourceSize.width: control.iconSize
            sourceSize.height: control.iconSize
            fillMode: Image.PreserveAspectFit
            opacity: control.enabled ? 1 : 0.4
        }

        LocalisedText {
            id: label
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.top: picture.bottom
            anchors.bottom: parent.bottom
            anchors.topMargin: 10
            key: control.key
            color: control.enabled ? Colours.white : Colours.grey
            font.family: Fonts.global
            font.styleName: Fonts.styleSemiBold
            font.pixelSize: 15
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            wrapMode: Text.WordWrap
            maximumLineCount: 2
            elide: Text.ElideRight
        }
    }

    background: Rectangle {
        radius: 8
        color: control.down ? Colours.blueAlternative : control.hovered ? Colours.blue : Colours.dark
        border.width: control.hovered || control.visualFocus ? 1 : 0
        border.color: Colours.yellow
    }
}
