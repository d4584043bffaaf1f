// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/AudioFormatState.h"
#include "engine/ControlModes.h"
#include "link/LinkState.h"
#include "midi/MidiSettings.h"
#include "storage/PersistentFlags.h"

#include <QColor>
#include <QObject>

#include <atomic>
#include <functional>

class Orvik;

// The application-wide modes and shared numbers. Lives on the GUI thread;
// every item is atomic because the link, audio and MIDI-input threads read
// (and the link thread writes) some of them. Each layer below sees only the
// part it needs, through the small interfaces this class implements.
class StateManager : public QObject,
                     public LinkState,
                     public ControlModes,
                     public MidiSettings,
                     public AudioFormatState,
                     public PersistentFlags
{
    Q_OBJECT
    Q_PROPERTY(
        int focusedSource READ getFocusedSource WRITE setFocusedSource NOTIFY focusedSourceChanged)
    Q_PROPERTY(
        int focusedDevice READ getFocusedDevice WRITE setFocusedDevice NOTIFY deviceFocusChanged)
    Q_PROPERTY(bool isInMappingMode READ getMappingModeState WRITE setMappingModeState NOTIFY
                   mappingModeStateChanged)
    Q_PROPERTY(bool isWindowOnTop READ getFloatingWindowState NOTIFY floatingWindowStateChanged)
    Q_PROPERTY(bool isPresetBayShown READ getPresetBayState NOTIFY presetBayStateChanged)
    Q_PROPERTY(bool isHighResMidiOn READ getHiResMidiState NOTIFY hiResMidiStateChanged)
    Q_PROPERTY(bool isConnected READ getConnectionState NOTIFY connectionStateChanged)
    Q_PROPERTY(
        bool isAccessibilityModeOn READ getAccessibilityState NOTIFY accessibilityStateChanged)
    Q_PROPERTY(int tempo READ getTempo NOTIFY tempoChanged)
    Q_PROPERTY(bool isSendingClock READ getSendingClockState WRITE setSendingClockState NOTIFY
                   sendingClockStateChanged)
    Q_PROPERTY(bool isSyncingToClock READ getSyncingToClockState WRITE setSyncingToClockState NOTIFY
                   synchingToClockStateChanged)
    Q_PROPERTY(bool isVKeyOn READ getVirtualKeyboardState WRITE setVirtualKeyboardState NOTIFY
                   virtualKeyboardStateChanged)
    Q_PROPERTY(bool isArpOn READ getArpeggiatorState WRITE setArpeggiatorState NOTIFY
                   arpeggiatorStateChanged)
    Q_PROPERTY(bool isLiveMode READ getLiveModeState NOTIFY liveModeStateChanged)

public:
    // Finds the band at a list position, for deviceFocusChanged.
    using DeviceLookup = std::function<Orvik*(int position)>;

    explicit StateManager(DeviceLookup devices = {}, QObject* parent = nullptr);

    Q_INVOKABLE bool getConnectionState() const override { return m_isConnected.load(); }
    Q_INVOKABLE bool getMappingModeState() const override { return m_isInMappingMode.load(); }
    Q_INVOKABLE bool getLiveModeState() const override { return m_isLiveMode.load(); }
    Q_INVOKABLE bool getFloatingWindowState() const { return m_isWindowOnTop.load(); }
    Q_INVOKABLE int getTempo() const override { return m_tempo.load(); }
    Q_INVOKABLE int getAudioSampleRate() const override { return m_audioSampleRate.load(); }
    Q_INVOKABLE int getAudioBufferSize() const override { return m_audioBufferSize.load(); }
    Q_INVOKABLE bool getHiResMidiState() const override { return m_isHighResMidiOn.load(); }
    Q_INVOKABLE int getFocusedDevice() const { return m_focusedDevice.load(); }
    // Colour of device position `index` (0-3); positions outside the table
    // get the colour of position index mod 4.
    Q_INVOKABLE QColor getColorCodeOn(int index) const { return colorCodeOf(index); }
    static QColor colorCodeOf(int index);

    bool getPresetBayState() const { return m_isPresetBayShown.load(); }
    bool getAccessibilityState() const override { return m_isAccessibilityModeOn.load(); }
    bool getSendingClockState() const override { return m_isSendingClock.load(); }
    bool getSyncingToClockState() const override { return m_isSyncingToClock.load(); }
    bool getVirtualKeyboardState() const override { return m_isVKeyOn.load(); }
    bool getArpeggiatorState() const override { return m_isArpOn.load(); }
    int getFocusedSource() const { return m_focusedSource.load(); }

    // Emit only when the value changes.
    void setAudioSampleRate(int newValue) override;
    void setAudioBufferSize(int newValue) override;
    void setTempo(int newValue) override;
    void setHiResMidiState(bool newState) override;
    void setConnectionState(bool newState) override;
    void setMappingModeState(bool newState);
    void setLiveModeState(bool newState);
    void setFloatingWindowState(bool newState);

    // Emit on every call.
    void setSendingClockState(bool newState) override;
    void setSyncingToClockState(bool newState) override;
    void setVirtualKeyboardState(bool newState) override;
    void setArpeggiatorState(bool newState) override;
    void setAccessibilityState(bool newState) override;
    void setPresetBayState(bool shown);
    void setFocusedDevice(int index) override;
    void setFocusedSource(int slot);

    static constexpr int kColorCount = 4;

Q_SIGNALS:
    void connectionStateChanged(bool newState);
    void mappingModeStateChanged(bool newState);
    void liveModeStateChanged(bool newState);
    void floatingWindowStateChanged(bool newState);
    void tempoChanged(int newValue);
    void audioSampleRateChanged(int newValue);
    void controlSampleRateChanged(int newValue);
    void deviceFocusChanged(Orvik* newFocusedDevice);
    void hiResMidiStateChanged(bool newState);
    void accessibilityStateChanged(bool newState);
    void focusedSourceChanged();
    void shouldExitEditing();
    void presetBayStateChanged(bool newState);
    void sendingClockStateChanged(bool newState);
    void synchingToClockStateChanged(bool newState);
    void virtualKeyboardStateChanged(bool newState);
    void arpeggiatorStateChanged(bool newState);

private:
    std::atomic<int> m_audioSampleRate{44100};
    std::atomic<int> m_audioBufferSize{64};
    std::atomic<int> m_tempo{120};
    std::atomic<bool> m_isHighResMidiOn{false};
    std::atomic<bool> m_isSendingClock{true};
    std::atomic<bool> m_isSyncingToClock{false};
    std::atomic<bool> m_isConnected{false};
    std::atomic<bool> m_isInMappingMode{false};
    std::atomic<bool> m_isLiveMode{false};
    std::atomic<bool> m_isWindowOnTop{false};
    std::atomic<bool> m_isPresetBayShown{false};
    std::atomic<bool> m_isVKeyOn{true};
    std::atomic<bool> m_isArpOn{false};
    std::atomic<bool> m_isAccessibilityModeOn{false};
    std::atomic<int> m_focusedDevice{-1};
    std::atomic<int> m_focusedSource{-1};
    DeviceLookup m_devices;
};
