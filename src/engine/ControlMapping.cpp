// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ControlMapping.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The single-precision constant the pitch-bend curve is tuned with.
constexpr float kE = 2.7182817f;
constexpr float kPitchStretch = 2.8f;

} // namespace

std::optional<float> ControlMapping::pickAxis(const MotionRecord& record, int axis)
{
    switch (axis) {
    case AxisX:
        return record.x();
    case AxisY:
        return record.y();
    case AxisZ:
        return record.z();
    case AxisG:
        return record.g();
    default:
        return std::nullopt;
    }
}

bool ControlMapping::isChannelModeEvent(int eventNumber)
{
    if (eventNumber == kPitchBendEvent || eventNumber == kAftertouchEvent)
        return false;
    return int(unsigned(eventNumber) & 0x7Fu) >= kFirstChannelModeController;
}

float ControlMapping::shape(float motion, float sensitivity, bool reversed)
{
    float b = ((motion * 2.0f - 1.0f) * sensitivity + 1.0f) * 0.5f;
    if (reversed)
        b = 1.0f - b;
    return b * kScale;
}

bool ControlMapping::isGateOpen(float deviceYGate, float deviceY, bool isGated, float value,
                                float lowerbound, float upperbound)
{
    if (deviceYGate > 0.0f && deviceYGate > deviceY)
        return false;
    if (isGated && (value < lowerbound || value > upperbound))
        return false;
    return true;
}

float ControlMapping::mapWindow(float value, float lowerbound, float upperbound)
{
    float mapped;
    if (upperbound == lowerbound)
        mapped = value >= lowerbound ? kScale : 0.0f;
    else
        mapped = (value - lowerbound) * kScale / (upperbound - lowerbound);
    if (std::isnan(mapped))
        return 0.0f;
    if (mapped > kScale)
        mapped = kScale;
    if (mapped < 0.0f)
        mapped = 0.0f;
    return mapped;
}

float ControlMapping::outputOf(float value, float min, float max)
{
    return (max - min) * value / kScale + min;
}

int ControlMapping::midiChannel(uint8_t channel)
{
    return std::min(int(channel) + 1, 16);
}

int ControlMapping::truncate(float x)
{
    if (std::isnan(x))
        return 0;
    // 2^31 is exactly representable; everything at or beyond it saturates.
    constexpr float kLimit = 2147483648.0f;
    if (x >= kLimit)
        return std::numeric_limits<int>::max();
    if (x <= -kLimit)
        return std::numeric_limits<int>::min();
    return int(x);
}

ControlMapping::HighResPair ControlMapping::splitHighRes(float out)
{
    const float v = out * 128.0f;
    const int msb = truncate(v * 0.0078125f);
    const int lsb = truncate(v - float(msb) * 128.0f);
    HighResPair pair;
    pair.msb = uint8_t(unsigned(msb) & 0xFFu);
    pair.lsb = uint8_t(unsigned(lsb) & 0xFFu);
    return pair;
}

float ControlMapping::pitchBendCurve(float value, float lowerbound, float upperbound, float min,
                                     float max)
{
    const float out = outputOf(value, min, max);
    const float d = ((out / kScale * 2.0f - 1.0f) * kPitchStretch + 1.0f) * 0.5f;
    const float lb = lowerbound / kScale;
    const float ub = upperbound / kScale;
    const float mn = min / kScale;
    const float mx = max / kScale;
    const float g = (mx + mn) * 0.5f;
    const float f = (lb + ub) * 0.5f;
    float a;
    float b;
    if (d > f) {
        const float t = (mx - g) * (d - f) / (ub - f);
        a = powf(kE, 8.0f * t - 5.0f);
        b = powf(kE, -5.0f);
    } else {
        const float u = (g - mn) * (d - lb) / (f - lb) + mn - g;
        a = powf(kE, -5.0f);
        b = powf(kE, -8.0f * u - 5.0f);
    }
    float r = a - b + 0.5f;
    // A window of zero width can make the curve undefined (0/0); such a
    // frame sits at the bottom of the range rather than carrying NaN on.
    if (std::isnan(r))
        r = mn;
    r = std::max(mn, r);
    r = std::min(mx, r);
    return r;
}

int ControlMapping::pitchWheelOf(float curve)
{
    return truncate(curve * float(kMaxPitchWheel));
}

float ControlMapping::glideStep(float last, float target, int step)
{
    return last - (last - target) / float(kGlideSteps) * float(step);
}

bool ControlMapping::isSendDue(bool deviceReady, float lastValue, float value)
{
    if (!deviceReady)
        return false;
    const float difference = std::fabs(lastValue - value);
    return double(difference) > kSendThreshold;
}
