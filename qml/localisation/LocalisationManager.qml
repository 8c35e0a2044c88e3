import QtQuick 2.15
import Qt.labs.settings 1.1
import "./en.js" as EN
import "./es.js" as ES
import "./cn.js" as CN

// Knows the operator's language and looks texts up in its table. Every text
// element holds one of these; the choice lives in the per-user settings store
// so that it survives a restart.
Item {
    id: manager
    // Never drawn, and so never given a place when it sits in a layout.
    visible: false

    // The language a first start shows.
    readonly property string defaultLanguage: "en"

    // The string tables by language code.
    readonly property var tables: ({
        "en": EN.strings,
        "es": ES.strings,
        "cn": CN.strings
    })

    // The stored language code, as read when this manager was made.
    readonly property string language: getLanguage()

    function isLanguage(code) {
        return typeof code === "string" && tables.hasOwnProperty(code)
    }

    // Stores code as the operator's language; anything but a known code is
    // ignored, so a stray value can never leave the scene without texts.
    function setLanguage(code) {
        if (!isLanguage(code))
            return
        // Written through at once rather than after the element's usual delay:
        // the view reload that follows makes new text elements straight away,
        // and they must already read the new choice.
        store.setValue("language", code)
        store.sync()
    }

    // The stored language code. It is read from the store each time, so a
    // choice made through another manager counts at once; a value this
    // version does not know (an edited settings file) reads as the default.
    function getLanguage() {
        var code = store.value("language", defaultLanguage)
        return isLanguage(code) ? code : defaultLanguage
    }

    // The text of key input in the current language. A key the current table
    // lacks shows its English text; a key no table knows shows the key itself,
    // which makes the slip plain to see.
    function localise(input) {
        if (typeof input !== "string" || input.length === 0)
            return ""
        var table = tables[getLanguage()]
        if (table.hasOwnProperty(input))
            return table[input]
        var english = tables[defaultLanguage]
        if (english.hasOwnProperty(input))
            return english[input]
        console.warn("No text for key", input)
        return input
    }

    // Read and written only through value() and setValue(): a declared
    // property would be written back by every manager made while nothing is
    // stored yet, and could undo a choice made in the meantime.
    Settings {
        id: store
    }
}
