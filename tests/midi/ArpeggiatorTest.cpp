// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiTestSupport.h"

#include "app/StateManager.h"
#include "midi/Arpeggiator.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"
#include "midi/VirtualKeyboard.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <thread>

#include <memory>

using miditest::hex;

namespace {

constexpr uint8_t kC = 60, kE = 64, kG = 67;

class ArpeggiatorTest : public ::testing::Test
{
protected:
    void SetUp() override { state.setArpeggiatorState(true); }

    void tick(uint64_t index) { Q_EMIT transport.ticked(index); }
    std::string takeQueued()
    {
        const std::string text = hex(midi->pendingMessages());
        midi->flushBuffer();
        return text;
    }

    // Wired as the application wires them.
    StateManager state;
    std::shared_ptr<InMemoryMidiBackend> backend = std::make_shared<InMemoryMidiBackend>();
    std::unique_ptr<MidiHandler> midi = std::make_unique<MidiHandler>(backend, &state);
    Transport transport{state, midi.get()};
    VirtualKeyboard keyboard{midi.get(), state};
    std::unique_ptr<Arpeggiator> arp =
        std::make_unique<Arpeggiator>(transport, keyboard, midi.get(), state);
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

TEST_F(ArpeggiatorTest, SkippedStepIsLostAndTheCycleCarriesOn)
{
    Q_EMIT keyboard.noteOn(kC);
    Q_EMIT keyboard.noteOn(kE);
    tick(0); // C
    tick(5);
    tick(7); // 6 skipped: no note
    takeQueued();
    EXPECT_EQ(arp->stepCounter(), 1);
    Q_EMIT keyboard.noteOn(kG); // a new note does not restart the cycle
    tick(12);
    EXPECT_EQ(takeQueued(), "90 40 66");
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

TEST_F(ArpeggiatorTest, TicksFromTheAudioThreadArriveQueued)
{
    Q_EMIT keyboard.noteOn(kC);
    std::thread audio([this] { tick(0); });
    audio.join();
    EXPECT_EQ(midi->pendingCount(), 0); // not run on the audio thread
    QCoreApplication::processEvents();
    EXPECT_EQ(takeQueued(), "90 3C 66");
}

} // namespace
