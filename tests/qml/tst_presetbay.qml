// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5
import QtTest 1.2
import "qrc:/"

// The preset bay: slot buttons filled from the file manager, load on click,
// save with a name, removal with confirmation, the accessible window.
Item {
    id: root
    width: 650
    height: 700

    Component {
        id: bayComponent
        PresetContainer {}
    }

    TestCase {
        id: testCase
        name: "PresetBay"
        when: windowShown

        property var bay: null

        function findChild(item, name) {
            if (!item)
                return null;
            if (item.objectName === name)
                return item;
            var kids = item.children;
            for (var i = 0; i < kids.length; ++i) {
                var found = findChild(kids[i], name);
                if (found)
                    return found;
            }
            var data = item.data;
            if (data) {
                for (var j = 0; j < data.length; ++j) {
                    if (data[j] && data[j] !== kids[j] && data[j].objectName === name)
                        return data[j];
                }
            }
            return null;
        }

        function button(i) {
            return findChild(bay, "presetButton" + i);
        }

        function openBay() {
            stateManager.setPresetBayState(true);
            tryCompare(bay, "y", root.height - bay.height);
            verify(bay.visible);
        }

        function init() {
            stateManager.reset();
            fileManager.reset();
            bay = createTemporaryObject(bayComponent, root);
            openBay();
        }

        function cleanup() {
            var popups = ["renamePopup", "deletePopup"];
            for (var i = 0; i < popups.length; ++i) {
                var p = findChild(bay, popups[i]);
                if (p && p.opened)
                    p.close();
            }
        }

        function test_sixteenButtonsSyncedFromFileManager() {
            for (var i = 0; i < 16; ++i)
                verify(button(i) !== null, "button " + i);
            compare(button(0).text, "Ambient pads");
            verify(!button(0).isEmpty);
            verify(!button(0).selected);
            compare(button(0).opacity, 1);
            compare(button(0).bgColor, button(0).emptyColor);
            // Slot 2 holds the current patch.
            verify(button(1).selected);
            compare(button(1).bgColor, "#ffa500");
            // Empty slot: no title, dimmed.
            compare(button(2).text, "");
            verify(button(2).isEmpty);
            compare(button(2).opacity, 0.4);
        }

        function test_accessibleNames() {
            compare(button(0).Accessible.name, "Preset 1 - Ambient pads - ");
            compare(button(1).Accessible.name, "Preset 2 - Drum kit -  is selected");
            compare(button(2).Accessible.name, "Preset 3");
        }

        function test_clickLoadsFilledSlotOnly() {
            mouseClick(button(4));
            compare(fileManager.count("loadPatchAtSlot"), 1);
            compare(fileManager.last("loadPatchAtSlot")[0], 4);
            // The bay follows the new current patch.
            verify(button(4).selected);
            verify(!button(1).selected);
            mouseClick(button(2));
            compare(fileManager.count("loadPatchAtSlot"), 1);
        }

        function test_bayOpensAndClosesWithState() {
            stateManager.setPresetBayState(false);
            tryCompare(bay, "visible", false);
            compare(bay.y, root.height);
            stateManager.setPresetBayState(true);
            tryCompare(bay, "y", root.height - bay.height);
            verify(bay.visible);
        }

        function openSaveDialogOn(i) {
            var menu = findChild(bay, "presetButtonMenu");
            mouseClick(button(i), 10, 10, Qt.RightButton);
            tryCompare(menu, "opened", true);
            var saveItem = findChild(menu.contentItem, "saveHereItem") || menu.itemAt(0);
            saveItem.triggered();
            menu.close();
            var popup = findChild(bay, "renamePopup");
            tryCompare(popup, "opened", true);
            return popup;
        }

        function test_okWithoutNameKeepsPreviousTitle() {
            var popup = openSaveDialogOn(0);
            var field = findChild(popup.contentItem, "nameField");
            compare(field.placeholderText, "Ambient pads");
            compare(field.text, "");
            mouseClick(findChild(popup.contentItem, "renameOkButton"));
            compare(fileManager.count("saveCurrentPatchToSlot"), 1);
            compare(fileManager.last("saveCurrentPatchToSlot")[0], 0);
            compare(fileManager.last("saveCurrentPatchToSlot")[1], "Ambient pads");
            tryCompare(popup, "opened", false);
        }

        function test_okWithoutAnyTitleNamesTheSlot() {
            var popup = openSaveDialogOn(2);
            mouseClick(findChild(popup.contentItem, "renameOkButton"));
            compare(fileManager.last("saveCurrentPatchToSlot")[1], "Preset 3");
            // The bay shows the new patch at once.
            compare(button(2).text, "Preset 3");
            verify(button(2).selected);
        }

        function test_returnWithTypedNameSaves() {
            var popup = openSaveDialogOn(2);
            var field = findChild(popup.contentItem, "nameField");
            verify(field.activeFocus);
            keyClick(Qt.Key_L);
            keyClick(Qt.Key_E);
            keyClick(Qt.Key_A);
            keyClick(Qt.Key_D);
            keyClick(Qt.Key_Return);
            compare(fileManager.count("saveCurrentPatchToSlot"), 1);
            compare(fileManager.last("saveCurrentPatchToSlot")[1], "lead");
            tryCompare(popup, "opened", false);
            compare(button(2).text, "lead");
        }

        function test_returnWithEmptyFieldSavesNothing() {
            var popup = openSaveDialogOn(0);
            keyClick(Qt.Key_Return);
            tryCompare(popup, "opened", false);
            compare(fileManager.count("saveCurrentPatchToSlot"), 0);
        }

        function openRemoveDialogOn(i) {
            var menu = findChild(bay, "presetButtonMenu");
            mouseClick(button(i), 10, 10, Qt.RightButton);
            tryCompare(menu, "opened", true);
            var removeItem = menu.itemAt(1);
            verify(removeItem.enabled);
            removeItem.triggered();
            menu.close();
            var popup = findChild(bay, "deletePopup");
            tryCompare(popup, "opened", true);
            return popup;
        }

        function test_removeAsksFirstThenRemoves() {
            var popup = openRemoveDialogOn(4);
            compare(fileManager.count("removePatchAtSlot"), 0);
            mouseClick(findChild(popup.contentItem, "deleteOkButton"));
            compare(fileManager.count("removePatchAtSlot"), 1);
            compare(fileManager.last("removePatchAtSlot")[0], 4);
            tryCompare(popup, "opened", false);
            verify(button(4).isEmpty);
            compare(button(4).text, "");
        }

        function test_removeCancelLeavesSlot() {
            var popup = openRemoveDialogOn(4);
            mouseClick(findChild(popup.contentItem, "deleteCancelButton"));
            tryCompare(popup, "opened", false);
            compare(fileManager.count("removePatchAtSlot"), 0);
            compare(button(4).text, "Filter sweep");
        }

        function test_removeDisabledOnEmptySlot() {
            var menu = findChild(bay, "presetButtonMenu");
            mouseClick(button(3), 10, 10, Qt.RightButton);
            tryCompare(menu, "opened", true);
            verify(!menu.itemAt(1).enabled);
            verify(menu.itemAt(0).enabled);
            menu.close();
        }

        function test_screenReaderPressOpensAccessibleWindow() {
            var w = findChild(bay, "presetAccessibleWindow");
            button(3).Accessible.pressAction();
            tryCompare(w, "visible", true);
            compare(w.slot, 3);
            compare(findChild(w.contentItem, "accTitle").text, "Preset 4 (empty)");
            // The press opens the window instead of loading.
            compare(fileManager.count("loadPatchAtSlot"), 0);
            w.close();
        }

        function test_accessibleWindow() {
            bay.openAccessibleWindow(0);
            var w = findChild(bay, "presetAccessibleWindow");
            tryCompare(w, "visible", true);
            compare(w.slot, 0);
            var title = findChild(w.contentItem, "accTitle");
            compare(title.text, "Preset 1: Ambient pads");

            // Save with an empty field keeps the title, not the hint text.
            findChild(w.contentItem, "accSaveButton").clicked();
            compare(fileManager.last("saveCurrentPatchToSlot")[1], "Ambient pads");
            verify(!w.visible);

            bay.openAccessibleWindow(0);
            findChild(w.contentItem, "acctextField").text = "Strings";
            findChild(w.contentItem, "accSaveButton").clicked();
            compare(fileManager.last("saveCurrentPatchToSlot")[1], "Strings");

            bay.openAccessibleWindow(4);
            findChild(w.contentItem, "accLoadButton").clicked();
            compare(fileManager.last("loadPatchAtSlot")[0], 4);
            verify(!w.visible);

            bay.openAccessibleWindow(4);
            findChild(w.contentItem, "accRemoveButton").clicked();
            compare(fileManager.last("removePatchAtSlot")[0], 4);
            verify(button(4).isEmpty);

            bay.openAccessibleWindow(4);
            verify(!findChild(w.contentItem, "accLoadButton").enabled);
            verify(!findChild(w.contentItem, "accRemoveButton").enabled);
            w.close();
        }
    }
}
