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
    if (!isOn())
        return;
    // The last note keeps getting its note off on every tick until the next
    // step replaces it: each arpeggiated note lasts one tick.
    for (const uint8_t note : m_soundingNotes)
        queue(juce::MidiMessage::noteOff(kChannel, note & 0x7F, static_cast<juce::uint8>(0)));
    if (currentTick % kStepLength != 0 || m_heldNotes.isEmpty())
        return;
    const uint8_t note = m_heldNotes.at(m_stepCounter % m_heldNotes.size());
    m_soundingNotes = {note};
    queue(juce::MidiMessage::noteOn(kChannel, note & 0x7F, static_cast<juce::uint8>(kVelocity)));
    ++m_stepCounter;
}
