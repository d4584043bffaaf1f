// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace testsupport {

// A pseudo-terminal pair standing in for the receiver's serial port: the
// code under test opens slavePath() like a serial device, the test plays the
// receiver through the master side.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }

    // Writes every byte to the master side; false when the write failed.
    bool write(const QByteArray& bytes);
    // Reads what the code under test wrote until `count` bytes arrived or
    // `timeoutMs` passed, processing the calling thread's Qt events
    // meanwhile.
    QByteArray read(int count, int timeoutMs = 2000);
    // Reads whatever is available within `timeoutMs`.
    QByteArray readAvailable(int timeoutMs = 50);

    // Closes the master side: the far end hangs up, as when the receiver is
    // unplugged.
    void hangUp();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

} // namespace testsupport
