// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/MidiTestSupport.h"

#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"

#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// The callback as the application runs it: the transport ticks and sends
// the clock through the MIDI handler, whose pending buffer (filled here as
// the link fills it) every block flushes to the ports.
TEST(AudioCallback, RendersTicksAndFlushesMidiWithoutAllocating)
{
    StateManager state;
    state.setSendingClockState(true);
    auto backend = std::make_shared<miditest::CountingBackend>();
    MidiHandler midi(backend, &state);
    ASSERT_TRUE(QMetaObject::invokeMethod(&midi, "devicePilot", Qt::DirectConnection));
    auto transport = std::make_shared<Transport>(state, &midi);
    transport->startPlay();
    {
        AudioProcessorHolder holder(QString{}, state, transport);
        holder.setFrequency(440.0f);
        holder.setLfoRate(4.0f);
        holder.setPan(0.3f);
        holder.setAmplitude(0.2f);

        std::vector<std::vector<float>> channels(2, std::vector<float>(9000, 0.0f));
        float* outputs[2] = {channels[0].data(), channels[1].data()};

        long allocations = 0;
        for (bool playing : {true, false}) {
            holder.setPlaying(playing);
            for (int size : {64, 512, 4096, 9000}) {
                AllocationCounter::start();
                for (int block = 0; block < 40; ++block) {
                    midi.queueMessage(juce::MidiMessage::controllerEvent(1, 7, block));
                    holder.audioDeviceIOCallback(nullptr, 0, outputs, 2, size);
                }
                allocations += AllocationCounter::stop();
            }
        }
        EXPECT_EQ(allocations, 0);
    }
    EXPECT_GT(transport->samplePosition(), 0u);
    EXPECT_TRUE(transport->isPlaying());
    EXPECT_EQ(midi.pendingCount(), 0);
    // The start, the controllers and the clocks reached the virtual port and
    // both outputs.
    EXPECT_GT(backend->clocks.load(), 3 * 100);
    EXPECT_EQ(backend->sent.load(), 3 * (1 + 320) + backend->clocks.load());
}

} // namespace
