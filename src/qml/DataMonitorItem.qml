// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import VT.DataMonitor 1.0

// One live-data tile of the focused sensor: the history of X, Y, Z or G as a
// line inside a disc whose brightness follows the newest sample.
Rectangle {
    id: container

    // 0 X, 1 Y, 2 Z, 3 G.
    property int position: 0
    property real side: 60
    readonly property int colourDevice: stateManager.focusedDevice > -1 ? stateManager.focusedDevice : 0
    readonly property alias monitor: monitor

    width: side
    height: side
    radius: width / 2
    color: "transparent"
    border.color: "#1f1f1f"
    border.width: 1
    Accessible.ignored: true

    Rectangle {
        id: background
        objectName: "background"
        anchors.centerIn: parent
        width: container.width * 0.81
        height: width
        radius: width / 2
        color: Qt.darker(stateManager.getColorCodeOn(container.colourDevice), 1.4)
        opacity: monitor.opacity
    }

    Image {
        id: grid
        objectName: "grid"
        anchors.centerIn: parent
        width: container.height * 0.8
        height: width
        source: "icons/grid.png"
        fillMode: Image.PreserveAspectFit
        smooth: true
    }

    Text {
        objectName: "axisLetter"
        anchors.centerIn: parent
        text: ["X", "Y", "Z", "G"][container.position] || ""
        font.pointSize: 22
        font.bold: true
        color: "#a0a0a0"
        opacity: background.opacity + 0.2
    }

    // The line graph, cut to the disc by the item itself.
    DataMonitor {
        id: monitor
        objectName: "monitor"
        anchors.centerIn: parent
        width: container.width * 0.76
        height: width
        sourceType: container.position
    }

    Rectangle {
        anchors.centerIn: parent
        width: container.width * 0.76
        height: width
        radius: width / 2
        color: "transparent"
        border.width: 3
        border.color: "#413f4b"
        opacity: 0.9
        antialiasing: true
    }

    Rectangle {
        anchors.centerIn: parent
        width: container.width * 0.76 + 2
        height: width
        radius: width / 2
        color: "transparent"
        border.width: 2
        border.color: "#2f2f2f"
        antialiasing: true
    }
}
