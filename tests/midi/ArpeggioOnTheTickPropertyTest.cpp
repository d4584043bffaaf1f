// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiTestSupport.h"

#include "app/StateManager.h"
#include "midi/Arpeggiator.h"
#include "midi/MidiHandler.h"
#include "midi/TimedMidiSink.h"
#include "midi/Transport.h"
#include "midi/VirtualKeyboard.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <random>
#include <set>
#include <sstream>

namespace {

// Every message the consumer sends, on the sample it leaves on.
class SampleRecorder : public TimedMidiSink
{
public:
    struct Sent
    {
        int64_t sample;
        int size;
        uint8_t status, data1, data2;
    };

    explicit SampleRecorder(const MidiHandler& midi) : m_midi(midi) {}
    void send(const uint8_t* bytes, int size, int offset, int) override
    {
        sent.push_back({m_midi.blockStart() + offset, size, bytes[0],
                        size > 1 ? bytes[1] : uint8_t(0), size > 2 ? bytes[2] : uint8_t(0)});
    }

    std::vector<Sent> sent;

private:
    const MidiHandler& m_midi;
};

// What the GUI thread had published when a block ran.
struct Block
{
    int64_t start;
    bool arpOn;
    QVector<uint8_t> held;
};

// The transport driven by audio blocks of random lengths at random tempi,
// with keys pressed and released, the arpeggiator switched on and off, the
// notes cut and play stopped and started between the blocks. Read at the
// sample each message leaves on: every step's note-on sits on its tick's
// sample, right behind that tick's clock, plays the held note the step is
// due, and ends on the very next tick (or at once when the notes are cut);
// nothing sounds once the keys are let go.
TEST(ArpeggioOnTheTick, NotesLeaveOnTheSampleOfTheirTickAtAnyBlockLengthAndTempo)
{
    StateManager state;
    auto backend = std::make_shared<InMemoryMidiBackend>();
    MidiHandler midi(backend, &state);
    SampleRecorder recorder(midi);
    midi.setTimedSink(&recorder);
    Transport transport(state, &midi);
    VirtualKeyboard keyboard(&midi, state);
    Arpeggiator arp(transport, keyboard, state);

    std::mt19937 random(20261208);
    auto pick = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    std::vector<Block> blocks;
    std::set<int64_t> cuts; // first sample of the block after a cut
    int64_t samples = 0;
    auto run = [&](int length) {
        blocks.push_back({samples, state.getArpeggiatorState(), arp.heldNotes()});
        transport.advanceBlock(length);
        samples += length;
        // The GUI thread's share, at once after every block.
        transport.deliverTicks();
        QCoreApplication::processEvents();
    };

    state.setSendingClockState(true);
    state.setArpeggiatorState(true);
    transport.startPlay();
    for (const int rate : {44100, 48000, 96000}) {
        state.setAudioSampleRate(rate);
        state.setTempo(pick(20, 300));
        for (int step = 0; step < 2500; ++step) {
            const int roll = pick(0, 99);
            const int key =
                VirtualKeyboard::kKeyTable[size_t(pick(0, VirtualKeyboard::kKeyCount - 1))];
            if (roll < 10 && state.getArpeggiatorState()) {
                keyboard.keyPressed(key); // the keyboard itself plays keys pressed while off
            } else if (roll < 18) {
                keyboard.keyReleased(key);
            } else if (roll < 20) {
                state.setArpeggiatorState(!state.getArpeggiatorState());
            } else if (roll < 21) {
                keyboard.allNoteOff();
                cuts.insert(samples);
            } else if (roll < 22) {
                state.setTempo(pick(20, 300));
            } else if (roll < 23) {
                transport.stopPlay();
            } else if (roll < 24) {
                transport.startPlay();
            }
            run(pick(0, 9) == 0 ? pick(1024, 4096) : pick(1, 1024));
        }
    }
    // Let go: every key released; two ticks (12,000 samples at most) end
    // whatever still sounds.
    state.setArpeggiatorState(true);
    for (const int code : VirtualKeyboard::kKeyTable)
        keyboard.keyReleased(code);
    for (int i = 0; i < 2 * 12000 + 512; i += 512)
        run(512);

    struct Sounding
    {
        int note;
        int64_t on;
        int64_t nextTick; // -1 until the tick after it
    };
    struct Step
    {
        int64_t sample;
        int note;
    };
    std::optional<Sounding> sounding;
    std::optional<Step> due;
    int64_t nextIndex = -1; // unknown before the first start
    int64_t previous = 0;
    int steps = 0;
    std::deque<std::string> trail;
    auto fail = [&](const std::string& what) {
        std::ostringstream text;
        for (const std::string& line : trail)
            text << "  " << line << "\n";
        ADD_FAILURE() << what << "\nlast messages:\n" << text.str();
    };
    auto blockAt = [&blocks](int64_t sample) -> const Block& {
        auto it = std::upper_bound(blocks.begin(), blocks.end(), sample,
                                   [](int64_t s, const Block& b) { return s < b.start; });
        return *(it - 1);
    };
    for (const SampleRecorder::Sent& m : recorder.sent) {
        std::ostringstream line;
        const uint8_t bytes[] = {m.status, m.data1, m.data2};
        line << m.sample << ": " << miditest::hex(juce::MidiMessage(bytes, m.size));
        trail.push_back(line.str());
        if (trail.size() > 12)
            trail.pop_front();
        if (m.sample < previous)
            return fail("sent out of sample order");
        previous = m.sample;
        const bool noteOn = (m.status & 0xF0) == 0x90 && m.data2 > 0;
        const bool noteOff = (m.status & 0xF0) == 0x80 || ((m.status & 0xF0) == 0x90 && !noteOn);
        if (m.status == 0xFA) {
            nextIndex = 0;
        } else if (m.status == 0xF8) {
            if (due)
                return fail("the step due at " + std::to_string(due->sample) + " was not played");
            if (nextIndex < 0)
                return fail("a clock before the start");
            const int64_t index = nextIndex++;
            if (sounding && sounding->nextTick < 0)
                sounding->nextTick = m.sample;
            const Block& block = blockAt(m.sample);
            if (index % Arpeggiator::kStepLength == 0 && block.arpOn && !block.held.isEmpty())
                due = Step{m.sample, block.held.at(steps % block.held.size()) & 0x7F};
        } else if (noteOn) {
            if (!due || due->sample != m.sample)
                return fail("a note-on off its tick's sample");
            if (due->note != m.data1)
                return fail("the step played " + std::to_string(m.data1) + ", not " +
                            std::to_string(due->note));
            if (sounding)
                return fail("a note-on while the last step still sounds");
            sounding = Sounding{m.data1, m.sample, -1};
            due.reset();
            ++steps;
        } else if (noteOff) {
            if (!sounding || sounding->note != m.data1)
                return fail("a note-off for a note not sounding");
            const bool onNextTick = m.sample == sounding->nextTick;
            const bool cut = cuts.count(m.sample) != 0 && m.sample > sounding->on &&
                             (sounding->nextTick < 0 || m.sample <= sounding->nextTick);
            if (!onNextTick && !cut)
                return fail("a note-off neither on the next tick nor at a cut");
            sounding.reset();
        }
    }
    EXPECT_FALSE(sounding) << "still sounding at the end: " << sounding->note;
    EXPECT_EQ(steps, arp.stepCounter());
    EXPECT_GT(steps, 200) << "the walk played hardly anything";
}

} // namespace
