import QtQuick 2.15
import QtQuick.Layouts 1.15
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../shared_components/components"

// About the application: who makes it and the libraries it is built on,
// with their licences. Links open in the system browser.
Modal {
    id: support

    image: "/assets/images/Full-Logo.png"
    imageSize: 260
    imageHeight: 70

    Text {
        objectName: "aboutText"
        Layout.fillWidth: true
        textFormat: Text.RichText
        wrapMode: Text.WordWrap
        color: Colours.grey
        linkColor: Colours.white
        font.family: Fonts.global
        font.pixelSize: 13
        lineHeight: 1.2
        horizontalAlignment: Text.AlignHCenter
        onLinkActivated: Qt.openUrlExternally(link)
        // Rich text takes its link colour from a style sheet, not from linkColor.
        text: "<style>a { color: " + Colours.white + "; }</style>"
              + "<p style='font-size: 20px; color: " + Colours.white + "'><b>Veltra Configurator</b> "
              + configurator.isswVersion + "</p>"
              + "<p>Designed and built by Orvane &mdash; "
              + "<a href='https://www.orvane.com'>www.orvane.com</a></p>"
              + "<p>This application uses the Qt libraries, &copy; The Qt Company Ltd and "
              + "other contributors, under the GNU Lesser General Public License version 2.1. "
              + "Read the licence at <a href='https://www.gnu.org/licenses/old-licenses/lgpl-2.1.html'>"
              + "www.gnu.org/licenses/old-licenses/lgpl-2.1.html</a>.</p>"
              + "<p>The dongle is reached through the FTDI D2XX driver libraries, "
              + "&copy; Future Technology Devices International Ltd, used under FTDI's "
              + "driver licence terms.</p>"
    }
}
