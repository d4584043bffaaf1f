// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiTestSupport.h"

#include "app/StateManager.h"
#include "midi/MidiHandler.h"
#include "midi/TimerClockDriver.h"
#include "midi/Transport.h"

#include "support/SignalWait.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// With no audio device the timer thread drives the clock at the tempo and
// sends what the wheels queue; once audio blocks come it stands aside, and
// takes over again when they stop. The window learns who drives.
TEST(TimerClockDriver, DrivesTheClockWhileNoAudioBlockComesAndHandsOver)
{
    auto backend = std::make_shared<miditest::CountingBackend>();
    StateManager state;
    state.setTempo(120);
    state.setSendingClockState(true);
    MidiHandler midi(backend, &state);
    Transport transport(state, &midi);
    QSignalSpy driver(&transport, &Transport::clockDriverChanged);
    TimerClockDriver timer(transport, state);
    timer.start();

    midi.queueMessage(juce::MidiMessage::controllerEvent(1, 7, 1));
    ASSERT_TRUE(testsupport::waitUntil([&] { return backend->sent.load() >= 2; }, 3000));
    ASSERT_TRUE(testsupport::waitUntil([&] { return driver.count() == 1; }, 3000));
    EXPECT_TRUE(transport.isClockFromTimer());

    // Half a second on the timer: 48 clocks a second.
    const long before = backend->clocks.load();
    QElapsedTimer elapsed;
    elapsed.start();
    testsupport::waitUntil([] { return false; }, 500);
    const double seconds = double(elapsed.nsecsElapsed()) * 1e-9;
    const long clocks = backend->clocks.load() - before;
    EXPECT_NEAR(double(clocks), 48.0 * seconds, 48.0 * seconds * 0.1 + 2.0);

    // Audio blocks come: the timer stands aside, the blocks drive alone.
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        auto next = std::chrono::steady_clock::now();
        while (!stop.load()) {
            transport.advanceBlock(64);
            next += std::chrono::microseconds(1451);
            std::this_thread::sleep_until(next);
        }
    });
    ASSERT_TRUE(testsupport::waitUntil([&] { return !transport.isClockFromTimer(); }, 3000));
    const uint64_t skipped = transport.skippedBlocks();
    testsupport::waitUntil([] { return false; }, 300);
    EXPECT_FALSE(transport.isClockFromTimer());
    EXPECT_EQ(transport.skippedBlocks(), skipped) << "both drove at once";
    stop.store(true);
    audio.join();

    ASSERT_TRUE(testsupport::waitUntil([&] { return driver.count() >= 3; }, 3000));
    EXPECT_TRUE(transport.isClockFromTimer());
    timer.stop();
    EXPECT_FALSE(timer.isRunning());
}

} // namespace
