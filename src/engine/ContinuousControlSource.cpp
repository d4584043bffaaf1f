// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ContinuousControlSource.h"

#include "engine/ControlMapping.h"
#include "engine/ControlModes.h"
#include "engine/ControlOutput.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <algorithm>
#include <climits>

namespace {

// The message builders take data already cut to seven bits (fourteen for
// the wheel), so out-of-range settings wrap instead of tripping the
// builders' range checks.
juce::MidiMessage controller(int channel, int number, int value)
{
    return juce::MidiMessage::controllerEvent(channel, int(unsigned(number) & 0x7Fu),
                                              int(unsigned(value) & 0x7Fu));
}

juce::MidiMessage pitchWheel(int channel, int value)
{
    return juce::MidiMessage::pitchWheel(channel, int(unsigned(value) & 0x3FFFu));
}

juce::MidiMessage channelPressure(int channel, int value)
{
    return juce::MidiMessage::channelPressureChange(channel, int(unsigned(value) & 0x7Fu));
}

constexpr int kHighResPairOffset = 32;
constexpr int kLearnValue = 127;
constexpr int kPitchWheelCentre = 8192;

} // namespace

ContinuousControlSource::ContinuousControlSource(QObject* parent) : ControlSourceBase(parent)
{
    configureShaping();
}

void ContinuousControlSource::setMin(float x)
{
    const auto lock = lockState();
    if (x < m_params.max)
        m_params.min = x;
}

void ContinuousControlSource::setMax(float x)
{
    const auto lock = lockState();
    if (!(x <= m_params.min))
        m_params.max = x;
}

void ContinuousControlSource::setSensitivity(float x)
{
    const auto lock = lockState();
    m_params.sensitivity = std::max(x, ControlMapping::kMinSensitivity);
}

void ContinuousControlSource::setSmoothingMinCutoff(float hz)
{
    const auto lock = lockState();
    m_params.smoothingMinCutoff = hz;
    configureShaping();
}

void ContinuousControlSource::setSmoothingBeta(float beta)
{
    const auto lock = lockState();
    m_params.smoothingBeta = beta;
    configureShaping();
}

void ContinuousControlSource::setDeadBand(int steps)
{
    const auto lock = lockState();
    m_params.deadBand = steps;
    configureShaping();
}

void ContinuousControlSource::configureShaping()
{
    m_params.clampSmoothing();
    m_filter.setMinCutoff(double(m_params.smoothingMinCutoff));
    m_filter.setBeta(double(m_params.smoothingBeta));
    m_deadBand.setSteps(m_params.deadBand);
    restartShaping();
}

void ContinuousControlSource::restartShaping()
{
    m_filter.restart();
    m_deadBand.restart();
}

void ContinuousControlSource::applyParams(const ControlSourceParams& params)
{
    {
        const auto lock = lockState();
        const float min = m_params.min;
        const float max = m_params.max;
        m_params = params;
        // The record is taken as a whole; its range is kept only when it is
        // a range at all, so that min stays below max.
        if (!(params.min < params.max)) {
            m_params.min = min;
            m_params.max = max;
        }
        m_params.sensitivity = std::max(params.sensitivity, ControlMapping::kMinSensitivity);
        configureShaping();
    }
    rebindAfterApply();
}

int ContinuousControlSource::midiChannel() const
{
    return ControlMapping::midiChannel(getChannel());
}

bool ContinuousControlSource::isHighResMidiOn() const
{
    const MotionControlEngine* owner = engine();
    return owner && owner->modes().getHiResMidiState();
}

bool ContinuousControlSource::isInMappingMode() const
{
    const MotionControlEngine* owner = engine();
    return owner && owner->modes().getMappingModeState();
}

void ContinuousControlSource::queue(const juce::MidiMessage& message) const
{
    const MotionControlEngine* owner = engine();
    ControlOutput* output = owner ? owner->controlOutput() : nullptr;
    if (output == nullptr)
        return;
    // A frame's message is due when the frame arrived, however long the
    // link took to get here.
    const int64_t arrival = frameArrival();
    if (arrival != DeviceDirectory::kUnstamped)
        output->queueMessageAt(message, arrival);
    else
        output->queueMessage(message);
}

bool ContinuousControlSource::isSendDue(bool deviceReady, float value, float out, bool pinned)
{
    if (!m_params.isShaping())
        return ControlMapping::isSendDue(deviceReady, m_lastValue, value);
    // A hand on its way somewhere is not jitter: while the smoothed motion
    // travels fast the dead band lets every new value through, so that it
    // never holds back the end of a gesture.
    const bool travelling =
        m_params.isSmoothing() && m_filter.speed() > double(kDeadBandTravelSpeed);
    return deviceReady && m_deadBand.admit(value, out, pinned || travelling);
}

void ContinuousControlSource::handleMotion(const MotionRecord& record)
{
    handleMotionOf(deviceRef().get(), record);
}

// The frame is worked out on a local value and the live state published once
// at the end: the knobs and the OSC tick read it from another thread and
// must never see a half-mapped value.
void ContinuousControlSource::handleMotionOf(const Orvik* device, const MotionRecord& record)
{
    if (!isEnabled() || isDummy() || !device || device->isBypassed() || isInMappingMode()) {
        m_gateOpen.store(false, std::memory_order_relaxed);
        // Coming back, the wheel starts from where the hand is then.
        restartShaping();
        return;
    }
    const std::optional<float> motion = ControlMapping::pickAxis(record, m_params.axis);
    if (!motion) {
        // An axis that names no motion value follows nothing.
        m_gateOpen.store(false, std::memory_order_relaxed);
        restartShaping();
        return;
    }
    float value = ControlMapping::shape(*motion, m_params.sensitivity, m_params.isReversed);
    // Smoothed on the scale the window sees, so that the speed that opens
    // the filter up is the speed the output would move at.
    if (m_params.isSmoothing())
        value = float(m_filter.filter(double(value), kFramePeriodSeconds));
    const bool gateOpen =
        ControlMapping::isGateOpen(device->getYGate(), record.y(), m_params.isGated, value,
                                   m_params.lowerbound, m_params.upperbound);
    const bool ready = device->isReady();

    if (gateOpen) {
        value = ControlMapping::mapWindow(value, m_params.lowerbound, m_params.upperbound);
        const int number = getEventNumber();
        if (number <= 127)
            value = sendControlChange(value, ready, false);
        else if (number == ControlMapping::kPitchBendEvent)
            value = sendPitchBend(value, ready, false);
        else if (number == ControlMapping::kAftertouchEvent)
            value = sendAftertouch(value, ready, false);
        publish(value, true);
        m_lastValue.store(value, std::memory_order_relaxed);
        m_rampStep.store(0, std::memory_order_relaxed);
        return;
    }

    if (m_params.defaultValue == ControlMapping::kDefaultOff) {
        publish(m_lastValue.load(std::memory_order_relaxed), false);
        return;
    }
    const int step = m_rampStep.load(std::memory_order_relaxed);
    if (step <= ControlMapping::kGlideSteps) {
        value = ControlMapping::glideStep(m_lastValue, m_params.defaultValue, step);
        publish(emitValue(value, ready, true), false);
    } else {
        publish(m_params.defaultValue, false);
    }
    if (step < INT_MAX)
        m_rampStep.store(step + 1, std::memory_order_relaxed);
}

void ContinuousControlSource::publish(float value, bool gateOpen)
{
    m_value.store(value, std::memory_order_relaxed);
    m_gateOpen.store(gateOpen, std::memory_order_relaxed);
}

float ContinuousControlSource::emitValue(float value, bool deviceReady, bool pinned)
{
    switch (getEventNumber()) {
    case ControlMapping::kPitchBendEvent:
        return sendPitchBend(value, deviceReady, pinned);
    case ControlMapping::kAftertouchEvent:
        return sendAftertouch(value, deviceReady, pinned);
    default:
        return sendControlChange(value, deviceReady, pinned);
    }
}

namespace {

// A value at either end of the window: a dead band never keeps it back.
bool isRangeEnd(float value)
{
    return value <= 0.0f || value >= ControlMapping::kScale;
}

} // namespace

float ContinuousControlSource::sendControlChange(float value, bool deviceReady, bool pinned)
{
    const float out = ControlMapping::outputOf(value, m_params.min, m_params.max);
    const int channel = midiChannel();
    const int number = getEventNumber();
    if (ControlMapping::isChannelModeEvent(number))
        return value; // the knob still moves; nothing is sent
    if (number < kHighResPairOffset && isHighResMidiOn()) {
        const ControlMapping::HighResPair pair = ControlMapping::splitHighRes(out);
        const juce::MidiMessage msb = controller(channel, number, pair.msb);
        const juce::MidiMessage lsb = controller(channel, number + kHighResPairOffset, pair.lsb);
        if (isSendDue(deviceReady, value, out, pinned || isRangeEnd(value))) {
            queue(msb);
            queue(lsb);
        }
        return value;
    }
    const juce::MidiMessage message = controller(channel, number, ControlMapping::truncate(out));
    if (isSendDue(deviceReady, value, out, pinned || isRangeEnd(value)))
        queue(message);
    return value;
}

float ContinuousControlSource::sendAftertouch(float value, bool deviceReady, bool pinned)
{
    const float out = ControlMapping::outputOf(value, m_params.min, m_params.max);
    const juce::MidiMessage message = channelPressure(midiChannel(), ControlMapping::truncate(out));
    if (isSendDue(deviceReady, value, out, pinned || isRangeEnd(value)))
        queue(message);
    return value;
}

float ContinuousControlSource::sendPitchBend(float value, bool deviceReady, bool pinned)
{
    const float curve = ControlMapping::pitchBendCurve(
        value, m_params.lowerbound, m_params.upperbound, m_params.min, m_params.max);
    const float shown = curve * ControlMapping::kScale;
    const juce::MidiMessage message =
        pitchWheel(midiChannel(), ControlMapping::pitchWheelOf(curve));
    // The curve is limited to min..max: either limit is a range end.
    const bool atEnd = curve <= m_params.min / ControlMapping::kScale ||
                       curve >= m_params.max / ControlMapping::kScale;
    if (isSendDue(deviceReady, shown, shown, pinned || atEnd))
        queue(message);
    return shown;
}

void ContinuousControlSource::handleDeviceBypass()
{
    const std::shared_ptr<Orvik> device = deviceRef();
    if (!device || !device->isBypassed())
        return;
    m_gateOpen.store(false, std::memory_order_relaxed);
    if (m_params.defaultValue > ControlMapping::kDefaultOff && isEnabled()) {
        publish(emitValue(m_params.defaultValue, device->isReady(), true), false);
        if (const MotionControlEngine* owner = engine())
            if (ControlOutput* output = owner->controlOutput())
                output->flushBuffer();
    }
}

void ContinuousControlSource::sendMapping()
{
    const MotionControlEngine* owner = engine();
    ControlOutput* midi = owner ? owner->controlOutput() : nullptr;
    if (!midi)
        return;
    const int channel = midiChannel();
    const int number = getEventNumber();
    if (ControlMapping::isChannelModeEvent(number))
        return;
    if (number < kHighResPairOffset && isHighResMidiOn()) {
        midi->queueMessage(controller(channel, number, 113));
        midi->queueMessage(controller(channel, number + kHighResPairOffset, 20));
        midi->queueMessage(controller(channel, number, 100));
        midi->queueMessage(controller(channel, number + kHighResPairOffset, 10));
        midi->flushBuffer();
        return;
    }
    // A host learns pitch bend and aftertouch from a message of that kind:
    // move the control fully and let it go again, so nothing is left bent or
    // pressed.
    if (number == ControlMapping::kPitchBendEvent) {
        midi->queueMessage(pitchWheel(channel, ControlMapping::kMaxPitchWheel));
        midi->queueMessage(pitchWheel(channel, kPitchWheelCentre));
        midi->flushBuffer();
        return;
    }
    if (number == ControlMapping::kAftertouchEvent) {
        midi->queueMessage(channelPressure(channel, kLearnValue));
        midi->queueMessage(channelPressure(channel, 0));
        midi->flushBuffer();
        return;
    }
    midi->sendNow(controller(channel, number, kLearnValue));
}

void ContinuousControlSource::reset()
{
    disconnectFromDevice();
    {
        const auto lock = lockState();
        m_value.store(0.0f, std::memory_order_relaxed);
        m_gateOpen.store(true, std::memory_order_relaxed);
        m_lastValue.store(-1.0f, std::memory_order_relaxed);
        m_rampStep.store(0, std::memory_order_relaxed);
        resetBase();
        configureShaping();
    }
    Q_EMIT sourceReset();
}
