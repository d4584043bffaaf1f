#include "app/AppContext.h"
#include "app/StateManager.h"
#include "midi/MidiBackend.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"

#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// A MIDI service whose ports only count what they are sent.
class CountingBackend : public MidiBackend
{
public:
    std::atomic<long> sent{0};

    class CountingOutput : public Output
    {
    public:
        CountingOutput(CountingBackend& owner, PortInfo info) : m_owner(owner), m_info(info) {}
        PortInfo info() const override { return m_info; }
        void send(const juce::MidiMessage&) override { m_owner.sent.fetch_add(1); }

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

TEST(RealtimeSafetyTest, AudioBlocksQueueTickAndFlushWithoutAllocating)
{
    auto backend = std::make_shared<CountingBackend>();
    MidiHandler midi(backend);
    ASSERT_TRUE(QMetaObject::invokeMethod(&midi, "devicePilot", Qt::DirectConnection));
    StateManager state;
    Transport transport;
    AppContext::setStateManager(&state);
    AppContext::setMidiHandler(&midi);
    AppContext::setTransport(&transport);
    state.setSendingClockState(true);
    transport.startPlay();

    long allocations = -1;
    std::thread audio([&] {
        AllocationCounter::start();
        for (int block = 0; block < 2000; ++block) {
            midi.queueMessage(juce::MidiMessage::controllerEvent(1, 7, block & 0x7F));
            midi.queueMessage(juce::MidiMessage::pitchWheel(2, block & 0x3FFF), 17);
            transport.advanceBlock(256);
        }
        allocations = AllocationCounter::stop();
    });
    audio.join();
    AppContext::clear();

    EXPECT_EQ(allocations, 0);
    EXPECT_TRUE(transport.isPlaying());
    EXPECT_EQ(midi.pendingCount(), 0);
    // Two messages per block and a clock per tick, each to three ports.
    EXPECT_GT(backend->sent.load(), 3 * 2 * 2000);
}

} // namespace
