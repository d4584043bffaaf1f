// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ControlOutput.h"
#include "midi/ClockEstimator.h"
#include "midi/MidiBackend.h"
#include "midi/SentMidiLog.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// Owns every MIDI connection: the application's own output "KinetraMIDIPort"
// (created when the system does not provide it), the other inputs and outputs
// the user has not switched off (rescanned twice a second), incoming notes,
// controllers, program changes and clock, and the outgoing pending buffer.
//
// Threads: the object lives on the GUI thread (scan, open/close, ignore
// lists, sendNow). queueMessage may be called from any thread; flushBuffer
// from the audio thread and the GUI thread. The pending buffer is two
// preallocated stores swapped under a lock held for a few instructions, so
// neither queueing nor flushing allocates; a flush that finds another flush
// (or a port change) in progress leaves its messages for the next one.
// Incoming messages arrive on the MIDI service's thread and the signals are
// emitted there.
class MidiSettings;

class MidiHandler : public QObject, public juce::MidiInputCallback, public ControlOutput
{
    Q_OBJECT
    Q_PROPERTY(int num_inputs READ getNumInputs NOTIFY numOfMidiInputChanged)
    Q_PROPERTY(int num_outputs READ getNumOutputs NOTIFY numOfMidiOutputChanged)
    Q_PROPERTY(bool isVirtualPortOpen READ isVirtualPortOpen CONSTANT)

public:
    using PortInfo = MidiBackend::PortInfo;
    using MillisecondClock = std::function<double()>;

    static constexpr const char* kVirtualPortName = "KinetraMIDIPort";
    static constexpr const char* kLoopbackInName = "Kinetra In";
    static constexpr const char* kLoopbackOutName = "Kinetra Out";
    static constexpr int kPilotIntervalMs = 500;
    // Messages the pending buffer holds between two flushes; more are
    // dropped (and counted) rather than growing memory without bound when
    // nothing flushes, e.g. with no audio device running.
    static constexpr int kPendingCapacity = 4096;
    // Longest message the pending buffer takes (channel and system real-time
    // messages are 1-3 bytes); longer ones must go through sendNow.
    static constexpr int kMaxQueuedMessageBytes = 8;

    // With the fallback on, when no audio block has flushed the buffer for
    // this long (no audio device, or one that stopped), the GUI thread
    // flushes it instead, every kFallbackFlushIntervalMs, so that the
    // wheels' MIDI still goes out.
    static constexpr int kAudioSilenceMs = 25;
    static constexpr int kFallbackFlushIntervalMs = 5;
    // How much later than one audio block a producer waits for the block's
    // flush before it sends the pending messages itself (flushIfAudioLate).
    static constexpr int kLateFlushMarginUs = 1000;

    // `settings` (the audio format for the late flush, clock following) may
    // be none: a 64-sample block at 44.1 kHz and no following are assumed.
    explicit MidiHandler(std::shared_ptr<MidiBackend> backend,
                         const MidiSettings* settings = nullptr, QObject* parent = nullptr);
    ~MidiHandler() override;

    // Adds one message to the pending buffer at `samplePosition` (the offset
    // within the current audio block; ordering only). Any thread.
    void queueMessage(const juce::MidiMessage& message, int samplePosition = 0) override;
    // Sends one message at once: to the virtual port, then to each open
    // output in the order they were opened. GUI thread.
    void sendNow(const juce::MidiMessage& message) override;
    // Sends the pending messages (ascending position, equal positions in
    // queueing order) to the virtual port, then the whole block to each open
    // output, and empties the buffer. Audio thread or GUI thread.
    void flushBuffer() override;
    // For producers outside the audio thread (the link, after a frame): the
    // audio block normally sends what was queued, but when no flush has come
    // for longer than one block of the current audio set-up plus
    // kLateFlushMarginUs (an xrun, a stalled or missing device), sends the
    // pending messages now instead of holding them. Only with the fallback
    // flush on. Any thread; returns whether it flushed.
    bool flushIfAudioLate() override;
    // That wait in microseconds: the block length the settings report plus
    // the margin.
    qint64 lateFlushThresholdUs() const;
    // The application turns the fallback flushes on (the GUI thread's timer
    // and flushIfAudioLate); they are off by default so that the pending
    // buffer stays as queued until someone flushes it.
    void setFallbackFlushEnabled(bool enabled);
    bool isFallbackFlushEnabled() const { return m_fallbackFlushTimer.isActive(); }
    // A copy of the pending messages in sending order (for tests).
    std::vector<juce::MidiMessage> pendingMessages() const;
    int pendingCount() const;
    // Messages refused by queueMessage since construction: buffer full, or
    // too long for the buffer.
    uint64_t droppedMessageCount() const { return m_droppedMessages.load(); }

    bool isVirtualPortOpen() const { return m_virtualPort != nullptr; }
    int getNumInputs() const { return m_listedInputs.size(); }
    int getNumOutputs() const { return m_listedOutputs.size(); }
    QVector<PortInfo> listedInputs() const { return m_listedInputs; }
    QVector<PortInfo> listedOutputs() const { return m_listedOutputs; }

    Q_INVOKABLE void openMidiInput(int index);
    Q_INVOKABLE void openMidiOutput(int index);
    Q_INVOKABLE void closeMidiInput(int index);
    Q_INVOKABLE void closeMidiOutput(int index);
    Q_INVOKABLE bool isInputOpen(int index) const;
    Q_INVOKABLE bool isOutputOpen(int index) const;
    Q_INVOKABLE QString getInputName(int index) const;
    Q_INVOKABLE QString getOutputName(int index) const;

    QStringList ignoredInputs() const { return m_ignoredInputs; }
    QStringList ignoredOutputs() const { return m_ignoredOutputs; }
    void setIgnoredInputs(const QStringList& identifiers);
    void setIgnoredOutputs(const QStringList& identifiers);

    // The time source of the clock follower (milliseconds, monotonic).
    // Defaults to JUCE's high-resolution millisecond counter. Set it before
    // any input is open.
    void setMillisecondClock(MillisecondClock clock);
    // Every message sent from now on is also written to `log` (which must
    // outlive this object, or be taken back with nullptr first).
    void setSentLog(SentMidiLog* log) { m_sentLog.store(log, std::memory_order_release); }

    // Our own ports are never listed: inputs named "Kinetra Out" or
    // "KinetraMIDIPort", outputs named "Kinetra In" or "KinetraMIDIPort".
    static QVector<PortInfo> withoutOwnInputs(QVector<PortInfo> inputs);
    static QVector<PortInfo> withoutOwnOutputs(QVector<PortInfo> outputs);

    // juce::MidiInputCallback, on the MIDI service's thread.
    void handleIncomingMidiMessage(juce::MidiInput* source,
                                   const juce::MidiMessage& message) override;

Q_SIGNALS:
    void noteEventReceived(uint8_t ch, uint8_t note, float velocity);
    void ccEventReceived(uint8_t ch, uint8_t cc, uint8_t value);
    void programChangeEventReceived(uint8_t ch, uint8_t number);
    void numOfMidiInputChanged();
    void numOfMidiOutputChanged();
    // The clock follower measured a new tempo (MIDI input thread). Start-up
    // connects it to the user actions' setTempo.
    void tempoEstimated(int tempo);
    // A followed clock started or stopped (MIDI input thread, emitted while
    // following is on). Start-up connects them directly to the transport.
    void clockStartReceived();
    void clockStopReceived();

private Q_SLOTS:
    void devicePilot();

private:
    struct PendingEntry
    {
        int position;
        int size;
        uint8_t bytes[kMaxQueuedMessageBytes];
    };
    struct OpenInput
    {
        PortInfo info;
        std::unique_ptr<MidiBackend::Input> port;
    };
    struct OpenOutput
    {
        PortInfo info;
        std::unique_ptr<MidiBackend::Output> port;
    };

    std::unique_ptr<MidiBackend::Input> startInput(const QString& identifier);
    void rebuildInputs();
    void rebuildOutputs();
    void closeInputsIn(const QStringList& identifiers);
    void closeOutputsIn(const QStringList& identifiers);
    void sendToAllPorts(const juce::MidiMessage& message);
    static void sortByPosition(PendingEntry* entries, int count);
    // Sends and empties the pending buffer (see flushBuffer).
    void drainPending();
    void reportDroppedMessages();

    std::shared_ptr<MidiBackend> m_backend;
    const MidiSettings* m_settings = nullptr;

    // Lock order: m_portsMutex (a flush try-locks it) before m_pendingMutex;
    // producers take m_pendingMutex alone, innermost under the engine's
    // dispatch lock and a source's state lock on the link thread.
    //
    // Pending buffer: producers fill m_store[m_fillIndex] under
    // m_pendingMutex; a flush swaps the index and drains the other store.
    mutable std::mutex m_pendingMutex;
    std::unique_ptr<PendingEntry[]> m_store[2];
    int m_count[2] = {0, 0};
    int m_fillIndex = 0;
    std::atomic<uint64_t> m_droppedMessages{0};
    uint64_t m_reportedDrops = 0;

    // Guards the outputs (virtual port and open outputs) against a flush on
    // the audio thread; also lets only one flush drain at a time. Changed
    // only on the GUI thread, so the GUI thread may read them unlocked.
    std::mutex m_portsMutex;
    std::unique_ptr<MidiBackend::Output> m_virtualPort;
    std::vector<OpenOutput> m_openOutputs;

    std::vector<OpenInput> m_openInputs;
    QVector<PortInfo> m_listedInputs;
    QVector<PortInfo> m_listedOutputs;
    QStringList m_ignoredInputs;
    QStringList m_ignoredOutputs;

    std::mutex m_clockMutex; // inputs may deliver on more than one thread
    ClockEstimator m_clockEstimator;
    MillisecondClock m_clock;

    QTimer m_pilotTimer;
    QTimer m_fallbackFlushTimer;
    // Steady-clock microseconds of the last flush asked for from outside the
    // fallback (normally the audio callback's).
    std::atomic<qint64> m_lastFlushUs{0};
    std::atomic<bool> m_fallbackEnabled{false};
    // Set by the GUI thread, read by whoever sends (under m_portsMutex).
    std::atomic<SentMidiLog*> m_sentLog{nullptr};
};
