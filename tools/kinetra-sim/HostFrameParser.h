// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <cstdint>
#include <functional>

// The receiver's side of the wire: cuts what the application writes into
// frames. The application sends two kinds, the 11-byte greeting (type 3)
// and the 13-byte band command (type 5: blink, left hand, right hand); any
// other frame that ends in "se" with a matching CRC is reported as unknown.
// Bytes that cannot start a frame are skipped one at a time, and a complete
// known frame further on is never held up by garbage in front of it.
class HostFrameParser
{
public:
    static constexpr int kGreetingLength = 11;
    static constexpr int kBandCommandLength = 13;

    struct Frame
    {
        enum class Kind
        {
            Greeting,
            BandCommand,
            Unknown
        };
        Kind kind = Kind::Unknown;
        uint8_t slot = 0;
        uint8_t command = 0;
        QByteArray bytes;
    };

    void feed(const QByteArray& bytes, const std::function<void(const Frame&)>& onFrame);
    void clear() { m_buffer.clear(); }
    int pendingBytes() const { return m_buffer.size(); }
    quint64 droppedBytes() const { return m_dropped; }

private:
    enum class Match
    {
        Complete,
        Incomplete,
        Invalid
    };
    static Match matchAt(const uint8_t* data, int available, int* length, bool knownOnly);
    static int findCompleteKnownFrame(const uint8_t* data, int available);
    static Frame frameOf(const uint8_t* data, int length);

    QByteArray m_buffer;
    quint64 m_dropped = 0;
};
