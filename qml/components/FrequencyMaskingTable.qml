import QtQuick 2.15
import configurator.style.colour 1.0
import configurator.style.fonts 1.0

// The channel grid of one band: a row per Wi-Fi channel (its number in the
// first column) and a column per radio channel, masked channels in red. A
// click on a Wi-Fi number masks everything under it, a click on a cell
// toggles its row, Ctrl-click toggles the one channel and Shift-drag paints
// channels with the state of the first one touched. With labels off and
// interaction off it draws the one-row strips of the total and adaptive masks.
Item {
    id: table

    // A FrequencyMaskingModel, set up for its band by the view.
    property var model
    property bool interactive: true
    property bool showLabels: true
    property bool showScale: true
    property real rowHeight: 20
    property int labelWidth: 56
    readonly property int channelCount: 84
    readonly property int cellSpacing: 1
    readonly property int rowSpacing: 3
    readonly property real cellWidth: (width - labelWidth - channelCount * cellSpacing) / channelCount
    property int rows: 0

    // An edit by the operator changed the band's mask.
    signal edited()

    // The model does not announce a change of band: the grid is built anew
    // for the rows of the band now set up.
    function reload() {
        rows = model ? model.rowCount() : 0
        grid.model = null
        grid.model = table.model
    }

    function columnAt(x) {
        if (x < labelWidth)
            return 0
        return Math.min(channelCount, Math.floor((x - labelWidth) / (cellWidth + cellSpacing)) + 1)
    }

    function rowAt(y) {
        return Math.max(0, Math.min(rows - 1, Math.floor(y / (rowHeight + rowSpacing))))
    }

    function cellData(row, column, role) {
        return model.data(model.index(row, column), role)
    }

    implicitHeight: rows * (rowHeight + rowSpacing) + (showScale ? 22 : 0)

    onModelChanged: reload()
    onRowHeightChanged: Qt.callLater(table.reload)

    TableView {
        id: grid
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        height: table.rows * (table.rowHeight + table.rowSpacing)
        interactive: false
        clip: true
        columnSpacing: table.cellSpacing
        rowSpacing: table.rowSpacing
        columnWidthProvider: function (column) {
            return column === 0 ? table.labelWidth - table.cellSpacing : table.cellWidth
        }
        rowHeightProvider: function () { return table.rowHeight }
        // The cells are sized when the table is built: a new size builds it
        // anew, once the layout pass in progress is over.
        onWidthChanged: Qt.callLater(table.reload)

        delegate: Rectangle {
            readonly property bool isLabel: column === 0 && table.showLabels
            objectName: "cell_" + row + "_" + column
            implicitWidth: 10
            implicitHeight: table.rowHeight
            radius: isLabel ? 3 : 1
            color: {
                if (column === 0)
                    return isLabel ? Colours.dark : "transparent"
                if (masked)
                    return available ? Colours.red : Qt.rgba(0.906, 0.298, 0.235, 0.3)
                return available ? Colours.blue : Colours.darkAlternative
            }

            Text {
                anchors.fill: parent
                anchors.rightMargin: 8
                visible: parent.isLabel
                text: channel >= 0 ? channel : ""
                color: Colours.lightGrey
                font.family: Fonts.global
                font.styleName: Fonts.styleSemiBold
                font.pixelSize: Math.min(13, table.rowHeight - 6)
                horizontalAlignment: Text.AlignRight
                verticalAlignment: Text.AlignVCenter
            }
        }
    }

    // Frequencies along the bottom, every tenth channel.
    Repeater {
        model: table.showScale && table.model ? [1, 11, 21, 31, 41, 51, 61, 71, 84] : []

        Text {
            x: table.labelWidth + (modelData - 1) * (table.cellWidth + table.cellSpacing)
               + table.cellWidth / 2 - width / 2
            y: grid.height + 4
            text: table.model.baseFrequency + modelData
            color: Colours.grey
            font.family: Fonts.global
            font.pixelSize: 11
        }
    }

    MouseArea {
        id: pointer
        objectName: "gridMouseArea"
        anchors.fill: grid
        enabled: table.interactive && table.rows > 0
        cursorShape: enabled ? Qt.PointingHandCursor : Qt.ArrowCursor

        property bool painting: false
        property bool paintState: true
        property int paintRow: -1
        property int paintColumn: -1

        function paint(row, column) {
            if (column < 1 || (row === paintRow && column === paintColumn))
                return
            // A quick drag skips cells between two pointer events; the row
            // being painted gets every channel passed over.
            var from = row === paintRow && paintColumn > 0 ? paintColumn : column
            var step = column >= from ? 1 : -1
            for (var c = from; c !== column + step; c += step)
                table.model.didHighlightCells(row, c, paintState)
            paintRow = row
            paintColumn = column
            table.edited()
        }

        onPressed: function (mouse) {
            var row = table.rowAt(mouse.y)
            var column = table.columnAt(mouse.x)
            if (column === 0) {
                if (table.showLabels) {
                    table.model.didSelectChannel(row + 1)
                    table.edited()
                }
                return
            }
            if (mouse.modifiers & Qt.ShiftModifier) {
                painting = true
                paintState = !table.cellData(row, column, 1)
                paintRow = -1
                paintColumn = -1
                paint(row, column)
                return
            }
            // Cells outside a row's Wi-Fi channel belong to other rows.
            if (!table.cellData(row, column, 0))
                return
            if (mouse.modifiers & Qt.ControlModifier)
                table.model.didSelectCellFine(row, column)
            else
                table.model.didSelectCellCoarse(row, column)
            table.edited()
        }
        onPositionChanged: function (mouse) {
            if (painting && mouse.y >= 0 && mouse.y < height && mouse.x >= 0 && mouse.x < width)
                paint(table.rowAt(mouse.y), table.columnAt(mouse.x))
        }
        onReleased: painting = false
        onCanceled: painting = false
    }
}
