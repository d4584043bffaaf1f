// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/MotionMath.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kAccelScale = 1.0f / 32768.0f;
constexpr float kSteepPitch = 0.54f;
constexpr float kSteepGain = 1.3333f;
constexpr float kSteepHeading = 0.6f;
constexpr float kSteepRoll = 0.65f;
constexpr float kWrapEdge = 0.9f;
constexpr float kRollScale = 1.2f;
constexpr float kPitchScale = 1.2f;
constexpr float kHeadingScale = 1.8f;

float clampUnit(float v)
{
    return std::clamp(v, -1.0f, 1.0f);
}

} // namespace

MotionMath::Angles MotionMath::anglesOf(const Quaternion& q)
{
    const float w = q.w, x = q.x, y = q.y, z = q.z;
    Angles a;
    a.heading = std::atan2(2.0f * (x * y + w * z), w * w + x * x - y * y - z * z) / kPi;
    const float s = std::clamp(2.0f * (x * z - w * y), -1.0f, 1.0f);
    a.pitch = -std::asin(s) / kHalfPi;
    a.roll = std::atan2(2.0f * (w * x + y * z), w * w - x * x - y * y + z * z) / kPi;
    return a;
}

std::optional<MotionRecord> MotionMath::compute(const FrameCodec::MotionFrame& frame,
                                                const DeviceState& device)
{
    MotionRecord r;
    const float ax = float(frame.ax) * kAccelScale;
    const float ay = float(frame.ay) * kAccelScale;
    const float az = float(frame.az) * kAccelScale;
    r[MotionRecord::Ax] = ax;
    r[MotionRecord::Ay] = ay;
    r[MotionRecord::Az] = az;
    r[MotionRecord::G] = (ax * ax + ay * ay + az * az) / 3.0f;

    const Angles angles = anglesOf(frame.q);
    const float h = angles.heading;
    const float p = angles.pitch;
    float heading = h;
    float roll = angles.roll;
    if (p > kSteepPitch) {
        heading = (p - kSteepPitch) * kSteepHeading * kSteepGain + h;
        roll = (p - kSteepPitch) * kSteepRoll * kSteepGain + angles.roll;
    }

    float offset = device.isReady ? device.turnOffset : 0.0f;
    if (heading > kWrapEdge && device.previousZRef < -kWrapEdge)
        offset -= 2.0f;
    if (heading < -kWrapEdge && device.previousZRef > kWrapEdge)
        offset += 2.0f;
    const float a = offset + heading - device.yawReference;
    // Brings the offset back into range for the following frames; this
    // frame's value stays as computed.
    if (a > 1.0f)
        offset -= 2.0f;
    if (a < -1.0f)
        offset += 2.0f;
    r[MotionRecord::ZRef] = h;
    r[MotionRecord::TurnOffset] = offset;

    const float sX = device.isOnLeft ? -kRollScale : kRollScale;
    const float sZ = device.isOnLeft ? -kHeadingScale : kHeadingScale;
    r[MotionRecord::X] = (clampUnit(sX * roll) + 1.0f) * 0.5f;
    r[MotionRecord::Y] = (clampUnit(kPitchScale * p) + 1.0f) * 0.5f;
    r[MotionRecord::Z] = (clampUnit(sZ * a) + 1.0f) * 0.5f;

    for (float v : r.values)
        if (!std::isfinite(v))
            return std::nullopt;
    return r;
}
