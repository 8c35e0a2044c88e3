import QtQuick 2.15
import QtQuick.Layouts 1.15
import QtQuick.Templates 2.15 as T
import configurator.style.colour 1.0
import configurator.style.fonts 1.0
import "../localisation"

// The bar across the top of the working views: the way back, the band tabs
// the view offers, the language and both devices' state. The band shown
// here is the band whose power list the Configurator serves.
Rectangle {
    id: tabBar

    enum FrequencyOption {
        Band24,
        Band52,
        Band58
    }

    // The primary button shows the back arrow instead of the home icon.
    property bool backButton: false
    property bool has24ghz: false
    property bool has52ghz: false
    property bool has58ghz: false
    property int activeTab: firstTab()
    readonly property alias primaryButton: primary

    signal primaryButtonClicked()
    signal activatedTab(int tab)

    function hasTab(tab) {
        return (tab === TabBar.Band24 && has24ghz) || (tab === TabBar.Band52 && has52ghz)
                || (tab === TabBar.Band58 && has58ghz)
    }

    function firstTab() {
        var order = [TabBar.Band24, TabBar.Band52, TabBar.Band58]
        for (var i = 0; i < order.length; ++i) {
            if (hasTab(order[i]))
                return order[i]
        }
        return TabBar.Band24
    }

    // The operator picked a band tab. The tab values are the Configurator's
    // band numbers (0 2.4, 1 5.2, 2 5.8 GHz).
    function selectTab(tab) {
        if (tab === activeTab || !hasTab(tab))
            return
        activeTab = tab
        configurator.powerList(tab)
        activatedTab(tab)
    }

    // The shown band's mask was edited: its deploy is queued.
    function bandEdited() {
        if (hasTab(activeTab))
            configurator.maskingChanged(activeTab)
    }

    implicitHeight: 72
    color: Colours.blueAlternative

    // The Configurator may still serve the band an earlier view showed.
    Component.onCompleted: {
        if (hasTab(activeTab))
            configurator.powerList(activeTab)
    }

    Rectangle {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: 1
        color: Colours.blue
    }

    RowLayout {
        anchors.fill: parent
        anchors.rightMargin: 24
        spacing: 0

        T.AbstractButton {
            id: primary
            objectName: "primaryButton"
            Layout.preferredWidth: 72
            Layout.fillHeight: true
            hoverEnabled: true
            focusPolicy: Qt.StrongFocus
            onClicked: tabBar.primaryButtonClicked()

            background: Rectangle {
                color: primary.down ? Colours.black : primary.hovered ? Colours.blue : Colours.dark
            }
            contentItem: Image {
                source: tabBar.backButton ? "/assets/icons/back-arrow.png" : "/assets/icons/home.png"
                sourceSize.width: 28
                sourceSize.height: 28
                fillMode: Image.Pad
            }
        }

        Repeater {
            model: [
                { tab: TabBar.Band24, key: "static.2_4_ghz", name: "band24Tab" },
                { tab: TabBar.Band52, key: "static.5_2_ghz", name: "band52Tab" },
                { tab: TabBar.Band58, key: "static.5_8_ghz", name: "band58Tab" }
            ]

            TabBarButton {
                objectName: modelData.name
                Layout.fillHeight: true
                visible: tabBar.hasTab(modelData.tab)
                key: modelData.key
                active: tabBar.hasTab(modelData.tab) && tabBar.activeTab === modelData.tab
                onClicked: tabBar.selectTab(modelData.tab)
            }
        }

        Item {
            Layout.fillWidth: true
        }

        LanguageDropdown {
            objectName: "languageDropdown"
            Layout.alignment: Qt.AlignVCenter
            Layout.rightMargin: 24
        }

        DeviceStatus {
            objectName: "dongleStatus"
            Layout.fillWidth: false
            Layout.preferredWidth: 200
            Layout.rightMargin: 16
            iconSource: "/assets/icons/dongle.png"
            key: "static.dongle"
            status: configurator.isDongleVersion
            connected: configurator.isDongleVersion !== "Disconnected"
            disconnectedKey: "static.disconnected"
        }

        DeviceStatus {
            objectName: "radioStatus"
            Layout.fillWidth: false
            Layout.preferredWidth: 240
            iconSource: "/assets/icons/monolith.png"
            key: "static.veltra"
            status: configurator.isStatusVELTRA
            connected: configurator.isStatusVELTRA !== "Veltra: Disconnected"
        }
    }
}
