// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

// A JACK client of the benchmark's own with one MIDI input, as another music
// program would connect it to "KinetraMIDIPort": every message it receives
// is kept with its absolute JACK frame time (the cycle's first frame plus
// the event's offset).
//
// Threads: open()/connectFrom()/messages() on the calling thread; process()
// on the JACK process thread, the only writer of m_messages, which publishes
// each new count with a release store (read with acquire). The records are
// preallocated; the process callback never allocates.
class JackMidiReader
{
public:
    struct Message
    {
        uint32_t frame = 0; // absolute JACK frame time
        // Steady clock when the reader's cycle began, plus the event's offset
        // in the cycle at the sample rate: when a program reading the port
        // would play it.
        int64_t deliveredNs = 0;
        uint8_t size = 0;
        uint8_t bytes[3] = {0, 0, 0};
    };

    explicit JackMidiReader(std::size_t capacity);
    ~JackMidiReader();
    JackMidiReader(const JackMidiReader&) = delete;
    JackMidiReader& operator=(const JackMidiReader&) = delete;

    bool open(const char* clientName);
    bool connectFrom(const char* portName);
    std::vector<Message> messages() const;
    int xruns() const { return m_xruns.load(); }
    // Frame times the server skipped: after an xrun the next cycle's first
    // frame is not the previous cycle's first frame plus its length, but
    // later by the periods it missed (the cycles that did not run).
    struct Gap
    {
        uint32_t frame = 0;  // first frame of the cycle after the gap
        int32_t skipped = 0; // frames skipped before it (negative: repeated)
    };
    std::vector<Gap> gaps() const;
    // Every cycle the reader ran: its first frame and the steady clock when
    // it began (kept for as many cycles as messages fit).
    struct Cycle
    {
        uint32_t frame = 0;
        int64_t ns = 0;
    };
    std::vector<Cycle> cycles() const;
    int64_t sampleRate() const { return m_rate; }
    // Microseconds on JACK's own clock (jack_get_time) at which `frame`
    // is processed, by the server's estimate.
    uint64_t frameToMicroseconds(uint32_t frame) const;
    uint64_t nowMicroseconds() const;
    // The frame now, on the server's cycle counter: the current cycle's
    // first frame (jack_last_frame_time) plus the frames since it began by
    // the server's time estimate, held inside the cycle. Not
    // jack_frame_time: on the dummy driver its time-to-frame estimate does
    // not follow the counter's jumps over xruns, and drifts from the frames
    // messages arrive on by the frames skipped. Any thread.
    uint32_t frameNow() const;

private:
    static int process(uint32_t nframes, void* self);
    static int xrun(void* self);

    jack_client_t* m_client = nullptr;
    jack_port_t* m_input = nullptr;
    std::vector<Message> m_messages;
    std::atomic<std::size_t> m_count{0};
    std::atomic<int> m_xruns{0};
    std::vector<Gap> m_gaps;
    std::vector<Cycle> m_cycles;
    std::atomic<std::size_t> m_cycleCount{0};
    std::atomic<std::size_t> m_gapCount{0};
    int64_t m_rate = 48000;   // set before activation
    uint32_t m_nextCycle = 0; // process thread only
    bool m_started = false;   // process thread only
};
