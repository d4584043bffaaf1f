// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// Stand-in for the sensor view of one list position: reads and writes the
// stub engine's sensor record at position `i`, refreshed by sync().
QtObject {
    property int i: 0
    property bool isActive: false
    property bool isBypassed: false
    property bool isMuted: false
    property bool isSoloed: false
    property bool isOnLeft: false
    property int batteryLevel: 255
    property string name: "No device"
    property string uuid: ""
    property real yGate: 0
    property string linkHealth: ""
    property string linkHealthDescription: ""
    property bool linkHealthWarning: false
    property int syncCount: 0

    function dev() {
        return motionControlEngine.getDeviceAt(i);
    }
    function sync() {
        ++syncCount;
        var d = dev();
        isActive = !!d;
        isMuted = d ? d.isMuted : false;
        isSoloed = d ? d.isSoloed : false;
        isOnLeft = d ? d.isOnLeft : false;
        batteryLevel = d ? 127 : 255;
        name = d ? d.name : "No device";
        uuid = d ? d.uuid : "";
        yGate = d ? (d.yGate || 0) : 0;
    }
    onIsMutedChanged: if (dev()) dev().isMuted = isMuted
    onIsSoloedChanged: if (dev()) dev().isSoloed = isSoloed
    onIsOnLeftChanged: if (dev()) dev().isOnLeft = isOnLeft
    onYGateChanged: if (dev()) dev().yGate = yGate
    onNameChanged: if (dev() && name !== "No device") dev().name = name

    function getX() {
        return dev() ? dev().x : 0;
    }
    function getY() {
        return dev() ? dev().y : 0;
    }
    function getZ() {
        return dev() ? dev().z : 0;
    }
    function getZRef() {
        return dev() ? dev().zRef : 0;
    }
    function resetInitPos() {
        if (dev())
            dev().initPos = 0;
    }
    function setInitPos(z) {
        if (!dev())
            return;
        dev().initPos = z;
        dev().initPosCalls = (dev().initPosCalls || 0) + 1;
    }
    function sendBlink() {
    }
}
