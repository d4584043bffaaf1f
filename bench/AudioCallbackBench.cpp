// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "audio/ToneGenerator.h"
#include "midi/Transport.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

// The guide tone alone: one block of two channels, playing.
static void BM_ToneRender(benchmark::State& bench)
{
    const int size = static_cast<int>(bench.range(0));
    ToneGenerator tone;
    tone.setFrequency(293.0f);
    tone.setLfoFrequency(4.0f);
    tone.setPan(0.3f);
    tone.setPlaying(true);
    std::vector<std::vector<float>> channels(2, std::vector<float>(static_cast<size_t>(size)));
    float* outputs[2] = {channels[0].data(), channels[1].data()};
    for (auto _ : bench) {
        tone.render(outputs, 2, size);
        benchmark::DoNotOptimize(channels[0][0]);
    }
    bench.SetItemsProcessed(bench.iterations() * size);
}
BENCHMARK(BM_ToneRender)->Arg(64)->Arg(512);

// The whole audio callback: transport (ticks, no MIDI handler) and tone.
static void BM_AudioCallback(benchmark::State& bench)
{
    const int size = static_cast<int>(bench.range(0));
    StateManager state;
    auto transport = std::make_shared<Transport>(state);
    {
        AudioProcessorHolder holder(QString{}, state, transport);
        holder.setFrequency(293.0f);
        holder.setLfoRate(4.0f);
        holder.setPlaying(true);
        std::vector<std::vector<float>> channels(2, std::vector<float>(static_cast<size_t>(size)));
        float* outputs[2] = {channels[0].data(), channels[1].data()};
        for (auto _ : bench) {
            holder.audioDeviceIOCallback(nullptr, 0, outputs, 2, size);
            benchmark::DoNotOptimize(channels[1][0]);
        }
        bench.SetItemsProcessed(bench.iterations() * size);
    }
}
BENCHMARK(BM_AudioCallback)->Arg(64)->Arg(512);

BENCHMARK_MAIN();
