// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5

// Small round knob with a caption. Drag up or down to turn it; Control-click
// returns it to `defaultValue`; with `useOnOffState` a right click switches it
// on or off. Double-clicking the caption lets the user type a value:
// Return applies it when it lies within from..to, Escape cancels.
// Keyboard: the arrows step (Shift: fine steps), Page Up and Page Down take
// a tenth of the range, Home and End go to the ends, Return or a digit
// starts typing a value.
Dial {
    id: control

    property color tint: "#ffa500"
    property int size: 32
    property string label: ""
    property bool on: true
    property bool useOnOffState: false
    property real defaultValue: 0
    // Whether the caption shows the value after the label.
    property bool showValue: false
    readonly property string valueText: (useOnOffState && !on) ? "" : (stepSize >= 1 ? String(Math.round(value)) : value.toFixed(1))
    readonly property real keyStep: stepSize > 0 ? stepSize : (to - from) / 20
    readonly property real fineStep: stepSize > 0 ? stepSize : keyStep / 10

    // Typing state: the buffer shown under the knob and whether the next key
    // replaces the value put there when typing started.
    property bool typing: false
    property string typingBuffer: ""
    property bool typingFresh: false

    signal rightClicked

    function startTyping() {
        typingBuffer = control.value.toFixed(1);
        typingFresh = true;
        typing = true;
        control.forceActiveFocus();
    }

    function stopTyping() {
        typing = false;
        typingFresh = false;
        typingBuffer = "";
    }

    // Applies the typed buffer when it is a number within range; returns
    // whether the value changed.
    function commitTyping() {
        var v = parseFloat(typingBuffer);
        var accepted = typingBuffer.length > 0 && !isNaN(v) && isFinite(v) && v >= control.from
                && v <= control.to;
        if (accepted) {
            control.value = v;
            control.moved();
        }
        stopTyping();
        return accepted;
    }

    // Sets the value as the user would, within from..to.
    function setByUser(v) {
        v = Math.max(control.from, Math.min(control.to, v));
        if (stepSize > 0)
            v = Math.round(v / stepSize) * stepSize;
        if (v === control.value)
            return;
        control.value = v;
        control.moved();
    }

    // One key while not typing; returns true when the key was used.
    function navigateKey(key, text, modifiers) {
        var fine = (modifiers & Qt.ShiftModifier) !== 0;
        var step = fine ? fineStep : keyStep;
        var page = fine ? keyStep : (to - from) / 10;
        switch (key) {
        case Qt.Key_Up:
        case Qt.Key_Right:
            setByUser(value + step);
            return true;
        case Qt.Key_Down:
        case Qt.Key_Left:
            setByUser(value - step);
            return true;
        case Qt.Key_PageUp:
            setByUser(value + page);
            return true;
        case Qt.Key_PageDown:
            setByUser(value - page);
            return true;
        case Qt.Key_Home:
            setByUser(from);
            return true;
        case Qt.Key_End:
            setByUser(to);
            return true;
        case Qt.Key_Return:
        case Qt.Key_Enter:
            startTyping();
            return true;
        }
        if (text.length === 1 && "0123456789-.".indexOf(text) >= 0) {
            startTyping();
            typeKey(key, text);
            return true;
        }
        return false;
    }

    // Handles one key while typing; returns true when the key was used.
    function typeKey(key, text) {
        if (key === Qt.Key_Escape) {
            stopTyping();
            return true;
        }
        if (typingFresh) {
            typingBuffer = "";
            typingFresh = false;
        }
        if (key === Qt.Key_Return || key === Qt.Key_Enter) {
            commitTyping();
        } else if (key === Qt.Key_Backspace || key === Qt.Key_Delete) {
            typingBuffer = typingBuffer.slice(0, -1);
        } else if (text.length === 1 && "0123456789-.".indexOf(text) >= 0) {
            typingBuffer += text;
        }
        return true;
    }

    implicitWidth: Math.max(size, textLabel.implicitWidth)
    implicitHeight: size + textLabel.implicitHeight + 2
    inputMode: Dial.Vertical
    hoverEnabled: true
    focusPolicy: Qt.TabFocus
    opacity: (useOnOffState && !on) ? 0.45 : (enabled ? 1 : 0.3)

    ToolTip.delay: 1000
    ToolTip.visible: hovered && ToolTip.text.length > 0
    Accessible.name: label
    Accessible.description: ToolTip.text

    Keys.onPressed: {
        if (control.typing)
            event.accepted = control.typeKey(event.key, event.text);
        else
            event.accepted = control.navigateKey(event.key, event.text, event.modifiers);
    }
    onActiveFocusChanged: {
        if (!activeFocus && typing)
            stopTyping();
    }

    Connections {
        target: typeof stateManager !== "undefined" ? stateManager : null
        ignoreUnknownSignals: true
        function onShouldExitEditing() {
            control.stopTyping();
        }
    }

    background: Rectangle {
        FocusRing {
            target: control
            radius: width / 2
        }
        x: (control.width - width) / 2
        y: 0
        width: control.size
        height: control.size
        radius: width / 2
        color: "#1f1f1f"
        border.width: 1
        border.color: "#121212"
    }

    handle: Rectangle {
        id: handleItem
        width: 4
        height: 4
        radius: 2
        antialiasing: true
        color: control.pressed ? Qt.darker(control.tint, 1.4) : control.tint
        x: control.background.x + control.background.width / 2 - width / 2
        y: control.background.y + control.background.height / 2 - height / 2
        transform: [
            Translate {
                y: -control.size * 0.5 + 6
            },
            Rotation {
                angle: control.angle
                origin.x: handleItem.width / 2
                origin.y: handleItem.height / 2
            }
        ]
    }

    // Control-click and right click; everything else goes to the dial.
    MouseArea {
        x: control.background.x
        y: 0
        width: control.size
        height: control.size
        acceptedButtons: Qt.LeftButton | Qt.RightButton
        onPressed: {
            if (mouse.button === Qt.RightButton) {
                if (control.useOnOffState) {
                    control.on = !control.on;
                    control.rightClicked();
                }
                return;
            }
            if (mouse.modifiers & Qt.ControlModifier) {
                control.value = control.defaultValue;
                control.moved();
                return;
            }
            mouse.accepted = false;
        }
    }

    Text {
        id: textLabel
        objectName: "textLabel"
        anchors.horizontalCenter: parent.horizontalCenter
        y: control.size + 2
        font.pixelSize: 9
        color: "#d0d0d0"
        text: control.typing ? control.typingBuffer : (control.pressed ? control.value.toFixed(1) : (control.showValue && control.valueText.length > 0 ? control.label + " " + control.valueText : control.label))
        Accessible.ignored: true

        MouseArea {
            anchors.fill: parent
            onDoubleClicked: control.startTyping()
        }
    }
}
