// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiTestSupport.h"

#include "app/StateManager.h"
#include "midi/Arpeggiator.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"
#include "midi/VirtualKeyboard.h"

#include "support/AllocationCounter.h"

#include <QCoreApplication>
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

// The application's wiring: the arpeggiator follows the transport's ticks
// and plays held keys, the clock goes out, the link queues controllers. The
// audio thread must not allocate for any of it, also while the GUI thread
// takes the ticks and the arpeggiator plays.
TEST(RealtimeSafetyTest, ClockAndArpeggiatorAllocateNothingOnTheAudioThread)
{
    auto backend = std::make_shared<CountingBackend>();
    StateManager state;
    state.setTempo(300);
    state.setSendingClockState(true);
    state.setArpeggiatorState(true);
    MidiHandler midi(backend, &state);
    ASSERT_TRUE(QMetaObject::invokeMethod(&midi, "devicePilot", Qt::DirectConnection));
    Transport transport(state, &midi);
    VirtualKeyboard keyboard(&midi, state);
    Arpeggiator arpeggiator(transport, keyboard, state);
    keyboard.keyPressed(0x41);
    keyboard.keyPressed(0x4B);
    transport.startPlay();

    std::atomic<bool> done{false};
    long allocations = -1;
    std::thread audio([&] {
        AllocationCounter::start();
        for (int block = 0; block < 3000; ++block) {
            midi.queueMessage(juce::MidiMessage::controllerEvent(1, 7, block & 0x7F));
            transport.advanceBlock(256);
            if (block % 8 == 0)
                std::this_thread::yield();
        }
        allocations = AllocationCounter::stop();
        done.store(true);
    });
    while (!done.load()) {
        transport.deliverTicks();
        QCoreApplication::processEvents();
    }
    audio.join();
    transport.deliverTicks();
    QCoreApplication::processEvents();
    midi.flushBuffer();

    EXPECT_EQ(allocations, 0);
    EXPECT_TRUE(transport.isPlaying());
    // 768000 samples at 300 bpm (367.5 per tick): 2090 ticks to each of the
    // three ports, a step on every sixth.
    EXPECT_EQ(backend->clocks.load(), 3 * 2090);
    EXPECT_GT(backend->notesOn.load(), 3 * 300);
    EXPECT_EQ(arpeggiator.stepCounter() * 3, backend->notesOn.load());
}

} // namespace
