import QtQuick 2.15
import QtQuick.Templates 2.15 as T
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../../localisation"

// A one-line text field. The hint shown while it is empty is given by key.
T.TextField {
    id: control

    property string placeholderKey

    implicitWidth: 280
    implicitHeight: 40
    leftPadding: 12
    rightPadding: 12
    verticalAlignment: TextInput.AlignVCenter
    color: Colours.white
    selectionColor: Colours.yellowAlternative
    selectedTextColor: Colours.black
    selectByMouse: true
    font.family: Fonts.global
    font.pixelSize: 14
    placeholderText: placeholderKey.length > 0 ? manager.localise(placeholderKey) : ""

    LocalisationManager {
        id: manager
    }

    background: Rectangle {
        radius: 4
        color: Colours.dark
        border.width: 1
        border.color: control.activeFocus ? Colours.yellow : Colours.checkboxInactive

        Text {
            anchors.fill: parent
            anchors.leftMargin: control.leftPadding
            anchors.rightMargin: control.rightPadding
            visible: control.length === 0 && control.preeditText.length === 0
            text: control.placeholderText
            color: Colours.grey
            font: control.font
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
        }
    }
}
