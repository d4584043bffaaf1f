// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostFrameParser.h"

#include "protocol/FrameCodec.h"

namespace {

constexpr uint8_t kGreetingType = 3;
constexpr uint8_t kCommandType = 5;

int knownLength(uint8_t header)
{
    switch (FrameCodec::typeOf(header)) {
    case kGreetingType:
        return HostFrameParser::kGreetingLength;
    case kCommandType:
        return HostFrameParser::kBandCommandLength;
    default:
        return 0;
    }
}

} // namespace

HostFrameParser::Match HostFrameParser::matchAt(const uint8_t* data, int available, int* length,
                                                bool knownOnly)
{
    const int known = knownLength(data[0]);
    if (known > 0) {
        if (available < known)
            return Match::Incomplete;
        if (!FrameCodec::isWellFormed(data, known))
            return Match::Invalid;
        *length = known;
        return Match::Complete;
    }
    if (knownOnly)
        return Match::Invalid;
    const int limit = std::min(available, int(FrameCodec::kMaxFrameLength));
    for (int n = FrameCodec::kMinFrameLength; n <= limit; ++n) {
        if (FrameCodec::isWellFormed(data, n)) {
            *length = n;
            return Match::Complete;
        }
    }
    return available >= FrameCodec::kMaxFrameLength ? Match::Invalid : Match::Incomplete;
}

int HostFrameParser::findCompleteKnownFrame(const uint8_t* data, int available)
{
    for (int skip = 1; skip < available; ++skip) {
        int length = 0;
        if (matchAt(data + skip, available - skip, &length, true) == Match::Complete)
            return skip;
    }
    return 0;
}

HostFrameParser::Frame HostFrameParser::frameOf(const uint8_t* data, int length)
{
    Frame f;
    f.bytes = QByteArray(reinterpret_cast<const char*>(data), length);
    const uint8_t type = FrameCodec::typeOf(data[0]);
    if (type == kGreetingType && length == kGreetingLength) {
        f.kind = Frame::Kind::Greeting;
    } else if (type == kCommandType && length == kBandCommandLength) {
        f.kind = Frame::Kind::BandCommand;
        f.slot = FrameCodec::slotOf(data[0]);
        f.command = data[3];
    }
    return f;
}

void HostFrameParser::feed(const QByteArray& bytes,
                           const std::function<void(const Frame&)>& onFrame)
{
    m_buffer.append(bytes);
    const auto* data = reinterpret_cast<const uint8_t*>(m_buffer.constData());
    int pos = 0;
    while (pos < m_buffer.size()) {
        const int available = m_buffer.size() - pos;
        int length = 0;
        const Match match = matchAt(data + pos, available, &length, false);
        if (match == Match::Complete) {
            onFrame(frameOf(data + pos, length));
            pos += length;
        } else if (match == Match::Invalid) {
            ++pos;
            ++m_dropped;
        } else {
            const int skip = findCompleteKnownFrame(data + pos, available);
            if (skip <= 0)
                break;
            pos += skip;
            m_dropped += quint64(skip);
        }
    }
    m_buffer.remove(0, pos);
}
