// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// The ring drawn round the control that has keyboard focus. Clicks never
// move the focus, so the ring only shows while the keyboard is in use.
Rectangle {
    property Item target: parent
    property real inset: -2

    anchors.fill: parent
    anchors.margins: inset
    z: 100
    visible: !!target && target.activeFocus
    color: "transparent"
    radius: 3
    border.width: 2
    border.color: "#5cb3ff"
    Accessible.ignored: true
}
