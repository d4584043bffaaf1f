// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiTestSupport.h"

#include "app/StateManager.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"
#include "support/SignalWait.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <thread>

using miditest::hex;

namespace {

const QString kVirtual = QStringLiteral("KinetraMIDIPort");

class TransportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        state.setAudioSampleRate(44100);
        state.setTempo(120);
    }

    std::string sent() const { return hex(backend->messagesSentTo(kVirtual)); }
    // One block, then the ticks' signals as the GUI thread passes them on.
    void advance(int numSamples)
    {
        transport.advanceBlock(numSamples);
        transport.deliverTicks();
    }

    StateManager state;
    std::shared_ptr<InMemoryMidiBackend> backend = std::make_shared<InMemoryMidiBackend>();
    std::unique_ptr<MidiHandler> midi = std::make_unique<MidiHandler>(backend, &state);
    Transport transport{state, midi.get()};
};

TEST(TransportTickLength, KeepsTheFractionAndStandsStillWithoutATempo)
{
    EXPECT_DOUBLE_EQ(Transport::samplesPerTick(44100, 120), 918.75);
    EXPECT_DOUBLE_EQ(Transport::samplesPerTick(48000, 120), 1000.0);
    EXPECT_DOUBLE_EQ(Transport::samplesPerTick(44100, 0), 0.0);
    EXPECT_DOUBLE_EQ(Transport::samplesPerTick(44100, -5), 0.0);
    EXPECT_DOUBLE_EQ(Transport::samplesPerTick(0, 120), 0.0);
    // Above the highest tempo the clock runs at the highest tempo.
    EXPECT_DOUBLE_EQ(Transport::samplesPerTick(44100, std::numeric_limits<int>::max()), 110.25);
}

TEST_F(TransportTest, TicksFallInTheBlocksThatCrossATickBoundary)
{
    state.setSendingClockState(false);
    QSignalSpy ticked(&transport, &Transport::ticked);
    QSignalSpy quarter(&transport, &Transport::quaterNoteTick);

    std::vector<std::pair<int, uint64_t>> ticks; // block number, tick index
    int quarterBlock = 0;
    for (int block = 1; block <= 9; ++block) {
        const int before = ticked.count();
        const int quartersBefore = quarter.count();
        advance(512);
        if (ticked.count() > before)
            ticks.emplace_back(block, ticked.last().at(0).value<uint64_t>());
        if (quarter.count() > quartersBefore)
            quarterBlock = block;
    }
    EXPECT_DOUBLE_EQ(transport.currentSamplesPerTick(), 918.75);
    // Ticks on samples 0, 918, 1837, 2756, 3675 and 4593.
    const std::vector<std::pair<int, uint64_t>> expected = {{1, 0}, {2, 1}, {4, 2},
                                                            {6, 3}, {8, 4}, {9, 5}};
    EXPECT_EQ(ticks, expected);
    EXPECT_EQ(quarter.count(), 1);
    EXPECT_EQ(quarterBlock, 1);
}

TEST_F(TransportTest, QuarterNoteTickEveryTwentyFourTicks)
{
    state.setSendingClockState(false);
    QSignalSpy ticked(&transport, &Transport::ticked);
    QSignalSpy quarter(&transport, &Transport::quaterNoteTick);
    // 918-sample blocks: exactly one tick per block, none skipped.
    for (int block = 0; block < 60; ++block)
        advance(918);
    ASSERT_EQ(ticked.count(), 60);
    for (int i = 0; i < 60; ++i)
        EXPECT_EQ(ticked.at(i).at(0).value<uint64_t>(), static_cast<uint64_t>(i));
    EXPECT_EQ(quarter.count(), 3); // ticks 0, 24, 48
}

TEST_F(TransportTest, LongBlocksCarryEveryTickAtItsOwnOffset)
{
    state.setSendingClockState(true);
    QSignalSpy ticked(&transport, &Transport::ticked);
    midi->queueMessage(juce::MidiMessage::controllerEvent(1, 1, 1), 500);
    advance(1024); // ticks on samples 0 and 918, the controller between them
    EXPECT_EQ(sent(), "F8 | B0 01 01 | F8");
    for (int block = 1; block < 10; ++block)
        advance(1024);
    std::vector<uint64_t> indices;
    for (const auto& args : ticked)
        indices.push_back(args.at(0).value<uint64_t>());
    // 10240 samples hold the ticks on 0, 918.75, ... 10106.25: all twelve.
    EXPECT_EQ(indices, (std::vector<uint64_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(backend->messagesSentTo(kVirtual).size(), 13u);
}

TEST_F(TransportTest, ClockIsQueuedPerTickAndFlushedWithTheBlock)
{
    state.setSendingClockState(true);
    midi->queueMessage(juce::MidiMessage::controllerEvent(1, 1, 1));
    // Before any block, "now" is the first block's first sample: the
    // controller and tick 0 are both due there, in the order they came.
    advance(512);
    EXPECT_EQ(sent(), "B0 01 01 | F8");
    midi->queueMessage(juce::MidiMessage::controllerEvent(1, 2, 2), 600);
    advance(512); // tick 1 on sample 918; the controller, due from 1112 on, waits
    EXPECT_EQ(sent(), "B0 01 01 | F8 | F8");
    EXPECT_EQ(midi->pendingCount(), 1);
    advance(1024); // the controller (due by 1623), then tick 2 on sample 1837
    EXPECT_EQ(sent(), "B0 01 01 | F8 | F8 | B0 02 02 | F8");
    EXPECT_TRUE(midi->pendingMessages().empty());
    EXPECT_FALSE(transport.isPlaying()); // clock flows without play
}

TEST_F(TransportTest, StartWaitsForClockSendingThenRestartsTheCount)
{
    state.setSendingClockState(false);
    QSignalSpy playing(&transport, &Transport::playingStateChanged);
    QSignalSpy ticked(&transport, &Transport::ticked);
    transport.startPlay();
    for (int block = 0; block < 10; ++block)
        advance(512);
    EXPECT_EQ(playing.count(), 0);
    EXPECT_FALSE(transport.isPlaying());
    EXPECT_TRUE(transport.isStartRequested());
    EXPECT_EQ(sent(), "");
    EXPECT_EQ(transport.samplePosition(), 5120u);

    state.setSendingClockState(true);
    const int ticksBefore = ticked.count();
    while (ticked.count() == ticksBefore)
        advance(512);
    ASSERT_EQ(playing.count(), 1);
    EXPECT_TRUE(playing.at(0).at(0).toBool());
    EXPECT_TRUE(transport.isPlaying());
    EXPECT_TRUE(transport.property("isPlaying").toBool());
    EXPECT_FALSE(transport.isStartRequested());
    EXPECT_EQ(sent(), "FA | F8");
    // The tick that started play is tick 0 of the new count.
    EXPECT_EQ(ticked.last().at(0).value<uint64_t>(), 0u);
    EXPECT_EQ(transport.currentTick(), 0u);

    const int startTicks = ticked.count();
    while (ticked.count() == startTicks)
        advance(512);
    ASSERT_EQ(ticked.last().at(0).value<uint64_t>(), 1u);
    EXPECT_EQ(sent(), "FA | F8 | F8");
}

TEST_F(TransportTest, StopSendsAStopEvenWhileStopped)
{
    state.setSendingClockState(false);
    QSignalSpy playing(&transport, &Transport::playingStateChanged);
    transport.stopPlay();
    ASSERT_EQ(playing.count(), 1);
    EXPECT_FALSE(playing.at(0).at(0).toBool());
    EXPECT_EQ(hex(midi->pendingMessages()), "FC");
    advance(64);
    EXPECT_EQ(sent(), "FC");
}

TEST_F(TransportTest, StopLeavesCountAndStartRequestAlone)
{
    state.setSendingClockState(false);
    advance(512);
    transport.startPlay();
    transport.stopPlay();
    EXPECT_EQ(transport.samplePosition(), 512u);
    EXPECT_TRUE(transport.isStartRequested());
}

TEST_F(TransportTest, ResetRestartsTheCountWithoutMidi)
{
    state.setSendingClockState(true);
    transport.startPlay();
    for (int block = 0; block < 20; ++block)
        advance(512);
    ASSERT_TRUE(transport.isPlaying());
    backend->clearCaptured();
    QSignalSpy ticked(&transport, &Transport::ticked);

    transport.reset();
    EXPECT_EQ(transport.samplePosition(), 0u);
    EXPECT_EQ(transport.currentTick(), 0u);
    EXPECT_TRUE(transport.isPlaying());
    EXPECT_TRUE(midi->pendingMessages().empty());
    advance(512);
    advance(512);
    ASSERT_EQ(ticked.count(), 2); // on samples 0 and 918 of the new count
    EXPECT_EQ(ticked.at(0).at(0).value<uint64_t>(), 0u);
    EXPECT_EQ(ticked.at(1).at(0).value<uint64_t>(), 1u);
    EXPECT_EQ(sent(), "F8 | F8"); // clock only: no start, no stop
}

TEST_F(TransportTest, AfterStopTickingNothingTicksOrFlushes)
{
    QSignalSpy ticked(&transport, &Transport::ticked);
    transport.stopTicking();
    EXPECT_FALSE(transport.isActive());
    midi->queueMessage(juce::MidiMessage::controllerEvent(1, 1, 1));
    for (int block = 0; block < 10; ++block)
        advance(1024);
    EXPECT_EQ(ticked.count(), 0);
    EXPECT_EQ(transport.samplePosition(), 0u);
    EXPECT_EQ(sent(), "");
    EXPECT_EQ(midi->pendingCount(), 1);
}

TEST_F(TransportTest, ExtremeTemposKeepTheClockDefined)
{
    state.setSendingClockState(false);
    QSignalSpy ticked(&transport, &Transport::ticked);
    state.setTempo(0);
    for (int block = 0; block < 100; ++block)
        advance(512);
    EXPECT_EQ(ticked.count(), 0); // a stopped clock does not tick
    state.setTempo(std::numeric_limits<int>::max());
    advance(512);
    EXPECT_DOUBLE_EQ(transport.currentSamplesPerTick(), 110.25);
    // It starts again at once: samples 0, 110, 220, 330 and 441.
    EXPECT_EQ(ticked.count(), 5);
    state.setAudioSampleRate(0);
    state.setTempo(120);
    advance(512);
    EXPECT_EQ(ticked.count(), 5);
}

// Nothing polls the ring: the driving thread wakes the GUI thread. Every
// tick of a burst of blocks from another thread (with pauses of all lengths
// between them, so that wake-ups meet drains in every order) reaches the GUI
// thread, the last one too, and so does a change of driver.
TEST(TransportWakeUp, TicksAndTheDriverReachTheGuiThreadFromAnotherThread)
{
    StateManager state;
    state.setAudioSampleRate(44100);
    state.setTempo(300);
    Transport transport(state);
    QSignalSpy ticked(&transport, &Transport::ticked);
    QSignalSpy driver(&transport, &Transport::clockDriverChanged);

    std::thread audio([&] {
        for (int i = 0; i < 3000; ++i) {
            transport.advanceBlock(64);
            if (i % 3 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(i % 200));
        }
    });
    // Drained while the blocks come, not only afterwards.
    EXPECT_TRUE(testsupport::waitUntil([&] { return ticked.count() >= 10; }));
    audio.join();
    const uint64_t last = transport.currentTick();
    ASSERT_GT(last, 300u);
    ASSERT_EQ(transport.lostTickSignals(), 0u);
    EXPECT_TRUE(testsupport::waitUntil([&] {
        return !ticked.isEmpty() && ticked.last().at(0).toULongLong() == last;
    })) << ticked.count()
        << " ticks of " << last + 1;
    EXPECT_EQ(uint64_t(ticked.count()), last + 1);
    EXPECT_TRUE(driver.isEmpty());

    // The audio falls silent and the timer takes over: announced without a
    // tick to carry it.
    std::this_thread::sleep_for(std::chrono::milliseconds(Transport::kAudioSilenceMs + 5));
    std::thread timer([&] { EXPECT_TRUE(transport.advanceFromTimer(1)); });
    timer.join();
    EXPECT_TRUE(testsupport::waitUntil([&] { return driver.count() == 1; }));
    EXPECT_TRUE(transport.isClockFromTimer());
}

// With no receiver of every tick, the GUI thread is woken only for what it
// shows: the start and each quarter note (the clock lamp).
TEST(TransportWakeUp, TheStartAndQuarterNotesArriveWithoutATickReceiver)
{
    StateManager state;
    state.setAudioSampleRate(44100);
    state.setTempo(300);
    state.setSendingClockState(true);
    Transport transport(state);
    QSignalSpy quarter(&transport, &Transport::quaterNoteTick);
    QSignalSpy playing(&transport, &Transport::playingStateChanged);
    transport.startPlay();

    std::atomic<bool> stop{false};
    std::thread audio([&] {
        while (!stop.load()) {
            transport.advanceBlock(64);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    const bool started = testsupport::waitUntil([&] { return playing.count() == 1; });
    const bool quarters = testsupport::waitUntil([&] { return quarter.count() >= 4; });
    stop.store(true);
    audio.join();
    EXPECT_TRUE(started);
    EXPECT_TRUE(quarters) << quarter.count() << " quarter notes by tick "
                          << transport.currentTick();
}

TEST(TransportAlone, RunsWithoutMidi)
{
    const StateManager state; // its initial values: 44100 Hz, 120 bpm
    Transport transport(state);
    QSignalSpy ticked(&transport, &Transport::ticked);
    transport.startPlay();
    transport.advanceBlock(1024);
    transport.deliverTicks();
    transport.stopPlay();
    transport.reset();
    EXPECT_EQ(ticked.count(), 2);
    EXPECT_FALSE(transport.isPlaying());
}

} // namespace
