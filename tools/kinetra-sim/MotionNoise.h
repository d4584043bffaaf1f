// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "protocol/FrameCodec.h"
#include "protocol/PerformanceRecorder.h"

#include <cstdint>
#include <random>

// Sensor jitter for rehearsals and measurements: turns each motion frame's
// orientation by a small random rotation, a normally distributed angle of
// `degrees` (standard deviation) about each of the band's three axes, drawn
// afresh for every frame. Accelerations are left as they were. The same
// seed gives the same jitter.
class MotionNoise
{
public:
    explicit MotionNoise(double degrees, uint32_t seed = 1);

    double degrees() const { return m_degrees; }
    FrameCodec::MotionFrame jitter(FrameCodec::MotionFrame frame);

    // The recording with every motion frame jittered. Every other frame
    // passes as it was; each frame keeps the time at which its last byte
    // arrived; bytes that form no frame are left out.
    PerformanceRecorder::Recording applyTo(const PerformanceRecorder::Recording& recording);

private:
    double m_degrees;
    std::mt19937 m_random;
    std::normal_distribution<double> m_normal{0.0, 1.0};
};
