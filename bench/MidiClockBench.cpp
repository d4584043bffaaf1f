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
//
// With --arp the arpeggiator plays two held keys while the clock runs, and
// each step's note-on is measured against the clock of its tick (the k-th
// step after the start is tick 6k), each note-off against the tick after;
// --gui-stall MS blocks the GUI thread for MS milliseconds five times a
// second, as a busy window would.

#include "JackDummyServer.h"
#include "JackMidiReader.h"
#include "PortCounters.h"
#include "SampleSummary.h"
#include "TimestampingMidiBackend.h"

#include "app/ActionHandler.h"
#include "app/JuceMessagePump.h"
#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "midi/Arpeggiator.h"
#include "midi/JackMidiPort.h"
#include "midi/MidiHandler.h"
#include "midi/TimedMidiSink.h"
#include "midi/Transport.h"
#include "midi/VirtualKeyboard.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <juce_events/juce_events.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Set by --tempo.
int g_tempo = 120;
// Set by --jack-port.
bool g_jackPort = false;
// Set by --reuse-server: the JACK server named by JACK_DEFAULT_SERVER,
// started by the caller with the period wanted, instead of one of our own.
bool g_reuseServer = false;
// Set by --arp and --gui-stall.
bool g_arp = false;
int g_guiStallMs = 0;
constexpr int kWarmUpMs = 2000;

// One message where it was read: a time in `unit`s (JACK frames or
// nanoseconds of the steady clock) and its status byte and first data byte.
struct Stamped
{
    int64_t time;
    uint8_t status;
    uint8_t data1;
    uint8_t data2;
};

// The arpeggiator's notes against the clocks of their ticks, two ways.
// By count: steps count from the last MIDI start, the k-th note-on belongs
// to tick 6k and its note-off to tick 6k + 1 (exact while no clock is lost
// on the way). By order: a note-on against the last clock read before it,
// its note-off against the clock after that one (robust to lost clocks,
// but a note later than a whole tick is then measured from a later tick).
void reportArpeggio(const std::vector<Stamped>& messages, double unitsPerMs, const char* unit)
{
    std::vector<int64_t> clocks; // by tick index since the start
    std::vector<int64_t> ons;
    std::vector<size_t> clocksBefore; // clocks read before each note-on
    std::vector<int64_t> offs;        // each note-on's note-off, -1 for none yet
    for (const Stamped& m : messages) {
        if (m.status == 0xFA) {
            clocks.clear();
            ons.clear();
            clocksBefore.clear();
            offs.clear();
        } else if (m.status == 0xF8) {
            clocks.push_back(m.time);
        } else if ((m.status & 0xF0) == 0x90 && m.data2 > 0) {
            ons.push_back(m.time);
            clocksBefore.push_back(clocks.size());
            offs.push_back(-1);
        } else if (((m.status & 0xF0) == 0x80 || (m.status & 0xF0) == 0x90) && !offs.empty() &&
                   offs.back() < 0) {
            offs.back() = m.time;
        }
    }
    std::vector<double> onByCount, offByCount, onByOrder, offByOrder;
    for (size_t k = 0; k < ons.size(); ++k) {
        if (6 * k < clocks.size())
            onByCount.push_back(double(ons[k] - clocks[6 * k]));
        if (6 * k + 1 < clocks.size() && offs[k] >= 0)
            offByCount.push_back(double(offs[k] - clocks[6 * k + 1]));
        if (clocksBefore[k] > 0)
            onByOrder.push_back(double(ons[k] - clocks[clocksBefore[k] - 1]));
        if (clocksBefore[k] > 0 && clocksBefore[k] < clocks.size() && offs[k] >= 0)
            offByOrder.push_back(double(offs[k] - clocks[clocksBefore[k]]));
    }
    std::printf("  arpeggio: %zu note-ons over %zu ticks since the start\n", ons.size(),
                clocks.size());
    const auto line = [&](const char* what, const std::vector<double>& lags) {
        const SampleSummary l = SampleSummary::of(lags);
        const long same = long(std::count(lags.begin(), lags.end(), 0.0));
        std::printf("  %s (%s): min %.0f  median %.0f  p99 %.0f  max %.0f  (median %.3f ms, max "
                    "%.3f ms); 0 for %ld of %zu\n",
                    what, unit, l.min, l.median, l.p99, l.max, l.median / unitsPerMs,
                    l.max / unitsPerMs, same, l.count);
    };
    line("note-on - its tick's clock, by count", onByCount);
    line("note-off - the next tick's clock, by count", offByCount);
    line("note-on - the clock before it, by order", onByOrder);
    line("note-off - the clock after that, by order", offByOrder);
}

// Between the MIDI handler and its timed output: keeps every message with
// the sample the consumer writes it on (the block's first sample plus its
// offset), then hands it on to the JACK port, if any. The records are
// allocated up front; the consumer alone writes them.
class SampleTap : public TimedMidiSink
{
public:
    SampleTap(const MidiHandler& midi, size_t capacity, TimedMidiSink* next)
        : m_midi(midi), m_next(next), m_records(capacity)
    {
    }
    void send(const uint8_t* bytes, int size, int offset, int blockLength) override
    {
        const size_t n = m_count.load(std::memory_order_relaxed);
        if (n < m_records.size()) {
            m_records[n] = {m_midi.blockStart() + offset, bytes[0],
                            size > 1 ? bytes[1] : uint8_t(0), size > 2 ? bytes[2] : uint8_t(0)};
            m_count.store(n + 1, std::memory_order_release);
        }
        if (m_next != nullptr)
            m_next->send(bytes, size, offset, blockLength);
    }
    std::vector<Stamped> records() const
    {
        return {m_records.begin(), m_records.begin() + long(m_count.load())};
    }

private:
    const MidiHandler& m_midi;
    TimedMidiSink* m_next;
    std::vector<Stamped> m_records;
    std::atomic<size_t> m_count{0};
};

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
    JackDummyServer server(g_reuseServer ? JackDummyServer::Mode::ReuseRunning
                                         : JackDummyServer::Mode::Private,
                           period);
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
    std::unique_ptr<VirtualKeyboard> keyboard;
    std::unique_ptr<Arpeggiator> arpeggiator;
    std::unique_ptr<SampleTap> tap;
    if (g_arp) {
        tap = std::make_unique<SampleTap>(midi, size_t(ticksExpected) * 2 + 10000, port.get());
        midi.setTimedSink(tap.get());
        state.setArpeggiatorState(true);
        keyboard = std::make_unique<VirtualKeyboard>(&midi, state);
        arpeggiator = std::make_unique<Arpeggiator>(*transport, *keyboard, state);
        keyboard->keyPressed(0x41); // A
        keyboard->keyPressed(0x4B); // K
    }
    QTimer stall;
    if (g_guiStallMs > 0) {
        stall.setInterval(200);
        QObject::connect(&stall, &QTimer::timeout, [] {
            std::this_thread::sleep_for(std::chrono::milliseconds(g_guiStallMs));
        });
        stall.start();
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
        // As the application does: the port's client runs after the audio
        // client, so a block's ticks leave in the cycle the block runs in.
        QString unordered;
        if (port && !port->orderAfter(QString::fromLatin1(AudioProcessorHolder::kJackClientName),
                                      unordered))
            std::printf("  port not ordered after the audio client: %s\n", qPrintable(unordered));
        runEventLoopFor(kWarmUpMs);
        const int xrunsBefore = device->getXRunCount();
        const size_t receivedBefore = reader ? reader->messages().size() : 0;
        const int readerXrunsBefore = reader ? reader->xruns() : 0;
        const size_t gapsBefore = reader ? reader->gaps().size() : 0;
        const JackMidiPort::Counters portBefore =
            port ? port->counters() : JackMidiPort::Counters{};
        backend->arm();
        if (g_arp)
            transport->startPlay(); // the steps count from here
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
    arpeggiator.reset();
    if (tap) {
        std::printf("Arpeggio on the samples the MIDI handler writes each message on:\n");
        reportArpeggio(tap->records(), sampleRate / 1000.0, "samples");
    }
    if (g_jackPort) {
        const bool ok = reportFrames(received, gaps, blockSize, sampleRate, samplesPerTick, seconds,
                                     xruns, readerXruns);
        printPortCounters(portCounters.first, portCounters.second);
        std::fflush(stdout);
        if (g_arp && !received.empty()) {
            std::printf("  Arpeggio at the JACK port, on the frames read (a clock the reader "
                        "missed shifts the counts):\n");
            std::vector<Stamped> stamped;
            int64_t time = 0;
            uint32_t last = received.front().frame;
            for (const auto& m : received) {
                time += int32_t(m.frame - last); // frame times wrap at 2^32
                last = m.frame;
                stamped.push_back({time, m.bytes[0], m.bytes[1], m.bytes[2]});
            }
            reportArpeggio(stamped, sampleRate / 1000.0, "samples");
        }
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
    if (g_arp) {
        std::vector<Stamped> stamped;
        for (size_t i = 0; i < backend->count(); ++i) {
            const auto& r = backend->at(i);
            stamped.push_back({r.ns, r.bytes[0], r.bytes[1], r.bytes[2]});
        }
        std::printf("  (stamped where the messages reach the MIDI service, once per block)\n");
        reportArpeggio(stamped, 1e6, "ns");
    }
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
        } else if (std::strcmp(argv[i], "--reuse-server") == 0) {
            g_reuseServer = true;
            periodArgument += " --reuse-server";
        } else if (std::strcmp(argv[i], "--arp") == 0) {
            g_arp = true;
            periodArgument += " --arp";
        } else if (std::strcmp(argv[i], "--gui-stall") == 0 && i + 1 < argc) {
            g_guiStallMs = std::max(0, std::atoi(argv[++i]));
            periodArgument += std::string(" --gui-stall ") + argv[i];
        } else if (std::strcmp(argv[i], "--period") == 0 && i + 1 < argc) {
            periods = {std::atoi(argv[++i])};
            periodArgument += std::string(" --period ") + argv[i];
        } else {
            std::fprintf(stderr,
                         "usage: %s [--seconds N] [--tempo BPM] [--period SAMPLES] [--jack-port] "
                         "[--arp] [--gui-stall MS] [--reuse-server]\n",
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
