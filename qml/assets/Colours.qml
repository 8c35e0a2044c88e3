pragma Singleton
import QtQuick 2.15

QtObject {
    readonly property color black: "#212121"
    readonly property color blue: "#243544"
    readonly property color yellow: "#FEC10E"
    readonly property color lightGrey: "#ECF0F1"
    readonly property color white: "#FAFAFA"
    readonly property color red: "#E74C3C"
    readonly property color dark: "#323232"
    readonly property color grey: "#828282"
    readonly property color yellowAlternative: "#C5960B"
    readonly property color blueAlternative: "#1A242E"
    readonly property color darkAlternative: "#2A2A2A"
    readonly property color checkboxInactive: "#393939"
}
