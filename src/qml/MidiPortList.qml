// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5

// One list of MIDI ports in the preferences window: a check box per port
// (checked = open), or "No device connected" when there is none. Long lists
// scroll instead of pushing the audio settings out of the window.
Column {
    id: portList

    property int count: 0
    property var portName: function (i) {
        return "";
    }
    property var portOpen: function (i) {
        return false;
    }
    property var openPort: function (i) {}
    property var closePort: function (i) {}

    spacing: 2

    Flickable {
        id: flick
        width: parent.width
        height: Math.min(contentHeight, 84)
        contentHeight: boxes.implicitHeight
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        visible: portList.count > 0
        ScrollIndicator.vertical: ScrollIndicator {}

        Column {
            id: boxes
            width: flick.width

            Repeater {
                model: portList.count
                delegate: CheckBox {
                    width: boxes.width
                    height: 28
                    text: portList.portName(index)
                    checked: portList.portOpen(index)
                    onToggled: {
                        if (checked)
                            portList.openPort(index);
                        else
                            portList.closePort(index);
                        // Show what the port really is: opening can fail.
                        checked = portList.portOpen(index);
                    }
                }
            }
        }
    }

    Text {
        objectName: "noDeviceLabel"
        text: qsTr("No device connected")
        color: "#a0a0a0"
        visible: portList.count === 0
    }
}
