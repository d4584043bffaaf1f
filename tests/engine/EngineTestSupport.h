#pragma once

#include "app/AppContext.h"
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

// The application objects a source talks to: state, engine and a MIDI
// handler over an in-memory MIDI service, registered for the test's length.
class EngineFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        AppContext::setStateManager(&state);
        AppContext::setEngine(&engine);
        backend = std::make_shared<InMemoryMidiBackend>();
        midi = std::make_unique<MidiHandler>(backend);
        AppContext::setMidiHandler(midi.get());
    }

    void TearDown() override { AppContext::clear(); }

    // Runs a device through its warm-up so that sources may send for it.
    static void warmUp(Orvik* device)
    {
        for (int i = 0; i <= Orvik::kWarmUpFrames; ++i)
            device->applyMotion(MotionRecord{});
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

    QByteArray pending() const { return bytesOf(midi->pendingMessages()); }
    QByteArray sentToPort() const { return backend->bytesSentTo(MidiHandler::kVirtualPortName); }

    StateManager state;
    MotionControlEngine engine;
    std::shared_ptr<InMemoryMidiBackend> backend;
    std::unique_ptr<MidiHandler> midi;
};

} // namespace enginetest
