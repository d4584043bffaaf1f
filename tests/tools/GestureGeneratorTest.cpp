// SPDX-License-Identifier: GPL-3.0-or-later
#include "GestureGenerator.h"
#include "ReceiverSimulator.h"
#include "protocol/FrameCodec.h"
#include "protocol/MotionMath.h"

#include <gtest/gtest.h>

#include <cmath>

using Gesture = GestureGenerator::Gesture;

namespace {

constexpr double kRate = 100.0;
constexpr float kTolerance = 1e-4f;

// Carries a device's heading state from one frame to the next, the way the
// serial handler does for a band that has warmed up.
struct Device
{
    MotionMath::DeviceState state;

    Device(bool onLeft, float yawReference)
    {
        state.isReady = true;
        state.isOnLeft = onLeft;
        state.yawReference = yawReference;
    }

    MotionRecord apply(const QByteArray& wire)
    {
        const auto* bytes = reinterpret_cast<const uint8_t*>(wire.constData());
        const auto frame = FrameCodec::decodeMotion(bytes, wire.size());
        EXPECT_TRUE(frame.has_value());
        const auto record = MotionMath::compute(*frame, state);
        EXPECT_TRUE(record.has_value());
        state.turnOffset = record->turnOffset();
        state.previousZRef = record->zRef();
        return *record;
    }
};

struct Range
{
    float lo = 1e9f;
    float hi = -1e9f;
    void add(float v)
    {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
};

struct Ranges
{
    Range x, y, z, g;
};

// Streams `seconds` of a gesture for one band through the wire format and
// the application's arithmetic and compares every frame with the promise.
Ranges checkPromise(Gesture gesture, int band, bool onLeft, float yawReference, double seconds)
{
    Device device(onLeft, yawReference);
    Ranges seen;
    const int frames = int(seconds * kRate);
    for (int n = 0; n < frames; ++n) {
        const double t = n / kRate + GestureGenerator::bandTimeOffset(band);
        const auto pose = GestureGenerator::pose(gesture, t);
        const auto wire = FrameCodec::encodeMotion(GestureGenerator::frameOf(pose, uint8_t(band)));
        const MotionRecord r = device.apply(wire);
        const auto promised = GestureGenerator::promised(pose, onLeft, yawReference);
        SCOPED_TRACE(testing::Message() << GestureGenerator::nameOf(gesture).toStdString()
                                        << " band " << band << " frame " << n);
        EXPECT_NEAR(r.x(), promised.x, kTolerance);
        EXPECT_NEAR(r.y(), promised.y, kTolerance);
        EXPECT_NEAR(r.g(), promised.g, kTolerance);
        // Where the heading relative to the centre passes +-1 the
        // application keeps the old side for one frame; both sides are
        // saturated there.
        if (std::fabs(GestureGenerator::relativeHeading(pose.heading, yawReference)) < 0.95f) {
            EXPECT_NEAR(r.z(), promised.z, kTolerance);
        }
        seen.x.add(r.x());
        seen.y.add(r.y());
        seen.z.add(r.z());
        seen.g.add(r.g());
        if (::testing::Test::HasFailure())
            return seen;
    }
    return seen;
}

} // namespace

TEST(GestureGenerator, EveryGestureDecodesToItsPromiseOnEitherHand)
{
    for (int g = 0; g < GestureGenerator::kGestureCount; ++g)
        for (int band = 0; band < 4; ++band)
            for (bool onLeft : {false, true}) {
                checkPromise(Gesture(g), band, onLeft, 0.0f, 30.0);
                ASSERT_FALSE(HasFailure());
            }
}

TEST(GestureGenerator, GesturesCoverTheRangesTheyAdvertise)
{
    const float gravityOnly = 0.25f / 3.0f;

    const Ranges still = checkPromise(Gesture::Still, 0, false, 0.0f, 5.0);
    EXPECT_NEAR(still.x.lo, 0.5f, 1e-5f);
    EXPECT_NEAR(still.x.hi, 0.5f, 1e-5f);
    EXPECT_NEAR(still.z.hi, 0.5f, 1e-5f);
    EXPECT_NEAR(still.g.lo, gravityOnly, 1e-5f);
    EXPECT_NEAR(still.g.hi, gravityOnly, 1e-5f);

    const Ranges roll = checkPromise(Gesture::RollSweep, 0, false, 0.0f, 8.0);
    EXPECT_LT(roll.x.lo, 0.03f);
    EXPECT_GT(roll.x.hi, 0.97f);
    EXPECT_NEAR(roll.y.hi - roll.y.lo, 0.0f, 1e-4f);
    EXPECT_NEAR(roll.g.hi, gravityOnly, 1e-4f);

    const Ranges pitch = checkPromise(Gesture::PitchSweep, 0, false, 0.0f, 8.0);
    EXPECT_NEAR(pitch.y.lo, 0.2f, 0.01f);
    EXPECT_NEAR(pitch.y.hi, 0.8f, 0.01f);
    EXPECT_NEAR(pitch.x.hi - pitch.x.lo, 0.0f, 1e-4f);
    EXPECT_NEAR(pitch.z.hi - pitch.z.lo, 0.0f, 1e-4f);

    const Ranges turns = checkPromise(Gesture::Turns, 0, false, 0.0f, 13.0);
    EXPECT_FLOAT_EQ(turns.z.lo, 0.0f);
    EXPECT_FLOAT_EQ(turns.z.hi, 1.0f);

    const Ranges shake = checkPromise(Gesture::Shake, 0, false, 0.0f, 4.0);
    EXPECT_NEAR(shake.g.lo, gravityOnly, 0.01f);
    EXPECT_GT(shake.g.hi, 0.19f);
    EXPECT_NEAR(shake.x.hi - shake.x.lo, 0.0f, 1e-4f);

    const Ranges mixed = checkPromise(Gesture::Mixed, 0, false, 0.0f, 60.0);
    EXPECT_GT(mixed.x.hi - mixed.x.lo, 0.85f);
    EXPECT_GT(mixed.y.hi - mixed.y.lo, 0.5f);
    EXPECT_GT(mixed.z.hi - mixed.z.lo, 0.85f);
    EXPECT_GT(mixed.g.hi, 0.1f);
}

TEST(GestureGenerator, TurnsAcrossTheBackStayContinuousAroundACentreBehind)
{
    // With the heading centre at 180 degrees the turns cross +-180 right in
    // the middle of Z's range: the unwrapping must keep Z smooth there.
    Device device(false, 1.0f);
    float previousZ = -1.0f;
    float previousHeading = 0.0f;
    int crossings = 0;
    for (int n = 0; n < int(25 * kRate); ++n) {
        const auto pose = GestureGenerator::pose(Gesture::Turns, n / kRate);
        const MotionRecord r =
            device.apply(FrameCodec::encodeMotion(GestureGenerator::frameOf(pose, 0)));
        if (previousZ >= 0.0f && previousHeading > 0.9f && pose.heading < -0.9f) {
            ++crossings;
            EXPECT_NEAR(r.z(), previousZ, 0.01f);
            EXPECT_NEAR(r.z(), 0.5f, 0.02f);
        }
        previousZ = r.z();
        previousHeading = pose.heading;
    }
    EXPECT_EQ(crossings, 2);
}

TEST(GestureGenerator, StillBandMeasuresOneGravityOnItsZAxis)
{
    const auto frame =
        GestureGenerator::frameOf(GestureGenerator::pose(Gesture::Still, 3.0), uint8_t(7));
    EXPECT_EQ(frame.slot, 7);
    EXPECT_EQ(frame.ax, 0);
    EXPECT_EQ(frame.ay, 0);
    EXPECT_EQ(frame.az, 16384);
    EXPECT_FLOAT_EQ(frame.q.w, 1.0f);
}

TEST(GestureGenerator, NamesAndShortFormsAreRecognised)
{
    for (const QString& name : GestureGenerator::names())
        EXPECT_EQ(GestureGenerator::nameOf(*GestureGenerator::fromName(name)), name);
    EXPECT_EQ(GestureGenerator::fromName(QStringLiteral(" Roll ")), Gesture::RollSweep);
    EXPECT_EQ(GestureGenerator::fromName(QStringLiteral("turn")), Gesture::Turns);
    EXPECT_FALSE(GestureGenerator::fromName(QStringLiteral("wave")).has_value());
    EXPECT_FALSE(GestureGenerator::fromName(QString()).has_value());
}

TEST(ReceiverSimulatorConfig, RateIsCappedByWhatTheLineCarries)
{
    // 230400 baud, 11 bits a byte, 29 bytes a frame: 722 frames a second.
    EXPECT_NEAR(ReceiverSimulator::maxRatePerBand(1), 722.26, 0.01);
    EXPECT_NEAR(ReceiverSimulator::maxRatePerBand(4), 180.56, 0.01);

    auto config = ReceiverSimulator::Config::withBands(4);
    config.rate = 1000.0;
    ReceiverSimulator capped(config);
    EXPECT_NEAR(capped.rate(), ReceiverSimulator::maxRatePerBand(4), 1e-9);

    config.rate = 100.0;
    ReceiverSimulator plain(config);
    EXPECT_DOUBLE_EQ(plain.rate(), 100.0);
}

TEST(ReceiverSimulatorConfig, RejectsConfigurationsNoReceiverCouldReport)
{
    EXPECT_TRUE(ReceiverSimulator::validate(ReceiverSimulator::Config::withBands(4)).isEmpty());
    EXPECT_FALSE(ReceiverSimulator::validate(ReceiverSimulator::Config::withBands(0)).isEmpty());
    EXPECT_FALSE(ReceiverSimulator::validate(ReceiverSimulator::Config::withBands(5)).isEmpty());

    auto config = ReceiverSimulator::Config::withBands(2);
    config.bands[1].slot = config.bands[0].slot;
    EXPECT_FALSE(ReceiverSimulator::validate(config).isEmpty());

    config = ReceiverSimulator::Config::withBands(2);
    config.bands[1].uuid = config.bands[0].uuid;
    EXPECT_FALSE(ReceiverSimulator::validate(config).isEmpty());

    config = ReceiverSimulator::Config::withBands(1);
    config.bands[0].uuid = 0;
    EXPECT_FALSE(ReceiverSimulator::validate(config).isEmpty());

    config = ReceiverSimulator::Config::withBands(1);
    config.bands[0].slot = 16;
    EXPECT_FALSE(ReceiverSimulator::validate(config).isEmpty());

    config = ReceiverSimulator::Config::withBands(1);
    config.rate = 0.0;
    EXPECT_FALSE(ReceiverSimulator::validate(config).isEmpty());
    config.rate = std::nan("");
    EXPECT_FALSE(ReceiverSimulator::validate(config).isEmpty());
}
