// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ControlPublisher.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

namespace juce {
class OSCSender;
}

class OscControlPacket;

// Publishes the live control sources as OSC over UDP to a program on this
// computer: "/crl" with one 20-byte blob per source (see OscControlPacket)
// and a single "/close" when the application quits. One datagram per
// message; a message that cannot be delivered is lost without notice.
//
// Threads: GUI thread only (the engine's OSC tick and the quit action).
class OSCHandler : public QObject, public ControlPublisher
{
    Q_OBJECT

public:
    static constexpr const char* kDefaultHost = "127.0.0.1";
    static constexpr int kDefaultPort = 9001;
    static constexpr const char* kControlAddress = "/crl";
    static constexpr const char* kCloseAddress = "/close";

    // Targets 127.0.0.1:9001.
    explicit OSCHandler(QObject* parent = nullptr);
    // Targets `host`:`port` (tests use a port of their own).
    OSCHandler(const QString& host, int port, QObject* parent = nullptr);
    ~OSCHandler() override;

    // Whether the sender's socket could be set up; a failed connect is
    // otherwise ignored (every send then does nothing).
    bool isConnected() const { return m_connected; }
    QString targetHost() const { return m_host; }
    int targetPort() const { return m_port; }

    // Sends "/crl" with the first `count` records of `records` (20 bytes
    // each) as blobs, in buffer order. A count outside 1-12 sends nothing.
    // Returns whether a datagram went out.
    bool sendControlRecords(const uint8_t* records, int count);
    bool sendControlPacket(const OscControlPacket& packet);
    // The engine's OSC tick: one "/crl" with these sources.
    void publishControls(const LiveControl* controls, int count) override;
    // Sends "/close" with no arguments.
    bool sendClose();

    // Datagrams sent since construction.
    uint64_t sentMessageCount() const { return m_sent; }

private:
    std::unique_ptr<juce::OSCSender> m_sender;
    QString m_host;
    int m_port = 0;
    bool m_connected = false;
    uint64_t m_sent = 0;
};
