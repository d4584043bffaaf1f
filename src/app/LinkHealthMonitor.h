// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/LinkCounters.h"
#include "link/LinkHealth.h"

#include <QObject>
#include <QTimer>

#include <memory>

class MotionControlEngine;

// Reads the link's counters once a second on the GUI thread and works out
// each known band's health (LinkHealth), in the engine's band order; the
// device panel and the headless status line show it. Once started it reads
// only while the engine knows a band: with none there is nothing to show.
//
// Threads: GUI thread. The counters are written by the link thread and only
// read here (they are atomics); the engine's band list is the GUI thread's.
class LinkHealthMonitor : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIntervalMs = 1000;

    explicit LinkHealthMonitor(MotionControlEngine& engine, QObject* parent = nullptr);

    void setCounters(std::shared_ptr<const LinkCounters> counters);
    void start();
    void stop();
    bool isReading() const { return m_timer.isActive(); }

    // Takes a reading now and emits updated().
    void sample(int64_t nowMs = LinkCounters::nowMs());
    const LinkHealth& health() const { return m_health; }
    // The figures of the band at a list position, or null.
    const LinkHealth::Band* bandAt(int position) const;

    // The engine's bands with their counters (a band the receiver moved to
    // another slot adds up over both).
    static LinkHealth::Reading read(const LinkCounters& counters, const MotionControlEngine& engine,
                                    int64_t nowMs);

Q_SIGNALS:
    void updated();

private:
    // Starts or stops the timer as the engine's band list asks.
    void followBands();

    MotionControlEngine& m_engine;
    bool m_started = false;
    std::shared_ptr<const LinkCounters> m_counters;
    LinkHealth m_health;
    QTimer m_timer;
};
