// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimProcess.h"

#include "support/SignalWait.h"

#include <mutex>

SimProcess::~SimProcess()
{
    stop();
}

bool SimProcess::start(const QStringList& arguments, int timeoutMs)
{
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { readOutput(); });
    QObject::connect(&m_process, &QProcess::readyReadStandardError, [this] {
        m_stderr += QString::fromLocal8Bit(m_process.readAllStandardError());
    });
    m_process.start(QStringLiteral(KINETRA_SIM_PATH), arguments);
    if (!m_process.waitForStarted(timeoutMs))
        return false;
    return waitForLine(QStringLiteral("^port (\\S+)$"), 0, timeoutMs).hasMatch();
}

void SimProcess::send(const QString& command)
{
    m_process.write(command.toLocal8Bit() + '\n');
}

void SimProcess::readOutput()
{
    m_pending += m_process.readAllStandardOutput();
    int end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromLocal8Bit(m_pending.left(end));
        m_pending.remove(0, end + 1);
        m_lines << line;
        if (line.startsWith(QLatin1String("port "))) {
            std::lock_guard<std::mutex> lock(m_portLock);
            m_port = line.mid(5).trimmed();
        } else if (line == QLatin1String("unplugged")) {
            std::lock_guard<std::mutex> lock(m_portLock);
            m_port.clear();
        }
    }
}

QRegularExpressionMatch SimProcess::waitForLine(const QString& pattern, int fromLine, int timeoutMs)
{
    const QRegularExpression re(pattern);
    QRegularExpressionMatch found;
    int next = fromLine;
    testsupport::waitUntil(
        [&] {
            for (; next < m_lines.size(); ++next) {
                const auto m = re.match(m_lines[next]);
                if (m.hasMatch()) {
                    found = m;
                    return true;
                }
            }
            return m_process.state() == QProcess::NotRunning && !m_process.bytesAvailable();
        },
        timeoutMs);
    return found;
}

QString SimProcess::portPath() const
{
    std::lock_guard<std::mutex> lock(m_portLock);
    return m_port;
}

void SimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}
