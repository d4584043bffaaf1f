// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class QSocketNotifier;

// Runs the audio library's pending messages (its timers, asynchronous
// updates and change broadcasts) on the GUI thread while Qt's event loop
// runs, so that both libraries share one message thread. The library's
// message manager must have been created on this thread first.
//
// The library's message loop waits on file descriptors (its message queue
// is a socket pair; its timers post to that queue from their own thread):
// the pump watches each of them with a socket notifier and dispatches when
// one becomes readable, so the GUI thread sleeps while the library has
// nothing to do. Only when that cannot be set up (no message manager at
// start()) does it look every kIntervalMs instead.
class JuceMessagePump : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 4;

    explicit JuceMessagePump(QObject* parent = nullptr);
    ~JuceMessagePump() override;

    // Dispatches everything that is pending now; returns how many messages
    // ran.
    int dispatchPending();
    void start();
    void stop();
    // Whether the pump waits on the library's descriptors (not on a timer).
    bool isWatchingDescriptors() const { return m_listener != nullptr; }

private:
    struct Listener;
    void watchDescriptors();

    QTimer m_timer;
    std::unique_ptr<Listener> m_listener;
    std::vector<std::unique_ptr<QSocketNotifier>> m_notifiers;
};
