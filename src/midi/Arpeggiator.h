// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/SoundingNotes.h"

#include <QObject>
#include <QVector>

#include <cstdint>

namespace juce {
class MidiMessage;
}

class MidiHandler;
class MidiSettings;
class Transport;
class VirtualKeyboard;

// Plays the notes held on the virtual keyboard one after another, in the
// order they were pressed, one step every sixth transport tick (a sixteenth
// note), on MIDI channel 1. Works only while the application state's
// isArpOn is true; while off it ignores ticks and keys and keeps its lists.
// Each step's note lasts one tick and gets exactly one note-off, also when
// the arpeggiator is switched off in between (at the next tick) or all
// notes are cut (at once). Lives on the GUI thread; the transport's ticks
// arrive queued.
class Arpeggiator : public QObject
{
    Q_OBJECT

public:
    static constexpr int kChannel = 1;
    static constexpr int kStepLength = 6;     // ticks per step
    static constexpr uint8_t kVelocity = 102; // 0.8 on the 0-1 scale

    // Follows `transport`'s ticks and `keyboard`'s notes; plays through
    // `midi` (may be none) while `settings` says the arpeggiator is on.
    Arpeggiator(Transport& transport, VirtualKeyboard& keyboard, MidiHandler* midi,
                const MidiSettings& settings, QObject* parent = nullptr);

    QVector<uint8_t> heldNotes() const { return m_heldNotes; }
    // The step's note while it sounds (one tick), else none.
    QVector<uint8_t> soundingNotes() const;
    int stepCounter() const { return m_stepCounter; }

private Q_SLOTS:
    void handleTick(uint64_t currentTick);
    void handleNoteOn(uint8_t note);
    void handleNoteOff(uint8_t note);
    void endStep();

private:
    bool isOn() const;

    void queue(const juce::MidiMessage& message) const;

    MidiHandler* m_midi = nullptr;
    const MidiSettings& m_settings;
    QVector<uint8_t> m_heldNotes;
    SoundingNotes m_sounding; // the step's note, under voice 0
    int m_stepCounter = 0;
};
