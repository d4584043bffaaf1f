// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <vector>

// The notes a player has started and not yet ended, each kept under the
// voice that started it (a key, an arpeggio step) with the channel and
// number it went out with. A note is ended by what was sent, whatever the
// voice would play by then (another octave, the arpeggiator switched
// over). Plain bookkeeping: no MIDI, no signals; the caller sends.
class SoundingNotes
{
public:
    struct Note
    {
        int channel = 1; // 1-16
        int number = 0;  // 0-127
        bool operator==(const Note& other) const
        {
            return channel == other.channel && number == other.number;
        }
    };

    // Records that `voice` started `note`. A voice sounds one note at a
    // time: the note it was still sounding is returned, for the caller to
    // end before the new one starts.
    std::optional<Note> start(int voice, Note note);
    // The note `voice` sounds, now forgotten, for the caller to end;
    // nothing when it sounds none.
    std::optional<Note> stop(int voice);
    // Every sounding note, oldest first; all forgotten.
    std::vector<Note> stopAll();

    bool isSounding(int voice) const;
    bool isEmpty() const { return m_entries.empty(); }
    std::vector<Note> notes() const;

private:
    struct Entry
    {
        int voice = 0;
        Note note;
    };
    std::vector<Entry> m_entries; // in the order the notes started
};
