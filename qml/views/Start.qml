import QtQuick 2.15
import configurator.style.colour 1.0
import configurator.style.fonts 1.0

Item {
    id: start

    Column {
        anchors.centerIn: parent
        spacing: 32

        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            source: "qrc:/assets/icons/icon.ico"
            sourceSize.width: 160
            sourceSize.height: 160
        }

        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Veltra™ Configurator"
            color: Colours.white
            font.family: Fonts.global
            font.styleName: Fonts.styleSemiBold
            font.pixelSize: 40
        }
    }
}
