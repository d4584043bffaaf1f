// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5
import QtQuick.Window 2.14
import QtQuick.Controls.impl 2.15

// Icon-only tool bar button. Unchecked it shows its icon as drawn; checked
// it shows the icon tinted (`onColor`), or, with `tintBacground`, an
// `onColor` face with the icon in `reverseTint`. Tab reaches it, Space,
// Return and Enter press it, and a click never takes the keyboard focus.
ToolButton {
    id: control

    property string img: ""
    property bool tintBacground: false
    property color onColor: "#EC5C4E"
    property color offColor: "#181818"
    property color reverseTint: "#0f0f0f"

    implicitWidth: 28
    implicitHeight: 28
    padding: 0
    checkable: true
    hoverEnabled: true
    clip: true
    focusPolicy: Qt.TabFocus
    display: AbstractButton.IconOnly

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

    Keys.onReturnPressed: activate()
    Keys.onEnterPressed: activate()
    // The default toggle action would flip the check mark alone.
    Accessible.onToggleAction: activate()

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

    ToolTip.delay: 1000
    ToolTip.visible: hovered && ToolTip.text.length > 0
    Accessible.name: text
    Accessible.description: ToolTip.text

    contentItem: Item {
        Image {
            id: iconImage
            anchors.fill: parent
            anchors.margins: 6
            source: control.img
            fillMode: Image.Stretch
            sourceSize: Qt.size(64, 64)
            smooth: true
            mipmap: true
            visible: !control.checked
        }
        // The icon's shape filled with the tint, made once per colour
        // rather than by a shader effect on every frame.
        IconImage {
            anchors.fill: iconImage
            source: control.img
            fillMode: Image.Stretch
            // Scaled once when loaded, as the plain icon's mipmaps do.
            sourceSize: Qt.size(Math.max(1, width), Math.max(1, height))
            smooth: true
            color: control.tintBacground ? control.reverseTint : control.onColor
            visible: control.checked
        }
    }

    background: Rectangle {
        implicitWidth: 28
        implicitHeight: 28
        radius: 2
        color: {
            if (control.checked)
                return control.tintBacground ? control.onColor : "#2f2f2f";
            if (control.down)
                return "#393939";
            return control.hovered ? "#2f2f2f" : control.offColor;
        }
    }
}
