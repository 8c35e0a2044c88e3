import QtQuick 2.15
import QtQuick.Layouts 1.15
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../../localisation"

// A framed group with a title, for information that belongs together and
// stands apart from the fields around it.
Rectangle {
    id: box

    property string key
    default property alias content: fields.data
    property int padding: 20

    color: Colours.darkAlternative
    radius: 6
    border.width: 1
    border.color: Colours.checkboxInactive
    implicitWidth: column.implicitWidth + 2 * padding
    implicitHeight: column.implicitHeight + 2 * padding

    ColumnLayout {
        id: column
        anchors.fill: parent
        anchors.margins: box.padding
        spacing: 16

        LocalisedText {
            Layout.fillWidth: true
            key: box.key
            visible: box.key.length > 0
            color: Colours.yellow
            font.family: Fonts.global
            font.styleName: Fonts.styleSemiBold
            font.pixelSize: 16
            elide: Text.ElideRight
        }

        ColumnLayout {
            id: fields
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 10
        }
    }
}
