// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QThread>

#include <cstdint>

class SerialHandler;

// Runs the receiver link on a thread of its own: moves the serial handler
// there, and starts and stops the handler's pilot timer on the GUI thread,
// where that timer lives, when the handler asks for it. Destroying the
// controller stops the pilot, ends the link thread and destroys the handler
// exactly once.
class ThreadController : public QObject
{
    Q_OBJECT

public:
    // Takes ownership of `worker`, which must live on the calling (GUI)
    // thread and have no parent.
    explicit ThreadController(SerialHandler* worker, QObject* parent = nullptr);
    ~ThreadController() override;

    // Stops the pilot, ends the link thread, waits for it and destroys the
    // handler (which closes the port); nothing runs on the link thread
    // afterwards. Idempotent; the destructor calls it.
    void stop();
    bool isStopped() const { return m_stopped; }

    QThread* linkThread() { return &m_linkThread; }
    // The handler while it exists; null once it has been destroyed.
    SerialHandler* worker() const { return m_worker.data(); }

public Q_SLOTS:
    void startTimer();
    void stopTimer();
    void sendBlink(uint64_t uuid);
    void sendHandChange(uint64_t uuid, bool isOnLeft);

private:
    QThread m_linkThread;
    QPointer<SerialHandler> m_worker;
    bool m_stopped = false;
};
