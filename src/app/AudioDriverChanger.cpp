// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AudioDriverChanger.h"

#include "audio/AudioProcessorHolder.h"

#include <QLoggingCategory>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

Q_LOGGING_CATEGORY(lcDriverChange, "kinetra.app")

// The changes started and not ended, and the hosts ended changes still
// hold. Shared by the changer, its change threads and their requests to the
// GUI thread, so it lives as long as the last of them.
//
// Threads: the GUI thread and the change threads, always under m_mutex.
// Lock order: m_mutex, then Qt's event queue (end posts under it); no host
// is destroyed while it is held.
class AudioDriverChanger::Jobs : public std::enable_shared_from_this<Jobs>
{
public:
    using Host = std::shared_ptr<AudioProcessorHolder>;

    void begin()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_pending;
    }
    // Change thread: the change is over. Its reference to the host stays
    // here until the GUI thread lets it go, so the last reference never
    // drops on the change thread; the request to let go is posted under the
    // lock, while that reference still keeps the host (its receiver) alive.
    void end(Host host)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            --m_pending;
            if (host) {
                AudioProcessorHolder* receiver = host.get();
                m_ended.push_back(std::move(host));
                QMetaObject::invokeMethod(
                    receiver, [self = shared_from_this()] { self->releaseHosts(); },
                    Qt::QueuedConnection);
            }
        }
        m_idle.notify_all();
    }
    int pending() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_pending;
    }
    bool waitIdle(int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [this] { return m_pending == 0; });
    }
    // GUI thread: drops the references ended changes hold; a host nobody
    // else holds is destroyed here, after the lock is released.
    void releaseHosts()
    {
        std::vector<Host> ended;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ended.swap(m_ended);
        }
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_pending = 0;
    std::vector<Host> m_ended;
};

AudioDriverChanger::AudioDriverChanger(QObject* parent)
    : QObject(parent), m_jobs(std::make_shared<Jobs>())
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kTimeoutMs);
    QObject::connect(&m_timer, &QTimer::timeout, this, &AudioDriverChanger::timedOut);
}

AudioDriverChanger::~AudioDriverChanger()
{
    // Changes still running keep their host and hand it back on their own.
    m_jobs->releaseHosts();
}

bool AudioDriverChanger::change(std::shared_ptr<AudioProcessorHolder> host, const QString& type)
{
    m_timer.stop();
    if (m_stopped)
        return false;
    m_jobs->releaseHosts();
    bool started = false;
    if (host) {
        std::shared_ptr<Jobs> jobs = m_jobs;
        jobs->begin();
        try {
            std::thread([host, type, jobs]() mutable {
                host->setAudioDeviceType(type);
                jobs->end(std::move(host));
            }).detach();
            started = true;
        } catch (const std::system_error& error) {
            // The time-out tells the user that the driver did not change.
            qCWarning(lcDriverChange) << "cannot start the driver change:" << error.what();
            jobs->end(nullptr);
        }
    }
    m_timer.start();
    return started;
}

void AudioDriverChanger::setStopped()
{
    m_stopped = true;
    m_timer.stop();
}

void AudioDriverChanger::setTimeoutMs(int ms)
{
    m_timer.setInterval(ms);
}

void AudioDriverChanger::stopTimeoutTimer()
{
    m_timer.stop();
}

int AudioDriverChanger::pendingDriverChanges() const
{
    return m_jobs->pending();
}

bool AudioDriverChanger::waitForDriverChanges(int timeoutMs)
{
    const bool idle = m_jobs->waitIdle(timeoutMs);
    m_jobs->releaseHosts();
    return idle;
}
