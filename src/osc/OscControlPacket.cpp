// SPDX-License-Identifier: GPL-3.0-or-later
#include "osc/OscControlPacket.h"

#include <QTextBoundaryFinder>

#include <cstring>

void OscControlPacket::clear()
{
    m_buffer.fill(0);
    m_count = 0;
}

bool OscControlPacket::append(const QString& name, float value, uint8_t eventNumber,
                              uint8_t channel)
{
    if (m_count >= kMaxRecords)
        return false;
    writeRecord(m_buffer.data() + m_count * kRecordSize, name, value, eventNumber, channel);
    ++m_count;
    return true;
}

void OscControlPacket::writeRecord(uint8_t* out, const QString& name, float value,
                                   uint8_t eventNumber, uint8_t channel)
{
    std::memset(out, 0, kRecordSize);

    const QByteArray utf8 = truncatedUtf8(name, kMaxNameBytes);
    std::memcpy(out, utf8.constData(), static_cast<size_t>(utf8.size()));

    writeValue(out, value);
    out[16] = eventNumber;
    out[17] = channel;
}

void OscControlPacket::writeValue(uint8_t* record, float value)
{
    const float scaled = value * kValueScale;
    uint32_t bits = 0;
    static_assert(sizeof(bits) == sizeof(scaled), "float32 expected");
    std::memcpy(&bits, &scaled, sizeof(bits));
    record[kNameFieldSize + 0] = static_cast<uint8_t>(bits & 0xffu);
    record[kNameFieldSize + 1] = static_cast<uint8_t>((bits >> 8) & 0xffu);
    record[kNameFieldSize + 2] = static_cast<uint8_t>((bits >> 16) & 0xffu);
    record[kNameFieldSize + 3] = static_cast<uint8_t>((bits >> 24) & 0xffu);
}

namespace {

// Appends `text` zero-terminated and zero-padded to a multiple of 4 bytes.
bool putPaddedString(uint8_t* out, int capacity, int& pos, const char* text, size_t length)
{
    const int padded = int((length + 1 + 3) & ~size_t(3));
    if (pos + padded > capacity)
        return false;
    std::memset(out + pos, 0, size_t(padded));
    std::memcpy(out + pos, text, length);
    pos += padded;
    return true;
}

} // namespace

int OscControlPacket::encodeMessage(const char* address, const uint8_t* records, int count,
                                    uint8_t* out, int capacity)
{
    if (address == nullptr || out == nullptr || count < 0 || count > kMaxRecords ||
        (count > 0 && records == nullptr))
        return 0;
    int pos = 0;
    if (!putPaddedString(out, capacity, pos, address, std::strlen(address)))
        return 0;
    char tags[kMaxRecords + 2] = {','};
    for (int i = 0; i < count; ++i)
        tags[1 + i] = 'b';
    if (!putPaddedString(out, capacity, pos, tags, size_t(count + 1)))
        return 0;
    for (int i = 0; i < count; ++i) {
        // Blob: big-endian int32 size, then the bytes (20, already a
        // multiple of 4).
        if (pos + 4 + kRecordSize > capacity)
            return 0;
        out[pos++] = 0;
        out[pos++] = 0;
        out[pos++] = 0;
        out[pos++] = uint8_t(kRecordSize);
        std::memcpy(out + pos, records + i * kRecordSize, kRecordSize);
        pos += kRecordSize;
    }
    return pos;
}

QByteArray OscControlPacket::truncatedUtf8(const QString& name, int maxBytes)
{
    if (maxBytes <= 0)
        return QByteArray();
    QByteArray whole = name.toUtf8();
    if (whole.size() <= maxBytes)
        return whole;

    // Add whole graphemes while they fit.
    QByteArray kept;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, name);
    int start = 0;
    for (int end = finder.toNextBoundary(); end > 0; end = finder.toNextBoundary()) {
        const QByteArray piece = name.mid(start, end - start).toUtf8();
        if (kept.size() + piece.size() > maxBytes)
            break;
        kept.append(piece);
        start = end;
    }
    return kept;
}
