// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/StateManager.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "midi/InMemoryMidiBackend.h"
#include "midi/MidiHandler.h"

#include <QByteArray>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace enginetest {

// Bytes of a list of messages, one string, for comparing with the wire.
inline QByteArray bytesOf(const std::vector<juce::MidiMessage>& messages)
{
    QByteArray bytes;
    for (const juce::MidiMessage& message : messages)
        bytes.append(reinterpret_cast<const char*>(message.getRawData()), message.getRawDataSize());
    return bytes;
}

inline MotionRecord recordWith(float x, float y, float z = 0.5f, float g = 0.0f)
{
    MotionRecord record;
    record[MotionRecord::X] = x;
    record[MotionRecord::Y] = y;
    record[MotionRecord::Z] = z;
    record[MotionRecord::G] = g;
    return record;
}

// The objects a source talks to, wired as the application wires them: the
// state, a MIDI handler over an in-memory MIDI service and the engine that
// sends its sources' MIDI there.
class EngineFixture : public ::testing::Test
{
protected:
    // Runs a device through its warm-up so that sources may send for it.
    void warmUp(Orvik* device)
    {
        for (int i = 0; i <= Orvik::kWarmUpFrames; ++i)
            push(device, MotionRecord{});
        ASSERT_TRUE(device->isReady());
    }

    Orvik* addDevice(uint64_t uuid, bool ready = true)
    {
        engine.addNewDevice(uuid);
        Orvik* device = engine.getDeviceById(uuid);
        if (ready)
            warmUp(device);
        return device;
    }

    // What the link does with a frame of `device`: the device takes the
    // record and, when a control value moved, the engine hands it to the
    // sources that follow the device; any other frame goes only to the
    // sources that want every frame.
    void push(Orvik* device, const MotionRecord& record)
    {
        if (device->applyMotion(record))
            engine.deliverMotion(*device, record);
        else
            engine.deliverStillFrame(*device, record);
    }

    QByteArray pending() const { return bytesOf(midi->pendingMessages()); }
    QByteArray sentToPort() const { return backend->bytesSentTo(MidiHandler::kVirtualPortName); }

    StateManager state{[this](int position) { return engine.getDeviceAt(position); }};
    std::shared_ptr<InMemoryMidiBackend> backend = std::make_shared<InMemoryMidiBackend>();
    std::unique_ptr<MidiHandler> midi = std::make_unique<MidiHandler>(backend, &state);
    MotionControlEngine engine{state, midi.get()};
};

} // namespace enginetest
