import QtQuick 2.15
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../../localisation"

// A heading shown by key: the view's name or a group's name.
LocalisedText {
    // Smaller headings name a part of a view rather than the view itself.
    property bool small: false

    color: Colours.white
    font.family: Fonts.global
    font.styleName: Fonts.styleSemiBold
    font.pixelSize: small ? 18 : 30
    elide: Text.ElideRight
}
