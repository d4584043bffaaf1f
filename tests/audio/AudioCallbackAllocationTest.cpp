#include "app/AppContext.h"
#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "midi/Transport.h"

#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(AudioCallback, RendersAndTicksWithoutAllocating)
{
    StateManager state;
    Transport transport;
    AppContext::setStateManager(&state);
    AppContext::setTransport(&transport);
    {
        AudioProcessorHolder holder(QString{});
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
                for (int block = 0; block < 40; ++block)
                    holder.audioDeviceIOCallback(nullptr, 0, outputs, 2, size);
                allocations += AllocationCounter::stop();
            }
        }
        EXPECT_EQ(allocations, 0);
        EXPECT_GT(transport.samplePosition(), 0u);
    }
    AppContext::clear();
}

} // namespace
