import QtQuick 2.15
import QtTest 1.15
import "qrc:/shared_components/components"

// The file field's button opens the file dialog of the Qt the scene is built
// for; a choice fills the field with the plain path and a cancel leaves it,
// and either way the dialog goes.
Item {
    id: root
    width: 800
    height: 200

    Component {
        id: inputComponent
        FileInput { width: root.width; nameFilter: "(*.vfp)"; path: "/old.vfp" }
    }

    TestCase {
        name: "FileInput"
        when: windowShown

        function test_dialog_data() {
            return [
                { tag: "chosen", choice: "file:///media/usb/veltra%20r9.vfp", path: "/media/usb/veltra r9.vfp" },
                { tag: "chosen on Windows", choice: "file:///C:/Users/Ana/r9.vfp", path: "C:/Users/Ana/r9.vfp" },
                { tag: "cancelled", choice: "", path: "/old.vfp" }
            ]
        }

        function test_dialog(data) {
            // Qt 5's dialog keeps its objects to the end (see tests/CMakeLists.txt).
            if (sanitized)
                skip("the leak check would report the dialog's own objects")
            var input = createTemporaryObject(inputComponent, root)
            var loader = findChild(input, "dialogLoader")
            mouseClick(input.button)
            tryVerify(function () { return loader.status === Loader.Ready && loader.item.visible },
                      5000, "the file dialog did not open")
            compare(loader.item.nameFilters, ["(*.vfp)"])
            if (data.choice.length > 0)
                loader.item.chosen(data.choice)
            else
                loader.item.reject()
            compare(input.path, data.path)
            verify(!loader.active)
        }
    }
}
