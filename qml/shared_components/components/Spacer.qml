import QtQuick 2.15
import QtQuick.Layouts 1.15

// Takes up the free room of a row or column so that what follows it is
// pushed to the far end.
Item {
    Layout.fillWidth: true
    Layout.fillHeight: true
}
