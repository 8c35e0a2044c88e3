import QtQuick 2.15
import QtQuick.Layouts 1.15
import QtQuick.Templates 2.15 as T
import configurator.style.colour 1.0
import configurator.style.fonts 1.0

// Asks the operator to confirm a step that cannot be taken back.
T.Popup {
    id: dialog

    property string titleKey
    property string bodyKey
    readonly property alias confirmButton: confirm
    readonly property alias cancelButton: cancel

    signal confirmed()
    signal cancelled()

    parent: T.Overlay.overlay
    anchors.centerIn: parent
    // A template popup has no size of its own: it is as tall as what it holds.
    implicitHeight: contentItem.implicitHeight + topPadding + bottomPadding
    width: 520
    padding: 32
    modal: true
    focus: true
    closePolicy: T.Popup.CloseOnEscape

    onClosed: if (!confirmedNow) cancelled()
    onOpened: confirmedNow = false
    property bool confirmedNow: false

    T.Overlay.modal: Rectangle {
        color: "#B3000000"
    }

    background: Rectangle {
        radius: 10
        color: Colours.dark
        border.width: 1
        border.color: Colours.yellow
    }

    contentItem: ColumnLayout {
        spacing: 20

        Title {
            Layout.fillWidth: true
            key: dialog.titleKey
            small: true
            font.pixelSize: 22
            wrapMode: Text.WordWrap
        }

        TextView {
            Layout.fillWidth: true
            key: dialog.bodyKey
            rich: false
            color: Colours.lightGrey
            font.pixelSize: 15
        }

        RowLayout {
            Layout.alignment: Qt.AlignRight
            Layout.topMargin: 8
            spacing: 12

            ButtonSecondary {
                id: cancel
                key: "static.cancel"
                onClicked: dialog.close()
            }
            Button {
                id: confirm
                key: "static.confirm"
                onClicked: {
                    dialog.confirmedNow = true
                    dialog.close()
                    dialog.confirmed()
                }
            }
        }
    }
}
