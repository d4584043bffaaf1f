// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ControlOutput.h"
#include "midi/BoundedMpscQueue.h"
#include "midi/ClockEstimator.h"
#include "midi/MidiBackend.h"
#include "midi/SentMidiLog.h"
#include "midi/TimedMidiSink.h"

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
// Every outgoing message carries the sample at which it is due on the audio
// clock: the count of samples the consumer has passed through beginBlock().
// A message queued from any thread "now" is due one block after the block
// that was current when it was queued, so that a consumer running once per
// block places it at the same distance from its arrival every time (a
// constant latency of one block); the transport places its clock and the
// arpeggiator's notes on the exact sample of each tick (queueInBlock). A
// message due in a later block is held until that block.
//
// Threads: the object lives on the GUI thread (scan, open/close, ignore
// lists, sendNow). queueMessage may be called from any thread: producers
// (link, GUI, MIDI input, the transport) hand their messages to one
// consumer through a bounded lock-free queue (BoundedMpscQueue: no lock,
// no allocation). The consumer is whoever drives the transport: the audio
// callback, or the transport's timer thread when no audio device runs;
// beginBlock, queueInBlock and endBlock are its calls. A flush try-locks
// m_portsMutex and leaves the messages for the next flush when the GUI
// thread is changing the ports, so the consumer never waits. Incoming
// messages arrive on the MIDI service's thread and the signals are emitted
// there.
class MidiSettings;

class MidiHandler : public QObject, public juce::MidiInputCallback, public ControlOutput
{
    Q_OBJECT
    Q_PROPERTY(int num_inputs READ getNumInputs NOTIFY numOfMidiInputChanged)
    Q_PROPERTY(int num_outputs READ getNumOutputs NOTIFY numOfMidiOutputChanged)
    Q_PROPERTY(bool isVirtualPortOpen READ isVirtualPortOpen CONSTANT)
    // Which port "KinetraMIDIPort" is, in the user's words (preferences).
    Q_PROPERTY(QString midiPath READ getMidiPath NOTIFY midiPathChanged)

public:
    using PortInfo = MidiBackend::PortInfo;
    using MillisecondClock = std::function<double()>;

    static constexpr const char* kVirtualPortName = "KinetraMIDIPort";
    static constexpr const char* kLoopbackInName = "Kinetra In";
    static constexpr const char* kLoopbackOutName = "Kinetra Out";
    static constexpr int kPilotIntervalMs = 500;
    // Messages the pending queue holds between two flushes; more are
    // dropped (and counted) rather than growing memory without bound when
    // nothing flushes.
    static constexpr int kPendingCapacity = 4096;
    // Longest message the pending buffer takes (channel and system real-time
    // messages are 1-3 bytes); longer ones must go through sendNow.
    static constexpr int kMaxQueuedMessageBytes = 8;

    // `settings` (the sample rate of the audio clock, clock following) may be
    // none: 44.1 kHz and no following are assumed.
    explicit MidiHandler(std::shared_ptr<MidiBackend> backend,
                         const MidiSettings* settings = nullptr, QObject* parent = nullptr);
    ~MidiHandler() override;

    // Adds one message to the pending queue, due `samplePosition` samples
    // after now on the audio clock (see above). Any thread; never blocks.
    void queueMessage(const juce::MidiMessage& message, int samplePosition = 0) override;
    // Adds one message due on `dueSample` of the audio clock: a time taken
    // earlier with nowSamples() (a frame's arrival). Any thread; never blocks.
    void queueMessageAt(const juce::MidiMessage& message, int64_t dueSample) override;
    // The consumer: a block of `numSamples` samples begins on the audio
    // clock; its messages are sent by the flushBuffer() that ends it.
    void beginBlock(int numSamples);
    // The consumer, inside a block: a message due `offset` samples after the
    // block's first sample.
    void queueInBlock(const juce::MidiMessage& message, int offset);
    // The sample the current block began on (consumer).
    int64_t blockStart() const { return m_blockStart.load(std::memory_order_relaxed); }
    // Now on the audio clock, as queueMessage stamps it. Any thread.
    int64_t nowSamples() const;
    // Sends one message at once: to the virtual port, then to each open
    // output in the order they were opened. GUI thread.
    void sendNow(const juce::MidiMessage& message) override;
    // The consumer, at the end of its block: sends the pending messages due
    // before the block's end (by due sample, equal ones in queueing order)
    // to the timed sink at their offsets, to the virtual port, then to each
    // open output; the ones due in a later block stay pending until it.
    void endBlock();
    // Sends every pending message as endBlock does, whenever it is due, and
    // empties the queue (a message due in a later block goes to the timed
    // sink at the current block's last sample). Any one thread at a time.
    void flushBuffer() override;
    // The consumer sends everything; a producer never flushes. Returns false.
    bool flushIfAudioLate() override { return false; }
    // A copy of the pending messages in sending order, each with its offset
    // in the current block as time stamp (GUI thread, tests).
    std::vector<juce::MidiMessage> pendingMessages() const;
    int pendingCount() const;
    // Messages refused by queueMessage since construction: buffer full, or
    // too long for the buffer.
    uint64_t droppedMessageCount() const { return m_droppedMessages.load(); }

    bool isVirtualPortOpen() const { return m_virtualPort != nullptr; }
    // While set, `sink` (the JACK MIDI port "KinetraMIDIPort") gets what the
    // virtual port gets, each message at its offset in the block;
    // `description` says so in the preferences. nullptr takes it away. GUI
    // thread; when it returns, no flush uses the old sink.
    void setTimedSink(TimedMidiSink* sink, const QString& description = {});
    QString getMidiPath() const;
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
    void midiPathChanged();
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
        int64_t due; // sample on the audio clock
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
    static void sortByDue(PendingEntry* entries, int count);
    bool push(const juce::MidiMessage& message, int64_t due);
    // Moves the queued messages behind the staged ones (under m_portsMutex).
    void stageQueued() const;
    // Sends the pending messages due before `until` and keeps the others
    // (see endBlock).
    void drainPending(int64_t until);
    void reportDroppedMessages();

    std::shared_ptr<MidiBackend> m_backend;
    const MidiSettings* m_settings = nullptr;

    // Producers push (any thread, no lock); the consumer pops into the
    // staging area and sends from there. Producers take no lock of ours, so
    // they may queue under the engine's dispatch lock and a source's state
    // lock on the link thread.
    mutable BoundedMpscQueue<PendingEntry> m_queue{kPendingCapacity};
    // Staging area: only the holder of m_portsMutex touches it (the
    // consumer's flush, or pendingMessages on the GUI thread); its count is
    // also published for pendingCount().
    std::unique_ptr<PendingEntry[]> m_staged;
    mutable int m_stagedCount = 0;
    mutable std::atomic<int> m_stagedShared{0};
    std::atomic<uint64_t> m_droppedMessages{0};
    uint64_t m_reportedDrops = 0;

    // The audio clock. The consumer writes the current block (its first
    // sample, its length and the steady time it began) as a sequence lock:
    // m_clockSequence odd while it writes. Producers read the three and
    // retry when the sequence moved (they never wait for the consumer: a
    // block is published in a few instructions). m_frames is the consumer's
    // own count.
    int64_t m_frames = 0;
    std::atomic<uint32_t> m_clockSequence{0};
    std::atomic<int64_t> m_blockStart{0};
    std::atomic<int> m_blockLength{0};
    std::atomic<int64_t> m_blockBeganNs{0};
    // The latest "now" any producer was given: nowSamples() never returns
    // less, so a producer's messages keep their order however late a block
    // begins (see nowSamples). Any thread, compare-and-swap only.
    mutable std::atomic<int64_t> m_latestNow{0};

    // Guards the outputs (virtual port and open outputs) and the staging
    // area: the consumer try-locks it (a flush that finds it taken leaves
    // the messages for the next one), the GUI thread locks it to change the
    // ports. Changed only on the GUI thread, so the GUI thread may read the
    // ports unlocked. Lock order: m_portsMutex is the innermost lock of ours.
    mutable std::mutex m_portsMutex;
    std::unique_ptr<MidiBackend::Output> m_virtualPort;
    TimedMidiSink* m_timedSink = nullptr;
    // The block the timed sink was last told of (consumer, under the lock).
    int64_t m_sinkBlockStart = -1;
    QString m_timedSinkDescription; // GUI thread
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
    // Set by the GUI thread, read by whoever sends (under m_portsMutex).
    std::atomic<SentMidiLog*> m_sentLog{nullptr};
};
