// SPDX-License-Identifier: GPL-3.0-or-later
// Regularity of the MIDI timing clock as it leaves the application: the
// audio callback of a JACK dummy server advances the transport and flushes
// the MIDI buffer; every clock message is stamped with the steady clock when
// it is handed to the backend. For each block size: the mean and spread of
// the intervals against the ideal, and the drift of the last clock against
// the ideal grid over the run (a minute by default).

#include "JackDummyServer.h"
#include "SampleSummary.h"
#include "TimestampingMidiBackend.h"

#include "app/ActionHandler.h"
#include "app/JuceMessagePump.h"
#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <juce_events/juce_events.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Set by --tempo.
int g_tempo = 120;
constexpr int kWarmUpMs = 2000;

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// One run at `period` samples per block; prints its figures.
bool measure(int period, int seconds)
{
    JackDummyServer server(JackDummyServer::Mode::Private, period);
    const QString problem = server.start();
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "bench_midi_clock: %s\n", qPrintable(problem));
        return false;
    }
    const int ticksExpected = seconds * g_tempo * Transport::kTicksPerQuarterNote / 60;
    auto backend = std::make_shared<TimestampingMidiBackend>(size_t(ticksExpected) * 2 + 10000);
    StateManager state;
    MidiHandler midi(backend, &state);
    auto transport = std::make_shared<Transport>(state, &midi);
    state.setTempo(g_tempo);
    state.setSendingClockState(true);
    state.setAudioBufferSize(period);

    int blockSize = 0;
    double sampleRate = 0.0;
    int xruns = 0;
    double samplesPerTick = 0.0;
    {
        AudioProcessorHolder holder(QString{}, state, transport);
        holder.addAudioDeviceType(std::unique_ptr<juce::AudioIODeviceType>(
            juce::AudioIODeviceType::createAudioIODeviceType_JACK()));
        holder.initialise();
        juce::AudioIODevice* device = holder.deviceManager().getCurrentAudioDevice();
        if (device == nullptr) {
            std::fprintf(stderr, "bench_midi_clock: the JACK device did not open\n");
            return false;
        }
        blockSize = device->getCurrentBufferSizeSamples();
        sampleRate = device->getCurrentSampleRate();
        runEventLoopFor(kWarmUpMs);
        const int xrunsBefore = device->getXRunCount();
        backend->arm();
        runEventLoopFor(seconds * 1000);
        backend->disarm();
        xruns = device->getXRunCount() - xrunsBefore;
        samplesPerTick = transport->currentSamplesPerTick();
        holder.detachFromDevice();
    }
    server.stop();

    std::vector<double> stamps;
    for (size_t i = 0; i < backend->count(); ++i) {
        const auto& r = backend->at(i);
        if (r.size == 1 && r.bytes[0] == 0xF8)
            stamps.push_back(double(r.ns) * 1e-6);
    }
    if (stamps.size() < 3) {
        std::fprintf(stderr, "bench_midi_clock: too few clock messages (%zu)\n", stamps.size());
        return false;
    }
    std::vector<double> intervals;
    for (size_t i = 1; i < stamps.size(); ++i)
        intervals.push_back(stamps[i] - stamps[i - 1]);
    const SampleSummary s = SampleSummary::of(intervals);
    const double nominalMs = 60000.0 / (g_tempo * Transport::kTicksPerQuarterNote);
    const double gridMs = 1000.0 * samplesPerTick / sampleRate;
    const double spanMs = stamps.back() - stamps.front();
    const double intervalsCounted = double(intervals.size());
    // Jitter against the audio grid: deviation of each interval from it.
    std::vector<double> deviation;
    for (double v : intervals)
        deviation.push_back(std::fabs(v - gridMs));
    const SampleSummary d = SampleSummary::of(deviation);

    std::printf("MIDI clock at %d BPM, JACK dummy %d samples at %.0f Hz (%.2f ms per block)\n",
                g_tempo, blockSize, sampleRate, 1000.0 * blockSize / sampleRate);
    std::printf("  clocks: %zu over %.1f s; xruns: %d\n", stamps.size(), spanMs / 1000.0, xruns);
    std::printf("  ideal interval %.4f ms (tempo); %.4f ms on the sample grid (%.2f samples)\n",
                nominalMs, gridMs, samplesPerTick);
    std::printf("  interval mean %.4f ms  stddev %.4f ms  min %.3f ms  max %.3f ms\n", s.mean,
                s.stddev, s.min, s.max);
    std::printf("  |interval - grid|: median %.3f ms  p99 %.3f ms  max %.3f ms\n", d.median, d.p99,
                d.max);
    std::printf("  drift over the run: %+.3f ms against the sample grid, %+.3f ms against the "
                "tempo (%+.1f ppm)\n",
                spanMs - intervalsCounted * gridMs, spanMs - intervalsCounted * nominalMs,
                1e6 * (spanMs - intervalsCounted * nominalMs) / (intervalsCounted * nominalMs));
    // The dummy driver skips the cycles it reports as xruns: the samples the
    // clock counts fall behind the wall clock by that much.
    std::printf("  audio skipped by xruns: about %.1f ms (%d x %d samples)\n",
                1000.0 * double(xruns) * blockSize / sampleRate, xruns, blockSize);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    int seconds = 60;
    std::vector<int> periods{64, 512};
    std::string periodArgument;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::max(5, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--tempo") == 0 && i + 1 < argc) {
            g_tempo = std::max(20, std::atoi(argv[++i]));
            periodArgument += std::string(" --tempo ") + argv[i];
        } else if (std::strcmp(argv[i], "--period") == 0 && i + 1 < argc) {
            periods = {std::atoi(argv[++i])};
            periodArgument += std::string(" --period ") + argv[i];
        } else {
            std::fprintf(stderr, "usage: %s [--seconds N] [--tempo BPM] [--period SAMPLES]\n",
                         argv[0]);
            return 2;
        }
    }
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/kinetra-bench-XXXXXX"));
    if (home.isValid())
        qputenv("HOME", home.path().toUtf8());
    QCoreApplication app(argc, argv);
    juce::MessageManager::getInstance();
    JuceMessagePump pump;
    pump.start();

    bool ok = true;
    for (int period : periods) {
        ok = measure(period, seconds) && ok;
        std::printf("\n");
    }
    pump.stop();
    ActionHandler::shutDownAudioLibrary();
    std::printf("repeat: %s --seconds %d%s   (Release build, -DKINETRA_BUILD_BENCH=ON)\n", argv[0],
                seconds, periodArgument.c_str());
    return ok ? 0 : 1;
}
