// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5
import QtTest 1.2
import "qrc:/"
import "Finder.js" as Finder

// The knobs, the slide-up editor and the accessible editor against the stub
// engine: adding and switching wheels, focus, handles, mapping button, the
// event menu, the range knobs and the accessible editor's event field.
Item {
    id: root
    width: 650
    height: 700

    Component {
        id: setupComponent
        Item {
            anchors.fill: parent
            property alias sliders: sliders
            property alias panel: panel
            property alias accessible: accessible

            SliderContainer {
                id: sliders
                width: parent.width
                editor: panel
                accessibleEditor: accessible
            }
            ControlPanel {
                id: panel
                width: parent.width
                z: 10
            }
            MultisliderAccesibleWindow {
                id: accessible
                visible: false
            }
        }
    }

    TestCase {
        id: testCase
        name: "Knobs"
        when: windowShown

        property var setup: null

        function knob(i) {
            return setup.sliders.knobs.itemAt(i);
        }
        function find(item, name) {
            var found = Finder.find(item, name);
            verify(found !== null, "no object named " + name);
            return found;
        }
        function ms(i) {
            return knob(i).multiSlider;
        }
        function addWheel(i) {
            mouseClick(find(knob(i), "sliderTopbar"));
            verify(!ms(i).isDummy, "wheel " + i + " added");
        }
        function menuItemFor(menu, evt) {
            for (var i = 0; i < menu.count; ++i) {
                var it = menu.itemAt(i);
                if (it && it.evtNumber === evt)
                    return it;
            }
            return null;
        }

        // One set of knobs and editors for all tests (the editor's menus are
        // costly to build); each test starts from empty slots.
        function initTestCase() {
            setup = setupComponent.createObject(root);
            verify(setup !== null);
            waitForRendering(setup.sliders);
        }

        function cleanupTestCase() {
            if (setup)
                setup.destroy();
        }

        function init() {
            stateManager.reset();
            actionHandler.reset();
            motionControlEngine.reset();
            motionControlEngine.addDevice("left");
            motionControlEngine.addDevice("right");
            setup.sliders.refreshAll();
            for (var i = 0; i < 12; ++i)
                ms(i).calls = [];
            setup.panel.multiSlider = null;
            setup.accessible.multiSlider = null;
            tryCompare(setup.panel, "visible", false);
        }

        function cleanup() {
            var menus = [setup.panel.ccMenu, setup.panel.chMenu];
            for (var i = 0; i < menus.length; ++i)
                if (menus[i])
                    menus[i].close();
            for (var k = 0; k < 12; ++k)
                if (knob(k).rightClickMenu)
                    knob(k).rightClickMenu.close();
            if (setup.accessible.visible)
                setup.accessible.close();
        }

        // --- header ----------------------------------------------------------

        function test_twelveEmptyKnobs() {
            compare(setup.sliders.knobs.count, 12);
            for (var i = 0; i < 12; ++i) {
                var k = knob(i);
                compare(k.width, 145);
                compare(find(k, "sliderLabel").text, "Empty slot");
                compare(find(k, "sliderTopbar").Accessible.description, "Press to add a source on slot " + (i + 1));
                verify(!find(k, "onOffButton").checked);
            }
        }

        function test_clickingAnEmptyHeaderAddsAWheel() {
            var k = knob(2);
            mouseClick(find(k, "sliderTopbar"));
            compare(motionControlEngine.last("addNewCSourceAt")[0], 2);
            verify(!ms(2).isDummy);
            compare(find(k, "sliderLabel").text, "Wheel 3");
            compare(find(k, "channelLabel").text, "CH 1");
            verify(find(k, "onOffButton").checked);
            compare(k.headerTint, k.topBarTint);
            compare(find(k, "sliderTopbar").Accessible.description, "Wheel 3 on slot 3, currently on, press to turn it off");
            // The caption names the event: wheel 3 gets controller 3.
            compare(find(k, "eventLabel").text, "CC 3");
            compare(find(k, "axisLabel").text, "X");
        }

        function test_headerOnARealWheelTurnsItOffAndOn() {
            addWheel(0);
            var k = knob(0);
            var header = find(k, "sliderTopbar");
            mouseClick(header);
            compare(ms(0).last("setEnable")[0], false);
            verify(!ms(0).isEnabled);
            compare(k.headerTint, k.topBarDisableTint);
            verify(!find(k, "onOffButton").checked);
            compare(header.Accessible.description, "Wheel 1 on slot 1, currently off, press to turn it on");
            mouseClick(header);
            verify(ms(0).isEnabled);
            compare(k.headerTint, k.topBarTint);
        }

        function test_releaseOutsideTheHeaderDoesNothing() {
            var header = find(knob(1), "sliderTopbar");
            mousePress(header, 10, 10);
            mouseMove(header, 10, 80);
            mouseRelease(header, 10, 80);
            compare(motionControlEngine.count("addNewCSourceAt"), 0);
        }

        function test_accessiblePressOnTheHeaderAddsAWheel() {
            find(knob(5), "sliderTopbar").Accessible.pressAction();
            compare(motionControlEngine.last("addNewCSourceAt")[0], 5);
        }

        // --- focus and editor ---------------------------------------------

        function test_selectingAKnobOpensTheEditorAndAgainClosesIt() {
            addWheel(1);
            var area = find(knob(1), "selectArea");
            mouseClick(area);
            compare(stateManager.focusedSource, 1);
            compare(setup.panel.multiSlider, ms(1));
            compare(setup.panel.state, "opened");
            tryCompare(setup.panel, "y", root.height - setup.panel.height);
            verify(setup.panel.visible);
            compare(find(setup.panel, "nameField").text, "Wheel 2");
            mouseClick(area);
            compare(stateManager.focusedSource, -1);
            compare(setup.panel.state, "closed");
            tryCompare(setup.panel, "visible", false);
        }

        function test_selectingAnotherKnobMovesTheEditor() {
            addWheel(0);
            addWheel(3);
            mouseClick(find(knob(0), "selectArea"));
            mouseClick(find(knob(3), "selectArea"));
            compare(stateManager.focusedSource, 3);
            compare(setup.panel.multiSlider, ms(3));
            compare(setup.panel.state, "opened");
        }

        // The cable follows the knob chosen while the editor stays open.
        function test_cableFollowsTheChosenKnob() {
            addWheel(0);
            addWheel(3);
            var cable = find(setup.panel, "cableCanvas");
            var knobCentre = function (i) {
                return knob(i).mapToItem(cable, knob(i).width / 2, 0).x;
            };
            mouseClick(find(knob(0), "selectArea"));
            tryCompare(setup.panel, "y", root.height - setup.panel.height);
            tryVerify(function () {
                return Math.abs(cable.prevX - knobCentre(0)) < 1;
            }, 2000);
            // Every paint the opening asked for is done.
            waitForRendering(root);
            wait(100);
            mouseClick(find(knob(3), "selectArea"));
            tryVerify(function () {
                return Math.abs(cable.prevX - knobCentre(3)) < 1;
            }, 2000, "the cable moved to the chosen knob");
        }

        // The band names follow bands moved up or down, or renamed in the
        // device panel (shown while the editor is closed).
        function test_deviceNamesFollowTheBands() {
            addWheel(3);
            mouseClick(find(knob(3), "selectArea"));
            var dev0 = find(setup.panel, "deviceRadio0");
            compare(dev0.text, "left");
            motionControlEngine.swapDevices(0, 1);
            compare(dev0.text, "right");
            mouseClick(find(knob(3), "selectArea"));
            tryCompare(setup.panel, "visible", false);
            motionControlEngine.devices[0].name = "lead";
            mouseClick(find(knob(3), "selectArea"));
            compare(dev0.text, "lead");
        }

        function test_emptyKnobOpensNoEditor() {
            mouseClick(find(knob(4), "selectArea"));
            compare(stateManager.focusedSource, -1);
            compare(setup.panel.state, "closed");
        }

        function test_accessibilityModeOpensTheAccessibleEditor() {
            addWheel(0);
            stateManager.isAccessibilityModeOn = true;
            mouseClick(find(knob(0), "selectArea"));
            compare(actionHandler.count("quitFloatingWindowMode"), 1);
            compare(setup.accessible.multiSlider, ms(0));
            verify(setup.accessible.visible);
            compare(stateManager.focusedSource, -1);
        }

        function test_editorChoosesDeviceAndAxis() {
            addWheel(0);
            mouseClick(find(knob(0), "selectArea"));
            tryCompare(setup.panel, "y", root.height - setup.panel.height);
            var dev1 = find(setup.panel, "deviceRadio1");
            compare(dev1.text, "right");
            verify(dev1.enabled);
            verify(!find(setup.panel, "deviceRadio2").enabled);
            compare(find(setup.panel, "deviceRadio2").text, "No device");
            mouseClick(dev1);
            compare(ms(0).last("setDevice")[0], 1);
            verify(dev1.checked);
            verify(!find(setup.panel, "deviceRadio0").checked);
            var axisZ = find(setup.panel, "axisRadio2");
            mouseClick(axisZ);
            compare(ms(0).last("setSource")[0], 2);
            verify(axisZ.checked);
            compare(find(knob(0), "axisLabel").text, "Z");
        }

        function test_switchesAndName() {
            addWheel(0);
            mouseClick(find(knob(0), "selectArea"));
            tryCompare(setup.panel, "y", root.height - setup.panel.height);
            var rev = find(setup.panel, "reverseSwitch");
            mouseClick(rev, 20, rev.height / 2);
            compare(ms(0).last("setReversed")[0], true);
            compare(find(knob(0), "reverseLabel").lit, true);
            var gate = find(setup.panel, "gateSwitch");
            mouseClick(gate, 20, gate.height / 2);
            compare(ms(0).last("setGated")[0], true);
            var field = find(setup.panel, "nameField");
            field.text = "";
            field.accepted();
            compare(ms(0).count("setName"), 0);
            field.text = "Filter";
            field.accepted();
            compare(ms(0).last("setName")[0], "Filter");
            compare(find(knob(0), "sliderLabel").text, "Filter");
        }

        function test_editorControlsAreNamed() {
            addWheel(0);
            var p = setup.panel;
            var tips = {
                "sensitivityKnob": "Sensitivity",
                "defaultKnob": "Default value, right click to switch on/off",
                "minKnob": "Min Midi output value",
                "maxKnob": "Max Midi output value"
            };
            for (var n in tips) {
                compare(find(p, n).ToolTip.text, tips[n], n);
                compare(find(p, n).Accessible.description, tips[n], n);
            }
            compare(find(p, "sensitivityKnob").Accessible.name, "Sensitivity, 1.0");
            compare(find(p, "reverseSwitch").Accessible.name, "Reverse");
            compare(find(p, "gateSwitch").Accessible.name, "Gate");
            compare(find(p, "axisRadio3").Accessible.name, "G axis");
            verify(find(p, "channelButton").Accessible.name.length > 0);
            verify(find(p, "eventButton").Accessible.name.length > 0);
            verify(find(p, "nameField").Accessible.name.length > 0);
            compare(find(knob(0), "sliderTopbar").Accessible.name, "Wheel 1, X axis of band 1, CC 1");
            // Empty slots are told apart by their number.
            compare(find(knob(5), "sliderTopbar").Accessible.name, "Wheel 6, empty");
            verify(find(knob(0), "selectArea").Accessible.name.length > 0);
        }

        // --- range knobs ------------------------------------------------------

        function test_minAboveMaxIsRefusedByClamping() {
            addWheel(0);
            mouseClick(find(knob(0), "selectArea"));
            ms(0).setMax(80);
            var minKnob = find(setup.panel, "minKnob");
            minKnob.value = 100;
            minKnob.moved();
            compare(ms(0).last("setMin")[0], 80);
            verify(ms(0).min < ms(0).max);
            compare(minKnob.value, ms(0).min);
            ms(0).setMin(50);
            var maxKnob = find(setup.panel, "maxKnob");
            maxKnob.value = 20;
            maxKnob.moved();
            compare(ms(0).last("setMax")[0], 50);
            compare(ms(0).max, 80);
            compare(maxKnob.value, 80);
        }

        function test_defaultKnobOnOffAndLimits() {
            addWheel(0);
            mouseClick(find(knob(0), "selectArea"));
            var dk = find(setup.panel, "defaultKnob");
            // A new wheel has its default off: no handle, knob shows "off".
            verify(!dk.on);
            compare(dk.label, "off");
            verify(!find(knob(0), "defaultSlider").visible);
            dk.value = 40;
            dk.moved();
            compare(ms(0).count("setDefaultValue"), 0);
            // Pressing the knob switches the default on at its own default.
            mousePress(dk, dk.width / 2, dk.size / 2);
            mouseRelease(dk, dk.width / 2, dk.size / 2);
            verify(dk.on);
            compare(ms(0).defaultValue, 0);
            verify(find(knob(0), "defaultSlider").visible);
            ms(0).setMin(20);
            ms(0).setMax(90);
            dk.value = 120;
            dk.moved();
            compare(ms(0).last("setDefaultValue")[0], 90);
            dk.value = 3;
            dk.moved();
            compare(ms(0).last("setDefaultValue")[0], 20);
            mouseClick(dk, dk.width / 2, dk.size / 2, Qt.RightButton);
            verify(!dk.on);
            compare(ms(0).last("setDefaultValue")[0], -1);
            verify(!find(knob(0), "defaultSlider").visible);
        }

        // --- event and channel menus --------------------------------------

        function test_eventMenuDisablesControllersUsedOnTheChannel() {
            addWheel(0);   // controller 1 on channel 0
            addWheel(6);   // controller 7 on channel 0
            addWheel(1);   // controller 2 on channel 0
            mouseClick(find(knob(1), "selectArea"));
            var ccMenu = setup.panel.eventMenu();
            compare(ccMenu.objectName, "ccMenu");
            setup.panel.refreshEventMenu();
            verify(!menuItemFor(ccMenu, 1).enabled, "modulation used by wheel 1");
            verify(!menuItemFor(ccMenu, 7).enabled, "volume used by wheel 7");
            verify(menuItemFor(ccMenu, 10).enabled);
            verify(menuItemFor(ccMenu, 200).enabled);
            var other = setup.panel.eventMenus[2];
            verify(menuItemFor(other, 64).enabled);
            // The same controllers on another channel are free.
            ms(1).setChannel(3);
            setup.panel.refreshEventMenu();
            verify(menuItemFor(ccMenu, 1).enabled);
            verify(menuItemFor(ccMenu, 7).enabled);
            // And a wheel on that channel blocks it again.
            ms(0).setChannel(3);
            setup.panel.refreshEventMenu();
            verify(!menuItemFor(ccMenu, 1).enabled);
        }

        function test_eventMenuEntriesAndChoice() {
            addWheel(0);
            mouseClick(find(knob(0), "selectArea"));
            var ccMenu = setup.panel.eventMenu();
            compare(ccMenu.objectName, "ccMenu");
            compare(menuItemFor(ccMenu, 7).text, "CC 7 | Volume");
            compare(menuItemFor(ccMenu, 200).text, "Pitchbend");
            compare(menuItemFor(setup.panel.eventMenus[1], 0).text, "CC 0 | Bank Select");
            compare(setup.panel.eventMenus[1].count, 59);
            compare(setup.panel.eventMenus[2].count, 56); // 64-119: no channel-mode controllers
            menuItemFor(ccMenu, 200).triggered();
            compare(ms(0).last("setEventNumber")[0], 200);
            compare(find(setup.panel, "eventButton").text, "Pitchbend");
            compare(find(knob(0), "eventLabel").text, "Pichbend");
            menuItemFor(ccMenu, 11).triggered();
            compare(find(knob(0), "eventLabel").text, "Expression");
            var ch = setup.panel.channelMenu();
            compare(ch.objectName, "chMenu");
            compare(ch.count, 16);
            ch.itemAt(9).triggered();
            compare(ms(0).last("setChannel")[0], 9);
            compare(find(setup.panel, "channelButton").text, "Channel 10");
            compare(find(knob(0), "channelLabel").text, "CH 10");
        }

        // --- handles ------------------------------------------------------------

        function test_draggingTheLowerHandleToTheTop() {
            addWheel(0);
            var k = knob(0);
            var face = find(k, "knob");
            var lb = find(k, "lbButton");
            mousePress(lb, lb.width / 2, lb.height / 2);
            // The top of the knob is the middle of the scale.
            var top = face.mapToItem(lb, face.width / 2, 2);
            mouseMove(lb, top.x, top.y);
            mouseRelease(lb, top.x, top.y);
            fuzzyCompare(ms(0).lowerbound, 64, 1);
            compare(ms(0).upperbound, 127);
        }

        function test_handlesStopAtEachOther() {
            addWheel(0);
            var k = knob(0);
            ms(0).setUppberbound(60);
            k.dragHandle("lower", 100, false);
            compare(ms(0).lowerbound, 60);
            ms(0).setLowerbound(30);
            k.dragHandle("upper", 10, false);
            compare(ms(0).upperbound, 30);
            ms(0).setUppberbound(60);
            ms(0).setMin(20);
            ms(0).setMax(70);
            ms(0).setDefaultValue(50);
            k.dragHandle("default", 120, false);
            compare(ms(0).defaultValue, 70);
            k.dragHandle("default", 0, false);
            compare(ms(0).defaultValue, 20);
        }

        function test_shiftDragsBothBounds() {
            addWheel(0);
            var k = knob(0);
            ms(0).setLowerbound(20);
            ms(0).setUppberbound(60);
            k.dragHandle("lower", 50, true);
            compare(ms(0).lowerbound, 50);
            compare(ms(0).upperbound, 90);
            k.dragHandle("upper", 127, true);
            compare(ms(0).lowerbound, 87);
            compare(ms(0).upperbound, 127);
        }

        function test_handleToolTipsAndNames() {
            addWheel(0);
            var k = knob(0);
            compare(find(k, "lbButton").ToolTip.text, "Motion lowerbound");
            compare(find(k, "ubButton").ToolTip.text, "Motion upperbound");
            ms(0).setDefaultValue(42.4);
            compare(find(k, "defaultButton").ToolTip.text, "Default value: 42");
        }

        // --- mapping button and removal ----------------------------------

        function test_mappingButton() {
            addWheel(0);
            var button = find(knob(0), "mappingButton");
            compare(button.state, "closed");
            stateManager.isInMappingMode = true;
            compare(button.state, "opened");
            tryCompare(button, "opacity", 1);
            compare(button.Accessible.name, "Send mapping message for wheel 1");
            mouseClick(button);
            compare(ms(0).count("sendMapping"), 1);
            mouseClick(button, button.width / 2, button.height / 2, Qt.LeftButton, Qt.ControlModifier);
            compare(ms(0).count("sendMapping"), 1);
            compare(ms(0).last("setLowerbound")[0], 0);
            compare(ms(0).last("setUppberbound")[0], 127);
            // An empty slot has no mapping button.
            compare(find(knob(1), "mappingButton").state, "closed");
        }

        function test_controlClickResetsTheWindowEvenWithMappingOff() {
            addWheel(0);
            knob(0).pressMapping(Qt.ControlModifier);
            compare(ms(0).last("setUppberbound")[0], 127);
            knob(0).pressMapping(Qt.NoModifier);
            compare(ms(0).count("sendMapping"), 0);
        }

        function test_rightClickRemovesARealWheelOnly() {
            mouseClick(knob(0), 70, 70, Qt.RightButton);
            verify(!knob(0).rightClickMenu || !knob(0).rightClickMenu.visible);
            addWheel(0);
            mouseClick(knob(0), 70, 70, Qt.RightButton);
            var menu = knob(0).rightClickMenu;
            verify(menu);
            compare(menu.objectName, "rightClickMenu");
            tryCompare(menu, "visible", true);
            find(menu, "removeItem").triggered();
            compare(motionControlEngine.last("removeCSourceAt")[0], 0);
            menu.close();
            // The engine's cSourceRemoved refreshes every knob.
            verify(ms(0).isDummy);
            compare(find(knob(0), "sliderLabel").text, "Empty slot");
        }

        // --- accessible editor -------------------------------------------

        function test_accessibleEditorEventField() {
            addWheel(0);
            var w = setup.accessible;
            w.multiSlider = ms(0);
            var field = find(w.contentItem, "eventField");
            compare(field.Accessible.name, "Midi CC, currently set to CC 1");
            compare(field.Accessible.description, "Type in a controller from 0 to 119, 200 for pitchbend, 201 for aftertouch");
            field.text = "130";
            field.accepted();
            compare(ms(0).count("setEventNumber"), 0);
            compare(field.text, "130");
            field.text = "200";
            field.accepted();
            compare(ms(0).last("setEventNumber")[0], 200);
            compare(field.text, "");
            compare(field.Accessible.name, "Midi CC, currently set to Pitchbend");
            field.text = "201";
            field.accepted();
            compare(field.Accessible.name, "Midi CC, currently set to Aftertouch");
            // 120-127 are channel-mode messages: refused; a patch that names
            // one gets a note saying why the wheel is silent.
            var note = find(w.contentItem, "channelModeNote");
            field.text = "127";
            field.accepted();
            compare(ms(0).last("setEventNumber")[0], 201);
            verify(!note.visible);
            ms(0).setEventNumber(123);
            verify(note.visible);
            compare(note.Accessible.name, note.text);
            field.text = "119";
            field.accepted();
            compare(ms(0).last("setEventNumber")[0], 119);
            verify(!note.visible);
            // The validator keeps out what is not a number 0..201.
            field.text = "";
            field.insert(0, "x-9");
            verify(!field.acceptableInput || field.text.length === 0);
        }

        function test_accessibleEditorControls() {
            addWheel(0);
            ms(0).setChannel(4);
            var w = setup.accessible;
            w.multiSlider = ms(0);
            w.show();
            var c = w.contentItem;
            compare(find(c, "titleLabel").text, "Wheel 1 configuration");
            compare(find(c, "bypassButton").Accessible.name, "Disable");
            compare(find(c, "removeButton").Accessible.name, "Remove");
            var devices = find(c, "deviceList");
            compare(devices.Accessible.name, "Device attachment");
            compare(devices.count, 2);
            compare(devices.currentText, "left");
            compare(devices.Accessible.description, "this wheel is attached to left");
            var axis = find(c, "axisList");
            compare(axis.Accessible.name, "Axis");
            compare(axis.Accessible.description, "this wheel is on X axis.");
            var channel = find(c, "channelBox");
            compare(channel.value, 5);
            compare(channel.Accessible.name, "MIDI Channel");
            compare(channel.Accessible.description, "MIDI Channel, currently set to channel 5");
            var names = {
                "lbSlider": "Motion lowerbound",
                "ubSlider": "Motion upperbound",
                "senSlider": "Sensitivity",
                "minSlider": "Output value at lowerbound",
                "maxSlider": "Output value at Upperbound",
                "dftSlider": "Default value when motion goes out of range"
            };
            for (var n in names)
                compare(find(c, n).Accessible.name, names[n], n);
            compare(find(c, "reverseCheckbox").Accessible.name, "Reverse Mode");
            compare(find(c, "gateCheckbox").Accessible.name, "Gate Mode");
            compare(find(c, "senSlider").value, 10);
        }

        // Both editors: named smoothing controls, reached like the others;
        // switching smoothing on brings the dead band of one step along.
        function test_smoothingControlsInBothEditors() {
            addWheel(0);
            mouseClick(find(knob(0), "selectArea"));
            tryCompare(setup.panel, "y", root.height - setup.panel.height);
            var p = setup.panel;
            var smooth = find(p, "smoothSwitch");
            compare(smooth.Accessible.name, "Smoothing");
            compare(find(p, "cutoffKnob").enabled, false);
            smooth.Accessible.toggleAction();
            compare(ms(0).last("setSmoothing")[0], true);
            compare(ms(0).smoothingMinCutoff, 1);
            compare(find(p, "deadBandKnob").value, 1);
            compare(find(p, "cutoffKnob").Accessible.name, "Smoothing cutoff, 1.0 hertz");
            compare(find(p, "speedKnob").Accessible.name, "Smoothing speed response, 1.0");
            compare(find(p, "deadBandKnob").Accessible.name, "Dead band, 1 steps");
            var speed = find(p, "speedKnob");
            speed.forceActiveFocus(Qt.TabFocusReason);
            keyClick(Qt.Key_End);
            compare(ms(0).last("setSmoothingBeta")[0], 5);

            var w = setup.accessible;
            w.multiSlider = ms(0);
            w.show();
            var c = w.contentItem;
            compare(find(c, "smoothCheckbox").checked, true);
            compare(find(c, "cutoffSlider").Accessible.name, "Smoothing cutoff in tenths of a hertz");
            compare(find(c, "speedSlider").value, 50);
            compare(find(c, "deadBandSlider").Accessible.name, "Dead band in output steps");
            var box = find(c, "smoothCheckbox");
            box.toggle();
            box.toggled();
            compare(ms(0).smoothing, false);
            compare(ms(0).deadBand, 0);
            compare(find(c, "deadBandSlider").value, 0);
        }

        function test_accessibleEditorActions() {
            addWheel(0);
            var w = setup.accessible;
            w.multiSlider = ms(0);
            w.show();
            var c = w.contentItem;
            find(c, "bypassButton").toggle();
            find(c, "bypassButton").toggled();
            compare(ms(0).last("setEnable")[0], false);
            w.setSensitivity(15);
            fuzzyCompare(ms(0).last("setSensivitiy")[0], 1.5, 1e-9);
            ms(0).setUppberbound(50);
            w.setLowerbound(90);
            compare(ms(0).lowerbound, 50);
            w.setMax(0);
            verify(ms(0).max > ms(0).min);
            var channel = find(c, "channelBox");
            channel.value = 16;
            channel.valueModified();
            compare(ms(0).last("setChannel")[0], 15);
            find(c, "removeButton").clicked();
            compare(motionControlEngine.last("removeCSourceAt")[0], 0);
            verify(!w.visible);
        }
    }
}
