// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the receiver's stream framer, the frame decoders and
// the motion maths. The first input byte picks the read size, so the same
// bytes are also tried split across reads; every delivered frame must be
// well formed, decode according to its type, and never produce a control
// value that is not finite or outside its range; held-back bytes stay
// below one frame.
#include "protocol/FrameFramer.h"
#include "protocol/MotionMath.h"

#include <cmath>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void inspect(const uint8_t* frame, int length, MotionMath::DeviceState& state)
{
    check(length >= FrameCodec::kMinFrameLength && length <= FrameCodec::kMaxFrameLength);
    check(FrameCodec::isWellFormed(frame, length));
    switch (FrameCodec::typeOf(frame[0])) {
    case FrameCodec::Motion: {
        const auto motion = FrameCodec::decodeMotion(frame, length);
        check(length == FrameCodec::kMotionLength);
        if (!motion)
            return; // a quaternion that is not finite
        const auto record = MotionMath::compute(*motion, state);
        if (!record)
            return;
        for (float v : record->values)
            check(std::isfinite(v));
        for (int i : {MotionRecord::X, MotionRecord::Y, MotionRecord::Z, MotionRecord::G})
            check((*record)[i] >= 0.0f && (*record)[i] <= 1.0f);
        state.turnOffset = record->turnOffset();
        state.previousZRef = record->zRef();
        state.isReady = !state.isReady;
        break;
    }
    case FrameCodec::DeviceList:
        check(FrameCodec::decodeDeviceList(frame, length).has_value());
        break;
    case FrameCodec::BandEvent:
        check(FrameCodec::decodeBandEvent(frame, length).has_value());
        break;
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int chunk = 1 + data[0] % 64;
    ++data;
    --size;
    FrameFramer framer;
    MotionMath::DeviceState state;
    state.yawReference = 0.25f;
    for (size_t pos = 0; pos < size; pos += size_t(chunk)) {
        const int n = int(std::min(size - pos, size_t(chunk)));
        framer.feed(data + pos, n,
                    [&](const uint8_t* frame, int length) { inspect(frame, length, state); });
        check(framer.pendingBytes() < FrameCodec::kMaxFrameLength);
    }
    return 0;
}
