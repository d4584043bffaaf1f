// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ThreadController.h"

#include "link/SerialHandler.h"

#include <QLoggingCategory>
#include <QTimer>

Q_LOGGING_CATEGORY(lcLinkThread, "kinetra.link")

ThreadController::ThreadController(SerialHandler* worker, QObject* parent)
    : QObject(parent), m_worker(worker)
{
    m_linkThread.setObjectName(QStringLiteral("kinetra-link"));
    if (worker == nullptr)
        return;
    worker->moveToThread(&m_linkThread);
    connect(&m_linkThread, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &SerialHandler::shouldStartTimer, this, &ThreadController::startTimer);
    connect(worker, &SerialHandler::shouldStopTimer, this, &ThreadController::stopTimer);
    m_linkThread.start(QThread::InheritPriority);
}

ThreadController::~ThreadController()
{
    stop();
}

void ThreadController::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    if (SerialHandler* worker = m_worker.data()) {
        // Emitted here, on the GUI thread: the direct connection stops the
        // pilot before the link thread is asked to end, so no further pilot
        // call is queued for a handler that is about to go.
        Q_EMIT worker->shouldStopTimer();
    }
    m_linkThread.quit();
    m_linkThread.wait();
    // The thread's finished() has deleted the handler on the link thread as
    // its event loop ended. If the thread never ran, the handler is still
    // here; destroy it now, once.
    if (SerialHandler* worker = m_worker.data()) {
        qCInfo(lcLinkThread) << "link thread ended without releasing the serial handler";
        delete worker;
    }
    m_worker.clear();
}

void ThreadController::startTimer()
{
    if (SerialHandler* worker = m_worker.data())
        worker->pilotTimer()->start(worker->pilotIntervalMs());
}

void ThreadController::stopTimer()
{
    if (SerialHandler* worker = m_worker.data())
        worker->pilotTimer()->stop();
}

// Band commands run on the link thread, which owns the port and the slot
// table; from any other thread they are queued there.
void ThreadController::sendBlink(uint64_t uuid)
{
    if (SerialHandler* worker = m_worker.data())
        QMetaObject::invokeMethod(worker, [worker, uuid] { worker->sendBlink(uuid); });
}

void ThreadController::sendHandChange(uint64_t uuid, bool isOnLeft)
{
    if (SerialHandler* worker = m_worker.data())
        QMetaObject::invokeMethod(
            worker, [worker, uuid, isOnLeft] { worker->sendHandChange(uuid, isOnLeft); });
}
