// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ReceiverSimulator.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

// A simulated receiver running on a thread of its own, for the
// application's demo mode: start() opens its terminal, portSearch() gives
// the serial handler a search that finds it (again after a replug), and
// destruction closes the terminal and ends the thread. The simulator itself
// is created, used and destroyed on that thread only.
class SimulatedReceiver : public QObject
{
    Q_OBJECT

public:
    explicit SimulatedReceiver(ReceiverSimulator::Config config, QObject* parent = nullptr);
    ~SimulatedReceiver() override;

    // Starts the thread and opens the terminal; false when no terminal
    // could be opened (the thread is stopped again).
    bool start();
    bool isRunning() const { return m_thread.isRunning(); }
    // The terminal's current path, empty while unplugged. Any thread.
    QString portPath() const;
    // A search for SerialHandler::setPortSearch; safe to call from the link
    // thread, and after this object is gone (it then finds nothing).
    std::function<QString()> portSearch() const;
    // Runs a simulator command line (see SimulatorCommand) on its thread.
    void execute(const QString& line);

Q_SIGNALS:
    // Each line the simulator reports, delivered on this object's thread.
    void message(const QString& line);

private:
    struct Port;

    ReceiverSimulator::Config m_config;
    QThread m_thread;
    ReceiverSimulator* m_simulator = nullptr;
    std::shared_ptr<Port> m_port;
};
