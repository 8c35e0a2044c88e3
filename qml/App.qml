import QtQuick 2.15
import QtQuick.Window 2.15
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "localisation"

Window {
    id: window

    property int windowWidth: 1280
    property int windowHeight: 800
    // The view to come back to after a language change.
    property url entrySource: "views/Start.qml"

    visible: true
    width: windowWidth
    height: windowHeight
    minimumWidth: windowWidth
    minimumHeight: windowHeight
    color: "#212121"
    title: "Veltra™ Configurator 3.0"

    FontLoader { source: "../assets/fonts/Montserrat/Montserrat-Regular.ttf" }
    FontLoader { source: "../assets/fonts/Montserrat/Montserrat-Light.ttf" }
    FontLoader { source: "../assets/fonts/Montserrat/Montserrat-SemiBold.ttf" }

    // Runs callback once after interval milliseconds.
    function timeout(callback, interval) {
        var timer = Qt.createQmlObject("import QtQuick 2.15; Timer { }", window)
        timer.interval = interval
        timer.repeat = false
        timer.triggered.connect(function () {
            callback()
            timer.destroy()
        })
        timer.start()
    }

    // Shows an empty view and then the current one again, so that every text
    // is looked up anew in the language just chosen.
    function reload() {
        entrySource = mainLoader.source
        mainLoader.source = "views/Loading.qml"
        timeout(function () { mainLoader.source = entrySource }, 0)
    }

    // The view goes before the application's objects do, so that nothing on
    // screen is left reading from them while they are taken down.
    Connections {
        target: Qt.application
        function onAboutToQuit() { mainLoader.active = false }
    }

    LocalisationManager {
        id: manager
    }

    // A file the program keeps on its own (the device report of a store, the
    // log) that could not be written: what and why, over whatever view is
    // shown, until the operator clicks it away.
    Rectangle {
        id: fileProblem
        objectName: "fileProblem"
        property string why: ""
        visible: why.length > 0
        z: 1
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: problemText.implicitHeight + 24
        color: Colours.dark
        border.color: Colours.yellow

        LocalisedText {
            id: problemHeading
            key: "app.file_not_written"
            anchors.left: parent.left
            anchors.leftMargin: 16
            anchors.verticalCenter: parent.verticalCenter
            color: Colours.yellow
            font.pixelSize: 13
        }
        Text {
            id: problemText
            objectName: "fileProblemText"
            anchors.left: problemHeading.right
            anchors.leftMargin: 8
            anchors.right: parent.right
            anchors.rightMargin: 16
            anchors.verticalCenter: parent.verticalCenter
            text: fileProblem.why
            color: Colours.white
            font.family: Fonts.global
            font.pixelSize: 13
            wrapMode: Text.Wrap
        }
        MouseArea {
            anchors.fill: parent
            onClicked: fileProblem.why = ""
        }
    }

    Connections {
        target: configurator
        function onFileNotWritten(why) { fileProblem.why = why }
    }

    Loader {
        id: mainLoader
        objectName: "mainLoader"
        anchors.fill: parent
        asynchronous: true
        source: "views/Start.qml"
    }
}
