// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/ArpeggioSteps.h"

#include <QObject>
#include <QVector>

#include <cstdint>

class MidiSettings;
class Transport;
class VirtualKeyboard;

// Plays the notes held on the virtual keyboard one after another, in the
// order they were pressed, one step every sixth transport tick (a sixteenth
// note), on MIDI channel 1. Works only while the application state's
// isArpOn is true; while off it ignores ticks and keys and keeps its lists.
// Each step's note lasts one tick and gets exactly one note-off, also when
// the arpeggiator is switched off in between (at the next tick) or all
// notes are cut (at the start of the next block).
//
// This object keeps the held notes on the GUI thread and publishes them to
// the transport's ArpeggioSteps; the steps themselves are played by
// whoever drives the transport, at each tick, so that every note-on and
// note-off leaves on the sample of its tick, through the transport's MIDI
// handler, right after that tick's clock. A late or stalled GUI thread
// delays only a change of the held notes, never a step. One arpeggiator
// per transport.
class Arpeggiator : public QObject
{
    Q_OBJECT

public:
    static constexpr int kChannel = ArpeggioSteps::kChannel;
    static constexpr int kStepLength = ArpeggioSteps::kStepLength;
    static constexpr uint8_t kVelocity = ArpeggioSteps::kVelocity;

    // Follows `keyboard`'s notes and plays them on `transport`'s ticks
    // while `settings` (the transport's too) says the arpeggiator is on.
    // The notes go out through the transport's MIDI handler.
    Arpeggiator(Transport& transport, VirtualKeyboard& keyboard, const MidiSettings& settings,
                QObject* parent = nullptr);
    // The step that sounds ends at the next block; no other starts.
    ~Arpeggiator() override;

    QVector<uint8_t> heldNotes() const { return m_heldNotes; }
    // The step's note while it sounds (one tick), else none.
    QVector<uint8_t> soundingNotes() const;
    int stepCounter() const;

private Q_SLOTS:
    void handleNoteOn(uint8_t note);
    void handleNoteOff(uint8_t note);
    void endStep();

private:
    bool isOn() const;
    void publish();

    ArpeggioSteps& m_steps;
    const MidiSettings& m_settings;
    QVector<uint8_t> m_heldNotes;
};
