// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/VirtualKeyboard.h"

#include "midi/MidiHandler.h"
#include "midi/MidiSettings.h"

#include <QMetaType>

#include <algorithm>

namespace {

enum ControlKey : int
{
    KeyTransposeDown = 0x31, // 1
    KeyTransposeUp = 0x32,   // 2
    KeyOctaveDown = 0x5A,    // Z
    KeyOctaveUp = 0x58,      // X
    KeyVelocityDown = 0x43,  // C
    KeyVelocityUp = 0x56,    // V
    KeyAllNotesOff = 0x51,   // Q
};

constexpr int kSustainController = 64;

} // namespace

const std::array<int, VirtualKeyboard::kKeyCount> VirtualKeyboard::kKeyTable = {
    0x41, // A
    0x57, // W
    0x53, // S
    0x45, // E
    0x44, // D
    0x46, // F
    0x54, // T
    0x47, // G
    0x59, // Y
    0x48, // H
    0x55, // U
    0x4A, // J
    0x4B, // K
    0x4F, // O
    0x4C, // L
    0x50, // P
    0x3B, // ;
    0x27, // '
};

VirtualKeyboard::VirtualKeyboard(MidiHandler* midi, const MidiSettings& settings, QObject* parent)
    : QObject(parent), m_midi(midi), m_settings(settings)
{
    qRegisterMetaType<uint8_t>("uint8_t");
    m_keyNotes.fill(-1);
}

int VirtualKeyboard::keyPosition(int code)
{
    const auto it = std::find(kKeyTable.begin(), kKeyTable.end(), code);
    return it == kKeyTable.end() ? -1 : static_cast<int>(it - kKeyTable.begin());
}

uint8_t VirtualKeyboard::noteFor(int position, int octave, int transpose)
{
    return static_cast<uint8_t>(transpose + position + 12 * octave);
}

void VirtualKeyboard::queue(const juce::MidiMessage& message) const
{
    if (m_midi)
        m_midi->queueMessage(message, 0);
}

bool VirtualKeyboard::isArpeggiatorOn() const
{
    return m_settings.getArpeggiatorState();
}

bool VirtualKeyboard::handleControlPress(int code)
{
    switch (code) {
    case KeyTransposeDown:
        m_transpose = std::max(0, m_transpose - 1);
        return true;
    case KeyTransposeUp:
        m_transpose = std::min(kMaxTranspose, m_transpose + 1);
        return true;
    case KeyOctaveDown:
        m_octave = std::max(0, m_octave - 1);
        return true;
    case KeyOctaveUp:
        m_octave = m_octave >= kMaxOctave ? 0 : m_octave + 1;
        return true;
    case KeyVelocityDown:
        m_velocity = std::max(1, m_velocity - kVelocityStep);
        return true;
    case KeyVelocityUp:
        m_velocity = std::min(127, m_velocity + kVelocityStep);
        return true;
    case KeyAllNotesOff:
        // Each note this keyboard started gets its own note-off first, so
        // that no later release ends it a second time.
        endSounding();
        queue(juce::MidiMessage::allNotesOff(kChannel));
        Q_EMIT allNotesEnded();
        return true;
    case kTabKey:
        queue(juce::MidiMessage::controllerEvent(kChannel, kSustainController, 127));
        return true;
    default:
        return false;
    }
}

void VirtualKeyboard::keyPressed(int code)
{
    const int octave = m_octave, transpose = m_transpose, velocity = m_velocity;
    if (handleControlPress(code)) {
        if (octave != m_octave || transpose != m_transpose || velocity != m_velocity)
            Q_EMIT settingsChanged();
        return;
    }
    const int position = keyPosition(code);
    if (position < 0)
        return;
    // A key pressed again without its release in between plays anew: its
    // first note ends here, as one release will come for both.
    if (m_keyNotes[position] >= 0)
        releaseKey(position);
    const uint8_t note = noteFor(position, m_octave, m_transpose);
    if (!isArpeggiatorOn()) {
        const int number = note & 0x7F;
        m_sounding.start(position, {kChannel, number});
        queue(juce::MidiMessage::noteOn(kChannel, number, static_cast<juce::uint8>(m_velocity)));
    }
    m_keyNotes[position] = note;
    m_pressedNotes.append(note);
    Q_EMIT noteOn(note);
}

void VirtualKeyboard::keyReleased(int code)
{
    if (code == kTabKey) {
        queue(juce::MidiMessage::controllerEvent(kChannel, kSustainController, 0));
        return;
    }
    const int position = keyPosition(code);
    if (position < 0 || m_keyNotes[position] < 0)
        return;
    releaseKey(position);
}

// Ends the key's own note, the one it started whatever octave, transpose or
// arpeggiator state holds now.
void VirtualKeyboard::releaseKey(int position)
{
    const uint8_t note = static_cast<uint8_t>(m_keyNotes[position]);
    m_keyNotes[position] = -1;
    if (const auto sent = m_sounding.stop(position))
        queue(juce::MidiMessage::noteOff(sent->channel, sent->number, static_cast<juce::uint8>(0)));
    const int index = m_pressedNotes.lastIndexOf(note);
    if (index >= 0)
        m_pressedNotes.remove(index);
    Q_EMIT noteOff(note);
}

void VirtualKeyboard::endSounding()
{
    for (const SoundingNotes::Note& sent : m_sounding.stopAll())
        queue(juce::MidiMessage::noteOff(sent.channel, sent.number, static_cast<juce::uint8>(0)));
}

void VirtualKeyboard::allNoteOff()
{
    endSounding();
    const QVector<uint8_t> notes = m_pressedNotes;
    m_pressedNotes.clear();
    m_keyNotes.fill(-1);
    for (const uint8_t note : notes)
        Q_EMIT noteOff(note);
    Q_EMIT allNotesEnded();
}
