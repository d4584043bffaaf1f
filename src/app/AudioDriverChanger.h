// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class AudioProcessorHolder;

// Changes the audio host's driver type without holding up the window, and
// signals timedOut() when no device has opened within the time-out (whoever
// sees the device start calls stopTimeoutTimer).
//
// Threads: the object and its timer live on the GUI thread. Each change runs
// on a thread of its own that nobody joins: a driver that never opens a
// device leaves its thread blocked, and quitting must not wait for that
// forever (waitForDriverChanges waits only as long as it is told). A change
// holds the host it works on until it ends, so the host outlives it even if
// everyone else let go; the change's reference then goes back to the GUI
// thread, so the host is never destroyed on the change's thread.
class AudioDriverChanger : public QObject
{
    Q_OBJECT

public:
    static constexpr int kTimeoutMs = 5000;

    explicit AudioDriverChanger(QObject* parent = nullptr);
    ~AudioDriverChanger() override;

    // Restarts the time-out and sets `host`'s driver type to `type` on a new
    // thread; returns at once, true when that thread started. Without a host
    // only the time-out runs. Once stopped, does nothing at all.
    bool change(std::shared_ptr<AudioProcessorHolder> host, const QString& type);
    // Later changes do nothing and the time-out stops; changes already
    // running go on. For quitting.
    void setStopped();
    bool isStopped() const { return m_stopped; }

    void setTimeoutMs(int ms);
    bool isTimerActive() const { return m_timer.isActive(); }
    int remainingMs() const { return m_timer.remainingTime(); }
    void stopTimeoutTimer();

    // Changes started and not ended yet.
    int pendingDriverChanges() const;
    // Blocks until no change is running, at most `timeoutMs`; true when none
    // is. On success the ended changes no longer hold any host. GUI thread.
    bool waitForDriverChanges(int timeoutMs);

Q_SIGNALS:
    void timedOut();

private:
    class Jobs;

    QTimer m_timer;
    std::shared_ptr<Jobs> m_jobs;
    bool m_stopped = false;
};
