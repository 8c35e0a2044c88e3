import QtQuick 2.15
import QtQuick.Templates 2.15 as T
import configurator.style.colour 1.0

// How far a long task has come, 0 to 100.
T.ProgressBar {
    id: control

    from: 0
    to: 100
    implicitWidth: 400
    implicitHeight: 10

    background: Rectangle {
        radius: 5
        color: Colours.checkboxInactive
    }

    contentItem: Item {
        Rectangle {
            width: control.visualPosition * parent.width
            height: parent.height
            radius: 5
            color: Colours.yellow
        }
    }
}
