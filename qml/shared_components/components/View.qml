import QtQuick 2.15
import QtQuick.Layouts 1.15

// The content of a view: its rows, top to bottom, filling the room the
// container leaves.
ColumnLayout {
    anchors.fill: parent
    spacing: 24
}
