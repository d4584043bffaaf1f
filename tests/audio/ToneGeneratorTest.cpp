// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/ToneGenerator.h"
#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "audio/SineWavetable.h"
#include "audio/SquareWavetable.h"
#include "midi/InMemoryMidiBackend.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr float kOneEntryPerSample = 44100.0f / 128.0f; // 344.53125 Hz

using Channels = std::vector<std::vector<float>>;

Channels makeChannels(int count, int samples, float fill = 9.0f)
{
    return Channels(static_cast<size_t>(count),
                    std::vector<float>(static_cast<size_t>(samples), fill));
}

std::vector<float*> pointers(Channels& channels)
{
    std::vector<float*> out;
    for (auto& c : channels)
        out.push_back(c.data());
    return out;
}

// The gated tone computed independently with a fresh pair of oscillators.
std::vector<float> gatedTone(float toneHz, float lfoHz, float amplitude, int samples)
{
    SineWavetable tone;
    SquareWavetable lfo;
    tone.setFrequency(toneHz);
    tone.setAmplitude(amplitude);
    lfo.setFrequency(lfoHz);
    std::vector<float> out;
    for (int i = 0; i < samples; ++i)
        out.push_back(tone.nextSample() * std::max(0.0f, lfo.nextSample()));
    return out;
}

TEST(Wavetables, SineSpansOnePeriodWithBothEndsAtZero)
{
    SineWavetable sine;
    const auto& t = sine.table();
    ASSERT_EQ(t.size(), 128u);
    EXPECT_NEAR(t[0], 0.0f, 1e-6f);
    EXPECT_NEAR(t[127], 0.0f, 1e-6f);
    for (int i = 0; i < 128; ++i)
        EXPECT_NEAR(t[static_cast<size_t>(i)], std::sin(i * 2.0 * M_PI / 127.0), 1e-6) << i;
    EXPECT_GT(t[31], 0.99f);
    EXPECT_LT(t[95], -0.99f);
}

TEST(Wavetables, SquareIsHighForTheFirstHalf)
{
    SquareWavetable square;
    const auto& t = square.table();
    ASSERT_EQ(t.size(), 128u);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(t[static_cast<size_t>(i)], 1.0f) << i;
    for (int i = 64; i < 128; ++i)
        EXPECT_EQ(t[static_cast<size_t>(i)], -1.0f) << i;
}

TEST(Wavetables, InterpolatesBetweenEntries)
{
    SineWavetable sine;
    sine.setPhase(10.25f);
    const auto& t = sine.table();
    EXPECT_NEAR(sine.nextSample(), t[10] + (t[11] - t[10]) * 0.25f, 1e-6f);
    // Frequency 0 leaves the phase where it is.
    EXPECT_FLOAT_EQ(sine.getPhase(), 10.25f);
    // The last entry interpolates towards the first.
    sine.setPhase(127.5f);
    EXPECT_NEAR(sine.nextSample(), t[127] + (t[0] - t[127]) * 0.5f, 1e-6f);
}

TEST(Wavetables, OneEntryPerSampleWrapsFrom127ToZero)
{
    SineWavetable sine;
    sine.setFrequency(kOneEntryPerSample);
    const auto& t = sine.table();
    for (int n = 0; n < 3 * 128; ++n) {
        const int entry = n % 128;
        ASSERT_FLOAT_EQ(sine.getPhase(), static_cast<float>(entry)) << n;
        ASSERT_FLOAT_EQ(sine.nextSample(), t[static_cast<size_t>(entry)]) << n;
    }
    EXPECT_FLOAT_EQ(sine.getPhase(), 0.0f);
}

TEST(Wavetables, PhaseStaysInsideTheTableForAnyFrequency)
{
    for (float hz : {0.1f, 440.0f, 22050.0f, 44100.0f, 100000.0f, 1.0e7f, -300.0f, -1.0e6f}) {
        SineWavetable sine;
        sine.setFrequency(hz);
        for (int n = 0; n < 2000; ++n) {
            const float v = sine.nextSample();
            ASSERT_TRUE(std::isfinite(v)) << hz;
            ASSERT_GE(sine.getPhase(), 0.0f) << hz;
            ASSERT_LT(sine.getPhase(), 128.0f) << hz;
        }
    }
    // A sample rate of 0 (no device yet) stands still instead of dividing by 0.
    SineWavetable still;
    still.setSampleRate(0.0f);
    still.setFrequency(440.0f);
    still.nextSample();
    EXPECT_EQ(still.getPhase(), 0.0f);
}

TEST(Wavetables, AmplitudeScalesTheOutput)
{
    SineWavetable loud;
    SineWavetable quiet;
    loud.setFrequency(1000.0f);
    quiet.setFrequency(1000.0f);
    quiet.setAmplitude(0.2f);
    for (int n = 0; n < 100; ++n)
        ASSERT_NEAR(quiet.nextSample(), 0.2f * loud.nextSample(), 1e-6f);
}

class Tone : public ::testing::Test
{
protected:
    void SetUp() override
    {
        gen.setFrequency(1000.0f);
        gen.setLfoFrequency(kOneEntryPerSample); // 64 samples on, 64 off
        gen.setPan(0.25f);
    }

    void render(Channels& channels)
    {
        auto p = pointers(channels);
        gen.render(p.data(), static_cast<int>(p.size()), static_cast<int>(channels[0].size()));
    }

    ToneGenerator gen;
};

TEST_F(Tone, PanSplitsTheGatedToneAndOddChannelsFollowTheRightGain)
{
    gen.setPlaying(true);
    Channels out = makeChannels(3, 256);
    render(out);
    const std::vector<float> expected = gatedTone(1000.0f, kOneEntryPerSample, 1.0f, 256);
    for (size_t i = 0; i < 256; ++i) {
        ASSERT_NEAR(out[0][i], 0.75f * expected[i], 1e-6f) << i;
        ASSERT_NEAR(out[1][i], 0.25f * expected[i], 1e-6f) << i;
        ASSERT_NEAR(out[2][i], 0.75f * expected[i], 1e-6f) << i;
    }
    // The square gate: the second half of each LFO period is silent.
    for (size_t i = 64; i < 128; ++i)
        ASSERT_EQ(out[0][i], 0.0f) << i;
    float loudest = 0.0f;
    for (size_t i = 0; i < 64; ++i)
        loudest = std::max(loudest, std::fabs(out[0][i]));
    EXPECT_GT(loudest, 0.5f);
}

TEST_F(Tone, AmplitudeLowersTheTone)
{
    gen.setPlaying(true);
    gen.setAmplitude(0.2f);
    Channels out = makeChannels(2, 128);
    render(out);
    const std::vector<float> expected = gatedTone(1000.0f, kOneEntryPerSample, 0.2f, 128);
    for (size_t i = 0; i < 128; ++i)
        ASSERT_NEAR(out[0][i], 0.75f * expected[i], 1e-6f) << i;
    gen.setAmplitude(7.0f);
    EXPECT_EQ(gen.tone().getAmplitude(), 1.0f);
    gen.setPan(-3.0f);
    EXPECT_EQ(gen.getPan(), 0.0f);
}

TEST_F(Tone, SilentUntilPlayedAndOutputsCleared)
{
    // A fresh generator renders its fade blocks of silence first.
    Channels out = makeChannels(2, 64);
    for (int block = 0; block < 40; ++block) {
        out = makeChannels(2, 64);
        render(out);
        for (const auto& c : out)
            for (float v : c)
                ASSERT_EQ(v, 0.0f);
    }
    EXPECT_EQ(gen.getFadeCounter(), 0);
}

TEST_F(Tone, StoppingGivesFifteenBlocksOfZerosThenStopsRendering)
{
    gen.setPlaying(true);
    Channels out = makeChannels(2, 64);
    render(out);
    gen.setPlaying(false);

    for (int block = 0; block < 15; ++block) {
        const float phaseBefore = gen.tone().getPhase();
        out = makeChannels(2, 64);
        render(out);
        EXPECT_NE(gen.tone().getPhase(), phaseBefore) << "block " << block << " was not rendered";
        for (const auto& c : out)
            for (float v : c)
                ASSERT_EQ(v, 0.0f) << "block " << block;
    }
    // From now on nothing is rendered: the oscillators stand still and the
    // device's buffers are cleared rather than left as they were.
    for (int block = 0; block < 5; ++block) {
        const float phaseBefore = gen.tone().getPhase();
        out = makeChannels(2, 64, 9.0f);
        render(out);
        EXPECT_EQ(gen.tone().getPhase(), phaseBefore);
        for (const auto& c : out)
            for (float v : c)
                ASSERT_EQ(v, 0.0f);
    }
    // Playing again renders at once.
    gen.setPlaying(true);
    out = makeChannels(2, 64);
    render(out);
    EXPECT_NE(out[0][1], 0.0f);
    EXPECT_EQ(gen.getFadeCounter(), ToneGenerator::kFadeBlocks);
}

TEST_F(Tone, BlocksLongerThanTheBlockBufferAreRenderedWhole)
{
    gen.setPlaying(true);
    constexpr int kSamples = 3 * ToneGenerator::kMaxBlockSize + 123;
    Channels out = makeChannels(2, kSamples);
    render(out);
    const std::vector<float> expected = gatedTone(1000.0f, kOneEntryPerSample, 1.0f, kSamples);
    for (size_t i = 0; i < static_cast<size_t>(kSamples); ++i)
        ASSERT_NEAR(out[1][i], 0.25f * expected[i], 1e-6f) << i;
}

TEST_F(Tone, NullChannelsAreSkipped)
{
    gen.setPlaying(true);
    Channels out = makeChannels(2, 64);
    std::vector<float*> p{nullptr, out[1].data()};
    gen.render(p.data(), 2, 64);
    gen.render(nullptr, 0, 64);
    EXPECT_NE(out[1][1], 9.0f);
}

// The holder's audio callback without any device.
class HolderCallback : public ::testing::Test
{
protected:
    StateManager state;
};

TEST_F(HolderCallback, ObserverRunsOncePerBlockBeforeTheToneIsRendered)
{
    AudioProcessorHolder holder(QString{}, state, nullptr);
    holder.setFrequency(kOneEntryPerSample);
    holder.setPlaying(true);
    std::vector<std::pair<int, float>> seen;
    holder.setBlockObserver(
        [&](int n) { seen.emplace_back(n, holder.toneGenerator().tone().getPhase()); });

    Channels out = makeChannels(2, 32);
    auto p = pointers(out);
    holder.audioDeviceIOCallback(nullptr, 0, p.data(), 2, 32);
    holder.audioDeviceIOCallback(nullptr, 0, p.data(), 2, 32);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(32, 0.0f));
    // The second block sees the phase the first block left: the observer
    // ran before the tone of its own block.
    EXPECT_EQ(seen[1], std::make_pair(32, 32.0f));
    EXPECT_FLOAT_EQ(holder.toneGenerator().tone().getPhase(), 64.0f);

    // An empty block does nothing.
    holder.audioDeviceIOCallback(nullptr, 0, p.data(), 2, 0);
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(HolderCallback, TransportAdvancesOncePerBlockBeforeTheTone)
{
    auto transport = std::make_shared<Transport>(state);
    AudioProcessorHolder holder(QString{}, state, transport);
    holder.setFrequency(kOneEntryPerSample);
    holder.setPlaying(true);
    std::vector<std::pair<uint64_t, float>> seen;
    holder.setBlockObserver([&](int) {
        seen.emplace_back(transport->samplePosition(), holder.toneGenerator().tone().getPhase());
    });

    Channels out = makeChannels(2, 64);
    auto p = pointers(out);
    for (int block = 0; block < 3; ++block)
        holder.audioDeviceIOCallback(nullptr, 0, p.data(), 2, 64);
    ASSERT_EQ(seen.size(), 3u);
    // Each block: the transport has counted it, the tone not yet.
    EXPECT_EQ(seen[0], std::make_pair(uint64_t{64}, 0.0f));
    EXPECT_EQ(seen[1], std::make_pair(uint64_t{128}, 64.0f));
    EXPECT_EQ(seen[2], std::make_pair(uint64_t{192}, 0.0f)); // 128 wrapped
    EXPECT_EQ(transport->samplePosition(), 192u);
}

TEST_F(HolderCallback, EveryBlockTicksTheClockAndFlushesTheMidiBuffer)
{
    auto backend = std::make_shared<InMemoryMidiBackend>();
    MidiHandler midi(backend, &state);
    auto transport = std::make_shared<Transport>(state, &midi);
    AudioProcessorHolder holder(QString{}, state, transport);

    int ticks = 0;
    QObject::connect(
        transport.get(), &Transport::ticked, transport.get(), [&](uint64_t) { ++ticks; },
        Qt::DirectConnection);
    int blocksWithPending = 0;
    holder.setBlockObserver([&](int) {
        if (midi.pendingCount() != 0)
            ++blocksWithPending;
    });

    // 44100 Hz, 120 bpm: a tick every 918.75 samples, the first on sample 0;
    // 100 blocks of 512. The GUI thread hears of the ticks afterwards.
    Channels out = makeChannels(2, 512);
    auto p = pointers(out);
    for (int block = 0; block < 100; ++block) {
        midi.queueMessage(juce::MidiMessage::controllerEvent(1, 7, block % 128));
        holder.audioDeviceIOCallback(nullptr, 0, p.data(), 2, 512);
        transport->deliverTicks();
    }
    EXPECT_EQ(ticks, 56); // ticks 0..55: 55 * 918.75 < 51200 <= 56 * 918.75
    EXPECT_EQ(blocksWithPending, 0);
    // 100 controllers and one clock per tick reached the virtual port.
    const auto sent = backend->messagesSentTo(QString::fromLatin1(MidiHandler::kVirtualPortName));
    EXPECT_EQ(static_cast<int>(sent.size()), 100 + ticks);
}

} // namespace
