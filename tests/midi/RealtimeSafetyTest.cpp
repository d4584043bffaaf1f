// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiTestSupport.h"

#include "app/StateManager.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"

#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using miditest::CountingBackend;

TEST(RealtimeSafetyTest, AudioBlocksQueueTickAndFlushWithoutAllocating)
{
    auto backend = std::make_shared<CountingBackend>();
    StateManager state;
    MidiHandler midi(backend, &state);
    ASSERT_TRUE(QMetaObject::invokeMethod(&midi, "devicePilot", Qt::DirectConnection));
    Transport transport(state, &midi);
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

    EXPECT_EQ(allocations, 0);
    EXPECT_TRUE(transport.isPlaying());
    EXPECT_EQ(midi.pendingCount(), 0);
    // Two messages per block and a clock per tick, each to three ports.
    EXPECT_GT(backend->sent.load(), 3 * 2 * 2000);
}

} // namespace
