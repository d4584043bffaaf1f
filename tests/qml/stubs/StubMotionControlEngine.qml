// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// Stand-in for the motion control engine: twelve slots, empty until a test
// or the window adds a wheel, and a list of sensors a test can fill
// (addDevice). Wheels and sensors are plain records shared with the
// VMultiSlider and Orvik stand-ins.
CallLog {
    id: engine

    // Sensors by position: {name, uuid, isMuted, isSoloed, isOnLeft, x, y,
    // z, zRef, initPos}.
    property var devices: []
    // Wheels by slot: see newSource().
    property var sources: []
    readonly property int num_device: devices.length

    signal numOfDeviceChanged(int count)
    signal newCSourceAddedAt(int index)
    signal cSourceRemoved(int index)
    signal deviceSwapped(int i, int j)
    signal deviceEnablementChanged(var device)
    signal animationTick

    function newSource(i) {
        return {
            "dummy": true,
            "enabled": true,
            "name": "",
            "source": 0,
            "channel": 0,
            "eventNumber": 1,
            "ccOrNote": true,
            "isGated": false,
            "isReversed": false,
            "min": 0,
            "max": 127,
            "lowerbound": 0,
            "upperbound": 127,
            "defaultValue": -1,
            "deviceIndex": -1,
            "sensitivity": 1
        };
    }

    function reset() {
        clearCalls();
        var list = [];
        for (var i = 0; i < 12; ++i)
            list.push(newSource(i));
        sources = list;
        devices = [];
        numOfDeviceChanged(0);
    }
    Component.onCompleted: reset()

    function getNumOfCSources() {
        return 12;
    }
    function getNumOfDevices() {
        return devices.length;
    }
    function getNumOfDevice() {
        return devices.length;
    }
    function getDeviceAt(i) {
        return (i >= 0 && i < devices.length) ? devices[i] : null;
    }
    function getDeviceNameAt(i) {
        var d = getDeviceAt(i);
        return (d && d.name.length > 0) ? d.name : "No device";
    }
    function addDevice(name) {
        var list = devices.slice();
        list.push({
                "name": name,
                "uuid": String(1000 + list.length),
                "isMuted": false,
                "isSoloed": false,
                "isOnLeft": false,
                "x": 0,
                "y": 0,
                "z": 0,
                "zRef": 0,
                "initPos": 0,
                "yGate": 0
            });
        devices = list;
        numOfDeviceChanged(devices.length);
    }
    function swapDevices(i, j) {
        record("swapDevices", [i, j]);
        if (i < 0 || j < 0 || i >= devices.length || j >= devices.length)
            return;
        var list = devices.slice();
        var t = list[i];
        list[i] = list[j];
        list[j] = t;
        devices = list;
        deviceSwapped(i, j);
    }
    function removeDeviceAt(i) {
        record("removeDeviceAt", [i]);
        if (i < 0 || i >= devices.length)
            return;
        var list = devices.slice();
        list.splice(i, 1);
        devices = list;
        numOfDeviceChanged(devices.length);
    }
    function getCSourceAt(i) {
        return (i >= 0 && i < 12) ? sources[i] : null;
    }
    function addNewCSourceAt(i) {
        record("addNewCSourceAt", [i]);
        var s = sources[i];
        s.name = "Wheel " + (i + 1);
        var n = i + 1;
        while (n < 127 && eventNumberExisted(n, s.channel))
            ++n;
        s.eventNumber = n;
        s.dummy = false;
        if (devices.length > 0)
            s.deviceIndex = 0;
        newCSourceAddedAt(i);
    }
    function removeCSourceAt(i) {
        record("removeCSourceAt", [i]);
        var list = sources.slice();
        list[i] = newSource(i);
        sources = list;
        if (stateManager.focusedSource === i)
            stateManager.focusedSource = -1;
        cSourceRemoved(i);
    }
    function eventNumberExisted(n, ch) {
        for (var i = 0; i < sources.length; ++i) {
            var s = sources[i];
            if (!s.dummy && s.channel === ch && s.eventNumber === n)
                return true;
        }
        return false;
    }
}
