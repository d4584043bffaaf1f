// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/Arpeggiator.h"

#include "midi/MidiSettings.h"
#include "midi/Transport.h"
#include "midi/VirtualKeyboard.h"

#include <QMetaType>

Arpeggiator::Arpeggiator(Transport& transport, VirtualKeyboard& keyboard,
                         const MidiSettings& settings, QObject* parent)
    : QObject(parent), m_steps(transport.arpeggioSteps()), m_settings(settings)
{
    qRegisterMetaType<uint8_t>("uint8_t");
    connect(&keyboard, &VirtualKeyboard::noteOn, this, &Arpeggiator::handleNoteOn);
    connect(&keyboard, &VirtualKeyboard::noteOff, this, &Arpeggiator::handleNoteOff);
    connect(&keyboard, &VirtualKeyboard::allNotesEnded, this, &Arpeggiator::endStep);
    publish();
    m_steps.setAttached(true);
}

Arpeggiator::~Arpeggiator()
{
    m_steps.setAttached(false);
    m_steps.cut();
}

QVector<uint8_t> Arpeggiator::soundingNotes() const
{
    const int note = m_steps.soundingNote();
    if (note < 0)
        return {};
    return {static_cast<uint8_t>(note)};
}

int Arpeggiator::stepCounter() const
{
    return m_steps.stepCounter();
}

void Arpeggiator::endStep()
{
    m_steps.cut();
}

void Arpeggiator::publish()
{
    m_steps.publishHeld(m_heldNotes.constData(), m_heldNotes.size());
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
    publish();
}

void Arpeggiator::handleNoteOff(uint8_t note)
{
    if (!isOn() || !m_heldNotes.removeOne(note))
        return;
    publish();
}
