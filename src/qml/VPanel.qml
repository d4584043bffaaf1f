// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// Framed panel with a small caption, used by the editors.
Rectangle {
    id: panel

    property string label: ""
    property int labelY: 6

    color: "#0f0f0f"

    Rectangle {
        anchors.fill: parent
        anchors.margins: 3.5
        radius: 3.5
        color: "#3a3a3a"
        border.width: 7
        border.color: "#4f4f4f"
    }

    Text {
        id: panelLabel
        objectName: "panelLabel"
        y: panel.labelY
        anchors.horizontalCenter: parent.horizontalCenter
        text: panel.label
        color: "#BfB3AF"
        font.family: "Verdana"
        font.bold: true
        font.pixelSize: 6
        Accessible.ignored: true
    }
}
