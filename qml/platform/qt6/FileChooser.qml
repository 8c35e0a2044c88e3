import QtQuick
import QtQuick.Dialogs

// The file dialog as Qt 6 spells it. The views see only what every Qt
// shares: title, nameFilters, defaultSuffix, rejected(), and the two below.
// It opens as soon as it is made.
FileDialog {
    // Asks for a file to write, which need not exist yet.
    property bool saving: false
    signal chosen(url file)

    fileMode: saving ? FileDialog.SaveFile : FileDialog.OpenFile
    onAccepted: chosen(selectedFile)
    Component.onCompleted: open()
}
