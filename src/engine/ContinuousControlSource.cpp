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

ContinuousControlSource::ContinuousControlSource(QObject* parent) : ControlSourceBase(parent) {}

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
    if (const MotionControlEngine* owner = engine())
        if (ControlOutput* output = owner->controlOutput())
            output->queueMessage(message);
}

bool ContinuousControlSource::isSendDue(bool deviceReady, float value) const
{
    return ControlMapping::isSendDue(deviceReady, m_lastValue, value);
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
        return;
    }
    const std::optional<float> motion = ControlMapping::pickAxis(record, m_params.axis);
    if (!motion) {
        // An axis that names no motion value follows nothing.
        m_gateOpen.store(false, std::memory_order_relaxed);
        return;
    }
    float value = ControlMapping::shape(*motion, m_params.sensitivity, m_params.isReversed);
    const bool gateOpen =
        ControlMapping::isGateOpen(device->getYGate(), record.y(), m_params.isGated, value,
                                   m_params.lowerbound, m_params.upperbound);
    const bool ready = device->isReady();

    if (gateOpen) {
        value = ControlMapping::mapWindow(value, m_params.lowerbound, m_params.upperbound);
        const int number = getEventNumber();
        if (number <= 127)
            value = sendControlChange(value, ready);
        else if (number == ControlMapping::kPitchBendEvent)
            value = sendPitchBend(value, ready);
        else if (number == ControlMapping::kAftertouchEvent)
            value = sendAftertouch(value, ready);
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
        publish(emitValue(value, ready), false);
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

float ContinuousControlSource::emitValue(float value, bool deviceReady)
{
    switch (getEventNumber()) {
    case ControlMapping::kPitchBendEvent:
        return sendPitchBend(value, deviceReady);
    case ControlMapping::kAftertouchEvent:
        return sendAftertouch(value, deviceReady);
    default:
        return sendControlChange(value, deviceReady);
    }
}

float ContinuousControlSource::sendControlChange(float value, bool deviceReady)
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
        if (isSendDue(deviceReady, value)) {
            queue(msb);
            queue(lsb);
        }
        return value;
    }
    const juce::MidiMessage message = controller(channel, number, ControlMapping::truncate(out));
    if (isSendDue(deviceReady, value))
        queue(message);
    return value;
}

float ContinuousControlSource::sendAftertouch(float value, bool deviceReady)
{
    const float out = ControlMapping::outputOf(value, m_params.min, m_params.max);
    const juce::MidiMessage message = channelPressure(midiChannel(), ControlMapping::truncate(out));
    if (isSendDue(deviceReady, value))
        queue(message);
    return value;
}

float ContinuousControlSource::sendPitchBend(float value, bool deviceReady)
{
    const float curve = ControlMapping::pitchBendCurve(
        value, m_params.lowerbound, m_params.upperbound, m_params.min, m_params.max);
    const float shown = curve * ControlMapping::kScale;
    const juce::MidiMessage message =
        pitchWheel(midiChannel(), ControlMapping::pitchWheelOf(curve));
    if (isSendDue(deviceReady, shown))
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
        publish(emitValue(m_params.defaultValue, device->isReady()), false);
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
    }
    Q_EMIT sourceReset();
}
