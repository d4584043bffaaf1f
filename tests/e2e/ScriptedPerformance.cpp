// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScriptedPerformance.h"

#include "engine/ControlMapping.h"
#include "protocol/MotionMath.h"
#include "storage/PatchDocument.h"

#include <QUuid>

#include <algorithm>
#include <cmath>

ScriptedPerformance::ScriptedPerformance(double rate, QVector<Band> bands)
    : m_rate(rate), m_bands(std::move(bands))
{
}

int ScriptedPerformance::bandOf(uint64_t uuid) const
{
    for (int i = 0; i < m_bands.size(); ++i)
        if (m_bands[i].uuid == uuid)
            return i;
    return -1;
}

GestureGenerator::Pose ScriptedPerformance::poseOf(int band, uint64_t frame) const
{
    // The simulator's own timing: frame n of every band carries the gesture
    // at n / rate, shifted by the band's offset.
    const double t = double(frame) / m_rate;
    return GestureGenerator::pose(m_bands[band].gesture,
                                  t + GestureGenerator::bandTimeOffset(band));
}

MotionRecord ScriptedPerformance::recordOf(int band, uint64_t frame) const
{
    const FrameCodec::MotionFrame motion =
        GestureGenerator::frameOf(poseOf(band, frame), m_bands[band].slot);
    MotionMath::DeviceState device;
    device.isReady = true;
    const std::optional<MotionRecord> record = MotionMath::compute(motion, device);
    return record ? *record : MotionRecord{};
}

float ScriptedPerformance::sourceValue(const ControlSourceParams& wheel, const MotionRecord& record)
{
    const float motion = ControlMapping::pickAxis(record, wheel.axis).value_or(0.0f);
    const float shaped =
        ControlMapping::shape(motion, std::max(wheel.sensitivity, 0.1f), wheel.isReversed);
    return ControlMapping::mapWindow(shaped, wheel.lowerbound, wheel.upperbound);
}

std::vector<double> ScriptedPerformance::possibleValues(
    const ControlSourceParams& wheel, uint64_t frames,
    const std::function<double(const MotionRecord&)>& quantity) const
{
    const int band = bandOf(wheel.deviceId);
    std::vector<double> values;
    if (band < 0)
        return values;
    values.reserve(size_t(frames));
    for (uint64_t n = 0; n < frames; ++n)
        values.push_back(quantity(recordOf(band, n)));
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    return values;
}

bool ScriptedPerformance::containsNear(const std::vector<double>& sorted, double v,
                                       double tolerance)
{
    auto it = std::lower_bound(sorted.begin(), sorted.end(), v - tolerance);
    return it != sorted.end() && *it <= v + tolerance;
}

ControlSourceParams ScriptedPerformance::wheel(int index, const QString& name, uint64_t uuid,
                                               int axis, int eventNumber, int channel)
{
    ControlSourceParams p;
    p.id = QUuid::createUuid();
    p.deviceId = uuid;
    p.dummy = false;
    p.index = index;
    p.name = name;
    p.axis = axis;
    p.eventNumber = uint8_t(eventNumber);
    p.channel = uint8_t(channel);
    p.defaultValue = ControlMapping::kDefaultOff;
    return p;
}

QJsonObject ScriptedPerformance::patchOf(const QVector<ControlSourceParams>& wheels)
{
    PatchDocument patch;
    patch.wheels = wheels;
    return patch.toJson();
}
