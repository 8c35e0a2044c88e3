import QtQuick 2.15
import QtTest 1.15

// Every picture the views name must be in the resources at that name, at a
// size that suits its place, and drawn in a colour that shows on the dark
// scene without any effect applied.
Item {
    id: root
    width: 640
    height: 480

    Component {
        id: imageComponent
        Image { }
    }

    TestCase {
        name: "Assets"
        when: windowShown

        // Relative luminance, good enough to judge contrast on one background.
        function luminance(colour) {
            return 0.2126 * colour.r + 0.7152 * colour.g + 0.0722 * colour.b
        }

        function test_resource_data() {
            return [
                { tag: "monolith", name: "icons/monolith.png", size: 48 },
                { tag: "firmware", name: "icons/firmware.png", size: 48 },
                { tag: "help", name: "icons/help.png", size: 48 },
                { tag: "dongle", name: "icons/dongle.png", size: 48 },
                { tag: "wireless", name: "icons/wireless.png", size: 48 },
                { tag: "settings", name: "icons/settings.png", size: 48 },
                { tag: "home", name: "icons/home.png", size: 48 },
                { tag: "back-arrow", name: "icons/back-arrow.png", size: 48 },
                { tag: "close", name: "icons/close.png", size: 48 },
                { tag: "power", name: "icons/power.png", size: 96 },
                { tag: "device-connection", name: "icons/device-connection.png", size: 96 },
                // Qt reads "@2x" as double density: 192 pixels shown at 96.
                { tag: "firmware@2x", name: "icons/firmware@2x.png", size: 96 },
                { tag: "monolith@2x", name: "icons/monolith@2x.png", size: 96 },
                { tag: "update-complete@2x", name: "icons/update-complete@2x.png", size: 96 },
                { tag: "update-fail@2x", name: "icons/update-fail@2x.png", size: 96 }
            ]
        }

        function test_resource(data) {
            var image = createTemporaryObject(imageComponent, root,
                                              { source: "qrc:/assets/" + data.name })
            tryCompare(image, "status", Image.Ready)
            compare(image.implicitWidth, data.size)
            compare(image.implicitHeight, data.size)
            var ink = testSupport.inkColour(":/assets/" + data.name)
            // The scene's background is #212121 (luminance about 0.13); a black, untinted icon, or none, is 0.
            verify(luminance(ink) > 0.3, data.name + " is too dark: " + ink)
        }

        function test_picture_data() {
            return [
                { tag: "product", name: "images/Configurator.png", minWidth: 500, maxWidth: 800 },
                { tag: "logo", name: "images/Full-Logo.png", minWidth: 300, maxWidth: 800 }
            ]
        }

        function test_picture(data) {
            var image = createTemporaryObject(imageComponent, root,
                                              { source: "qrc:/assets/" + data.name })
            tryCompare(image, "status", Image.Ready)
            verify(image.implicitWidth >= data.minWidth && image.implicitWidth <= data.maxWidth,
                   "width " + image.implicitWidth)
            verify(image.implicitHeight > 0 && image.implicitHeight < image.implicitWidth)
            verify(testSupport.inkColour(":/assets/" + data.name).valid, "nothing drawn")
        }
    }
}
