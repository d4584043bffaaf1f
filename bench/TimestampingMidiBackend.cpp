// SPDX-License-Identifier: GPL-3.0-or-later
#include "TimestampingMidiBackend.h"

#include <algorithm>
#include <chrono>

namespace {

class StampingOutput : public MidiBackend::Output
{
public:
    StampingOutput(std::shared_ptr<TimestampingMidiBackend::Store> store,
                   MidiBackend::PortInfo info)
        : m_store(std::move(store)), m_info(std::move(info))
    {
    }
    MidiBackend::PortInfo info() const override { return m_info; }
    void send(const juce::MidiMessage& message) override
    {
        const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
        auto& store = *m_store;
        if (!store.armed.load(std::memory_order_acquire))
            return;
        const size_t i = store.next.fetch_add(1, std::memory_order_relaxed);
        if (i >= store.capacity) {
            store.overflow.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        TimestampingMidiBackend::Record& record = store.records[i];
        record.ns = now;
        const int size = std::min(message.getRawDataSize(), 3);
        record.size = uint8_t(size);
        std::copy_n(message.getRawData(), size, record.bytes);
        store.written.fetch_add(1, std::memory_order_release);
    }

private:
    std::shared_ptr<TimestampingMidiBackend::Store> m_store;
    MidiBackend::PortInfo m_info;
};

} // namespace

TimestampingMidiBackend::TimestampingMidiBackend(size_t capacity)
    : m_store(std::make_shared<Store>(capacity))
{
}

void TimestampingMidiBackend::arm()
{
    m_store->armed.store(false);
    m_store->next.store(0);
    m_store->written.store(0);
    m_store->overflow.store(0);
    m_store->armed.store(true, std::memory_order_release);
}

void TimestampingMidiBackend::disarm()
{
    m_store->armed.store(false, std::memory_order_release);
}

size_t TimestampingMidiBackend::count() const
{
    return std::min(m_store->written.load(std::memory_order_acquire), m_store->capacity);
}

uint64_t TimestampingMidiBackend::overflow() const
{
    return m_store->overflow.load();
}

const TimestampingMidiBackend::Record& TimestampingMidiBackend::at(size_t i) const
{
    return m_store->records[i];
}

std::unique_ptr<MidiBackend::Output>
TimestampingMidiBackend::createVirtualOutput(const QString& name, QString&)
{
    return std::make_unique<StampingOutput>(m_store,
                                            PortInfo{name, QStringLiteral("virtual:") + name});
}
