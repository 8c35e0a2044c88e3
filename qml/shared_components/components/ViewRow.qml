import QtQuick 2.15
import QtQuick.Layouts 1.15

// One row of a view's grid: its groups side by side, full width.
RowLayout {
    Layout.fillWidth: true
    spacing: 32
}
