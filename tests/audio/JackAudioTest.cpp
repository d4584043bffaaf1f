// SPDX-License-Identifier: GPL-3.0-or-later
#include "JackDummyServer.h"
#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "audio/JuceTestEnvironment.h"
#include "midi/InMemoryMidiBackend.h"
#include "midi/JackMidiPort.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"
#include "support/SignalWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <memory>
#include <vector>

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

// Records the frame each message arrives on at an input port connected to
// "KinetraMIDIPort"; its frame clock is the one the audio blocks run on.
class ArrivalReader
{
public:
    ~ArrivalReader()
    {
        if (m_client != nullptr)
            jack_client_close(m_client);
    }
    bool open()
    {
        m_client = jack_client_open("kinetra-test-arrivals", JackNoStartServer, nullptr);
        if (m_client == nullptr)
            return false;
        m_port = jack_port_register(m_client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        return m_port != nullptr && jack_set_process_callback(m_client, &process, this) == 0 &&
               jack_activate(m_client) == 0;
    }
    bool connectFrom(const QString& port)
    {
        const int result =
            jack_connect(m_client, port.toUtf8().constData(), jack_port_name(m_port));
        return result == 0 || result == EEXIST;
    }
    uint32_t cycleFrame() const { return jack_last_frame_time(m_client); }
    // arrival[i]: the frame note i arrived on (written by the process thread,
    // read once it is deactivated).
    std::array<std::atomic<uint32_t>, 128> arrival{};
    std::array<std::atomic<bool>, 128> arrived{};

private:
    static int process(jack_nframes_t n, void* arg)
    {
        auto* self = static_cast<ArrivalReader*>(arg);
        void* buffer = jack_port_get_buffer(self->m_port, n);
        const uint32_t start = jack_last_frame_time(self->m_client);
        for (uint32_t i = 0, count = jack_midi_get_event_count(buffer); i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) == 0 && event.size == 3) {
                self->arrival[event.buffer[1] & 0x7F].store(start + event.time);
                self->arrived[event.buffer[1] & 0x7F].store(true);
            }
        }
        return 0;
    }
    jack_client_t* m_client = nullptr;
    jack_port_t* m_port = nullptr;
};

// A message the audio callback hands the port at an offset in its block
// arrives on that offset of the cycle the block runs in: the port's client
// runs after the audio device's, and nothing waits a second period.
TEST(JackAudio, MidiPortWritesABlocksMessagesInTheCycleTheBlockRunsIn)
{
    // A server of its own: the test before may have stopped the one it named.
    JackDummyServer server(JackDummyServer::Mode::Private);
    const QString problem = server.start();
    if (JackDummyServer::isMissing(problem))
        GTEST_SKIP() << problem.toStdString();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();

    StateManager state;
    auto transport = std::make_shared<Transport>(state, nullptr);
    AudioProcessorHolder holder(QString{}, state, transport);
    holder.addAudioDeviceType(std::unique_ptr<juce::AudioIODeviceType>(
        juce::AudioIODeviceType::createAudioIODeviceType_JACK()));
    JackMidiPort port;
    ArrivalReader reader;
    constexpr int kOffset = 17;
    // cycle[i]: the cycle the block that sent note i ran in (audio thread).
    std::array<std::atomic<uint32_t>, 128> cycle{};
    std::atomic<int> next{-1};
    holder.setBlockObserver([&](int n) {
        const int i = next.load();
        if (i < 0 || i >= 128)
            return;
        next.store(i + 1);
        cycle[size_t(i)].store(reader.cycleFrame());
        port.beginBlock(n);
        const uint8_t note[3] = {0x90, uint8_t(i), 64};
        port.send(note, 3, kOffset, n);
    });
    holder.initialise();
    ASSERT_EQ(holder.getCurrentDeviceType(), QStringLiteral("JACK"));
    QString reason;
    ASSERT_TRUE(port.open(reason)) << reason.toStdString();
    ASSERT_TRUE(reader.open());
    ASSERT_TRUE(reader.connectFrom(port.outputPortName()));
    EXPECT_TRUE(port.orderAfter(QString::fromLatin1(AudioProcessorHolder::kJackClientName), reason))
        << reason.toStdString();
    next.store(0);
    ASSERT_TRUE(testsupport::waitUntil([&] { return next.load() >= 128; }, 10000));
    QThread::msleep(100);
    holder.detachFromDevice();
    port.close();

    // Cycles a loaded server skips delay a few; the median is the port's.
    std::vector<int32_t> latency;
    for (size_t i = 0; i < 128; ++i)
        if (reader.arrived[i].load())
            latency.push_back(int32_t(reader.arrival[i].load() - cycle[i].load() - kOffset));
    ASSERT_GE(latency.size(), 100u);
    std::nth_element(latency.begin(), latency.begin() + long(latency.size() / 2), latency.end());
    EXPECT_EQ(latency[latency.size() / 2], 0) << "frames after the block's own cycle";
}

} // namespace
