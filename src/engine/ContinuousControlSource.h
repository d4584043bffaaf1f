// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ControlSourceBase.h"
#include "engine/ControlSourceParams.h"
#include "engine/OneEuroFilter.h"
#include "engine/OutputDeadBand.h"

#include <atomic>

namespace juce {
class MidiMessage;
}

// The control source the application uses: follows one motion value of its
// device, shapes it by sensitivity and reversing, gates it by the device's Y
// gate and its own motion window, maps the window onto an output range and
// queues a controller (7-bit or 14-bit), pitch-bend or aftertouch message in
// the MIDI handler's buffer when the value moved. While the gate is closed it
// can glide to a default value in ten steps.
//
// Optionally it smooths the motion value (a speed-adaptive low-pass that
// steps one frame period per frame) and holds a dead band on the output;
// then it takes every frame of its band, also those that moved nothing, so
// that the filter keeps settling and a value at rest still arrives.
class ContinuousControlSource : public ControlSourceBase
{
    Q_OBJECT

public:
    explicit ContinuousControlSource(QObject* parent = nullptr);

    float getLowerbound() const { return m_params.lowerbound; }
    float getUpperbound() const { return m_params.upperbound; }
    float getMin() const { return m_params.min; }
    float getMax() const { return m_params.max; }
    bool isGated() const { return m_params.isGated; }
    bool isReversed() const { return m_params.isReversed; }
    float getDefaultValue() const { return m_params.defaultValue; }
    float getSensitivity() const { return m_params.sensitivity; }
    int getAxis() const { return m_params.axis; }
    float getSmoothingMinCutoff() const { return m_params.smoothingMinCutoff; }
    float getSmoothingBeta() const { return m_params.smoothingBeta; }
    int getDeadBand() const { return m_params.deadBand; }
    // The live state the last frame left; read from any thread.
    float getValue() const { return m_value.load(std::memory_order_relaxed); }
    // The same value, for the OSC tick to read on its own thread.
    const std::atomic<float>& liveValue() const { return m_value; }
    bool isGateOpen() const { return m_gateOpen.load(std::memory_order_relaxed); }
    float getLastValue() const { return m_lastValue.load(std::memory_order_relaxed); }
    int getRampStep() const { return m_rampStep.load(std::memory_order_relaxed); }

    // Assign, no signal.
    void setLowerbound(float x) { assignLocked(m_params.lowerbound, x); }
    void setUpperbound(float x) { assignLocked(m_params.upperbound, x); }
    void setDefaultValue(float x) { assignLocked(m_params.defaultValue, x); }
    void setGated(bool gated) { assignLocked(m_params.isGated, gated); }
    void setReversed(bool reversed) { assignLocked(m_params.isReversed, reversed); }
    void setAxis(int axis) { assignLocked(m_params.axis, axis); }
    // Keep min below max: a value that would cross the other end is ignored.
    void setMin(float x);
    void setMax(float x);
    // Never below 0.1.
    void setSensitivity(float x);
    // Limited to their ranges (ControlSourceParams); each starts the
    // smoothing afresh from the next frame.
    void setSmoothingMinCutoff(float hz);
    void setSmoothingBeta(float beta);
    void setDeadBand(int steps);

    // The time one frame stands for: the bands stream 100 frames a second.
    static constexpr double kFramePeriodSeconds = 0.01;
    // How close (on the 0-127 scale) the smoothed value must come to a
    // value at rest to take it exactly.
    static constexpr double kSmoothingSnap = 0.001;
    // Above this smoothed speed (0-127 scale per second) the motion counts
    // as a gesture, not jitter, and the dead band does not hold it back.
    // Low enough that a sweep is let through from its first frames (no
    // more than a frame of lag), high enough that the filter's own speed at
    // rest, even with 2 degrees of sensor noise, rarely reaches it.
    static constexpr float kDeadBandTravelSpeed = 10.0f;

    ControlSourceParams getParams() const { return m_params; }
    // Copies every setting without a signal, then follows the record's
    // device (leaving the one followed before) and emits deviceChanged.
    void applyParams(const ControlSourceParams& params);

    void handleMotion(const MotionRecord& record) override;
    void handleMotionOf(const Orvik* device, const MotionRecord& record) override;
    void sendMapping() override;
    void handleDeviceBypass() override;
    void reset() override;

protected:
    bool wantsEveryFrame() const override { return m_params.isShaping(); }

private:
    // Takes the smoothing settings over and starts afresh; state lock held.
    void configureShaping();
    // Drops the filter's and the dead band's past; state lock held.
    void restartShaping();
    // Stores the live state the user interface reads, in one place.
    void publish(float value, bool gateOpen);
    // Sends `value` by event number: pitch bend, aftertouch, or a controller
    // numbered by the low seven bits of anything else. Each returns the
    // value to show (pitch bend shows its curve on the 0-127 scale).
    // A glide step or the bypass default is `pinned`: a dead band does not
    // hold it back.
    float emitValue(float value, bool deviceReady, bool pinned = false);
    float sendControlChange(float value, bool deviceReady, bool pinned);
    float sendPitchBend(float value, bool deviceReady, bool pinned);
    float sendAftertouch(float value, bool deviceReady, bool pinned);
    // Whether a message for `value` (output value `out`) goes out: the
    // device is ready and the value moved since the last one (for a wheel
    // that smooths or holds a dead band: enough since the last one sent).
    bool isSendDue(bool deviceReady, float value, float out, bool pinned);
    void queue(const juce::MidiMessage& message) const;
    int midiChannel() const;
    bool isHighResMidiOn() const;
    bool isInMappingMode() const;

    // Written by the frame processing (with the state lock held), read
    // lock-free by the user interface and the OSC tick.
    std::atomic<float> m_value{0.0f};
    std::atomic<bool> m_gateOpen{true};
    std::atomic<float> m_lastValue{-1.0f};
    std::atomic<int> m_rampStep{0};

    // The smoothing state: the frame processing and the setters, each with
    // the state lock held.
    OneEuroFilter m_filter{ControlSourceParams::kDefaultSmoothingMinCutoff,
                           ControlSourceParams::kDefaultSmoothingBeta, kSmoothingSnap};
    OutputDeadBand m_deadBand;
};
