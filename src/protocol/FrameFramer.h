// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "protocol/FrameCodec.h"

#include <cstdint>
#include <vector>

// Cuts the receiver's byte stream into frames. Bytes carry over between
// reads, so a frame split across reads is still found, and every complete
// frame in a read is delivered, in order.
//
// A frame of a known type (motion, device list, band event) has a fixed
// length and is accepted only when "se" sits at its end and its CRC matches;
// a frame of another type ends at the first "se" whose CRC matches, within
// the longest frame length. When the bytes at the front cannot start a frame
// one byte is dropped and the search starts again, so corruption costs only
// the frames it touched. Garbage never makes the buffer grow: what is kept
// between reads is always shorter than the longest frame.
class FrameFramer
{
public:
    FrameFramer() { m_buffer.reserve(4096); }

    // Appends `size` bytes and calls onFrame(const uint8_t* frame, int length)
    // for every frame completed by them.
    template <typename OnFrame> void feed(const uint8_t* data, int size, OnFrame&& onFrame)
    {
        m_buffer.insert(m_buffer.end(), data, data + size);
        size_t pos = 0;
        while (pos < m_buffer.size()) {
            const int available = int(m_buffer.size() - pos);
            const uint8_t* front = m_buffer.data() + pos;
            int length = 0;
            const Match match = matchAt(front, available, &length);
            if (match == Match::Complete) {
                onFrame(front, length);
                pos += size_t(length);
            } else if (match == Match::Invalid) {
                ++pos;
                ++m_droppedBytes;
            } else {
                // The front may be the start of a frame still arriving, or
                // garbage that happens to look like one. Prefer a complete
                // frame found further on over waiting.
                const int skip = findCompleteFrame(front, available);
                if (skip <= 0)
                    break;
                pos += size_t(skip);
                m_droppedBytes += uint64_t(skip);
            }
        }
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + long(pos));
    }

    // Bytes currently held back waiting for the rest of a frame.
    int pendingBytes() const { return int(m_buffer.size()); }
    // Bytes skipped because they could not start a frame.
    uint64_t droppedBytes() const { return m_droppedBytes; }
    void clear() { m_buffer.clear(); }

private:
    enum class Match
    {
        Complete,
        Incomplete,
        Invalid
    };

    static Match matchAt(const uint8_t* data, int available, int* length);
    static int findCompleteFrame(const uint8_t* data, int available);

    std::vector<uint8_t> m_buffer;
    uint64_t m_droppedBytes = 0;
};
