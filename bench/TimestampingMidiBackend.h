// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiBackend.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

// A MIDI service held in memory that stamps every message handed to one of
// its outputs with the steady clock at the moment of the hand-over. The
// records go into a store allocated up front, so sending stays free of
// allocation and locks (MidiHandler lets only one flush send at a time).
// Recording is off until arm(); read the records after disarm().
class TimestampingMidiBackend : public MidiBackend
{
public:
    struct Record
    {
        int64_t ns = 0; // std::chrono::steady_clock, nanoseconds
        uint8_t size = 0;
        uint8_t bytes[3] = {0, 0, 0};
    };

    explicit TimestampingMidiBackend(size_t capacity);

    // Forgets earlier records and starts recording.
    void arm();
    void disarm();
    // Records kept since arm(), and messages that found the store full.
    size_t count() const;
    uint64_t overflow() const;
    const Record& at(size_t i) const;

    QVector<PortInfo> availableInputs() override { return {}; }
    QVector<PortInfo> availableOutputs() override { return {}; }
    std::unique_ptr<Input> openInput(const QString&, juce::MidiInputCallback*) override
    {
        return nullptr;
    }
    std::unique_ptr<Output> openOutput(const QString&) override { return nullptr; }
    std::unique_ptr<Output> createVirtualOutput(const QString& name, QString& reason) override;

    struct Store
    {
        explicit Store(size_t n) : capacity(n), records(new Record[n]) {}
        const size_t capacity;
        std::unique_ptr<Record[]> records;
        std::atomic<bool> armed{false};
        std::atomic<size_t> next{0};
        std::atomic<size_t> written{0};
        std::atomic<uint64_t> overflow{0};
    };

private:
    std::shared_ptr<Store> m_store;
};
