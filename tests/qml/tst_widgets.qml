// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5
import QtTest 1.2
import "qrc:/"

// The widget kit: switch levers, knob typing and mouse gestures, button
// accessibility.
Item {
    id: root
    width: 400
    height: 300

    Component {
        id: switchComponent
        Item {
            property alias control: sw
            property int changes: 0
            width: 120
            height: 20
            VSwitch {
                id: sw
                text: "Reverse"
                onSwitchChanged: parent.changes++
            }
        }
    }

    Component {
        id: binaryComponent
        BinarySelect {
            text: "L/R"
        }
    }

    Component {
        id: knobComponent
        VKnob {
            x: 100
            y: 50
            from: 0
            to: 127
            value: 64
            defaultValue: 10
            label: "Rate"
        }
    }

    Component {
        id: buttonComponent
        VButton {
            text: "OK"
        }
    }

    TestCase {
        name: "Widgets"
        when: windowShown

        function init() {
            stateManager.reset();
        }

        function findChild(item, name) {
            if (!item)
                return null;
            if (item.objectName === name)
                return item;
            var kids = item.children;
            for (var i = 0; i < kids.length; ++i) {
                var found = findChild(kids[i], name);
                if (found)
                    return found;
            }
            return null;
        }

        function test_switchClickFlipsOnceAndSignals() {
            var holder = createTemporaryObject(switchComponent, root);
            var sw = holder.control;
            verify(!sw.checked);
            mouseClick(sw, 10, 8);
            compare(sw.checked, true);
            compare(holder.changes, 1);
            mouseClick(sw, 30, 8);
            compare(sw.checked, false);
            compare(holder.changes, 2);
        }

        function test_switchDragReleaseFlipsAndLeverFollowsState() {
            var holder = createTemporaryObject(switchComponent, root);
            var sw = holder.control;
            var lever = findChild(sw, "lever");
            mouseDrag(sw, 10, 8, 20, 0);
            compare(sw.checked, true);
            compare(holder.changes, 1);
            // The lever settles at the "on" end after the animation.
            tryCompare(lever, "x", 20);
        }

        function test_switchKeepsOwnersBinding() {
            var holder = createTemporaryObject(switchComponent, root);
            var sw = holder.control;
            var source = Qt.createQmlObject("import QtQuick 2.14; QtObject { property bool on: false }", holder);
            sw.checked = Qt.binding(function () {
                return source.on;
            });
            mouseClick(sw, 10, 8);
            compare(sw.checked, true);
            source.on = true;
            source.on = false;
            // Still bound after the user's click.
            compare(sw.checked, false);
        }

        function test_switchFillOnlyOnVSwitch() {
            var holder = createTemporaryObject(switchComponent, root);
            verify(findChild(holder.control, "colorTrack").visible);
            var binary = createTemporaryObject(binaryComponent, root);
            verify(!findChild(binary, "colorTrack").visible);
            compare(binary.switchColor, "#909090");
        }

        function test_knobTyping_data() {
            return [
                {
                    "tag": "digits and Return",
                    "keys": [Qt.Key_4, Qt.Key_2, Qt.Key_Return],
                    "expected": 42
                },
                {
                    "tag": "decimal",
                    "keys": [Qt.Key_1, Qt.Key_2, Qt.Key_Period, Qt.Key_5, Qt.Key_Return],
                    "expected": 12.5
                },
                {
                    "tag": "backspace drops last",
                    "keys": [Qt.Key_9, Qt.Key_9, Qt.Key_Backspace, Qt.Key_Return],
                    "expected": 9
                },
                {
                    "tag": "out of range ignored",
                    "keys": [Qt.Key_2, Qt.Key_0, Qt.Key_0, Qt.Key_Return],
                    "expected": 64
                },
                {
                    "tag": "negative out of range",
                    "keys": [Qt.Key_Minus, Qt.Key_3, Qt.Key_Return],
                    "expected": 64
                },
                {
                    "tag": "escape cancels",
                    "keys": [Qt.Key_3, Qt.Key_Escape],
                    "expected": 64
                },
                {
                    "tag": "letters ignored",
                    "keys": [Qt.Key_A, Qt.Key_7, Qt.Key_Return],
                    "expected": 7
                },
                {
                    "tag": "return alone keeps value",
                    "keys": [Qt.Key_Return],
                    "expected": 64
                }
            ];
        }

        function test_knobTyping(data) {
            var knob = createTemporaryObject(knobComponent, root);
            var label = findChild(knob, "textLabel");
            mouseDoubleClickSequence(label, label.width / 2, label.height / 2);
            verify(knob.typing);
            compare(label.text, "64.0");
            for (var i = 0; i < data.keys.length; ++i)
                keyClick(data.keys[i]);
            verify(!knob.typing);
            compare(knob.value, data.expected);
            compare(label.text, "Rate");
        }

        function test_knobShowsBufferWhileTyping() {
            var knob = createTemporaryObject(knobComponent, root);
            var label = findChild(knob, "textLabel");
            mouseDoubleClickSequence(label, label.width / 2, label.height / 2);
            keyClick(Qt.Key_1);
            keyClick(Qt.Key_5);
            compare(label.text, "15");
            keyClick(Qt.Key_Delete);
            compare(label.text, "1");
        }

        function test_knobExitEditingLeavesTyping() {
            var knob = createTemporaryObject(knobComponent, root);
            var label = findChild(knob, "textLabel");
            mouseDoubleClickSequence(label, label.width / 2, label.height / 2);
            keyClick(Qt.Key_5);
            stateManager.shouldExitEditing();
            verify(!knob.typing);
            compare(knob.value, 64);
        }

        function test_knobControlClickRestoresDefault() {
            var knob = createTemporaryObject(knobComponent, root);
            var moved = createTemporaryObject(signalSpyComponent, root, {
                    "target": knob,
                    "signalName": "moved"
                });
            mouseClick(knob, knob.width / 2, knob.size / 2, Qt.LeftButton, Qt.ControlModifier);
            compare(knob.value, 10);
            compare(moved.count, 1);
        }

        function test_knobRightClickOnOff() {
            var knob = createTemporaryObject(knobComponent, root);
            var spy = createTemporaryObject(signalSpyComponent, root, {
                    "target": knob,
                    "signalName": "rightClicked"
                });
            mouseClick(knob, knob.width / 2, knob.size / 2, Qt.RightButton);
            verify(knob.on);
            compare(spy.count, 0);
            knob.useOnOffState = true;
            mouseClick(knob, knob.width / 2, knob.size / 2, Qt.RightButton);
            verify(!knob.on);
            compare(spy.count, 1);
            mouseClick(knob, knob.width / 2, knob.size / 2, Qt.RightButton);
            verify(knob.on);
            compare(spy.count, 2);
        }

        function test_knobDragTurns() {
            var knob = createTemporaryObject(knobComponent, root);
            var before = knob.value;
            mouseDrag(knob, knob.width / 2, knob.size / 2, 0, -30);
            verify(knob.value > before);
        }

        function test_buttonHiddenFromScreenReaderWhileDisabled() {
            var button = createTemporaryObject(buttonComponent, root);
            verify(!button.Accessible.ignored);
            compare(button.Accessible.name, "OK");
            button.enabled = false;
            verify(button.Accessible.ignored);
        }

        Component {
            id: signalSpyComponent
            SignalSpy {}
        }
    }
}
