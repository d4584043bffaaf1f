// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MidiHandler.h"

#include <chrono>

#include "midi/MidiSettings.h"

#include <QLoggingCategory>
#include <QMetaType>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {
Q_LOGGING_CATEGORY(lcMidi, "kinetra.midi")

QVector<MidiBackend::PortInfo> withoutNames(QVector<MidiBackend::PortInfo> ports,
                                            const QString& first, const QString& second)
{
    ports.erase(std::remove_if(ports.begin(), ports.end(),
                               [&](const MidiBackend::PortInfo& port) {
                                   return port.name == first || port.name == second;
                               }),
                ports.end());
    return ports;
}

// Monotonic and allocation-free (safe on the audio thread).
int64_t steadyNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

MidiHandler::MidiHandler(std::shared_ptr<MidiBackend> backend, const MidiSettings* settings,
                         QObject* parent)
    : QObject(parent), m_backend(std::move(backend)), m_settings(settings),
      m_clock([] { return juce::Time::getMillisecondCounterHiRes(); })
{
    qRegisterMetaType<uint8_t>("uint8_t");
    m_staged = std::make_unique<PendingEntry[]>(kPendingCapacity);
    m_blockBeganNs.store(steadyNanoseconds(), std::memory_order_relaxed);
    m_openOutputs.reserve(16);

    const QString virtualName = QString::fromLatin1(kVirtualPortName);
    if (m_backend != nullptr) {
        // A loopback driver may already provide the port; the last match wins.
        for (const auto& output : m_backend->availableOutputs()) {
            if (output.name != virtualName)
                continue;
            if (auto port = m_backend->openOutput(output.identifier))
                m_virtualPort = std::move(port);
        }
        if (m_virtualPort == nullptr) {
            QString reason;
            m_virtualPort = m_backend->createVirtualOutput(virtualName, reason);
            if (m_virtualPort == nullptr)
                qCWarning(lcMidi).noquote()
                    << QStringLiteral("MIDI port \"%1\" could not be opened: %2; other programs "
                                      "will not receive Kinetra's MIDI")
                           .arg(virtualName,
                                reason.isEmpty() ? QStringLiteral("unknown reason") : reason);
        }
    } else {
        qCWarning(lcMidi) << "no MIDI service; MIDI is disabled";
    }

    m_pilotTimer.setInterval(kPilotIntervalMs);
    connect(&m_pilotTimer, &QTimer::timeout, this, &MidiHandler::devicePilot);
    m_pilotTimer.start();
}

MidiHandler::~MidiHandler()
{
    m_pilotTimer.stop();
    // Inputs first, so that no callback runs into a half-destroyed object.
    for (auto& input : m_openInputs)
        input.port->stop();
    m_openInputs.clear();

    std::vector<OpenOutput> outputs;
    std::unique_ptr<MidiBackend::Output> virtualPort;
    {
        std::lock_guard<std::mutex> lock(m_portsMutex);
        outputs.swap(m_openOutputs);
        virtualPort.swap(m_virtualPort);
    }
}

// ---------------------------------------------------------------------------
// Outgoing messages

int64_t MidiHandler::nowSamples() const
{
    // The sequence lock's reader: the three values with acquire loads (a
    // value from a write that is under way makes the second look at the
    // sequence see it moved), retried until the sequence stood still and
    // even around them.
    int64_t start = 0;
    int length = 0;
    int64_t beganNs = 0;
    for (;;) {
        const uint32_t before = m_clockSequence.load(std::memory_order_acquire);
        start = m_blockStart.load(std::memory_order_acquire);
        length = m_blockLength.load(std::memory_order_acquire);
        beganNs = m_blockBeganNs.load(std::memory_order_acquire);
        if ((before & 1u) == 0 && m_clockSequence.load(std::memory_order_relaxed) == before)
            break;
    }
    const int rate = (m_settings && m_settings->getAudioSampleRate() > 0)
                         ? m_settings->getAudioSampleRate()
                         : 44100;
    const int64_t elapsedNs = std::max<int64_t>(0, steadyNanoseconds() - beganNs);
    // One block after the one that runs: what the next block will send. A
    // late block does not stretch the current one beyond its last sample, so
    // "now" never runs ahead of the clock by a block or more, and a message
    // queued while a block is late still falls inside the next block (at
    // its last sample) rather than waiting for the one after.
    const int64_t elapsed =
        std::min<int64_t>(elapsedNs * rate / 1000000000, std::max(length - 1, 0));
    int64_t now = start + length + elapsed;
    // A block that begins late restarts the count from its own first sample,
    // which can be earlier than what the late block's end was worth: keep
    // "now" from going back, or two messages queued one after the other (the
    // halves of a 14-bit pair) would be sorted the wrong way round.
    int64_t latest = m_latestNow.load(std::memory_order_relaxed);
    while (latest < now &&
           !m_latestNow.compare_exchange_weak(latest, now, std::memory_order_relaxed)) {
    }
    return std::max(now, latest);
}

void MidiHandler::beginBlock(int numSamples)
{
    const int64_t start = m_frames;
    m_frames += std::max(numSamples, 0);
    // A timed sink with a clock of its own (JACK) ties the block to it.
    {
        std::unique_lock<std::mutex> ports(m_portsMutex, std::try_to_lock);
        if (ports.owns_lock() && m_timedSink != nullptr) {
            m_timedSink->beginBlock(std::max(numSamples, 0));
            m_sinkBlockStart = start;
        }
    }
    // The sequence lock's writer: odd while the three change; each value is
    // a release store, so a reader that sees it also sees the odd mark.
    const uint32_t sequence = m_clockSequence.load(std::memory_order_relaxed);
    m_clockSequence.store(sequence + 1, std::memory_order_relaxed);
    m_blockStart.store(start, std::memory_order_release);
    m_blockLength.store(std::max(numSamples, 0), std::memory_order_release);
    m_blockBeganNs.store(steadyNanoseconds(), std::memory_order_release);
    m_clockSequence.store(sequence + 2, std::memory_order_release);
}

bool MidiHandler::push(const juce::MidiMessage& message, int64_t due)
{
    const int size = message.getRawDataSize();
    if (size <= 0 || size > kMaxQueuedMessageBytes) {
        m_droppedMessages.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    PendingEntry entry;
    entry.due = due;
    entry.size = size;
    std::memcpy(entry.bytes, message.getRawData(), static_cast<size_t>(size));
    if (!m_queue.push(entry)) {
        m_droppedMessages.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    return true;
}

void MidiHandler::queueMessage(const juce::MidiMessage& message, int samplePosition)
{
    push(message, nowSamples() + samplePosition);
}

void MidiHandler::queueMessageAt(const juce::MidiMessage& message, int64_t dueSample)
{
    push(message, dueSample);
}

void MidiHandler::queueInBlock(const juce::MidiMessage& message, int offset)
{
    push(message, m_blockStart.load(std::memory_order_relaxed) + offset);
}

void MidiHandler::sendNow(const juce::MidiMessage& message)
{
    std::lock_guard<std::mutex> lock(m_portsMutex);
    // The timed port takes messages from the consumer only: with it, the
    // message leaves with the next block, to every port.
    if (m_timedSink != nullptr && push(message, nowSamples()))
        return;
    sendToAllPorts(message);
}

void MidiHandler::setTimedSink(TimedMidiSink* sink, const QString& description)
{
    {
        std::lock_guard<std::mutex> lock(m_portsMutex);
        m_timedSink = sink;
    }
    m_timedSinkDescription = sink != nullptr ? description : QString();
    Q_EMIT midiPathChanged();
}

QString MidiHandler::getMidiPath() const
{
    if (!m_timedSinkDescription.isEmpty())
        return m_timedSinkDescription;
    if (m_virtualPort != nullptr)
        return QStringLiteral("ALSA sequencer port \"%1\" (messages leave once per audio block)")
            .arg(QString::fromLatin1(kVirtualPortName));
    return QStringLiteral("none: \"%1\" could not be made")
        .arg(QString::fromLatin1(kVirtualPortName));
}

void MidiHandler::sendToAllPorts(const juce::MidiMessage& message)
{
    if (SentMidiLog* log = m_sentLog.load(std::memory_order_acquire))
        log->record(message.getRawData(), message.getRawDataSize());
    if (m_virtualPort != nullptr)
        m_virtualPort->send(message);
    for (auto& output : m_openOutputs)
        output.port->send(message);
}

void MidiHandler::flushBuffer()
{
    drainPending(std::numeric_limits<int64_t>::max());
}

void MidiHandler::endBlock()
{
    drainPending(m_blockStart.load(std::memory_order_relaxed) +
                 m_blockLength.load(std::memory_order_relaxed));
}

void MidiHandler::stageQueued() const
{
    PendingEntry entry;
    while (m_stagedCount < kPendingCapacity && m_queue.pop(entry))
        m_staged[m_stagedCount++] = entry;
    m_queue.publishConsumed();
    m_stagedShared.store(m_stagedCount, std::memory_order_relaxed);
}

void MidiHandler::drainPending(int64_t until)
{
    // Only one drain at a time, and never while the GUI thread swaps ports.
    // Whoever loses leaves the messages queued for the next flush.
    std::unique_lock<std::mutex> ports(m_portsMutex, std::try_to_lock);
    if (!ports.owns_lock())
        return;
    stageQueued();
    const int staged = m_stagedCount;
    if (staged == 0)
        return;
    PendingEntry* entries = m_staged.get();
    sortByDue(entries, staged);
    // The ones due from `until` on wait for their block.
    int count = staged;
    while (count > 0 && entries[count - 1].due >= until)
        --count;
    if (SentMidiLog* log = m_sentLog.load(std::memory_order_acquire)) {
        for (int i = 0; i < count; ++i)
            log->record(entries[i].bytes, entries[i].size);
    }

    if (m_timedSink != nullptr) {
        // Each on its sample: the distance of its due sample from this
        // block's first one (the sink places earlier ones at the block's
        // start, none beyond its end).
        const int64_t start = m_blockStart.load(std::memory_order_relaxed);
        const int length = m_blockLength.load(std::memory_order_relaxed);
        if (m_sinkBlockStart != start) {
            // beginBlock found the lock taken: tie the block to the sink now.
            m_timedSink->beginBlock(length);
            m_sinkBlockStart = start;
        }
        constexpr int64_t kFar = int64_t(1) << 30;
        for (int i = 0; i < count; ++i) {
            const int offset = int(std::clamp<int64_t>(entries[i].due - start, -kFar, kFar));
            m_timedSink->send(entries[i].bytes, entries[i].size, offset, length);
        }
    }
    if (m_virtualPort != nullptr) {
        // Short messages live inside juce::MidiMessage itself: no allocation.
        for (int i = 0; i < count; ++i)
            m_virtualPort->send(juce::MidiMessage(entries[i].bytes, entries[i].size));
    }
    for (auto& output : m_openOutputs) {
        for (int i = 0; i < count; ++i)
            output.port->send(juce::MidiMessage(entries[i].bytes, entries[i].size));
    }
    // Those held keep their order at the front (no allocation: a move
    // inside the staging area).
    std::memmove(entries, entries + count, size_t(staged - count) * sizeof(PendingEntry));
    m_stagedCount = staged - count;
    m_stagedShared.store(m_stagedCount, std::memory_order_relaxed);
}

void MidiHandler::sortByDue(PendingEntry* entries, int count)
{
    // Stable insertion sort: the entries are nearly always in order already
    // (producers stamp them as they queue), and it needs no scratch memory.
    for (int i = 1; i < count; ++i) {
        if (entries[i - 1].due <= entries[i].due)
            continue;
        const PendingEntry moving = entries[i];
        int j = i;
        while (j > 0 && entries[j - 1].due > moving.due) {
            entries[j] = entries[j - 1];
            --j;
        }
        entries[j] = moving;
    }
}

std::vector<juce::MidiMessage> MidiHandler::pendingMessages() const
{
    std::vector<PendingEntry> copy;
    {
        std::lock_guard<std::mutex> lock(m_portsMutex);
        stageQueued();
        copy.assign(m_staged.get(), m_staged.get() + m_stagedCount);
    }
    sortByDue(copy.data(), static_cast<int>(copy.size()));
    const int64_t start = m_blockStart.load(std::memory_order_relaxed);
    std::vector<juce::MidiMessage> messages;
    messages.reserve(copy.size());
    for (const auto& entry : copy)
        messages.emplace_back(entry.bytes, entry.size, static_cast<double>(entry.due - start));
    return messages;
}

int MidiHandler::pendingCount() const
{
    return m_stagedShared.load(std::memory_order_relaxed) + static_cast<int>(m_queue.sizeApprox());
}

void MidiHandler::reportDroppedMessages()
{
    const uint64_t dropped = m_droppedMessages.load(std::memory_order_relaxed);
    if (dropped == m_reportedDrops)
        return;
    qCWarning(lcMidi) << "dropped" << (dropped - m_reportedDrops)
                      << "outgoing MIDI messages (pending buffer full or message too long)";
    m_reportedDrops = dropped;
}

// ---------------------------------------------------------------------------
// Device lists

QVector<MidiHandler::PortInfo> MidiHandler::withoutOwnInputs(QVector<PortInfo> inputs)
{
    return withoutNames(std::move(inputs), QString::fromLatin1(kLoopbackOutName),
                        QString::fromLatin1(kVirtualPortName));
}

QVector<MidiHandler::PortInfo> MidiHandler::withoutOwnOutputs(QVector<PortInfo> outputs)
{
    return withoutNames(std::move(outputs), QString::fromLatin1(kLoopbackInName),
                        QString::fromLatin1(kVirtualPortName));
}

void MidiHandler::devicePilot()
{
    reportDroppedMessages();
    if (m_backend == nullptr)
        return;

    QVector<PortInfo> inputs = withoutOwnInputs(m_backend->availableInputs());
    QVector<PortInfo> outputs = withoutOwnOutputs(m_backend->availableOutputs());
    const bool inputsChanged = inputs.size() != m_listedInputs.size();
    const bool outputsChanged = outputs.size() != m_listedOutputs.size();
    m_listedInputs = std::move(inputs);
    m_listedOutputs = std::move(outputs);

    if (inputsChanged) {
        rebuildInputs();
        Q_EMIT numOfMidiInputChanged();
    }
    if (outputsChanged) {
        rebuildOutputs();
        Q_EMIT numOfMidiOutputChanged();
    }
}

std::unique_ptr<MidiBackend::Input> MidiHandler::startInput(const QString& identifier)
{
    auto port = m_backend->openInput(identifier, this);
    if (port == nullptr) {
        qCDebug(lcMidi) << "cannot open MIDI input" << identifier;
        return nullptr;
    }
    port->start();
    return port;
}

void MidiHandler::rebuildInputs()
{
    for (auto& input : m_openInputs)
        input.port->stop();
    m_openInputs.clear();
    for (const auto& listed : m_listedInputs) {
        if (m_ignoredInputs.contains(listed.identifier))
            continue;
        if (auto port = startInput(listed.identifier))
            m_openInputs.push_back({listed, std::move(port)});
    }
}

void MidiHandler::rebuildOutputs()
{
    std::vector<OpenOutput> opened;
    for (const auto& listed : m_listedOutputs) {
        if (m_ignoredOutputs.contains(listed.identifier))
            continue;
        if (auto port = m_backend->openOutput(listed.identifier))
            opened.push_back({listed, std::move(port)});
        else
            qCDebug(lcMidi) << "cannot open MIDI output" << listed.identifier;
    }
    {
        std::lock_guard<std::mutex> lock(m_portsMutex);
        m_openOutputs.swap(opened);
    }
    // `opened` now holds the old outputs; they close here, outside the lock.
}

void MidiHandler::openMidiInput(int index)
{
    if (m_backend == nullptr || index < 0 || index >= m_listedInputs.size())
        return;
    const PortInfo listed = m_listedInputs.at(index);
    // Opening a device twice would deliver every message twice.
    if (!isInputOpen(index)) {
        auto port = startInput(listed.identifier);
        if (port == nullptr)
            return;
        m_openInputs.push_back({listed, std::move(port)});
    }
    m_ignoredInputs.removeAll(listed.identifier);
}

void MidiHandler::openMidiOutput(int index)
{
    if (m_backend == nullptr || index < 0 || index >= m_listedOutputs.size())
        return;
    const PortInfo listed = m_listedOutputs.at(index);
    // Opening a device twice would send every message twice.
    if (!isOutputOpen(index)) {
        auto port = m_backend->openOutput(listed.identifier);
        if (port == nullptr) {
            qCDebug(lcMidi) << "cannot open MIDI output" << listed.identifier;
            return;
        }
        std::lock_guard<std::mutex> lock(m_portsMutex);
        m_openOutputs.push_back({listed, std::move(port)});
    }
    m_ignoredOutputs.removeAll(listed.identifier);
}

void MidiHandler::closeMidiInput(int index)
{
    if (index < 0 || index >= m_listedInputs.size())
        return;
    const QString identifier = m_listedInputs.at(index).identifier;
    if (!isInputOpen(index))
        return;
    if (!m_ignoredInputs.contains(identifier))
        m_ignoredInputs.append(identifier);
    closeInputsIn({identifier});
}

void MidiHandler::closeMidiOutput(int index)
{
    if (index < 0 || index >= m_listedOutputs.size())
        return;
    const QString identifier = m_listedOutputs.at(index).identifier;
    if (!isOutputOpen(index))
        return;
    if (!m_ignoredOutputs.contains(identifier))
        m_ignoredOutputs.append(identifier);
    closeOutputsIn({identifier});
}

void MidiHandler::closeInputsIn(const QStringList& identifiers)
{
    std::vector<OpenInput> closing;
    for (auto it = m_openInputs.begin(); it != m_openInputs.end();) {
        if (identifiers.contains(it->info.identifier)) {
            it->port->stop();
            closing.push_back(std::move(*it));
            it = m_openInputs.erase(it);
        } else {
            ++it;
        }
    }
}

void MidiHandler::closeOutputsIn(const QStringList& identifiers)
{
    std::vector<OpenOutput> closing;
    {
        std::lock_guard<std::mutex> lock(m_portsMutex);
        for (auto it = m_openOutputs.begin(); it != m_openOutputs.end();) {
            if (identifiers.contains(it->info.identifier)) {
                closing.push_back(std::move(*it));
                it = m_openOutputs.erase(it);
            } else {
                ++it;
            }
        }
    }
    // The closed devices are released here, outside the lock.
}

bool MidiHandler::isInputOpen(int index) const
{
    if (index < 0 || index >= m_listedInputs.size())
        return false;
    const QString& identifier = m_listedInputs.at(index).identifier;
    return std::any_of(m_openInputs.begin(), m_openInputs.end(),
                       [&](const OpenInput& input) { return input.info.identifier == identifier; });
}

bool MidiHandler::isOutputOpen(int index) const
{
    if (index < 0 || index >= m_listedOutputs.size())
        return false;
    const QString& identifier = m_listedOutputs.at(index).identifier;
    return std::any_of(m_openOutputs.begin(), m_openOutputs.end(), [&](const OpenOutput& output) {
        return output.info.identifier == identifier;
    });
}

QString MidiHandler::getInputName(int index) const
{
    if (index < 0 || index >= m_listedInputs.size())
        return {};
    return m_listedInputs.at(index).name;
}

QString MidiHandler::getOutputName(int index) const
{
    if (index < 0 || index >= m_listedOutputs.size())
        return {};
    return m_listedOutputs.at(index).name;
}

void MidiHandler::setIgnoredInputs(const QStringList& identifiers)
{
    if (!identifiers.isEmpty())
        closeInputsIn(identifiers);
    m_ignoredInputs = identifiers;
}

void MidiHandler::setIgnoredOutputs(const QStringList& identifiers)
{
    if (!identifiers.isEmpty())
        closeOutputsIn(identifiers);
    m_ignoredOutputs = identifiers;
}

// ---------------------------------------------------------------------------
// Incoming messages

void MidiHandler::setMillisecondClock(MillisecondClock clock)
{
    std::lock_guard<std::mutex> lock(m_clockMutex);
    m_clock = std::move(clock);
}

void MidiHandler::handleIncomingMidiMessage(juce::MidiInput* /*source*/,
                                            const juce::MidiMessage& message)
{
    if (m_settings != nullptr && m_settings->getSyncingToClockState()) {
        if (message.isMidiClock()) {
            std::optional<int> tempo;
            {
                std::lock_guard<std::mutex> lock(m_clockMutex);
                tempo = m_clockEstimator.clock(m_clock ? m_clock() : 0.0);
            }
            if (tempo)
                Q_EMIT tempoEstimated(*tempo);
        }
        if (message.isMidiStop()) {
            {
                std::lock_guard<std::mutex> lock(m_clockMutex);
                m_clockEstimator.reset();
            }
            Q_EMIT clockStopReceived();
        }
        if (message.isMidiStart()) {
            Q_EMIT clockStartReceived();
        }
    }

    const auto channel = static_cast<uint8_t>(message.getChannel());
    if (message.isProgramChange()) {
        Q_EMIT programChangeEventReceived(channel,
                                          static_cast<uint8_t>(message.getProgramChangeNumber()));
    } else if (message.isController()) {
        Q_EMIT ccEventReceived(channel, static_cast<uint8_t>(message.getControllerNumber()),
                               static_cast<uint8_t>(message.getControllerValue()));
    } else if (message.isNoteOnOrOff()) {
        Q_EMIT noteEventReceived(channel, static_cast<uint8_t>(message.getNoteNumber()),
                                 static_cast<float>(message.getVelocity()) / 127.0f);
    }
}
