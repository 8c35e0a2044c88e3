import QtQuick 2.15
import QtQuick.Templates 2.15 as T
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../../localisation"

// An on/off setting with its name beside it.
T.Switch {
    id: control

    property string key

    text: label.text
    implicitWidth: label.implicitWidth + leftPadding + rightPadding
    implicitHeight: 32
    padding: 0
    spacing: 12
    hoverEnabled: true

    indicator: Rectangle {
        x: control.leftPadding
        y: (control.height - height) / 2
        width: 44
        height: 24
        radius: 12
        color: !control.enabled ? Colours.darkAlternative
                                : control.checked ? Colours.yellow : Colours.checkboxInactive
        border.width: control.visualFocus || control.hovered ? 1 : 0
        border.color: Colours.white

        Rectangle {
            x: control.checked ? parent.width - width - 3 : 3
            y: 3
            width: 18
            height: 18
            radius: 9
            color: control.enabled ? (control.checked ? Colours.black : Colours.white) : Colours.grey
            Behavior on x { NumberAnimation { duration: 120 } }
        }
    }

    contentItem: LocalisedText {
        id: label
        leftPadding: control.indicator.width + control.spacing
        key: control.key
        color: control.enabled ? Colours.white : Colours.grey
        font.family: Fonts.global
        font.pixelSize: 14
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
}
