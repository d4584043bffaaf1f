// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/JuceMessagePump.h"

#include <juce_events/juce_events.h>
#include <juce_events/native/juce_linux_EventLoopInternal.h>

#include <QSocketNotifier>

namespace juce {
// Defined by the audio library's Linux message loop: runs one pending
// message (or file-descriptor callback) and reports whether there was one.
bool dispatchNextMessageOnSystemQueue(bool returnIfNoPendingMessages);
} // namespace juce

namespace {
// Bounds one pump so that a flood of messages cannot starve Qt's own events.
constexpr int kMaxMessagesPerPump = 256;
} // namespace

// Told by the library's run loop when a descriptor is added or removed
// (on the thread that does it, possibly inside a dispatch): the notifiers
// are rebuilt on the GUI thread afterwards.
struct JuceMessagePump::Listener : juce::LinuxEventLoopInternal::Listener
{
    explicit Listener(JuceMessagePump& pump) : m_pump(pump) {}
    void fdCallbacksChanged() override
    {
        QMetaObject::invokeMethod(
            &m_pump, [pump = &m_pump] { pump->watchDescriptors(); }, Qt::QueuedConnection);
    }
    JuceMessagePump& m_pump;
};

JuceMessagePump::JuceMessagePump(QObject* parent) : QObject(parent)
{
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &JuceMessagePump::dispatchPending);
}

JuceMessagePump::~JuceMessagePump()
{
    stop();
}

void JuceMessagePump::start()
{
    if (m_listener || m_timer.isActive())
        return;
    if (juce::MessageManager::getInstanceWithoutCreating() == nullptr) {
        m_timer.start();
        return;
    }
    m_listener = std::make_unique<Listener>(*this);
    juce::LinuxEventLoopInternal::registerLinuxEventLoopListener(*m_listener);
    watchDescriptors();
    // Whatever was posted before the notifiers existed.
    QMetaObject::invokeMethod(this, &JuceMessagePump::dispatchPending, Qt::QueuedConnection);
}

void JuceMessagePump::stop()
{
    m_timer.stop();
    m_notifiers.clear();
    if (m_listener) {
        juce::LinuxEventLoopInternal::deregisterLinuxEventLoopListener(*m_listener);
        m_listener.reset();
    }
}

void JuceMessagePump::watchDescriptors()
{
    if (!m_listener)
        return;
    // Replaced after the current dispatch, in case one of them emitted it.
    for (auto& notifier : m_notifiers) {
        notifier->setEnabled(false);
        notifier.release()->deleteLater();
    }
    m_notifiers.clear();
    for (const int fd : juce::LinuxEventLoopInternal::getRegisteredFds()) {
        auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(notifier.get(), &QSocketNotifier::activated, this,
                &JuceMessagePump::dispatchPending);
        m_notifiers.push_back(std::move(notifier));
    }
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
