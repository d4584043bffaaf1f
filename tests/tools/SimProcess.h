// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <mutex>

// Runs the kinetra-sim program as a child process: collects its output
// lines, types commands on its standard input and keeps the path of the
// terminal it currently offers (empty while it is unplugged). The path can
// be read from any thread (the serial handler's port search runs on the
// link thread); everything else belongs to the thread that created it.
class SimProcess
{
public:
    SimProcess() = default;
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the program and waits for its first "port" line.
    bool start(const QStringList& arguments, int timeoutMs = 10000);
    void send(const QString& command);
    // Waits (running the event loop) for an output line matching `pattern`
    // that arrived after line number `fromLine`; returns the match.
    QRegularExpressionMatch waitForLine(const QString& pattern, int fromLine = 0,
                                        int timeoutMs = 10000);
    int lineCount() const { return m_lines.size(); }
    QStringList lines() const { return m_lines; }
    QString portPath() const;
    QString errorOutput() const { return m_stderr; }
    void stop();

private:
    void readOutput();

    QProcess m_process;
    QByteArray m_pending;
    QStringList m_lines;
    QString m_stderr;
    mutable std::mutex m_portLock;
    QString m_port;
};
