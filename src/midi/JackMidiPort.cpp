// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/JackMidiPort.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cstring>

namespace {

void quiet(const char*) {}

} // namespace

JackMidiPort::JackMidiPort() = default;

JackMidiPort::~JackMidiPort()
{
    close();
}

void JackMidiPort::silenceLibraryMessages()
{
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
}

bool JackMidiPort::open(QString& reason)
{
    if (m_client != nullptr)
        return true;
    jack_status_t status{};
    jack_client_t* client = jack_client_open(kClientName, JackNoStartServer, &status);
    if (client == nullptr) {
        reason =
            QStringLiteral("no JACK server is running (status 0x%1)").arg(unsigned(status), 0, 16);
        return false;
    }
    m_output = jack_port_register(client, kOutputName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    m_input = jack_port_register(client, kInputName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    // The process thread reads the client and the ports: they are all set
    // before activation starts that thread.
    m_client = client;
    if (m_output == nullptr || m_input == nullptr ||
        jack_set_process_callback(client, &JackMidiPort::processCallback, this) != 0 ||
        jack_activate(client) != 0) {
        reason = QStringLiteral("the JACK MIDI ports could not be registered");
        jack_client_close(client);
        m_client = nullptr;
        m_output = m_input = nullptr;
        return false;
    }
    return true;
}

void JackMidiPort::close()
{
    if (m_client == nullptr)
        return;
    // Deactivating waits for the process callback to end.
    jack_deactivate(m_client);
    jack_client_close(m_client);
    m_client = nullptr;
    m_output = m_input = nullptr;
}

QString JackMidiPort::outputPortName() const
{
    if (m_output == nullptr)
        return {};
    return QString::fromUtf8(jack_port_name(m_output));
}

void JackMidiPort::send(const uint8_t* bytes, int size, int offset, int blockLength)
{
    jack_client_t* client = m_client;
    if (client == nullptr || size <= 0 || size > 3) {
        m_dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    Event event;
    // This cycle's first frame, plus one period: the next cycle, at the
    // message's offset in this block.
    event.frame = jack_last_frame_time(client) + uint32_t(std::max(blockLength, 0)) +
                  uint32_t(std::max(offset, 0));
    event.size = uint8_t(size);
    std::memcpy(event.bytes, bytes, size_t(size));
    if (!m_out.push(event))
        m_dropped.fetch_add(1, std::memory_order_relaxed);
}

int JackMidiPort::processCallback(uint32_t nframes, void* self)
{
    return static_cast<JackMidiPort*>(self)->process(nframes);
}

int JackMidiPort::process(uint32_t nframes)
{
    const jack_nframes_t cycleStart = jack_last_frame_time(m_client);
    void* out = jack_port_get_buffer(m_output, nframes);
    jack_midi_clear_buffer(out);
    uint32_t lastOffset = 0;
    for (;;) {
        if (!m_pendingValid) {
            if (!m_out.pop(m_pending))
                break;
            m_pendingValid = true;
        }
        // Frame times wrap at 2^32: compare as a signed distance.
        const int32_t distance = int32_t(m_pending.frame - cycleStart);
        if (distance >= int32_t(nframes))
            break; // a later cycle's
        // A message already due (a late block) goes out first thing.
        const uint32_t at = std::max(lastOffset, uint32_t(std::max(distance, 0)));
        if (jack_midi_event_write(out, at, m_pending.bytes, m_pending.size) != 0)
            m_dropped.fetch_add(1, std::memory_order_relaxed);
        lastOffset = at;
        m_pendingValid = false;
    }

    void* in = jack_port_get_buffer(m_input, nframes);
    const uint32_t count = jack_midi_get_event_count(in);
    for (uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t incoming;
        if (jack_midi_event_get(&incoming, in, i) != 0 || incoming.size == 0 || incoming.size > 3)
            continue;
        Event event;
        event.frame = cycleStart + incoming.time;
        event.size = uint8_t(incoming.size);
        std::memcpy(event.bytes, incoming.buffer, incoming.size);
        if (!m_in.push(event))
            m_dropped.fetch_add(1, std::memory_order_relaxed);
    }
    // An eventfd write (a system call; no lock, no allocation), only for
    // cycles that brought input: the GUI thread sleeps otherwise.
    if (count > 0)
        m_inputWake.notify();
    return 0;
}

void JackMidiPort::drainInput(const std::function<void(const uint8_t*, int)>& handler)
{
    m_inputWake.acknowledge();
    Event event;
    while (m_in.pop(event))
        handler(event.bytes, event.size);
}
