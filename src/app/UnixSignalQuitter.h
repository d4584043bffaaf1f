// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

// Turns SIGTERM (logging out, kill), SIGHUP (the terminal closed) and SIGINT
// (Ctrl+C) into a normal quit of the event loop, so that the application's
// quit sequence runs and saves the user's work. The signal handler only
// writes a byte to a pipe; the quit happens on the GUI thread.
class UnixSignalQuitter : public QObject
{
    Q_OBJECT

public:
    explicit UnixSignalQuitter(QObject* parent = nullptr);
    ~UnixSignalQuitter() override;

    bool isInstalled() const { return m_installed; }
    int lastSignal() const { return m_lastSignal; }

Q_SIGNALS:
    void signalReceived(int signalNumber);

private:
    void handlePipe();

    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_installed = false;
    int m_lastSignal = 0;
};
