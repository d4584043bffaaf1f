// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiTestSupport.h"

#include "app/StateManager.h"
#include "midi/Arpeggiator.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"
#include "midi/VirtualKeyboard.h"

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <map>
#include <memory>
#include <random>
#include <sstream>

namespace {

constexpr int kOctaveDown = 0x5A, kOctaveUp = 0x58, kTransposeDown = 0x31, kTransposeUp = 0x32,
              kAllNotesOff = 0x51, kKeyA = 0x41, kKeyK = 0x4B;

// The keyboard and the arpeggiator wired as the application wires them, with
// the ticks driven by hand and every message that leaves checked against the
// notes sounding on the wire (channel and number).
class NotePairs : public ::testing::Test
{
protected:
    void act(const std::string& what)
    {
        m_trail.push_back(what);
        if (m_trail.size() > 24)
            m_trail.pop_front();
    }
    // Books the queued messages; false (and a failure naming the steps that
    // led there) on a note-off for a note that is not sounding.
    bool book()
    {
        midi->flushBuffer();
        const auto sent = backend->messagesSentTo(QStringLiteral("KinetraMIDIPort"));
        backend->clearCaptured();
        for (const juce::MidiMessage& message : sent) {
            const auto key = std::make_pair(message.getChannel(), message.getNoteNumber());
            if (message.isNoteOn()) {
                ++m_sounding[key];
                ++m_noteOns;
            } else if (message.isNoteOff()) {
                if (m_sounding[key] == 0) {
                    ADD_FAILURE() << "note-off for a note not sounding: " << miditest::hex(message)
                                  << "\nlast steps:\n"
                                  << trail();
                    return false;
                }
                --m_sounding[key];
            }
        }
        return true;
    }
    std::string stillSounding() const
    {
        std::ostringstream text;
        for (const auto& [key, count] : m_sounding)
            if (count != 0)
                text << "channel " << key.first << " note " << key.second << " x" << count << "\n";
        return text.str();
    }
    std::string trail() const
    {
        std::string text;
        for (const std::string& step : m_trail)
            text += "  " + step + "\n";
        return text;
    }
    // Every key released and ticks up to one that starts no step (the one
    // that ends the arpeggiator's last note): nothing may sound any more.
    bool letGo()
    {
        for (const int code : VirtualKeyboard::kKeyTable)
            keyboard.keyReleased(code);
        act("every key released");
        tick(m_tick % Arpeggiator::kStepLength == 0 ? 2 : 1);
        if (!book())
            return false;
        const std::string sounding = stillSounding();
        if (sounding.empty())
            return true;
        ADD_FAILURE() << "still sounding after letting go:\n"
                      << sounding << "last steps:\n"
                      << trail();
        return false;
    }
    // One audio block of `count` ticks (1000 samples each at 48 kHz and 120
    // beats per minute).
    void tick(int count = 1)
    {
        transport.advanceBlock(1000 * count);
        act("ticks " + std::to_string(m_tick) + " to " + std::to_string(m_tick + count - 1));
        m_tick += uint64_t(count);
    }

    void SetUp() override
    {
        state.setSendingClockState(false);
        state.setAudioSampleRate(48000);
        state.setTempo(120);
    }

    StateManager state;
    std::shared_ptr<InMemoryMidiBackend> backend = std::make_shared<InMemoryMidiBackend>();
    std::unique_ptr<MidiHandler> midi = std::make_unique<MidiHandler>(backend, &state);
    Transport transport{state, midi.get()};
    VirtualKeyboard keyboard{midi.get(), state};
    Arpeggiator arp{transport, keyboard, state};

    std::map<std::pair<int, int>, int> m_sounding;
    std::deque<std::string> m_trail;
    uint64_t m_tick = 0;
    int m_noteOns = 0;
};

TEST_F(NotePairs, RandomPlayingEndsEveryNoteItStartsExactlyOnce)
{
    constexpr int kSteps = 10000;
    std::mt19937 random(20261208);
    auto pick = [&random](int count) {
        return std::uniform_int_distribution<int>(0, count - 1)(random);
    };
    for (int step = 0; step < kSteps; ++step) {
        const int roll = pick(100);
        if (roll < 28) {
            const int code = VirtualKeyboard::kKeyTable[pick(VirtualKeyboard::kKeyCount)];
            keyboard.keyPressed(code);
            act("press " + std::to_string(code));
        } else if (roll < 52) {
            const int code = VirtualKeyboard::kKeyTable[pick(VirtualKeyboard::kKeyCount)];
            keyboard.keyReleased(code);
            act("release " + std::to_string(code));
        } else if (roll < 62) {
            const int code =
                std::array{kOctaveDown, kOctaveUp, kTransposeDown, kTransposeUp}[pick(4)];
            keyboard.keyPressed(code);
            keyboard.keyReleased(code);
            act("octave/transpose " + std::to_string(code));
        } else if (roll < 67) {
            state.setArpeggiatorState(!state.getArpeggiatorState());
            act(std::string("arpeggiator ") + (state.getArpeggiatorState() ? "on" : "off"));
        } else if (roll < 95) {
            tick(pick(8) == 0 ? 2 : 1); // now and then a block of two ticks
        } else if (roll < 98) {
            keyboard.allNoteOff();
            act("focus lost");
        } else {
            keyboard.keyPressed(kAllNotesOff);
            keyboard.keyReleased(kAllNotesOff);
            act("all notes off key");
        }
        if (!book())
            return;
        if (step % 1000 == 999) {
            ASSERT_TRUE(letGo());
        }
    }

    ASSERT_TRUE(letGo());
    EXPECT_GT(m_noteOns, kSteps / 10) << "the walk played hardly anything";
}

TEST_F(NotePairs, NotesOfTheThreeKnownHangsEnd)
{
    // A key held while the arpeggiator is switched on, then released.
    keyboard.keyPressed(kKeyA);
    state.setArpeggiatorState(true);
    keyboard.keyReleased(kKeyA);
    ASSERT_TRUE(book());
    EXPECT_EQ(stillSounding(), "") << "released after the arpeggiator came on";

    // The arpeggiator switched off within a tick of a step's note-on.
    keyboard.keyPressed(kKeyK);
    tick(); // tick 0: a step
    keyboard.keyReleased(kKeyK);
    state.setArpeggiatorState(false);
    tick();
    ASSERT_TRUE(book());
    EXPECT_EQ(stillSounding(), "") << "arpeggiator switched off during its step";

    // Octave and transpose changed while a key is held.
    keyboard.keyPressed(kKeyA);
    for (const int code : {kOctaveUp, kTransposeUp})
        keyboard.keyPressed(code);
    keyboard.keyReleased(kKeyA);
    ASSERT_TRUE(book());
    EXPECT_EQ(stillSounding(), "") << "released after an octave and transpose change";
}

} // namespace
