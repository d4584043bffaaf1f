// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// Stand-in for the native knob item: the same properties, signals and
// methods, reading and writing the stub engine's wheel record of slot `i`
// with the source's own rules (min below max, sensitivity at least 0.1, the
// default pulled along with min and max).
Item {
    id: item

    property int i: -1
    property var calls: []

    property int source: 0
    property int channel: 0
    property int eventNumber: 1
    property bool ccOrNote: true
    property bool isDummy: true
    property bool isEnabled: true
    property bool isGated: false
    property bool isReversed: false
    property real min: 0
    property real max: 127
    property real lowerbound: 0
    property real upperbound: 127
    property real defaultValue: -1
    property int deviceIndex: -1
    property real sensitivity: 1
    property string name: "Empty slot"
    property bool smoothing: smoothingMinCutoff > 0
    property real smoothingMinCutoff: 0
    property real smoothingBeta: 1
    property int deadBand: 0

    signal enablementChanged(bool v)
    signal dummyChanged(bool v)
    signal deviceChanged(int v)

    function record(name, args) {
        calls.push({
                "name": name,
                "args": args
            });
    }
    function count(name) {
        var n = 0;
        for (var k = 0; k < calls.length; ++k)
            if (calls[k].name === name)
                ++n;
        return n;
    }
    function last(name) {
        for (var k = calls.length - 1; k >= 0; --k)
            if (calls[k].name === name)
                return calls[k].args;
        return null;
    }
    function src() {
        return motionControlEngine.getCSourceAt(i);
    }
    function getIndex() {
        return i;
    }
    function setIndex(n) {
        i = n;
    }
    function sync() {
        record("sync", []);
        var s = src();
        if (!s) {
            isDummy = true;
            name = "Empty slot";
            dummyChanged(true);
            return;
        }
        source = s.source;
        channel = s.channel;
        eventNumber = s.eventNumber;
        ccOrNote = s.ccOrNote;
        isGated = s.isGated;
        isReversed = s.isReversed;
        min = s.min;
        max = s.max;
        lowerbound = s.lowerbound;
        upperbound = s.upperbound;
        defaultValue = s.defaultValue;
        deviceIndex = s.deviceIndex;
        sensitivity = s.sensitivity;
        name = s.name.length > 0 ? s.name : "Empty slot";
        isDummy = s.dummy;
        isEnabled = s.enabled;
        dummyChanged(isDummy);
        enablementChanged(isEnabled);
        deviceChanged(deviceIndex);
    }
    function setEnable(v) {
        record("setEnable", [v]);
        src().enabled = v;
        isEnabled = v;
        enablementChanged(v);
    }
    function setLowerbound(v) {
        record("setLowerbound", [v]);
        src().lowerbound = v;
        lowerbound = v;
    }
    function setUppberbound(v) {
        record("setUppberbound", [v]);
        src().upperbound = v;
        upperbound = v;
    }
    function setDefaultValue(v) {
        record("setDefaultValue", [v]);
        src().defaultValue = v;
        defaultValue = v;
    }
    function setName(v) {
        record("setName", [v]);
        src().name = v;
        name = v;
    }
    function setMin(v) {
        record("setMin", [v]);
        if (v < src().max)
            src().min = v;
        min = src().min;
        if (src().defaultValue !== -1 && src().defaultValue < src().min)
            setDefaultValue(v);
    }
    function setMax(v) {
        record("setMax", [v]);
        if (!(v <= src().min))
            src().max = v;
        max = src().max;
        if (src().defaultValue !== -1 && src().defaultValue > src().max)
            setDefaultValue(v);
    }
    function setGated(v) {
        record("setGated", [v]);
        src().isGated = v;
        isGated = v;
    }
    function setReversed(v) {
        record("setReversed", [v]);
        src().isReversed = v;
        isReversed = v;
    }
    function setChannel(v) {
        record("setChannel", [v]);
        src().channel = v & 0xff;
        channel = src().channel;
    }
    function setEventNumber(v) {
        record("setEventNumber", [v]);
        src().eventNumber = v & 0xff;
        eventNumber = src().eventNumber;
    }
    function setCCorNote(v) {
        record("setCCorNote", [v]);
        src().ccOrNote = v;
        ccOrNote = v;
    }
    function setSource(v) {
        record("setSource", [v]);
        src().source = v;
        source = v;
    }
    function setDevice(v) {
        record("setDevice", [v]);
        if (!motionControlEngine.getDeviceAt(v))
            return;
        src().deviceIndex = v;
        deviceIndex = v;
        deviceChanged(v);
    }
    function isMyDevice(v) {
        return src() ? src().deviceIndex === v : false;
    }
    function setSensivitiy(v) {
        record("setSensivitiy", [v]);
        src().sensitivity = Math.max(0.1, v);
        sensitivity = src().sensitivity;
    }
    function sendMapping() {
        record("sendMapping", []);
    }
    function setSmoothing(v) {
        record("setSmoothing", [v]);
        smoothingMinCutoff = v ? 1 : 0;
        deadBand = v ? Math.max(deadBand, 1) : 0;
    }
    function setSmoothingMinCutoff(v) {
        record("setSmoothingMinCutoff", [v]);
        smoothingMinCutoff = Math.max(0, v);
    }
    function setSmoothingBeta(v) {
        record("setSmoothingBeta", [v]);
        smoothingBeta = Math.max(0, v);
    }
    function setDeadBand(v) {
        record("setDeadBand", [v]);
        deadBand = v;
    }
}
