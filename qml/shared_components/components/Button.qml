import QtQuick 2.15
import QtQuick.Templates 2.15 as T
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../../localisation"

// The main action of a place: yellow, the strongest mark on the dark scene.
// ButtonSecondary and ButtonMuted are the quieter forms of the same button.
T.Button {
    id: control

    // The key of the label.
    property string key
    // "primary", "secondary" (outlined) or "muted" (no colour).
    property string variant: "primary"

    readonly property color fillColour: {
        if (!enabled)
            return variant === "secondary" ? "transparent" : Colours.checkboxInactive
        if (variant === "secondary")
            return down ? Colours.blueAlternative : hovered ? Colours.blue : "transparent"
        if (variant === "muted")
            return down ? Colours.darkAlternative : hovered ? Colours.checkboxInactive : Colours.dark
        return down ? Colours.yellowAlternative : hovered ? "#FFD04A" : Colours.yellow
    }
    readonly property color labelColour: {
        // A primary button that is off still reads: in the modals it says
        // what is happening.
        if (!enabled)
            return variant === "secondary" ? Colours.grey : Colours.lightGrey
        if (variant === "secondary")
            return Colours.yellow
        if (variant === "muted")
            return Colours.white
        return Colours.black
    }

    text: label.text
    implicitWidth: Math.max(120, label.implicitWidth + leftPadding + rightPadding)
    implicitHeight: 40
    leftPadding: 20
    rightPadding: 20
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus

    contentItem: LocalisedText {
        id: label
        key: control.key
        color: control.labelColour
        font.family: Fonts.global
        font.styleName: Fonts.styleSemiBold
        font.pixelSize: 14
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }

    background: Rectangle {
        radius: 4
        color: control.fillColour
        border.width: control.variant === "secondary" || control.visualFocus ? 1 : 0
        border.color: control.visualFocus ? Colours.white
                                          : control.enabled ? Colours.yellow : Colours.checkboxInactive
    }
}
