import QtQuick 2.15
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../../localisation"

// A block of running text shown by key. Help and body texts carry HTML mark-up
// (bold button names, paragraphs), so rich text is the default; links open in
// the system browser.
LocalisedText {
    property bool rich: true

    color: Colours.grey
    linkColor: Colours.white
    font.family: Fonts.global
    font.pixelSize: 14
    lineHeight: 1.15
    wrapMode: Text.WordWrap
    textFormat: rich ? Text.RichText : Text.PlainText

    onLinkActivated: Qt.openUrlExternally(link)

    // Some tables write a closing tag with a space ("</ p>"), which the text
    // engine does not read as a tag: bold would run on to the end.
    function localise(input) {
        var text = tables.localise(input)
        return rich ? text.replace(/<\/\s+/g, "</") : text
    }

    LocalisationManager {
        id: tables
    }
}
