pragma Singleton
import QtQuick 2.15

QtObject {
    readonly property string global: "Montserrat"
    readonly property string styleLight: "Light"
    readonly property string styleSemiBold: "SemiBold"
}
