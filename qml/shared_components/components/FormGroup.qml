import QtQuick 2.15
import QtQuick.Layouts 1.15
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../../localisation"

// A field, or a few, under a small title that names the setting.
ColumnLayout {
    id: group

    property string key
    default property alias content: fields.data

    spacing: 8
    // A group is as tall as its fields; the free room goes elsewhere.
    Layout.fillHeight: false

    LocalisedText {
        Layout.fillWidth: true
        key: group.key
        visible: group.key.length > 0
        color: Colours.grey
        font.family: Fonts.global
        font.styleName: Fonts.styleSemiBold
        font.pixelSize: 13
        elide: Text.ElideRight
    }

    ColumnLayout {
        id: fields
        Layout.fillWidth: true
        spacing: 8
    }
}
