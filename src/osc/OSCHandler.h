// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ControlPublisher.h"

#include "osc/OscControlPacket.h"

#include <QObject>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

// Publishes the live control sources as OSC over UDP to a program on this
// computer: "/crl" with one 20-byte blob per source (see OscControlPacket)
// and a single "/close" when the application quits. One datagram per
// message; a message that cannot be delivered is lost without notice.
//
// Threads: the engine's OSC tick calls publishLiveControls on a thread of
// its own; everything else runs on the GUI thread. The socket is a plain UDP
// socket with no thread affinity, and each send builds its datagram on the
// caller's stack, so sends from both threads never share a buffer.
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
    // The sources the OSC tick sends from now on (GUI thread).
    void setLiveControls(const LiveControl* controls, int count) override;
    // The OSC tick: one "/crl" with the sources last set and their values
    // now; nothing when there are none. Allocates nothing.
    void publishLiveControls() override;
    // Sends "/close" with no arguments.
    bool sendClose();

    // Datagrams sent since construction.
    uint64_t sentMessageCount() const { return m_sent.load(std::memory_order_relaxed); }

private:
    bool sendDatagram(const uint8_t* data, int size);

    // Set up in the constructor, closed in the destructor; used by both
    // threads in between (sendto is safe from several threads).
    int m_socket = -1;
    std::array<uint8_t, 16> m_target{}; // a sockaddr_in
    QString m_host;
    int m_port = 0;
    bool m_connected = false;
    std::atomic<uint64_t> m_sent{0};

    // The live sources' records as the GUI thread last set them (value
    // fields zero) and where each value is read. Written by setLiveControls
    // on the GUI thread, copied by publishLiveControls on the OSC tick
    // thread. The lock is held only to copy at most 12 fixed records; it is
    // innermost: nothing else is taken while it is held.
    std::mutex m_liveLock;
    std::array<uint8_t, size_t(OscControlPacket::kRecordSize* OscControlPacket::kMaxRecords)>
        m_liveRecords{};
    std::array<const std::atomic<float>*, size_t(OscControlPacket::kMaxRecords)> m_liveValues{};
    int m_liveCount = 0;
};
