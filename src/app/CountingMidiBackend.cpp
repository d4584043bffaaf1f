// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CountingMidiBackend.h"

namespace {

class CountedOutput : public MidiBackend::Output
{
public:
    CountedOutput(std::unique_ptr<MidiBackend::Output> inner, MidiBackend::PortInfo info,
                  std::shared_ptr<std::atomic<uint64_t>> count)
        : m_inner(std::move(inner)), m_info(std::move(info)), m_count(std::move(count))
    {
    }

    MidiBackend::PortInfo info() const override { return m_inner ? m_inner->info() : m_info; }

    void send(const juce::MidiMessage& message) override
    {
        m_count->fetch_add(1, std::memory_order_relaxed);
        if (m_inner)
            m_inner->send(message);
    }

private:
    std::unique_ptr<MidiBackend::Output> m_inner;
    MidiBackend::PortInfo m_info;
    std::shared_ptr<std::atomic<uint64_t>> m_count;
};

} // namespace

CountingMidiBackend::CountingMidiBackend(std::shared_ptr<MidiBackend> inner)
    : m_inner(std::move(inner)), m_count(std::make_shared<std::atomic<uint64_t>>(0))
{
}

std::unique_ptr<MidiBackend::Output> CountingMidiBackend::counted(std::unique_ptr<Output> output,
                                                                  PortInfo info)
{
    return std::make_unique<CountedOutput>(std::move(output), std::move(info), m_count);
}

QVector<MidiBackend::PortInfo> CountingMidiBackend::availableInputs()
{
    return m_inner ? m_inner->availableInputs() : QVector<PortInfo>();
}

QVector<MidiBackend::PortInfo> CountingMidiBackend::availableOutputs()
{
    return m_inner ? m_inner->availableOutputs() : QVector<PortInfo>();
}

std::unique_ptr<MidiBackend::Input>
CountingMidiBackend::openInput(const QString& identifier, juce::MidiInputCallback* callback)
{
    return m_inner ? m_inner->openInput(identifier, callback) : nullptr;
}

std::unique_ptr<MidiBackend::Output> CountingMidiBackend::openOutput(const QString& identifier)
{
    if (!m_inner)
        return nullptr;
    auto output = m_inner->openOutput(identifier);
    if (!output)
        return nullptr;
    PortInfo info = output->info();
    return counted(std::move(output), std::move(info));
}

std::unique_ptr<MidiBackend::Output> CountingMidiBackend::createVirtualOutput(const QString& name,
                                                                              QString& reason)
{
    if (!m_inner)
        return counted(nullptr, PortInfo{name, name});
    auto output = m_inner->createVirtualOutput(name, reason);
    if (!output)
        return nullptr;
    PortInfo info = output->info();
    return counted(std::move(output), std::move(info));
}
