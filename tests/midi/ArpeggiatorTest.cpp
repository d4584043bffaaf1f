// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiTestSupport.h"

#include "app/StateManager.h"
#include "midi/Arpeggiator.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"
#include "midi/VirtualKeyboard.h"

#include <gtest/gtest.h>

#include <thread>

#include <memory>

using miditest::hex;

namespace {

constexpr uint8_t kC = 60, kE = 64, kG = 67;

class ArpeggiatorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        state.setArpeggiatorState(true);
        state.setSendingClockState(false);
        state.setAudioSampleRate(48000);
        state.setTempo(120);
    }

    // Blocks of one tick each (1000 samples at 48 kHz and 120 beats per
    // minute) until tick `index` has run, as the audio callback drives them.
    void tick(uint64_t index)
    {
        while (m_nextTick <= index) {
            transport.advanceBlock(1000);
            ++m_nextTick;
        }
    }
    // What left since the last call, pending messages included.
    std::string takeQueued()
    {
        midi->flushBuffer();
        const std::string text = hex(backend->messagesSentTo(kVirtual));
        backend->clearCaptured();
        return text;
    }

    const QString kVirtual = QStringLiteral("KinetraMIDIPort");
    // Wired as the application wires them.
    StateManager state;
    std::shared_ptr<InMemoryMidiBackend> backend = std::make_shared<InMemoryMidiBackend>();
    std::unique_ptr<MidiHandler> midi = std::make_unique<MidiHandler>(backend, &state);
    Transport transport{state, midi.get()};
    VirtualKeyboard keyboard{midi.get(), state};
    std::unique_ptr<Arpeggiator> arp = std::make_unique<Arpeggiator>(transport, keyboard, state);
    uint64_t m_nextTick = 0;
};

TEST_F(ArpeggiatorTest, CyclesHeldNotesInPressOrderEverySixTicks)
{
    Q_EMIT keyboard.noteOn(kC);
    Q_EMIT keyboard.noteOn(kE);
    Q_EMIT keyboard.noteOn(kG);

    std::vector<std::string> perTick;
    for (uint64_t t = 0; t <= 25; ++t) {
        tick(t);
        perTick.push_back(takeQueued());
    }
    EXPECT_EQ(perTick[0], "90 3C 66");
    EXPECT_EQ(perTick[1], "80 3C 00");
    EXPECT_EQ(perTick[5], "");
    EXPECT_EQ(perTick[6], "90 40 66");
    EXPECT_EQ(perTick[7], "80 40 00");
    EXPECT_EQ(perTick[12], "90 43 66");
    EXPECT_EQ(perTick[18], "90 3C 66");
    EXPECT_EQ(perTick[24], "90 40 66");
    EXPECT_EQ(perTick[25], "80 40 00");
    EXPECT_EQ(arp->stepCounter(), 5);
}

TEST_F(ArpeggiatorTest, HeldNotesHaveNoDuplicatesAndUnknownReleasesAreIgnored)
{
    Q_EMIT keyboard.noteOn(kC);
    Q_EMIT keyboard.noteOn(kC);
    Q_EMIT keyboard.noteOff(kE);
    Q_EMIT keyboard.noteOn(kE);
    EXPECT_EQ(arp->heldNotes(), (QVector<uint8_t>{kC, kE}));
    Q_EMIT keyboard.noteOff(kC);
    EXPECT_EQ(arp->heldNotes(), QVector<uint8_t>{kE});
}

TEST_F(ArpeggiatorTest, LastNoteEndsOnceAfterAllKeysAreReleased)
{
    Q_EMIT keyboard.noteOn(kG);
    tick(0);
    Q_EMIT keyboard.noteOff(kG);
    takeQueued();
    for (uint64_t t = 1; t <= 13; ++t) {
        tick(t);
        EXPECT_EQ(takeQueued(), t == 1 ? "80 43 00" : "") << "tick " << t;
    }
}

// Play starting renumbers the ticks (the start's tick is tick 0): a step
// plays on it, and neither the start nor a new note restarts the cycle.
TEST_F(ArpeggiatorTest, PlayStartPlaysAStepOnItsTickAndTheCycleCarriesOn)
{
    Q_EMIT keyboard.noteOn(kC);
    Q_EMIT keyboard.noteOn(kE);
    tick(3); // C on tick 0
    takeQueued();
    state.setSendingClockState(true);
    transport.startPlay();
    tick(4); // renumbered 0
    EXPECT_EQ(takeQueued(), "FA | F8 | 90 40 66");
    EXPECT_EQ(arp->stepCounter(), 2);
    Q_EMIT keyboard.noteOn(kG);
    tick(10); // renumbered 6
    EXPECT_EQ(takeQueued(), "F8 | 80 40 00 | F8 | F8 | F8 | F8 | F8 | 90 43 66");
}

TEST_F(ArpeggiatorTest, OffEndsItsLastNoteThenQueuesNothingAndFreezesTheLists)
{
    Q_EMIT keyboard.noteOn(kC);
    tick(0);
    takeQueued();
    state.setArpeggiatorState(false); // within the step's tick
    Q_EMIT keyboard.noteOff(kC);      // released while off: stays held
    Q_EMIT keyboard.noteOn(kE);
    for (uint64_t t = 1; t <= 12; ++t)
        tick(t);
    EXPECT_EQ(takeQueued(), "80 3C 00");
    EXPECT_EQ(arp->heldNotes(), QVector<uint8_t>{kC});

    state.setArpeggiatorState(true);
    tick(18);
    EXPECT_EQ(takeQueued(), "90 3C 66");
}

// Quitting stops the blocks within a step's tick: the step still ends.
TEST_F(ArpeggiatorTest, QuittingEndsTheSoundingStep)
{
    Q_EMIT keyboard.noteOn(kC);
    tick(0);
    EXPECT_EQ(takeQueued(), "90 3C 66");
    transport.stopTicking();
    transport.advanceBlock(1000);
    EXPECT_EQ(takeQueued(), "");
    transport.endSounding();
    EXPECT_EQ(hex(backend->messagesSentTo(kVirtual)), "80 3C 00");
    EXPECT_TRUE(arp->soundingNotes().isEmpty());
}

TEST_F(ArpeggiatorTest, KeyboardDrivesItAndStaysSilentItself)
{
    keyboard.keyPressed(0x41); // A = 48
    keyboard.keyPressed(0x4B); // K = 60
    EXPECT_EQ(takeQueued(), "");
    tick(0);
    tick(6);
    EXPECT_EQ(takeQueued(), "90 30 66 | 80 30 00 | 90 3C 66");
    keyboard.keyReleased(0x41);
    EXPECT_EQ(arp->heldNotes(), QVector<uint8_t>{60});
}

// The steps are played by the thread that drives the transport, on the
// ticks' samples: a GUI thread that handles no event meanwhile (stalled)
// delays none of them.
TEST_F(ArpeggiatorTest, StepsPlayOnTheDrivingThreadWhileTheGuiThreadStalls)
{
    Q_EMIT keyboard.noteOn(kC);
    std::thread audio([this] { tick(7); });
    audio.join();
    EXPECT_EQ(takeQueued(), "90 3C 66 | 80 3C 00 | 90 3C 66 | 80 3C 00");
    EXPECT_EQ(arp->stepCounter(), 2);
    tick(12);
    EXPECT_EQ(arp->soundingNotes(), QVector<uint8_t>{kC});
}

} // namespace
