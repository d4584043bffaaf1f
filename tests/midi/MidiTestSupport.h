// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/InMemoryMidiBackend.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace miditest {

// "90 30 64" for one message; messages joined by " | ". Readable in
// assertion failures and easy to write expectations for.
inline std::string hex(const juce::MidiMessage& message)
{
    QStringList bytes;
    const juce::uint8* data = message.getRawData();
    for (int i = 0; i < message.getRawDataSize(); ++i)
        bytes << QStringLiteral("%1").arg(data[i], 2, 16, QLatin1Char('0')).toUpper();
    return bytes.join(QLatin1Char(' ')).toStdString();
}

inline std::string hex(const std::vector<juce::MidiMessage>& messages)
{
    std::string text;
    for (const auto& message : messages) {
        if (!text.empty())
            text += " | ";
        text += hex(message);
    }
    return text;
}

inline std::vector<std::string> ports(const std::vector<InMemoryMidiBackend::Delivery>& deliveries)
{
    std::vector<std::string> names;
    for (const auto& delivery : deliveries)
        names.push_back(delivery.port.toStdString());
    return names;
}

// A MIDI service whose ports only count what they are sent (without
// allocating, unlike the in-memory one, which keeps every message): for the
// real-time tests. Two outputs, "A" and "B", besides the virtual port.
class CountingBackend : public MidiBackend
{
public:
    std::atomic<long> sent{0};
    std::atomic<long> clocks{0};
    std::atomic<long> notesOn{0};

    class CountingOutput : public Output
    {
    public:
        CountingOutput(CountingBackend& owner, PortInfo info) : m_owner(owner), m_info(info) {}
        PortInfo info() const override { return m_info; }
        void send(const juce::MidiMessage& message) override
        {
            m_owner.sent.fetch_add(1);
            if (message.isMidiClock())
                m_owner.clocks.fetch_add(1);
            if (message.isNoteOn())
                m_owner.notesOn.fetch_add(1);
        }

    private:
        CountingBackend& m_owner;
        PortInfo m_info;
    };

    QVector<PortInfo> availableInputs() override { return {}; }
    QVector<PortInfo> availableOutputs() override
    {
        return {{QStringLiteral("A"), QStringLiteral("a")},
                {QStringLiteral("B"), QStringLiteral("b")}};
    }
    std::unique_ptr<Input> openInput(const QString&, juce::MidiInputCallback*) override
    {
        return nullptr;
    }
    std::unique_ptr<Output> openOutput(const QString& identifier) override
    {
        return std::make_unique<CountingOutput>(*this, PortInfo{identifier, identifier});
    }
    std::unique_ptr<Output> createVirtualOutput(const QString& name, QString&) override
    {
        return std::make_unique<CountingOutput>(*this, PortInfo{name, name});
    }
};

} // namespace miditest
