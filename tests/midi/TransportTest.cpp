// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiTestSupport.h"

#include "app/StateManager.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <limits>
#include <memory>

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

    StateManager state;
    std::shared_ptr<InMemoryMidiBackend> backend = std::make_shared<InMemoryMidiBackend>();
    std::unique_ptr<MidiHandler> midi = std::make_unique<MidiHandler>(backend, &state);
    Transport transport{state, midi.get()};
};

TEST(TransportTickLength, SamplesPerTickStaysAtLeastOne)
{
    EXPECT_EQ(Transport::samplesPerTick(44100, 120), 918);
    EXPECT_EQ(Transport::samplesPerTick(48000, 120), 1000);
    EXPECT_EQ(Transport::samplesPerTick(44100, 0), std::numeric_limits<int>::max());
    EXPECT_EQ(Transport::samplesPerTick(44100, -5), std::numeric_limits<int>::max());
    EXPECT_EQ(Transport::samplesPerTick(44100, 1000000), 1);
    EXPECT_EQ(Transport::samplesPerTick(0, 120), 1);
    EXPECT_EQ(Transport::samplesPerTick(44100, std::numeric_limits<int>::max()), 1);
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
        transport.advanceBlock(512);
        if (ticked.count() > before)
            ticks.emplace_back(block, ticked.last().at(0).value<uint64_t>());
        if (quarter.count() > quartersBefore)
            quarterBlock = block;
    }
    EXPECT_EQ(transport.currentSamplesPerTick(), 918);
    const std::vector<std::pair<int, uint64_t>> expected = {{2, 0}, {4, 1}, {6, 2}, {8, 3}, {9, 4}};
    EXPECT_EQ(ticks, expected);
    EXPECT_EQ(quarter.count(), 1);
    EXPECT_EQ(quarterBlock, 2);
}

TEST_F(TransportTest, QuarterNoteTickEveryTwentyFourTicks)
{
    state.setSendingClockState(false);
    QSignalSpy ticked(&transport, &Transport::ticked);
    QSignalSpy quarter(&transport, &Transport::quaterNoteTick);
    // 918-sample blocks: exactly one tick per block, none skipped.
    for (int block = 0; block < 60; ++block)
        transport.advanceBlock(918);
    ASSERT_EQ(ticked.count(), 60);
    for (int i = 0; i < 60; ++i)
        EXPECT_EQ(ticked.at(i).at(0).value<uint64_t>(), static_cast<uint64_t>(i));
    EXPECT_EQ(quarter.count(), 3); // ticks 0, 24, 48
}

TEST_F(TransportTest, LongBlockYieldsOneTickAndTheIndexSkips)
{
    state.setSendingClockState(false);
    QSignalSpy ticked(&transport, &Transport::ticked);
    for (int block = 0; block < 10; ++block)
        transport.advanceBlock(1024);
    std::vector<uint64_t> indices;
    for (const auto& args : ticked)
        indices.push_back(args.at(0).value<uint64_t>());
    // The tenth block starts at 9216 samples, past the start of tick 10
    // (9180): tick 9 is never signalled.
    EXPECT_EQ(indices, (std::vector<uint64_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 10}));
}

TEST_F(TransportTest, ClockIsQueuedPerTickAndFlushedWithTheBlock)
{
    state.setSendingClockState(true);
    midi->queueMessage(juce::MidiMessage::controllerEvent(1, 1, 1));
    transport.advanceBlock(512); // no tick, but the flush sends the controller
    EXPECT_EQ(sent(), "B0 01 01");
    midi->queueMessage(juce::MidiMessage::controllerEvent(1, 2, 2), 500);
    transport.advanceBlock(512); // tick at offset 106: the clock goes first
    EXPECT_EQ(sent(), "B0 01 01 | F8 | B0 02 02");
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
        transport.advanceBlock(512);
    EXPECT_EQ(playing.count(), 0);
    EXPECT_FALSE(transport.isPlaying());
    EXPECT_TRUE(transport.isStartRequested());
    EXPECT_EQ(sent(), "");
    EXPECT_EQ(transport.samplePosition(), 5120u);

    state.setSendingClockState(true);
    const int ticksBefore = ticked.count();
    while (ticked.count() == ticksBefore)
        transport.advanceBlock(512);
    ASSERT_EQ(playing.count(), 1);
    EXPECT_TRUE(playing.at(0).at(0).toBool());
    EXPECT_TRUE(transport.isPlaying());
    EXPECT_TRUE(transport.property("isPlaying").toBool());
    EXPECT_FALSE(transport.isStartRequested());
    EXPECT_EQ(sent(), "FA | F8");
    // Counted from 0 at the start: only that block's samples.
    EXPECT_EQ(transport.samplePosition(), 512u);

    transport.advanceBlock(512); // position 512: tick 0 of the new count
    ASSERT_EQ(ticked.last().at(0).value<uint64_t>(), 0u);
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
    transport.advanceBlock(64);
    EXPECT_EQ(sent(), "FC");
}

TEST_F(TransportTest, StopLeavesCountAndStartRequestAlone)
{
    state.setSendingClockState(false);
    transport.advanceBlock(512);
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
        transport.advanceBlock(512);
    ASSERT_TRUE(transport.isPlaying());
    backend->clearCaptured();
    QSignalSpy ticked(&transport, &Transport::ticked);

    transport.reset();
    EXPECT_EQ(transport.samplePosition(), 0u);
    EXPECT_EQ(transport.currentTick(), 0u);
    EXPECT_TRUE(transport.isPlaying());
    EXPECT_TRUE(midi->pendingMessages().empty());
    transport.advanceBlock(512);
    transport.advanceBlock(512);
    ASSERT_EQ(ticked.count(), 1);
    EXPECT_EQ(ticked.at(0).at(0).value<uint64_t>(), 0u);
    EXPECT_EQ(sent(), "F8"); // clock only: no start, no stop
}

TEST_F(TransportTest, AfterStopTickingNothingTicksOrFlushes)
{
    QSignalSpy ticked(&transport, &Transport::ticked);
    transport.stopTicking();
    EXPECT_FALSE(transport.isActive());
    midi->queueMessage(juce::MidiMessage::controllerEvent(1, 1, 1));
    for (int block = 0; block < 10; ++block)
        transport.advanceBlock(1024);
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
        transport.advanceBlock(512);
    EXPECT_EQ(ticked.count(), 0); // a stopped clock does not tick
    state.setTempo(std::numeric_limits<int>::max());
    transport.advanceBlock(512);
    EXPECT_EQ(transport.currentSamplesPerTick(), 1);
    EXPECT_EQ(ticked.count(), 1); // still at most one tick per block
    state.setAudioSampleRate(0);
    state.setTempo(120);
    transport.advanceBlock(512);
    EXPECT_EQ(ticked.count(), 2);
}

TEST(TransportAlone, RunsWithoutMidi)
{
    const StateManager state; // its initial values: 44100 Hz, 120 bpm
    Transport transport(state);
    QSignalSpy ticked(&transport, &Transport::ticked);
    transport.startPlay();
    transport.advanceBlock(1024);
    transport.stopPlay();
    transport.reset();
    EXPECT_EQ(ticked.count(), 1);
    EXPECT_FALSE(transport.isPlaying());
}

} // namespace
