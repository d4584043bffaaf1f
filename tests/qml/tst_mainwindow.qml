// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5
import QtTest 1.2
import "Finder.js" as Finder

// The main window against stand-ins of the back end: tempo field, keyboard
// routing, menus, preferences and the missing virtual port warning.
TestCase {
    id: testCase
    name: "MainWindow"
    when: windowShown

    property var win: null

    function find(name) {
        var found = Finder.find(win, name);
        verify(found !== null, "no object named " + name);
        return found;
    }

    function sendKey(key, press, autoRepeat, text) {
        keySender.send(win, key, press, autoRepeat, text === undefined ? "" : text);
    }

    function typeKey(key, text) {
        sendKey(key, true, false, text);
        sendKey(key, false, false, text);
    }

    function resetAll() {
        stateManager.reset();
        actionHandler.reset();
        fileManager.reset();
        midiHandler.reset();
        transport.reset();
        virtualKeyboard.reset();
    }

    function initTestCase() {
        resetAll();
        var component = Qt.createComponent("qrc:/main.qml");
        compare(component.status, Component.Ready, component.errorString());
        win = component.createObject(null);
        verify(win !== null);
        waitForRendering(win.contentItem);
        win.requestActivate();
        tryCompare(win, "active", true);
    }

    function cleanupTestCase() {
        if (win)
            win.destroy();
    }

    function init() {
        resetAll();
        var tempo = find("tempo");
        if (tempo.editing)
            tempo.exitEditing();
        find("v_Keyboard").forceActiveFocus();
        virtualKeyboard.reset();
        // A secondary window left open by a failed test keeps the focus.
        var settings = Finder.find(win, "settingsWindow");
        if (settings && settings.visible) {
            settings.close();
            win.requestActivate();
            tryCompare(win, "active", true);
        }
    }

    // --- window and tool bar ---------------------------------------------

    function test_windowSizeGrowsByInWindowMenuBar() {
        compare(win.width, 650);
        verify(!win.hasNativeMenuBar);
        var bar = find("inWindowMenuBar");
        verify(bar.visible);
        verify(bar.height > 0);
        // The platform applies a new window size asynchronously.
        tryCompare(win, "height", 700 + win.menuBar.height);
        compare(win.contentItem.height, 700);
        compare(win.minimumHeight, win.height);
        compare(win.maximumWidth, 650);
        compare(find("topBar").y, 0);
    }

    function test_toolBarControlsHaveAccessibleNames_data() {
        return [
            { "tag": "powerSwitch", "name": "Power Switch", "description": "Power switch" },
            { "tag": "tapTempo", "name": "Tap", "description": "Tap tempo button, current tempo: 120, tap at least 4 times to set a new tempo" },
            { "tag": "tempo", "name": "Tempo, 120 beats per minute", "description": "Arrows, Page Up and Page Down change the tempo; type a number and press Return to set it" },
            { "tag": "playButton", "name": "Send start signal", "description": "Send start signal" },
            { "tag": "stopButton", "name": "Send stop signal", "description": "Send stop signal" },
            { "tag": "mappingModeSwitch", "name": "Mapping Mode Switch", "description": "Toggle mapping mode" },
            { "tag": "clockButton", "name": "Send midi clock", "description": "Send midi clock" },
            { "tag": "syncButton", "name": "Sync to midi clock", "description": "Sync to midi clock" },
            { "tag": "keysButton", "name": "Virtual Keyboard", "description": "Virtual Keyboard" },
            { "tag": "hiResButton", "name": "Hi-Res MIDI", "description": "Hi Resolution MIDI" },
            { "tag": "presetsButton", "name": "Preset panel", "description": "Preset panel" },
            { "tag": "onTopButton", "name": "Window on top", "description": "Put Kinetra window on top" }
        ];
    }

    function test_toolBarControlsHaveAccessibleNames(data) {
        var control = find(data.tag);
        if (data.tag !== "tapTempo")
            compare(control.Accessible.name, data.name);
        else
            compare(control.text, data.name);
        compare(control.Accessible.description, data.description);
    }

    function test_toolBarButtonsDriveActions() {
        mouseClick(find("mappingModeSwitch"));
        compare(actionHandler.count("enterMappingMode"), 1);
        verify(find("mappingModeSwitch").checked);
        mouseClick(find("mappingModeSwitch"));
        compare(actionHandler.count("quitMappingMode"), 1);

        mouseClick(find("presetsButton"));
        compare(actionHandler.count("showPresetBay"), 1);
        var bay = find("presetBay");
        tryCompare(bay, "y", 700 - bay.height);
        mouseClick(find("presetsButton"));
        compare(actionHandler.count("hidePresetBay"), 1);
        tryCompare(bay, "visible", false);

        mouseClick(find("clockButton"));
        verify(!stateManager.isSendingClock);
        mouseClick(find("keysButton"));
        verify(!stateManager.isVKeyOn);
        verify(find("v_Keyboard").activeFocus);

        mouseClick(find("powerSwitch"));
        compare(actionHandler.last("toggleConnection")[0], true);
        mouseClick(find("tapTempo"));
        compare(actionHandler.count("tapTempo"), 1);
    }

    // The power button shows the link, not the last click: a receiver that
    // never answers leaves it off, and a lost link turns it off.
    function test_powerShowsTheConnection() {
        var power = find("powerSwitch");
        mouseClick(power);
        compare(actionHandler.last("toggleConnection")[0], true);
        verify(!power.checked);
        stateManager.isConnected = true;
        verify(power.checked);
        stateManager.isConnected = false;
        verify(!power.checked);
        stateManager.isConnected = true;
        mouseClick(power);
        compare(actionHandler.last("toggleConnection")[0], false);
        verify(power.checked);
    }

    // Hide only where the tray icon can bring the window back (Xvfb has no
    // tray), by the menu and by its shortcut alike.
    function test_hideOnlyWhereTheTrayCanBringTheWindowBack() {
        var hide = win.menuBar.item.menuAt(3).itemAt(1);
        compare(hide.text, "Hide");
        compare(win.canHide, false);
        verify(!hide.visible);
        verify(!hide.action.enabled);
        keyClick(Qt.Key_W, Qt.ControlModifier);
        compare(actionHandler.count("closeWindow"), 0);
    }

    function test_playShowsTransportState() {
        var play = find("playButton");
        mouseClick(play);
        compare(transport.count("startPlay"), 1);
        verify(play.checked);
        // A second click while playing does not restart or uncheck.
        mouseClick(play);
        compare(transport.count("startPlay"), 1);
        verify(play.checked);
        mouseClick(find("stopButton"));
        compare(transport.count("stopPlay"), 1);
        verify(!play.checked);
    }

    function test_clockLampBlinksOnlyWhileSendingClock() {
        var led = find("clockLed");
        stateManager.isSendingClock = false;
        transport.quaterNoteTick();
        wait(60);
        verify(Qt.colorEqual(led.color, "#4f4f4f"));
        stateManager.isSendingClock = true;
        transport.quaterNoteTick();
        tryVerify(function () {
            return !Qt.colorEqual(led.color, "#4f4f4f");
        }, 1000);
        tryVerify(function () {
            return Qt.colorEqual(led.color, "#4f4f4f");
        }, 2000);
    }

    // --- tempo field -----------------------------------------------------

    function test_tempoDragThreePixelsPerBeat() {
        var tempo = find("tempo");
        mousePress(tempo, 18, 14);
        mouseMove(tempo, 18, 11);
        compare(actionHandler.last("setTempo")[0], 121);
        mouseMove(tempo, 18, -16);
        compare(actionHandler.last("setTempo")[0], 130);
        mouseMove(tempo, 18, 29);
        compare(actionHandler.last("setTempo")[0], 115);
        mouseRelease(tempo, 18, 29);
        compare(stateManager.tempo, 115);
        compare(tempo.text, "115");
    }

    function test_tempoDragOutsideRangeNotSent_data() {
        return [
            { "tag": "above 256", "start": 255, "dy": -9, "last": 256 },
            { "tag": "below 20", "start": 21, "dy": 9, "last": 20 }
        ];
    }

    function test_tempoDragOutsideRangeNotSent(data) {
        stateManager.tempo = data.start;
        var tempo = find("tempo");
        mousePress(tempo, 18, 14);
        for (var dy = 0; Math.abs(dy) <= Math.abs(data.dy); dy += (data.dy < 0 ? -1 : 1))
            mouseMove(tempo, 18, 14 + dy);
        mouseRelease(tempo, 18, 14 + data.dy);
        compare(actionHandler.count("setTempo"), 1);
        compare(actionHandler.last("setTempo")[0], data.last);
        compare(stateManager.tempo, data.last);
    }

    function startTyping() {
        var tempo = find("tempo");
        mouseDoubleClickSequence(tempo, 18, 14);
        verify(tempo.editing);
        verify(tempo.activeFocus);
        compare(tempo.text, "Enter value");
        return tempo;
    }

    function test_tempoTypingReturnSets() {
        var tempo = startTyping();
        typeKey(Qt.Key_9, "9");
        typeKey(Qt.Key_5, "5");
        compare(tempo.text, "95");
        typeKey(Qt.Key_Return, "\r");
        verify(!tempo.editing);
        compare(actionHandler.last("setTempo")[0], 95);
        compare(tempo.text, "95");
        verify(find("v_Keyboard").activeFocus);
    }

    function test_tempoTypingAtMostThreeDigits() {
        var tempo = startTyping();
        typeKey(Qt.Key_1, "1");
        typeKey(Qt.Key_2, "2");
        typeKey(Qt.Key_3, "3");
        typeKey(Qt.Key_4, "4");
        compare(tempo.text, "123");
        typeKey(Qt.Key_A, "a");
        compare(tempo.text, "123");
        typeKey(Qt.Key_Return, "\r");
        compare(actionHandler.last("setTempo")[0], 123);
    }

    function test_tempoTypingBackspaceAndEscape() {
        var tempo = startTyping();
        typeKey(Qt.Key_1, "1");
        typeKey(Qt.Key_8, "8");
        typeKey(Qt.Key_Backspace, "\b");
        compare(tempo.text, "1");
        typeKey(Qt.Key_Escape, "\u001b");
        verify(!tempo.editing);
        compare(actionHandler.count("setTempo"), 0);
        compare(tempo.text, "120");
    }

    function test_tempoTypingEmptyOrOutOfRangeIgnored_data() {
        return [
            { "tag": "empty", "keys": [] },
            { "tag": "zero", "keys": ["0"] },
            { "tag": "too fast", "keys": ["3", "0", "0"] },
            { "tag": "too slow", "keys": ["1", "9"] }
        ];
    }

    function test_tempoTypingEmptyOrOutOfRangeIgnored(data) {
        var tempo = startTyping();
        for (var i = 0; i < data.keys.length; ++i)
            typeKey(Qt.Key_0 + parseInt(data.keys[i]), data.keys[i]);
        typeKey(Qt.Key_Return, "\r");
        verify(!tempo.editing);
        compare(actionHandler.count("setTempo"), 0);
        compare(stateManager.tempo, 120);
        compare(tempo.text, "120");
    }

    function test_tempoClickElsewhereLeavesEditing() {
        var tempo = startTyping();
        typeKey(Qt.Key_7, "7");
        // An empty part of the window, below the knobs.
        mouseClick(win.contentItem, 20, 680);
        verify(!tempo.editing);
        compare(tempo.text, "120");
        compare(actionHandler.count("setTempo"), 0);
    }

    function test_tempoFollowsState() {
        stateManager.tempo = 133;
        compare(find("tempo").text, "133");
    }

    function test_tempoAccessibilityActions() {
        var tempo = find("tempo");
        compare(tempo.Accessible.role, Accessible.Slider);
        tempo.Accessible.increaseAction();
        compare(actionHandler.last("setTempo")[0], 121);
        tempo.Accessible.decreaseAction();
        tempo.Accessible.decreaseAction();
        compare(actionHandler.last("setTempo")[0], 119);
        // The screen reader's steps stay within 20..256 like the mouse.
        stateManager.tempo = 256;
        actionHandler.clearCalls();
        tempo.Accessible.increaseAction();
        compare(actionHandler.count("setTempo"), 0);
        stateManager.tempo = 20;
        tempo.Accessible.decreaseAction();
        compare(actionHandler.count("setTempo"), 0);
        tempo.Accessible.increaseAction();
        compare(actionHandler.last("setTempo")[0], 21);
    }

    // --- keyboard routing ------------------------------------------------

    function test_heldKeySendsOnePress() {
        sendKey(Qt.Key_A, true, false, "a");
        for (var i = 0; i < 5; ++i) {
            sendKey(Qt.Key_A, false, true, "a");
            sendKey(Qt.Key_A, true, true, "a");
        }
        compare(virtualKeyboard.count("keyPressed"), 1);
        compare(virtualKeyboard.count("keyReleased"), 0);
        sendKey(Qt.Key_A, false, false, "a");
        compare(virtualKeyboard.count("keyReleased"), 1);
        compare(virtualKeyboard.last("keyPressed")[0], Qt.Key_A);
        compare(virtualKeyboard.last("keyReleased")[0], Qt.Key_A);
    }

    function test_tabPlaysSustainInsteadOfMovingFocus() {
        typeKey(Qt.Key_Tab, "\t");
        compare(virtualKeyboard.last("keyPressed")[0], Qt.Key_Tab);
        compare(virtualKeyboard.last("keyReleased")[0], Qt.Key_Tab);
        verify(find("v_Keyboard").activeFocus);
    }

    function test_keysIgnoredWithVirtualKeyboardOff() {
        stateManager.isVKeyOn = false;
        typeKey(Qt.Key_A, "a");
        compare(virtualKeyboard.count("keyPressed"), 0);
        compare(virtualKeyboard.count("keyReleased"), 0);
    }

    function test_spaceTogglesTransport_data() {
        return [{ "tag": "keyboard on", "vkey": true }, { "tag": "keyboard off", "vkey": false }];
    }

    function test_spaceTogglesTransport(data) {
        stateManager.isVKeyOn = data.vkey;
        typeKey(Qt.Key_Space, " ");
        compare(transport.count("startPlay"), 1);
        verify(transport.isPlaying);
        // Holding space does not flip it back and forth.
        sendKey(Qt.Key_Space, true, false, " ");
        sendKey(Qt.Key_Space, true, true, " ");
        sendKey(Qt.Key_Space, true, true, " ");
        sendKey(Qt.Key_Space, false, false, " ");
        compare(transport.count("stopPlay"), 1);
        verify(!transport.isPlaying);
        compare(transport.count("startPlay"), 1);
    }

    function test_focusLossReleasesNotes() {
        sendKey(Qt.Key_A, true, false, "a");
        startTyping();
        compare(virtualKeyboard.count("allNoteOff"), 1);
    }

    function test_windowDeactivationReleasesNotesOnce() {
        sendKey(Qt.Key_A, true, false, "a");
        var about = find("mainMenuLoader").item.aboutWindowLoader.open();
        tryCompare(about, "active", true);
        tryVerify(function () {
            return virtualKeyboard.count("allNoteOff") === 1;
        }, 2000);
        wait(50);
        compare(virtualKeyboard.count("allNoteOff"), 1);
        about.close();
        win.requestActivate();
        tryCompare(win, "active", true);
        // The keyboard plays again once the window is back.
        tryCompare(find("v_Keyboard"), "activeFocus", true);
        typeKey(Qt.Key_S, "s");
        compare(virtualKeyboard.last("keyPressed")[0], Qt.Key_S);
    }

    // --- menus -----------------------------------------------------------

    function test_presetMenuTexts() {
        var menus = [win.menuBar.item.presetMenu, find("mainMenuLoader").item.presetMenu];
        for (var m = 0; m < menus.length; ++m) {
            var menu = menus[m];
            menu.refresh();
            var itemAt = function (i) {
                return m === 0 ? menu.itemAt(i) : menu.items[i];
            };
            compare(itemAt(0).text, "Slot 1 | Ambient pads");
            verify(itemAt(0).enabled);
            compare(itemAt(2).text, "Slot 3 | Empty");
            verify(!itemAt(2).enabled);
            compare(itemAt(15).text, "Slot 16 | Empty");
            // A slot filled later shows its title after the refresh that
            // follows the file manager's notice.
            fileManager.saveCurrentPatchToSlot(2, "Bells");
            compare(itemAt(2).text, "Slot 3 | Bells");
            verify(itemAt(2).enabled);
            fileManager.reset();
            menu.refresh();
        }
        var inWindow = win.menuBar.item.presetMenu;
        compare(inWindow.itemAt(0).action.shortcut, "Ctrl+1");
        compare(inWindow.itemAt(7).action.shortcut, "Ctrl+8");
        compare(inWindow.itemAt(8).action.shortcut, "");
        inWindow.itemAt(4).action.trigger();
        compare(fileManager.last("loadPatchAtSlot")[0], 4);
    }

    function test_inWindowMenusHaveEveryEntry() {
        var bar = win.menuBar.item;
        compare(bar.count, 5);
        var titles = [];
        for (var i = 0; i < bar.count; ++i)
            titles.push(bar.menuAt(i).title);
        compare(titles.join(","), "File,Control,Presets,Window,Help");
        compare(bar.menuAt(0).count, 10);
        compare(bar.menuAt(1).count, 9);
        compare(bar.menuAt(2).count, 16);
        compare(bar.menuAt(3).count, 7);
        compare(bar.menuAt(4).count, 4);
        // Entries name their shortcuts as the desktop spells them.
        compare(Finder.find(bar.menuAt(0).itemAt(0), "shortcutText").text, "Ctrl+N");
        compare(Finder.find(bar.menuAt(1).itemAt(3), "shortcutText").text, "Ctrl+M");
        compare(Finder.find(bar.menuAt(3).itemAt(0), "shortcutText").text, "Ctrl+Alt+F");
        compare(Finder.find(bar.menuAt(1).itemAt(0), "shortcutText").text, "");
    }

    function test_inWindowMenuActions() {
        var bar = win.menuBar.item;
        bar.menuAt(1).itemAt(3).action.trigger();
        compare(actionHandler.count("enterMappingMode"), 1);
        verify(bar.menuAt(1).itemAt(3).checked);
        bar.menuAt(1).itemAt(5).action.trigger();
        compare(transport.count("startPlay"), 1);
        bar.menuAt(1).itemAt(5).action.trigger();
        compare(transport.count("stopPlay"), 1);
        bar.menuAt(3).itemAt(3).action.trigger();
        compare(actionHandler.count("showPresetBay"), 1);
        bar.menuAt(3).itemAt(3).action.trigger();
        compare(actionHandler.count("hidePresetBay"), 1);
        bar.menuAt(4).itemAt(3).action.trigger();
        compare(actionHandler.last("toggleAccessibility")[0], true);
        bar.menuAt(0).itemAt(5).action.trigger();
        compare(actionHandler.count("savePatchAs"), 1);
    }

    // --- preferences -----------------------------------------------------

    function openSettings() {
        var settings = find("settingsWindowLoader").window();
        settings.show();
        tryCompare(settings, "visible", true);
        waitForRendering(settings.contentItem);
        return settings;
    }

    function test_latencyLabel_data() {
        return [
            { "tag": "64 at 44100", "size": 64, "rate": 44100, "text": "Audio I/O latency: 1.45(ms)" },
            { "tag": "512 at 48000", "size": 512, "rate": 48000, "text": "Audio I/O latency: 10.67(ms)" },
            { "tag": "no rate", "size": 64, "rate": 0, "text": "Audio I/O latency: unknown" }
        ];
    }

    function test_latencyLabel(data) {
        stateManager.audioBufferSize = data.size;
        stateManager.audioSampleRate = data.rate;
        var settings = openSettings();
        compare(Finder.find(settings, "latencyLabel").text, data.text);
        settings.close();
    }

    function test_noMidiDeviceLabel() {
        midiHandler.inputs = [];
        var settings = openSettings();
        var inputs = Finder.find(settings, "midiInputList");
        var outputs = Finder.find(settings, "midiOutputList");
        verify(Finder.find(inputs, "noDeviceLabel").visible);
        compare(Finder.find(inputs, "noDeviceLabel").text, "No device connected");
        verify(!Finder.find(outputs, "noDeviceLabel").visible);
        midiHandler.outputs = [];
        verify(Finder.find(outputs, "noDeviceLabel").visible);
        midiHandler.inputs = ["USB MIDI Keyboard"];
        verify(!Finder.find(inputs, "noDeviceLabel").visible);
        settings.close();
    }

    function test_longPortListsScrollInsteadOfPushingAudioOut() {
        var many = [];
        for (var i = 0; i < 12; ++i)
            many.push("Port " + (i + 1));
        midiHandler.inputs = many;
        midiHandler.outputs = many;
        var settings = openSettings();
        var latency = Finder.find(settings, "latencyLabel");
        var bottom = latency.mapToItem(settings.contentItem, 0, latency.height).y;
        verify(bottom <= settings.height, "latency label ends at " + bottom);
        settings.close();
    }

    function test_midiPortFailingToOpenShowsUnchecked() {
        var settings = openSettings();
        var inputs = Finder.find(settings, "midiInputList");
        var boxes = [];
        var collect = function (item) {
            for (var i = 0; i < item.children.length; ++i) {
                var c = item.children[i];
                if (c.text === "USB MIDI Keyboard" && c.checkable)
                    boxes.push(c);
                collect(c);
            }
        };
        collect(inputs);
        compare(boxes.length, 1);
        verify(!boxes[0].checked);
        midiHandler.portsCanOpen = false;
        mouseClick(boxes[0]);
        compare(midiHandler.last("openMidiInput")[0], 1);
        verify(!boxes[0].checked);
        midiHandler.portsCanOpen = true;
        mouseClick(boxes[0]);
        verify(boxes[0].checked);
        mouseClick(boxes[0]);
        compare(midiHandler.last("closeMidiInput")[0], 1);
        verify(!boxes[0].checked);
        settings.close();
    }

    function test_audioListsAndDriverChange() {
        var settings = openSettings();
        var types = Finder.find(settings, "deviceTypeSelector");
        var devices = Finder.find(settings, "deviceSelector");
        var sizes = Finder.find(settings, "bufferSizeSelector");
        compare(types.currentText, "ALSA");
        compare(devices.currentText, "Built-in Audio");
        compare(sizes.currentText, "64");
        verify(!settings.isBusy);

        types.currentIndex = 1;
        types.activated(1);
        verify(settings.isBusy);
        compare(actionHandler.last("setAudioDeviceType")[0], "JACK");
        verify(!types.enabled && !devices.enabled && !sizes.enabled);

        // The new driver opens a device: lists re-read, busy cleared.
        actionHandler.currentDeviceType = "JACK";
        actionHandler.audioDevices = ["system"];
        actionHandler.currentDevice = "system";
        actionHandler.audioDeviceChanged();
        verify(!settings.isBusy);
        compare(actionHandler.count("stopTimeoutTimer"), 1);
        compare(types.currentText, "JACK");
        compare(devices.currentText, "system");

        devices.activated(0);
        compare(actionHandler.last("setAudioDevice")[0], "system");
        sizes.activated(3);
        compare(actionHandler.last("setAudioBufferSize")[0], 256);
        settings.close();
    }

    // A device that starts during a driver change that is still running
    // does not unlock the choices; the end of the change does.
    function test_choicesStayLockedWhileTheDriverChanges() {
        var settings = openSettings();
        var types = Finder.find(settings, "deviceTypeSelector");
        var label = Finder.find(settings, "driverChangingLabel");
        types.activated(1);
        actionHandler.isChangingAudioDriver = true;
        actionHandler.audioDeviceChanged();
        verify(!types.enabled);
        verify(label.visible);
        verify(Finder.find(settings, "busyIndicator").running);
        actionHandler.currentDeviceType = "JACK";
        actionHandler.isChangingAudioDriver = false;
        verify(types.enabled);
        verify(!label.visible);
        compare(types.currentText, "JACK");
        settings.close();
    }

    function test_driverTimeoutClearsBusy() {
        var settings = openSettings();
        var types = Finder.find(settings, "deviceTypeSelector");
        types.activated(1);
        verify(settings.isBusy);
        actionHandler.driverChangeTimeout();
        verify(!settings.isBusy);
        verify(types.enabled);
        settings.close();
    }

    function test_missingDriverShowsPlaceholder() {
        actionHandler.currentDeviceType = "";
        actionHandler.currentDevice = "";
        var settings = openSettings();
        compare(Finder.find(settings, "deviceTypeSelector").displayText, "No audio driver");
        compare(Finder.find(settings, "deviceSelector").displayText, "No audio device");
        settings.close();
    }

    // --- virtual port warning -------------------------------------------

    function test_virtualPortWarning() {
        var warning = find("virtualPortWarning");
        verify(!warning.visible);
        tryCompare(win, "height", 700 + win.menuBar.height);
        midiHandler.isVirtualPortOpen = false;
        verify(warning.visible);
        compare(warning.Accessible.role, Accessible.AlertMessage);
        verify(warning.Accessible.name.indexOf("KinetraMIDIPort") >= 0);
        tryCompare(win, "height", 700 + win.menuBar.height + warning.height);
        tryCompare(win.contentItem, "height", 700);
        midiHandler.isVirtualPortOpen = true;
        tryCompare(win, "height", 700 + win.menuBar.height);
    }

    // --- file dialog and about --------------------------------------------

    function test_fileDialogFollowsRequest() {
        var dialog = find("openFileDialog");
        actionHandler.shouldOpenFileDialog(true);
        verify(dialog.isSaving);
        dialog.close();
        actionHandler.shouldOpenFileDialog(false);
        verify(!dialog.isSaving);
        dialog.close();
    }

    function test_aboutWindowShowsVersion() {
        win.showAboutWindow();
        var about = find("mainMenuLoader").item.aboutWindow;
        tryCompare(about, "visible", true);
        compare(actionHandler.count("quitFloatingWindowMode"), 1);
        compare(Finder.find(about, "aboutVersion").text, "Kinetra v2.0.4");
        mouseClick(Finder.find(about, "aboutOkButton"));
        tryCompare(about, "visible", false);
    }

    // --- focus model and keyboard routes ----------------------------------

    // Sends a key with modifiers to whatever has the focus.
    function press(key, modifiers) {
        keyClick(key, modifiers === undefined ? Qt.NoModifier : modifiers);
    }

    function test_focusKeyTabOrderAndEscape() {
        var keyboard = find("v_Keyboard");
        verify(keyboard.activeFocus);
        // Tab belongs to the virtual keyboard until F6 is pressed.
        press(Qt.Key_F6);
        var power = find("powerSwitch");
        verify(power.activeFocus);
        // The chain runs in visual order and comes back round (the band
        // buttons are disabled here: the stand-in engine has no bands).
        var order = ["powerSwitch", "tapTempo", "tempo", "playButton", "onTopButton", "sliderTopbar"];
        var seen = [];
        var item = power;
        for (var i = 0; i < 200; ++i) {
            if (order.indexOf(item.objectName) >= 0 && seen.indexOf(item.objectName) < 0)
                seen.push(item.objectName);
            item = item.nextItemInFocusChain(true);
            if (item === power)
                break;
        }
        compare(seen.join(","), order.join(","));
        verify(item === power, "the chain does not come back to the first control");
        press(Qt.Key_Tab);
        verify(find("tapTempo").activeFocus);
        press(Qt.Key_Escape);
        verify(keyboard.activeFocus);
    }

    function test_clickHandsKeyboardBack() {
        press(Qt.Key_F6);
        verify(find("powerSwitch").activeFocus);
        mouseClick(find("clockButton"));
        verify(find("v_Keyboard").activeFocus);
    }

    function test_buttonKeysAndScreenReaderToggleDoWhatAClickDoes() {
        var keys = find("keysButton");
        keys.forceActiveFocus(Qt.TabFocusReason);
        press(Qt.Key_Return);
        verify(!stateManager.isVKeyOn);
        press(Qt.Key_Space);
        verify(stateManager.isVKeyOn);
        keys.Accessible.toggleAction();
        verify(!stateManager.isVKeyOn);
        verify(!keys.checked);
        var mapping = find("mappingModeSwitch");
        mapping.Accessible.toggleAction();
        compare(actionHandler.count("enterMappingMode"), 1);
    }

    function test_tempoKeysAndRefusedTempo() {
        var tempo = find("tempo");
        tempo.forceActiveFocus(Qt.TabFocusReason);
        press(Qt.Key_Up);
        compare(actionHandler.last("setTempo")[0], 121);
        press(Qt.Key_PageDown);
        compare(actionHandler.last("setTempo")[0], 111);
        press(Qt.Key_End);
        compare(actionHandler.last("setTempo")[0], 256);
        // Typing starts on a digit; an out-of-range entry is refused aloud.
        var calls = actionHandler.count("setTempo");
        press(Qt.Key_3);
        verify(tempo.editing);
        press(Qt.Key_0);
        press(Qt.Key_0);
        press(Qt.Key_Return);
        compare(actionHandler.count("setTempo"), calls);
        var announcer = find("announcer");
        verify(announcer.visible);
        verify(announcer.text.indexOf("300") >= 0);
        verify(tempo.activeFocus);
    }

    function test_secondaryWindowsCloseOnEscape() {
        press(Qt.Key_Comma, Qt.ControlModifier);
        var prefs = find("settingsWindow");
        tryCompare(prefs, "visible", true);
        tryCompare(prefs, "active", true);
        wait(50); // the focus window follows the activation
        keyClick(Qt.Key_Escape, Qt.NoModifier);
        tryCompare(prefs, "visible", false);
        win.requestActivate();
        tryCompare(win, "active", true);
    }

    // Secondary windows are made on first opening, by their shortcut, and
    // kept: the same window, with its state, comes back next time. The MIDI
    // monitor reads the log only while its window shows.
    function test_secondaryWindowIsMadeOnFirstOpenAndKept() {
        compare(Finder.find(win, "midiMonitorWindow"), null);
        compare(Finder.find(win, "sliderAccesibleWindow"), null);
        verify(!midiMonitor.watched);
        press(Qt.Key_M, Qt.ControlModifier | Qt.ShiftModifier);
        var monitor = find("midiMonitorWindow");
        tryCompare(monitor, "visible", true);
        compare(monitor.title, "MIDI monitor");
        verify(midiMonitor.watched);
        tryCompare(monitor, "active", true);
        wait(50); // the focus window follows the activation
        keyClick(Qt.Key_Escape, Qt.NoModifier);
        tryCompare(monitor, "visible", false);
        verify(!midiMonitor.watched);
        win.requestActivate();
        tryCompare(win, "active", true);
        press(Qt.Key_M, Qt.ControlModifier | Qt.ShiftModifier);
        verify(find("midiMonitorWindow") === monitor);
        tryCompare(monitor, "visible", true);
        verify(midiMonitor.watched);
        monitor.close();
        win.requestActivate();
        tryCompare(win, "active", true);
    }

    function test_menusOpenFromTheKeyboard() {
        var bar = win.menuBar.item;
        press(Qt.Key_F10);
        tryCompare(bar.menuAt(0), "opened", true);
        press(Qt.Key_Escape);
        tryCompare(bar.menuAt(0), "opened", false);
        press(Qt.Key_W, Qt.AltModifier);
        tryCompare(bar.menuAt(3), "opened", true);
        press(Qt.Key_Escape);
        tryCompare(bar.menuAt(3), "opened", false);
        // The platform menu owns no shortcut while the in-window one shows.
        compare(find("mainMenuLoader").item.ownsShortcuts, false);
    }

    function test_titleMarksAnEditedPatch() {
        wait(0); // the start-up load has settled
        find("sliderContainer").edited();
        compare(win.title, "Kinetra (modified)");
        // A load (or a save into a preset) clears the mark.
        fileManager.patchChanged();
        compare(win.title, "Kinetra");
    }

    // "Menu/Entry" paths of a menu bar's entries, submenus included.
    function inWindowEntries(menu, path, out) {
        for (var i = 0; i < menu.count; ++i) {
            var item = menu.itemAt(i);
            if (!item || item.text === undefined)
                continue; // a separator
            if (item.subMenu)
                inWindowEntries(item.subMenu, path + item.text + "/", out);
            else
                out.push(path + item.text);
        }
        return out;
    }
    function platformEntries(menu, path, out, shortcuts) {
        for (var i = 0; i < menu.items.length; ++i) {
            var item = menu.items[i];
            if (item.separator)
                continue;
            if (item.subMenu) {
                platformEntries(item.subMenu, path + item.text + "/", out, shortcuts);
                continue;
            }
            out.push(path + item.text);
            if (item.shortcut)
                shortcuts.push(path + item.text);
        }
        return out;
    }

    function test_platformMenusMatchTheInWindowMenusAndOwnNoKey() {
        var bar = win.menuBar.item;
        var inWindow = [];
        for (var i = 0; i < bar.count; ++i)
            inWindowEntries(bar.menuAt(i), bar.menuAt(i).title + "/", inWindow);
        var platform = [];
        var keyed = [];
        var menus = find("mainMenuLoader").item.menuBar.menus;
        for (var m = 0; m < menus.length; ++m)
            platformEntries(menus[m], menus[m].title + "/", platform, keyed);
        verify(inWindow.indexOf("Control/Keyboard/Velocity up") >= 0);
        compare(platform.join("\n"), inWindow.join("\n"));
        // The in-window menus show, so they own every key.
        compare(keyed.join(", "), "");
    }

    // Each key runs its command once per press: with two owners Qt hands
    // the key to one of them in turn, or to neither.
    function test_eachShortcutHasOneOwner() {
        var keys = [[Qt.Key_M, Qt.ControlModifier, function () {
                    return actionHandler.count("enterMappingMode") + actionHandler.count("quitMappingMode");
                }], [Qt.Key_P, Qt.ControlModifier | Qt.ShiftModifier, function () {
                    return actionHandler.count("showPresetBay") + actionHandler.count("hidePresetBay");
                }], [Qt.Key_A, Qt.ControlModifier | Qt.ShiftModifier, function () {
                    return actionHandler.count("toggleAccessibility");
                }], [Qt.Key_F, Qt.ControlModifier | Qt.AltModifier, function () {
                    return actionHandler.count("enterFloatingWindowMode") + actionHandler.count("quitFloatingWindowMode");
                }], [Qt.Key_N, Qt.ControlModifier, function () {
                    return actionHandler.count("newPatch");
                }], [Qt.Key_S, Qt.ControlModifier, function () {
                    return actionHandler.count("savePatch");
                }], [Qt.Key_1, Qt.ControlModifier, function () {
                    return fileManager.count("loadPatchAtSlot");
                }]];
        for (var k = 0; k < keys.length; ++k) {
            for (var n = 1; n <= 2; ++n) {
                press(keys[k][0], keys[k][1]);
                compare(keys[k][2](), n, "key " + k + ", press " + n);
            }
        }
    }

    // A screen reader's press on a menu entry does what a click does.
    function test_menuEntriesPressLikeAClick() {
        var bar = win.menuBar.item;
        var control = bar.menuAt(1);
        bar.openMenu(1);
        tryCompare(control, "opened", true);
        var mapping = control.itemAt(3);
        compare(mapping.text, "Mapping Mode");
        mapping.Accessible.pressAction();
        compare(actionHandler.count("enterMappingMode"), 1);
        verify(mapping.checked);
        tryCompare(control, "opened", false);
        bar.openMenu(1);
        tryCompare(control, "opened", true);
        control.itemAt(3).Accessible.pressAction();
        compare(actionHandler.count("quitMappingMode"), 1);
        verify(!mapping.checked);
        tryCompare(control, "opened", false);
    }
}
