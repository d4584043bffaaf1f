// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// Stand-in for the MIDI ports: named inputs and outputs with open flags.
CallLog {
    property var inputs: []
    property var outputs: []
    property var openInputs: []
    property var openOutputs: []
    property int num_inputs: inputs.length
    property int num_outputs: outputs.length
    property bool isVirtualPortOpen: true
    // When false, opening a port fails (as a busy device does).
    property bool portsCanOpen: true

    function reset() {
        clearCalls();
        inputs = ["Kinetra In", "USB MIDI Keyboard"];
        outputs = ["Kinetra Out"];
        openInputs = [true, false];
        openOutputs = [true];
        isVirtualPortOpen = true;
        portsCanOpen = true;
    }

    function getInputName(i) {
        return inputs[i] || "";
    }
    function getOutputName(i) {
        return outputs[i] || "";
    }
    function isInputOpen(i) {
        return !!openInputs[i];
    }
    function isOutputOpen(i) {
        return !!openOutputs[i];
    }
    function openMidiInput(i) {
        record("openMidiInput", [i]);
        if (portsCanOpen)
            openInputs[i] = true;
    }
    function closeMidiInput(i) {
        record("closeMidiInput", [i]);
        openInputs[i] = false;
    }
    function openMidiOutput(i) {
        record("openMidiOutput", [i]);
        if (portsCanOpen)
            openOutputs[i] = true;
    }
    function closeMidiOutput(i) {
        record("closeMidiOutput", [i]);
        openOutputs[i] = false;
    }

    Component.onCompleted: reset()
}
