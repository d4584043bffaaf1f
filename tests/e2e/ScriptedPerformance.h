// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "GestureGenerator.h"
#include "engine/ControlSourceParams.h"
#include "protocol/MotionRecord.h"

#include <QJsonObject>
#include <QVector>

#include <cstdint>
#include <functional>
#include <vector>

// A scripted performance and what the application must make of it: the
// simulator's bands, each doing one gesture at a fixed frame rate, and the
// wheels of a patch following them. The predictions use the application's
// own arithmetic (the simulator's frames, MotionMath, ControlMapping) frame
// by frame, for a warmed-up band worn on the right with its heading centre
// at 0.
class ScriptedPerformance
{
public:
    struct Band
    {
        uint64_t uuid = 0;
        uint8_t slot = 0;
        GestureGenerator::Gesture gesture = GestureGenerator::Gesture::Still;
    };

    ScriptedPerformance(double rate, QVector<Band> bands);

    double rate() const { return m_rate; }
    const QVector<Band>& bands() const { return m_bands; }
    // The simulator's band order of `uuid`, or -1.
    int bandOf(uint64_t uuid) const;

    // The pose the simulator sends in frame `frame` of band `band`.
    GestureGenerator::Pose poseOf(int band, uint64_t frame) const;
    // The motion record the link computes from that frame.
    MotionRecord recordOf(int band, uint64_t frame) const;

    // The value (0-127, after shaping and the motion window) that a wheel
    // takes from a record, as the source holds it and "/crl" reports it.
    static float sourceValue(const ControlSourceParams& wheel, const MotionRecord& record);

    // `quantity` of the record of every frame 0..frames-1 of the wheel's
    // band, sorted: the values the stream may carry for that wheel.
    std::vector<double>
    possibleValues(const ControlSourceParams& wheel, uint64_t frames,
                   const std::function<double(const MotionRecord&)>& quantity) const;
    // Whether `sorted` holds a value within `tolerance` of `v`.
    static bool containsNear(const std::vector<double>& sorted, double v, double tolerance);

    // A live wheel of slot `index` following `uuid`.
    static ControlSourceParams wheel(int index, const QString& name, uint64_t uuid, int axis,
                                     int eventNumber, int channel);
    // The patch file holding `wheels`.
    static QJsonObject patchOf(const QVector<ControlSourceParams>& wheels);

private:
    double m_rate;
    QVector<Band> m_bands;
};
