// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5
import QtTest 1.2
import "qrc:/"
import "Finder.js" as Finder

// The device band against the stub engine: device buttons, the reorder menu,
// hand, mute and solo, renaming, the live-data tiles and the Z-centre
// calibration with its audible guide.
Item {
    id: root
    width: 650
    height: 700

    Component {
        id: bandComponent
        DeviceContainer {
            width: root.width
        }
    }

    TestCase {
        id: testCase
        name: "DevicePanel"
        when: windowShown

        property var band: null

        function find(item, name) {
            var found = Finder.find(item, name);
            verify(found !== null, "no object named " + name);
            return found;
        }
        function button(i) {
            return find(band, "deviceButton" + i);
        }
        function orvikItem() {
            return find(band, "orvikItem");
        }
        function orvik() {
            return orvikItem().orvik;
        }
        function device(i) {
            return motionControlEngine.getDeviceAt(i);
        }
        function focus(i) {
            mouseClick(button(i));
            compare(stateManager.focusedDevice, i);
        }
        function popup(name) {
            return find(orvikItem(), name);
        }

        function init() {
            stateManager.reset();
            actionHandler.reset();
            motionControlEngine.reset();
            band = createTemporaryObject(bandComponent, root);
            verify(band !== null);
            waitForRendering(band);
        }

        function cleanup() {
            var names = ["renamePopup", "headingPopup"];
            for (var i = 0; i < names.length; ++i) {
                var p = Finder.find(band, names[i]);
                if (p && p.opened)
                    p.close();
            }
        }

        function addTwo() {
            motionControlEngine.addDevice("left");
            motionControlEngine.addDevice("right");
        }

        // --- device buttons ----------------------------------------------

        function test_withoutDevicesTheButtonsAreDisabled() {
            compare(band.height, 90);
            for (var i = 0; i < 4; ++i) {
                compare(button(i).text, "No device");
                verify(!button(i).enabled);
            }
            mouseClick(button(0));
            compare(stateManager.focusedDevice, -1);
            compare(actionHandler.count("sendBlinkOnDeviceAt"), 0);
            verify(!find(band, "orvikContent").enabled);
        }

        function test_devicesFillTheButtons() {
            addTwo();
            compare(button(0).text, "left");
            compare(button(1).text, "right");
            verify(button(0).enabled);
            verify(button(1).enabled);
            verify(!button(2).enabled);
            compare(button(2).text, "No device");
        }

        function test_clickFocusesAndBlinks() {
            addTwo();
            focus(1);
            compare(actionHandler.last("sendBlinkOnDeviceAt")[0], 1);
            verify(button(1).checked);
            verify(!button(0).checked);
            compare(orvik().i, 1);
            compare(orvik().name, "right");
            verify(find(band, "orvikContent").enabled);
            // Clicking the checked button keeps it checked.
            mouseClick(button(1));
            verify(button(1).checked);
            // The screen reader's press and toggle select like a click.
            button(0).Accessible.pressAction();
            compare(stateManager.focusedDevice, 0);
            compare(actionHandler.last("sendBlinkOnDeviceAt")[0], 0);
            button(1).Accessible.toggleAction();
            compare(stateManager.focusedDevice, 1);
            button(0).Accessible.toggleAction();
            compare(stateManager.focusedDevice, 0);
            compare(button(0).Accessible.name, "Band 1, Right hand");
            verify(button(0).Accessible.description.indexOf("left") === 0);
        }

        function test_reorderMenuEntries() {
            addTwo();
            mouseClick(button(0), 10, 8, Qt.RightButton);
            compare(stateManager.focusedDevice, 0);
            var menu0 = find(button(0), "reorderMenu");
            tryCompare(menu0, "visible", true);
            verify(!find(menu0, "moveUpItem").visible, "no Move Up on the first position");
            verify(find(menu0, "moveDownItem").visible);
            compare(find(menu0, "moveUpItem").height, 0);
            menu0.close();
            mouseClick(button(1), 10, 8, Qt.RightButton);
            var menu1 = find(button(1), "reorderMenu");
            tryCompare(menu1, "visible", true);
            verify(find(menu1, "moveUpItem").visible);
            verify(!find(menu1, "moveDownItem").visible, "no Move down on the last device");
            find(menu1, "moveUpItem").triggered();
            menu1.close();
            compare(motionControlEngine.last("swapDevices")[0], 1);
            compare(motionControlEngine.last("swapDevices")[1], 0);
            compare(stateManager.focusedDevice, 0);
            compare(button(0).text, "right");
            compare(button(1).text, "left");
        }

        function test_removeFocusesTheFirstRemainingDevice() {
            addTwo();
            mouseClick(button(1), 10, 8, Qt.RightButton);
            var menu = find(button(1), "reorderMenu");
            tryCompare(menu, "visible", true);
            find(menu, "removeItem").triggered();
            menu.close();
            compare(motionControlEngine.last("removeDeviceAt")[0], 1);
            compare(stateManager.focusedDevice, 0);
            verify(!button(1).enabled);
            compare(button(1).text, "No device");
            mouseClick(button(0), 10, 8, Qt.RightButton);
            menu = find(button(0), "reorderMenu");
            tryCompare(menu, "visible", true);
            find(menu, "removeItem").triggered();
            menu.close();
            compare(stateManager.focusedDevice, -1);
        }

        // --- hand, mute, solo ------------------------------------------

        function test_handMuteSoloAndTheirNames() {
            addTwo();
            focus(0);
            var hand = find(band, "handSelect");
            compare(hand.Accessible.name, "Worn on the left hand, band 1");
            verify(!hand.checked);
            mouseClick(hand, 20, hand.height / 2);
            verify(orvik().isOnLeft);
            verify(device(0).isOnLeft);
            // The name stays; the check state follows the hand.
            compare(hand.Accessible.name, "Worn on the left hand, band 1");
            verify(hand.checked);
            var mute = find(band, "muteButton");
            var solo = find(band, "soloButton");
            compare(mute.Accessible.name, "Mute band 1");
            verify(!mute.Accessible.checked);
            compare(solo.Accessible.name, "Solo band 1");
            mouseClick(solo);
            verify(orvik().isSoloed);
            verify(solo.Accessible.checked);
            // Muting a soloed device clears its solo...
            mouseClick(mute);
            verify(orvik().isMuted);
            verify(!orvik().isSoloed);
            verify(mute.checked);
            verify(!solo.checked);
            verify(mute.Accessible.checked);
            // ...and soloing a muted one clears its mute.
            mouseClick(solo);
            verify(orvik().isSoloed);
            verify(!orvik().isMuted);
        }

        // --- rename -------------------------------------------------------

        // The Y gate knob shows and sets the focused band's own gate, by
        // keys as well as by mouse, and is named with its value.
        function test_yGateKnobFollowsTheFocusedBand() {
            addTwo();
            device(1).yGate = 0.25;
            focus(0);
            var knob = find(band, "yGateKnob");
            compare(knob.Accessible.name, "Y gate of band 1, off");
            knob.forceActiveFocus(Qt.TabFocusReason);
            keyClick(Qt.Key_PageUp);
            keyClick(Qt.Key_Up);
            compare(device(0).yGate, 0.11);
            compare(knob.Accessible.name, "Y gate of band 1, 11 percent");
            keyClick(Qt.Key_End);
            compare(device(0).yGate, 1);
            focus(1);
            compare(knob.value, 25);
            compare(knob.Accessible.name, "Y gate of band 2, 25 percent");
            knob.forceActiveFocus(Qt.TabFocusReason);
            keyClick(Qt.Key_Home);
            compare(device(1).yGate, 0);
            compare(device(0).yGate, 1);
            compare(knob.Accessible.name, "Y gate of band 2, off");
        }

        function test_rename_data() {
            return [{
                    "tag": "plain",
                    "typed": "drums",
                    "name": "drums"
                }, {
                    "tag": "empty",
                    "typed": "",
                    "name": "Orvik"
                }, {
                    "tag": "twenty characters",
                    "typed": "abcdefghijklmnopqrst",
                    "name": "abcdefghijkl"
                }];
        }

        function test_rename(data) {
            addTwo();
            focus(1);
            var dlg = popup("renamePopup");
            mouseClick(find(band, "setNameButton"));
            tryCompare(dlg, "opened", true);
            var field = find(dlg.contentItem, "renameField");
            compare(field.placeholderText, "New name for device");
            field.text = data.typed;
            mouseClick(find(dlg.contentItem, "renameOk"));
            tryCompare(dlg, "visible", false);
            compare(orvik().name, data.name);
            compare(device(1).name, data.name);
            compare(button(1).text, data.name);
        }

        // Cancel and Escape leave the name alone.
        function test_renameCancelAndEscape() {
            addTwo();
            focus(1);
            var dlg = popup("renamePopup");
            var ways = ["cancel", "escape"];
            for (var w = 0; w < ways.length; ++w) {
                mouseClick(find(band, "setNameButton"));
                tryCompare(dlg, "opened", true);
                find(dlg.contentItem, "renameField").text = "Other";
                if (ways[w] === "cancel")
                    mouseClick(find(dlg.contentItem, "renameCancel"));
                else
                    keyClick(Qt.Key_Escape);
                tryCompare(dlg, "visible", false);
                compare(device(1).name, "right", ways[w]);
            }
        }

        function test_renameByReturn() {
            addTwo();
            focus(0);
            var dlg = popup("renamePopup");
            dlg.open();
            tryCompare(dlg, "opened", true);
            var field = find(dlg.contentItem, "renameField");
            field.text = "bass";
            field.accepted();
            tryCompare(dlg, "visible", false);
            compare(button(0).text, "bass");
        }

        // --- data tiles ------------------------------------------------------

        function test_fourDataTiles() {
            var letters = ["X", "Y", "Z", "G"];
            for (var i = 0; i < 4; ++i) {
                var tile = find(band, "dataMonitor" + i);
                compare(tile.width, tile.height);
                compare(tile.monitor.sourceType, i);
                compare(find(tile, "axisLetter").text, letters[i]);
                verify(tile.Accessible.ignored);
                verify(tile.x + tile.width <= find(band, "monitorRect").width);
            }
        }

        // --- Z centre ---------------------------------------------------------

        // Opens the dialog with its timer stopped, so the test drives the
        // ticks itself.
        function openHeading() {
            var dlg = popup("headingPopup");
            mouseClick(find(band, "setZCenterButton"));
            tryCompare(dlg, "opened", true);
            find(dlg, "animationTimer").stop();
            return dlg;
        }
        function ticks(dlg, n) {
            for (var i = 0; i < n; ++i)
                dlg.tick();
        }
        function pose(x, y, zRef) {
            var d = device(0);
            d.x = x;
            d.y = y;
            d.zRef = zRef;
        }

        function test_calibrationStoresTheAverageAndCloses() {
            addTwo();
            focus(0);
            pose(0.5, 0.5, 0.2);
            var dlg = openHeading();
            var item = find(dlg, "headingPopupItem");
            var status = find(dlg, "statusLabel");
            ticks(dlg, 25);
            pose(0.5, 0.5, 0.4);
            ticks(dlg, 26);
            verify(item.inRange);
            verify(!item.done);
            verify(status.visible);
            compare(status.text, "Processing... Please hold");
            compare(find(dlg, "animationTimer").count, 51);
            verify(!find(dlg, "logo").visible);
            ticks(dlg, 50);
            verify(item.done);
            compare(status.text, "Done!");
            compare(device(0).initPosCalls, undefined);
            verify(dlg.opened);
            ticks(dlg, 1);
            compare(device(0).initPosCalls, 1);
            fuzzyCompare(device(0).initPos, (25 * 0.2 + 26 * 0.4) / 51, 1e-6);
            tryCompare(dlg, "visible", false);
        }

        function test_leavingThePoseAfter30TicksRestarts() {
            addTwo();
            focus(0);
            pose(0.5, 0.5, 0.9);
            var dlg = openHeading();
            ticks(dlg, 30);
            compare(find(dlg, "animationTimer").count, 30);
            pose(0.5, 0.8, 0.9);
            ticks(dlg, 1);
            compare(find(dlg, "animationTimer").count, 0);
            verify(!find(dlg, "headingPopupItem").inRange);
            verify(find(dlg, "logo").visible);
            pose(0.5, 0.5, -0.3);
            ticks(dlg, 102);
            fuzzyCompare(device(0).initPos, -0.3, 1e-6);
        }

        function test_closingEarlyStoresNothingAndReopeningStartsOver() {
            addTwo();
            focus(0);
            pose(0.5, 0.5, 0.5);
            var dlg = openHeading();
            ticks(dlg, 60);
            verify(find(dlg, "headingPopupItem").done);
            dlg.close();
            tryCompare(dlg, "visible", false);
            compare(device(0).initPosCalls, undefined);
            verify(!find(dlg, "headingPopupItem").done);
            dlg = openHeading();
            compare(find(dlg, "animationTimer").count, 0);
            ticks(dlg, 50);
            verify(!find(dlg, "headingPopupItem").done);
            compare(device(0).initPosCalls, undefined);
        }

        function test_timerRunsWhileOpen() {
            addTwo();
            focus(0);
            pose(0.5, 0.5, 0.1);
            var dlg = popup("headingPopup");
            dlg.open();
            tryCompare(dlg, "opened", true);
            verify(find(dlg, "animationTimer").running);
            // About 1.6 s: the hold and the "Done!" phase pass and it closes.
            tryCompare(dlg, "visible", false, 15000);
            fuzzyCompare(device(0).initPos, 0.1, 1e-6);
            verify(!find(dlg, "animationTimer").running);
        }

        function test_audibleGuideInAccessibilityMode() {
            addTwo();
            focus(0);
            stateManager.isAccessibilityModeOn = true;
            pose(0.3, 0.9, 0);
            var dlg = openHeading();
            compare(actionHandler.last("setZAuditoryIsPlaying")[0], true);
            ticks(dlg, 1);
            fuzzyCompare(actionHandler.last("setZAuditoryFreq")[0], 236, 1e-4);
            fuzzyCompare(actionHandler.last("setZAuditoryLfoRate")[0], 4.6, 1e-4);
            fuzzyCompare(actionHandler.last("setZAuditoryPan")[0], 0.7, 1e-4);
            fuzzyCompare(actionHandler.last("setZAuditoryAmp")[0], 0.2, 1e-6);
            pose(0.5, 0.5, 0);
            ticks(dlg, 1);
            compare(actionHandler.last("setZAuditoryFreq")[0], 293);
            compare(actionHandler.last("setZAuditoryLfoRate")[0], 4);
            compare(actionHandler.last("setZAuditoryPan")[0], 0.5);
            dlg.close();
            tryCompare(dlg, "visible", false);
            compare(actionHandler.last("setZAuditoryIsPlaying")[0], false);
        }

        function test_noGuideOutsideAccessibilityMode() {
            addTwo();
            focus(0);
            pose(0.5, 0.5, 0);
            var dlg = openHeading();
            ticks(dlg, 3);
            dlg.close();
            tryCompare(dlg, "visible", false);
            compare(actionHandler.count("setZAuditoryIsPlaying"), 0);
            compare(actionHandler.count("setZAuditoryFreq"), 0);
        }
    }
}
