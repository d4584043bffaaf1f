// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// Stand-in for the file manager's preset slots: 16 names, "" for an empty
// slot, and the slot holding the current patch.
CallLog {
    property var names: []
    property int checkedSlot: -1

    signal patchChanged
    signal patchSlotChanged

    function reset() {
        clearCalls();
        var n = [];
        for (var i = 0; i < 16; ++i)
            n.push("");
        n[0] = "Ambient pads";
        n[1] = "Drum kit";
        n[4] = "Filter sweep";
        names = n;
        checkedSlot = 1;
    }

    function getSlotName(i) {
        return (i >= 0 && i < names.length) ? names[i] : "";
    }
    function slotIsEmtpy(i) {
        return getSlotName(i).length === 0;
    }
    function slotIsChecked(i) {
        return i === checkedSlot;
    }
    function getPresetPath() {
        return "/tmp/kinetra-presets";
    }
    function loadPatchAtSlot(slot) {
        record("loadPatchAtSlot", [slot]);
        if (!slotIsEmtpy(slot)) {
            checkedSlot = slot;
            patchChanged();
        }
    }
    function saveCurrentPatchToSlot(slot, name) {
        record("saveCurrentPatchToSlot", [slot, name]);
        names[slot] = name;
        checkedSlot = slot;
        patchSlotChanged();
    }
    function removePatchAtSlot(slot) {
        record("removePatchAtSlot", [slot]);
        names[slot] = "";
        if (checkedSlot === slot)
            checkedSlot = -1;
        patchSlotChanged();
    }
    function saveCurrentPatchToPath(path) {
        record("saveCurrentPatchToPath", [path]);
    }
    function loadPatchAt(path, isBackup) {
        record("loadPatchAt", [path, isBackup]);
    }

    Component.onCompleted: reset()
}
