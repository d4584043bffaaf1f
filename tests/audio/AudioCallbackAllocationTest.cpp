#include "app/AppContext.h"
#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "midi/Transport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

// Counts the allocations of the thread that asks for it. This binary holds
// only these tests, so replacing the global operators affects nothing else.
namespace {
thread_local bool t_counting = false;
thread_local long t_allocations = 0;
} // namespace

void* operator new(std::size_t size)
{
    if (t_counting)
        ++t_allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

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
                t_allocations = 0;
                t_counting = true;
                for (int block = 0; block < 40; ++block)
                    holder.audioDeviceIOCallback(nullptr, 0, outputs, 2, size);
                t_counting = false;
                allocations += t_allocations;
            }
        }
        EXPECT_EQ(allocations, 0);
        EXPECT_GT(transport.samplePosition(), 0u);
    }
    AppContext::clear();
}

} // namespace
