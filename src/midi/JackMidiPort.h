// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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
// block, and it is written into the port's buffer of the next cycle at that
// same offset, a constant latency of one period.
//
// Threads and shared items:
// - open(), close(), the input drain: GUI thread.
// - send(): the audio callback (the MIDI handler's consumer), producer of
//   m_out; process(): the JACK client's process thread, consumer of m_out
//   and producer of m_in. Both rings are single-producer single-consumer.
// - m_pendingValid/m_pending: process thread only (an event held over to a
//   later cycle).
// - m_inputWake: notified by the process thread when a cycle brought input,
//   acknowledged by the input drain (see WakeSignal).
// No lock is taken; the process callback allocates nothing.
class JackMidiPort : public TimedMidiSink
{
public:
    static constexpr const char* kClientName = "Kinetra MIDI";
    static constexpr const char* kOutputName = "KinetraMIDIPort";
    static constexpr const char* kInputName = "KinetraClockIn";
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

    // TimedMidiSink (audio callback).
    void send(const uint8_t* bytes, int size, int offset, int blockLength) override;

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
    int process(uint32_t nframes);

    jack_client_t* m_client = nullptr;
    jack_port_t* m_output = nullptr;
    jack_port_t* m_input = nullptr;
    SpscRing<Event, kRingSize> m_out;
    SpscRing<Event, kRingSize> m_in;
    WakeSignal m_inputWake;
    Event m_pending;
    bool m_pendingValid = false;
    std::atomic<uint64_t> m_dropped{0};
};
