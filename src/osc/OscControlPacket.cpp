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

    const float scaled = value * kValueScale;
    uint32_t bits = 0;
    static_assert(sizeof(bits) == sizeof(scaled), "float32 expected");
    std::memcpy(&bits, &scaled, sizeof(bits));
    out[kNameFieldSize + 0] = static_cast<uint8_t>(bits & 0xffu);
    out[kNameFieldSize + 1] = static_cast<uint8_t>((bits >> 8) & 0xffu);
    out[kNameFieldSize + 2] = static_cast<uint8_t>((bits >> 16) & 0xffu);
    out[kNameFieldSize + 3] = static_cast<uint8_t>((bits >> 24) & 0xffu);

    out[16] = eventNumber;
    out[17] = channel;
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
