// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// Stand-in for the user actions: records every call and applies the few
// state changes the window relies on.
CallLog {
    property var audioDeviceTypes: ["ALSA", "JACK"]
    property var audioDevices: ["Built-in Audio", "USB Interface"]
    property var bufferSizes: [32, 64, 128, 256, 512]
    property string currentDeviceType: "ALSA"
    property string currentDevice: "Built-in Audio"
    property bool isChangingAudioDriver: false

    signal shouldOpenFileDialog(bool isSaving)
    signal audioDeviceChanged
    signal driverChangeTimeout

    function reset() {
        clearCalls();
        audioDeviceTypes = ["ALSA", "JACK"];
        audioDevices = ["Built-in Audio", "USB Interface"];
        bufferSizes = [32, 64, 128, 256, 512];
        currentDeviceType = "ALSA";
        currentDevice = "Built-in Audio";
        isChangingAudioDriver = false;
    }

    function setTempo(t) {
        record("setTempo", [t]);
        stateManager.setTempo(t);
    }
    function tapTempo() {
        record("tapTempo");
    }
    function toggleConnection(on) {
        record("toggleConnection", [on]);
    }
    function connect() {
        record("connect");
    }
    function disconnect() {
        record("disconnect");
    }
    function enterMappingMode() {
        record("enterMappingMode");
        stateManager.isInMappingMode = true;
    }
    function quitMappingMode() {
        record("quitMappingMode");
        stateManager.isInMappingMode = false;
    }
    function toggleMappingMode(on) {
        if (on)
            enterMappingMode();
        else
            quitMappingMode();
    }
    function enterFloatingWindowMode() {
        record("enterFloatingWindowMode");
        stateManager.isWindowOnTop = true;
    }
    function quitFloatingWindowMode() {
        record("quitFloatingWindowMode");
        stateManager.isWindowOnTop = false;
    }
    function toggleFloatingWindowMode(on) {
        if (on)
            enterFloatingWindowMode();
        else
            quitFloatingWindowMode();
    }
    function enterLiveMode() {
        record("enterLiveMode");
        stateManager.isLiveMode = true;
    }
    function quitLiveMode() {
        record("quitLiveMode");
        stateManager.isLiveMode = false;
    }
    function showPresetBay() {
        record("showPresetBay");
        stateManager.setPresetBayState(true);
    }
    function hidePresetBay() {
        record("hidePresetBay");
        stateManager.setPresetBayState(false);
    }
    function enterHiResMidiMode() {
        record("enterHiResMidiMode");
        stateManager.isHighResMidiOn = true;
    }
    function quitHiResMidiMode() {
        record("quitHiResMidiMode");
        stateManager.isHighResMidiOn = false;
    }
    function toggleAccessibility(on) {
        record("toggleAccessibility", [on]);
        stateManager.isAccessibilityModeOn = on;
    }
    function exitEditing() {
        record("exitEditing");
        stateManager.shouldExitEditing();
    }
    function newPatch() {
        record("newPatch");
    }
    function openPatch() {
        record("openPatch");
    }
    function savePatch() {
        record("savePatch");
    }
    function savePatchAs() {
        record("savePatchAs");
    }
    function closeWindow() {
        record("closeWindow");
    }
    function showWindow() {
        record("showWindow");
    }
    function openTutorials() {
        record("openTutorials");
    }
    function openContactForm() {
        record("openContactForm");
    }
    function getAppVersion() {
        return "2.0.4";
    }
    function getAudioDeviceTypes() {
        return audioDeviceTypes;
    }
    function getAllAudioDevices() {
        return audioDevices;
    }
    function getCurrentDeviceType() {
        return currentDeviceType;
    }
    function getCurrentDevice() {
        return currentDevice;
    }
    function getAvailableAudioBufferSize() {
        return bufferSizes;
    }
    function setAudioDeviceType(type) {
        record("setAudioDeviceType", [type]);
    }
    function setAudioDevice(name) {
        record("setAudioDevice", [name]);
    }
    function setAudioBufferSize(size) {
        record("setAudioBufferSize", [size]);
    }
    function stopTimeoutTimer() {
        record("stopTimeoutTimer");
    }
    function hideCursor() {
        record("hideCursor");
    }
    function restoreCursorAt() {
        record("restoreCursorAt");
    }
    function sendBlinkOnDeviceAt(i) {
        record("sendBlinkOnDeviceAt", [i]);
    }
    function setZAuditoryFreq(v) {
        record("setZAuditoryFreq", [v]);
    }
    function setZAuditoryAmp(v) {
        record("setZAuditoryAmp", [v]);
    }
    function setZAuditoryPan(v) {
        record("setZAuditoryPan", [v]);
    }
    function setZAuditoryLfoRate(v) {
        record("setZAuditoryLfoRate", [v]);
    }
    function setZAuditoryIsPlaying(v) {
        record("setZAuditoryIsPlaying", [v]);
    }
}
