#pragma once

#include <QString>

#include <memory>

class QProcess;

// A private JACK server on the dummy driver, started and stopped by the
// benchmark that needs it: 44.1 kHz, `period` samples per block, under a
// name of its own so that it never meets a server of the user's. start()
// points this process's JACK clients at it (JACK_DEFAULT_SERVER) and waits
// until a client sees its playback ports. The server runs without real-time
// scheduling unless `realtime` is set (as JACK runs on a desktop; it needs
// the right to real-time priority).
class JackDummyServer
{
public:
    static constexpr int kSampleRate = 44100;

    explicit JackDummyServer(int period, bool realtime = false);
    ~JackDummyServer();
    JackDummyServer(const JackDummyServer&) = delete;
    JackDummyServer& operator=(const JackDummyServer&) = delete;

    // An empty string when the server is up, else why not.
    QString start();
    void stop();
    QString name() const { return m_name; }
    int period() const { return m_period; }

private:
    int m_period;
    bool m_realtime;
    QString m_name;
    std::unique_ptr<QProcess> m_process;
};
