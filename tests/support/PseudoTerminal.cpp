// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PseudoTerminal.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>

namespace testsupport {

PseudoTerminal::PseudoTerminal()
{
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    termios tio{};
    if (::tcgetattr(m_slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_slave, TCSANOW, &tio);
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_slavePath = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal()
{
    hangUp();
}

bool PseudoTerminal::write(const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    QElapsedTimer clock;
    clock.start();
    while (left > 0) {
        const ssize_t n = ::write(m_master, data, static_cast<size_t>(left));
        if (n > 0) {
            data += n;
            left -= n;
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (clock.elapsed() > 2000)
                return false;
            pollfd p{m_master, POLLOUT, 0};
            ::poll(&p, 1, 10);
        } else {
            return false;
        }
    }
    return true;
}

QByteArray PseudoTerminal::read(int count, int timeoutMs)
{
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (out.size() < count && m_master >= 0) {
        const int left = timeoutMs - static_cast<int>(clock.elapsed());
        if (left <= 0)
            break;
        // Keep the caller's event loop turning: the code under test often
        // writes from timers and queued calls of this thread.
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, left < 5 ? left : 5) <= 0)
            continue;
        char buffer[512];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0)
            out.append(buffer, static_cast<int>(n));
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        else if (n == 0)
            break;
    }
    return out;
}

QByteArray PseudoTerminal::readAvailable(int timeoutMs)
{
    return read(1 << 20, timeoutMs);
}

void PseudoTerminal::hangUp()
{
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
}

} // namespace testsupport
