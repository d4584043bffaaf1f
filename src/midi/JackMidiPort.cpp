// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/JackMidiPort.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
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
    // Carries no sound: its connection only orders this client after the
    // audio client in each cycle (orderAfter).
    m_syncIn =
        jack_port_register(client, kSyncInputName, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    // The process thread reads the client and the ports: they are all set
    // before activation starts that thread.
    m_client = client;
    m_map.reset();
    m_haveBlock = false;
    m_syncLinks.store(0, std::memory_order_release);
    if (m_output == nullptr || m_input == nullptr || m_syncIn == nullptr ||
        jack_set_process_callback(client, &JackMidiPort::processCallback, this) != 0 ||
        jack_set_port_connect_callback(client, &JackMidiPort::portConnectCallback, this) != 0 ||
        jack_activate(client) != 0) {
        reason = QStringLiteral("the JACK MIDI ports could not be registered");
        jack_client_close(client);
        m_client = nullptr;
        m_output = m_input = m_syncIn = nullptr;
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
    m_output = m_input = m_syncIn = nullptr;
    m_syncLinks.store(0, std::memory_order_release);
}

QString JackMidiPort::outputPortName() const
{
    if (m_output == nullptr)
        return {};
    return QString::fromUtf8(jack_port_name(m_output));
}

bool JackMidiPort::orderAfter(const QString& clientName, QString& reason)
{
    if (m_client == nullptr) {
        reason = QStringLiteral("the port is not open");
        return false;
    }
    if (jack_port_connected(m_syncIn) > 0)
        return true;
    const QByteArray pattern =
        (QLatin1Char('^') + QRegularExpression::escape(clientName) + QLatin1Char(':')).toUtf8();
    const char** ports =
        jack_get_ports(m_client, pattern.constData(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
    if (ports == nullptr || ports[0] == nullptr) {
        reason = QStringLiteral("the JACK client \"%1\" has no audio output").arg(clientName);
        jack_free(ports);
        return false;
    }
    const int result = jack_connect(m_client, ports[0], jack_port_name(m_syncIn));
    if (result != 0 && result != EEXIST)
        reason = QStringLiteral("connecting \"%1\" was refused (%2)")
                     .arg(QString::fromUtf8(ports[0]))
                     .arg(result);
    jack_free(ports);
    // The server's notification of the new connection (portConnectCallback)
    // is what the audio callback goes by; until it comes blocks keep the
    // extra period.
    return jack_port_connected(m_syncIn) > 0;
}

void JackMidiPort::portConnectCallback(uint32_t a, uint32_t b, int connect, void* self)
{
    auto* port = static_cast<JackMidiPort*>(self);
    jack_client_t* client = port->m_client;
    if (client == nullptr || port->m_syncIn == nullptr)
        return;
    if (jack_port_by_id(client, a) != port->m_syncIn &&
        jack_port_by_id(client, b) != port->m_syncIn)
        return;
    // Counted from the notifications, one per connection made or broken:
    // while one is broken the port may still count it.
    port->m_syncLinks.fetch_add(connect != 0 ? 1 : -1, std::memory_order_acq_rel);
}

void JackMidiPort::beginBlock(int blockLength)
{
    jack_client_t* client = m_client;
    if (client == nullptr)
        return;
    // The cycle the server is in now. The block's "now" stays the moment
    // the callback began, not the cycle's time by the server's estimate
    // (jack_get_cycle_times): on the dummy driver that estimate wanders
    // by up to ±2 ms around when cycles run, and taking it put 43 % of the
    // wheels' messages past the end of the block that sent them.
    const uint32_t frame = jack_last_frame_time(client);
    m_blocks.fetch_add(1, std::memory_order_relaxed);
    const BlockFrameMap::Block block = m_map.begin(frame, blockLength);
    switch (block.kind) {
    case BlockFrameMap::Kind::SameCycle:
        m_blocksInOneCycle.fetch_add(1, std::memory_order_relaxed);
        break;
    case BlockFrameMap::Kind::AheadOfServer:
    case BlockFrameMap::Kind::BehindServer:
        m_blockJumps.fetch_add(1, std::memory_order_relaxed);
        m_blockJumpFrames.fetch_add(block.skipped, std::memory_order_relaxed);
        break;
    default:
        break;
    }
    m_haveBlock = true;
    m_blockFrame = block.frame;
    // Ordered after the audio client, the port's process callback of this
    // cycle runs once this callback is done, and takes this block's
    // messages in this cycle. If it has already run this cycle (this block
    // is driven from elsewhere: the clock timer, or a catching-up run), or
    // nothing orders it, they go into the next cycle. The acquire loads
    // pair with the release stores of the process and notification threads.
    const bool inThisCycle = m_syncLinks.load(std::memory_order_acquire) > 0 &&
                             m_processCycle.load(std::memory_order_acquire) != frame;
    m_blockDelay = inThisCycle ? 0 : uint32_t(std::max(blockLength, 1));
    if (inThisCycle)
        m_blocksInTheirCycle.fetch_add(1, std::memory_order_relaxed);
}

void JackMidiPort::send(const uint8_t* bytes, int size, int offset, int blockLength)
{
    jack_client_t* client = m_client;
    if (client == nullptr || size <= 0 || size > 3) {
        m_dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    const int length = std::max(blockLength, 1);
    if (offset < 0) {
        m_dueBeforeBlock.fetch_add(1, std::memory_order_relaxed);
        offset = 0;
    } else if (offset >= length) {
        m_dueAfterBlock.fetch_add(1, std::memory_order_relaxed);
        offset = length - 1;
    }
    if (!m_haveBlock)
        beginBlock(blockLength);
    Event event;
    // The block's frame at the message's offset, in this cycle or (see
    // beginBlock) one period later.
    event.frame = m_blockFrame + m_blockDelay + uint32_t(offset);
    event.size = uint8_t(size);
    std::memcpy(event.bytes, bytes, size_t(size));
    if (!m_out.push(event))
        m_dropped.fetch_add(1, std::memory_order_relaxed);
}

JackMidiPort::Counters JackMidiPort::counters() const
{
    Counters c;
    c.blocks = m_blocks.load(std::memory_order_relaxed);
    c.blocksInOneCycle = m_blocksInOneCycle.load(std::memory_order_relaxed);
    c.blockJumps = m_blockJumps.load(std::memory_order_relaxed);
    c.blockJumpFrames = m_blockJumpFrames.load(std::memory_order_relaxed);
    c.dueBeforeBlock = m_dueBeforeBlock.load(std::memory_order_relaxed);
    c.dueAfterBlock = m_dueAfterBlock.load(std::memory_order_relaxed);
    c.blocksInTheirCycle = m_blocksInTheirCycle.load(std::memory_order_relaxed);
    c.cycles = m_cycles.load(std::memory_order_relaxed);
    c.missedCycleGaps = m_missedCycleGaps.load(std::memory_order_relaxed);
    c.missedFrames = m_missedFrames.load(std::memory_order_relaxed);
    c.writtenLate = m_writtenLate.load(std::memory_order_relaxed);
    c.lateFramesMax = m_lateFramesMax.load(std::memory_order_relaxed);
    c.lateFramesSum = m_lateFramesSum.load(std::memory_order_relaxed);
    c.bunched = m_bunched.load(std::memory_order_relaxed);
    return c;
}

int JackMidiPort::processCallback(uint32_t nframes, void* self)
{
    return static_cast<JackMidiPort*>(self)->process(nframes);
}

int JackMidiPort::process(uint32_t nframes)
{
    const jack_nframes_t cycleStart = jack_last_frame_time(m_client);
    // Before the ring is read: a block that sees this has to leave its
    // messages to the next cycle.
    m_processCycle.store(cycleStart, std::memory_order_release);
    m_cycles.fetch_add(1, std::memory_order_relaxed);
    if (m_processStarted && cycleStart != m_nextCycle) {
        m_missedCycleGaps.fetch_add(1, std::memory_order_relaxed);
        m_missedFrames.fetch_add(int32_t(cycleStart - m_nextCycle), std::memory_order_relaxed);
    }
    m_processStarted = true;
    m_nextCycle = cycleStart + nframes;
    void* out = jack_port_get_buffer(m_output, nframes);
    jack_midi_clear_buffer(out);
    uint32_t lastOffset = 0;
    bool wroteAny = false;
    uint32_t lastDue = 0;
    for (;;) {
        if (!m_pendingValid) {
            if (!m_out.pop(m_pending))
                break;
            m_pendingValid = true;
        }
        // Frame times wrap at 2^32: compare as a signed distance. A message
        // whose frame has passed goes out as soon as it can, keeping at
        // least half its spacing from the late one before it.
        const uint32_t target = m_spacing.place(m_pending.frame, cycleStart);
        const int32_t distance = int32_t(target - cycleStart);
        if (distance >= int32_t(nframes))
            break; // a later cycle's
        const uint32_t at = std::max(lastOffset, uint32_t(distance));
        const int64_t late = int64_t(int32_t(cycleStart + at - m_pending.frame));
        if (late > 0) {
            m_writtenLate.fetch_add(1, std::memory_order_relaxed);
            m_lateFramesSum.fetch_add(uint64_t(late), std::memory_order_relaxed);
            if (uint64_t(late) > m_lateFramesMax.load(std::memory_order_relaxed))
                m_lateFramesMax.store(uint64_t(late), std::memory_order_relaxed);
        }
        if (wroteAny && at == lastOffset && m_pending.frame != lastDue)
            m_bunched.fetch_add(1, std::memory_order_relaxed);
        if (jack_midi_event_write(out, at, m_pending.bytes, m_pending.size) != 0)
            m_dropped.fetch_add(1, std::memory_order_relaxed);
        m_spacing.written(m_pending.frame, cycleStart + at);
        lastOffset = at;
        lastDue = m_pending.frame;
        wroteAny = true;
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
