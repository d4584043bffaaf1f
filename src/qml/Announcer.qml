// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// A short message shown for a few seconds over the window: refused input,
// connection changes, calibration progress. Screen readers hear it as an
// alert whose text changes.
Rectangle {
    id: box

    property alias text: label.text

    function show(message) {
        label.text = message;
        visible = true;
        hideTimer.restart();
    }

    visible: false
    width: Math.min(560, label.implicitWidth + 24)
    height: label.implicitHeight + 12
    radius: 3
    color: "#1a1a1a"
    border.color: "#ffa500"
    Accessible.role: Accessible.AlertMessage
    Accessible.name: label.text

    Text {
        id: label
        objectName: "announcerText"
        anchors.centerIn: parent
        width: Math.min(implicitWidth, 536)
        wrapMode: Text.WordWrap
        color: "#f0f0f0"
        font.pixelSize: 11
        Accessible.ignored: true
    }

    Timer {
        id: hideTimer
        interval: 4000
        onTriggered: box.visible = false
    }

    MouseArea {
        anchors.fill: parent
        onClicked: box.visible = false
    }
}
