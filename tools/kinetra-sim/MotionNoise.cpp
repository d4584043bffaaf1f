// SPDX-License-Identifier: GPL-3.0-or-later
#include "MotionNoise.h"

#include "protocol/FrameFramer.h"

#include <cmath>

namespace {

Quaternion multiply(const Quaternion& a, const Quaternion& b)
{
    Quaternion q;
    q.w = a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z;
    q.x = a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y;
    q.y = a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x;
    q.z = a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w;
    return q;
}

} // namespace

MotionNoise::MotionNoise(double degrees, uint32_t seed) : m_degrees(degrees), m_random(seed) {}

FrameCodec::MotionFrame MotionNoise::jitter(FrameCodec::MotionFrame frame)
{
    if (!(m_degrees > 0.0))
        return frame;
    const double sigma = m_degrees * M_PI / 180.0;
    const double rx = m_normal(m_random) * sigma;
    const double ry = m_normal(m_random) * sigma;
    const double rz = m_normal(m_random) * sigma;
    const double angle = std::sqrt(rx * rx + ry * ry + rz * rz);
    if (angle <= 0.0)
        return frame;
    const double s = std::sin(angle / 2.0) / angle;
    Quaternion turn;
    turn.w = float(std::cos(angle / 2.0));
    turn.x = float(rx * s);
    turn.y = float(ry * s);
    turn.z = float(rz * s);
    frame.q = multiply(frame.q, turn);
    return frame;
}

PerformanceRecorder::Recording MotionNoise::applyTo(const PerformanceRecorder::Recording& recording)
{
    PerformanceRecorder::Recording out;
    out.ok = recording.ok;
    out.truncated = recording.truncated;
    out.error = recording.error;
    FrameFramer framer;
    for (const PerformanceRecorder::Chunk& chunk : recording.chunks) {
        PerformanceRecorder::Chunk noisy;
        noisy.timeUs = chunk.timeUs;
        framer.feed(reinterpret_cast<const uint8_t*>(chunk.bytes.constData()), chunk.bytes.size(),
                    [&](const uint8_t* frame, int length) {
                        const auto motion = FrameCodec::typeOf(frame[0]) == FrameCodec::Motion
                                                ? FrameCodec::decodeMotion(frame, length)
                                                : std::nullopt;
                        if (motion)
                            noisy.bytes += FrameCodec::encodeMotion(jitter(*motion));
                        else
                            noisy.bytes += QByteArray(reinterpret_cast<const char*>(frame), length);
                    });
        if (!noisy.bytes.isEmpty())
            out.chunks.append(noisy);
    }
    return out;
}
