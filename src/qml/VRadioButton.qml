// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5

// Square radio button: an orange fill marks the chosen entry.
RadioButton {
    id: control

    // What a click does, for the keyboard and the screen reader.
    function activate() {
        if (!enabled)
            return;
        checked = true;
        toggled();
        clicked();
    }

    height: 16
    implicitHeight: 16
    padding: 0
    focusPolicy: Qt.TabFocus
    Keys.onReturnPressed: activate()
    Keys.onEnterPressed: activate()
    Accessible.onToggleAction: activate()
    Accessible.onPressAction: activate()
    spacing: 6
    opacity: enabled ? 1 : 0.5

    indicator: Rectangle {
        implicitWidth: 16
        implicitHeight: 16
        x: control.leftPadding
        y: (control.height - height) / 2
        radius: 2
        color: "#1f1f1f"

        Rectangle {
            anchors.fill: parent
            anchors.margins: 2
            radius: 2
            color: "#ffa500"
            visible: control.checked
        }
    }

    FocusRing {}

    contentItem: Text {
        text: control.text
        font: control.font
        color: "#f0f0f0"
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        leftPadding: control.indicator.width + control.spacing
    }
}
