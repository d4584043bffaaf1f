// SPDX-License-Identifier: GPL-3.0-or-later
#include "JackDummyServer.h"
#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "audio/JuceTestEnvironment.h"
#include "midi/InMemoryMidiBackend.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"
#include "support/SignalWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

TEST(JackAudio, DrivesTheTransportAtTheTempoAndFlushesMidiEveryBlock)
{
    JackDummyServer server;
    const QString problem = server.start();
    if (JackDummyServer::isMissing(problem))
        GTEST_SKIP() << problem.toStdString();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();

    StateManager state;
    auto backend = std::make_shared<InMemoryMidiBackend>();
    MidiHandler midi(backend, &state);
    auto transport = std::make_shared<Transport>(state, &midi);
    state.setTempo(120);
    state.setSendingClockState(true);

    std::atomic<int> ticks{0};
    std::atomic<long long> samples{0};
    std::atomic<int> blocks{0};
    std::atomic<int> blocksLeavingMidi{0};
    QObject::connect(
        transport.get(), &Transport::ticked, transport.get(), [&](uint64_t) { ++ticks; },
        Qt::DirectConnection);

    double elapsedSeconds = 0.0;
    int measuredTicks = 0;
    long long measuredSamples = 0;
    int measuredXRuns = 0;
    {
        AudioProcessorHolder holder(QString{}, state, transport);
        holder.addAudioDeviceType(std::unique_ptr<juce::AudioIODeviceType>(
            juce::AudioIODeviceType::createAudioIODeviceType_JACK()));
        // Runs after the transport of each block: its flush has emptied the
        // pending buffer.
        holder.setBlockObserver([&](int n) {
            samples += n;
            ++blocks;
            if (midi.pendingCount() != 0)
                ++blocksLeavingMidi;
        });
        holder.initialise();
        ASSERT_EQ(holder.getCurrentDeviceType(), QStringLiteral("JACK"));
        ASSERT_FALSE(holder.getCurrentDevice().isEmpty());
        EXPECT_EQ(state.getAudioSampleRate(), 44100);
        EXPECT_EQ(state.getAudioBufferSize(), 64);
        ASSERT_TRUE(testsupport::waitUntil([&] { return blocks.load() > 10; }, 10000));

        juce::AudioIODevice* device = holder.deviceManager().getCurrentAudioDevice();
        ASSERT_NE(device, nullptr);
        const int xrunsBefore = device->getXRunCount();
        const int ticksBefore = ticks.load();
        const long long samplesBefore = samples.load();
        QElapsedTimer clock;
        clock.start();
        testsupport::waitUntil(
            [&] {
                testsupport::pumpJuceMessages();
                return clock.elapsed() >= 2000;
            },
            5000);
        transport->deliverTicks();
        measuredTicks = ticks.load() - ticksBefore;
        measuredSamples = samples.load() - samplesBefore;
        elapsedSeconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
        measuredXRuns = device->getXRunCount() - xrunsBefore;
        holder.detachFromDevice();
    }
    testsupport::pumpJuceMessages();
    transport->deliverTicks();

    // A loaded machine makes the server skip cycles it reports as xruns;
    // those samples never reach any client, so they are allowed for.
    const double lostSamples = 2.0 * 64.0 * measuredXRuns;
    const double lostTicks = lostSamples / 918.75;
    RecordProperty("xruns", measuredXRuns);
    // 120 beats per minute at 24 ticks per beat: 48 ticks a second.
    const double expectedTicks = 48.0 * elapsedSeconds;
    EXPECT_LE(measuredTicks, expectedTicks * 1.04 + 1.0);
    EXPECT_GE(measuredTicks + lostTicks, expectedTicks * 0.96 - 1.0) << measuredXRuns << " xruns";
    const double rate = static_cast<double>(measuredSamples) / elapsedSeconds;
    EXPECT_LE(rate, 44100.0 * 1.04);
    EXPECT_GE(rate + lostSamples / elapsedSeconds, 44100.0 * 0.96) << measuredXRuns << " xruns";
    // The clock derives from the samples: one tick per 918.75 samples.
    EXPECT_NEAR(measuredTicks, measuredSamples / 918.75, 1.5);
    EXPECT_EQ(blocksLeavingMidi.load(), 0);
    // Every tick's clock message left with its own block's flush.
    const auto sent = backend->messagesSentTo(QString::fromLatin1(MidiHandler::kVirtualPortName));
    EXPECT_EQ(static_cast<int>(sent.size()), ticks.load());
}

} // namespace
