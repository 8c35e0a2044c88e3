import QtQuick 2.15
import QtQuick.Window 2.15

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

    Loader {
        id: mainLoader
        objectName: "mainLoader"
        anchors.fill: parent
        asynchronous: true
        source: "views/Start.qml"
    }
}
