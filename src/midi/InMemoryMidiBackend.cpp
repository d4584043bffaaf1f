// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/InMemoryMidiBackend.h"

#include <algorithm>
#include <mutex>

struct InMemoryMidiBackend::State
{
    struct OpenInput
    {
        const void* handle;
        QString identifier;
        juce::MidiInputCallback* callback;
        bool started;
    };
    struct OpenOutput
    {
        const void* handle;
        QString identifier;
    };

    mutable std::mutex mutex;
    // Serialises injected messages with input stop/close, so that a callback
    // never runs after its input is stopped or destroyed.
    std::recursive_mutex deliveryMutex;
    QVector<PortInfo> inputs;
    QVector<PortInfo> outputs;
    QStringList unopenable;
    bool virtualSupported = true;
    std::vector<Delivery> sent;
    std::vector<OpenInput> openInputs;
    std::vector<OpenOutput> openOutputs;
};

namespace {

using State = InMemoryMidiBackend::State;

class MemoryOutput : public MidiBackend::Output
{
public:
    MemoryOutput(std::shared_ptr<State> state, MidiBackend::PortInfo info)
        : m_state(std::move(state)), m_info(std::move(info))
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->openOutputs.push_back({this, m_info.identifier});
    }
    ~MemoryOutput() override
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        auto& open = m_state->openOutputs;
        open.erase(std::remove_if(open.begin(), open.end(),
                                  [this](const State::OpenOutput& o) { return o.handle == this; }),
                   open.end());
    }
    MidiBackend::PortInfo info() const override { return m_info; }
    void send(const juce::MidiMessage& message) override
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->sent.push_back({m_info.name, message});
    }

private:
    std::shared_ptr<State> m_state;
    MidiBackend::PortInfo m_info;
};

class MemoryInput : public MidiBackend::Input
{
public:
    MemoryInput(std::shared_ptr<State> state, MidiBackend::PortInfo info,
                juce::MidiInputCallback* callback)
        : m_state(std::move(state)), m_info(std::move(info))
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->openInputs.push_back({this, m_info.identifier, callback, false});
    }
    ~MemoryInput() override
    {
        std::lock_guard<std::recursive_mutex> delivery(m_state->deliveryMutex);
        std::lock_guard<std::mutex> lock(m_state->mutex);
        auto& open = m_state->openInputs;
        open.erase(std::remove_if(open.begin(), open.end(),
                                  [this](const State::OpenInput& i) { return i.handle == this; }),
                   open.end());
    }
    MidiBackend::PortInfo info() const override { return m_info; }
    void start() override { setStarted(true); }
    void stop() override { setStarted(false); }

private:
    void setStarted(bool started)
    {
        std::lock_guard<std::recursive_mutex> delivery(m_state->deliveryMutex);
        std::lock_guard<std::mutex> lock(m_state->mutex);
        for (auto& input : m_state->openInputs) {
            if (input.handle == this)
                input.started = started;
        }
    }

    std::shared_ptr<State> m_state;
    MidiBackend::PortInfo m_info;
};

const MidiBackend::PortInfo* findPort(const QVector<MidiBackend::PortInfo>& ports,
                                      const QString& identifier)
{
    for (const auto& port : ports) {
        if (port.identifier == identifier)
            return &port;
    }
    return nullptr;
}

} // namespace

InMemoryMidiBackend::InMemoryMidiBackend() : m_state(std::make_shared<State>()) {}

InMemoryMidiBackend::~InMemoryMidiBackend() = default;

void InMemoryMidiBackend::setInputs(const QVector<PortInfo>& inputs)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->inputs = inputs;
}

void InMemoryMidiBackend::setOutputs(const QVector<PortInfo>& outputs)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->outputs = outputs;
}

void InMemoryMidiBackend::setUnopenable(const QStringList& identifiers)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->unopenable = identifiers;
}

void InMemoryMidiBackend::setVirtualPortsSupported(bool supported)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->virtualSupported = supported;
}

std::vector<juce::MidiMessage> InMemoryMidiBackend::messagesSentTo(const QString& portName) const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    std::vector<juce::MidiMessage> result;
    for (const auto& delivery : m_state->sent) {
        if (delivery.port == portName)
            result.push_back(delivery.message);
    }
    return result;
}

QByteArray InMemoryMidiBackend::bytesSentTo(const QString& portName) const
{
    QByteArray bytes;
    for (const auto& message : messagesSentTo(portName))
        bytes.append(reinterpret_cast<const char*>(message.getRawData()), message.getRawDataSize());
    return bytes;
}

std::vector<InMemoryMidiBackend::Delivery> InMemoryMidiBackend::deliveries() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->sent;
}

void InMemoryMidiBackend::clearCaptured()
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->sent.clear();
}

QStringList InMemoryMidiBackend::openInputs() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    QStringList ids;
    for (const auto& input : m_state->openInputs)
        ids << input.identifier;
    return ids;
}

QStringList InMemoryMidiBackend::startedInputs() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    QStringList ids;
    for (const auto& input : m_state->openInputs) {
        if (input.started)
            ids << input.identifier;
    }
    return ids;
}

QStringList InMemoryMidiBackend::openOutputs() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    QStringList ids;
    for (const auto& output : m_state->openOutputs)
        ids << output.identifier;
    return ids;
}

bool InMemoryMidiBackend::injectIncoming(const QString& identifier,
                                         const juce::MidiMessage& message)
{
    std::lock_guard<std::recursive_mutex> delivery(m_state->deliveryMutex);
    juce::MidiInputCallback* callback = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        for (const auto& input : m_state->openInputs) {
            if (input.identifier == identifier && input.started) {
                callback = input.callback;
                break;
            }
        }
    }
    if (callback == nullptr)
        return false;
    callback->handleIncomingMidiMessage(nullptr, message);
    return true;
}

QVector<MidiBackend::PortInfo> InMemoryMidiBackend::availableInputs()
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->inputs;
}

QVector<MidiBackend::PortInfo> InMemoryMidiBackend::availableOutputs()
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->outputs;
}

std::unique_ptr<MidiBackend::Input>
InMemoryMidiBackend::openInput(const QString& identifier, juce::MidiInputCallback* callback)
{
    PortInfo info;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        const PortInfo* port = findPort(m_state->inputs, identifier);
        if (identifier.isEmpty() || port == nullptr || m_state->unopenable.contains(identifier))
            return nullptr;
        info = *port;
    }
    return std::make_unique<MemoryInput>(m_state, info, callback);
}

std::unique_ptr<MidiBackend::Output> InMemoryMidiBackend::openOutput(const QString& identifier)
{
    PortInfo info;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        const PortInfo* port = findPort(m_state->outputs, identifier);
        if (identifier.isEmpty() || port == nullptr || m_state->unopenable.contains(identifier))
            return nullptr;
        info = *port;
    }
    return std::make_unique<MemoryOutput>(m_state, info);
}

std::unique_ptr<MidiBackend::Output> InMemoryMidiBackend::createVirtualOutput(const QString& name,
                                                                              QString& reason)
{
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        if (!m_state->virtualSupported) {
            reason = QStringLiteral("virtual ports are not supported");
            return nullptr;
        }
    }
    return std::make_unique<MemoryOutput>(m_state,
                                          PortInfo{name, QStringLiteral("virtual:") + name});
}
