// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.15
import QtQuick.Window 2.15
import VT.Orvik 1.0

// Reports, twice a second, what the back end knows of the bands: how many
// the engine holds, whether the link is up, and which bands are active.
Window {
    visible: true
    width: 240
    height: 120
    Repeater {
        id: bands
        model: 4
        delegate: Item { property alias band: wrapper; Orvik { id: wrapper; i: index } }
    }
    Timer {
        interval: 500; running: true; repeat: true
        onTriggered: {
            var active = 0
            for (var k = 0; k < bands.count; ++k) {
                var w = bands.itemAt(k).band
                w.sync()
                if (w.isActive) active++
            }
            console.log("KINETRA-DEMO devices=" + motionControlEngine.getNumOfDevice()
                        + " connected=" + stateManager.isConnected + " active=" + active)
        }
    }
}
