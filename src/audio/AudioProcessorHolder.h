// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/ToneGenerator.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

// Opens and keeps the audio output device through JUCE's device manager,
// remembers the user's choice in "audioSetup.xml", follows output devices
// being plugged in and out, and is the device's audio callback: each block
// first advances the transport, then renders the guide tone.
//
// Threads: the operations and the device watch run on the GUI (JUCE
// message) thread, setAudioDeviceType on a worker thread; all of them take
// one lock around the device manager, so a driver change never overlaps
// another change. A driver change may hold that lock for as long as the new
// driver takes to open a device (seconds, or for ever), so the GUI thread
// never waits for it: while it is held elsewhere, the getters answer from
// the last view of the manager (a snapshot), and the setters and the device
// watch skip their work (the change itself refreshes the view when it ends).
// The audio callback takes no lock of ours.
class AudioFormatState;
class Transport;

class AudioProcessorHolder : public QObject,
                             public juce::AudioIODeviceCallback,
                             public juce::ChangeListener
{
    Q_OBJECT

public:
    static constexpr int kInputChannels = 0;
    static constexpr int kOutputChannels = 2;
    static constexpr int kMaxOfferedBufferSize = 512;
    // The name JUCE's JACK device gives its client (JUCE_JACK_CLIENT_NAME,
    // left at JUCE's default).
    static constexpr const char* kJackClientName = "JUCEJack";

    // `setupFilePath` is where the device choice is kept ("audioSetup.xml"
    // in the application's documents folder). `format` gives the preferred
    // format and learns the running device's and outlives the holder.
    // `transport` (may be none) is advanced by every block; the holder
    // shares it, so a holder kept alive by a driver change still running at
    // quit never ticks a destroyed transport.
    AudioProcessorHolder(const QString& setupFilePath, AudioFormatState& format,
                         std::shared_ptr<Transport> transport, QObject* parent = nullptr);
    ~AudioProcessorHolder() override;

    // Before initialise(): use this device type instead of the system's
    // (tests stand in their own devices; the JACK test uses JACK alone).
    // Once any type was added, the system's types are not created.
    void addAudioDeviceType(std::unique_ptr<juce::AudioIODeviceType> type);

    // Validates the saved set-up file (deleting an unusable one), attaches
    // the callback and opens the saved device, or the default device at the
    // application state's sample rate and buffer size.
    void initialise();

    QStringList getAudioDeviceTypes();
    QStringList getAllAudioDevices();
    QString getCurrentDeviceType();
    QString getCurrentDevice();
    QList<int> getAvailableAudioBufferSize();

    void setAudioBufferSize(int size);
    // Opens output `name` of the current driver at the preferred rate and
    // size; an empty name closes the output, an unknown one changes nothing.
    void setAudioDevice(const QString& name);
    // Safe to call from any thread; overlapping calls run one after the other.
    void setAudioDeviceType(const QString& type);
    // Whether a driver change is running (or waiting for another to end).
    bool isChangingDriver() const { return m_driverChanges.load() > 0; }

    // Writes the manager's state to the set-up file (creating its folder).
    // Not while a driver change runs: quitting waits for changes first.
    void saveDeviceState();
    // Stops listening to the manager and leaves the device's callback.
    void detachFromDevice();

    // The guide tone's parameters.
    void setPlaying(bool playing) { m_tone.setPlaying(playing); }
    void setPan(float pan) { m_tone.setPan(pan); }
    void setFrequency(float hz) { m_tone.setFrequency(hz); }
    void setAmplitude(float amplitude) { m_tone.setAmplitude(amplitude); }
    void setLfoRate(float hz) { m_tone.setLfoFrequency(hz); }

    // One audio block: the transport first, then the tone. Called by the
    // device through audioDeviceIOCallbackWithContext, and by tests.
    void audioDeviceIOCallback(const float* const* inputs, int numInputs, float* const* outputs,
                               int numOutputs, int numSamples) noexcept;

    // juce::AudioIODeviceCallback
    void
    audioDeviceIOCallbackWithContext(const float* const* inputs, int numInputs,
                                     float* const* outputs, int numOutputs, int numSamples,
                                     const juce::AudioIODeviceCallbackContext& context) override;
    void audioDeviceAboutToStart(juce::AudioIODevice* device) override;
    void audioDeviceStopped() override;

    // juce::ChangeListener: the device watch.
    void changeListenerCallback(juce::ChangeBroadcaster* source) override;

    // Called with each block's length before the tone is rendered (after the
    // transport). A test seam: set it only while no device runs.
    void setBlockObserver(std::function<void(int)> observer);

    ToneGenerator& toneGenerator() { return m_tone; }
    juce::AudioDeviceManager& deviceManager() { return m_manager; }
    const juce::XmlElement& savedDeviceState() const { return m_savedState; }
    QString setupFilePath() const { return m_setupFilePath; }

    // The buffer sizes offered to the user: those ≤ 512 that are positive
    // multiples of 8, in the device's order.
    static QList<int> usableBufferSizes(const juce::Array<int>& sizes);
    // The device watch's comparison: the last name that is in the longer of
    // the two lists and not in the shorter one (empty when none).
    static QString changedDevice(const QStringList& known, const QStringList& current);

Q_SIGNALS:
    // A device started or stopped, or the list of devices changed.
    void audioDeviceChanged();
    // A driver change began or ended (emitted on the change's thread).
    void driverChangeRunningChanged(bool running);

private:
    using Lock = std::lock_guard<std::recursive_mutex>;
    using TryLock = std::unique_lock<std::recursive_mutex>;

    // What the window last learnt of the manager.
    struct Snapshot
    {
        QStringList types;
        QStringList outputs;
        QString type;
        QString device;
        QList<int> bufferSizes;
    };

    juce::AudioDeviceManager::AudioDeviceSetup setupForOutput(const QString& name) const;
    void applySetupLocked(const juce::AudioDeviceManager::AudioDeviceSetup& setup);
    QStringList outputNamesLocked();
    void rememberDeviceInUseLocked();
    void loadSavedState();
    std::unique_ptr<juce::XmlElement> describeOpenDeviceLocked();
    // The lock when nobody else holds it; otherwise a driver change does.
    TryLock tryLockManager();
    Snapshot takeSnapshotLocked();
    void storeSnapshot(Snapshot snapshot);
    Snapshot snapshot() const;
    static bool onMessageThread();

    AudioFormatState& m_format;
    // Read by the audio callback; fixed at construction.
    const std::shared_ptr<Transport> m_transport;
    ToneGenerator m_tone;
    juce::XmlElement m_savedState{"audioSetup"};
    juce::AudioDeviceManager::AudioDeviceSetup m_preferredSetup;
    QList<std::pair<quint16, quint16>> m_channelConfig{{kInputChannels, kOutputChannels}};
    QStringList m_knownOutputs;
    QString m_knownType;
    // The output that was open when the manager was last changed through us.
    QString m_deviceInUse;
    QString m_setupFilePath;
    std::function<void(int)> m_blockObserver;
    bool m_listening = false;
    bool m_attached = false;
    // Lock order: m_managerMutex, then m_snapshotMutex.
    std::recursive_mutex m_managerMutex;
    // Written under m_managerMutex by whoever changed the manager; read by
    // the GUI thread while a driver change holds m_managerMutex. Held only
    // to copy the record.
    mutable std::mutex m_snapshotMutex;
    Snapshot m_snapshot;
    // Driver changes entered and not left; any thread.
    std::atomic<int> m_driverChanges{0};
    // Last: destroyed first, so the device stops before the tone goes.
    juce::AudioDeviceManager m_manager;
};
