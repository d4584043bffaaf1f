// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UnixSignalQuitter.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcSignals, "kinetra.app")

namespace {

int g_pipe[2] = {-1, -1};

extern "C" void onQuitSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

} // namespace

UnixSignalQuitter::UnixSignalQuitter(QObject* parent) : QObject(parent)
{
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qCWarning(lcSignals) << "cannot create the signal pipe; SIGTERM will not save";
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &UnixSignalQuitter::handlePipe);
    struct sigaction action
    {
    };
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : kSignals)
        ::sigaction(s, &action, nullptr);
    m_installed = true;
}

UnixSignalQuitter::~UnixSignalQuitter()
{
    if (!m_installed)
        return;
    struct sigaction action
    {
    };
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int s : kSignals)
        ::sigaction(s, &action, nullptr);
}

void UnixSignalQuitter::handlePipe()
{
    unsigned char byte = 0;
    bool any = false;
    while (::read(g_pipe[0], &byte, 1) == 1) {
        m_lastSignal = byte;
        any = true;
    }
    if (!any)
        return;
    qCInfo(lcSignals) << "quitting on signal" << m_lastSignal;
    Q_EMIT signalReceived(m_lastSignal);
    QCoreApplication::quit();
}
