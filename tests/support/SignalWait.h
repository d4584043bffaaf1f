// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

#include <csignal>
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

// Ends `app` with SIGTERM as a session manager would, gathering what it
// prints into `output`. Returns its exit code; -1000 when it had not ended
// after `timeoutMs` (it is then killed), -2000 when it crashed.
inline int terminateProcess(QProcess& app, QString& output, int timeoutMs = 60000)
{
    ::kill(pid_t(app.processId()), SIGTERM);
    waitUntil(
        [&] {
            output += QString::fromLocal8Bit(app.readAll());
            return app.state() == QProcess::NotRunning;
        },
        timeoutMs);
    output += QString::fromLocal8Bit(app.readAll());
    if (app.state() != QProcess::NotRunning) {
        app.kill();
        app.waitForFinished(5000);
        return -1000;
    }
    return app.exitStatus() == QProcess::NormalExit ? app.exitCode() : -2000;
}

} // namespace testsupport
