import QtQuick 2.15
import QtQuick.Templates 2.15 as T
import configurator.style.colour 1.0
import configurator.style.fonts 1.0

// A field that shows a value the operator can read and select but not
// change. Long values wrap onto further lines.
T.TextArea {
    id: control

    readOnly: true
    selectByMouse: true
    implicitWidth: 280
    implicitHeight: Math.max(40, contentHeight + topPadding + bottomPadding)
    leftPadding: 12
    rightPadding: 12
    topPadding: 11
    bottomPadding: 11
    wrapMode: TextEdit.Wrap
    color: Colours.lightGrey
    selectionColor: Colours.yellowAlternative
    selectedTextColor: Colours.black
    font.family: Fonts.global
    font.pixelSize: 14

    background: Rectangle {
        radius: 4
        color: Colours.darkAlternative
        border.width: 1
        border.color: Colours.checkboxInactive
    }
}
