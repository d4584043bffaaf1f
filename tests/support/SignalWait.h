// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

namespace testsupport {

// Runs the event loop until `done` holds or `timeoutMs` passes; returns
// whether the condition was met. Used where a result arrives through queued
// calls from another thread rather than through one particular signal.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 3000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

} // namespace testsupport
