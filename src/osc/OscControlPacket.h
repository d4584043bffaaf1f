// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>

// The records of one "/crl" message, built in a fixed buffer without any
// network or engine: one 20-byte record per control source.
//
//   offset  0, 12 bytes: the name in UTF-8, zero-terminated, zero-filled
//   offset 12,  4 bytes: value x 129 as a little-endian float32
//   offset 16,  1 byte : event number
//   offset 17,  1 byte : MIDI channel (0-based)
//   offset 18,  2 bytes: zero
//
// A name longer than 11 bytes of UTF-8 is shortened at the last character
// (grapheme) boundary that fits, so the field never overflows and a
// character is never split.
class OscControlPacket
{
public:
    static constexpr int kRecordSize = 20;
    static constexpr int kNameFieldSize = 12;
    static constexpr int kMaxNameBytes = kNameFieldSize - 1;
    static constexpr int kMaxRecords = 12;
    static constexpr float kValueScale = 129.0f;
    // The largest "/crl" datagram: address, type tags and 12 blobs.
    static constexpr int kMaxMessageSize = 8 + 16 + kMaxRecords * (4 + kRecordSize);

    OscControlPacket() { clear(); }

    // Empties the packet and zeroes the buffer.
    void clear();

    // Adds one record after the previous ones; false (and nothing added)
    // when the packet already holds kMaxRecords.
    bool append(const QString& name, float value, uint8_t eventNumber, uint8_t channel);

    int count() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    // The records, kRecordSize bytes each, count() of them.
    const uint8_t* data() const { return m_buffer.data(); }
    const uint8_t* recordAt(int i) const { return m_buffer.data() + i * kRecordSize; }

    // Writes one record into `out` (kRecordSize bytes).
    static void writeRecord(uint8_t* out, const QString& name, float value, uint8_t eventNumber,
                            uint8_t channel);

    // Writes `value` (scaled) into the value field of the record at `record`.
    static void writeValue(uint8_t* record, float value);

    // Encodes the OSC 1.0 message `address` with the first `count` records
    // of `records` as blobs into `out`; returns its size, or 0 when it does
    // not fit in `capacity` bytes (or count is outside 0-12). Allocates
    // nothing: the OSC tick thread calls it every tick.
    static int encodeMessage(const char* address, const uint8_t* records, int count, uint8_t* out,
                             int capacity);

    // `name` in UTF-8, cut to at most `maxBytes` bytes at a grapheme
    // boundary (never inside a multi-byte sequence or before a combining
    // mark).
    static QByteArray truncatedUtf8(const QString& name, int maxBytes = kMaxNameBytes);

private:
    std::array<uint8_t, static_cast<size_t>(kRecordSize* kMaxRecords)> m_buffer{};
    int m_count = 0;
};
