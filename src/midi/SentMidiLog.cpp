// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/SentMidiLog.h"

#include <algorithm>
#include <string>

void SentMidiLog::record(const uint8_t* bytes, int size)
{
    if (bytes == nullptr || size < 1 || size > 3 || bytes[0] == 0xF8)
        return;
    uint32_t packed = static_cast<uint32_t>(size) << 24;
    for (int i = 0; i < size; ++i)
        packed |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    // Single writer: the counter is read and advanced by this thread only.
    const uint32_t n = m_written.load(std::memory_order_relaxed);
    m_entries[n % kCapacity].store(packed, std::memory_order_relaxed);
    m_written.store(n + 1, std::memory_order_release);
}

std::vector<uint32_t> SentMidiLog::latest(int max) const
{
    const uint32_t n = count();
    const uint32_t take = std::min<uint32_t>(n, static_cast<uint32_t>(std::min(max, kCapacity)));
    std::vector<uint32_t> out;
    out.reserve(take);
    for (uint32_t i = n - take; i != n; ++i)
        out.push_back(m_entries[i % kCapacity].load(std::memory_order_relaxed));
    return out;
}

std::string SentMidiLog::describe(uint32_t packed)
{
    const int status = packed & 0xFF;
    const int d1 = (packed >> 8) & 0x7F;
    const int d2 = (packed >> 16) & 0x7F;
    const std::string ch = "CH" + std::to_string((status & 0x0F) + 1) + " ";
    switch (status & 0xF0) {
    case 0x80:
        return ch + "Note off " + std::to_string(d1);
    case 0x90:
        return ch + "Note on " + std::to_string(d1) + " vel " + std::to_string(d2);
    case 0xA0:
        return ch + "Poly aftertouch " + std::to_string(d1) + " = " + std::to_string(d2);
    case 0xB0:
        return ch + "CC" + std::to_string(d1) + " = " + std::to_string(d2);
    case 0xC0:
        return ch + "Program " + std::to_string(d1);
    case 0xD0:
        return ch + "Aftertouch = " + std::to_string(d1);
    case 0xE0:
        return ch + "Pitch bend = " + std::to_string(d1 | (d2 << 7));
    default:
        break;
    }
    switch (status) {
    case 0xFA:
        return "Start";
    case 0xFB:
        return "Continue";
    case 0xFC:
        return "Stop";
    default:
        return "System 0x" + [status] {
            static const char* digits = "0123456789ABCDEF";
            return std::string{digits[(status >> 4) & 0xF], digits[status & 0xF]};
        }();
    }
}
