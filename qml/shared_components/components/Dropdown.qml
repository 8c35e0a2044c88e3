import QtQuick 2.15
import QtQuick.Templates 2.15 as T
import configurator.style.colour 1.0
import configurator.style.fonts 1.0

// A list of the radio's options, one of them chosen. The texts are the
// device's own option names, shown as they come. DropdownSecondary and
// DropdownMuted are the outlined and the read-only forms.
T.ComboBox {
    id: control

    // "primary", "secondary" (outlined) or "muted" (shows a value, no choice).
    property string variant: "primary"

    implicitWidth: 280
    implicitHeight: 40
    leftPadding: 12
    rightPadding: 36
    hoverEnabled: true
    enabled: variant !== "muted"
    font.family: Fonts.global
    font.pixelSize: 14

    delegate: T.ItemDelegate {
        width: control.width
        implicitHeight: 36
        leftPadding: 12
        rightPadding: 12
        hoverEnabled: true
        highlighted: control.highlightedIndex === index

        contentItem: Text {
            text: modelData
            font: control.font
            color: index === control.currentIndex ? Colours.yellow : Colours.white
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
        }

        background: Rectangle {
            color: parent.highlighted ? Colours.blue : Colours.dark
        }
    }

    contentItem: Text {
        text: control.displayText
        font: control.font
        color: control.enabled ? (control.variant === "secondary" ? Colours.yellow : Colours.white)
                               : Colours.lightGrey
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }

    // A chevron of two bars, drawn by the scene graph itself.
    indicator: Item {
        x: control.width - width - 14
        y: (control.height - height) / 2
        width: 12
        height: 8
        visible: control.enabled

        Rectangle {
            x: 0
            y: 3
            width: 8
            height: 2
            radius: 1
            rotation: 45
            color: Colours.yellow
        }
        Rectangle {
            x: 4
            y: 3
            width: 8
            height: 2
            radius: 1
            rotation: -45
            color: Colours.yellow
        }
    }

    background: Rectangle {
        radius: 4
        color: {
            if (control.variant === "muted" || !control.enabled)
                return Colours.darkAlternative
            if (control.variant === "secondary")
                return control.hovered || control.popup.visible ? Colours.blue : "transparent"
            return control.hovered || control.popup.visible ? Colours.checkboxInactive : Colours.dark
        }
        border.width: 1
        border.color: {
            if (control.visualFocus || control.popup.visible)
                return Colours.yellow
            if (control.variant === "secondary" && control.enabled)
                return Colours.yellow
            return Colours.checkboxInactive
        }
    }

    popup: T.Popup {
        y: control.height + 2
        width: control.width
        implicitHeight: Math.min(contentItem.implicitHeight + 2, 320)
        padding: 1

        contentItem: ListView {
            clip: true
            implicitHeight: contentHeight
            model: control.popup.visible ? control.delegateModel : null
            currentIndex: control.highlightedIndex
            boundsBehavior: Flickable.StopAtBounds
        }

        background: Rectangle {
            radius: 4
            color: Colours.dark
            border.width: 1
            border.color: Colours.yellow
        }
    }
}
