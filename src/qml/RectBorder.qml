// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// Thin frame drawn round a panel (the preset bay).
Rectangle {
    anchors.fill: parent
    color: "transparent"
    border.width: 1
    border.color: "#3f3f3f"
}
