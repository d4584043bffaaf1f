// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/MotionMath.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

FrameCodec::MotionFrame frameOf(Quaternion q, int16_t ax = 0, int16_t ay = 0, int16_t az = 0)
{
    FrameCodec::MotionFrame f;
    f.q = q;
    f.ax = ax;
    f.ay = ay;
    f.az = az;
    return f;
}

// A rotation of `turns` half-turns about the z axis.
Quaternion aboutZ(float halfTurns)
{
    const float half = halfTurns * MotionMath::kPi / 2.0f;
    return {std::cos(half), 0.0f, 0.0f, std::sin(half)};
}

Quaternion aboutX(float halfTurns)
{
    const float half = halfTurns * MotionMath::kPi / 2.0f;
    return {std::cos(half), std::sin(half), 0.0f, 0.0f};
}

} // namespace

TEST(MotionMath, IdentityGivesCentredControlsAndEnergy)
{
    const auto r = MotionMath::compute(frameOf({1, 0, 0, 0}, 0, 0, 16384), {});
    ASSERT_TRUE(r);
    EXPECT_FLOAT_EQ(r->x(), 0.5f);
    EXPECT_FLOAT_EQ(r->y(), 0.5f);
    EXPECT_FLOAT_EQ(r->z(), 0.5f);
    EXPECT_FLOAT_EQ(r->az(), 0.5f);
    EXPECT_NEAR(r->g(), 0.083333f, 1e-6f);
    EXPECT_FLOAT_EQ(r->turnOffset(), 0.0f);
}

TEST(MotionMath, QuarterTurnHeadingDependsOnTheWearingHand)
{
    const Quaternion q{0.70710677f, 0.0f, 0.0f, 0.70710677f};
    const auto angles = MotionMath::anglesOf(q);
    EXPECT_NEAR(angles.heading, 0.5f, 1e-6f);
    EXPECT_NEAR(angles.pitch, 0.0f, 1e-6f);
    EXPECT_NEAR(angles.roll, 0.0f, 1e-6f);

    MotionMath::DeviceState right;
    MotionMath::DeviceState left;
    left.isOnLeft = true;
    EXPECT_NEAR(MotionMath::compute(frameOf(q), right)->z(), 0.95f, 1e-5f);
    EXPECT_NEAR(MotionMath::compute(frameOf(q), left)->z(), 0.05f, 1e-5f);
    EXPECT_NEAR(MotionMath::compute(frameOf(q), right)->zRef(), 0.5f, 1e-6f);
}

TEST(MotionMath, LeftHandMirrorsTheRoll)
{
    // A roll giving X = 0.8 on the right: 1.2 r = 0.6, r = 0.5 (a quarter turn).
    const Quaternion q = aboutX(0.5f);
    MotionMath::DeviceState right;
    MotionMath::DeviceState left;
    left.isOnLeft = true;
    EXPECT_NEAR(MotionMath::compute(frameOf(q), right)->x(), 0.8f, 1e-5f);
    EXPECT_NEAR(MotionMath::compute(frameOf(q), left)->x(), 0.2f, 1e-5f);
}

TEST(MotionMath, PitchIsClampedForQuaternionsOffUnitLength)
{
    // 2(xz - wy) = -2.0: outside asin's domain without the clamp.
    const auto r = MotionMath::compute(frameOf({1.0f, 0.0f, 1.0f, 0.0f}), {});
    ASSERT_TRUE(r);
    EXPECT_FLOAT_EQ(r->y(), 1.0f);
}

TEST(MotionMath, SteepPitchBendsHeadingAndRoll)
{
    // Pitch up by 0.8 of a quarter turn: p = 0.8 > 0.54.
    const float half = 0.8f * MotionMath::kHalfPi / 2.0f;
    const Quaternion q{std::cos(half), 0.0f, std::sin(half), 0.0f};
    const auto angles = MotionMath::anglesOf(q);
    ASSERT_NEAR(angles.pitch, 0.8f, 1e-5f);
    const auto r = MotionMath::compute(frameOf(q), {});
    const float shift = (0.8f - 0.54f) * 1.3333f;
    EXPECT_NEAR(r->z(), (std::min(1.0f, 1.8f * shift * 0.6f) + 1.0f) * 0.5f, 1e-4f);
    EXPECT_NEAR(r->x(), (std::min(1.0f, 1.2f * shift * 0.65f) + 1.0f) * 0.5f, 1e-4f);
    EXPECT_NEAR(r->zRef(), 0.0f, 1e-5f) << "zRef keeps the uncorrected heading";
}

TEST(MotionMath, HeadingPassingTheSeamDoesNotJump)
{
    MotionMath::DeviceState dev;
    dev.isReady = true;
    // Walk the heading from 0.6 through +-1 to -0.6 in small steps, keeping
    // the state the device would keep, with the yaw reference at 0.9 so that
    // Z stays inside its range around the seam.
    dev.yawReference = 0.9f;
    float previousZ = -1.0f;
    float previousOffset = 0.0f;
    int offsetChanges = 0;
    for (float h = 0.6f; h < 1.4f; h += 0.01f) {
        const auto r = MotionMath::compute(frameOf(aboutZ(h)), dev);
        ASSERT_TRUE(r);
        if (previousZ >= 0.0f) {
            EXPECT_NEAR(r->z(), previousZ, 0.03f) << "at heading " << h;
        }
        if (r->turnOffset() != previousOffset)
            ++offsetChanges;
        previousOffset = r->turnOffset();
        previousZ = r->z();
        dev.turnOffset = r->turnOffset();
        dev.previousZRef = r->zRef();
    }
    EXPECT_EQ(offsetChanges, 1);
    EXPECT_FLOAT_EQ(previousOffset, 2.0f);
}

TEST(MotionMath, SeamCrossingFromPositiveToNegativeRaisesTheOffset)
{
    MotionMath::DeviceState dev;
    dev.isReady = true;
    dev.previousZRef = 0.95f;
    dev.yawReference = 0.95f;
    const auto r = MotionMath::compute(frameOf(aboutZ(-0.95f)), dev);
    ASSERT_TRUE(r);
    EXPECT_NEAR(r->zRef(), -0.95f, 1e-5f);
    EXPECT_FLOAT_EQ(r->turnOffset(), 2.0f);
    EXPECT_NEAR(r->z(), (1.8f * 0.1f + 1.0f) * 0.5f, 1e-4f);
}

TEST(MotionMath, OffsetIsIgnoredBeforeWarmUpEnds)
{
    MotionMath::DeviceState dev;
    dev.turnOffset = 2.0f;
    const auto r = MotionMath::compute(frameOf({1, 0, 0, 0}), dev);
    EXPECT_FLOAT_EQ(r->z(), 0.5f);
    EXPECT_FLOAT_EQ(r->turnOffset(), 0.0f);
}

TEST(MotionMath, HugeQuaternionNeverYieldsNonFiniteControls)
{
    const auto r = MotionMath::compute(frameOf({3e38f, 3e38f, 3e38f, 3e38f}), {});
    if (r) {
        for (float v : r->values)
            EXPECT_TRUE(std::isfinite(v));
    }
}
