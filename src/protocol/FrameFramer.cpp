// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/FrameFramer.h"

FrameFramer::Match FrameFramer::matchAt(const uint8_t* data, int available, int* length)
{
    const int fixed = FrameCodec::lengthOfType(FrameCodec::typeOf(data[0]));
    if (fixed > 0) {
        if (available < fixed)
            return Match::Incomplete;
        if (!FrameCodec::isWellFormed(data, fixed))
            return Match::Invalid;
        *length = fixed;
        return Match::Complete;
    }
    // A frame of a type without a fixed length ends at the first "se" whose
    // CRC matches.
    const int limit =
        available < FrameCodec::kMaxFrameLength ? available : FrameCodec::kMaxFrameLength;
    for (int end = FrameCodec::kMinFrameLength; end <= limit; ++end) {
        if (data[end - 2] == FrameCodec::kTerminator0 &&
            data[end - 1] == FrameCodec::kTerminator1 && FrameCodec::isWellFormed(data, end)) {
            *length = end;
            return Match::Complete;
        }
    }
    return available >= FrameCodec::kMaxFrameLength ? Match::Invalid : Match::Incomplete;
}

int FrameFramer::findCompleteFrame(const uint8_t* data, int available)
{
    for (int skip = 1; skip + FrameCodec::kMinFrameLength <= available; ++skip) {
        int length = 0;
        if (matchAt(data + skip, available - skip, &length) == Match::Complete)
            return skip;
    }
    return 0;
}
