// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "protocol/MotionRecord.h"

#include <cstdint>
#include <optional>

// The arithmetic of a control source, one step at a time: pick a motion
// value, shape it by sensitivity and reversing, test the gates, map the
// motion window onto the 0-127 scale and that onto the output range, split a
// 14-bit controller pair, bend the pitch-wheel curve, step a glide and decide
// whether a value moved enough to be sent. Pure functions in single
// precision, no state, no I/O.
class ControlMapping
{
public:
    static constexpr float kScale = 127.0f;
    static constexpr float kMinSensitivity = 0.1f;
    static constexpr double kSendThreshold = 0.1;
    static constexpr int kGlideSteps = 10;
    static constexpr float kDefaultOff = -1.0f;
    static constexpr int kPitchBendEvent = 200;
    static constexpr int kAftertouchEvent = 201;
    static constexpr int kMaxPitchWheel = 16383;
    static constexpr int kFirstChannelModeController = 120;

    enum Axis
    {
        AxisX = 0,
        AxisY = 1,
        AxisZ = 2,
        AxisG = 3
    };

    // The motion value (0..1) that `axis` follows in `record`; nothing for an
    // axis outside 0-3.
    static std::optional<float> pickAxis(const MotionRecord& record, int axis);

    // A 0..1 motion value stretched by `sensitivity` around its centre,
    // mirrored when `reversed`, on the 0-127 scale. Not clamped: a
    // sensitivity above 1 can push it outside 0-127.
    static float shape(float motion, float sensitivity, bool reversed);

    // Whether a frame passes the gates: the device's own Y gate (a threshold
    // on the raw Y of the device, 0 or less meaning none) and, when the
    // source is gated, the motion window.
    static bool isGateOpen(float deviceYGate, float deviceY, bool isGated, float value,
                           float lowerbound, float upperbound);

    // The motion window [lowerbound, upperbound] mapped onto 0-127 and
    // clamped. A window of zero width is a step: a value at or above its
    // edge gives 127, below it 0.
    static float mapWindow(float value, float lowerbound, float upperbound);

    // A 0-127 value mapped onto the output range min..max.
    static float outputOf(float value, float min, float max);

    // Whether the controller an event number goes out as (its low seven
    // bits; pitch bend and aftertouch are none) is one of the channel-mode
    // messages 120-127: all sound off, reset all controllers, local
    // control, all notes off, omni and mono/poly. A wheel moving one of
    // them would flood the receivers with mode changes: it sends nothing.
    static bool isChannelModeEvent(int eventNumber);

    // The MIDI channel (1-16) of a source's 0-based channel field; anything
    // above 15 goes out on channel 16.
    static int midiChannel(uint8_t channel);

    // The integer part of `x`, truncated toward zero; a value beyond the
    // range of int saturates and a value that is not a number gives 0, so
    // that any setting produces a defined (wrapped) data byte.
    static int truncate(float x);

    struct HighResPair
    {
        uint8_t msb = 0;
        uint8_t lsb = 0;
    };
    // A 14-bit controller pair: the integer part of `out` in the MSB and its
    // fraction in 1/128 steps in the LSB (63.5 gives 63 and 64).
    static HighResPair splitHighRes(float out);

    // The pitch-bend curve: the output value of a 0-127 `value`, stretched
    // around the centre of the window and bent exponentially, as a fraction
    // limited to min/127..max/127.
    static float pitchBendCurve(float value, float lowerbound, float upperbound, float min,
                                float max);
    // The 14-bit wheel position of a curve result.
    static int pitchWheelOf(float curve);

    // Step `step` (0 = where the gate closed, 10 = the default) of the
    // glide from `last` to `target`.
    static float glideStep(float last, float target, int step);

    // Whether a value is to be sent: the device has warmed up and the value
    // moved by more than 0.1 from the reference.
    static bool isSendDue(bool deviceReady, float lastValue, float value);
};
