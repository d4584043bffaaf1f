// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Window 2.14
import QtQuick.Controls 2.5
import "MidiTypes.js" as MidiTypes
import "PanelLogic.js" as Logic

// Editor of one wheel made of standard controls, each named for screen
// readers; used instead of the knob editor in accessibility mode.
Window {
    id: accessibleConfig

    // The VMultiSlider being edited.
    property var multiSlider: null
    readonly property bool hasSource: multiSlider !== null && multiSlider !== undefined
    readonly property var axisNames: ["X", "Y", "Z", "G"]

    // Copies every setting of the wheel into the controls.
    function load() {
        if (!multiSlider)
            return;
        var names = [];
        var n = motionControlEngine.getNumOfDevice();
        for (var i = 0; i < n; ++i)
            names.push(String(motionControlEngine.getDeviceNameAt(i)).toLowerCase());
        deviceList.model = names;
        deviceList.currentIndex = multiSlider.deviceIndex;
        axisList.currentIndex = multiSlider.source;
        bypassButton.checked = !multiSlider.isEnabled;
        channelBox.value = multiSlider.channel + 1;
        eventField.text = "";
        lbSliderRow.slider.value = multiSlider.lowerbound;
        ubSliderRow.slider.value = multiSlider.upperbound;
        senSliderRow.slider.value = Math.round(multiSlider.sensitivity * 10);
        minSliderRow.slider.value = multiSlider.min;
        maxSliderRow.slider.value = multiSlider.max;
        dftSliderRow.slider.value = multiSlider.defaultValue;
        reverseCheckbox.checked = multiSlider.isReversed;
        gateCheckbox.checked = multiSlider.isGated;
        smoothCheckbox.checked = multiSlider.smoothing;
        if (multiSlider.smoothing)
            cutoffSliderRow.slider.value = Math.round(multiSlider.smoothingMinCutoff * 10);
        speedSliderRow.slider.value = Math.round(multiSlider.smoothingBeta * 10);
        deadBandSliderRow.slider.value = multiSlider.deadBand;
    }

    // A labelled slider; the label is for sighted users, the slider carries
    // the accessible name.
    component SliderRow: Row {
        property alias slider: rowSlider
        // Accessible name of the slider, and the shorter caption shown.
        property string label: ""
        property string caption: label
        signal moved(real value)
        spacing: 8
        height: 22

        Label {
            width: 110
            height: 22
            verticalAlignment: Text.AlignVCenter
            text: parent.caption
            elide: Text.ElideRight
            color: "#d0d0d0"
            font.pixelSize: 10
            Accessible.ignored: true
        }
        Slider {
            id: rowSlider
            width: 150
            height: 22
            stepSize: 1
            Accessible.name: parent.label
            onMoved: parent.moved(value)
        }
        Label {
            width: 24
            height: 22
            verticalAlignment: Text.AlignVCenter
            text: Math.round(rowSlider.value)
            color: "#a0a0a0"
            font.pixelSize: 10
            Accessible.ignored: true
        }
    }

    // The motion window keeps lowerbound <= upperbound, the output range
    // min < max, and the default within the range or off (-1), as the knob
    // editor does.
    function setLowerbound(v) {
        if (!multiSlider)
            return;
        multiSlider.setLowerbound(Logic.limitLowerbound(v, multiSlider.upperbound));
        lbSliderRow.slider.value = multiSlider.lowerbound;
    }
    function setUpperbound(v) {
        if (!multiSlider)
            return;
        multiSlider.setUppberbound(Logic.limitUpperbound(v, multiSlider.lowerbound));
        ubSliderRow.slider.value = multiSlider.upperbound;
    }
    function setSensitivity(v) {
        if (multiSlider)
            multiSlider.setSensivitiy(v / 10);
    }
    function setMin(v) {
        if (!multiSlider)
            return;
        multiSlider.setMin(Logic.limitMin(v, multiSlider.max));
        minSliderRow.slider.value = multiSlider.min;
    }
    function setMax(v) {
        if (!multiSlider)
            return;
        multiSlider.setMax(Logic.limitMax(v, multiSlider.min));
        maxSliderRow.slider.value = multiSlider.max;
    }
    function setDefault(v) {
        if (!multiSlider)
            return;
        multiSlider.setDefaultValue(v < 0 ? -1 : Logic.limitDefault(v, multiSlider.min, multiSlider.max));
        dftSliderRow.slider.value = multiSlider.defaultValue;
    }

    // Smoothing: the cutoff and speed sliders count tenths.
    function setSmoothing(on) {
        if (!multiSlider)
            return;
        multiSlider.setSmoothing(on);
        if (on)
            multiSlider.setSmoothingMinCutoff(cutoffSliderRow.slider.value / 10);
        deadBandSliderRow.slider.value = multiSlider.deadBand;
    }
    function setSmoothingCutoff(v) {
        if (multiSlider && multiSlider.smoothing)
            multiSlider.setSmoothingMinCutoff(v / 10);
    }

    // The event field: a controller below 120 (120-127 are channel-mode
    // messages), 200 or 201; the field is emptied once the number is taken.
    function acceptEvent(text) {
        var n = Logic.parseEventNumber(text);
        if (n < 0 || MidiTypes.isChannelModeCC(n) || !multiSlider)
            return false;
        multiSlider.setEventNumber(n);
        eventField.text = "";
        return true;
    }

    width: 350
    height: 620
    minimumWidth: 350
    minimumHeight: 620
    modality: Qt.ApplicationModal
    flags: Qt.Dialog
    title: hasSource ? multiSlider.name + qsTr(" configuration") : qsTr("Wheel configuration")

    Shortcut {
        sequence: "Escape"
        onActivated: accessibleConfig.close()
    }
    color: "#2f2f2f"

    onMultiSliderChanged: load()
    onVisibleChanged: {
        if (visible)
            load();
    }

    Column {
        id: column
        anchors.fill: parent
        anchors.margins: 24
        spacing: 9

        Label {
            id: titleLabel
            objectName: "titleLabel"
            width: parent.width
            text: (accessibleConfig.hasSource ? accessibleConfig.multiSlider.name : "") + " configuration"
            font.pixelSize: 16
            color: "#f0f0f0"
            elide: Text.ElideRight
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }

        Row {
            spacing: 8
            height: 24

            Button {
                id: bypassButton
                objectName: "bypassButton"
                width: 94
                height: 24
                checkable: true
                text: qsTr("Disable")
                Accessible.name: qsTr("Disable")
                onToggled: {
                    if (accessibleConfig.hasSource)
                        accessibleConfig.multiSlider.setEnable(!checked);
                }
            }
            Button {
                id: removeButton
                objectName: "removeButton"
                width: 94
                height: 24
                text: qsTr("Remove")
                Accessible.name: qsTr("Remove")
                onClicked: {
                    if (accessibleConfig.hasSource)
                        motionControlEngine.removeCSourceAt(accessibleConfig.multiSlider.i);
                    accessibleConfig.close();
                }
            }
            Button {
                objectName: "closeButton"
                width: 94
                height: 24
                text: qsTr("Close")
                Accessible.name: qsTr("Close the wheel window")
                onClicked: accessibleConfig.close()
            }
        }

        Row {
            spacing: 8
            Label {
                width: 110
                height: 24
                verticalAlignment: Text.AlignVCenter
                text: qsTr("Device")
                color: "#d0d0d0"
                Accessible.ignored: true
            }
            ComboBox {
                id: deviceList
                objectName: "deviceList"
                // The shown text repeats the box's own value: one control.
                Component.onCompleted: contentItem.Accessible.ignored = true
                width: 180
                height: 24
                Accessible.name: qsTr("Device attachment")
                Accessible.description: qsTr("this wheel is attached to ") + currentText
                onActivated: {
                    if (accessibleConfig.hasSource)
                        accessibleConfig.multiSlider.setDevice(index);
                }
            }
        }

        Row {
            spacing: 8
            Label {
                width: 110
                height: 24
                verticalAlignment: Text.AlignVCenter
                text: qsTr("Axis")
                color: "#d0d0d0"
                Accessible.ignored: true
            }
            ComboBox {
                id: axisList
                objectName: "axisList"
                // The shown text repeats the box's own value: one control.
                Component.onCompleted: contentItem.Accessible.ignored = true
                width: 180
                height: 24
                model: accessibleConfig.axisNames
                Accessible.name: qsTr("Axis")
                Accessible.description: qsTr("this wheel is on ") + currentText + qsTr(" axis.")
                onActivated: {
                    if (accessibleConfig.hasSource)
                        accessibleConfig.multiSlider.setSource(currentIndex);
                }
            }
        }

        Row {
            spacing: 8
            Label {
                width: 110
                height: 24
                verticalAlignment: Text.AlignVCenter
                text: qsTr("MIDI channel")
                color: "#d0d0d0"
                Accessible.ignored: true
            }
            SpinBox {
                id: channelBox
                objectName: "channelBox"
                width: 180
                height: 24
                from: 1
                to: 16
                stepSize: 1
                editable: true
                Accessible.name: qsTr("MIDI Channel")
                Accessible.description: qsTr("MIDI Channel, currently set to channel ") + value
                onValueModified: {
                    if (accessibleConfig.hasSource)
                        accessibleConfig.multiSlider.setChannel(value - 1);
                }
            }
        }

        Row {
            spacing: 8
            Label {
                width: 110
                height: 24
                verticalAlignment: Text.AlignVCenter
                text: qsTr("MIDI event")
                color: "#d0d0d0"
                Accessible.ignored: true
            }
            TextField {
                id: eventField
                objectName: "eventField"
                width: 180
                height: 24
                placeholderText: Logic.eventText(accessibleConfig.hasSource ? accessibleConfig.multiSlider.eventNumber : 1)
                inputMethodHints: Qt.ImhDigitsOnly
                validator: IntValidator {
                    bottom: 0
                    top: 201
                }
                Accessible.name: qsTr("Midi CC, currently set to ") + Logic.eventText(accessibleConfig.hasSource ? accessibleConfig.multiSlider.eventNumber : 1)
                Accessible.description: qsTr("Type in a controller from 0 to 119, 200 for pitchbend, 201 for aftertouch")
                onAccepted: accessibleConfig.acceptEvent(text)
            }
        }
        Label {
            id: channelModeNote
            objectName: "channelModeNote"
            width: parent.width
            visible: accessibleConfig.hasSource && MidiTypes.isChannelModeCC(accessibleConfig.multiSlider.eventNumber)
            wrapMode: Text.WordWrap
            color: "#ffb070"
            text: qsTr("Controllers 120 to 127 are channel-mode messages: this wheel sends nothing. Choose another event.")
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }

        SliderRow {
            id: lbSliderRow
            caption: qsTr("Motion low")
            label: qsTr("Motion lowerbound")
            slider.objectName: "lbSlider"
            slider.from: 0
            slider.to: 127
            slider.snapMode: Slider.NoSnap
            onMoved: accessibleConfig.setLowerbound(value)
        }
        SliderRow {
            id: ubSliderRow
            caption: qsTr("Motion high")
            label: qsTr("Motion upperbound")
            slider.objectName: "ubSlider"
            slider.from: 0
            slider.to: 127
            slider.snapMode: Slider.NoSnap
            onMoved: accessibleConfig.setUpperbound(value)
        }
        SliderRow {
            id: senSliderRow
            caption: qsTr("Sensitivity")
            label: qsTr("Sensitivity")
            slider.objectName: "senSlider"
            slider.from: 0
            slider.to: 20
            slider.snapMode: Slider.SnapAlways
            onMoved: accessibleConfig.setSensitivity(value)
        }
        SliderRow {
            id: minSliderRow
            caption: qsTr("Min output")
            label: qsTr("Output value at lowerbound")
            slider.objectName: "minSlider"
            slider.from: 0
            slider.to: 127
            slider.snapMode: Slider.SnapAlways
            onMoved: accessibleConfig.setMin(value)
        }
        SliderRow {
            id: maxSliderRow
            caption: qsTr("Max output")
            label: qsTr("Output value at Upperbound")
            slider.objectName: "maxSlider"
            slider.from: 0
            slider.to: 127
            slider.snapMode: Slider.SnapAlways
            onMoved: accessibleConfig.setMax(value)
        }
        SliderRow {
            id: dftSliderRow
            caption: qsTr("Default value")
            label: qsTr("Default value when motion goes out of range")
            slider.objectName: "dftSlider"
            slider.from: -1
            slider.to: 127
            slider.snapMode: Slider.SnapAlways
            onMoved: accessibleConfig.setDefault(value)
        }
        CheckBox {
            id: reverseCheckbox
            objectName: "reverseCheckbox"
            height: 22
            text: qsTr("Reverse Mode")
            Accessible.name: qsTr("Reverse Mode")
            onToggled: {
                if (accessibleConfig.hasSource)
                    accessibleConfig.multiSlider.setReversed(checked);
            }
        }
        CheckBox {
            id: gateCheckbox
            objectName: "gateCheckbox"
            height: 22
            text: qsTr("Gate Mode")
            Accessible.name: qsTr("Gate Mode")
            onToggled: {
                if (accessibleConfig.hasSource)
                    accessibleConfig.multiSlider.setGated(checked);
            }
        }
        CheckBox {
            id: smoothCheckbox
            objectName: "smoothCheckbox"
            height: 22
            text: qsTr("Smoothing")
            Accessible.name: qsTr("Smoothing")
            Accessible.description: qsTr("Smooths the jitter of the sensor; a fast move still passes at once")
            onToggled: accessibleConfig.setSmoothing(checked)
        }
        SliderRow {
            id: cutoffSliderRow
            caption: qsTr("Smooth cutoff")
            label: qsTr("Smoothing cutoff in tenths of a hertz")
            slider.objectName: "cutoffSlider"
            slider.from: 1
            slider.to: 100
            slider.value: 10
            slider.snapMode: Slider.SnapAlways
            enabled: smoothCheckbox.checked
            onMoved: accessibleConfig.setSmoothingCutoff(value)
        }
        SliderRow {
            id: speedSliderRow
            caption: qsTr("Smooth speed")
            label: qsTr("Smoothing speed response in tenths")
            slider.objectName: "speedSlider"
            slider.from: 0
            slider.to: 50
            slider.snapMode: Slider.SnapAlways
            enabled: smoothCheckbox.checked
            onMoved: {
                if (accessibleConfig.hasSource)
                    accessibleConfig.multiSlider.setSmoothingBeta(value / 10);
            }
        }
        SliderRow {
            id: deadBandSliderRow
            caption: qsTr("Dead band")
            label: qsTr("Dead band in output steps")
            slider.objectName: "deadBandSlider"
            slider.from: 0
            slider.to: 10
            slider.snapMode: Slider.SnapAlways
            onMoved: {
                if (accessibleConfig.hasSource)
                    accessibleConfig.multiSlider.setDeadBand(Math.round(value));
            }
        }
    }
}
