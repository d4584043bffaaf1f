// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MidiMonitor.h"

MidiMonitor::MidiMonitor(QObject* parent) : QObject(parent)
{
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, &MidiMonitor::poll);
}

void MidiMonitor::setWatched(bool watched)
{
    if (watched == m_timer.isActive())
        return;
    if (watched) {
        poll();
        m_timer.start();
    } else {
        m_timer.stop();
    }
    Q_EMIT watchedChanged();
}

void MidiMonitor::poll()
{
    const uint32_t count = m_log.count();
    if (count == m_seen)
        return;
    m_seen = count;
    QStringList lines;
    for (uint32_t packed : m_log.latest(kLines))
        lines.append(QString::fromStdString(SentMidiLog::describe(packed)));
    m_lines = lines;
    Q_EMIT linesChanged();
}
