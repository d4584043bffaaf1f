// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ControlMapping.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

MotionRecord recordWith(float x, float y, float z, float g)
{
    MotionRecord record;
    record[MotionRecord::X] = x;
    record[MotionRecord::Y] = y;
    record[MotionRecord::Z] = z;
    record[MotionRecord::G] = g;
    return record;
}

int wheelOf(float value)
{
    return ControlMapping::pitchWheelOf(ControlMapping::pitchBendCurve(value, 0, 127, 0, 127));
}

} // namespace

TEST(ControlMapping, AxisPicksTheMotionValueAndNothingElse)
{
    const MotionRecord record = recordWith(0.1f, 0.2f, 0.3f, 0.4f);
    EXPECT_FLOAT_EQ(*ControlMapping::pickAxis(record, 0), 0.1f);
    EXPECT_FLOAT_EQ(*ControlMapping::pickAxis(record, 1), 0.2f);
    EXPECT_FLOAT_EQ(*ControlMapping::pickAxis(record, 2), 0.3f);
    EXPECT_FLOAT_EQ(*ControlMapping::pickAxis(record, 3), 0.4f);
    EXPECT_FALSE(ControlMapping::pickAxis(record, 4));
    EXPECT_FALSE(ControlMapping::pickAxis(record, -1));
}

TEST(ControlMapping, ShapeAppliesSensitivityAroundTheCentreAndReverses)
{
    EXPECT_FLOAT_EQ(ControlMapping::shape(0.75f, 1.0f, false), 95.25f);
    EXPECT_FLOAT_EQ(ControlMapping::shape(0.75f, 2.0f, false), 127.0f);
    EXPECT_FLOAT_EQ(ControlMapping::shape(0.75f, 1.0f, true), 31.75f);
    EXPECT_FLOAT_EQ(ControlMapping::shape(0.5f, 5.0f, false), 63.5f);
    // Not clamped: the window test sees values beyond the scale.
    EXPECT_FLOAT_EQ(ControlMapping::shape(1.0f, 2.0f, false), 190.5f);
    EXPECT_FLOAT_EQ(ControlMapping::shape(0.0f, 2.0f, false), -63.5f);
}

TEST(ControlMapping, GateClosesOnDeviceYGateAndOnTheWindow)
{
    // No gate at all.
    EXPECT_TRUE(ControlMapping::isGateOpen(0.0f, 0.1f, false, 200.0f, 10, 20));
    // The device's Y gate tests the raw Y, not the value.
    EXPECT_FALSE(ControlMapping::isGateOpen(0.3f, 0.29f, false, 100.0f, 0, 127));
    EXPECT_TRUE(ControlMapping::isGateOpen(0.3f, 0.3f, false, 100.0f, 0, 127));
    EXPECT_TRUE(ControlMapping::isGateOpen(-0.5f, 0.0f, false, 100.0f, 0, 127));
    // The window only when gated; its edges belong to it.
    EXPECT_TRUE(ControlMapping::isGateOpen(0.0f, 0.5f, false, 5.0f, 10, 20));
    EXPECT_FALSE(ControlMapping::isGateOpen(0.0f, 0.5f, true, 5.0f, 10, 20));
    EXPECT_FALSE(ControlMapping::isGateOpen(0.0f, 0.5f, true, 20.5f, 10, 20));
    EXPECT_TRUE(ControlMapping::isGateOpen(0.0f, 0.5f, true, 10.0f, 10, 20));
    EXPECT_TRUE(ControlMapping::isGateOpen(0.0f, 0.5f, true, 20.0f, 10, 20));
}

TEST(ControlMapping, WindowMapsOntoTheScaleAndClamps)
{
    EXPECT_FLOAT_EQ(ControlMapping::mapWindow(95.25f, 0, 127), 95.25f);
    EXPECT_FLOAT_EQ(ControlMapping::mapWindow(15.0f, 10, 20), 63.5f);
    EXPECT_FLOAT_EQ(ControlMapping::mapWindow(30.0f, 10, 20), 127.0f);
    EXPECT_FLOAT_EQ(ControlMapping::mapWindow(0.0f, 10, 20), 0.0f);
    EXPECT_FLOAT_EQ(ControlMapping::mapWindow(190.5f, 0, 127), 127.0f);
}

TEST(ControlMapping, ZeroWidthWindowIsAStepWithTheEdgeOn)
{
    EXPECT_FLOAT_EQ(ControlMapping::mapWindow(64.1f, 64, 64), 127.0f);
    EXPECT_FLOAT_EQ(ControlMapping::mapWindow(63.9f, 64, 64), 0.0f);
    // The value sitting exactly on the edge: defined, and on.
    EXPECT_FLOAT_EQ(ControlMapping::mapWindow(64.0f, 64, 64), 127.0f);
    EXPECT_FALSE(std::isnan(ControlMapping::mapWindow(64.0f, 64, 64)));
}

TEST(ControlMapping, OutputRangeAndChannels)
{
    EXPECT_FLOAT_EQ(ControlMapping::outputOf(127.0f, 0, 127), 127.0f);
    EXPECT_FLOAT_EQ(ControlMapping::outputOf(63.5f, 20, 40), 30.0f);
    EXPECT_FLOAT_EQ(ControlMapping::outputOf(0.0f, 20, 40), 20.0f);
    EXPECT_EQ(ControlMapping::midiChannel(0), 1);
    EXPECT_EQ(ControlMapping::midiChannel(15), 16);
    EXPECT_EQ(ControlMapping::midiChannel(16), 16);
    EXPECT_EQ(ControlMapping::midiChannel(255), 16);
}

TEST(ControlMapping, TruncationIsDefinedForAnyFloat)
{
    EXPECT_EQ(ControlMapping::truncate(95.9f), 95);
    EXPECT_EQ(ControlMapping::truncate(-0.9f), 0);
    EXPECT_EQ(ControlMapping::truncate(-1.5f), -1);
    EXPECT_EQ(ControlMapping::truncate(1e30f), std::numeric_limits<int>::max());
    EXPECT_EQ(ControlMapping::truncate(-1e30f), std::numeric_limits<int>::min());
    EXPECT_EQ(ControlMapping::truncate(std::numeric_limits<float>::infinity()),
              std::numeric_limits<int>::max());
    EXPECT_EQ(ControlMapping::truncate(std::nanf("")), 0);
}

TEST(ControlMapping, HighResolutionPairCarriesTheFraction)
{
    auto pair = ControlMapping::splitHighRes(63.5f);
    EXPECT_EQ(pair.msb, 63);
    EXPECT_EQ(pair.lsb, 64);
    pair = ControlMapping::splitHighRes(127.0f);
    EXPECT_EQ(pair.msb, 127);
    EXPECT_EQ(pair.lsb, 0);
    pair = ControlMapping::splitHighRes(95.25f);
    EXPECT_EQ(pair.msb, 95);
    EXPECT_EQ(pair.lsb, 32);
    pair = ControlMapping::splitHighRes(0.0f);
    EXPECT_EQ(pair.msb, 0);
    EXPECT_EQ(pair.lsb, 0);
}

TEST(ControlMapping, PitchBendCurveWithDefaultRanges)
{
    EXPECT_EQ(wheelOf(63.5f), 8191);
    EXPECT_EQ(wheelOf(64.0f), 8201);
    EXPECT_EQ(wheelOf(70.0f), 8428);
    EXPECT_EQ(wheelOf(80.0f), 10107);
    EXPECT_EQ(wheelOf(40.0f), 1335);
    EXPECT_EQ(wheelOf(127.0f), 16383);
    EXPECT_EQ(wheelOf(0.0f), 0);
    // Saturates well before the ends of the scale.
    EXPECT_EQ(wheelOf(88.0f), 16383);
    EXPECT_EQ(wheelOf(37.0f), 0);
}

TEST(ControlMapping, PitchBendCurveStaysWithinTheOutputRange)
{
    for (float value = 0.0f; value <= 127.0f; value += 0.5f) {
        const float r = ControlMapping::pitchBendCurve(value, 0, 127, 20, 100);
        EXPECT_GE(r, 20.0f / 127.0f);
        EXPECT_LE(r, 100.0f / 127.0f);
    }
}

TEST(ControlMapping, PitchBendCurveOfAZeroWidthWindowIsDefined)
{
    for (float value : {0.0f, 63.5f, 64.0f, 127.0f}) {
        const float r = ControlMapping::pitchBendCurve(value, 64, 64, 0, 127);
        EXPECT_FALSE(std::isnan(r)) << value;
        EXPECT_GE(r, 0.0f);
        EXPECT_LE(r, 1.0f);
    }
}

TEST(ControlMapping, GlideReachesTheTargetInTenEqualSteps)
{
    for (int step = 0; step <= 10; ++step)
        EXPECT_FLOAT_EQ(ControlMapping::glideStep(100.0f, 0.0f, step), 100.0f - 10.0f * step);
    EXPECT_FLOAT_EQ(ControlMapping::glideStep(20.0f, 120.0f, 5), 70.0f);
}

TEST(ControlMapping, SendIsDueOnlyWhenReadyAndMovedMoreThanATenth)
{
    EXPECT_TRUE(ControlMapping::isSendDue(true, -1.0f, 0.0f));
    EXPECT_FALSE(ControlMapping::isSendDue(false, -1.0f, 100.0f));
    EXPECT_FALSE(ControlMapping::isSendDue(true, 50.0f, 50.1f));
    EXPECT_TRUE(ControlMapping::isSendDue(true, 50.0f, 50.2f));
    EXPECT_FALSE(ControlMapping::isSendDue(true, 95.25f, 95.25f));
    // The difference is taken in single precision and compared with 0.1 in
    // double precision: 0.1f is slightly above 0.1.
    EXPECT_TRUE(ControlMapping::isSendDue(true, 0.0f, 0.1f));
}
