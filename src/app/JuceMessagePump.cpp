// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/JuceMessagePump.h"

#include <juce_events/juce_events.h>

namespace juce {
// Defined by the audio library's Linux message loop: runs one pending
// message (or file-descriptor callback) and reports whether there was one.
bool dispatchNextMessageOnSystemQueue(bool returnIfNoPendingMessages);
} // namespace juce

namespace {
// Bounds one pump so that a flood of messages cannot starve Qt's own events.
constexpr int kMaxMessagesPerPump = 256;
} // namespace

JuceMessagePump::JuceMessagePump(QObject* parent) : QObject(parent)
{
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &JuceMessagePump::dispatchPending);
}

int JuceMessagePump::dispatchPending()
{
    if (juce::MessageManager::getInstanceWithoutCreating() == nullptr)
        return 0;
    int count = 0;
    while (count < kMaxMessagesPerPump && juce::dispatchNextMessageOnSystemQueue(true))
        ++count;
    return count;
}
