// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/BlockFrameMap.h"
#include "midi/LateMessageSpacing.h"
#include "midi/SpscRing.h"
#include "midi/TimedMidiSink.h"
#include "midi/WakeSignal.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

// Kinetra's MIDI ports on the JACK server the audio runs on: an output
// "KinetraMIDIPort" and an input for following a clock, on a JACK client of
// their own beside the audio device's.
//
// The output is sample-accurate: the MIDI handler's flush (in the audio
// callback, inside a JACK cycle) hands each message with its offset in the
// block, and it is written at that same offset. When the port's client runs
// after the audio client in every cycle (orderAfter: an audio output of the
// audio client feeds the port's "sync_in", and the server runs a client
// only once the clients feeding it are done) that is in the cycle the block
// runs in; otherwise the port's process callback of that cycle may already
// have run, and messages go into the next cycle, one period later. Each
// block is tied to the
// JACK cycle the server is in when the block begins (beginBlock, through
// BlockFrameMap), not to whatever cycle the port's client sees when each
// message is sent.
//
// Threads and shared items:
// - open(), close(), the input drain: GUI thread.
// - beginBlock(), send(): the audio callback (the MIDI handler's consumer),
//   producer of m_out; m_block* are its own. process(): the JACK client's
//   process thread, consumer of m_out and producer of m_in. Both rings are
//   single-producer single-consumer.
// - m_pendingValid/m_pending, m_spacing, m_nextCycle: process thread only.
// - the counters: written by the thread named beside each, read by any
//   (relaxed atomics: each is a count on its own).
// - m_inputWake: notified by the process thread when a cycle brought input,
//   acknowledged by the input drain (see WakeSignal).
// - m_syncLinks: the connections to "sync_in", counted by the server's
//   notification thread (reset by open and close on the GUI thread, while
//   the client is not active), read by the audio callback. m_processCycle: the cycle the process
//   callback last began, stored by the process thread, read by the audio callback.
// No lock is taken; the process callback allocates nothing.
class JackMidiPort : public TimedMidiSink
{
public:
    static constexpr const char* kClientName = "Kinetra MIDI";
    static constexpr const char* kOutputName = "KinetraMIDIPort";
    static constexpr const char* kInputName = "KinetraClockIn";
    static constexpr const char* kSyncInputName = "sync_in";
    static constexpr std::size_t kRingSize = 4096;

    struct Event
    {
        uint32_t frame = 0; // JACK frame time it is due on
        uint8_t size = 0;
        uint8_t bytes[3] = {0, 0, 0};
    };

    JackMidiPort();
    ~JackMidiPort() override;
    JackMidiPort(const JackMidiPort&) = delete;
    JackMidiPort& operator=(const JackMidiPort&) = delete;

    // Connects to the running server (never starts one) and registers both
    // ports. False, with the reason, when there is no server.
    bool open(QString& reason);
    void close();
    bool isOpen() const { return m_client != nullptr; }
    // "Kinetra MIDI:KinetraMIDIPort" once open.
    QString outputPortName() const;

    // Connects an audio output of the JACK client `clientName` (the audio
    // device's) to "sync_in", so that the server runs this port's client
    // after it in each cycle and a block's messages leave in the cycle the
    // block runs in. False, with the reason, when that client has no output
    // or the connection was refused: messages then leave one period later.
    // GUI thread.
    bool orderAfter(const QString& clientName, QString& reason);
    // Whether "sync_in" is fed (by orderAfter or by anyone else).
    bool isOrdered() const { return m_syncLinks.load(std::memory_order_acquire) > 0; }

    // TimedMidiSink (audio callback).
    void beginBlock(int blockLength) override;
    void send(const uint8_t* bytes, int size, int offset, int blockLength) override;

    // What happened to the blocks and messages, since open(): where the
    // clock's spacing can be lost.
    struct Counters
    {
        // Audio callback.
        uint64_t blocks = 0;
        // Blocks that began in the same JACK cycle as the block before them
        // (the audio callback ran twice in one cycle, catching up).
        uint64_t blocksInOneCycle = 0;
        // Blocks whose cycle did not begin where the previous block ended,
        // and the frames between (the server skipped cycles).
        uint64_t blockJumps = 0;
        int64_t blockJumpFrames = 0;
        // Messages due before the block that flushed them (late: placed at
        // its first sample) or after it (placed at its last sample).
        uint64_t dueBeforeBlock = 0;
        uint64_t dueAfterBlock = 0;
        // Blocks whose messages were laid in the cycle the block runs in
        // (the port's client was ordered after the audio client and had not
        // run that cycle yet); the others went one period later.
        uint64_t blocksInTheirCycle = 0;
        // Process thread.
        uint64_t cycles = 0;
        // Cycles of the port's client that did not begin where its previous
        // one ended (it missed cycles), and the frames between.
        uint64_t missedCycleGaps = 0;
        int64_t missedFrames = 0;
        // Messages whose frame had already passed when the port wrote them
        // (written at the start of the cycle, or right after the message
        // before them), with the largest and the summed lateness.
        uint64_t writtenLate = 0;
        uint64_t lateFramesMax = 0;
        uint64_t lateFramesSum = 0;
        // Messages written on the same frame as the message before them
        // although due on a later one.
        uint64_t bunched = 0;
    };
    Counters counters() const;

    // Passes the messages that came in on the input since the last call to
    // `handler` (GUI thread).
    void drainInput(const std::function<void(const uint8_t*, int)>& handler);
    // Becomes readable when input is waiting for drainInput (watch it with a
    // QSocketNotifier); -1 when the system gave no eventfd, in which case
    // the input has to be drained on a timer.
    int inputReadyFd() const { return m_inputWake.fd(); }

    // Messages refused because a ring was full, or longer than 3 bytes.
    uint64_t droppedCount() const { return m_dropped.load(); }

    // Silences libjack's error and information lines (it prints several
    // when no server runs). Called once at start-up, before any client.
    static void silenceLibraryMessages();

private:
    static int processCallback(uint32_t nframes, void* self);
    static void portConnectCallback(uint32_t a, uint32_t b, int connect, void* self);
    int process(uint32_t nframes);

    jack_client_t* m_client = nullptr;
    jack_port_t* m_output = nullptr;
    jack_port_t* m_input = nullptr;
    jack_port_t* m_syncIn = nullptr;
    std::atomic<int> m_syncLinks{0};
    std::atomic<uint32_t> m_processCycle{0};
    SpscRing<Event, kRingSize> m_out;
    SpscRing<Event, kRingSize> m_in;
    WakeSignal m_inputWake;
    Event m_pending;
    bool m_pendingValid = false;
    std::atomic<uint64_t> m_dropped{0};

    // Audio callback only: the JACK frame the current block begins on.
    BlockFrameMap m_map;
    uint32_t m_blockFrame = 0;
    uint32_t m_blockDelay = 0; // 0, or one block when it leaves a cycle later
    bool m_haveBlock = false;
    // Process thread only.
    LateMessageSpacing m_spacing;
    uint32_t m_nextCycle = 0;
    bool m_processStarted = false;

    std::atomic<uint64_t> m_blocks{0};
    std::atomic<uint64_t> m_blocksInOneCycle{0};
    std::atomic<uint64_t> m_blockJumps{0};
    std::atomic<int64_t> m_blockJumpFrames{0};
    std::atomic<uint64_t> m_dueBeforeBlock{0};
    std::atomic<uint64_t> m_dueAfterBlock{0};
    std::atomic<uint64_t> m_blocksInTheirCycle{0};
    std::atomic<uint64_t> m_cycles{0};
    std::atomic<uint64_t> m_missedCycleGaps{0};
    std::atomic<int64_t> m_missedFrames{0};
    std::atomic<uint64_t> m_writtenLate{0};
    std::atomic<uint64_t> m_lateFramesMax{0};
    std::atomic<uint64_t> m_lateFramesSum{0};
    std::atomic<uint64_t> m_bunched{0};
};
