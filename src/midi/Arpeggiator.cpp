// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/Arpeggiator.h"

#include "midi/MidiHandler.h"
#include "midi/MidiSettings.h"
#include "midi/Transport.h"
#include "midi/VirtualKeyboard.h"

#include <QMetaType>

Arpeggiator::Arpeggiator(Transport& transport, VirtualKeyboard& keyboard, MidiHandler* midi,
                         const MidiSettings& settings, QObject* parent)
    : QObject(parent), m_midi(midi), m_settings(settings)
{
    qRegisterMetaType<uint64_t>("uint64_t");
    qRegisterMetaType<uint8_t>("uint8_t");
    connect(&transport, &Transport::ticked, this, &Arpeggiator::handleTick);
    connect(&keyboard, &VirtualKeyboard::noteOn, this, &Arpeggiator::handleNoteOn);
    connect(&keyboard, &VirtualKeyboard::noteOff, this, &Arpeggiator::handleNoteOff);
    connect(&keyboard, &VirtualKeyboard::allNotesEnded, this, &Arpeggiator::endStep);
}

QVector<uint8_t> Arpeggiator::soundingNotes() const
{
    QVector<uint8_t> notes;
    for (const SoundingNotes::Note& note : m_sounding.notes())
        notes.append(static_cast<uint8_t>(note.number));
    return notes;
}

void Arpeggiator::endStep()
{
    if (const auto sent = m_sounding.stop(0))
        queue(juce::MidiMessage::noteOff(sent->channel, sent->number, static_cast<juce::uint8>(0)));
}

void Arpeggiator::queue(const juce::MidiMessage& message) const
{
    if (m_midi)
        m_midi->queueMessage(message, 0);
}

bool Arpeggiator::isOn() const
{
    return m_settings.getArpeggiatorState();
}

void Arpeggiator::handleNoteOn(uint8_t note)
{
    if (!isOn() || m_heldNotes.contains(note))
        return;
    m_heldNotes.append(note);
}

void Arpeggiator::handleNoteOff(uint8_t note)
{
    if (!isOn())
        return;
    m_heldNotes.removeOne(note);
}

void Arpeggiator::handleTick(uint64_t currentTick)
{
    // A step lasts one tick. Its note ends here even when the arpeggiator
    // was switched off since: it went out, so its note-off must too.
    endStep();
    if (!isOn())
        return;
    if (currentTick % kStepLength != 0 || m_heldNotes.isEmpty())
        return;
    const uint8_t note = m_heldNotes.at(m_stepCounter % m_heldNotes.size());
    const int number = note & 0x7F;
    m_sounding.start(0, {kChannel, number});
    queue(juce::MidiMessage::noteOn(kChannel, number, static_cast<juce::uint8>(kVelocity)));
    ++m_stepCounter;
}
