// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MidiHandler.h"

#include <chrono>

#include "midi/MidiSettings.h"

#include <QLoggingCategory>
#include <QMetaType>

#include <algorithm>
#include <cstring>

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
qint64 steadyMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
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
    m_store[0] = std::make_unique<PendingEntry[]>(kPendingCapacity);
    m_store[1] = std::make_unique<PendingEntry[]>(kPendingCapacity);
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

    m_lastFlushUs = steadyMicroseconds();
    m_fallbackFlushTimer.setInterval(kFallbackFlushIntervalMs);
    m_fallbackFlushTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_fallbackFlushTimer, &QTimer::timeout, this, [this] {
        if (steadyMicroseconds() - m_lastFlushUs.load(std::memory_order_relaxed) >
            qint64(kAudioSilenceMs) * 1000)
            drainPending();
    });
}

void MidiHandler::setFallbackFlushEnabled(bool enabled)
{
    m_fallbackEnabled.store(enabled, std::memory_order_relaxed);
    if (enabled)
        m_fallbackFlushTimer.start();
    else
        m_fallbackFlushTimer.stop();
}

MidiHandler::~MidiHandler()
{
    m_pilotTimer.stop();
    m_fallbackFlushTimer.stop();
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

void MidiHandler::queueMessage(const juce::MidiMessage& message, int samplePosition)
{
    const int size = message.getRawDataSize();
    if (size <= 0 || size > kMaxQueuedMessageBytes) {
        m_droppedMessages.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    PendingEntry entry;
    entry.position = samplePosition;
    entry.size = size;
    std::memcpy(entry.bytes, message.getRawData(), static_cast<size_t>(size));

    std::lock_guard<std::mutex> lock(m_pendingMutex);
    int& count = m_count[m_fillIndex];
    if (count >= kPendingCapacity) {
        m_droppedMessages.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    m_store[m_fillIndex][count++] = entry;
}

void MidiHandler::sendNow(const juce::MidiMessage& message)
{
    std::lock_guard<std::mutex> lock(m_portsMutex);
    sendToAllPorts(message);
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
    m_lastFlushUs.store(steadyMicroseconds(), std::memory_order_relaxed);
    drainPending();
}

qint64 MidiHandler::lateFlushThresholdUs() const
{
    int bufferSize = 64;
    int sampleRate = 44100;
    if (m_settings) {
        bufferSize = m_settings->getAudioBufferSize();
        sampleRate = m_settings->getAudioSampleRate();
    }
    if (bufferSize <= 0 || sampleRate <= 0)
        return qint64(kAudioSilenceMs) * 1000;
    return qint64(bufferSize) * 1000000 / sampleRate + qint64(kLateFlushMarginUs);
}

bool MidiHandler::flushIfAudioLate()
{
    if (!m_fallbackEnabled.load(std::memory_order_relaxed))
        return false;
    const qint64 since = steadyMicroseconds() - m_lastFlushUs.load(std::memory_order_relaxed);
    if (since <= lateFlushThresholdUs())
        return false;
    drainPending();
    return true;
}

void MidiHandler::drainPending()
{
    // Only one drain at a time, and never while the GUI thread swaps ports.
    // Whoever loses leaves the messages queued for the next flush.
    std::unique_lock<std::mutex> ports(m_portsMutex, std::try_to_lock);
    if (!ports.owns_lock())
        return;

    int drainIndex = 0;
    int count = 0;
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        count = m_count[m_fillIndex];
        if (count == 0)
            return;
        drainIndex = m_fillIndex;
        m_count[drainIndex] = 0;
        m_fillIndex = 1 - m_fillIndex;
    }

    PendingEntry* entries = m_store[drainIndex].get();
    sortByPosition(entries, count);
    if (SentMidiLog* log = m_sentLog.load(std::memory_order_acquire)) {
        for (int i = 0; i < count; ++i)
            log->record(entries[i].bytes, entries[i].size);
    }

    // Short messages live inside juce::MidiMessage itself: no allocation.
    if (m_virtualPort != nullptr) {
        for (int i = 0; i < count; ++i)
            m_virtualPort->send(juce::MidiMessage(entries[i].bytes, entries[i].size));
    }
    for (auto& output : m_openOutputs) {
        for (int i = 0; i < count; ++i)
            output.port->send(juce::MidiMessage(entries[i].bytes, entries[i].size));
    }
}

void MidiHandler::sortByPosition(PendingEntry* entries, int count)
{
    // Stable insertion sort: the entries are nearly always in order already
    // (everything at 0 but the clock), and it needs no scratch memory.
    for (int i = 1; i < count; ++i) {
        if (entries[i - 1].position <= entries[i].position)
            continue;
        const PendingEntry moving = entries[i];
        int j = i;
        while (j > 0 && entries[j - 1].position > moving.position) {
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
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        const PendingEntry* store = m_store[m_fillIndex].get();
        copy.assign(store, store + m_count[m_fillIndex]);
    }
    sortByPosition(copy.data(), static_cast<int>(copy.size()));
    std::vector<juce::MidiMessage> messages;
    messages.reserve(copy.size());
    for (const auto& entry : copy)
        messages.emplace_back(entry.bytes, entry.size, static_cast<double>(entry.position));
    return messages;
}

int MidiHandler::pendingCount() const
{
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    return m_count[m_fillIndex];
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
