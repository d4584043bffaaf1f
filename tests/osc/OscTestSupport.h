// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QUdpSocket>
#include <QVector>

#include <cstdint>
#include <optional>

namespace osctest {

// A decoded OSC 1.0 message: address, type tags (without the comma) and the
// blob arguments. Written from the OSC 1.0 wire format, independently of the
// library that sends.
struct DecodedMessage
{
    QString address;
    QString typeTags;
    QVector<QByteArray> blobs;
};

inline int padded4(int n)
{
    return (n + 3) & ~3;
}

// Reads a zero-terminated, 4-byte padded string at `pos`; advances `pos`.
inline std::optional<QByteArray> readOscString(const QByteArray& data, int& pos)
{
    const int end = data.indexOf('\0', pos);
    if (end < 0)
        return std::nullopt;
    QByteArray text = data.mid(pos, end - pos);
    const int next = pos + padded4(end - pos + 1);
    if (next > data.size())
        return std::nullopt;
    for (int i = end; i < next; ++i)
        if (data[i] != '\0')
            return std::nullopt;
    pos = next;
    return text;
}

inline std::optional<DecodedMessage> decodeMessage(const QByteArray& data)
{
    if (data.size() % 4 != 0)
        return std::nullopt;
    DecodedMessage message;
    int pos = 0;
    const auto address = readOscString(data, pos);
    if (!address)
        return std::nullopt;
    message.address = QString::fromUtf8(*address);
    if (pos == data.size())
        return message; // no type tag string at all (old-style message)
    const auto tags = readOscString(data, pos);
    if (!tags || !tags->startsWith(','))
        return std::nullopt;
    message.typeTags = QString::fromLatin1(tags->mid(1));
    for (const QChar tag : message.typeTags) {
        if (tag != QLatin1Char('b'))
            return std::nullopt; // only blobs are expected here
        if (pos + 4 > data.size())
            return std::nullopt;
        const auto* p = reinterpret_cast<const uint8_t*>(data.constData() + pos);
        const int size = int((uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) |
                             (uint32_t(p[2]) << 8) | uint32_t(p[3]));
        pos += 4;
        if (size < 0 || pos + padded4(size) > data.size())
            return std::nullopt;
        message.blobs.append(data.mid(pos, size));
        pos += padded4(size);
    }
    if (pos != data.size())
        return std::nullopt;
    return message;
}

// A UDP receiver on 127.0.0.1, read without an event loop.
class UdpSink
{
public:
    explicit UdpSink(quint16 port = 0) { m_bound = m_socket.bind(QHostAddress::LocalHost, port); }

    bool isBound() const { return m_bound; }
    quint16 port() const { return m_socket.localPort(); }

    // The next datagram, waiting at most `timeoutMs`.
    std::optional<QByteArray> next(int timeoutMs = 5000)
    {
        if (!m_socket.hasPendingDatagrams() && !m_socket.waitForReadyRead(timeoutMs))
            return std::nullopt;
        if (!m_socket.hasPendingDatagrams())
            return std::nullopt;
        QByteArray datagram(int(m_socket.pendingDatagramSize()), '\0');
        m_socket.readDatagram(datagram.data(), datagram.size());
        return datagram;
    }

    // Drops whatever arrived so far.
    void drain()
    {
        while (next(0)) {
        }
    }

private:
    QUdpSocket m_socket;
    bool m_bound = false;
};

} // namespace osctest
