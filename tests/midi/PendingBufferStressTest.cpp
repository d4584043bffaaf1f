// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StateManager.h"
#include "midi/InMemoryMidiBackend.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Producer p sends controller messages on channel p + 1 numbering its
// messages 0..n-1 in the controller and value bytes (14 bits).
juce::MidiMessage numbered(int producer, int sequence)
{
    return juce::MidiMessage::controllerEvent(producer + 1, (sequence >> 7) & 0x7F,
                                              sequence & 0x7F);
}

void checkEveryMessageOnceInOrder(const std::vector<juce::MidiMessage>& received, int producers,
                                  int perProducer)
{
    std::vector<int> next(static_cast<size_t>(producers), 0);
    for (const auto& message : received) {
        ASSERT_TRUE(message.isController());
        const int producer = message.getChannel() - 1;
        ASSERT_GE(producer, 0);
        ASSERT_LT(producer, producers);
        const int sequence = (message.getControllerNumber() << 7) | message.getControllerValue();
        ASSERT_EQ(sequence, next[static_cast<size_t>(producer)]) << "producer " << producer;
        ++next[static_cast<size_t>(producer)];
    }
    for (int p = 0; p < producers; ++p)
        EXPECT_EQ(next[static_cast<size_t>(p)], perProducer) << "producer " << p;
}

class PendingBufferStressTest : public ::testing::TestWithParam<int>
{
};

// Three producers (GUI, audio and MIDI input threads in the application)
// queue while consumers flush like audio callbacks; with two consumers the
// second one plays the GUI thread's flushes.
TEST_P(PendingBufferStressTest, EveryMessageArrivesOnceAndInProducerOrder)
{
    const int consumers = GetParam();
    constexpr int kProducers = 3;
    constexpr int kPerProducer = 12000;

    auto backend = std::make_shared<InMemoryMidiBackend>();
    MidiHandler handler(backend);

    std::atomic<int> running{kProducers};
    std::vector<std::thread> threads;
    for (int p = 0; p < kProducers; ++p) {
        threads.emplace_back([&handler, &running, p] {
            for (int i = 0; i < kPerProducer; ++i) {
                // Keep clear of the capacity: this test is about ordering
                // and loss under contention, not about a full buffer.
                while (handler.pendingCount() > MidiHandler::kPendingCapacity / 2)
                    std::this_thread::yield();
                handler.queueMessage(numbered(p, i));
            }
            running.fetch_sub(1);
        });
    }
    for (int c = 0; c < consumers; ++c) {
        threads.emplace_back([&handler, &running] {
            while (running.load() > 0) {
                handler.flushBuffer();
                std::this_thread::yield();
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    handler.flushBuffer();

    EXPECT_EQ(handler.droppedMessageCount(), 0u);
    EXPECT_EQ(handler.pendingCount(), 0);
    const auto received = backend->messagesSentTo(QStringLiteral("KinetraMIDIPort"));
    ASSERT_EQ(received.size(), static_cast<size_t>(kProducers * kPerProducer));
    checkEveryMessageOnceInOrder(received, kProducers, kPerProducer);
}

INSTANTIATE_TEST_SUITE_P(Consumers, PendingBufferStressTest, ::testing::Values(1, 2));

TEST(PendingBufferOrdering, PositionsOrderAcrossProducersWithinOneFlush)
{
    auto backend = std::make_shared<InMemoryMidiBackend>();
    MidiHandler handler(backend);
    // "Now" moves on with the wall clock between the two producers: keep the
    // due samples a second apart, far beyond any scheduling delay.
    std::thread late([&] { handler.queueMessage(juce::MidiMessage::midiClock(), 44100); });
    late.join();
    std::thread early([&] { handler.queueMessage(juce::MidiMessage::midiStart(), 0); });
    early.join();
    handler.flushBuffer();
    const auto received = backend->messagesSentTo(QStringLiteral("KinetraMIDIPort"));
    ASSERT_EQ(received.size(), 2u);
    EXPECT_TRUE(received[0].isMidiStart());
    EXPECT_TRUE(received[1].isMidiClock());
}

// A block that begins late must not send a message queued after another one
// ahead of it: the halves of a 14-bit pair would arrive LSB first.
TEST(PendingBufferOrdering, ALateBlockKeepsTheOrderOfQueueing)
{
    auto backend = std::make_shared<InMemoryMidiBackend>();
    MidiHandler handler(backend);
    handler.beginBlock(64);
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // ~880 samples late
    handler.queueMessage(juce::MidiMessage::controllerEvent(1, 1, 5));
    handler.beginBlock(64);
    handler.queueMessage(juce::MidiMessage::controllerEvent(1, 33, 7));
    handler.flushBuffer();
    const auto received = backend->messagesSentTo(QStringLiteral("KinetraMIDIPort"));
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].getControllerNumber(), 1);
    EXPECT_EQ(received[1].getControllerNumber(), 33);
}

// The audio thread runs blocks while the GUI and MIDI input threads start,
// stop and reset the transport and change the tempo: the counters and flags
// are shared (ThreadSanitizer checks the sharing), every block still ends in a
// flush and a stop always reaches the port.
TEST(TransportSharing, AudioBlocksRaceWithPlayControls)
{
    auto backend = std::make_shared<InMemoryMidiBackend>();
    StateManager state;
    MidiHandler handler(backend, &state);
    Transport transport(state, &handler);

    std::atomic<bool> done{false};
    std::thread audio([&] {
        for (int block = 0; block < 20000; ++block)
            transport.advanceBlock(64);
        done.store(true);
    });
    std::thread gui([&] {
        for (int i = 0; !done.load(); ++i) {
            transport.startPlay();
            state.setTempo(60 + i % 200);
            if (i % 3 == 0)
                transport.reset();
            (void)transport.isPlaying();
            std::this_thread::yield();
        }
    });
    std::thread midiInput([&] {
        while (!done.load()) {
            transport.stopPlay();
            std::this_thread::yield();
        }
    });
    audio.join();
    gui.join();
    midiInput.join();

    state.setSendingClockState(false);
    transport.stopPlay();
    transport.advanceBlock(64);
    EXPECT_FALSE(transport.isPlaying());
    const auto sent = backend->messagesSentTo(QStringLiteral("KinetraMIDIPort"));
    ASSERT_FALSE(sent.empty());
    EXPECT_TRUE(sent.back().isMidiStop());
}

} // namespace
