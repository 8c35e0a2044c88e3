import QtQuick 2.15
import configurator.style.colour 1.0
import configurator.style.fonts 1.0

// A text shown by key in the operator's language. The text is looked up when
// the element is made; a language change reloads the view, which makes every
// text element anew.
Text {
    id: localisedText

    // The key of the text to show, e.g. "start.configuration".
    property string key

    color: Colours.white
    font.family: Fonts.global
    font.pixelSize: 16

    function localise(input) {
        return manager.localise(input)
    }

    // Shows another key's text, for a title that changes with what is shown.
    function setTitle(input) {
        key = input
    }

    // Looked up once the element is complete, and again only when the key
    // changes: the language is not watched, a reload makes texts anew.
    Component.onCompleted: text = Qt.binding(function () { return localise(key) })

    LocalisationManager {
        id: manager
    }
}
