// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "protocol/FrameCodec.h"
#include "protocol/Quaternion.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// The simulated wrist movements. Each gesture is a pose as a function of
// time: roll, pitch and heading (normalised the way the application reads
// them: roll and heading in half-turns, -1..1, pitch in quarter-turns,
// -1..1) plus the accelerations the band would measure (gravity seen from
// the band, plus the shaking). A pose becomes a motion frame through a
// quaternion built from those three angles, so that decoding the frame
// gives back the promised control values (promised()).
//
// The promises, for a band worn on the right with its heading centre at 0:
//  - still:       X = Y = Z = 0.5, G = 1/12 (gravity only, 1 g = 0.5).
//  - roll sweep:  X swings between 0.02 and 0.98 (roll +-0.8 half-turns,
//                 period 4 s); Y = Z = 0.5, G = 1/12.
//  - pitch sweep: Y swings between 0.2 and 0.8 (pitch +-0.5, period 4 s;
//                 below the steep-pitch zone, so X and Z stay 0.5).
//  - turns:       one full turn of the heading every 12 s, crossing the
//                 +-180 degree line once per turn; X = Y = 0.5, Z follows
//                 the heading relative to the centre (see promised()).
//  - shake:       still orientation, bursts of 5 Hz shaking along the
//                 band's x axis every 2 s; G rises to about 0.2 at the peak.
//  - mixed:       roll (+-0.75), pitch (+-0.45) and heading (+-0.5) on
//                 unrelated slow periods (5, 7 and 11 s), so X and Z roam
//                 0.05..0.95 and Y 0.23..0.77, with lighter shaking bursts
//                 every 3 s.
// Everything is a pure function of time, so a stream is reproducible frame
// by frame.
class GestureGenerator
{
public:
    enum class Gesture
    {
        Still,
        RollSweep,
        PitchSweep,
        Turns,
        Shake,
        Mixed
    };
    static constexpr int kGestureCount = 6;

    struct Pose
    {
        float roll = 0.0f;    // half-turns, -1..1
        float pitch = 0.0f;   // quarter-turns, -0.5..0.5 for every gesture
        float heading = 0.0f; // half-turns, -1..1
        // Accelerations on the wire's scale: 1.0 is 32768, 1 g is 0.5.
        float ax = 0.0f;
        float ay = 0.0f;
        float az = 0.5f;
    };

    struct Controls
    {
        float x = 0.5f;
        float y = 0.5f;
        float z = 0.5f;
        float g = 0.0f;
    };

    static QString nameOf(Gesture gesture);
    // Accepts the names of nameOf() and their short forms ("roll", "pitch",
    // "turn", ...), case-insensitive.
    static std::optional<Gesture> fromName(const QString& name);
    static QStringList names();

    static Pose pose(Gesture gesture, double seconds);
    // Each band runs its gesture shifted in time so that four bands doing
    // the same gesture still show four different pictures.
    static double bandTimeOffset(int bandIndex);

    static Quaternion quaternionOf(float roll, float pitch, float heading);
    static FrameCodec::MotionFrame frameOf(const Pose& pose, uint8_t slot);

    // The control values the application computes from the pose: X from the
    // roll, Y from the pitch, Z from the heading relative to `yawReference`
    // taken the short way round (for a device that has warmed up; exactly
    // where that relative heading passes +-1 the application holds the old
    // side for one frame), G from the accelerations.
    static Controls promised(const Pose& pose, bool onLeft = false, float yawReference = 0.0f);

    // The heading relative to `yawReference`, brought into -1..1.
    static float relativeHeading(float heading, float yawReference);
};
