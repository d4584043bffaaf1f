// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.15
import QtQuick.Window 2.15

// A stand-in main window for process tests: reports what the back end holds
// when the window is created.
Window {
    visible: true
    width: 240
    height: 120
    Component.onCompleted: console.log("KINETRA-READY devices=" + motionControlEngine.getNumOfDevice()
                                       + " name=" + motionControlEngine.getDeviceNameAt(0)
                                       + " tempo=" + stateManager.tempo
                                       + " transport=" + (transport !== null))
}
