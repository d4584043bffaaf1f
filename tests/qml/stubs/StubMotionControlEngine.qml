import QtQuick 2.14

// Stand-in for the motion control engine: no sensors, twelve empty slots.
CallLog {
    signal numOfDeviceChanged
    signal newCSourceAddedAt(int index)
    signal cSourceRemoved(int index)

    function reset() {
        clearCalls();
    }
    function getNumOfCSources() {
        return 12;
    }
    function getNumOfDevices() {
        return 0;
    }
    function getDeviceNameAt(i) {
        return "";
    }
}
