// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimulatedReceiver.h"

#include <mutex>

struct SimulatedReceiver::Port
{
    mutable std::mutex lock;
    QString path;

    void set(const QString& p)
    {
        std::lock_guard<std::mutex> guard(lock);
        path = p;
    }

    QString get() const
    {
        std::lock_guard<std::mutex> guard(lock);
        return path;
    }
};

SimulatedReceiver::SimulatedReceiver(ReceiverSimulator::Config config, QObject* parent)
    : QObject(parent), m_config(std::move(config)), m_port(std::make_shared<Port>())
{
    m_thread.setObjectName(QStringLiteral("receiver simulator"));
}

SimulatedReceiver::~SimulatedReceiver()
{
    if (!m_thread.isRunning())
        return;
    // The simulator is destroyed on its own thread, closing its terminal.
    QMetaObject::invokeMethod(
        m_simulator, [sim = m_simulator] { delete sim; }, Qt::BlockingQueuedConnection);
    m_simulator = nullptr;
    m_port->set(QString());
    m_thread.quit();
    m_thread.wait();
}

bool SimulatedReceiver::start()
{
    if (m_thread.isRunning())
        return true;
    auto* sim = new ReceiverSimulator(m_config);
    const std::shared_ptr<Port> port = m_port;
    // These run on the simulator's thread, where the signals are emitted.
    connect(sim, &ReceiverSimulator::portOpened, sim,
            [port](const QString& path) { port->set(path); });
    connect(sim, &ReceiverSimulator::portClosed, sim, [port] { port->set(QString()); });
    connect(sim, &ReceiverSimulator::message, this, &SimulatedReceiver::message);
    // Its timers are its children and move with it.
    sim->moveToThread(&m_thread);
    m_simulator = sim;
    m_thread.start();
    bool plugged = false;
    QMetaObject::invokeMethod(
        sim, [sim, &plugged] { plugged = sim->plug(); }, Qt::BlockingQueuedConnection);
    if (!plugged) {
        QMetaObject::invokeMethod(
            sim, [sim] { delete sim; }, Qt::BlockingQueuedConnection);
        m_simulator = nullptr;
        m_thread.quit();
        m_thread.wait();
    }
    return plugged;
}

QString SimulatedReceiver::portPath() const
{
    return m_port->get();
}

std::function<QString()> SimulatedReceiver::portSearch() const
{
    const std::shared_ptr<Port> port = m_port;
    return [port] { return port->get(); };
}

void SimulatedReceiver::execute(const QString& line)
{
    if (m_simulator)
        QMetaObject::invokeMethod(m_simulator, [sim = m_simulator, line] { sim->execute(line); });
}
