// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5

// The twelve control-source knobs in a 4-column grid.
Rectangle {
    id: sliderContainer

    // Passed to every knob: the slide-up editor and the screen-reader editor.
    property var editor: null
    property var accessibleEditor: null
    readonly property alias knobs: cSourceContainer
    // Set while the knobs re-read the engine: those changes are no edits.
    property bool refreshing: false

    // The user changed a wheel (not a re-read after a load).
    signal edited

    function refreshAll() {
        refreshing = true;
        for (var i = 0; i < cSourceContainer.count; ++i) {
            var knob = cSourceContainer.itemAt(i);
            if (knob)
                knob.refresh();
        }
        refreshing = false;
    }

    color: "transparent"
    height: 435

    Connections {
        target: typeof fileManager !== "undefined" ? fileManager : null
        ignoreUnknownSignals: true
        function onPatchChanged() {
            sliderContainer.refreshAll();
        }
    }

    Connections {
        target: motionControlEngine
        ignoreUnknownSignals: true
        function onNewCSourceAddedAt(i) {
            sliderContainer.refreshAll();
        }
        function onCSourceRemoved(i) {
            sliderContainer.refreshAll();
        }
        // A device's position, and so the colour of its wheels, may change.
        function onNumOfDeviceChanged() {
            sliderContainer.refreshAll();
        }
        function onDeviceSwapped() {
            sliderContainer.refreshAll();
        }
    }

    Grid {
        id: grid
        objectName: "knobGrid"
        anchors.horizontalCenter: parent.horizontalCenter
        width: 580
        columns: 4

        Repeater {
            id: cSourceContainer
            objectName: "cSourceContainer"
            model: motionControlEngine.getNumOfCSources()

            delegate: VMultiSliderItem {
                objectName: "knob" + index
                width: 145
                height: 145
                slot: index
                editor: sliderContainer.editor
                accessibleEditor: sliderContainer.accessibleEditor
                onRemoveRequested: removeDialog.ask(slot)
                onEdited: {
                    if (!sliderContainer.refreshing)
                        sliderContainer.edited();
                }
            }
        }
    }

    // Removing a wheel from the keyboard (Delete) asks first.
    Dialog {
        id: removeDialog
        objectName: "removeWheelDialog"

        property int slot: -1

        function ask(slotIndex) {
            slot = slotIndex;
            open();
        }

        function confirm() {
            if (slot >= 0 && stateManager.focusedSource === slot)
                stateManager.focusedSource = -1;
            motionControlEngine.removeCSourceAt(slot);
            close();
        }

        parent: Overlay.overlay
        x: parent ? (parent.width - width) / 2 : 0
        y: parent ? (parent.height - height) / 2 : 0
        width: 320
        height: 130
        modal: true
        focus: true
        title: qsTr("Remove wheel %1?").arg(slot + 1)
        standardButtons: Dialog.NoButton
        onOpened: removeOk.forceActiveFocus(Qt.TabFocusReason)
        onClosed: {
            var knob = cSourceContainer.itemAt(slot);
            if (knob)
                knob.focusHeader();
        }

        Column {
            anchors.centerIn: parent
            spacing: 10

            Label {
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("Remove wheel %1? This cannot be undone.").arg(removeDialog.slot + 1)
            }
            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 6
                VButton {
                    id: removeOk
                    objectName: "removeWheelOk"
                    width: 80
                    text: qsTr("Remove")
                    onClicked: removeDialog.confirm()
                }
                VButton {
                    objectName: "removeWheelCancel"
                    width: 80
                    text: qsTr("Cancel")
                    onClicked: removeDialog.close()
                }
            }
        }
    }
}
