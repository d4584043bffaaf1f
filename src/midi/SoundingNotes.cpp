// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/SoundingNotes.h"

#include <algorithm>

std::optional<SoundingNotes::Note> SoundingNotes::start(int voice, Note note)
{
    std::optional<Note> previous = stop(voice);
    m_entries.push_back({voice, note});
    return previous;
}

std::optional<SoundingNotes::Note> SoundingNotes::stop(int voice)
{
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [voice](const Entry& entry) { return entry.voice == voice; });
    if (it == m_entries.end())
        return std::nullopt;
    const Note note = it->note;
    m_entries.erase(it);
    return note;
}

std::vector<SoundingNotes::Note> SoundingNotes::stopAll()
{
    std::vector<Note> ended = notes();
    m_entries.clear();
    return ended;
}

bool SoundingNotes::isSounding(int voice) const
{
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [voice](const Entry& entry) { return entry.voice == voice; });
}

std::vector<SoundingNotes::Note> SoundingNotes::notes() const
{
    std::vector<Note> result;
    result.reserve(m_entries.size());
    for (const Entry& entry : m_entries)
        result.push_back(entry.note);
    return result;
}
