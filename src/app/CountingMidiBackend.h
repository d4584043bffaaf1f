// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiBackend.h"

#include <atomic>
#include <cstdint>
#include <memory>

// A MIDI service that counts every message handed to one of its outputs and
// passes it on to the service it wraps. Without a service to wrap it stands
// for none at all: it lists no devices, and its virtual port takes messages
// and drops them (a check of a set-up on a machine with no MIDI service).
//
// Threads: an output may send from any one thread at a time (the audio
// callback among them); the count is one atomic, added to relaxed, with no
// allocation and no lock. Outputs share the count and stay valid after the
// backend is gone.
class CountingMidiBackend : public MidiBackend
{
public:
    explicit CountingMidiBackend(std::shared_ptr<MidiBackend> inner = nullptr);

    // Messages handed to any output so far (a message sent to two ports
    // counts twice).
    uint64_t messagesSent() const { return m_count->load(std::memory_order_relaxed); }

    QVector<PortInfo> availableInputs() override;
    QVector<PortInfo> availableOutputs() override;
    std::unique_ptr<Input> openInput(const QString& identifier,
                                     juce::MidiInputCallback* callback) override;
    std::unique_ptr<Output> openOutput(const QString& identifier) override;
    std::unique_ptr<Output> createVirtualOutput(const QString& name, QString& reason) override;

private:
    std::unique_ptr<Output> counted(std::unique_ptr<Output> output, PortInfo info);

    std::shared_ptr<MidiBackend> m_inner;
    std::shared_ptr<std::atomic<uint64_t>> m_count;
};
