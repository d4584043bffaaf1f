// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5
import QtQuick.Controls.impl 2.15
import VT.Orvik 1.0
import "PanelLogic.js" as Logic

// Settings of the focused sensor: wearing hand, mute, solo, its name, the
// calibration of its heading (Z centre) and its Y gate.
VPanel {
    id: element

    readonly property alias orvik: orvik
    readonly property string deviceName: String(orvik.name).toLowerCase()
    readonly property bool hasDevice: deviceName !== "no device" && stateManager.focusedDevice > -1
    // "band 2": how screen readers name the focused band.
    readonly property string bandName: qsTr("band %1").arg(stateManager.focusedDevice + 1)

    // The device was renamed through the dialog.
    signal renamed

    function toggleHand() {
        orvik.isOnLeft = !orvik.isOnLeft;
    }

    function toggleMute() {
        var r = Logic.toggledMute(orvik.isMuted, orvik.isSoloed);
        orvik.isMuted = r.muted;
        if (r.soloed !== orvik.isSoloed)
            orvik.isSoloed = r.soloed;
    }

    function toggleSolo() {
        var r = Logic.toggledSolo(orvik.isMuted, orvik.isSoloed);
        orvik.isSoloed = r.soloed;
        if (r.muted !== orvik.isMuted)
            orvik.isMuted = r.muted;
    }

    function rename(text) {
        orvik.name = Logic.deviceName(text);
        element.renamed();
        renamePopup.close();
    }

    label: "CONFIG"
    labelY: 4

    Orvik {
        id: orvik
        objectName: "orvik"
        i: stateManager.focusedDevice
        onIChanged: sync()
    }

    Connections {
        target: stateManager
        function onDeviceFocusChanged() {
            orvik.sync();
        }
    }

    Connections {
        target: motionControlEngine
        ignoreUnknownSignals: true
        function onNumOfDeviceChanged() {
            orvik.sync();
        }
    }

    Row {
        id: content
        objectName: "orvikContent"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.verticalCenter: parent.verticalCenter
        anchors.verticalCenterOffset: 7
        spacing: 8
        enabled: element.hasDevice
        opacity: enabled ? 1 : 0.5

        Column {
            spacing: 4

            BinarySelect {
                id: handSelect
                objectName: "handSelect"
                height: 20
                leftPadding: 0
                text: "L/R"
                checked: orvik.isOnLeft
                Accessible.name: qsTr("Worn on the left hand, %1").arg(element.bandName)
                Accessible.description: qsTr("Checked: left hand; not checked: right hand")
                onSwitchChanged: {
                    if (checked !== orvik.isOnLeft)
                        element.toggleHand();
                    checked = Qt.binding(function () {
                        return orvik.isOnLeft;
                    });
                }
            }

            Row {
                spacing: 4

                VButton {
                    id: muteButton
                    objectName: "muteButton"
                    width: 32
                    height: 20
                    text: "M"
                    checked: orvik.isMuted
                    Accessible.checkable: true
                    Accessible.checked: checked
                    Accessible.name: qsTr("Mute %1").arg(element.bandName)
                    onClicked: element.toggleMute()
                }
                VButton {
                    id: soloButton
                    objectName: "soloButton"
                    width: 32
                    height: 20
                    text: "S"
                    bgColorChecked: "#ffa500"
                    checked: orvik.isSoloed
                    Accessible.checkable: true
                    Accessible.checked: checked
                    Accessible.name: qsTr("Solo %1").arg(element.bandName)
                    onClicked: element.toggleSolo()
                }
            }
        }

        Column {
            spacing: 1
            anchors.verticalCenter: parent.verticalCenter

            VButton {
                objectName: "setNameButton"
                width: 86
                text: qsTr("Set name")
                Accessible.name: qsTr("Rename %1").arg(element.bandName)
                onClicked: renamePopup.open()
            }
            VButton {
                objectName: "setZCenterButton"
                width: 86
                text: qsTr("Set Z center")
                Accessible.name: qsTr("Set Z centre of %1").arg(element.bandName)
                onClicked: headingPopup.open()
            }
        }

        // The band's Y gate in percent of Y: below it the band's wheels
        // are silent; 0 is off.
        VKnob {
            id: yGateKnob
            objectName: "yGateKnob"
            anchors.verticalCenter: parent.verticalCenter
            size: 28
            label: value > 0 ? qsTr("Y gate") : qsTr("Y gate off")
            showValue: value > 0
            from: 0
            to: 100
            stepSize: 1
            defaultValue: 0
            Accessible.name: value > 0 ? qsTr("Y gate of %1, %2 percent").arg(element.bandName).arg(Math.round(value)) : qsTr("Y gate of %1, off").arg(element.bandName)
            ToolTip.text: qsTr("Y gate: the band's wheels send only while its Y is at least this high; 0 is off")
            onMoved: orvik.yGate = value / 100

            function follow() {
                value = Math.round(orvik.yGate * 100);
            }
            Component.onCompleted: follow()

            Connections {
                target: orvik
                function onYGateChanged() {
                    yGateKnob.follow();
                }
            }
        }
    }

    // How well the focused band reaches us, refreshed once a second.
    Text {
        id: linkHealthLine
        objectName: "linkHealthLine"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 5
        width: parent.width - 16
        horizontalAlignment: Text.AlignHCenter
        elide: Text.ElideRight
        visible: element.hasDevice && text !== ""
        text: orvik.linkHealth
        color: orvik.linkHealthWarning ? "#ff8c00" : "#BfB3AF"
        font.family: "Verdana"
        font.pixelSize: 7
        Accessible.role: Accessible.StaticText
        Accessible.name: orvik.linkHealthDescription
    }

    Dialog {
        id: renamePopup
        objectName: "renamePopup"
        // Its name for screen readers; the bold line inside shows it.
        title: qsTr("Rename device")
        header: null
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: 250
        height: 140
        modal: true
        focus: true
        standardButtons: Dialog.NoButton
        onOpened: {
            textField.text = "";
            textField.forceActiveFocus();
        }

        Column {
            anchors.centerIn: parent
            width: 200
            spacing: 16

            Label {
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("Rename device")
                font.bold: true
                font.pointSize: 16
            }
            TextField {
                id: textField
                objectName: "renameField"
                anchors.horizontalCenter: parent.horizontalCenter
                width: 180
                placeholderText: qsTr("New name for device")
                Accessible.name: qsTr("New name for device")
                onAccepted: element.rename(text)
            }
            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 6

                VButton {
                    objectName: "renameOk"
                    width: 80
                    text: qsTr("OK")
                    onClicked: element.rename(textField.text)
                }
                VButton {
                    objectName: "renameCancel"
                    width: 80
                    text: qsTr("Cancel")
                    Accessible.name: qsTr("Cancel renaming")
                    onClicked: renamePopup.close()
                }
            }
        }
    }

    Dialog {
        id: headingPopup
        objectName: "headingPopup"
        title: qsTr("Set z center")
        header: null
        parent: Overlay.overlay
        anchors.centerIn: parent
        width: 360
        height: 480
        modal: true
        focus: true
        standardButtons: Dialog.NoButton

        // Progress of the collection; see PanelLogic.calibrationTick.
        property var calibration: Logic.newCalibration()
        // Whether this dialog started the audible guide (and so stops it).
        property bool guidePlaying: false

        // One 16 ms step: move the logo with the sensor, collect the heading
        // while the pose is held, store the average and close when done.
        function tick() {
            var x = orvik.getX();
            var y = orvik.getY();
            var c = calibration;
            if (c.count <= Logic.holdTicks) {
                logo.y = Logic.logoY(headingPopupItem.height, y, logo.width);
                logo.rotation = Logic.logoRotation(x);
            }
            var onTarget = Logic.isOnTarget(logo.rotation, logo.y, logoRef.y);
            var result = Logic.calibrationTick(c, onTarget, orvik.getZRef());
            animationTimer.z = c.z;
            animationTimer.count = c.count;
            animationTimer.timeoutCount = c.timeoutCount;
            headingPopupItem.inRange = c.inRange;
            headingPopupItem.done = c.done;
            if (result.store)
                orvik.setInitPos(result.value);
            if (stateManager.isAccessibilityModeOn) {
                var tone = Logic.guideTone(headingPopupItem.inRange, x, y);
                actionHandler.setZAuditoryFreq(tone.freq);
                actionHandler.setZAuditoryAmp(tone.amp);
                actionHandler.setZAuditoryLfoRate(tone.lfoRate);
                actionHandler.setZAuditoryPan(tone.pan);
            }
            if (result.close)
                close();
        }

        // A new collection for every opening: nothing from an earlier,
        // interrupted one is carried over.
        function restart() {
            calibration = Logic.newCalibration();
            animationTimer.z = 0;
            animationTimer.count = 0;
            animationTimer.timeoutCount = 0;
            headingPopupItem.inRange = false;
            headingPopupItem.done = false;
        }

        onOpened: {
            restart();
            animationTimer.start();
            if (stateManager.isAccessibilityModeOn) {
                guidePlaying = true;
                actionHandler.setZAuditoryIsPlaying(true);
            }
        }
        onClosed: {
            animationTimer.stop();
            restart();
            if (guidePlaying || stateManager.isAccessibilityModeOn) {
                guidePlaying = false;
                actionHandler.setZAuditoryIsPlaying(false);
            }
        }

        Timer {
            id: animationTimer
            objectName: "animationTimer"
            property real z: 0
            property int count: 0
            property int timeoutCount: 0
            interval: 16
            repeat: true
            running: false
            onTriggered: headingPopup.tick()
        }

        contentItem: Item {
            id: headingPopupItem
            objectName: "headingPopupItem"
            // The moving logo stays inside the dialog.
            clip: true
            property bool inRange: false
            property bool done: false

            Column {
                id: titleArea
                anchors.top: parent.top
                anchors.topMargin: 16
                anchors.horizontalCenter: parent.horizontalCenter
                width: parent.width - 20
                spacing: 6

                Label {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: qsTr("Set z center")
                    font.bold: true
                    font.pointSize: 16
                }
                Label {
                    width: parent.width
                    wrapMode: Text.WordWrap
                    horizontalAlignment: Text.AlignHCenter
                    text: qsTr("Raise your arm and hold it at 90 degree to the floor, then rotate your hand and align the logos together")
                }
            }

            Image {
                id: logoRef
                objectName: "logoRef"
                width: 140
                height: 140
                x: (parent.width - width) / 2
                y: (parent.height - height) / 2
                source: "icons/OV_logo.png"
                fillMode: Image.PreserveAspectFit
                visible: false
            }

            IconImage {
                anchors.fill: logoRef
                source: logoRef.source
                fillMode: Image.PreserveAspectFit
                color: headingPopupItem.inRange ? "#ffa500" : "#404040"
            }

            Image {
                id: logo
                objectName: "logo"
                width: 140
                height: 140
                x: (parent.width - width) / 2
                y: (parent.height - height) / 2
                source: "icons/OV_logo.png"
                fillMode: Image.PreserveAspectFit
                visible: !headingPopupItem.inRange
            }

            Label {
                objectName: "statusLabel"
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.bottom: parent.bottom
                anchors.bottomMargin: 40
                visible: headingPopupItem.inRange
                text: headingPopupItem.done ? qsTr("Done!") : qsTr("Processing... Please hold")
                font.bold: true
                font.pointSize: 14
                // Screen readers hear the progress as it changes.
                Accessible.role: Accessible.AlertMessage
                Accessible.name: visible ? text : qsTr("Align the logos")
            }

            VButton {
                objectName: "calibrationCancel"
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.bottom: parent.bottom
                anchors.bottomMargin: 8
                text: qsTr("Cancel")
                Accessible.name: qsTr("Cancel the Z centre calibration")
                onClicked: headingPopup.close()
            }
        }
    }
}
