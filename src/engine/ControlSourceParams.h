// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <cstdint>

// Every setting of a control source, as one plain record: what a patch
// stores for a wheel and what is copied from one source object to another.
// The run-time state of a source (its value, gate and glide) is not part of
// it.
struct ControlSourceParams
{
    QUuid id;
    // The band the source was made for: what a patch stores. While that band
    // is absent the source follows another one for the time being (run-time
    // state of the source, not part of this record).
    uint64_t deviceId = 0;
    uint32_t type = 0;
    bool dummy = true;
    bool enabled = true;
    int index = -1;
    QString name;
    uint8_t channel = 0;
    uint8_t eventNumber = 1;
    bool ccOrNote = true;
    bool toHardware = true;
    float lowerbound = 0.0f;
    float upperbound = 127.0f;
    float min = 0.0f;
    float max = 127.0f;
    bool isGated = false;
    bool isReversed = false;
    float defaultValue = -1.0f;
    float sensitivity = 1.0f;
    int axis = 0;
    // Smoothing of the motion: off while the minimum cutoff is 0; else the
    // lowest cutoff in hertz (at rest) and how fast it rises with speed.
    float smoothingMinCutoff = 0.0f;
    float smoothingBeta = kDefaultSmoothingBeta;
    // Output steps a value must move by before it goes out; 0 is none.
    int deadBand = 0;

    static constexpr float kDefaultSmoothingMinCutoff = 1.0f;
    static constexpr float kDefaultSmoothingBeta = 1.0f;
    // The dead band that goes with smoothing when the editor switches it on.
    static constexpr int kDefaultDeadBandWithSmoothing = 1;
    static constexpr float kMaxSmoothingMinCutoff = 20.0f;
    static constexpr float kMaxSmoothingBeta = 10.0f;
    static constexpr int kMaxDeadBand = 127;

    bool isSmoothing() const { return smoothingMinCutoff > 0.0f; }
    // Whether the values go out through the smoothing path at all.
    bool isShaping() const { return isSmoothing() || deadBand > 0; }
    // Brings the smoothing settings into their ranges; what is not a number
    // takes its default.
    void clampSmoothing()
    {
        smoothingMinCutoff = std::isfinite(smoothingMinCutoff)
                                 ? std::clamp(smoothingMinCutoff, 0.0f, kMaxSmoothingMinCutoff)
                                 : 0.0f;
        smoothingBeta = std::isfinite(smoothingBeta)
                            ? std::clamp(smoothingBeta, 0.0f, kMaxSmoothingBeta)
                            : kDefaultSmoothingBeta;
        deadBand = std::clamp(deadBand, 0, kMaxDeadBand);
    }
};
