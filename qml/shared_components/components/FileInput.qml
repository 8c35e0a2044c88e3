import QtQuick 2.15
import QtQuick.Layouts 1.15
import "../../platform"

// A path field with a button beside it. By default the button opens a file
// dialog whose choice fills the field; a view that wants the button for
// something else turns the dialog off and handles buttonClicked itself.
RowLayout {
    id: fileInput

    property alias path: field.text
    property alias placeholderKey: field.placeholderKey
    property alias buttonKey: button.key
    property alias readOnly: field.readOnly
    // Shown in the dialog's filter list, e.g. "(*.vfp)".
    property string nameFilter
    property bool dialogEnabled: true
    readonly property alias field: field
    readonly property alias button: button

    signal buttonClicked()

    spacing: 12

    // "file:///C:/x" or "file:///home/x" as the plain path the operator knows.
    function localPath(url) {
        var text = decodeURIComponent(String(url).replace(/^file:\/\//, ""))
        return /^\/[A-Za-z]:/.test(text) ? text.substring(1) : text
    }

    Input {
        id: field
        Layout.fillWidth: true
        Layout.minimumWidth: 160
    }

    ButtonSecondary {
        id: button
        onClicked: {
            fileInput.buttonClicked()
            if (fileInput.dialogEnabled)
                dialogLoader.active = true
        }
    }

    // Made only when asked for: a file dialog is a window of its own.
    Loader {
        id: dialogLoader
        objectName: "dialogLoader"
        visible: false
        active: false
        sourceComponent: FileChooser {
            title: "Select a file or location to open..."
            nameFilters: fileInput.nameFilter.length > 0 ? [fileInput.nameFilter] : []
            onChosen: function (file) {
                field.text = fileInput.localPath(file)
                dialogLoader.active = false
            }
            onRejected: dialogLoader.active = false
        }
    }
}
