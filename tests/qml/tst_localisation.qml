import QtQuick 2.15
import QtTest 1.15
import Qt.labs.settings 1.1
import "qrc:/localisation"

Item {
    id: root
    width: 640
    height: 640

    Component { id: managerComponent; LocalisationManager { } }
    Component { id: textComponent; LocalisedText { } }
    Component { id: dropdownComponent; LanguageDropdown { x: 20; y: 20 } }

    // Writes the stored value directly, as a settings file would hold it.
    Settings { id: rawStore }

    TestCase {
        name: "Localisation"
        when: windowShown

        function init() {
            // Managers left from the last test flush their settings when they
            // are finally deleted; that must happen before the store is wiped.
            wait(0)
            testSupport.clearSettings()
        }

        function makeManager() { return createTemporaryObject(managerComponent, root) }
        function makeText(key) { return createTemporaryObject(textComponent, root, { key: key }) }

        // A text's mark-up as tag names, closing ones plain whatever the spacing.
        function tagsOf(text) {
            var tags = []
            var re = /<(\/?)\s*([a-zA-Z]+)[^>]*>/g
            var m
            while ((m = re.exec(text)) !== null)
                tags.push(m[1] + m[2].toLowerCase())
            return tags
        }

        // What a new manager, a text and the selector read: English on a first
        // start and for a stored code this version does not know (an older or
        // hand-edited file); a choice is on disk at once, where a new process
        // would find it, and a code no table has changes nothing.
        function test_language_at_start_data() {
            return [
                { tag: "first start", code: "en", label: "English", text: "Save & Disconnect" },
                { tag: "stored unknown", stored: "fr", code: "en", label: "English", text: "Save & Disconnect" },
                { tag: "es, then an inherited name, then null", chosen: ["es", "toString", null], code: "es",
                  label: "Español", text: "Guardar y desconectar" }
            ]
        }

        function test_language_at_start(data) {
            if (data.stored)
                rawStore.setValue("language", data.stored)
            var chosen = data.chosen || []
            for (var i = 0; i < chosen.length; ++i) {
                var manager = makeManager()
                manager.setLanguage(chosen[i])
                compare(manager.getLanguage(), data.code, "after " + chosen[i])
            }
            if (chosen.length > 0)
                verify(testSupport.storedSettings().indexOf("language=" + data.code) >= 0, testSupport.storedSettings())
            compare(makeManager().getLanguage(), data.code)
            compare(makeText("device.save_disconnect").text, data.text)
            var dropdown = createTemporaryObject(dropdownComponent, root)
            compare(dropdown.currentValue, data.code)
            compare(dropdown.displayText, data.label)
        }

        // Each table has a text for every key, with the English mark-up. The
        // keys are taken from English and Spanish, so that one dropped from
        // English alone shows too; Chinese has one key of its own besides.
        function test_tables_match_english_data() {
            return [ { tag: "en", code: "en" }, { tag: "es", code: "es" }, { tag: "cn", code: "cn" } ]
        }

        function test_tables_match_english(data) {
            var tables = makeManager().tables
            var keys = Object.keys(tables.en).concat(Object.keys(tables.es))
            for (var i = 0; i < keys.length; ++i) {
                var key = keys[i]
                var text = tables[data.code][key]
                compare(typeof text, "string", key + " is missing")
                verify(text.trim().length > 0, key + " is empty")
                compare(tagsOf(text), tagsOf(tables.en[key]), key)
            }
        }
    }
}
