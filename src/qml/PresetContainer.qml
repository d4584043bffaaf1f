// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5
import QtQuick.Window 2.14

// The preset bay: 16 preset slots that slide up from the bottom edge of the
// window. A left click loads a filled slot; the right-click menu saves the
// current patch into a slot or removes it; a screen reader's press action
// opens an accessible window with the same three operations.
Rectangle {
    id: element
    objectName: "presetBay"

    // Name used when a patch is saved without any title at all (an empty
    // slot saved without typing a name).
    function fallbackName(slot, typed, previous) {
        if (typed.length > 0)
            return typed;
        if (previous.length > 0)
            return previous;
        return qsTr("Preset %1").arg(slot + 1);
    }

    function saveToSlot(slot, name) {
        if (typeof fileManager === "undefined" || !fileManager)
            return;
        fileManager.saveCurrentPatchToSlot(slot, name);
        presetRepeater.sync();
    }

    function removeSlot(slot) {
        if (typeof fileManager === "undefined" || !fileManager)
            return;
        fileManager.removePatchAtSlot(slot);
        presetRepeater.sync();
    }

    function loadSlot(slot) {
        if (typeof fileManager === "undefined" || !fileManager)
            return;
        if (fileManager.slotIsEmtpy(slot))
            return;
        fileManager.loadPatchAtSlot(slot);
    }

    function openAccessibleWindow(slot) {
        presetAccessibleWindow.slot = slot;
        presetAccessibleWindow.show();
        presetAccessibleWindow.raise();
        presetAccessibleWindow.requestActivate();
    }

    height: 90
    width: parent ? parent.width : 650
    color: "transparent"
    state: "closed"
    visible: false
    z: 10

    RectBorder {}

    states: [
        State {
            name: "closed"
            PropertyChanges {
                target: element
                y: element.parent ? element.parent.height : 0
            }
        },
        State {
            name: "opened"
            PropertyChanges {
                target: element
                y: element.parent ? element.parent.height - element.height : 0
            }
        }
    ]

    transitions: [
        Transition {
            to: "opened"
            SequentialAnimation {
                PropertyAction {
                    target: element
                    property: "visible"
                    value: true
                }
                NumberAnimation {
                    target: element
                    property: "y"
                    duration: 80
                }
            }
        },
        Transition {
            to: "closed"
            SequentialAnimation {
                NumberAnimation {
                    target: element
                    property: "y"
                    duration: 80
                }
                PropertyAction {
                    target: element
                    property: "visible"
                    value: false
                }
            }
        }
    ]

    Connections {
        target: typeof stateManager !== "undefined" ? stateManager : null
        function onPresetBayStateChanged(shown) {
            element.state = stateManager.isPresetBayShown ? "opened" : "closed";
        }
    }

    Connections {
        target: typeof fileManager !== "undefined" ? fileManager : null
        ignoreUnknownSignals: true
        function onPatchChanged() {
            presetRepeater.sync();
        }
        function onPatchSlotChanged() {
            presetRepeater.sync();
        }
    }

    Component.onCompleted: {
        presetRepeater.sync();
        if (typeof stateManager !== "undefined" && stateManager && stateManager.isPresetBayShown)
            state = "opened";
    }

    Rectangle {
        anchors.fill: parent
        color: "#1a1a1a"
        opacity: 0.92
    }

    Grid {
        id: presetGrid
        anchors.fill: parent
        anchors.margins: 1
        columns: 8
        rows: 2
        spacing: 0

        Repeater {
            id: presetRepeater
            objectName: "presetRepeater"
            model: 16

            function sync() {
                var fm = (typeof fileManager !== "undefined") ? fileManager : null;
                for (var i = 0; i < count; ++i) {
                    var button = itemAt(i);
                    if (!button)
                        continue;
                    var empty = fm ? fm.slotIsEmtpy(i) : true;
                    button.isEmpty = empty;
                    button.text = empty ? "" : fm.getSlotName(i);
                    button.selected = !empty && fm.slotIsChecked(i);
                }
            }

            delegate: VButton {
                id: presetButton
                objectName: "presetButton" + index

                property bool isEmpty: true
                property bool selected: false
                property color emptyColor: "#1f1f1f"

                width: presetGrid.width / 8
                height: 45
                bgColor: selected ? "#ffa500" : emptyColor
                opacity: isEmpty ? 0.4 : 1
                font.pixelSize: 11

                Accessible.name: "Preset " + (index + 1) + (isEmpty ? "" : " - " + text + " - ")
                        + (selected ? " is selected" : "")
                Accessible.onPressAction: element.openAccessibleWindow(index)

                onClicked: element.loadSlot(index)

                // The slot's menu from the keyboard; Delete asks to remove.
                function openMenu() {
                    presetButtonMenu.slot = index;
                    presetButtonMenu.slotTitle = presetButton.text;
                    presetButtonMenu.slotEmpty = presetButton.isEmpty;
                    presetButtonMenu.popup(presetButton, 0, presetButton.height / 2);
                }
                Keys.onPressed: {
                    if (event.key === Qt.Key_Menu || (event.key === Qt.Key_F10 && (event.modifiers & Qt.ShiftModifier))) {
                        openMenu();
                        event.accepted = true;
                    } else if (event.key === Qt.Key_Delete && !isEmpty) {
                        deletePopup.slot = index;
                        deletePopup.open();
                        event.accepted = true;
                    }
                }

                MouseArea {
                    anchors.fill: parent
                    acceptedButtons: Qt.RightButton
                    onClicked: {
                        presetButtonMenu.slot = index;
                        presetButtonMenu.slotTitle = presetButton.text;
                        presetButtonMenu.slotEmpty = presetButton.isEmpty;
                        presetButtonMenu.popup(presetButton, mouse.x, mouse.y);
                    }
                }
            }
        }
    }

    Menu {
        id: presetButtonMenu
        objectName: "presetButtonMenu"

        property int slot: -1
        property string slotTitle: ""
        property bool slotEmpty: true

        MenuItem {
            objectName: "saveHereItem"
            text: qsTr("Save current patch here")
            onTriggered: {
                renamePopup.slot = presetButtonMenu.slot;
                renamePopup.presetTitle = presetButtonMenu.slotTitle;
                renamePopup.open();
            }
        }
        MenuItem {
            objectName: "removeItem"
            text: qsTr("Remove")
            enabled: !presetButtonMenu.slotEmpty
            onTriggered: {
                deletePopup.slot = presetButtonMenu.slot;
                deletePopup.open();
            }
        }
    }

    Dialog {
        id: renamePopup
        objectName: "renamePopup"
        // Its name for screen readers; the bold line inside shows it.
        title: qsTr("Preset name")
        header: null

        property int slot: -1
        property string presetTitle: ""

        function confirm() {
            element.saveToSlot(slot, element.fallbackName(slot, nameField.text, presetTitle));
            close();
        }

        parent: Overlay.overlay
        x: parent ? (parent.width - width) / 2 : 0
        y: parent ? (parent.height - height) / 2 : 0
        width: 250
        height: 140
        modal: true
        focus: true
        standardButtons: Dialog.NoButton
        onOpened: {
            nameField.text = "";
            nameField.forceActiveFocus();
        }

        Column {
            anchors.centerIn: parent
            width: 200
            spacing: 16

            Label {
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("Preset name")
                font.bold: true
                font.pointSize: 16
            }
            TextField {
                id: nameField
                objectName: "nameField"
                anchors.horizontalCenter: parent.horizontalCenter
                width: 180
                placeholderText: renamePopup.presetTitle
                selectByMouse: true
                Accessible.name: qsTr("Preset name")
                // Return with an empty field only closes: nothing is saved.
                onAccepted: {
                    if (text.length > 0)
                        renamePopup.confirm();
                    else
                        renamePopup.close();
                }
            }
            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 6

                VButton {
                    objectName: "renameOkButton"
                    width: 80
                    text: qsTr("OK")
                    onClicked: renamePopup.confirm()
                }
                VButton {
                    objectName: "renameCancelButton"
                    width: 80
                    text: qsTr("Cancel")
                    Accessible.name: qsTr("Cancel saving")
                    onClicked: renamePopup.close()
                }
            }
        }
    }

    Dialog {
        id: deletePopup
        objectName: "deletePopup"
        title: qsTr("Remove preset")
        header: null

        property int slot: -1

        parent: Overlay.overlay
        x: parent ? (parent.width - width) / 2 : 0
        y: parent ? (parent.height - height) / 2 : 0
        width: 380
        height: 140
        modal: true
        focus: true
        standardButtons: Dialog.NoButton

        Column {
            anchors.centerIn: parent
            spacing: 10

            Label {
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("Are you sure to delete this patch?")
                font.bold: true
                font.pointSize: 13
            }
            Label {
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("This cannot be undone.")
            }
            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 6
                VButton {
                    objectName: "deleteOkButton"
                    width: 80
                    text: qsTr("OK")
                    onClicked: {
                        element.removeSlot(deletePopup.slot);
                        deletePopup.close();
                    }
                }
                VButton {
                    objectName: "deleteCancelButton"
                    width: 80
                    text: qsTr("Cancel")
                    onClicked: deletePopup.close()
                }
            }
        }
    }

    Window {
        id: presetAccessibleWindow
        objectName: "presetAccessibleWindow"

        property int slot: 0
        readonly property bool slotEmpty: {
            visible; // re-read whenever the window opens
            return (typeof fileManager === "undefined" || !fileManager) ? true : fileManager.slotIsEmtpy(slot);
        }
        readonly property string slotTitle: {
            visible;
            return (typeof fileManager === "undefined" || !fileManager || slotEmpty) ? "" : fileManager.getSlotName(slot);
        }

        title: qsTr("Preset %1").arg(slot + 1)
        width: 300
        height: 260
        minimumWidth: width
        maximumWidth: width
        minimumHeight: height
        maximumHeight: height
        modality: Qt.ApplicationModal
        color: "#2f2f2f"
        onVisibleChanged: {
            if (visible)
                acctextField.text = "";
        }

        Shortcut {
            sequence: "Escape"
            onActivated: presetAccessibleWindow.close()
        }

        Column {
            anchors.fill: parent
            anchors.margins: 14
            spacing: 12

            Label {
                objectName: "accTitle"
                width: parent.width
                elide: Text.ElideRight
                font.bold: true
                font.pointSize: 16
                text: presetAccessibleWindow.slotEmpty ? qsTr("Preset %1 (empty)").arg(presetAccessibleWindow.slot + 1) : qsTr("Preset %1: %2").arg(presetAccessibleWindow.slot + 1).arg(presetAccessibleWindow.slotTitle)
            }
            Button {
                objectName: "accLoadButton"
                width: parent.width
                text: qsTr("Load this preset")
                enabled: !presetAccessibleWindow.slotEmpty
                onClicked: {
                    element.loadSlot(presetAccessibleWindow.slot);
                    presetAccessibleWindow.close();
                }
            }
            TextField {
                id: acctextField
                objectName: "acctextField"
                width: parent.width
                placeholderText: qsTr("Preset Name")
                Accessible.name: qsTr("Preset Name")
                selectByMouse: true
            }
            Button {
                objectName: "accSaveButton"
                width: parent.width
                text: qsTr("Save current patch to this preset")
                onClicked: {
                    var w = presetAccessibleWindow;
                    element.saveToSlot(w.slot, element.fallbackName(w.slot, acctextField.text, w.slotTitle));
                    w.close();
                }
            }
            Button {
                objectName: "accRemoveButton"
                width: parent.width
                text: qsTr("Remove this preset")
                enabled: !presetAccessibleWindow.slotEmpty
                onClicked: {
                    element.removeSlot(presetAccessibleWindow.slot);
                    presetAccessibleWindow.close();
                }
            }
            Button {
                objectName: "accCancelButton"
                width: parent.width
                text: qsTr("Cancel")
                onClicked: presetAccessibleWindow.close()
            }
        }
    }
}
