// SPDX-License-Identifier: GPL-3.0-or-later
#include "GestureGenerator.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Roll and pitch scales of the application's X and Y, heading scale of Z.
constexpr float kRollScale = 1.2f;
constexpr float kPitchScale = 1.2f;
constexpr float kHeadingScale = 1.8f;
// 1 g on the wire's acceleration scale.
constexpr float kGravity = 0.5f;

double wave(double seconds, double period, double phase = 0.0)
{
    return std::sin(2.0 * kPi * seconds / period + phase);
}

// 0 between bursts, rising smoothly to 1 in the middle of each burst.
double burst(double seconds, double period)
{
    return 0.5 - 0.5 * std::cos(2.0 * kPi * seconds / period);
}

float clampUnit(float v)
{
    return std::clamp(v, -1.0f, 1.0f);
}

int16_t toWire(float v)
{
    const long scaled = std::lround(double(v) * 32768.0);
    return int16_t(std::clamp(scaled, -32768L, 32767L));
}

// Gravity as the band sees it for a roll and pitch (heading plays no part).
void addGravity(GestureGenerator::Pose& p)
{
    const double roll = double(p.roll) * kPi;
    const double pitch = double(p.pitch) * kPi / 2.0;
    p.ax = float(-std::sin(pitch) * kGravity);
    p.ay = float(std::sin(roll) * std::cos(pitch) * kGravity);
    p.az = float(std::cos(roll) * std::cos(pitch) * kGravity);
}

float wrapHalfTurns(double v)
{
    v = std::fmod(v + 1.0, 2.0);
    if (v < 0.0)
        v += 2.0;
    return float(v - 1.0);
}

} // namespace

QString GestureGenerator::nameOf(Gesture gesture)
{
    switch (gesture) {
    case Gesture::Still:
        return QStringLiteral("still");
    case Gesture::RollSweep:
        return QStringLiteral("roll-sweep");
    case Gesture::PitchSweep:
        return QStringLiteral("pitch-sweep");
    case Gesture::Turns:
        return QStringLiteral("turns");
    case Gesture::Shake:
        return QStringLiteral("shake");
    case Gesture::Mixed:
        return QStringLiteral("mixed");
    }
    return QString();
}

std::optional<GestureGenerator::Gesture> GestureGenerator::fromName(const QString& name)
{
    const QString n = name.trimmed().toLower();
    for (int i = 0; i < kGestureCount; ++i) {
        const auto g = Gesture(i);
        if (n == nameOf(g))
            return g;
    }
    if (n == QLatin1String("roll"))
        return Gesture::RollSweep;
    if (n == QLatin1String("pitch"))
        return Gesture::PitchSweep;
    if (n == QLatin1String("turn"))
        return Gesture::Turns;
    if (n == QLatin1String("performance"))
        return Gesture::Mixed;
    return std::nullopt;
}

QStringList GestureGenerator::names()
{
    QStringList out;
    for (int i = 0; i < kGestureCount; ++i)
        out << nameOf(Gesture(i));
    return out;
}

double GestureGenerator::bandTimeOffset(int bandIndex)
{
    return 1.3 * bandIndex;
}

GestureGenerator::Pose GestureGenerator::pose(Gesture gesture, double t)
{
    Pose p;
    switch (gesture) {
    case Gesture::Still:
        break;
    case Gesture::RollSweep:
        p.roll = float(0.8 * wave(t, 4.0));
        break;
    case Gesture::PitchSweep:
        p.pitch = float(0.5 * wave(t, 4.0));
        break;
    case Gesture::Turns:
        p.heading = wrapHalfTurns(2.0 * t / 12.0);
        break;
    case Gesture::Shake:
        break;
    case Gesture::Mixed:
        p.roll = float(0.75 * wave(t, 5.0));
        p.pitch = float(0.45 * wave(t, 7.0, 1.0));
        p.heading = float(0.5 * wave(t, 11.0, 2.0));
        break;
    }
    addGravity(p);
    if (gesture == Gesture::Shake)
        p.ax += float(0.6 * burst(t, 2.0) * wave(t, 0.2));
    else if (gesture == Gesture::Mixed)
        p.ax += float(0.3 * burst(t, 3.0) * wave(t, 0.2));
    return p;
}

Quaternion GestureGenerator::quaternionOf(float roll, float pitch, float heading)
{
    // Heading about z, then pitch about y, then roll about x: the order in
    // which the application takes the angles apart again.
    const double hr = double(roll) * kPi / 2.0;
    const double hp = double(pitch) * kPi / 4.0;
    const double hh = double(heading) * kPi / 2.0;
    const double cr = std::cos(hr), sr = std::sin(hr);
    const double cp = std::cos(hp), sp = std::sin(hp);
    const double ch = std::cos(hh), sh = std::sin(hh);
    Quaternion q;
    q.w = float(cr * cp * ch + sr * sp * sh);
    q.x = float(sr * cp * ch - cr * sp * sh);
    q.y = float(cr * sp * ch + sr * cp * sh);
    q.z = float(cr * cp * sh - sr * sp * ch);
    return q;
}

FrameCodec::MotionFrame GestureGenerator::frameOf(const Pose& pose, uint8_t slot)
{
    FrameCodec::MotionFrame f;
    f.slot = slot;
    f.q = quaternionOf(pose.roll, pose.pitch, pose.heading);
    f.ax = toWire(pose.ax);
    f.ay = toWire(pose.ay);
    f.az = toWire(pose.az);
    return f;
}

float GestureGenerator::relativeHeading(float heading, float yawReference)
{
    return wrapHalfTurns(double(heading) - double(yawReference));
}

GestureGenerator::Controls GestureGenerator::promised(const Pose& pose, bool onLeft,
                                                      float yawReference)
{
    const float side = onLeft ? -1.0f : 1.0f;
    Controls c;
    c.x = (clampUnit(side * kRollScale * pose.roll) + 1.0f) * 0.5f;
    c.y = (clampUnit(kPitchScale * pose.pitch) + 1.0f) * 0.5f;
    c.z = (clampUnit(side * kHeadingScale * relativeHeading(pose.heading, yawReference)) + 1.0f) *
          0.5f;
    c.g = (pose.ax * pose.ax + pose.ay * pose.ay + pose.az * pose.az) / 3.0f;
    return c;
}
