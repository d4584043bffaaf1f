// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/SentMidiLog.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

// The window's MIDI monitor: the last messages sent, in readable form.
// Owns the log the MIDI handler writes to and, while someone watches (the
// monitor window is shown), reads it ten times a second on the GUI thread.
class MidiMonitor : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList lines READ lines NOTIFY linesChanged)
    Q_PROPERTY(bool watched READ isWatched WRITE setWatched NOTIFY watchedChanged)

public:
    static constexpr int kLines = 12;
    static constexpr int kPollMs = 100;

    explicit MidiMonitor(QObject* parent = nullptr);

    SentMidiLog* log() { return &m_log; }
    QStringList lines() const { return m_lines; }
    // Reads the log now (the timer calls it).
    void poll();
    // The log is read only while watched; being watched reads it at once.
    bool isWatched() const { return m_timer.isActive(); }
    void setWatched(bool watched);

Q_SIGNALS:
    void linesChanged();
    void watchedChanged();

private:
    SentMidiLog m_log;
    QStringList m_lines;
    uint32_t m_seen = 0;
    QTimer m_timer;
};
