import QtQuick 2.15
import configurator.style.colour 1.0

// The ground every view stands on: it fills the window with the scene's
// colour and keeps the view's content clear of the window's edges.
Rectangle {
    id: container

    default property alias content: body.data
    property int margin: 40
    // The bar above the content, when the view has one.
    property alias header: headerHolder.data
    readonly property alias body: body

    color: Colours.black

    // Replaces this view with the one at url. Views are shown by the window's
    // loader, which is their parent.
    function show(url) {
        if (parent && parent.source !== undefined)
            parent.source = url
    }

    Item {
        id: headerHolder
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        height: childrenRect.height
    }

    Item {
        id: body
        anchors.fill: parent
        anchors.margins: container.margin
        anchors.topMargin: headerHolder.height + container.margin
    }
}
