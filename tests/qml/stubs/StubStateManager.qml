// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// Stand-in for the application state: same property, signal and method
// names, plain values.
CallLog {
    property int focusedSource: -1
    property int focusedDevice: -1
    property bool isInMappingMode: false
    property bool isWindowOnTop: false
    property bool isPresetBayShown: false
    property bool isHighResMidiOn: false
    property bool isConnected: false
    property bool isAccessibilityModeOn: false
    property int tempo: 120
    property bool isSendingClock: true
    property bool isSyncingToClock: false
    property bool isVKeyOn: true
    property bool isArpOn: false
    property bool isLiveMode: false
    property int audioBufferSize: 64
    property int audioSampleRate: 44100

    signal shouldExitEditing
    signal deviceFocusChanged(var device)
    signal presetBayStateChanged(bool newState)

    function reset() {
        clearCalls();
        focusedSource = -1;
        focusedDevice = -1;
        isInMappingMode = false;
        isWindowOnTop = false;
        isHighResMidiOn = false;
        isConnected = false;
        isAccessibilityModeOn = false;
        tempo = 120;
        isSendingClock = true;
        isSyncingToClock = false;
        isVKeyOn = true;
        isLiveMode = false;
        audioBufferSize = 64;
        audioSampleRate = 44100;
        if (isPresetBayShown)
            setPresetBayState(false);
    }

    onFocusedDeviceChanged: deviceFocusChanged(null)

    function getFocusedDevice() {
        return focusedDevice;
    }
    function getTempo() {
        return tempo;
    }
    function setTempo(t) {
        record("setTempo", [t]);
        tempo = t;
    }
    function getAudioBufferSize() {
        return audioBufferSize;
    }
    function getAudioSampleRate() {
        return audioSampleRate;
    }
    function getConnectionState() {
        return isConnected;
    }
    function getColorCodeOn(i) {
        return ["#ffa500", "#ffd700", "#00bfff", "#ff00ff"][i] || "#ffffff";
    }
    function setPresetBayState(shown) {
        isPresetBayShown = shown;
        presetBayStateChanged(shown);
    }
}
