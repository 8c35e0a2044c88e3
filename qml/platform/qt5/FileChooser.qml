import QtQuick 2.15
import QtQuick.Dialogs 1.3

// The file dialog as Qt 5 spells it. The views see only what every Qt
// shares: title, nameFilters, defaultSuffix, rejected(), and the two below.
// It opens as soon as it is made.
FileDialog {
    // Asks for a file to write, which need not exist yet.
    property bool saving: false
    signal chosen(url file)

    selectExisting: !saving
    onAccepted: chosen(fileUrl)
    Component.onCompleted: open()
}
