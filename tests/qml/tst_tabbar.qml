import QtQuick 2.15
import QtTest 1.15
import "qrc:/components"

// The tab bar shows the band tabs its view asks for, starts on the first one
// shown, and tells the Configurator which band is shown and which was edited.
Item {
    id: root
    width: 1280
    height: 160

    Component {
        id: barComponent
        TabBar { width: root.width }
    }

    SignalSpy {
        id: activated
        signalName: "activatedTab"
    }

    SignalSpy {
        id: primary
        signalName: "primaryButtonClicked"
    }

    TestCase {
        name: "TabBar"
        when: windowShown

        readonly property var tabNames: ["band24Tab", "band52Tab", "band58Tab"]

        function init() {
            configurator.reset()
            activated.clear()
            primary.clear()
        }

        function makeBar(bands) {
            var bar = createTemporaryObject(barComponent, root,
                                            { has24ghz: bands[0], has52ghz: bands[1], has58ghz: bands[2] })
            activated.target = bar
            primary.target = bar
            waitForRendering(bar)
            return bar
        }

        function tab(bar, band) {
            return findChild(bar, tabNames[band])
        }

        function test_first_shown_tab_is_active_data() {
            return [
                { tag: "every band", bands: [true, true, true], active: TabBar.Band24, calls: ["powerList 0"] },
                { tag: "5 GHz radio", bands: [false, true, true], active: TabBar.Band52, calls: ["powerList 1"] },
                { tag: "5.8 GHz only", bands: [false, false, true], active: TabBar.Band58, calls: ["powerList 2"] },
                { tag: "2.4 and 5.8 GHz", bands: [true, false, true], active: TabBar.Band24, calls: ["powerList 0"] },
                // The settings and firmware views show no band, and leave the
                // band the Configurator serves alone.
                { tag: "no band", bands: [false, false, false], active: TabBar.Band24, calls: [] }
            ]
        }

        function test_first_shown_tab_is_active(data) {
            var bar = makeBar(data.bands)
            for (var band = 0; band < 3; ++band)
                compare(tab(bar, band).visible, data.bands[band], tabNames[band])
            compare(bar.activeTab, data.active)
            for (band = 0; band < 3; ++band)
                compare(tab(bar, band).active, data.bands[band] && band === data.active, tabNames[band])
            compare(configurator.calls, data.calls)
            compare(activated.count, 0)
        }

        function test_choosing_a_tab_data() {
            return [
                { tag: "5.2 GHz", bands: [true, true, true], pick: TabBar.Band52, active: TabBar.Band52,
                  calls: ["powerList 1"] },
                { tag: "5.8 GHz", bands: [true, true, true], pick: TabBar.Band58, active: TabBar.Band58,
                  calls: ["powerList 2"] },
                { tag: "5.8 then 5.2 GHz", bands: [false, true, true], pick: TabBar.Band58, then: TabBar.Band52,
                  active: TabBar.Band52, calls: ["powerList 2", "powerList 1"] },
                { tag: "the active tab again", bands: [true, true, true], pick: TabBar.Band24,
                  active: TabBar.Band24, calls: [] },
                { tag: "a tab not shown", bands: [true, false, true], pick: TabBar.Band52,
                  active: TabBar.Band24, calls: [] }
            ]
        }

        function test_choosing_a_tab(data) {
            var bar = makeBar(data.bands)
            configurator.reset()
            var picks = data.then === undefined ? [data.pick] : [data.pick, data.then]
            for (var i = 0; i < picks.length; ++i) {
                if (tab(bar, picks[i]).visible)
                    mouseClick(tab(bar, picks[i]))
                else
                    bar.selectTab(picks[i])
            }
            compare(bar.activeTab, data.active)
            compare(configurator.calls, data.calls)
            compare(activated.count, data.calls.length)
            if (activated.count > 0)
                compare(activated.signalArguments[activated.count - 1][0], data.active)
        }

        function test_edit_queues_the_band_shown_data() {
            return [
                { tag: "2.4 GHz", bands: [true, true, true], pick: TabBar.Band24, calls: ["maskingChanged 0"] },
                { tag: "5.2 GHz", bands: [true, true, true], pick: TabBar.Band52, calls: ["maskingChanged 1"] },
                { tag: "5.8 GHz", bands: [true, true, true], pick: TabBar.Band58, calls: ["maskingChanged 2"] },
                { tag: "no band", bands: [false, false, false], pick: TabBar.Band24, calls: [] }
            ]
        }

        function test_edit_queues_the_band_shown(data) {
            var bar = makeBar(data.bands)
            bar.selectTab(data.pick)
            configurator.reset()
            bar.bandEdited()
            compare(configurator.calls, data.calls)
        }

        function test_primary_button_data() {
            return [
                { tag: "home", back: false, icon: "home.png" },
                { tag: "back", back: true, icon: "back-arrow.png" }
            ]
        }

        function test_primary_button(data) {
            var bar = makeBar([false, false, false])
            bar.backButton = data.back
            verify(String(bar.primaryButton.contentItem.source).endsWith("/assets/icons/" + data.icon))
            mouseClick(bar.primaryButton)
            compare(primary.count, 1)
            compare(activated.count, 0)
        }
    }
}
