// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LinkHealthMonitor.h"

#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"

namespace {

// A band starts with this level and no frame of the receiver changes it, so
// it means "never reported".
constexpr int kNeverReportedBattery = 127;

} // namespace

LinkHealthMonitor::LinkHealthMonitor(MotionControlEngine& engine, QObject* parent)
    : QObject(parent), m_engine(engine)
{
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { sample(); });
    connect(&m_engine, &MotionControlEngine::numOfDeviceChanged, this,
            &LinkHealthMonitor::followBands);
}

void LinkHealthMonitor::start()
{
    m_started = true;
    followBands();
}

void LinkHealthMonitor::stop()
{
    m_started = false;
    followBands();
}

void LinkHealthMonitor::followBands()
{
    const bool wanted = m_started && m_engine.getNumOfDevice() > 0;
    if (wanted && !m_timer.isActive())
        m_timer.start();
    else if (!wanted)
        m_timer.stop();
}

void LinkHealthMonitor::setCounters(std::shared_ptr<const LinkCounters> counters)
{
    m_counters = std::move(counters);
}

LinkHealth::Reading LinkHealthMonitor::read(const LinkCounters& counters,
                                            const MotionControlEngine& engine, int64_t nowMs)
{
    LinkHealth::Reading reading;
    reading.nowMs = nowMs;
    reading.skippedBytes = counters.skippedBytes();
    std::array<LinkCounters::Slot, LinkCounters::kSlots> slots;
    for (int s = 0; s < LinkCounters::kSlots; ++s)
        slots[size_t(s)] = counters.slot(s);
    const int count = engine.getNumOfDevice();
    for (int i = 0; i < count; ++i) {
        const Orvik* device = engine.getDeviceAt(i);
        if (!device)
            continue;
        LinkHealth::Reading::Band band;
        band.uuid = device->getUuid();
        for (const LinkCounters::Slot& slot : slots) {
            if (slot.uuid != band.uuid)
                continue;
            band.frames += slot.frames;
            band.lastFrameMs = std::max(band.lastFrameMs, slot.lastFrameMs);
        }
        const int level = device->getBatteryLevel();
        band.battery = level == kNeverReportedBattery || level < 0 || level > 100
                           ? LinkHealth::kUnknownBattery
                           : level;
        reading.bands.push_back(band);
    }
    return reading;
}

void LinkHealthMonitor::sample(int64_t nowMs)
{
    if (!m_counters)
        return;
    m_health.update(read(*m_counters, m_engine, nowMs));
    Q_EMIT updated();
}

const LinkHealth::Band* LinkHealthMonitor::bandAt(int position) const
{
    const auto& bands = m_health.bands();
    return position >= 0 && size_t(position) < bands.size() ? &bands[size_t(position)] : nullptr;
}
