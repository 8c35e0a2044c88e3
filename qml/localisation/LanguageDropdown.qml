import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Controls 2.15
import configurator.style.colour 1.0
import configurator.style.fonts 1.0

// The language selector of the start and device views. Picking a language
// stores it and has the window reload the current view, so that every text
// is looked up again in the new language.
ComboBox {
    id: dropdown

    implicitWidth: 160
    implicitHeight: 40

    // Each language is offered under its own name, so an operator can find
    // theirs whatever language is showing.
    model: [
        { value: "en", label: "English" },
        { value: "es", label: "Español" },
        { value: "cn", label: "中文" }
    ]
    textRole: "label"
    valueRole: "value"

    font.family: Fonts.global
    font.pixelSize: 14

    Component.onCompleted: currentIndex = indexOfValue(manager.getLanguage())

    onActivated: function (index) {
        var code = valueAt(index)
        if (code === manager.getLanguage())
            return
        manager.setLanguage(code)
        reloadWindow()
    }

    // The window's reload() swaps its view out and back in. A selector shown
    // outside the application window (a test, the component gallery) has no
    // such function, and then the choice is only stored.
    function reloadWindow() {
        var window = dropdown.Window.window
        if (window && typeof window.reload === "function")
            window.reload()
    }

    LocalisationManager {
        id: manager
    }

    contentItem: Text {
        leftPadding: 12
        rightPadding: dropdown.indicator.width + 12
        text: dropdown.displayText
        font: dropdown.font
        color: Colours.white
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }

    // A chevron made of two bars: drawn by the scene graph itself, so it shows
    // with the software renderer too.
    indicator: Item {
        x: dropdown.width - width - 12
        y: (dropdown.height - height) / 2
        width: 12
        height: 8

        Rectangle {
            x: 0
            y: 3
            width: 8
            height: 2
            radius: 1
            rotation: 45
            color: Colours.yellow
        }
        Rectangle {
            x: 4
            y: 3
            width: 8
            height: 2
            radius: 1
            rotation: -45
            color: Colours.yellow
        }
    }

    background: Rectangle {
        radius: 4
        color: dropdown.hovered || dropdown.popup.visible ? Colours.darkAlternative : Colours.dark
        border.width: 1
        border.color: dropdown.visualFocus ? Colours.yellow : Colours.checkboxInactive
    }

    delegate: ItemDelegate {
        width: dropdown.width
        height: dropdown.height
        highlighted: dropdown.highlightedIndex === index

        contentItem: Text {
            leftPadding: 4
            text: modelData.label
            font: dropdown.font
            color: index === dropdown.currentIndex ? Colours.yellow : Colours.white
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
        }

        background: Rectangle {
            color: highlighted ? Colours.darkAlternative : Colours.dark
        }
    }

    popup: Popup {
        y: dropdown.height + 2
        width: dropdown.width
        implicitHeight: contentItem.implicitHeight
        padding: 0

        contentItem: ListView {
            clip: true
            implicitHeight: contentHeight
            model: dropdown.popup.visible ? dropdown.delegateModel : null
            currentIndex: dropdown.highlightedIndex
        }

        background: Rectangle {
            radius: 4
            color: Colours.dark
            border.width: 1
            border.color: Colours.checkboxInactive
        }
    }
}
