import QtQuick 2.15
import QtQuick.Layouts 1.15
import QtQuick.Templates 2.15 as T
import configurator.style.colour 1.0
import configurator.style.fonts 1.0

// A card over the dimmed view: a picture, a title, a body text and one
// button, all optional, and a close icon in the corner. Anything placed
// inside goes between the body and the button.
T.Popup {
    id: modal

    property url image
    property int imageSize: 96
    property int imageHeight: imageSize
    property string titleKey
    property string bodyKey
    property string buttonKey
    property bool buttonEnabled: true
    property bool closeEnabled: true
    // Whether what was placed inside is shown.
    property bool contentVisible: true
    default property alias content: extra.data
    readonly property alias button: button
    readonly property alias closeButton: closeButton

    // The button was pressed.
    signal buttonClicked()
    // The close icon was pressed.
    signal closeClicked()

    parent: T.Overlay.overlay
    anchors.centerIn: parent
    // A template popup has no size of its own: it is as tall as what it holds.
    implicitHeight: contentItem.implicitHeight + topPadding + bottomPadding
    width: 600
    padding: 40
    topPadding: 48
    modal: true
    focus: true
    // The views decide what a close means; a stray click or Escape must not
    // drop a device operation half way.
    closePolicy: T.Popup.NoAutoClose

    T.Overlay.modal: Rectangle {
        color: "#B3000000"
    }

    background: Rectangle {
        radius: 10
        color: Colours.dark
        border.width: 1
        border.color: Colours.checkboxInactive
    }

    contentItem: ColumnLayout {
        spacing: 20

        Image {
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: modal.imageSize
            Layout.preferredHeight: modal.imageHeight
            visible: String(modal.image).length > 0
            source: modal.image
            sourceSize.width: modal.imageSize
            sourceSize.height: modal.imageHeight
            fillMode: Image.PreserveAspectFit
        }

        Title {
            Layout.fillWidth: true
            key: modal.titleKey
            small: true
            font.pixelSize: 24
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.WordWrap
        }

        TextView {
            Layout.fillWidth: true
            visible: modal.bodyKey.length > 0
            key: modal.bodyKey
            color: Colours.lightGrey
            font.pixelSize: 15
            horizontalAlignment: Text.AlignHCenter
        }

        ColumnLayout {
            id: extra
            Layout.fillWidth: true
            visible: modal.contentVisible && children.length > 0
            spacing: 12
        }

        Button {
            id: button
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: 8
            Layout.minimumWidth: 220
            visible: modal.buttonKey.length > 0
            key: modal.buttonKey
            enabled: modal.buttonEnabled
            onClicked: modal.buttonClicked()
        }
    }

    // On the popup's own item, beside the content: a modal popup takes no
    // clicks on what its background holds.
    T.AbstractButton {
        id: closeButton
        parent: modal.contentItem.parent
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.margins: 12
        width: 36
        height: 36
        visible: modal.closeEnabled
        hoverEnabled: true
        onClicked: modal.closeClicked()

        background: Rectangle {
            radius: 18
            color: closeButton.down ? Colours.blueAlternative
                                    : closeButton.hovered ? Colours.checkboxInactive : "transparent"
        }
        contentItem: Image {
            source: "/assets/icons/close.png"
            sourceSize.width: 24
            sourceSize.height: 24
            fillMode: Image.Pad
        }
    }
}
