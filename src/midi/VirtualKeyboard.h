// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/SoundingNotes.h"

#include <QObject>
#include <QVector>

#include <array>
#include <cstdint>

namespace juce {
class MidiMessage;
}

// The computer keyboard as a small MIDI keyboard on channel 1. Eighteen keys
// play notes in a piano-like layout (A = C of the current octave); 1/2
// transpose, Z/X change octave, C/V change velocity, Q sends all notes off
// and Tab is the sustain pedal. While the arpeggiator is on, note keys send
// nothing themselves and only report presses and releases through
// noteOn/noteOff. Every note-on sent gets exactly one note-off, for the
// note that went out: a key held across an octave, transpose or
// arpeggiator change still ends its own note. GUI thread only.
class MidiHandler;
class MidiSettings;

class VirtualKeyboard : public QObject
{
    Q_OBJECT

public:
    static constexpr int kChannel = 1;
    static constexpr int kKeyCount = 18;
    static constexpr int kMaxOctave = 9;
    static constexpr int kMaxTranspose = 11;
    static constexpr int kVelocityStep = 5;
    static constexpr int kDefaultOctave = 4;
    static constexpr int kDefaultVelocity = 100;
    static constexpr int kTabKey = 0x01000001; // Qt::Key_Tab

    // Qt key codes in note order: position = semitones above the octave's C.
    static const std::array<int, kKeyCount> kKeyTable;

    // The keyboard's settings as the window shows them; the keys (Z/X, 1/2,
    // C/V) change them.
    Q_PROPERTY(int octave READ octave NOTIFY settingsChanged)
    Q_PROPERTY(int transpose READ transpose NOTIFY settingsChanged)
    Q_PROPERTY(int velocity READ velocity NOTIFY settingsChanged)

    // Plays through `midi` (may be none); `settings` says whether the
    // arpeggiator takes the notes instead.
    VirtualKeyboard(MidiHandler* midi, const MidiSettings& settings, QObject* parent = nullptr);

    // Quitting detaches the MIDI handler before releasing it (GUI thread).
    void setMidiHandler(MidiHandler* midi) { m_midi = midi; }

    Q_INVOKABLE void keyPressed(int code);
    Q_INVOKABLE void keyReleased(int code);
    // Releases every pressed key (the window lost focus, so their releases
    // will not arrive): ends each sounding note once, reports each pressed
    // note released and forgets them.
    Q_INVOKABLE void allNoteOff();

    int octave() const { return m_octave; }
    int transpose() const { return m_transpose; }
    int velocity() const { return m_velocity; }
    QVector<uint8_t> pressedNotes() const { return m_pressedNotes; }

    // Position of `code` in the key table, or -1.
    static int keyPosition(int code);
    // The note a key position plays; wraps to 8 bits as the note counter
    // always has (only the low 7 bits reach the MIDI message).
    static uint8_t noteFor(int position, int octave, int transpose);

Q_SIGNALS:
    void noteOn(uint8_t note);
    void noteOff(uint8_t note);
    // Everything sounding is to be cut now (all notes off, focus lost): the
    // arpeggiator ends its step at once.
    void allNotesEnded();
    // Octave, transpose or velocity changed.
    void settingsChanged();

private:
    bool handleControlPress(int code);
    bool isArpeggiatorOn() const;
    void releaseKey(int position);
    void endSounding();

    void queue(const juce::MidiMessage& message) const;

    MidiHandler* m_midi = nullptr;
    const MidiSettings& m_settings;
    QVector<uint8_t> m_pressedNotes;
    // The note each key position started, -1 while the key is up.
    std::array<int, kKeyCount> m_keyNotes;
    // What went out as note-ons, by key position.
    SoundingNotes m_sounding;
    int m_octave = kDefaultOctave;
    int m_transpose = 0;
    int m_velocity = kDefaultVelocity;
};
