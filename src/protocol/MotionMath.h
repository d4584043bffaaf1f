// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "protocol/FrameCodec.h"
#include "protocol/MotionRecord.h"

#include <optional>

// Turns one decoded motion frame into the nine-value motion record of its
// device: accelerations and energy, heading, pitch and roll from the
// quaternion, the steep-pitch correction, the heading unwrapping around
// +-1 and the control values X, Y, Z. Pure arithmetic in float32.
class MotionMath
{
public:
    static constexpr float kPi = 3.1415927f;
    static constexpr float kHalfPi = 1.5707964f;

    // What the computation needs to know of the device.
    struct DeviceState
    {
        bool isReady = false;
        bool isOnLeft = false;
        float turnOffset = 0.0f;
        float previousZRef = 0.0f;
        float yawReference = 0.0f;
    };

    struct Angles
    {
        float heading = 0.0f;
        float pitch = 0.0f;
        float roll = 0.0f;
    };

    // Heading, pitch and roll normalised to -1..1; the asin argument is
    // clamped so that a quaternion slightly off unit length still gives a
    // pitch.
    static Angles anglesOf(const Quaternion& q);

    // The record for `frame`, or nothing when the arithmetic produced a
    // value that is not finite (such a frame must never reach the controls).
    static std::optional<MotionRecord> compute(const FrameCodec::MotionFrame& frame,
                                               const DeviceState& device);
};
