// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Window 2.14
import QtQuick.Controls 2.5

// Preferences: MIDI inputs and outputs, audio driver, device and buffer
// size, and the resulting I/O latency.
Window {
    id: settingsWindow

    // Set while a driver change runs; the audio choices are locked then.
    property bool isBusy: false
    // The back end's own word: a driver change is still running (the lists
    // shown are those from before it).
    readonly property bool driverChanging: (typeof actionHandler !== "undefined" && actionHandler) ? actionHandler.isChangingAudioDriver === true : false
    readonly property bool locked: isBusy || driverChanging

    // Latency text for a buffer of `bufferSize` samples at `sampleRate` Hz.
    function latencyText(bufferSize, sampleRate) {
        if (!(sampleRate > 0) || !(bufferSize > 0))
            return qsTr("Audio I/O latency: unknown");
        return qsTr("Audio I/O latency: ") + (bufferSize / sampleRate * 1000).toFixed(2) + "(ms)";
    }

    function sync() {
        var types = actionHandler.getAudioDeviceTypes();
        var typeIndex = types.indexOf(actionHandler.getCurrentDeviceType());
        deviceTypeSelector.model = types;
        deviceTypeSelector.currentIndex = typeIndex;
        deviceTypeSelector.noSelection = typeIndex < 0;

        var devices = actionHandler.getAllAudioDevices();
        var deviceIndex = devices.indexOf(actionHandler.getCurrentDevice());
        deviceSelector.model = devices;
        deviceSelector.currentIndex = deviceIndex;
        deviceSelector.noSelection = deviceIndex < 0;

        var sizes = [];
        var available = actionHandler.getAvailableAudioBufferSize();
        for (var i = 0; i < available.length; ++i)
            sizes.push(available[i]);
        bufferSizeSelector.model = sizes;
        bufferSizeSelector.currentIndex = sizes.indexOf(stateManager.getAudioBufferSize());

        latencyLabel.text = latencyText(stateManager.getAudioBufferSize(), stateManager.getAudioSampleRate());
    }

    title: qsTr("Preferences")
    width: 380
    height: 550
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height
    color: "#2f2f2f"
    visible: false

    onVisibleChanged: {
        if (visible) {
            sync();
            isBusy = false;
        }
    }

    Connections {
        target: actionHandler
        function onDriverChangeTimeout() {
            console.log("driver Change timeout");
            if (settingsWindow.isBusy) {
                settingsWindow.sync();
                settingsWindow.isBusy = false;
            }
        }
        function onIsChangingAudioDriverChanged() {
            if (!actionHandler.isChangingAudioDriver && settingsWindow.visible) {
                settingsWindow.sync();
                settingsWindow.isBusy = false;
                actionHandler.stopTimeoutTimer();
            }
        }
        function onAudioDeviceChanged() {
            if (settingsWindow.visible) {
                settingsWindow.sync();
                settingsWindow.isBusy = false;
                actionHandler.stopTimeoutTimer();
            }
        }
    }

    Text {
        id: heading
        y: 24
        anchors.horizontalCenter: parent.horizontalCenter
        text: qsTr("Preference")
        color: "#f0f0f0"
        font.bold: true
        font.pixelSize: 24
        Accessible.role: Accessible.Heading
        Accessible.name: text
    }

    Column {
        id: settingsColumn
        anchors.top: heading.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.margins: 24
        anchors.topMargin: 12
        spacing: 16

        Rectangle {
            width: parent.width
            height: 1
            color: "#808080"
        }

        Column {
            width: parent.width
            spacing: 6

            Text {
                text: qsTr("Midi Inputs")
                color: "#f0f0f0"
                font.pixelSize: 12
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
            MidiPortList {
                objectName: "midiInputList"
                width: parent.width
                count: midiHandler ? midiHandler.num_inputs : 0
                portName: function (i) {
                    return midiHandler.getInputName(i);
                }
                portOpen: function (i) {
                    return midiHandler.isInputOpen(i);
                }
                openPort: function (i) {
                    midiHandler.openMidiInput(i);
                }
                closePort: function (i) {
                    midiHandler.closeMidiInput(i);
                }
            }
        }

        Column {
            width: parent.width
            spacing: 6

            Item {
                width: 1
                height: 6
            }
            Text {
                text: qsTr("Midi Outputs")
                color: "#f0f0f0"
                font.pixelSize: 12
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
            MidiPortList {
                objectName: "midiOutputList"
                width: parent.width
                count: midiHandler ? midiHandler.num_outputs : 0
                portName: function (i) {
                    return midiHandler.getOutputName(i);
                }
                portOpen: function (i) {
                    return midiHandler.isOutputOpen(i);
                }
                openPort: function (i) {
                    midiHandler.openMidiOutput(i);
                }
                closePort: function (i) {
                    midiHandler.closeMidiOutput(i);
                }
            }
        }

        Rectangle {
            width: parent.width
            height: 1
            color: "#808080"
        }

        VComboBox {
            id: deviceTypeSelector
            objectName: "deviceTypeSelector"
            width: parent.width
            enabled: !settingsWindow.locked
            // A list that is being replaced may pick its first entry by
            // itself; what counts is whether the current driver is listed.
            property bool noSelection: true
            displayText: (noSelection || currentIndex < 0) ? qsTr("No audio driver") : currentText
            ToolTip.text: qsTr("Audio driver")
            Accessible.name: qsTr("Audio driver")
            onActivated: {
                if (settingsWindow.locked)
                    return;
                settingsWindow.isBusy = true;
                actionHandler.setAudioDeviceType(model[index]);
            }
        }

        VComboBox {
            id: deviceSelector
            objectName: "deviceSelector"
            width: parent.width
            enabled: !settingsWindow.locked
            property bool noSelection: true
            displayText: (noSelection || currentIndex < 0) ? qsTr("No audio device") : currentText
            ToolTip.text: qsTr("Audio device")
            Accessible.name: qsTr("Audio device")
            onActivated: {
                if (!settingsWindow.locked)
                    actionHandler.setAudioDevice(model[index]);
            }
        }

        VComboBox {
            id: bufferSizeSelector
            objectName: "bufferSizeSelector"
            width: parent.width
            enabled: !settingsWindow.locked
            ToolTip.text: qsTr("Audio I/O buffer size")
            Accessible.name: qsTr("Audio I/O buffer size")
            onActivated: {
                if (!settingsWindow.locked)
                    actionHandler.setAudioBufferSize(model[index]);
            }
        }

        Text {
            objectName: "driverChangingLabel"
            visible: settingsWindow.driverChanging
            text: qsTr("Changing audio driver...")
            font.pixelSize: 10
            color: "#ffa500"
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }

        Text {
            id: latencyLabel
            objectName: "latencyLabel"
            font.pixelSize: 10
            color: "#909090"
            text: settingsWindow.latencyText(stateManager.getAudioBufferSize(), stateManager.getAudioSampleRate())
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }

        // Which port other programs read: the JACK MIDI port while the
        // audio runs on JACK, else the ALSA sequencer port.
        Text {
            objectName: "midiPathLabel"
            width: parent.width
            wrapMode: Text.WordWrap
            font.pixelSize: 10
            color: "#909090"
            text: qsTr("MIDI out: ") + ((typeof midiHandler !== "undefined" && midiHandler && midiHandler.midiPath) ? midiHandler.midiPath : qsTr("unknown"))
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }

    // Escape and the Close button close the window.
    Shortcut {
        sequence: "Escape"
        onActivated: settingsWindow.close()
    }

    VButton {
        objectName: "settingsCloseButton"
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 16
        text: qsTr("Close")
        Accessible.name: qsTr("Close Preferences")
        onClicked: settingsWindow.close()
    }

    BusyIndicator {
        objectName: "busyIndicator"
        anchors.centerIn: parent
        running: settingsWindow.locked
        visible: running
        Accessible.name: qsTr("Changing audio driver")
    }
}
