// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Window 2.14
import QtQuick.Controls 2.5

// The last MIDI messages Kinetra sent, newest at the bottom, and the ports
// they went to.
Window {
    id: monitorWindow

    readonly property var source: typeof midiMonitor !== "undefined" ? midiMonitor : null

    // The virtual port (when open) and every open output: each message goes
    // to all of them.
    function portsText() {
        if (typeof midiHandler === "undefined" || !midiHandler)
            return "";
        var ports = [];
        if (midiHandler.isVirtualPortOpen)
            ports.push("KinetraMIDIPort");
        for (var i = 0; i < midiHandler.num_outputs; ++i)
            if (midiHandler.isOutputOpen(i))
                ports.push(midiHandler.getOutputName(i));
        return ports.length > 0 ? qsTr("Sent to: %1").arg(ports.join(", ")) : qsTr("No MIDI port is open: nothing leaves Kinetra");
    }

    title: qsTr("MIDI monitor")
    width: 300
    height: 320
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height
    color: "#2f2f2f"
    visible: false

    // The log is read only while the window shows it.
    Binding {
        target: monitorWindow.source
        property: "watched"
        value: monitorWindow.visible
        when: monitorWindow.source !== null
    }

    Shortcut {
        sequence: "Escape"
        onActivated: monitorWindow.close()
    }

    Column {
        anchors.fill: parent
        anchors.margins: 12
        spacing: 6

        Text {
            id: portsLabel
            objectName: "monitorPorts"
            // Read again each time the window opens.
            text: monitorWindow.visible ? monitorWindow.portsText() : ""
            width: parent.width
            wrapMode: Text.WordWrap
            color: "#a0a0a0"
            font.pixelSize: 10
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }

        Rectangle {
            width: parent.width
            height: 226
            color: "#1f1f1f"
            radius: 2

            Text {
                objectName: "monitorLines"
                anchors.fill: parent
                anchors.margins: 6
                verticalAlignment: Text.AlignBottom
                font.family: "monospace"
                font.pixelSize: 11
                color: "#f0f0f0"
                text: monitorWindow.source && monitorWindow.source.lines.length > 0 ? monitorWindow.source.lines.join("\n") : qsTr("Nothing sent yet")
                // A screen reader reads the newest message.
                Accessible.role: Accessible.StaticText
                Accessible.name: monitorWindow.source && monitorWindow.source.lines.length > 0 ? qsTr("Last sent: %1").arg(monitorWindow.source.lines[monitorWindow.source.lines.length - 1]) : text
            }
        }

        VButton {
            objectName: "monitorCloseButton"
            anchors.right: parent.right
            text: qsTr("Close")
            Accessible.name: qsTr("Close the MIDI monitor")
            onClicked: monitorWindow.close()
        }
    }
}
