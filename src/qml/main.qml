// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Window 2.14
import QtQuick.Controls 2.5
import QtQuick.Layouts 1.3
import Qt.labs.platform 1.1 as Platform
import QtQml.Models 2.12

// The main window: tool bar, device band, knobs, preset bay, editor, the
// patch file dialog, the tray icon and the preferences window. Everything
// goes through the context objects actionHandler, stateManager, fileManager,
// midiHandler, transport and virtualKeyboard.
ApplicationWindow {
    id: mainWindow
    objectName: "mainWindow"

    // Whether the desktop shows the platform menu bar itself. Start-up may
    // state it through the context property "kinetraNativeMenuBar"; without
    // it only macOS is assumed to have one. Without a native menu bar the
    // same menus are shown inside the window, above the tool bar.
    readonly property bool hasNativeMenuBar: (typeof kinetraNativeMenuBar !== "undefined") ? !!kinetraNativeMenuBar : Qt.platform.os === "osx"
    readonly property bool virtualPortMissing: (typeof midiHandler !== "undefined" && midiHandler) ? !midiHandler.isVirtualPortOpen : false
    readonly property int contentHeight: 700
    // Hiding the window is offered only where the tray icon can bring it
    // back: without a system tray a hidden window would be lost.
    readonly property bool canHide: trayIcon.available

    function togglePlay() {
        if (typeof transport === "undefined" || !transport)
            return;
        if (transport.isPlaying)
            transport.stopPlay();
        else
            transport.startPlay();
    }

    function showAboutWindow() {
        actionHandler.quitFloatingWindowMode();
        mainMenuLoader.item.aboutWindowLoader.open();
    }

    // Focus model. The keyboard area (v_Keyboard) holds the focus and plays
    // the virtual keyboard; F6 moves the focus into the controls, where Tab
    // and Shift+Tab visit them in visual order; Escape returns to the
    // keyboard area.
    function focusControls() {
        actionHandler.exitEditing();
        powerButton.forceActiveFocus(Qt.TabFocusReason);
    }

    function focusKeyboard() {
        v_Keyboard.forceActiveFocus();
    }

    // Escape pressed on a control and not used by it.
    function controlKey(event) {
        if (event.key === Qt.Key_Escape) {
            focusKeyboard();
            event.accepted = true;
        }
    }

    // A mouse click on a control: the keyboard goes back to the keyboard
    // area, unless a dialog or menu has it.
    function pointerUsed(item) {
        var overlay = mainWindow.overlay;
        for (var i = 0; overlay && i < overlay.children.length; ++i)
            if (overlay.children[i].visible)
                return;
        if (!v_Keyboard.activeFocus)
            focusKeyboard();
    }

    // Shows a short message in the window and reads it to screen readers.
    function announce(text) {
        announcer.show(text);
    }

    function showPreferences() {
        actionHandler.quitFloatingWindowMode();
        settingsWindowLoader.open();
    }

    // Text of the Presets menu entry for a slot.
    function presetMenuText(index) {
        var empty = (typeof fileManager === "undefined" || !fileManager) ? true : fileManager.slotIsEmtpy(index);
        var name = empty ? "Empty" : fileManager.getSlotName(index);
        return qsTr("Slot " + (index + 1) + " | " + name);
    }

    function presetSlotEmpty(index) {
        return (typeof fileManager === "undefined" || !fileManager) ? true : fileManager.slotIsEmtpy(index);
    }

    // The current patch's name, and whether it changed since it was loaded
    // or saved: quitting writes the changes into it.
    property string patchTitle: ""
    property bool patchModified: false
    // Set while a load settles: the knobs re-reading it are no edits.
    property bool patchSettling: true

    function patchReplaced() {
        patchTitle = (typeof fileManager !== "undefined" && fileManager && typeof fileManager.currentPatchTitle === "function") ? fileManager.currentPatchTitle() : "";
        patchModified = false;
        patchSettling = true;
        Qt.callLater(function () {
            mainWindow.patchSettling = false;
        });
    }

    Component.onCompleted: patchReplaced()

    title: qsTr("Kinetra") + (patchTitle.length > 0 ? " \u2014 " + patchTitle : "") + (patchModified ? " " + qsTr("(modified)") : "")
    color: "#2f2f2f"
    // The user cannot resize the window; it grows only by the in-window
    // menu bar and the port warning. The limits follow the wanted size, not
    // the current one, so that a window manager honouring them lets the
    // window grow.
    readonly property int fixedHeight: contentHeight + (menuBar ? menuBar.height : 0) + ((header && header.visible) ? header.height : 0)

    width: 650
    height: fixedHeight
    minimumWidth: 650
    maximumWidth: 650
    minimumHeight: fixedHeight
    maximumHeight: fixedHeight
    visible: true

    menuBar: Loader {
        id: inWindowMenuLoader
        objectName: "inWindowMenuLoader"
        active: !mainWindow.hasNativeMenuBar
        source: "InWindowMenuBar.qml"
        height: item ? item.implicitHeight : 0
    }

    // Shown only when the virtual MIDI port could not be opened: other
    // programs then cannot receive anything, which the user must know.
    header: Rectangle {
        id: virtualPortWarning
        objectName: "virtualPortWarning"
        visible: mainWindow.virtualPortMissing
        height: visible ? warningText.implicitHeight + 12 : 0
        color: "#5a1e14"

        Accessible.role: Accessible.AlertMessage
        Accessible.name: warningText.text
        Accessible.focusable: true
        activeFocusOnTab: true

        Text {
            id: warningText
            anchors.verticalCenter: parent.verticalCenter
            x: 12
            width: parent.width - 24
            wrapMode: Text.WordWrap
            color: "#ffe0c0"
            font.pixelSize: 11
            text: qsTr("The virtual MIDI port \"KinetraMIDIPort\" could not be opened: other programs will not receive Kinetra's MIDI messages. Outputs chosen in Preferences still work.")
        }
    }

    // Holds keyboard focus and plays the virtual keyboard.
    Item {
        id: v_Keyboard
        objectName: "v_Keyboard"
        anchors.fill: parent
        focus: true
        Accessible.role: Accessible.Pane
        Accessible.name: stateManager.isVKeyOn ? qsTr("Virtual keyboard, press F6 for the controls") : qsTr("Keyboard area, press F6 for the controls")
        Accessible.focusable: true

        // Also runs when the window is deactivated: the window then takes
        // the active focus from its items.
        onActiveFocusChanged: {
            if (!activeFocus && typeof virtualKeyboard !== "undefined" && virtualKeyboard)
                virtualKeyboard.allNoteOff();
        }

        Keys.onPressed: {
            // A held key sends one press: the desktop's repeats are dropped.
            if (event.isAutoRepeat) {
                event.accepted = true;
                return;
            }
            if (event.key === Qt.Key_Space) {
                mainWindow.togglePlay();
                event.accepted = true;
                return;
            }
            if (stateManager.isVKeyOn && virtualKeyboard) {
                virtualKeyboard.keyPressed(event.key);
                event.accepted = true;
            }
        }

        Keys.onReleased: {
            // Repeats arrive as release/press pairs; a repeated release is
            // not the key going up and must not end the note.
            if (event.isAutoRepeat) {
                event.accepted = true;
                return;
            }
            if (stateManager.isVKeyOn && virtualKeyboard) {
                virtualKeyboard.keyReleased(event.key);
                event.accepted = true;
            }
        }
    }

    MouseArea {
        anchors.fill: parent
        onClicked: {
            actionHandler.exitEditing();
            v_Keyboard.forceActiveFocus();
        }
    }

    Shortcut {
        objectName: "focusControlsShortcut"
        sequences: ["F6", "Shift+F6"]
        onActivated: {
            if (v_Keyboard.activeFocus)
                mainWindow.focusControls();
            else
                mainWindow.focusKeyboard();
        }
    }

    Loader {
        id: mainMenuLoader
        objectName: "mainMenuLoader"
        source: "MainMenu.qml"
    }

    Rectangle {
        id: topBar
        objectName: "topBar"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        height: 32
        color: "#1f1f1f"
        Keys.onPressed: mainWindow.controlKey(event)

        VToolButton {
            id: powerButton
            objectName: "powerSwitch"
            anchors.left: parent.left
            anchors.leftMargin: 16
            anchors.verticalCenter: parent.verticalCenter
            tintBacground: false
            img: "icons/power.png"
            text: qsTr("Power Switch")
            ToolTip.text: qsTr("Power switch")
            // Shows the connection itself, not the click: the receiver may
            // not answer, and a lost link turns the button off again.
            checked: stateManager.isConnected
            Accessible.checkable: true
            Accessible.checked: checked
            onToggled: {
                actionHandler.toggleConnection(checked);
                checked = Qt.binding(function () {
                    return stateManager.isConnected;
                });
            }
        }

        StackView {
            id: tempoStackView
            objectName: "tempoStackView"
            anchors.left: powerButton.right
            anchors.leftMargin: 12
            anchors.verticalCenter: parent.verticalCenter
            width: 72
            height: 28

            Row {
                anchors.fill: parent

                ToolButton {
                    id: tapTempo
                    objectName: "tapTempo"
                    width: 32
                    height: parent.height
                    padding: 2
                    flat: false
                    hoverEnabled: true
                    focusPolicy: Qt.TabFocus
                    text: qsTr("Tap")
                    font.pixelSize: 10
                    ToolTip.text: qsTr("Tap tempo")
                    ToolTip.delay: 1000
                    ToolTip.visible: hovered
                    Accessible.description: "Tap tempo button, current tempo: " + stateManager.tempo
                            + ", tap at least 4 times to set a new tempo"
                    Accessible.name: qsTr("Tap tempo")
                    Keys.onReturnPressed: actionHandler.tapTempo()
                    Keys.onEnterPressed: actionHandler.tapTempo()
                    onClicked: actionHandler.tapTempo()

                    FocusRing {}

                    contentItem: Text {
                        text: tapTempo.text
                        font: tapTempo.font
                        color: tapTempo.down ? "#ffa500" : "#e0e0e0"
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                    }
                    background: Rectangle {
                        radius: 2
                        color: tapTempo.down ? "#393939" : (tapTempo.hovered ? "#2f2f2f" : "#262626")
                        border.width: 1
                        border.color: "#3a3a3a"
                    }
                }

                ToolSeparator {
                    width: 4
                    height: parent.height
                    padding: 0
                }

                ToolButton {
                    id: tempo
                    objectName: "tempo"

                    property real prevY: 0
                    property int currentTempo: stateManager.tempo
                    property bool dragging: false
                    property bool editing: false
                    property string tempBuffer: ""
                    property int lastSent: -1
                    // Typing started by a double click gives the keyboard
                    // back to the keyboard area when it ends.
                    property bool returnFocus: false
                    // For screen readers: the tempo as a value in its range.
                    readonly property real value: stateManager.tempo
                    readonly property real minimumValue: 20
                    readonly property real maximumValue: 256
                    readonly property real stepSize: 1

                    // Sets the tempo from a key, within 20..256.
                    function stepTempo(delta) {
                        var t = Math.max(20, Math.min(256, stateManager.tempo + delta));
                        if (t !== stateManager.tempo)
                            actionHandler.setTempo(t);
                    }

                    // One key while not typing; returns true when used.
                    function navigateKey(key, keyText, modifiers) {
                        var fine = (modifiers & Qt.ShiftModifier) !== 0;
                        switch (key) {
                        case Qt.Key_Up:
                        case Qt.Key_Right:
                            stepTempo(1);
                            return true;
                        case Qt.Key_Down:
                        case Qt.Key_Left:
                            stepTempo(-1);
                            return true;
                        case Qt.Key_PageUp:
                            stepTempo(fine ? 5 : 10);
                            return true;
                        case Qt.Key_PageDown:
                            stepTempo(fine ? -5 : -10);
                            return true;
                        case Qt.Key_Home:
                            stepTempo(20 - stateManager.tempo);
                            return true;
                        case Qt.Key_End:
                            stepTempo(256 - stateManager.tempo);
                            return true;
                        case Qt.Key_Return:
                        case Qt.Key_Enter:
                        case Qt.Key_Space:
                            startEditing();
                            return true;
                        }
                        if (keyText.length === 1 && keyText >= "0" && keyText <= "9") {
                            startEditing();
                            typeKey(key, keyText);
                            return true;
                        }
                        return false;
                    }

                    function exitEditing() {
                        editing = false;
                        tempBuffer = "";
                        text = qsTr("%1").arg(stateManager.getTempo());
                    }

                    function startEditing() {
                        returnFocus = !activeFocus;
                        dragging = false;
                        editing = true;
                        tempBuffer = "";
                        text = qsTr("Enter value");
                        forceActiveFocus();
                    }

                    // One vertical drag step: 3 pixels up raise the tempo
                    // by one; values outside 20..256 are not sent.
                    function dragTo(y) {
                        var t = currentTempo - Math.trunc((y - prevY) / 3);
                        if (t >= 20 && t <= 256 && t !== lastSent) {
                            lastSent = t;
                            actionHandler.setTempo(t);
                        }
                    }

                    // One key while typing a tempo; returns true when used.
                    function typeKey(key, keyText) {
                        if (key === Qt.Key_Return || key === Qt.Key_Enter) {
                            var t = parseInt(tempBuffer, 10);
                            // An empty or out-of-range entry would stop the
                            // clock (tempo 0) or race it; it is dropped.
                            if (!isNaN(t) && t >= 20 && t <= 256)
                                actionHandler.setTempo(t);
                            else if (tempBuffer.length > 0)
                                mainWindow.announce(qsTr("Tempo %1 refused: the tempo lies between 20 and 256 beats per minute").arg(tempBuffer));
                            exitEditing();
                            if (returnFocus)
                                v_Keyboard.forceActiveFocus();
                            return true;
                        }
                        if (key === Qt.Key_Escape) {
                            exitEditing();
                            if (returnFocus)
                                v_Keyboard.forceActiveFocus();
                            return true;
                        }
                        if (key === Qt.Key_Backspace || key === Qt.Key_Delete) {
                            tempBuffer = tempBuffer.slice(0, -1);
                        } else if (keyText.length === 1 && keyText !== " " && !isNaN(keyText) && tempBuffer.length < 3) {
                            tempBuffer += keyText;
                        }
                        text = tempBuffer.length > 0 ? tempBuffer : qsTr("Enter value");
                        return true;
                    }

                    width: 36
                    height: parent.height
                    padding: 2
                    focusPolicy: Qt.TabFocus
                    hoverEnabled: true
                    text: qsTr("%1").arg(stateManager.tempo)
                    ToolTip.text: qsTr("Drag to change tempo")
                    ToolTip.delay: 1000
                    ToolTip.visible: hovered && !editing

                    Accessible.role: Accessible.Slider
                    Accessible.name: qsTr("Tempo, %1 beats per minute").arg(stateManager.tempo)
                    Accessible.description: qsTr("Arrows, Page Up and Page Down change the tempo; type a number and press Return to set it")
                    // Same 20..256 range as dragging and typing.
                    Accessible.onIncreaseAction: {
                        if (stateManager.tempo + 1 <= 256)
                            actionHandler.setTempo(stateManager.tempo + 1);
                    }
                    Accessible.onDecreaseAction: {
                        if (stateManager.tempo - 1 >= 20)
                            actionHandler.setTempo(stateManager.tempo - 1);
                    }

                    contentItem: Text {
                        text: tempo.text
                        color: tempo.editing ? "#ffa500" : "#f0f0f0"
                        font.pixelSize: (tempo.editing && tempo.tempBuffer.length === 0) ? 8 : 12
                        wrapMode: Text.WordWrap
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                        lineHeight: 0.85
                    }

                    Keys.onPressed: {
                        if (editing)
                            event.accepted = typeKey(event.key, event.text);
                        else
                            event.accepted = navigateKey(event.key, event.text, event.modifiers);
                    }
                    onActiveFocusChanged: {
                        if (!activeFocus && editing)
                            exitEditing();
                    }

                    // Qt Quick Controls put their own role back when a
                    // screen reader connects.
                    Accessible.onRoleChanged: {
                        if (Accessible.role !== Accessible.Slider)
                            Accessible.role = Accessible.Slider;
                    }
                    FocusRing {}

                    Connections {
                        target: stateManager
                        function onTempoChanged() {
                            if (!tempo.editing)
                                tempo.text = qsTr("%1").arg(stateManager.getTempo());
                        }
                        function onShouldExitEditing() {
                            if (tempo.editing)
                                tempo.exitEditing();
                        }
                    }

                    MouseArea {
                        id: tempoDragArea
                        anchors.fill: parent
                        cursorShape: Qt.SizeVerCursor
                        onPressed: {
                            if (tempo.editing)
                                tempo.exitEditing();
                            tempo.dragging = true;
                            tempo.currentTempo = stateManager.getTempo();
                            tempo.lastSent = tempo.currentTempo;
                            tempo.prevY = mouse.y;
                        }
                        onPositionChanged: {
                            if (tempo.dragging)
                                tempo.dragTo(mouse.y);
                        }
                        onReleased: tempo.dragging = false
                        onCanceled: tempo.dragging = false
                        onDoubleClicked: tempo.startEditing()
                    }
                }
            }
        }

        Row {
            id: transportTools
            objectName: "transportTools"
            anchors.left: tempoStackView.right
            anchors.leftMargin: 12
            anchors.verticalCenter: parent.verticalCenter
            spacing: 2

            VToolButton {
                id: playButton
                objectName: "playButton"
                img: "icons/play.png"
                text: qsTr("Send start signal")
                ToolTip.text: qsTr("Send start signal")
                // Shows the transport's real state: a start only takes
                // effect on the next clock tick, so the button does not
                // flip itself on a click.
                function followTransport() {
                    checked = Qt.binding(function () {
                        return transport ? transport.isPlaying : false;
                    });
                }
                checked: transport ? transport.isPlaying : false
                Accessible.checkable: true
                Accessible.checked: checked
                onClicked: {
                    if (transport && !transport.isPlaying)
                        transport.startPlay();
                    followTransport();
                }
            }
            VToolButton {
                objectName: "stopButton"
                img: "icons/stop.png"
                checkable: false
                text: qsTr("Send stop signal")
                ToolTip.text: qsTr("Send stop signal")
                onClicked: {
                    if (transport)
                        transport.stopPlay();
                }
            }
        }

        VToolButton {
            id: mappingModeSwitch
            objectName: "mappingModeSwitch"
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.verticalCenter: parent.verticalCenter
            tintBacground: false
            img: "icons/mapping.png"
            text: qsTr("Mapping Mode Switch")
            ToolTip.text: qsTr("Toggle mapping mode")
            checked: stateManager.isInMappingMode
            onToggled: {
                if (checked)
                    actionHandler.enterMappingMode();
                else
                    actionHandler.quitMappingMode();
            }
        }

        // Shown while `--record FILE` writes the bands' data to a file.
        Text {
            id: recordingIndicator
            objectName: "recordingIndicator"
            readonly property string path: typeof kinetraRecordingTo !== "undefined" ? String(kinetraRecordingTo) : ""
            anchors.left: mappingModeSwitch.right
            anchors.leftMargin: 10
            anchors.verticalCenter: parent.verticalCenter
            visible: path.length > 0
            text: "\u25CF REC"
            color: "#ff4f44"
            font.pixelSize: 10
            font.bold: true
            Accessible.role: Accessible.StaticText
            Accessible.name: qsTr("Recording the bands to %1").arg(path)
        }

        Row {
            id: midiTools
            objectName: "midiTools"
            anchors.right: windowTools.left
            anchors.rightMargin: 8
            anchors.verticalCenter: parent.verticalCenter
            spacing: 2

            VToolButton {
                id: clockButton
                objectName: "clockButton"
                img: "icons/clock.png"
                text: qsTr("Send midi clock")
                ToolTip.text: qsTr("Send midi clock")
                checked: stateManager.isSendingClock
                onToggled: stateManager.isSendingClock = checked

                Rectangle {
                    id: clockLed
                    objectName: "clockLed"
                    width: 6
                    height: 6
                    radius: 3
                    anchors.right: parent.right
                    anchors.top: parent.top
                    anchors.margins: 2
                    color: "#4f4f4f"

                    SequentialAnimation {
                        id: clockBlink
                        ColorAnimation {
                            target: clockLed
                            property: "color"
                            from: "#4f4f4f"
                            to: "#ffa500"
                            duration: 20
                        }
                        PauseAnimation {
                            duration: 100
                        }
                        ColorAnimation {
                            target: clockLed
                            property: "color"
                            to: "#4f4f4f"
                            duration: 50
                        }
                    }

                    Connections {
                        target: typeof transport !== "undefined" ? transport : null
                        ignoreUnknownSignals: true
                        function onQuaterNoteTick() {
                            if (stateManager.isSendingClock)
                                clockBlink.restart();
                        }
                    }
                }
            }
            VToolButton {
                objectName: "syncButton"
                img: "icons/sync.png"
                text: qsTr("Sync to midi clock")
                ToolTip.text: qsTr("Sync to midi clock")
                checked: stateManager.isSyncingToClock
                onToggled: stateManager.isSyncingToClock = checked
            }
            VToolButton {
                objectName: "keysButton"
                img: "icons/keys.png"
                text: qsTr("Virtual Keyboard")
                ToolTip.text: (typeof virtualKeyboard !== "undefined" && virtualKeyboard && virtualKeyboard.octave !== undefined) ? qsTr("Virtual Keyboard: octave %1, transpose %2, velocity %3").arg(virtualKeyboard.octave).arg(virtualKeyboard.transpose).arg(virtualKeyboard.velocity) : qsTr("Virtual Keyboard")
                checked: stateManager.isVKeyOn
                onToggled: stateManager.isVKeyOn = checked
            }
            VToolButton {
                objectName: "hiResButton"
                img: "icons/MIDIHD.png"
                text: qsTr("Hi-Res MIDI")
                ToolTip.text: qsTr("Hi Resolution MIDI")
                checked: stateManager.isHighResMidiOn
                onToggled: {
                    if (checked)
                        actionHandler.enterHiResMidiMode();
                    else
                        actionHandler.quitHiResMidiMode();
                }
            }
        }

        Row {
            id: windowTools
            objectName: "windowTools"
            anchors.right: parent.right
            anchors.rightMargin: 12
            anchors.verticalCenter: parent.verticalCenter
            spacing: 2

            VToolButton {
                objectName: "presetsButton"
                img: "icons/preset.png"
                text: qsTr("Preset panel")
                ToolTip.text: qsTr("Preset panel")
                checked: stateManager.isPresetBayShown
                onToggled: {
                    if (checked)
                        actionHandler.showPresetBay();
                    else
                        actionHandler.hidePresetBay();
                }
            }
            VToolButton {
                objectName: "onTopButton"
                img: "icons/floatWindow.png"
                text: qsTr("Window on top")
                ToolTip.text: qsTr("Put Kinetra window on top")
                checked: stateManager.isWindowOnTop
                onToggled: {
                    if (checked)
                        actionHandler.enterFloatingWindowMode();
                    else
                        actionHandler.quitFloatingWindowMode();
                }
            }
        }
    }

    Column {
        id: panels
        objectName: "panels"
        anchors.top: topBar.bottom
        width: parent.width
        spacing: 32
        Keys.onPressed: mainWindow.controlKey(event)

        // Device band: the sensors, the focused one's settings and data.
        DeviceContainer {
            id: deviceContainer
            objectName: "deviceContainer"
            width: parent.width
            height: 90
            visible: stateManager.focusedSource < 0
        }

        // The twelve control-source knobs.
        SliderContainer {
            id: sliderContainer
            objectName: "sliderContainer"
            width: parent.width
            height: 435
            editor: sliderPanel
            accessibleEditor: sliderAccesibleWindowLoader
            onEdited: {
                if (!mainWindow.patchSettling)
                    mainWindow.patchModified = true;
            }
        }
    }

    // Editor of the focused knob; slides up from the bottom edge like the
    // preset bay, and is drawn above it. It comes first so that Tab reaches
    // it before the preset bay.
    ControlPanel {
        id: sliderPanel
        objectName: "sliderPanel"
        width: parent.width
        height: 210
        z: 11
        Keys.onPressed: mainWindow.controlKey(event)
    }

    PresetContainer {
        id: presetContainer
        Keys.onPressed: mainWindow.controlKey(event)
    }

    // Play and the MIDI clock run on the audio device; without one (or
    // while it is silent) Kinetra's own timer drives them, and this line
    // says which of the two does.
    Text {
        id: audioMissingLine
        objectName: "audioMissingLine"
        property string device: (typeof actionHandler !== "undefined" && actionHandler.getCurrentDevice) ? actionHandler.getCurrentDevice() : ""
        readonly property bool timerClock: (typeof transport !== "undefined" && transport) ? transport.isClockFromTimer === true : false
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 4
        visible: device.length === 0 || timerClock
        text: timerClock ? qsTr("No audio device drives the clock: Kinetra's own timer does (File \u2192 Preferences)") : qsTr("No audio device is running: play and the MIDI clock need one (File \u2192 Preferences)")
        color: "#e0a060"
        font.pixelSize: 10
        Accessible.role: Accessible.StaticText
        Accessible.name: text

        Connections {
            target: typeof actionHandler !== "undefined" ? actionHandler : null
            ignoreUnknownSignals: true
            function onAudioDeviceChanged() {
                audioMissingLine.device = actionHandler.getCurrentDevice();
            }
        }
    }

    Connections {
        target: typeof fileManager !== "undefined" ? fileManager : null
        ignoreUnknownSignals: true
        function onPatchChanged() {
            mainWindow.patchReplaced();
        }
        function onPatchSlotChanged() {
            mainWindow.patchReplaced();
        }
    }

    Connections {
        target: stateManager
        ignoreUnknownSignals: true
        function onConnectionStateChanged() {
            mainWindow.announce(stateManager.isConnected ? qsTr("Receiver connected") : qsTr("Receiver disconnected"));
        }
    }

    Announcer {
        id: announcer
        objectName: "announcer"
        anchors.horizontalCenter: parent.horizontalCenter
        y: topBar.height + 6
        z: 20
    }

    Connections {
        target: actionHandler
        function onShouldOpenFileDialog(isSaving) {
            openFileDialog.isSaving = isSaving;
            openFileDialog.open();
        }
    }

    Platform.FileDialog {
        id: openFileDialog
        objectName: "openFileDialog"

        property bool isSaving: false

        title: qsTr("Please choose a file")
        defaultSuffix: "json"
        fileMode: isSaving ? Platform.FileDialog.SaveFile : Platform.FileDialog.OpenFile
        folder: fileManager ? "file://" + fileManager.getPresetPath() : ""
        nameFilters: [qsTr("Kinetra Preset files (*.json)")]
        onAccepted: {
            if (isSaving)
                fileManager.saveCurrentPatchToPath(file);
            else
                fileManager.loadPatchAt(file, false);
        }
    }

    Platform.SystemTrayIcon {
        id: trayIcon
        objectName: "trayIcon"
        visible: true
        // The plain URL property: with the grouped "icon" (the module's icon
        // value type), loading this document now and then failed with
        // "Invalid grouped property access" under a busy test run.
        iconSource: stateManager.isConnected ? "icons/trayIconOn.png" : "icons/trayIcon.png"
        tooltip: qsTr("Kinetra")
        onActivated: {
            mainWindow.show();
            mainWindow.raise();
            mainWindow.requestActivate();
        }
    }

    // The secondary windows are made when first opened.
    LazyWindow {
        id: settingsWindowLoader
        objectName: "settingsWindowLoader"
        sourceComponent: Component {
            SettingsWindow {
                objectName: "settingsWindow"
                transientParent: mainWindow
                color: mainWindow.color
            }
        }
    }

    LazyWindow {
        id: midiMonitorWindowLoader
        objectName: "midiMonitorWindowLoader"
        sourceComponent: Component {
            MidiMonitorWindow {
                objectName: "midiMonitorWindow"
                transientParent: mainWindow
            }
        }
    }

    function showMidiMonitor() {
        actionHandler.quitFloatingWindowMode();
        midiMonitorWindowLoader.open();
    }

    // Screen-reader-friendly knob editor. A knob in accessibility mode sets
    // `multiSlider` and calls show(), as on the window itself.
    LazyWindow {
        id: sliderAccesibleWindowLoader
        objectName: "sliderAccesibleWindowLoader"

        property var multiSlider: null

        function show() {
            var editor = window();
            editor.multiSlider = multiSlider;
            editor.show();
        }

        sourceComponent: Component {
            MultisliderAccesibleWindow {
                objectName: "sliderAccesibleWindow"
                transientParent: mainWindow
                color: mainWindow.color
                visible: false
            }
        }
    }
}
