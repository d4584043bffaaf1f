// SPDX-License-Identifier: GPL-3.0-or-later
// Regularity of the MIDI timing clock as it leaves the application: the
// audio callback of a JACK dummy server advances the transport and flushes
// the MIDI buffer; every clock message is stamped with the steady clock when
// it is handed to the backend. For each block size: the mean and spread of
// the intervals against the ideal, and the drift of the last clock against
// the ideal grid over the run (a minute by default).
//
// With --jack-port the clock is read where another music program reads it:
// the MIDI handler also writes through the JACK MIDI port "KinetraMIDIPort",
// and a JACK client of the benchmark's own, connected to it, records every
// clock at its absolute JACK frame time. The figures are then in samples.

#include "JackDummyServer.h"
#include "JackMidiReader.h"
#include "PortCounters.h"
#include "SampleSummary.h"
#include "TimestampingMidiBackend.h"

#include "app/ActionHandler.h"
#include "app/JuceMessagePump.h"
#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "midi/JackMidiPort.h"
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
#include <utility>
#include <vector>

namespace {

// Set by --tempo.
int g_tempo = 120;
// Set by --jack-port.
bool g_jackPort = false;
constexpr int kWarmUpMs = 2000;

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The clocks as read at the JACK port, on their frame times.
//
// Audio lost to xruns: when the server on the dummy driver runs a cycle
// late, it moves its frame counter on by the periods it missed (the reader
// sees a cycle begin later than its previous one ended), while the transport
// counts only the samples its callback is given, so every clock after such
// a gap lands later on the frame counter by the frames skipped. The reader
// records every gap (frames skipped, negative if the counter went back);
// the mean and drift are given as read and less the frames skipped between
// the first and last clock, and the spread over all intervals and over
// those with no gap inside.
bool reportFrames(const std::vector<JackMidiReader::Message>& received,
                  const std::vector<JackMidiReader::Gap>& gaps, int blockSize, double sampleRate,
                  double samplesPerTick, int seconds, int xruns, int readerXruns)
{
    std::vector<uint32_t> frames;
    for (const auto& m : received)
        if (m.size == 1 && m.bytes[0] == 0xF8)
            frames.push_back(m.frame);
    if (frames.size() < 3) {
        std::fprintf(stderr, "bench_midi_clock: too few clocks at the JACK port (%zu)\n",
                     frames.size());
        return false;
    }
    const double nominalSamples =
        sampleRate * 60.0 / (double(g_tempo) * Transport::kTicksPerQuarterNote);
    std::vector<double> raw;
    std::vector<double> corrected;
    std::vector<double> clean; // no gap inside
    double skippedTotal = 0.0;
    long gapsInside = 0;
    size_t g = 0;
    const uint32_t origin = frames.front();
    const auto after = [origin](uint32_t frame) { return uint32_t(frame - origin); };
    while (g < gaps.size() && after(gaps[g].frame) > after(frames.back()) / 2 * 3)
        ++g; // gaps before the first clock wrap to large distances
    for (size_t i = 1; i < frames.size(); ++i) {
        const double v = double(uint32_t(frames[i] - frames[i - 1]));
        double skipped = 0.0;
        bool gap = false;
        while (g < gaps.size() && after(gaps[g].frame) <= after(frames[i])) {
            if (after(gaps[g].frame) > after(frames[i - 1])) {
                skipped += double(gaps[g].skipped);
                gap = true;
                ++gapsInside;
            }
            ++g;
        }
        skippedTotal += skipped;
        raw.push_back(v);
        corrected.push_back(v - skipped);
        if (!gap)
            clean.push_back(v);
    }
    const double n = double(raw.size());
    const double span = double(uint32_t(frames.back() - frames.front()));
    const SampleSummary r = SampleSummary::of(raw);
    const SampleSummary c = SampleSummary::of(corrected);
    const SampleSummary k = SampleSummary::of(clean);
    const double msPerSample = 1000.0 / sampleRate;
    const double nominalMs = nominalSamples * msPerSample;
    const double meanMs = span / n * msPerSample;
    const double driftSamples = span - n * nominalSamples;
    const double minutes = n * nominalSamples / sampleRate / 60.0;
    const double ticksDue = span / nominalSamples + 1.0;
    const double driftSkipped = span - skippedTotal - n * nominalSamples;

    std::printf("MIDI clock at %d BPM read at the JACK MIDI port, JACK dummy %d samples at %.0f "
                "Hz (%.2f ms per block)\n",
                g_tempo, blockSize, sampleRate, 1000.0 * blockSize / sampleRate);
    std::printf("  clocks: %zu over %.0f frames (%.1f s of frame time; %d s of wall time)\n",
                frames.size(), span, span / sampleRate, seconds);
    std::printf("  xruns: %d (audio device), %d (reader); gaps in frame time between the "
                "clocks: %ld, %.0f frames (%.1f ms) skipped\n",
                xruns, readerXruns, gapsInside, skippedTotal, skippedTotal * msPerSample);
    std::printf("  ideal interval %.4f samples = %.5f ms; the transport's %.4f samples\n",
                nominalSamples, nominalMs, samplesPerTick);
    std::printf("  intervals as read (samples): mean %.4f  min %.0f  p1 %.0f  p99 %.0f  max %.0f\n",
                r.mean, r.min, r.p1, r.p99, r.max);
    std::printf("  less the frames skipped inside: mean %.4f  min %.0f  p1 %.0f  p99 %.0f  max "
                "%.0f\n",
                c.mean, c.min, c.p1, c.p99, c.max);
    std::printf("  mean interval: %.5f ms (%+.5f%% against %.5f ms)\n", meanMs,
                100.0 * (meanMs - nominalMs) / nominalMs, nominalMs);
    std::printf("  drift of the last clock against the grid from the first: %+.1f samples = "
                "%+.4f ms over %.2f min (%+.4f ms per minute)\n",
                driftSamples, driftSamples * msPerSample, minutes,
                driftSamples * msPerSample / minutes);
    std::printf("  drift less the frames the server skipped (xruns): %+.1f samples = %+.4f ms "
                "(%+.4f ms per minute)\n",
                driftSkipped, driftSkipped * msPerSample, driftSkipped * msPerSample / minutes);
    std::printf("  spread p99 - p1: %.0f samples over all %zu intervals; %.0f samples (min %.0f, "
                "max %.0f) over the %zu with no gap inside\n",
                r.p99 - r.p1, r.count, k.p99 - k.p1, k.min, k.max, k.count);
    const double ticksDueLessSkipped = (span - skippedTotal) / nominalSamples + 1.0;
    std::printf("  ticks: %zu received; due over the frame time %.1f (%+.1f), over the frame "
                "time less the frames skipped %.1f (%+.1f)\n",
                frames.size(), ticksDue, double(frames.size()) - ticksDue, ticksDueLessSkipped,
                double(frames.size()) - ticksDueLessSkipped);
    std::fflush(stdout);
    return true;
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

    std::unique_ptr<JackMidiPort> port;
    std::unique_ptr<JackMidiReader> reader;
    if (g_jackPort) {
        port = std::make_unique<JackMidiPort>();
        QString reason;
        if (!port->open(reason)) {
            std::fprintf(stderr, "bench_midi_clock: %s\n", qPrintable(reason));
            return false;
        }
        midi.setTimedSink(port.get());
        reader = std::make_unique<JackMidiReader>(size_t(ticksExpected) * 2 + 10000);
        const std::string name = port->outputPortName().toStdString();
        if (!reader->open("kinetra-bench-clock-reader") || !reader->connectFrom(name.c_str())) {
            std::fprintf(stderr, "bench_midi_clock: cannot read %s\n", name.c_str());
            return false;
        }
    }
    std::vector<JackMidiReader::Message> received;
    int readerXruns = 0;
    std::vector<JackMidiReader::Gap> gaps;

    std::pair<JackMidiPort::Counters, JackMidiPort::Counters> portCounters;
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
        const size_t receivedBefore = reader ? reader->messages().size() : 0;
        const int readerXrunsBefore = reader ? reader->xruns() : 0;
        const size_t gapsBefore = reader ? reader->gaps().size() : 0;
        const JackMidiPort::Counters portBefore =
            port ? port->counters() : JackMidiPort::Counters{};
        backend->arm();
        runEventLoopFor(seconds * 1000);
        backend->disarm();
        if (port)
            portCounters = {portBefore, port->counters()};
        xruns = device->getXRunCount() - xrunsBefore;
        if (reader) {
            const auto all = reader->messages();
            received.assign(all.begin() + long(receivedBefore), all.end());
            readerXruns = reader->xruns() - readerXrunsBefore;
            const auto allGaps = reader->gaps();
            gaps.assign(allGaps.begin() + long(gapsBefore), allGaps.end());
        }
        samplesPerTick = transport->currentSamplesPerTick();
        holder.detachFromDevice();
    }
    midi.setTimedSink(nullptr);
    reader.reset();
    port.reset();
    server.stop();
    if (g_jackPort) {
        const bool ok = reportFrames(received, gaps, blockSize, sampleRate, samplesPerTick, seconds,
                                     xruns, readerXruns);
        printPortCounters(portCounters.first, portCounters.second);
        std::fflush(stdout);
        return ok;
    }

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
        } else if (std::strcmp(argv[i], "--jack-port") == 0) {
            g_jackPort = true;
            periodArgument += " --jack-port";
        } else if (std::strcmp(argv[i], "--period") == 0 && i + 1 < argc) {
            periods = {std::atoi(argv[++i])};
            periodArgument += std::string(" --period ") + argv[i];
        } else {
            std::fprintf(stderr,
                         "usage: %s [--seconds N] [--tempo BPM] [--period SAMPLES] [--jack-port]\n",
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
