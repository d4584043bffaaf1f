// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5
import QtQml 2.14
import "MidiTypes.js" as MidiTypes
import "PanelLogic.js" as Logic

// Editor of the focused wheel. It slides up from the bottom edge when a knob
// is selected and down again when the focus is cleared.
Item {
    id: element

    property bool isContinuous: true
    property int index: 0
    // The VMultiSlider being edited, and the knob showing it (for the cable).
    property var multiSlider: null
    property var sourceItem: null
    readonly property bool hasSource: multiSlider !== null && multiSlider !== undefined
    // Bumped whenever the bands' names may have changed places or text: a
    // band moved up or down, or renamed in the device panel (which is shown
    // only while this editor is closed).
    property int deviceNamesRevision: 0
    // The channel and event menus, made the first time each is asked for
    // (some 150 entries, as much memory as the twelve knobs' own menus).
    property Menu chMenu: null
    property Menu ccMenu: null
    // The event menu and its two submenus, once made.
    readonly property var eventMenus: ccMenu ? [ccMenu, ccMenu.otherCC1, ccMenu.otherCC2] : []

    function channelMenu() {
        if (!chMenu)
            chMenu = chMenuComponent.createObject(element);
        return chMenu;
    }

    function eventMenu() {
        if (!ccMenu)
            ccMenu = ccMenuComponent.createObject(element);
        return ccMenu;
    }

    // Copies the wheel's settings into the controls.
    function load() {
        if (!multiSlider)
            return;
        index = multiSlider.i;
        nameField.text = multiSlider.name;
        reverseSwitch.checked = multiSlider.isReversed;
        gateSwitch.checked = multiSlider.isGated;
        sensitivityKnob.value = multiSlider.sensitivity;
        minKnob.value = multiSlider.min;
        maxKnob.value = multiSlider.max;
        loadDefault();
        loadSmoothing();
    }

    function loadSmoothing() {
        if (!multiSlider)
            return;
        smoothSwitch.checked = multiSlider.smoothing;
        if (multiSlider.smoothing)
            cutoffKnob.value = multiSlider.smoothingMinCutoff;
        speedKnob.value = multiSlider.smoothingBeta;
        deadBandKnob.value = multiSlider.deadBand;
    }

    function loadDefault() {
        if (!multiSlider)
            return;
        defaultKnob.value = Math.round(multiSlider.defaultValue);
        defaultKnob.on = multiSlider.defaultValue >= 0;
    }

    function setMinFromKnob(value) {
        var v = Logic.limitMin(Math.round(value), multiSlider.max);
        multiSlider.setMin(v);
        minKnob.value = multiSlider.min;
    }

    function setMaxFromKnob(value) {
        var v = Logic.limitMax(Math.round(value), multiSlider.min);
        multiSlider.setMax(v);
        maxKnob.value = multiSlider.max;
    }

    function setDefaultFromKnob(value) {
        if (!defaultKnob.on)
            return;
        multiSlider.setDefaultValue(Logic.limitDefault(Math.round(value), multiSlider.min, multiSlider.max));
    }

    // Enables only the events not yet used on this wheel's channel by
    // another wheel.
    function refreshEventMenu() {
        eventMenu();
        var menus = eventMenus;
        for (var m = 0; m < menus.length; ++m) {
            var menu = menus[m];
            for (var i = 0; i < menu.count; ++i) {
                var item = menu.itemAt(i);
                if (item && item.evtNumber !== undefined && item.evtNumber >= 0)
                    item.enabled = !motionControlEngine.eventNumberExisted(item.evtNumber, multiSlider.channel) || item.evtNumber === multiSlider.eventNumber;
            }
        }
    }

    function chooseEvent(n) {
        if (multiSlider)
            multiSlider.setEventNumber(n);
    }

    height: 210
    y: parent ? parent.height : 0
    visible: false
    state: "closed"

    onMultiSliderChanged: load()
    // The cable follows the knob being edited, also when another knob is
    // chosen while the editor stays open.
    onSourceItemChanged: cableCanvas.requestPaint()

    states: [
        State {
            name: "closed"
            PropertyChanges {
                target: element
                y: element.parent ? element.parent.height : 0
            }
        },
        State {
            name: "opened"
            PropertyChanges {
                target: element
                y: element.parent ? element.parent.height - element.height : 0
            }
        }
    ]
    transitions: [
        Transition {
            to: "opened"
            SequentialAnimation {
                PropertyAction {
                    target: element
                    property: "visible"
                    value: true
                }
                NumberAnimation {
                    property: "y"
                    duration: 80
                }
                ScriptAction {
                    script: cableCanvas.requestPaint()
                }
            }
        },
        Transition {
            to: "closed"
            SequentialAnimation {
                NumberAnimation {
                    property: "y"
                    duration: 80
                }
                PropertyAction {
                    target: element
                    property: "visible"
                    value: false
                }
            }
        }
    ]

    Connections {
        target: stateManager
        function onFocusedSourceChanged() {
            element.state = stateManager.focusedSource >= 0 ? "opened" : "closed";
            if (stateManager.focusedSource >= 0) {
                element.deviceNamesRevision++;
                element.load();
                cableCanvas.requestPaint();
            }
        }
    }

    Connections {
        target: motionControlEngine
        ignoreUnknownSignals: true
        function onDeviceSwapped() {
            element.deviceNamesRevision++;
        }
    }

    Connections {
        target: element.hasSource ? element.multiSlider : null
        ignoreUnknownSignals: true
        function onDefaultValueChanged() {
            if (element.visible)
                element.loadDefault();
        }
        function onMinChanged() {
            if (element.visible)
                element.loadDefault();
        }
        function onMaxChanged() {
            if (element.visible)
                element.loadDefault();
        }
        function onNameChanged() {
            if (!nameField.activeFocus)
                nameField.text = element.multiSlider.name;
        }
    }

    // Cable from the knob being edited down to the editor.
    Canvas {
        id: cableCanvas
        objectName: "cableCanvas"
        property real prevX: 0
        property real prevY: 0
        property real posX: 0
        property real posY: 0
        x: 0
        y: -element.y
        width: element.width
        height: Math.max(1, element.y + 22)
        visible: element.state === "opened" && element.sourceItem !== null
        z: 5
        onPaint: {
            var ctx = getContext("2d");
            ctx.reset();
            if (!element.sourceItem)
                return;
            var from = element.sourceItem.mapToItem(cableCanvas, element.sourceItem.width / 2, element.sourceItem.height - 4);
            prevX = from.x;
            prevY = from.y;
            posX = width / 2;
            posY = height - 10;
            ctx.lineWidth = 6;
            ctx.lineCap = "round";
            ctx.strokeStyle = "#aaffa500";
            ctx.beginPath();
            ctx.moveTo(prevX, prevY);
            var mid = (prevY + posY) / 2;
            ctx.bezierCurveTo(prevX, mid, posX, mid, posX, posY);
            ctx.stroke();
        }
    }

    Rectangle {
        anchors.fill: parent
        color: "#2a2a2a"
        border.color: "#141414"
    }

    Rectangle {
        id: controlPanelTopBar
        objectName: "controlPanelTopBar"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        height: 20
        color: "#801f1f1f"

        TextField {
            id: nameField
            objectName: "nameField"
            anchors.centerIn: parent
            width: 220
            height: 18
            padding: 0
            horizontalAlignment: Text.AlignHCenter
            font.family: "Verdana"
            font.pixelSize: 11
            font.bold: true
            font.capitalization: Font.AllUppercase
            color: "#e0e0e0"
            selectByMouse: true
            maximumLength: 32
            background: Rectangle {
                color: nameField.activeFocus ? "#1a1a1a" : "transparent"
                radius: 2
            }
            Accessible.name: qsTr("Wheel name")
            Accessible.description: qsTr("Type a new name and press Return")
            onAccepted: {
                if (text.length > 0 && element.hasSource)
                    element.multiSlider.setName(text);
                focus = false;
            }
        }
    }

    Row {
        id: panelRow
        anchors.top: controlPanelTopBar.bottom
        anchors.topMargin: 6
        anchors.horizontalCenter: parent.horizontalCenter
        height: 178
        spacing: 6

        VPanel {
            id: devicePanel
            objectName: "devicePanel"
            label: "DEVICE"
            labelY: 8
            width: 116
            height: parent.height

            Column {
                x: 10
                y: 24
                spacing: 8

                Repeater {
                    id: deviceRadios
                    model: 4
                    delegate: VRadioButton {
                        objectName: "deviceRadio" + index
                        width: 96
                        property int deviceCount: motionControlEngine.num_device
                        text: {
                            deviceCount;
                            element.deviceNamesRevision;
                            return motionControlEngine.getDeviceNameAt(index);
                        }
                        enabled: index < deviceCount
                        checked: element.hasSource && element.multiSlider.deviceIndex === index
                        autoExclusive: false
                        Accessible.name: qsTr("Attach to band %1").arg(index + 1)
                        Accessible.description: text
                        onClicked: {
                            if (element.hasSource)
                                element.multiSlider.setDevice(index);
                            checked = Qt.binding(function () {
                                return element.hasSource && element.multiSlider.deviceIndex === index;
                            });
                        }
                    }
                }
            }
        }

        VPanel {
            id: sourcePanel
            objectName: "sourcePanel"
            label: "AXIS"
            labelY: 8
            width: 80
            height: parent.height

            Column {
                x: 14
                y: 24
                spacing: 8

                Repeater {
                    model: ["X", "Y", "Z", "G"]
                    delegate: VRadioButton {
                        objectName: "axisRadio" + index
                        text: modelData
                        checked: element.hasSource && element.multiSlider.source === index
                        autoExclusive: false
                        Accessible.name: modelData + qsTr(" axis")
                        onClicked: {
                            if (element.hasSource)
                                element.multiSlider.setSource(index);
                            checked = Qt.binding(function () {
                                return element.hasSource && element.multiSlider.source === index;
                            });
                        }
                    }
                }
            }
        }

        Column {
            width: 130
            height: parent.height
            spacing: 4

            VPanel {
                id: controlPanel
                objectName: "controlPanel"
                label: "CONTROL"
                labelY: 8
                width: parent.width
                height: 56

                Column {
                    x: 14
                    y: 16
                    spacing: 6

                    VSwitch {
                        id: reverseSwitch
                        objectName: "reverseSwitch"
                        height: 16
                        text: qsTr("Reverse")
                        Accessible.name: qsTr("Reverse")
                        onSwitchChanged: {
                            if (element.hasSource)
                                element.multiSlider.setReversed(checked);
                        }
                    }
                    VSwitch {
                        id: gateSwitch
                        objectName: "gateSwitch"
                        height: 16
                        text: qsTr("Gate")
                        Accessible.name: qsTr("Gate")
                        onSwitchChanged: {
                            if (element.hasSource)
                                element.multiSlider.setGated(checked);
                        }
                    }
                }
            }

            VPanel {
                id: rangePanel
                objectName: "rangePanel"
                label: "RANGE"
                labelY: 8
                width: parent.width
                height: parent.height - controlPanel.height - parent.spacing

                Grid {
                    anchors.horizontalCenter: parent.horizontalCenter
                    y: 16
                    columns: 2
                    rowSpacing: 4
                    columnSpacing: 16

                    VKnob {
                        id: sensitivityKnob
                        objectName: "sensitivityKnob"
                        label: "sens"
                        showValue: true
                        Accessible.name: qsTr("Sensitivity, %1").arg(valueText)
                        from: 0
                        to: 2
                        defaultValue: 1
                        value: 1
                        ToolTip.text: qsTr("Sensitivity")
                        onMoved: {
                            if (element.hasSource)
                                element.multiSlider.setSensivitiy(value);
                        }
                    }
                    VKnob {
                        id: defaultKnob
                        objectName: "defaultKnob"
                        label: on ? "default" : "off"
                        showValue: true
                        Accessible.name: on ? qsTr("Default value, %1").arg(valueText) : qsTr("Default value, off")
                        from: -1
                        to: 127
                        stepSize: 1
                        useOnOffState: true
                        defaultValue: 0
                        ToolTip.text: qsTr("Default value, right click to switch on/off")
                        // Set while the press that switched the default on
                        // lasts: that press does not also turn the knob.
                        property bool switchingOn: false
                        onMoved: {
                            if (!switchingOn)
                                element.setDefaultFromKnob(value);
                        }
                        onRightClicked: {
                            // A right click only ever switches the default off;
                            // pressing the knob switches it on again.
                            on = false;
                            if (element.hasSource)
                                element.multiSlider.setDefaultValue(-1);
                        }
                        onPressedChanged: {
                            if (pressed && !on && element.hasSource) {
                                switchingOn = true;
                                on = true;
                                element.multiSlider.setDefaultValue(Logic.limitDefault(defaultValue, element.multiSlider.min, element.multiSlider.max));
                                element.loadDefault();
                            } else if (!pressed && switchingOn) {
                                switchingOn = false;
                                element.loadDefault();
                            }
                        }
                    }
                    VKnob {
                        id: minKnob
                        objectName: "minKnob"
                        label: "min"
                        showValue: true
                        Accessible.name: qsTr("Minimum output value, %1").arg(valueText)
                        from: 0
                        to: 127
                        stepSize: 1
                        defaultValue: 0
                        ToolTip.text: qsTr("Min Midi output value")
                        onMoved: {
                            if (element.hasSource)
                                element.setMinFromKnob(value);
                        }
                    }
                    VKnob {
                        id: maxKnob
                        objectName: "maxKnob"
                        label: "max"
                        showValue: true
                        Accessible.name: qsTr("Maximum output value, %1").arg(valueText)
                        from: 0
                        to: 127
                        stepSize: 1
                        defaultValue: 127
                        value: 127
                        ToolTip.text: qsTr("Max Midi output value")
                        onMoved: {
                            if (element.hasSource)
                                element.setMaxFromKnob(value);
                        }
                    }
                }
            }
        }

        VPanel {
            id: smoothPanel
            objectName: "smoothPanel"
            label: "SMOOTH"
            labelY: 8
            width: 104
            height: parent.height

            Column {
                anchors.horizontalCenter: parent.horizontalCenter
                y: 18
                spacing: 6

                VSwitch {
                    id: smoothSwitch
                    objectName: "smoothSwitch"
                    height: 16
                    text: qsTr("Smooth")
                    Accessible.name: qsTr("Smoothing")
                    Accessible.description: qsTr("Smooths the jitter of the sensor; a fast move still passes at once")
                    onSwitchChanged: {
                        if (!element.hasSource)
                            return;
                        element.multiSlider.setSmoothing(checked);
                        if (checked)
                            element.multiSlider.setSmoothingMinCutoff(cutoffKnob.value);
                        element.loadSmoothing();
                    }
                }

                Grid {
                    anchors.horizontalCenter: parent.horizontalCenter
                    columns: 2
                    rowSpacing: 4
                    columnSpacing: 12

                    VKnob {
                        id: cutoffKnob
                        objectName: "cutoffKnob"
                        label: "cut"
                        showValue: true
                        enabled: smoothSwitch.checked
                        Accessible.name: qsTr("Smoothing cutoff, %1 hertz").arg(valueText)
                        from: 0.1
                        to: 10
                        defaultValue: 1
                        value: 1
                        ToolTip.text: qsTr("Smoothing at rest: lower cuts more jitter (hertz)")
                        onMoved: {
                            if (element.hasSource && smoothSwitch.checked)
                                element.multiSlider.setSmoothingMinCutoff(value);
                        }
                    }
                    VKnob {
                        id: speedKnob
                        objectName: "speedKnob"
                        label: "speed"
                        showValue: true
                        enabled: smoothSwitch.checked
                        Accessible.name: qsTr("Smoothing speed response, %1").arg(valueText)
                        from: 0
                        to: 5
                        defaultValue: 1
                        value: 1
                        ToolTip.text: qsTr("How fast a quick move opens the smoothing up")
                        onMoved: {
                            if (element.hasSource)
                                element.multiSlider.setSmoothingBeta(value);
                        }
                    }
                    VKnob {
                        id: deadBandKnob
                        objectName: "deadBandKnob"
                        label: "dead"
                        showValue: true
                        Accessible.name: qsTr("Dead band, %1 steps").arg(valueText)
                        from: 0
                        to: 10
                        stepSize: 1
                        defaultValue: 0
                        ToolTip.text: qsTr("Output steps a value must move before it is sent")
                        onMoved: {
                            if (element.hasSource)
                                element.multiSlider.setDeadBand(Math.round(value));
                        }
                    }
                }
            }
        }

        VPanel {
            id: midiPannel
            objectName: "midiPannel"
            label: "MIDI"
            labelY: 8
            width: 120
            height: parent.height

            Column {
                anchors.horizontalCenter: parent.horizontalCenter
                y: 26
                spacing: 8

                VButton {
                    id: channelButton
                    objectName: "channelButton"
                    width: 96
                    text: "Channel " + ((element.hasSource ? element.multiSlider.channel : 0) + 1)
                    Accessible.name: qsTr("MIDI channel, %1").arg((element.hasSource ? element.multiSlider.channel : 0) + 1)
                    Accessible.description: qsTr("MIDI channel of this wheel, press to choose another")
                    onClicked: element.channelMenu().popup(channelButton, 0, channelButton.height)
                }
                VButton {
                    id: eventButton
                    objectName: "eventButton"
                    width: 96
                    text: Logic.eventText(element.hasSource ? element.multiSlider.eventNumber : 1)
                    Accessible.name: qsTr("MIDI event, %1").arg(text)
                    Accessible.description: qsTr("MIDI event of this wheel, press to choose another")
                    onClicked: {
                        element.refreshEventMenu();
                        element.eventMenu().popup(eventButton, 0, eventButton.height);
                    }
                }
                // A patch can still name a channel-mode controller: say why
                // the wheel is silent.
                Text {
                    id: channelModeNote
                    objectName: "channelModeNote"
                    width: 96
                    visible: element.hasSource && MidiTypes.isChannelModeCC(element.multiSlider.eventNumber)
                    wrapMode: Text.WordWrap
                    horizontalAlignment: Text.AlignHCenter
                    font.pixelSize: 10
                    color: "#ffb070"
                    text: qsTr("Channel mode: sends nothing")
                    Accessible.role: Accessible.StaticText
                    Accessible.name: qsTr("This wheel sends nothing: controllers 120 to 127 are channel-mode messages. Choose another event.")
                }
            }
        }
    }

    Component {
        id: chMenuComponent

        Menu {
            id: channelEntries
            objectName: "chMenu"

            Instantiator {
                model: 16
                delegate: MenuItem {
                    objectName: "channelItem" + index
                    text: "Channel " + (index + 1)
                    onTriggered: {
                        if (element.hasSource)
                            element.multiSlider.setChannel(index);
                    }
                }
                onObjectAdded: channelEntries.insertItem(index, object)
                onObjectRemoved: channelEntries.removeItem(object)
            }
        }
    }

    Component {
        id: ccMenuComponent

        Menu {
            id: eventEntries
            objectName: "ccMenu"

            property alias otherCC1: otherCC1
            property alias otherCC2: otherCC2

            MenuItem {
                objectName: "pitchbendItem"
                property int evtNumber: 200
                text: "Pitchbend"
                onTriggered: element.chooseEvent(evtNumber)
            }
            MenuItem {
                objectName: "aftertouchItem"
                property int evtNumber: 201
                text: "Aftertouch"
                onTriggered: element.chooseEvent(evtNumber)
            }
            MenuSeparator {}

            Instantiator {
                model: MidiTypes.commonCCs
                delegate: MenuItem {
                    objectName: "ccItem" + modelData
                    property int evtNumber: modelData
                    text: Logic.eventMenuText(modelData, MidiTypes.ccList)
                    onTriggered: element.chooseEvent(evtNumber)
                }
                onObjectAdded: eventEntries.insertItem(3 + index, object)
                onObjectRemoved: eventEntries.removeItem(object)
            }

            Menu {
                id: otherCC1
                objectName: "otherCC1"
                title: "Other CC 0-63"

                Instantiator {
                    model: MidiTypes.uncommonCC0_63
                    delegate: MenuItem {
                        objectName: "ccItem" + modelData
                        property int evtNumber: modelData
                        text: Logic.eventMenuText(modelData, MidiTypes.ccList)
                        onTriggered: element.chooseEvent(evtNumber)
                    }
                    onObjectAdded: otherCC1.insertItem(index, object)
                    onObjectRemoved: otherCC1.removeItem(object)
                }
            }

            Menu {
                id: otherCC2
                objectName: "otherCC2"
                title: "Other CC 64-119"

                Instantiator {
                    model: MidiTypes.uncommonCC64_119
                    delegate: MenuItem {
                        objectName: "ccItem" + modelData
                        property int evtNumber: modelData
                        text: Logic.eventMenuText(modelData, MidiTypes.ccList)
                        onTriggered: element.chooseEvent(evtNumber)
                    }
                    onObjectAdded: otherCC2.insertItem(index, object)
                    onObjectRemoved: otherCC2.removeItem(object)
                }
            }
        }
    }
}
