import QtQuick 2.15
import QtQuick.Window 2.15
import QtTest 1.15
import Qt.labs.settings 1.1
import "qrc:/localisation"

Item {
    id: root
    width: 640
    height: 640

    Component {
        id: managerComponent
        LocalisationManager { }
    }

    Component {
        id: textComponent
        LocalisedText { }
    }

    // Stands in for the application window: it counts the reloads a language
    // change asks for.
    Component {
        id: windowComponent
        Window {
            property int reloads: 0
            property alias dropdown: windowDropdown
            function reload() { reloads += 1 }
            width: 320
            height: 240
            visible: true
            LanguageDropdown { id: windowDropdown; x: 20; y: 20 }
        }
    }

    // A window without reload(), as a test or the component gallery has.
    Component {
        id: plainDropdownComponent
        LanguageDropdown { x: 20; y: 20 }
    }

    // A language selector with some texts of every kind, as the views show them.
    Component {
        id: panelComponent
        Rectangle {
            property alias dropdown: panelDropdown
            property alias texts: textColumn.children
            width: 560
            height: 560
            color: "#212121"
            Column {
                x: 20
                y: 20
                width: parent.width - 40
                spacing: 14
                LanguageDropdown { id: panelDropdown }
                Column {
                    id: textColumn
                    width: parent.width
                    spacing: 14
                    LocalisedText { key: "static.veltra_configurator"; font.pixelSize: 28 }
                    LocalisedText { key: "device.save_disconnect" }
                    LocalisedText { key: "masking.2_4_channel_masking"; font.pixelSize: 20 }
                    LocalisedText { key: "masking.help_info"; width: parent.width; wrapMode: Text.WordWrap }
                    LocalisedText { key: "firmware.update_veltra_help"; width: parent.width; wrapMode: Text.WordWrap }
                    LocalisedText { key: "updater.step_1.body"; width: parent.width; wrapMode: Text.WordWrap }
                    LocalisedText { key: "updater.cancel.body"; color: "#FEC10E" }
                }
            }
        }
    }

    // Writes the stored value directly, as an older or hand-edited settings
    // file would hold it.
    Settings {
        id: rawStore
    }

    TestCase {
        id: testCase
        name: "Localisation"
        when: windowShown

        readonly property var codes: ["en", "es", "cn"]

        function init() {
            // Managers left from the last test flush their settings when they
            // are finally deleted; that must happen before the store is wiped.
            wait(0)
            testSupport.clearSettings()
        }

        function makeManager() {
            return createTemporaryObject(managerComponent, root)
        }

        function makeText(key) {
            return createTemporaryObject(textComponent, root, { key: key })
        }

        function storeLanguage(code) {
            var manager = managerComponent.createObject(root)
            manager.setLanguage(code)
            manager.destroy()
            wait(0)
        }

        function sortedKeys(table) {
            return Object.keys(table).sort()
        }

        // The mark-up of a text as a list of tag names, the closing ones
        // written the plain way whatever spacing the table uses.
        function tagsOf(text) {
            var tags = []
            var re = /<(\/?)\s*([a-zA-Z]+)[^>]*>/g
            var m
            while ((m = re.exec(text)) !== null)
                tags.push(m[1] + m[2].toLowerCase())
            return tags
        }

        // Opens the selector's list and clicks the entry for code, as the
        // operator does.
        function pick(dropdown, code) {
            mouseClick(dropdown)
            tryVerify(function () { return dropdown.popup.opened })
            var list = dropdown.popup.contentItem
            var entry = null
            tryVerify(function () {
                entry = list.itemAtIndex(dropdown.indexOfValue(code))
                return entry !== null
            }, 2000, "no entry for " + code)
            mouseClick(entry)
            tryVerify(function () { return !dropdown.popup.visible })
        }

        function test_first_start_is_english() {
            compare(makeManager().getLanguage(), "en")
            var english = makeManager().tables.en
            var keys = Object.keys(english)
            for (var i = 0; i < keys.length; ++i)
                compare(makeText(keys[i]).text, english[keys[i]], keys[i])
        }

        function test_first_start_selector_shows_english() {
            var dropdown = createTemporaryObject(plainDropdownComponent, root)
            compare(dropdown.currentValue, "en")
            compare(dropdown.displayText, "English")
        }

        function test_choice_survives_restart_data() {
            return [
                { tag: "es", code: "es", key: "static.veltra_configurator", text: "Configurador Veltra " },
                { tag: "cn", code: "cn", key: "static.veltra", text: "Veltra设备" },
                { tag: "en", code: "en", key: "static.disconnected", text: "Disconnected" }
            ]
        }

        function test_choice_survives_restart(data) {
            storeLanguage(data.code)
            // What a new process would find on disk.
            verify(testSupport.storedSettings().indexOf("language=" + data.code) >= 0,
                   testSupport.storedSettings())
            compare(makeManager().getLanguage(), data.code)
            compare(makeText(data.key).text, data.text)
        }

        function test_unknown_code_changes_nothing_data() {
            return [
                { tag: "other language", code: "fr" },
                { tag: "empty", code: "" },
                { tag: "upper case", code: "ES" },
                { tag: "padded", code: " cn" },
                { tag: "name instead of code", code: "English" },
                { tag: "number", code: 1 },
                { tag: "null", code: null },
                { tag: "undefined", code: undefined }
            ]
        }

        function test_unknown_code_changes_nothing(data) {
            storeLanguage("es")
            var manager = makeManager()
            manager.setLanguage(data.code)
            compare(manager.getLanguage(), "es")
            manager.destroy()
            wait(0)
            compare(makeManager().getLanguage(), "es")
            verify(testSupport.storedSettings().indexOf("language=es") >= 0)
            compare(makeText("device.save_disconnect").text, "Guardar y desconectar")
        }

        function test_stored_unknown_code_reads_as_english() {
            rawStore.setValue("language", "fr")
            compare(makeManager().getLanguage(), "en")
            compare(makeText("static.cancel").text, "Cancel")
            compare(createTemporaryObject(plainDropdownComponent, root).currentValue, "en")
        }

        function test_tables_hold_the_same_keys() {
            var tables = makeManager().tables
            compare(Object.keys(tables).sort(), codes.slice().sort())
            var english = sortedKeys(tables.en)
            compare(english.length, 98)
            compare(sortedKeys(tables.es), english)
            var chinese = sortedKeys(tables.cn)
            var extra = chinese.filter(function (key) { return english.indexOf(key) < 0 })
            compare(extra, ["updater.step_6.button"])
            compare(chinese.length, english.length + 1)
        }

        function test_every_text_is_a_string_data() {
            return codes.map(function (code) { return { tag: code, code: code } })
        }

        function test_every_text_is_a_string(data) {
            var table = makeManager().tables[data.code]
            for (var key in table) {
                compare(typeof table[key], "string", key)
                verify(table[key].trim().length > 0, key + " is empty")
                // Each key is a group and a name; updater keys have a step too.
                var parts = key.split(".")
                verify(parts.length === 2 || (parts[0] === "updater" && parts.length === 3), key)
            }
        }

        function test_translations_keep_the_markup_data() {
            return [ { tag: "es", code: "es" }, { tag: "cn", code: "cn" } ]
        }

        function test_translations_keep_the_markup(data) {
            var tables = makeManager().tables
            for (var key in tables.en)
                compare(tagsOf(tables[data.code][key]), tagsOf(tables.en[key]), key)
        }

        function test_closing_tag_spelling_data() {
            return [
                { tag: "en", code: "en", spaced: false },
                { tag: "es", code: "es", spaced: false },
                { tag: "cn", code: "cn", spaced: true }
            ]
        }

        function test_closing_tag_spelling(data) {
            var table = makeManager().tables[data.code]
            var closings = 0
            for (var key in table) {
                var text = table[key]
                closings += (text.match(/<\//g) || []).length
                if (data.spaced)
                    verify(!/<\/[^ ]/.test(text), key + ": " + text)
                else
                    verify(text.indexOf("</ ") < 0, key + ": " + text)
            }
            verify(closings > 0)
        }

        function test_telling_rows_data() {
            return [
                { tag: "es title", code: "es", key: "static.veltra_configurator", text: "Configurador Veltra " },
                { tag: "es veltra", code: "es", key: "static.veltra", text: "Veltra" },
                { tag: "es disconnected", code: "es", key: "static.disconnected", text: "Desconectado" },
                { tag: "es save", code: "es", key: "device.save_disconnect", text: "Guardar y desconectar" },
                { tag: "es eu", code: "es", key: "masking.eu_settings", text: "Configuración UE" },
                { tag: "es cancel body", code: "es", key: "updater.cancel.body", text: "¿Estás seguro de que deseas cancelar la actualización?" },
                { tag: "cn title", code: "cn", key: "static.veltra_configurator", text: "Veltra Configurator" },
                { tag: "cn veltra", code: "cn", key: "static.veltra", text: "Veltra设备" },
                { tag: "cn disconnected", code: "cn", key: "static.disconnected", text: "断开连接" },
                { tag: "cn save", code: "cn", key: "device.save_disconnect", text: "保存和断开连接" },
                { tag: "cn eu", code: "cn", key: "masking.eu_settings", text: "EU设置" },
                { tag: "cn cancel body", code: "cn", key: "updater.cancel.body", text: "您确定要取消更新？" },
                { tag: "cn last button", code: "cn", key: "updater.step_6.button", text: "完成" },
                { tag: "en typo kept", code: "en", key: "updater.step_3.body", text: "<p>The update is ready to begin.</p> <p>Press <strong>Confirm Update</strong> to load the new firemare to the Veltra unit... </p>" }
            ]
        }

        function test_telling_rows(data) {
            storeLanguage(data.code)
            compare(makeText(data.key).text, data.text)
        }

        function test_chinese_help_keeps_one_english_button_name() {
            var tables = makeManager().tables
            verify(tables.cn["firmware.update_veltra_help"].indexOf("<b>Update Add On</ b>") >= 0)
            verify(tables.cn["firmware.update_add_on"] !== tables.en["firmware.update_add_on"])
        }

        function test_missing_key_falls_back_to_english_data() {
            return [ { tag: "es", code: "es" }, { tag: "cn", code: "cn" } ]
        }

        function test_missing_key_falls_back_to_english(data) {
            storeLanguage(data.code)
            var table = makeManager().tables[data.code]
            var saved = table["device.masking"]
            delete table["device.masking"]
            try {
                compare(makeText("device.masking").text, "Masking")
                // Keys the table still has stay translated.
                compare(makeText("device.settings").text, table["device.settings"])
            } finally {
                table["device.masking"] = saved
            }
        }

        function test_key_no_table_knows_shows_the_key() {
            storeLanguage("es")
            ignoreWarning("No text for key updater.step_6.button")
            compare(makeText("updater.step_6.button").text, "updater.step_6.button")
            compare(makeText("").text, "")
        }

        function test_set_title_switches_the_text() {
            storeLanguage("es")
            var title = makeText("masking.2_4_channel_masking")
            compare(title.text, "Enmascaramiento de canales de 2,4 GHz")
            title.setTitle("masking.5_8_channel_masking")
            compare(title.key, "masking.5_8_channel_masking")
            compare(title.text, "Enmascaramiento de canales de 5,8 GHz")
        }

        function test_text_is_looked_up_when_made() {
            var before = makeText("static.confirm")
            storeLanguage("cn")
            // Texts already shown keep their language until the view reloads.
            compare(before.text, "Confirm")
            compare(makeText("static.confirm").text, "确认")
        }

        function test_selector_shows_stored_language_data() {
            return [
                { tag: "en", code: "en", label: "English" },
                { tag: "es", code: "es", label: "Español" },
                { tag: "cn", code: "cn", label: "中文" }
            ]
        }

        function test_selector_shows_stored_language(data) {
            storeLanguage(data.code)
            var panel = createTemporaryObject(panelComponent, root)
            compare(panel.dropdown.currentValue, data.code)
            compare(panel.dropdown.displayText, data.label)
            var tables = makeManager().tables
            for (var i = 0; i < panel.texts.length; ++i)
                compare(panel.texts[i].text, tables[data.code][panel.texts[i].key])
            waitForRendering(panel)
            // Kept under the build folder for a look at fit and glyphs.
            verify(testSupport.saveImage(panel, testSupport.screenshotDir + "/localisation-" + data.code + ".png"))
        }

        function test_picking_stores_and_reloads_data() {
            return [
                { tag: "en to es", from: "en", pick: "es", reloads: 1 },
                { tag: "en to cn", from: "en", pick: "cn", reloads: 1 },
                { tag: "es to en", from: "es", pick: "en", reloads: 1 },
                { tag: "same language", from: "cn", pick: "cn", reloads: 0 }
            ]
        }

        function test_picking_stores_and_reloads(data) {
            storeLanguage(data.from)
            var window = createTemporaryObject(windowComponent, root)
            tryVerify(function () { return window.active || window.visible })
            waitForRendering(window.dropdown)
            pick(window.dropdown, data.pick)
            compare(window.reloads, data.reloads)
            compare(makeManager().getLanguage(), data.pick)
            compare(makeText("static.cancel").text, makeManager().tables[data.pick]["static.cancel"])
        }

        function test_picking_reloads_the_application_view() {
            var component = Qt.createComponent("qrc:/App.qml")
            compare(component.status, Component.Ready, component.errorString())
            var window = createTemporaryObject(component, null)
            var loader = findChild(window, "mainLoader")
            tryCompare(loader, "status", Loader.Ready)
            var view = loader.item
            var shown = String(loader.source)
            var dropdown = createTemporaryObject(plainDropdownComponent, window.contentItem)
            pick(dropdown, "es")
            // The same view again, but made anew, so its texts were looked up
            // in the new language.
            tryVerify(function () { return loader.status === Loader.Ready && loader.item !== view })
            compare(String(loader.source), shown)
            compare(makeManager().getLanguage(), "es")
        }

        function test_picking_without_reload_still_stores() {
            var dropdown = createTemporaryObject(plainDropdownComponent, root)
            pick(dropdown, "cn")
            compare(dropdown.currentValue, "cn")
            compare(makeManager().getLanguage(), "cn")
        }
    }
}
