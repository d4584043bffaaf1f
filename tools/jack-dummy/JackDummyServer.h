// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <memory>

class QProcess;

// A JACK server on the dummy driver (44.1 kHz, `period` samples per block),
// started by the test or benchmark that needs it and stopped when this
// object goes, under a name of its own so that it never meets a server of
// the user's. start() points this process's JACK clients at it
// (JACK_DEFAULT_SERVER) and waits until a client sees its playback ports.
//
// With ReuseRunning, a server the test command already started (named by
// JACK_DEFAULT_SERVER) is used instead of starting one. The server runs
// without real-time scheduling unless `realtime` is set (as JACK runs on a
// desktop; it needs the right to real-time priority).
class JackDummyServer
{
public:
    enum class Mode
    {
        ReuseRunning,
        Private
    };
    static constexpr int kSampleRate = 44100;

    explicit JackDummyServer(Mode mode = Mode::ReuseRunning, int period = 64,
                             bool realtime = false);
    ~JackDummyServer();
    JackDummyServer(const JackDummyServer&) = delete;
    JackDummyServer& operator=(const JackDummyServer&) = delete;

    // An empty string once a client sees the server's ports, else why not.
    QString start();
    void stop();
    // Whether start() failed only because jackd is not installed.
    static bool isMissing(const QString& problem);
    QString name() const { return m_name; }
    int period() const { return m_period; }

private:
    Mode m_mode;
    int m_period;
    bool m_realtime;
    QString m_name;
    std::unique_ptr<QProcess> m_process;
};
