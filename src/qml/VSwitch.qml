// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5

// Two-state switch with a lever that can be clicked or dragged. Releasing
// the lever flips `checked` and emits `switchChanged()`; the keyboard and
// the screen reader's toggle do the same through the base switch.
Switch {
    id: control

    property color switchColor: "#42463F"
    // Whether the orange fill follows the lever (off for BinarySelect).
    property bool showFill: true

    signal switchChanged

    // What a click does, for the keyboard and the screen reader.
    function activate() {
        if (!enabled)
            return;
        toggle();
        toggled();
    }

    implicitHeight: 16
    padding: 0
    focusPolicy: Qt.TabFocus
    Keys.onReturnPressed: activate()
    Keys.onEnterPressed: activate()
    // The default toggle action would flip the lever alone.
    Accessible.onToggleAction: activate()
    Accessible.onPressAction: activate()
    spacing: 6
    opacity: enabled ? 1 : 0.5

    onToggled: control.switchChanged()

    indicator: Rectangle {
        id: track

        implicitWidth: 40
        implicitHeight: 16
        x: control.leftPadding
        y: (control.height - height) / 2
        radius: 2
        color: "#1f1f1f"
        border.color: "#0f0f0f"

        Rectangle {
            anchors.fill: parent
            anchors.margins: 1
            radius: 2
            color: "#202021"
        }

        Rectangle {
            id: colorTrack
            objectName: "colorTrack"
            visible: control.showFill
            x: 1
            y: 1
            height: parent.height - 2
            width: Math.max(0, lever.x + lever.width / 2 - 1)
            radius: 2
            color: "#ffa500"
        }

        Rectangle {
            id: lever
            objectName: "lever"
            width: 20
            height: 16
            radius: 2
            x: control.checked ? track.width - width : 0
            color: leverArea.pressed ? Qt.darker(control.switchColor, 1.3) : control.switchColor

            Behavior on x {
                enabled: !leverArea.drag.active
                NumberAnimation {
                    duration: 80
                }
            }
        }

        MouseArea {
            id: leverArea
            anchors.fill: parent
            enabled: control.enabled
            drag.target: lever
            drag.axis: Drag.XAxis
            drag.minimumX: 0
            drag.maximumX: track.width - lever.width
            onReleased: {
                // toggle() keeps any binding the user of the switch has on
                // `checked`.
                control.toggle();
                lever.x = Qt.binding(function () {
                    return control.checked ? track.width - lever.width : 0;
                });
                control.switchChanged();
            }
        }
    }

    FocusRing {}

    contentItem: Text {
        text: control.text
        font: control.font
        color: "#f0f0f0"
        verticalAlignment: Text.AlignVCenter
        leftPadding: control.indicator.width + control.spacing
    }
}
