// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

// Runs the audio library's pending messages (its timers, asynchronous
// updates and change broadcasts) on the GUI thread while Qt's event loop
// runs, so that both libraries share one message thread. The library's
// message manager must have been created on this thread first.
class JuceMessagePump : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 4;

    explicit JuceMessagePump(QObject* parent = nullptr);

    // Dispatches everything that is pending now; returns how many messages
    // ran.
    int dispatchPending();
    void start() { m_timer.start(); }
    void stop() { m_timer.stop(); }

private:
    QTimer m_timer;
};
