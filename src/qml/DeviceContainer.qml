// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5
import VT.Orvik 1.0
import "PanelLogic.js" as Logic

// The band under the tool bar: the sensors, the focused one's settings and
// its live data.
Rectangle {
    id: deviceContainer

    // Re-reads every device button's name and whether a device is there.
    function update() {
        for (var i = 0; i < deviceSelectorRepeater.count; ++i) {
            var button = deviceSelectorRepeater.itemAt(i);
            if (!button)
                continue;
            button.text = motionControlEngine.getDeviceNameAt(i);
            button.enabled = !!motionControlEngine.getDeviceAt(i);
            button.band.sync();
        }
    }

    height: 90
    color: "#242424"

    Component.onCompleted: update()

    Connections {
        target: motionControlEngine
        ignoreUnknownSignals: true
        function onNumOfDeviceChanged() {
            deviceContainer.update();
        }
        function onDeviceSwapped() {
            deviceContainer.update();
        }
    }

    Rectangle {
        anchors.bottom: parent.bottom
        width: parent.width
        height: 1
        color: "#dd454545"
    }

    Row {
        id: row
        anchors.fill: parent
        anchors.margins: 1
        anchors.bottomMargin: 2

        VPanel {
            id: deviceSelector
            objectName: "deviceSelector"
            width: 140
            height: parent.height

            Column {
                anchors.verticalCenter: parent.verticalCenter
                x: 12
                spacing: 2

                Repeater {
                    id: deviceSelectorRepeater
                    objectName: "deviceSelectorRepeater"
                    model: 4

                    delegate: VRadioButton {
                        id: deviceButton
                        objectName: "deviceButton" + index
                        width: 116
                        text: qsTr("No device")
                        enabled: false
                        autoExclusive: false
                        checked: stateManager.focusedDevice === index
                        // This band's own settings, for its name.
                        readonly property alias band: bandInfo
                        Accessible.name: enabled ? qsTr("Band %1, %2 hand").arg(index + 1).arg(bandInfo.isOnLeft ? qsTr("Left") : qsTr("Right")) + (bandInfo.isBypassed ? qsTr(", bypassed") : "") : qsTr("Band %1, no device").arg(index + 1)
                        // A band bypassed from its own button shows it.
                        font.italic: !!bandInfo.isBypassed
                        ToolTip.visible: hovered && !!bandInfo.isBypassed
                        ToolTip.text: qsTr("Bypassed on the band")
                        Accessible.description: text + (checked ? qsTr(", selected") : qsTr(", press to select it and make it blink")) + qsTr("; the menu key moves or removes it")

                        Orvik {
                            id: bandInfo
                            i: index
                        }

                        Keys.onPressed: {
                            if (event.key === Qt.Key_Menu || (event.key === Qt.Key_F10 && (event.modifiers & Qt.ShiftModifier))) {
                                if (motionControlEngine.getNumOfDevice() > 0 && deviceButton.enabled) {
                                    stateManager.focusedDevice = index;
                                    reorderMenu.popup(deviceButton, 0, deviceButton.height);
                                }
                                event.accepted = true;
                            }
                        }

                        function select() {
                            if (motionControlEngine.getNumOfDevice() <= 0)
                                return;
                            stateManager.focusedDevice = index;
                            actionHandler.sendBlinkOnDeviceAt(index);
                        }

                        // The look follows the focus, not the button's own
                        // toggling.
                        onToggled: checked = Qt.binding(function () {
                                return stateManager.focusedDevice === index;
                            })
                        onClicked: select()

                        MouseArea {
                            anchors.fill: parent
                            acceptedButtons: Qt.RightButton
                            onClicked: {
                                if (motionControlEngine.getNumOfDevice() <= 0 || !deviceButton.enabled)
                                    return;
                                stateManager.focusedDevice = index;
                                reorderMenu.popup();
                            }
                        }

                        Menu {
                            id: reorderMenu
                            objectName: "reorderMenu"
                            width: 150
                            // Re-evaluated each time the menu opens.
                            property int numDevices: 0
                            onAboutToShow: numDevices = motionControlEngine.getNumOfDevice()

                            MenuItem {
                                objectName: "moveUpItem"
                                text: qsTr("Move Up")
                                visible: Logic.canMoveUp(index)
                                height: visible ? implicitHeight : 0
                                onTriggered: {
                                    motionControlEngine.swapDevices(index, index - 1);
                                    stateManager.focusedDevice = index - 1;
                                    deviceContainer.update();
                                }
                            }
                            MenuItem {
                                objectName: "moveDownItem"
                                text: qsTr("Move down")
                                visible: Logic.canMoveDown(index, reorderMenu.numDevices)
                                height: visible ? implicitHeight : 0
                                onTriggered: {
                                    motionControlEngine.swapDevices(index, index + 1);
                                    stateManager.focusedDevice = index + 1;
                                    deviceContainer.update();
                                }
                            }
                            MenuItem {
                                objectName: "resetZItem"
                                text: qsTr("Reset Z centre")
                                onTriggered: bandInfo.resetInitPos()
                            }
                            MenuItem {
                                objectName: "removeItem"
                                text: qsTr("Remove")
                                onTriggered: {
                                    motionControlEngine.removeDeviceAt(index);
                                    stateManager.focusedDevice = Logic.focusAfterRemoval(motionControlEngine.getNumOfDevice());
                                    deviceContainer.update();
                                }
                            }
                        }
                    }
                }
            }
        }

        OrvikItem {
            id: orvikItem
            objectName: "orvikItem"
            width: 230
            height: parent.height
            onRenamed: deviceContainer.update()
        }

        Rectangle {
            id: monitorRect
            objectName: "monitorRect"
            width: parent.width - deviceSelector.width - orvikItem.width
            height: 80
            anchors.verticalCenter: parent.verticalCenter
            color: "transparent"

            Row {
                id: dataMonitors
                anchors.centerIn: parent
                spacing: 12

                Repeater {
                    id: dataMonitorRepeater
                    objectName: "dataMonitorRepeater"
                    model: 4
                    delegate: DataMonitorItem {
                        objectName: "dataMonitor" + index
                        position: index
                        side: monitorRect.height * 0.75
                    }
                }
            }
        }
    }
}
