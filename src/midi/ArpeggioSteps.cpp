// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/ArpeggioSteps.h"

#include <algorithm>

void ArpeggioSteps::publishHeld(const uint8_t* notes, int count)
{
    Notes& slot = m_slots[size_t(m_back)];
    slot.count = std::clamp(count, 0, kMaxHeld);
    std::copy(notes, notes + slot.count, slot.numbers.begin());
    m_back = m_middle.exchange(m_back | kFresh, std::memory_order_acq_rel) & ~kFresh;
}

int ArpeggioSteps::beginBlock()
{
    if ((m_middle.load(std::memory_order_relaxed) & kFresh) != 0)
        m_front = m_middle.exchange(m_front, std::memory_order_acq_rel) & ~kFresh;
    const uint32_t cuts = m_cutRequests.load(std::memory_order_acquire);
    if (cuts == m_cutsTaken)
        return -1;
    m_cutsTaken = cuts;
    return stop();
}

int ArpeggioSteps::stop()
{
    const int ended = m_sounding;
    m_sounding = -1;
    publishState();
    return ended;
}

ArpeggioSteps::Change ArpeggioSteps::tick(uint64_t index, bool on)
{
    Change change;
    // A step lasts one tick. Its note ends here even when the arpeggiator
    // was switched off since: it went out, so its note-off must too.
    change.noteOff = m_sounding;
    m_sounding = -1;
    const Notes& held = m_slots[size_t(m_front)];
    if (on && m_attached.load(std::memory_order_relaxed) && index % kStepLength == 0 &&
        held.count > 0) {
        change.noteOn = held.numbers[size_t(m_steps % held.count)] & 0x7F;
        m_sounding = change.noteOn;
        ++m_steps;
    }
    publishState();
    return change;
}

void ArpeggioSteps::publishState()
{
    m_soundingShared.store(m_sounding, std::memory_order_relaxed);
    m_stepsShared.store(m_steps, std::memory_order_relaxed);
}
