// SPDX-License-Identifier: GPL-3.0-or-later
#include "JackMidiReader.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <chrono>
#include <cstring>

JackMidiReader::JackMidiReader(std::size_t capacity)
    : m_messages(capacity), m_gaps(capacity), m_cycles(capacity)
{
}

JackMidiReader::~JackMidiReader()
{
    if (m_client != nullptr) {
        jack_deactivate(m_client);
        jack_client_close(m_client);
    }
}

bool JackMidiReader::open(const char* clientName)
{
    m_client = jack_client_open(clientName, JackNoStartServer, nullptr);
    if (m_client == nullptr)
        return false;
    m_rate = int64_t(jack_get_sample_rate(m_client));
    m_input = jack_port_register(m_client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    return m_input != nullptr &&
           jack_set_process_callback(m_client, &JackMidiReader::process, this) == 0 &&
           jack_set_xrun_callback(m_client, &JackMidiReader::xrun, this) == 0 &&
           jack_activate(m_client) == 0;
}

bool JackMidiReader::connectFrom(const char* portName)
{
    return m_client != nullptr && jack_port_by_name(m_client, portName) != nullptr &&
           jack_connect(m_client, portName, jack_port_name(m_input)) == 0;
}

std::vector<JackMidiReader::Message> JackMidiReader::messages() const
{
    const size_t n = m_count.load(std::memory_order_acquire);
    return {m_messages.begin(), m_messages.begin() + long(n)};
}

std::vector<JackMidiReader::Gap> JackMidiReader::gaps() const
{
    const size_t n = m_gapCount.load(std::memory_order_acquire);
    return {m_gaps.begin(), m_gaps.begin() + long(n)};
}

std::vector<JackMidiReader::Cycle> JackMidiReader::cycles() const
{
    const size_t n = m_cycleCount.load(std::memory_order_acquire);
    return {m_cycles.begin(), m_cycles.begin() + long(n)};
}

uint64_t JackMidiReader::frameToMicroseconds(uint32_t frame) const
{
    return jack_frames_to_time(m_client, frame);
}

uint64_t JackMidiReader::nowMicroseconds() const
{
    return jack_get_time();
}

uint32_t JackMidiReader::frameNow() const
{
    const jack_nframes_t cycle = jack_last_frame_time(m_client);
    const jack_nframes_t since = jack_frames_since_cycle_start(m_client);
    const jack_nframes_t period = jack_get_buffer_size(m_client);
    return cycle + std::min(since, period > 0 ? period - 1 : 0);
}

int JackMidiReader::xrun(void* arg)
{
    static_cast<JackMidiReader*>(arg)->m_xruns.fetch_add(1);
    return 0;
}

int JackMidiReader::process(uint32_t nframes, void* arg)
{
    auto* self = static_cast<JackMidiReader*>(arg);
    const jack_nframes_t start = jack_last_frame_time(self->m_client);
    const int64_t cycleNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
    const size_t gaps = self->m_gapCount.load(std::memory_order_relaxed);
    if (self->m_started && start != self->m_nextCycle && gaps < self->m_gaps.size()) {
        self->m_gaps[gaps] = {start, int32_t(start - self->m_nextCycle)};
        self->m_gapCount.store(gaps + 1, std::memory_order_release);
    }
    self->m_started = true;
    const size_t cycles = self->m_cycleCount.load(std::memory_order_relaxed);
    if (cycles < self->m_cycles.size()) {
        self->m_cycles[cycles] = {start, cycleNs};
        self->m_cycleCount.store(cycles + 1, std::memory_order_release);
    }
    self->m_nextCycle = start + nframes;
    void* buffer = jack_port_get_buffer(self->m_input, nframes);
    size_t n = self->m_count.load(std::memory_order_relaxed);
    const uint32_t count = jack_midi_get_event_count(buffer);
    for (uint32_t i = 0; i < count && n < self->m_messages.size(); ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0 || event.size > 3)
            continue;
        Message& m = self->m_messages[n++];
        m.frame = start + event.time;
        m.deliveredNs = cycleNs + int64_t(event.time) * 1000000000 / self->m_rate;
        m.size = uint8_t(event.size);
        std::memcpy(m.bytes, event.buffer, event.size);
    }
    self->m_count.store(n, std::memory_order_release);
    return 0;
}
