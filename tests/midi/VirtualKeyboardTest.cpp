// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiTestSupport.h"

#include "app/StateManager.h"
#include "midi/MidiHandler.h"
#include "midi/VirtualKeyboard.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <memory>

using miditest::hex;

namespace {

enum Key : int
{
    A = 0x41,
    K = 0x4B,
    Apostrophe = 0x27,
    One = 0x31,
    Two = 0x32,
    Z = 0x5A,
    X = 0x58,
    C = 0x43,
    V = 0x56,
    Q = 0x51,
    Tab = 0x01000001,
};

class VirtualKeyboardTest : public ::testing::Test
{
protected:
    // The queued messages, then empties the buffer.
    std::string takeQueued()
    {
        const std::string text = hex(midi->pendingMessages());
        midi->flushBuffer();
        return text;
    }
    static std::vector<int> notes(const QSignalSpy& spy)
    {
        std::vector<int> result;
        for (const auto& args : spy)
            result.push_back(args.at(0).value<uint8_t>());
        return result;
    }

    StateManager state;
    std::shared_ptr<InMemoryMidiBackend> backend = std::make_shared<InMemoryMidiBackend>();
    std::unique_ptr<MidiHandler> midi = std::make_unique<MidiHandler>(backend, &state);
    VirtualKeyboard keyboard{midi.get(), state};
};

TEST_F(VirtualKeyboardTest, PlaysAndReleasesANote)
{
    QSignalSpy on(&keyboard, &VirtualKeyboard::noteOn);
    QSignalSpy off(&keyboard, &VirtualKeyboard::noteOff);
    keyboard.keyPressed(A);
    EXPECT_EQ(takeQueued(), "90 30 64"); // channel 1, note 48, velocity 100
    EXPECT_EQ(notes(on), std::vector<int>{48});
    keyboard.keyReleased(A);
    EXPECT_EQ(takeQueued(), "80 30 00");
    EXPECT_EQ(notes(off), std::vector<int>{48});
    EXPECT_TRUE(keyboard.pressedNotes().isEmpty());
}

TEST_F(VirtualKeyboardTest, KeyLayout)
{
    EXPECT_EQ(VirtualKeyboard::noteFor(VirtualKeyboard::keyPosition(K), 4, 0), 60);
    EXPECT_EQ(VirtualKeyboard::noteFor(VirtualKeyboard::keyPosition(Apostrophe), 4, 0), 65);
    EXPECT_EQ(VirtualKeyboard::keyPosition(0x42), -1); // B plays nothing
    keyboard.keyPressed(0x42);
    keyboard.keyReleased(0x42);
    EXPECT_EQ(takeQueued(), "");
}

TEST_F(VirtualKeyboardTest, OctaveWrapsFromNineToZeroButStopsAtZero)
{
    std::vector<int> octaves;
    for (int i = 0; i < 6; ++i) {
        keyboard.keyPressed(X);
        octaves.push_back(keyboard.octave());
    }
    EXPECT_EQ(octaves, (std::vector<int>{5, 6, 7, 8, 9, 0}));
    // The window hears of every change, and of no press that changes nothing.
    QSignalSpy changed(&keyboard, &VirtualKeyboard::settingsChanged);
    keyboard.keyPressed(Z);
    EXPECT_EQ(keyboard.octave(), 0);
    EXPECT_EQ(changed.count(), 0);
    keyboard.keyPressed(X);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(keyboard.property("octave").toInt(), 1);
}

TEST_F(VirtualKeyboardTest, TransposeStaysWithinAnOctave)
{
    keyboard.keyPressed(One);
    EXPECT_EQ(keyboard.transpose(), 0);
    for (int i = 0; i < 15; ++i)
        keyboard.keyPressed(Two);
    EXPECT_EQ(keyboard.transpose(), 11);
    keyboard.keyReleased(Two); // control keys do nothing on release
    EXPECT_EQ(takeQueued(), "");
}

TEST_F(VirtualKeyboardTest, VelocityStaysBetweenOneAnd127)
{
    for (int i = 0; i < 20; ++i)
        keyboard.keyPressed(C);
    EXPECT_EQ(keyboard.velocity(), 1);
    std::vector<int> velocities;
    for (int i = 0; i < 27; ++i) {
        keyboard.keyPressed(V);
        velocities.push_back(keyboard.velocity());
    }
    EXPECT_EQ(velocities.front(), 6);
    EXPECT_EQ(velocities[1], 11);
    EXPECT_EQ(velocities[24], 126);
    EXPECT_EQ(velocities[25], 127);
    EXPECT_EQ(velocities[26], 127);
    keyboard.keyPressed(A);
    EXPECT_EQ(takeQueued(), "90 30 7F");
}

TEST_F(VirtualKeyboardTest, NoteAbove127KeepsItsNumberButSendsTheLowBits)
{
    for (int i = 0; i < 5; ++i)
        keyboard.keyPressed(X); // octave 9
    for (int i = 0; i < 11; ++i)
        keyboard.keyPressed(Two);
    QSignalSpy on(&keyboard, &VirtualKeyboard::noteOn);
    QSignalSpy off(&keyboard, &VirtualKeyboard::noteOff);
    keyboard.keyPressed(Apostrophe);
    EXPECT_EQ(notes(on), std::vector<int>{136});
    EXPECT_EQ(takeQueued(), "90 08 64");
    keyboard.keyReleased(Apostrophe);
    EXPECT_EQ(notes(off), std::vector<int>{136});
    EXPECT_EQ(takeQueued(), "80 08 00");
}

TEST_F(VirtualKeyboardTest, ReleaseAfterAnOctaveChangeEndsTheNoteThatWentOut)
{
    QSignalSpy off(&keyboard, &VirtualKeyboard::noteOff);
    keyboard.keyPressed(A); // 48
    keyboard.keyPressed(X);
    keyboard.keyPressed(Two);
    keyboard.keyReleased(A); // would be 61 now
    EXPECT_EQ(takeQueued(), "90 30 64 | 80 30 00");
    EXPECT_EQ(notes(off), std::vector<int>{48});
    EXPECT_TRUE(keyboard.pressedNotes().isEmpty());
}

TEST_F(VirtualKeyboardTest, AllNoteOffEndsEachNoteOnceAndForgetsTheKeys)
{
    keyboard.keyPressed(A);
    keyboard.keyPressed(K);
    keyboard.keyPressed(A); // pressed again without release: plays anew
    EXPECT_EQ(takeQueued(), "90 30 64 | 90 3C 64 | 80 30 00 | 90 30 64");
    QSignalSpy off(&keyboard, &VirtualKeyboard::noteOff);
    keyboard.allNoteOff();
    keyboard.allNoteOff();
    keyboard.keyReleased(A); // the release the window did not see
    EXPECT_EQ(takeQueued(), "80 3C 00 | 80 30 00");
    EXPECT_EQ(notes(off), (std::vector<int>{60, 48}));
    EXPECT_TRUE(keyboard.pressedNotes().isEmpty());
}

TEST_F(VirtualKeyboardTest, SameNoteFromTwoKeysEndsOncePerKey)
{
    keyboard.keyPressed(K); // 60
    keyboard.keyPressed(X);
    keyboard.keyPressed(A); // 60 as well
    EXPECT_EQ(keyboard.pressedNotes(), (QVector<uint8_t>{60, 60}));
    keyboard.keyReleased(K);
    EXPECT_EQ(keyboard.pressedNotes(), QVector<uint8_t>{60});
    keyboard.keyReleased(A);
    EXPECT_EQ(takeQueued(), "90 3C 64 | 90 3C 64 | 80 3C 00 | 80 3C 00");
}

TEST_F(VirtualKeyboardTest, ControlMessages)
{
    keyboard.keyPressed(Q);
    keyboard.keyPressed(Tab);
    keyboard.keyReleased(Tab);
    keyboard.keyReleased(Q);
    EXPECT_EQ(takeQueued(), "B0 7B 00 | B0 40 7F | B0 40 00");
}

TEST_F(VirtualKeyboardTest, WithTheArpeggiatorOnOnlyControlKeysSend)
{
    state.setArpeggiatorState(true);
    QSignalSpy on(&keyboard, &VirtualKeyboard::noteOn);
    QSignalSpy off(&keyboard, &VirtualKeyboard::noteOff);
    keyboard.keyPressed(A);
    keyboard.keyReleased(A);
    keyboard.keyPressed(K);
    keyboard.allNoteOff();
    EXPECT_EQ(takeQueued(), "");
    EXPECT_EQ(notes(on), (std::vector<int>{48, 60}));
    EXPECT_EQ(notes(off), (std::vector<int>{48, 60}));

    keyboard.keyPressed(Q);
    keyboard.keyPressed(Tab);
    keyboard.keyReleased(Tab);
    EXPECT_EQ(takeQueued(), "B0 7B 00 | B0 40 7F | B0 40 00");
}

TEST(VirtualKeyboardAlone, WorksWithoutMidi)
{
    const StateManager state;
    VirtualKeyboard keyboard(nullptr, state);
    QSignalSpy on(&keyboard, &VirtualKeyboard::noteOn);
    keyboard.keyPressed(A);
    keyboard.keyPressed(Q);
    keyboard.allNoteOff();
    EXPECT_EQ(on.count(), 1);
}

} // namespace
