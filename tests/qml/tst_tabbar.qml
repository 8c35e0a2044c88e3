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

    TestCase {
        name: "TabBar"
        when: windowShown

        readonly property var tabNames: ["band24Tab", "band52Tab", "band58Tab"]

        function init() {
            configurator.reset()
            activated.clear()
        }

        function makeBar(bands) {
            var bar = createTemporaryObject(barComponent, root,
                                            { has24ghz: bands[0], has52ghz: bands[1], has58ghz: bands[2] })
            activated.target = bar
            waitForRendering(bar)
            return bar
        }

        function tab(bar, band) {
            return findChild(bar, tabNames[band])
        }

        // The bar starts on the first band it shows and has the Configurator
        // serve it; a tab picked becomes the band served, and an edit queues
        // the band shown.
        function test_tabs_data() {
            return [
                { tag: "5.8 GHz only", bands: [false, false, true], picks: [], active: TabBar.Band58,
                  calls: ["powerList 2"], edit: ["maskingChanged 2"] },
                { tag: "two tabs in turn", bands: [false, true, true], picks: [TabBar.Band58, TabBar.Band52],
                  active: TabBar.Band52, calls: ["powerList 1", "powerList 2", "powerList 1"], edit: ["maskingChanged 1"] },
                { tag: "the active tab again", bands: [true, true, true], picks: [TabBar.Band24], active: TabBar.Band24,
                  calls: ["powerList 0"], edit: ["maskingChanged 0"] },
                { tag: "a tab not shown", bands: [true, false, true], picks: [TabBar.Band52], active: TabBar.Band24,
                  calls: ["powerList 0"], edit: ["maskingChanged 0"] },
                // The settings and firmware views show no band, and leave the
                // band the Configurator serves alone.
                { tag: "no band", bands: [false, false, false], picks: [TabBar.Band58], active: TabBar.Band24,
                  calls: [], edit: [] }
            ]
        }

        function test_tabs(data) {
            var bar = makeBar(data.bands)
            for (var i = 0; i < data.picks.length; ++i) {
                if (tab(bar, data.picks[i]).visible)
                    mouseClick(tab(bar, data.picks[i]))
                else
                    bar.selectTab(data.picks[i])
            }
            for (var band = 0; band < 3; ++band) {
                compare(tab(bar, band).visible, data.bands[band], tabNames[band])
                compare(tab(bar, band).active, data.bands[band] && band === data.active, tabNames[band])
            }
            compare(bar.activeTab, data.active)
            compare(configurator.calls, data.calls)
            // The first call is the bar's own; each later one came from a
            // pick, and was announced.
            compare(activated.count, data.calls.slice(1).length)
            if (activated.count > 0)
                compare(activated.signalArguments[activated.count - 1][0], data.active)
            configurator.reset()
            bar.bandEdited()
            compare(configurator.calls, data.edit)
        }
    }
}
