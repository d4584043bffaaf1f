#pragma once

#include "engine/ControlSourceBase.h"
#include "engine/ControlSourceParams.h"

namespace juce {
class MidiMessage;
}

// The control source the application uses: follows one motion value of its
// device, shapes it by sensitivity and reversing, gates it by the device's Y
// gate and its own motion window, maps the window onto an output range and
// queues a controller (7-bit or 14-bit), pitch-bend or aftertouch message in
// the MIDI handler's buffer when the value moved. While the gate is closed it
// can glide to a default value in ten steps.
class ContinuousControlSource : public ControlSourceBase
{
    Q_OBJECT

public:
    explicit ContinuousControlSource(QObject* parent = nullptr);

    float getLowerbound() const { return m_lowerbound; }
    float getUpperbound() const { return m_upperbound; }
    float getMin() const { return m_min; }
    float getMax() const { return m_max; }
    bool isGated() const { return m_isGated; }
    bool isReversed() const { return m_isReversed; }
    float getDefaultValue() const { return m_defaultValue; }
    float getSensitivity() const { return m_sensitivity; }
    int getAxis() const { return m_axis; }
    float getValue() const { return m_value; }
    bool isGateOpen() const { return m_gateOpen; }
    float getLastValue() const { return m_lastValue; }
    int getRampStep() const { return m_rampStep; }

    // Assign, no signal.
    void setLowerbound(float x) { m_lowerbound = x; }
    void setUpperbound(float x) { m_upperbound = x; }
    void setDefaultValue(float x) { m_defaultValue = x; }
    void setGated(bool gated) { m_isGated = gated; }
    void setReversed(bool reversed) { m_isReversed = reversed; }
    void setAxis(int axis) { m_axis = axis; }
    // Keep min below max: a value that would cross the other end is ignored.
    void setMin(float x);
    void setMax(float x);
    // Never below 0.1.
    void setSensitivity(float x);

    ControlSourceParams getParams() const;
    // Copies every setting without a signal, then follows the record's
    // device (leaving the one followed before) and emits deviceChanged.
    void applyParams(const ControlSourceParams& params);

    void handleMotion(const MotionRecord& record) override;
    void sendMapping() override;
    void handleDeviceBypass() override;
    void reset() override;

private:
    // Sends the present value by event number: pitch bend, aftertouch, or a
    // controller numbered by the low seven bits of anything else.
    void emitValue(bool deviceReady);
    void sendControlChange(bool deviceReady);
    void sendPitchBend(bool deviceReady);
    void sendAftertouch(bool deviceReady);
    bool isSendDue(bool deviceReady) const;
    void queue(const juce::MidiMessage& message) const;
    int midiChannel() const;

    float m_lowerbound = 0.0f;
    float m_upperbound = 127.0f;
    float m_min = 0.0f;
    float m_max = 127.0f;
    bool m_isGated = false;
    bool m_isReversed = false;
    float m_defaultValue = -1.0f;
    float m_sensitivity = 1.0f;
    int m_axis = 0;

    float m_value = 0.0f;
    bool m_gateOpen = true;
    float m_lastValue = -1.0f;
    int m_rampStep = 0;
};
