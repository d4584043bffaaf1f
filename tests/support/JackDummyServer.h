#pragma once

#include <QProcess>
#include <QString>

#include <memory>

// The JACK server a test plays through: the one named by JACK_DEFAULT_SERVER
// when the test command started one, otherwise a private server with the
// dummy driver (44.1 kHz, 64-sample blocks) started here and stopped when
// this object goes.
class JackDummyServer
{
public:
    JackDummyServer() = default;
    ~JackDummyServer();
    JackDummyServer(const JackDummyServer&) = delete;
    JackDummyServer& operator=(const JackDummyServer&) = delete;

    // An empty string once a client sees the server's ports, else why not.
    QString start();
    static bool isMissing(const QString& problem);

private:
    std::unique_ptr<QProcess> m_process;
};
