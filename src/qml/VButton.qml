// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5
import QtQuick.Window 2.14

// The plain push button of the window: a dark face with a thin border and a
// light label. Checkable instances show `bgColorChecked` while checked.
// Tab reaches it, Space, Return and Enter press it, and a click never takes
// the keyboard focus.
Button {
    id: control

    property color bgColor: "#242424"
    property color bgColorChecked: "#ff3f00"

    // What a click does, for the keyboard and the screen reader.
    function activate() {
        if (!enabled)
            return;
        if (checkable) {
            toggle();
            toggled();
        }
        clicked();
    }

    implicitWidth: 80
    implicitHeight: 20
    padding: 2
    focusPolicy: Qt.TabFocus
    Keys.onReturnPressed: activate()
    Keys.onEnterPressed: activate()
    // Buttons that only show a state (mute, solo) are toggled by a click.
    Accessible.onToggleAction: activate()
    // A disabled button is hidden from screen readers instead of being read
    // as an unusable control.
    Accessible.name: text
    Accessible.ignored: !enabled

    // A mouse click (the keyboard presses only the focused control) hands
    // the keys back to the window's keyboard area.
    onReleased: {
        if (activeFocus)
            return;
        var w = control.Window.window;
        if (w && typeof w.pointerUsed === "function")
            w.pointerUsed(control);
    }
    FocusRing {}

    contentItem: Text {
        text: control.text
        font: control.font
        color: control.down ? "#e0e0e0" : "#f0f0f0"
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        opacity: control.enabled ? 1 : 0.3
    }

    background: Rectangle {
        implicitWidth: 80
        implicitHeight: 20
        radius: 4
        border.width: 1
        border.color: "#3f3f3f"
        opacity: control.enabled ? 1 : 0.3
        color: {
            var face = control.checked ? control.bgColorChecked : control.bgColor;
            return control.down ? Qt.darker(face, 1.2) : face;
        }
    }
}
