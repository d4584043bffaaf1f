// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5
import VT.VMultiSlider 1.0
import "MidiTypes.js" as MidiTypes
import "PanelLogic.js" as Logic

// One control-source knob ("wheel"): a header that adds the wheel or turns it
// on and off, the live ring of the native VMultiSlider, handles for the
// motion window and the default value, the red mapping button and a caption
// naming the axis and the MIDI event. Clicking the knob opens its editor.
Rectangle {
    id: element

    // Engine slot shown by this knob.
    property int slot: 0
    // The slide-up editor (ControlPanel) and the screen-reader editor
    // (MultisliderAccesibleWindow); either may be missing.
    property var editor: null
    property var accessibleEditor: null

    property real startAngle: 2 * Math.PI / 3
    property real endAngle: startAngle + 5 * Math.PI / 3
    property color topBarTint: "#ffa500"
    property color topBarDisableTint: "#7a7e7f"
    property color headerTint: topBarDisableTint
    property bool dragging: false

    readonly property alias multiSlider: multiSlider
    readonly property bool isFocused: stateManager.focusedSource === slot
    readonly property bool isLive: !multiSlider.isDummy
    readonly property color deviceColor: (multiSlider.deviceIndex >= 0) ? stateManager.getColorCodeOn(multiSlider.deviceIndex) : "#808080"
    // What screen readers call this wheel: its slot, and for a real wheel
    // its own name when the user gave one, its band and axis and its event.
    readonly property string accessibleTitle: {
        var number = slot + 1;
        if (multiSlider.isDummy)
            return qsTr("Wheel %1, empty").arg(number);
        var custom = multiSlider.name !== qsTr("Wheel %1").arg(number) && multiSlider.name.length > 0 ? " (" + multiSlider.name + ")" : "";
        var axis = ["X", "Y", "Z", "G"][multiSlider.source] || "?";
        var band = multiSlider.deviceIndex >= 0 ? qsTr("band %1").arg(multiSlider.deviceIndex + 1) : qsTr("no band");
        return qsTr("Wheel %1%2, %3 axis of %4, %5").arg(number).arg(custom).arg(axis).arg(band).arg(Logic.eventText(multiSlider.eventNumber));
    }

    // Asks before the wheel is removed with the Delete key.
    signal removeRequested(int slot)
    // A setting of the wheel changed.
    signal edited

    // Keys every focusable part of the wheel shares: Delete asks to remove
    // the wheel, the menu key and Shift+F10 open its menu.
    function wheelKey(event) {
        if (multiSlider.isDummy)
            return;
        if (event.key === Qt.Key_Delete) {
            element.removeRequested(slot);
            event.accepted = true;
        } else if (event.key === Qt.Key_Menu || (event.key === Qt.Key_F10 && (event.modifiers & Qt.ShiftModifier))) {
            wheelMenu().popup(element, element.width / 2, sliderTopbar.height);
            event.accepted = true;
        }
    }

    function map(x, inMin, inMax, outMin, outMax) {
        return Logic.map(x, inMin, inMax, outMin, outMax);
    }

    function angleOf(value) {
        return Logic.valueToAngle(value, startAngle, endAngle);
    }

    function refresh() {
        multiSlider.sync();
        updateHeaderTint();
        crown.requestPaint();
        face.requestPaint();
    }

    function updateHeaderTint() {
        headerTint = (!multiSlider.isDummy && multiSlider.isEnabled) ? topBarTint : topBarDisableTint;
    }

    // Header click: add a wheel on an empty slot, else turn it on or off.
    function pressHeader() {
        if (multiSlider.isDummy)
            motionControlEngine.addNewCSourceAt(slot);
        else
            multiSlider.setEnable(!multiSlider.isEnabled);
        updateHeaderTint();
    }

    // Gives the keyboard focus to the header (after a dialog closes).
    function focusHeader() {
        sliderTopbar.forceActiveFocus(Qt.TabFocusReason);
    }

    // Opens or closes the editor for this knob.
    function select() {
        if (stateManager.isAccessibilityModeOn) {
            if (multiSlider.isDummy || !accessibleEditor)
                return;
            actionHandler.quitFloatingWindowMode();
            accessibleEditor.multiSlider = multiSlider;
            accessibleEditor.show();
            return;
        }
        var next = Logic.nextFocusedSource(stateManager.focusedSource, slot);
        // An empty slot has nothing to edit: add a wheel through the header.
        if (next >= 0 && multiSlider.isDummy)
            return;
        if (next >= 0 && editor) {
            editor.sourceItem = element;
            editor.multiSlider = multiSlider;
        }
        stateManager.focusedSource = next;
    }

    // Mapping button: Control-click resets the motion window, other clicks
    // send the learn message.
    function pressMapping(modifiers) {
        if (modifiers & Qt.ControlModifier) {
            multiSlider.setLowerbound(0);
            multiSlider.setUppberbound(127);
            return;
        }
        if (mappingButton.state !== "opened")
            return;
        mappingButton.flash = true;
        multiSlider.sendMapping();
    }

    // A handle dragged to `value`; with Shift the two bounds move together.
    function dragHandle(kind, value, shift) {
        value = Math.round(value);
        if (kind === "default") {
            multiSlider.setDefaultValue(Logic.limitDefault(value, multiSlider.min, multiSlider.max));
        } else if (shift) {
            var w = Logic.dragWindow(value, kind, multiSlider.lowerbound, multiSlider.upperbound);
            multiSlider.setLowerbound(w.lowerbound);
            multiSlider.setUppberbound(w.upperbound);
        } else if (kind === "lower") {
            multiSlider.setLowerbound(Logic.limitLowerbound(value, multiSlider.upperbound));
        } else {
            multiSlider.setUppberbound(Logic.limitUpperbound(value, multiSlider.lowerbound));
        }
    }

    implicitWidth: 200
    implicitHeight: 300
    color: isFocused ? "#262626" : "transparent"
    border.color: "#0f0f0faa"
    border.width: 1

    Accessible.role: Accessible.Grouping
    Accessible.name: qsTr("Wheel %1").arg(slot + 1)

    Component.onCompleted: refresh()

    Connections {
        target: motionControlEngine
        ignoreUnknownSignals: true
        function onDeviceEnablementChanged() {
            element.refresh();
        }
    }

    Connections {
        target: multiSlider
        function onEnablementChanged() {
            element.updateHeaderTint();
        }
        function onDummyChanged() {
            element.updateHeaderTint();
        }
        function onLowerboundChanged() {
            crown.requestPaint();
            face.requestPaint();
        }
        function onUpperboundChanged() {
            crown.requestPaint();
            face.requestPaint();
        }
        function onDeviceChanged() {
            face.requestPaint();
        }
    }

    Connections {
        target: multiSlider
        ignoreUnknownSignals: true
        function onSourceChanged() { element.edited(); }
        function onChannelChanged() { element.edited(); }
        function onEventNumberChanged() { element.edited(); }
        function onDummyChanged() { element.edited(); }
        function onEnablementChanged() { element.edited(); }
        function onGateChanged() { element.edited(); }
        function onReverseChanged() { element.edited(); }
        function onMinChanged() { element.edited(); }
        function onMaxChanged() { element.edited(); }
        function onLowerboundChanged() { element.edited(); }
        function onUpperboundChanged() { element.edited(); }
        function onDefaultValueChanged() { element.edited(); }
        function onDeviceChanged() { element.edited(); }
        function onSensitivityChanged() { element.edited(); }
        function onSmoothingChanged() { element.edited(); }
        function onDeadBandChanged() { element.edited(); }
        function onNameChanged() { element.edited(); }
    }

    // Right click: the menu with "Remove", for a real wheel only.
    MouseArea {
        id: rightClickArea
        objectName: "rightClickArea"
        anchors.fill: parent
        acceptedButtons: Qt.RightButton
        onClicked: {
            if (!multiSlider.isDummy)
                wheelMenu().popup();
        }
    }

    // The wheel's menu, made the first time it is asked for: twelve knobs'
    // menus, with a "Move to slot" entry per slot each, took a quarter of the
    // window's memory at start-up.
    property Menu rightClickMenu: null

    function wheelMenu() {
        if (!rightClickMenu)
            rightClickMenu = rightClickMenuComponent.createObject(element);
        return rightClickMenu;
    }

    Component {
        id: rightClickMenuComponent

        Menu {
            objectName: "rightClickMenu"
            width: 80

            MenuItem {
                objectName: "removeItem"
                text: qsTr("Remove")
                onTriggered: motionControlEngine.removeCSourceAt(element.slot)
            }

            // Moves the wheel to another slot; a wheel there takes this slot.
            Menu {
                id: moveMenu
                objectName: "moveMenu"
                title: qsTr("Move to slot")

                Instantiator {
                    model: motionControlEngine.getNumOfCSources()
                    delegate: MenuItem {
                        objectName: "moveToSlot" + index
                        text: qsTr("Slot %1").arg(index + 1)
                        enabled: index !== element.slot
                        onTriggered: {
                            var focused = stateManager.focusedSource === element.slot;
                            motionControlEngine.swapCSources(element.slot, index);
                            if (focused)
                                stateManager.focusedSource = -1;
                        }
                    }
                    onObjectAdded: moveMenu.insertItem(index, object)
                    onObjectRemoved: moveMenu.removeItem(object)
                }
            }
        }
    }

    // Header: channel, on/off lamp and name.
    Rectangle {
        id: sliderTopbar
        objectName: "sliderTopbar"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.margins: 1
        height: 22
        border.color: "#aa3f3f3f"
        border.width: 1
        color: (headerArea.containsMouse || headerArea.pressed) ? Qt.darker(element.headerTint, 1.25) : element.headerTint

        Accessible.role: Accessible.Button
        Accessible.name: element.accessibleTitle
        Accessible.description: Logic.headerDescription(multiSlider.isDummy, multiSlider.name, element.slot, multiSlider.isEnabled)
        Accessible.focusable: true
        Accessible.checkable: element.isLive
        Accessible.checked: element.isLive && multiSlider.isEnabled
        Accessible.onPressAction: element.pressHeader()
        Accessible.onToggleAction: element.pressHeader()
        activeFocusOnTab: true
        Keys.onPressed: {
            if (event.key === Qt.Key_Space || event.key === Qt.Key_Return || event.key === Qt.Key_Enter) {
                element.pressHeader();
                event.accepted = true;
            } else {
                element.wheelKey(event);
            }
        }

        FocusRing {}

        Text {
            id: channelLabel
            objectName: "channelLabel"
            anchors.left: parent.left
            anchors.leftMargin: 4
            anchors.verticalCenter: parent.verticalCenter
            visible: element.isLive
            text: "CH " + (multiSlider.channel + 1)
            font.pixelSize: 8
            color: "#1f1f1f"
            Accessible.ignored: true
        }

        Rectangle {
            id: onOffButton
            objectName: "onOffButton"
            readonly property bool checked: element.isLive && multiSlider.isEnabled
            anchors.right: parent.right
            anchors.rightMargin: 5
            anchors.verticalCenter: parent.verticalCenter
            width: 12
            height: 12
            radius: 6
            color: "#2a2a2a"
            border.color: "#1a1a1a"

            Rectangle {
                id: led
                objectName: "led"
                anchors.centerIn: parent
                width: 6
                height: 6
                radius: 3
                color: onOffButton.checked ? "#7dff5a" : "#505050"
            }
        }

        Text {
            id: sliderLabel
            objectName: "sliderLabel"
            anchors.centerIn: parent
            width: Math.min(106, parent.width - 50)
            horizontalAlignment: Text.AlignHCenter
            elide: Text.ElideRight
            font.family: "Verdana"
            font.pixelSize: 11
            color: "#1f1f1f"
            text: multiSlider.isDummy ? qsTr("Empty slot") : multiSlider.name
            Accessible.ignored: true
        }

        MouseArea {
            id: headerArea
            objectName: "headerArea"
            anchors.fill: parent
            hoverEnabled: true
            onReleased: {
                if (containsMouse)
                    element.pressHeader();
            }
        }

        ToolTip.visible: multiSlider.isDummy && headerArea.containsMouse
        ToolTip.delay: 1000
        ToolTip.text: qsTr("Add a wheel on the slot")
    }

    // Reverse and gate indicators.
    Row {
        id: indicators
        anchors.left: parent.left
        anchors.leftMargin: 5
        anchors.top: sliderTopbar.bottom
        anchors.topMargin: 4
        spacing: 4
        visible: element.isLive

        Repeater {
            model: [{
                    "name": "reverseLabel",
                    "text": "R",
                    "lit": multiSlider.isReversed
                }, {
                    "name": "gateLabel",
                    "text": "G",
                    "lit": multiSlider.isGated
                }]
            delegate: Rectangle {
                objectName: modelData.name
                readonly property bool lit: modelData.lit
                width: 13
                height: 13
                radius: 2
                color: lit ? "#ffa500" : "transparent"
                border.color: lit ? "#ffa500" : "#4a4a4a"
                Accessible.ignored: true

                Text {
                    anchors.centerIn: parent
                    text: modelData.text
                    font.pixelSize: 9
                    font.bold: true
                    color: parent.lit ? "#1f1f1f" : "#6a6a6a"
                }
            }
        }
    }

    // The knob itself.
    Item {
        id: knob
        objectName: "knob"
        readonly property real size: Math.max(40, Math.min(element.width * 0.72, element.height - sliderTopbar.height - 28))
        readonly property real radius: size / 2
        width: size
        height: size
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: sliderTopbar.bottom
        anchors.topMargin: 2

        // Track of the whole sweep, with the motion window brighter.
        Canvas {
            id: crown
            objectName: "crown"
            anchors.fill: parent
            antialiasing: true
            onWidthChanged: requestPaint()
            onPaint: {
                var ctx = getContext("2d");
                ctx.reset();
                var r = width / 2 - 7;
                ctx.lineWidth = 3;
                ctx.strokeStyle = "#1c1c1c";
                ctx.beginPath();
                ctx.arc(width / 2, height / 2, r, element.startAngle, element.endAngle, false);
                ctx.stroke();
                if (!element.isLive)
                    return;
                ctx.strokeStyle = "#555555";
                ctx.beginPath();
                ctx.arc(width / 2, height / 2, r, element.angleOf(multiSlider.lowerbound), element.angleOf(multiSlider.upperbound), false);
                ctx.stroke();
            }
        }

        // Pie slice of the motion window in the device's colour.
        Canvas {
            id: face
            objectName: "face"
            anchors.fill: parent
            anchors.margins: 6
            antialiasing: true
            onWidthChanged: requestPaint()
            onPaint: {
                var ctx = getContext("2d");
                ctx.reset();
                if (!element.isLive)
                    return;
                var cx = width / 2, cy = height / 2;
                ctx.globalAlpha = 0.16;
                ctx.fillStyle = element.deviceColor;
                ctx.beginPath();
                ctx.moveTo(cx, cy);
                ctx.arc(cx, cy, width / 2, element.angleOf(multiSlider.lowerbound), element.angleOf(multiSlider.upperbound), false);
                ctx.closePath();
                ctx.fill();
            }
        }

        Rectangle {
            id: disc
            anchors.fill: parent
            anchors.margins: knob.size * 0.17
            radius: width / 2
            border.color: "#404448"
            border.width: 0.5
            gradient: Gradient {
                GradientStop {
                    position: 0
                    color: "#202020"
                }
                GradientStop {
                    position: 1
                    color: "#2a2a30"
                }
            }
        }

        // Live value ring, drawn by the native item on every animation tick.
        VMultiSlider {
            id: multiSlider
            objectName: "multiSlider"
            anchors.fill: parent
            i: element.slot
        }

        // Selecting the knob opens its editor.
        MouseArea {
            id: selectArea
            objectName: "selectArea"
            anchors.fill: parent
            Accessible.role: Accessible.Button
            Accessible.name: qsTr("Edit wheel %1").arg(element.slot + 1)
            Accessible.description: element.isFocused ? qsTr("Press to close the editor") : qsTr("Press to open the editor of this wheel")
            Accessible.ignored: !element.isLive
            Accessible.focusable: element.isLive
            Accessible.onPressAction: element.select()
            // An empty slot has nothing to edit: Tab passes it by.
            activeFocusOnTab: element.isLive
            Keys.onPressed: {
                if (event.key === Qt.Key_Space || event.key === Qt.Key_Return || event.key === Qt.Key_Enter) {
                    element.select();
                    event.accepted = true;
                } else {
                    element.wheelKey(event);
                }
            }
            onClicked: element.select()

            FocusRing {
                radius: width / 2
            }
        }

        Rectangle {
            id: mappingButton
            objectName: "mappingButton"
            property bool flash: false
            anchors.centerIn: parent
            width: disc.width * 0.55
            height: width
            radius: width / 2
            color: mappingArea.pressed ? "#e02b20" : ((mappingArea.containsMouse || flash) ? "#ef3a3a" : "#ff4f44")
            state: (stateManager.isInMappingMode && element.isLive) ? "opened" : "closed"
            Accessible.role: Accessible.Button
            Accessible.name: qsTr("Send mapping message for wheel %1").arg(element.slot + 1)
            Accessible.ignored: !visible
            Accessible.focusable: visible
            Accessible.onPressAction: element.pressMapping(Qt.NoModifier)
            activeFocusOnTab: visible
            Keys.onPressed: {
                if (event.key === Qt.Key_Space || event.key === Qt.Key_Return || event.key === Qt.Key_Enter) {
                    element.pressMapping(event.modifiers);
                    event.accepted = true;
                } else {
                    element.wheelKey(event);
                }
            }

            FocusRing {
                radius: width / 2
            }

            states: [
                State {
                    name: "closed"
                    PropertyChanges {
                        target: mappingButton
                        opacity: 0
                        visible: false
                    }
                },
                State {
                    name: "opened"
                    PropertyChanges {
                        target: mappingButton
                        opacity: 1
                        visible: true
                    }
                }
            ]
            transitions: [
                Transition {
                    to: "opened"
                    SequentialAnimation {
                        PropertyAction {
                            property: "visible"
                        }
                        NumberAnimation {
                            property: "opacity"
                            duration: 200
                        }
                    }
                },
                Transition {
                    to: "closed"
                    SequentialAnimation {
                        NumberAnimation {
                            property: "opacity"
                            duration: 200
                        }
                        PropertyAction {
                            property: "visible"
                        }
                    }
                }
            ]

            Timer {
                interval: 150
                running: mappingButton.flash
                onTriggered: mappingButton.flash = false
            }

            MouseArea {
                id: mappingArea
                anchors.fill: parent
                // Not while fading out: the knob underneath takes the click.
                enabled: mappingButton.state === "opened"
                hoverEnabled: mappingButton.visible
                onClicked: element.pressMapping(mouse.modifiers)
            }
        }

        // Handles on the rim. Each is turned around the knob's centre to the
        // angle of its value; dragging maps the pointer back onto the sweep.
        Repeater {
            model: [{
                    "kind": "default",
                    "name": "defaultSlider",
                    "button": "defaultButton",
                    "w": 10,
                    "h": 5
                }, {
                    "kind": "lower",
                    "name": "lowerboundSlider",
                    "button": "lbButton",
                    "w": 11,
                    "h": 5
                }, {
                    "kind": "upper",
                    "name": "upperboundSlider",
                    "button": "ubButton",
                    "w": 11,
                    "h": 5
                }]

            delegate: Item {
                id: handleHolder
                objectName: modelData.name
                readonly property string kind: modelData.kind
                readonly property real value: kind === "default" ? multiSlider.defaultValue : (kind === "lower" ? multiSlider.lowerbound : multiSlider.upperbound)
                anchors.fill: parent
                visible: element.isLive && !(kind === "default" && multiSlider.defaultValue < 0)
                rotation: Logic.radiansToDegrees(element.angleOf(value))

                Button {
                    id: handle
                    objectName: modelData.button
                    x: knob.size - width - 1
                    y: (knob.size - height) / 2
                    width: modelData.w
                    height: modelData.h
                    padding: 0
                    focusPolicy: Qt.TabFocus
                    hoverEnabled: true
                    opacity: handleHolder.kind === "default" ? 0.6 : 1
                    text: handleHolder.kind === "default" ? qsTr("Default value: ") + Math.round(handleHolder.value) : (handleHolder.kind === "lower" ? qsTr("Motion lowerbound") : qsTr("Motion upperbound"))
                    // For screen readers: the handle as a value in 0..127.
                    readonly property real value: handleHolder.value
                    readonly property real minimumValue: 0
                    readonly property real maximumValue: 127
                    readonly property real stepSize: 1
                    ToolTip.text: text
                    ToolTip.delay: 600
                    ToolTip.visible: hovered && !element.dragging
                    Accessible.role: Accessible.Slider
                    Accessible.name: qsTr("Wheel %1 %2, %3").arg(element.slot + 1).arg(handleHolder.kind === "default" ? qsTr("default value") : (handleHolder.kind === "lower" ? qsTr("motion low bound") : qsTr("motion high bound"))).arg(Math.round(handleHolder.value))
                    Accessible.onIncreaseAction: element.dragHandle(handleHolder.kind, handleHolder.value + 1, false)
                    Accessible.onDecreaseAction: element.dragHandle(handleHolder.kind, handleHolder.value - 1, false)
                    // Qt Quick Controls put their own role back when a
                    // screen reader connects.
                    Accessible.onRoleChanged: {
                        if (Accessible.role !== Accessible.Slider)
                            Accessible.role = Accessible.Slider;
                    }
                    // Arrows step by one (Shift too), Page Up and Page Down
                    // by ten, Home and End go to the ends.
                    Keys.onPressed: {
                        var v = handleHolder.value;
                        switch (event.key) {
                        case Qt.Key_Up:
                        case Qt.Key_Right:
                            v += 1;
                            break;
                        case Qt.Key_Down:
                        case Qt.Key_Left:
                            v -= 1;
                            break;
                        case Qt.Key_PageUp:
                            v += 10;
                            break;
                        case Qt.Key_PageDown:
                            v -= 10;
                            break;
                        case Qt.Key_Home:
                            v = 0;
                            break;
                        case Qt.Key_End:
                            v = 127;
                            break;
                        default:
                            element.wheelKey(event);
                            return;
                        }
                        element.dragHandle(handleHolder.kind, Math.max(0, Math.min(127, v)), false);
                        event.accepted = true;
                    }
                    contentItem: Item {}
                    FocusRing {
                        inset: -3
                    }
                    background: Rectangle {
                        radius: 1.5
                        color: handleHolder.kind === "default" ? "#ffa500" : (handle.pressed ? "#ffffff" : "#d8d8d8")
                        border.color: "#101010"
                        border.width: 0.5
                    }

                    MouseArea {
                        anchors.fill: parent
                        anchors.margins: -3
                        preventStealing: true
                        onPressed: element.dragging = true
                        onReleased: element.dragging = false
                        onCanceled: element.dragging = false
                        onPositionChanged: {
                            var p = mapToItem(knob, mouse.x, mouse.y);
                            var v = Logic.pointToValue(p.x, p.y, knob.radius, knob.radius, element.startAngle, element.endAngle);
                            element.dragHandle(handleHolder.kind, v, (mouse.modifiers & Qt.ShiftModifier) !== 0);
                        }
                    }
                }
            }
        }

        // Output range at the ends of the motion window.
        Repeater {
            model: ["min", "max"]
            delegate: Text {
                objectName: modelData + "Label"
                readonly property real a: element.angleOf(modelData === "min" ? multiSlider.lowerbound : multiSlider.upperbound)
                readonly property real r: knob.radius + 4
                visible: element.isLive
                x: knob.radius + Math.cos(a) * r - width / 2
                y: knob.radius + Math.sin(a) * r - height / 2
                text: Math.round(modelData === "min" ? multiSlider.min : multiSlider.max)
                font.pixelSize: 8
                color: "#a8a8a8"
                Accessible.ignored: true
            }
        }
    }

    // Caption: axis letter and event.
    Item {
        id: grid
        objectName: "grid"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: 40
        visible: element.isLive

        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 5
            spacing: 5

            Rectangle {
                width: 14
                height: 14
                radius: 2
                color: "transparent"
                border.color: element.deviceColor
                Text {
                    objectName: "axisLabel"
                    anchors.centerIn: parent
                    text: ["X", "Y", "Z", "G"][multiSlider.source] || "?"
                    font.pixelSize: 9
                    font.bold: true
                    color: "#d0d0d0"
                }
            }
            Text {
                objectName: "eventLabel"
                anchors.verticalCenter: parent.verticalCenter
                text: Logic.knobEventText(multiSlider.eventNumber, MidiTypes.commonCCs, MidiTypes.commonCCNames)
                font.pixelSize: 10
                color: "#d0d0d0"
            }
        }
    }
}
