// SPDX-License-Identifier: GPL-3.0-or-later
#include "osc/OSCHandler.h"

#include <QLoggingCategory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

Q_LOGGING_CATEGORY(lcOsc, "kinetra.osc")

static_assert(sizeof(sockaddr_in) <= 16, "sockaddr_in expected to fit 16 bytes");

OSCHandler::OSCHandler(QObject* parent)
    : OSCHandler(QString::fromLatin1(kDefaultHost), kDefaultPort, parent)
{
}

OSCHandler::OSCHandler(const QString& host, int port, QObject* parent)
    : QObject(parent), m_host(host), m_port(port)
{
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(uint16_t(port));
    const QString numeric = host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0
                                ? QString::fromLatin1(kDefaultHost)
                                : host;
    const bool addressOk =
        port > 0 && port < 65536 &&
        inet_pton(AF_INET, numeric.toLatin1().constData(), &target.sin_addr) == 1;
    if (addressOk)
        m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    m_connected = addressOk && m_socket >= 0;
    std::memcpy(m_target.data(), &target, sizeof(target));
    if (!m_connected)
        qCWarning(lcOsc) << "cannot open the OSC socket for" << host << port;
}

OSCHandler::~OSCHandler()
{
    if (m_socket >= 0)
        ::close(m_socket);
}

bool OSCHandler::sendDatagram(const uint8_t* data, int size)
{
    if (!m_connected || size <= 0)
        return false;
    sockaddr_in target{};
    std::memcpy(&target, m_target.data(), sizeof(target));
    const ssize_t sent = ::sendto(m_socket, data, size_t(size), MSG_DONTWAIT,
                                  reinterpret_cast<const sockaddr*>(&target), sizeof(target));
    if (sent != ssize_t(size))
        return false;
    m_sent.fetch_add(1, std::memory_order_relaxed);
    return true;
}

bool OSCHandler::sendControlRecords(const uint8_t* records, int count)
{
    if (records == nullptr || count < 1 || count > OscControlPacket::kMaxRecords)
        return false;
    uint8_t datagram[OscControlPacket::kMaxMessageSize];
    const int size = OscControlPacket::encodeMessage(kControlAddress, records, count, datagram,
                                                     int(sizeof(datagram)));
    return sendDatagram(datagram, size);
}

bool OSCHandler::sendControlPacket(const OscControlPacket& packet)
{
    return sendControlRecords(packet.data(), packet.count());
}

bool OSCHandler::sendClose()
{
    uint8_t datagram[16];
    const int size =
        OscControlPacket::encodeMessage(kCloseAddress, nullptr, 0, datagram, int(sizeof(datagram)));
    return sendDatagram(datagram, size);
}

void OSCHandler::setLiveControls(const LiveControl* controls, int count)
{
    // Built outside the lock (the names' UTF-8 allocates), then copied in.
    OscControlPacket packet;
    std::array<const std::atomic<float>*, size_t(OscControlPacket::kMaxRecords)> values{};
    for (int i = 0; i < count && controls != nullptr; ++i) {
        if (controls[i].value == nullptr)
            continue;
        values[size_t(packet.count())] = controls[i].value;
        if (!packet.append(controls[i].name, 0.0f, controls[i].eventNumber, controls[i].channel))
            break;
    }
    std::lock_guard<std::mutex> lock(m_liveLock);
    std::memcpy(m_liveRecords.data(), packet.data(), m_liveRecords.size());
    m_liveValues = values;
    m_liveCount = packet.count();
}

void OSCHandler::publishLiveControls()
{
    std::array<uint8_t, size_t(OscControlPacket::kRecordSize * OscControlPacket::kMaxRecords)>
        records;
    std::array<const std::atomic<float>*, size_t(OscControlPacket::kMaxRecords)> values;
    int count = 0;
    {
        std::lock_guard<std::mutex> lock(m_liveLock);
        count = m_liveCount;
        records = m_liveRecords;
        values = m_liveValues;
    }
    if (count < 1)
        return;
    for (int i = 0; i < count; ++i)
        OscControlPacket::writeValue(records.data() + i * OscControlPacket::kRecordSize,
                                     values[size_t(i)]->load(std::memory_order_relaxed));
    sendControlRecords(records.data(), count);
}
