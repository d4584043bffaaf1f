// SPDX-License-Identifier: GPL-3.0-or-later
// What a wheel's smoothing and dead band buy and cost, through the
// application's own objects: a performance of one band (long rests and fast
// wrist sweeps of the roll, 100 frames a second) is given sensor jitter the
// way `kinetra-sim --noise` gives it, cut into frames and computed as the
// receiver link does, and handed to a motion control engine with two wheels
// on the band's X: a plain one (controller 1) and one that smooths
// (controller 2). A MIDI handler over a recording MIDI service is flushed
// after every frame, as the audio blocks do.
//
// Figures, for each noise level:
//  - MIDI messages per second during the rests (from half a second after
//    each sweep ends), plain against smoothed;
//  - the lag the smoothing adds on the sweeps: for every level a sweep
//    passes, the frames between the plain wheel's value reaching it and the
//    smoothed wheel's value reaching it (mean and worst), and the same for
//    the controller values sent.
//
//   bench_smoothing [--noise DEG,DEG,...] [--min-cutoff HZ] [--beta B]
//                   [--dead-band STEPS] [--write-recording FILE]
//                   [--write-rest-recording FILE] [--recording FILE]
//
// --write-recording keeps the clean performance as a recording that
// `kinetra-sim --replay FILE --noise DEG` plays to the application;
// --write-rest-recording writes 40 s of the band at rest instead (what
// bench/smoothing-replay.sh replays);
// --recording measures a recording instead of the built-in performance
// (then only the totals are shown: its rests are not known).

#include "GestureGenerator.h"
#include "MotionNoise.h"

#include "app/StateManager.h"
#include "engine/ContinuousControlSource.h"
#include "engine/ControlMapping.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "midi/InMemoryMidiBackend.h"
#include "midi/MidiHandler.h"
#include "protocol/FrameCodec.h"
#include "protocol/FrameFramer.h"
#include "protocol/MotionMath.h"
#include "protocol/PerformanceRecorder.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr uint64_t kBand = 0x5EED;
constexpr uint8_t kSlot = 0;
constexpr double kRate = 100.0;
constexpr int kPlainController = 1;
constexpr int kSmoothController = 2;
// The rest after a sweep counts from here on (the filter settles first).
constexpr int kSettleFrames = 50;

// A controller message the virtual port sent, with the frame it belongs to.
struct Sent
{
    int frame = 0;
    int controller = 0;
    int value = 0;
};

// The built-in performance: the roll at rest, swept fast across most of
// the range and back, rest again. Each stretch names its start and end
// roll (half-turns) and its length; a sweep follows a raised cosine.
struct Stretch
{
    double seconds;
    double from;
    double to;
    bool isRest() const { return from == to; }
};

const std::vector<Stretch>& performance()
{
    static const std::vector<Stretch> stretches = {
        {5.0, -0.7, -0.7}, // the band warms up (3.6 s) and rests
        {0.25, -0.7, 0.7}, {3.0, 0.7, 0.7}, {0.5, 0.7, -0.7},  {3.0, -0.7, -0.7},
        {0.25, -0.7, 0.1}, {3.0, 0.1, 0.1}, {0.25, 0.1, -0.5}, {3.0, -0.5, -0.5},
        {0.5, -0.5, 0.7},  {3.0, 0.7, 0.7},
    };
    return stretches;
}

struct Frame
{
    double roll = 0.0;
    int stretch = 0;
    int indexInStretch = 0;
};

std::vector<Frame> performanceFrames()
{
    std::vector<Frame> frames;
    const std::vector<Stretch>& stretches = performance();
    for (int s = 0; s < int(stretches.size()); ++s) {
        const Stretch& st = stretches[size_t(s)];
        const int count = int(std::lround(st.seconds * kRate));
        for (int i = 1; i <= count; ++i) {
            const double t = double(i) / count;
            const double eased = 0.5 - 0.5 * std::cos(M_PI * t);
            frames.push_back({st.from + (st.to - st.from) * eased, s, i - 1});
        }
    }
    return frames;
}

QByteArray deviceList()
{
    FrameCodec::DeviceListFrame list;
    list.uuids[0] = kBand;
    list.slots[0] = kSlot;
    return FrameCodec::encodeDeviceList(list);
}

PerformanceRecorder::Recording builtInRecording(bool restOnly = false)
{
    PerformanceRecorder::Recording recording;
    recording.ok = true;
    recording.chunks.append({0, deviceList()});
    std::vector<Frame> frames = performanceFrames();
    if (restOnly)
        frames.assign(size_t(40.0 * kRate), Frame{-0.2, 0, 0});
    for (size_t i = 0; i < frames.size(); ++i) {
        GestureGenerator::Pose pose;
        pose.roll = float(frames[i].roll);
        const QByteArray bytes = FrameCodec::encodeMotion(GestureGenerator::frameOf(pose, kSlot));
        recording.chunks.append({quint64(i + 1) * 10000u, bytes});
    }
    return recording;
}

bool writeRecording(const PerformanceRecorder::Recording& recording, const QString& path)
{
    PerformanceRecorder recorder;
    quint64 now = 0;
    recorder.setClock([&now] { return now; });
    if (!recorder.start(path))
        return false;
    for (const PerformanceRecorder::Chunk& chunk : recording.chunks) {
        now = chunk.timeUs;
        recorder.record(chunk.bytes);
    }
    recorder.stop();
    return true;
}

struct Settings
{
    float minCutoff = ControlSourceParams::kDefaultSmoothingMinCutoff;
    float beta = ControlSourceParams::kDefaultSmoothingBeta;
    int deadBand = 0;
};

struct Run
{
    // Per motion frame: both wheels' values (0-127) after the frame.
    std::vector<float> plain;
    std::vector<float> smooth;
    std::vector<Sent> sent;
};

// The recording through the engine, frame by frame, as the link hands
// frames over.
Run play(const PerformanceRecorder::Recording& recording, const Settings& settings)
{
    StateManager state;
    auto backend = std::make_shared<InMemoryMidiBackend>();
    MidiHandler midi(backend, &state);
    MotionControlEngine engine(state, &midi);
    engine.addNewDevice(kBand);
    Orvik* band = engine.getDeviceById(kBand);

    ContinuousControlSource* plain = engine.getCSourceAt(0);
    ContinuousControlSource* smooth = engine.getCSourceAt(1);
    for (ContinuousControlSource* source : {plain, smooth}) {
        source->setDummy(false);
        source->setAxis(ControlMapping::AxisX);
        source->setDevice(kBand, true);
    }
    plain->setEventNumber(kPlainController);
    smooth->setEventNumber(kSmoothController);
    smooth->setSmoothingMinCutoff(settings.minCutoff);
    smooth->setSmoothingBeta(settings.beta);
    smooth->setDeadBand(settings.deadBand);

    Run run;
    const QString virtualPort = QString::fromLatin1(MidiHandler::kVirtualPortName);
    int frame = 0;
    FrameFramer framer;
    for (const PerformanceRecorder::Chunk& chunk : recording.chunks) {
        framer.feed(reinterpret_cast<const uint8_t*>(chunk.bytes.constData()), chunk.bytes.size(),
                    [&](const uint8_t* bytes, int length) {
                        const auto decoded = FrameCodec::decodeMotion(bytes, length);
                        if (!decoded || decoded->slot != kSlot)
                            return;
                        MotionMath::DeviceState deviceState;
                        const MotionRecord previous = band->getRecord();
                        deviceState.isReady = band->isReady();
                        deviceState.isOnLeft = band->isOnLeft();
                        deviceState.turnOffset = previous.turnOffset();
                        deviceState.previousZRef = previous.zRef();
                        deviceState.yawReference = band->getYawReference();
                        const auto record = MotionMath::compute(*decoded, deviceState);
                        if (!record)
                            return;
                        band->setQuaternion(decoded->q);
                        if (band->applyMotion(*record))
                            engine.deliverMotion(*band, *record);
                        else
                            engine.deliverStillFrame(*band, *record);
                        midi.flushBuffer();
                        run.plain.push_back(plain->getValue());
                        run.smooth.push_back(smooth->getValue());
                        for (const juce::MidiMessage& m : backend->messagesSentTo(virtualPort))
                            if (m.isController())
                                run.sent.push_back(
                                    {frame, m.getControllerNumber(), m.getControllerValue()});
                        backend->clearCaptured();
                        ++frame;
                    });
    }
    return run;
}

// The last value sent on `controller` after each frame (-1 before any).
std::vector<float> sentSteps(const Run& run, int controller)
{
    std::vector<float> steps(run.plain.size(), -1.0f);
    size_t next = 0;
    float last = -1.0f;
    for (size_t f = 0; f < steps.size(); ++f) {
        while (next < run.sent.size() && run.sent[next].frame <= int(f)) {
            if (run.sent[next].controller == controller)
                last = float(run.sent[next].value);
            ++next;
        }
        steps[f] = last;
    }
    return steps;
}

// The (fractional) frame at which `ys` first reaches `level` within
// [begin, end), moving in `direction`.
double crossing(const std::vector<float>& ys, size_t begin, size_t end, double level,
                double direction)
{
    for (size_t i = std::max<size_t>(begin, 1); i < end; ++i) {
        if ((double(ys[i]) - level) * direction >= 0.0) {
            const double before = double(ys[i - 1]);
            const double step = double(ys[i]) - before;
            if ((before - level) * direction >= 0.0 || step == 0.0)
                return double(i);
            return double(i - 1) + (level - before) / step;
        }
    }
    return double(end);
}

struct Figures
{
    double restSeconds = 0.0;
    int plainAtRest = 0;
    int smoothAtRest = 0;
    double meanLag = 0.0;
    double worstLag = 0.0;
    double meanSentLag = 0.0;
    double worstSentLag = 0.0;
};

Figures measure(const Run& run)
{
    Figures f;
    const std::vector<Frame> frames = performanceFrames();
    const std::vector<Stretch>& stretches = performance();
    const size_t count = std::min(frames.size(), run.plain.size());
    std::vector<bool> atRest(count, false);
    for (size_t i = 0; i < count; ++i)
        atRest[i] = stretches[size_t(frames[i].stretch)].isRest() &&
                    frames[i].indexInStretch >= kSettleFrames && i > size_t(Orvik::kWarmUpFrames);
    for (size_t i = 0; i < count; ++i)
        f.restSeconds += atRest[i] ? 1.0 / kRate : 0.0;
    for (const Sent& s : run.sent) {
        if (s.frame < 0 || size_t(s.frame) >= count || !atRest[size_t(s.frame)])
            continue;
        if (s.controller == kPlainController)
            ++f.plainAtRest;
        else if (s.controller == kSmoothController)
            ++f.smoothAtRest;
    }

    const std::vector<float> plainSent = sentSteps(run, kPlainController);
    const std::vector<float> smoothSent = sentSteps(run, kSmoothController);
    double lagSum = 0.0;
    double sentLagSum = 0.0;
    int lagCount = 0;
    size_t begin = 0;
    while (begin < count) {
        size_t end = begin;
        while (end < count && frames[end].stretch == frames[begin].stretch)
            ++end;
        const Stretch& st = stretches[size_t(frames[begin].stretch)];
        if (!st.isRest()) {
            // Until the end of the rest that follows, so that a late
            // arrival still counts.
            size_t until = end;
            while (until < count && frames[until].indexInStretch < kSettleFrames)
                ++until;
            const size_t from = begin - 1;
            const double a = double(run.plain[from]);
            const double b = double(run.plain[end - 1]);
            const double direction = b > a ? 1.0 : -1.0;
            for (double level = a + 2.0 * direction;
                 (b - 2.0 * direction - level) * direction >= 0.0; level += direction) {
                const double lag = crossing(run.smooth, from, until, level, direction) -
                                   crossing(run.plain, from, until, level, direction);
                lagSum += lag;
                ++lagCount;
                f.worstLag = std::max(f.worstLag, lag);
                const double sentLag = crossing(smoothSent, from, until, level, direction) -
                                       crossing(plainSent, from, until, level, direction);
                f.worstSentLag = std::max(f.worstSentLag, sentLag);
                sentLagSum += sentLag;
            }
        }
        begin = end;
    }
    f.meanLag = lagCount > 0 ? lagSum / lagCount : 0.0;
    f.meanSentLag = lagCount > 0 ? sentLagSum / lagCount : 0.0;
    return f;
}

QString argument(const QStringList& args, const QString& name, const QString& fallback)
{
    const int at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args[at + 1] : fallback;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    Settings settings;
    settings.minCutoff =
        argument(args, "--min-cutoff", QString::number(double(settings.minCutoff))).toFloat();
    settings.beta = argument(args, "--beta", QString::number(double(settings.beta))).toFloat();
    settings.deadBand = argument(args, "--dead-band", "0").toInt();
    std::vector<double> noises;
    for (const QString& n : argument(args, "--noise", "0,0.5,1,2").split(','))
        noises.push_back(n.toDouble());

    const QString recordingPath = argument(args, "--recording", QString());
    const PerformanceRecorder::Recording clean =
        recordingPath.isEmpty() ? builtInRecording() : PerformanceRecorder::load(recordingPath);
    if (!clean.ok) {
        std::fprintf(stderr, "cannot read %s: %s\n", qPrintable(recordingPath),
                     qPrintable(clean.error));
        return 1;
    }
    const QString writePath = argument(args, "--write-recording", QString());
    if (!writePath.isEmpty() && !writeRecording(clean, writePath)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(writePath));
        return 1;
    }
    const QString restPath = argument(args, "--write-rest-recording", QString());
    if (!restPath.isEmpty() && !writeRecording(builtInRecording(true), restPath)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(restPath));
        return 1;
    }

    std::printf("smoothing: min cutoff %.2f Hz, beta %.3f, dead band %d step(s)\n",
                double(settings.minCutoff), double(settings.beta), settings.deadBand);
    std::printf("%-10s %-13s %-13s %-8s %-22s %-21s\n", "noise deg", "plain msg/s", "smooth msg/s",
                "fewer", "value lag mean/worst", "sent lag mean/worst");
    for (double noise : noises) {
        MotionNoise jitter(noise);
        const PerformanceRecorder::Recording noisy = noise > 0.0 ? jitter.applyTo(clean) : clean;
        const Run run = play(noisy, settings);
        if (!recordingPath.isEmpty()) {
            int plain = 0;
            int smooth = 0;
            for (const Sent& s : run.sent)
                (s.controller == kPlainController ? plain : smooth) += 1;
            const double seconds = double(run.plain.size()) / kRate;
            std::printf("%-10.2f %-13.1f %-13.1f %5.1f%%  (whole recording, %.1f s)\n", noise,
                        plain / seconds, smooth / seconds,
                        plain > 0 ? 100.0 * (1.0 - double(smooth) / plain) : 0.0, seconds);
            continue;
        }
        const Figures f = measure(run);
        const double plainRate = f.plainAtRest / f.restSeconds;
        const double smoothRate = f.smoothAtRest / f.restSeconds;
        std::printf("%-10.2f %-13.1f %-13.1f %5.1f%%   %6.2f / %-13.2f %6.2f / %-12.2f\n", noise,
                    plainRate, smoothRate,
                    plainRate > 0.0 ? 100.0 * (1.0 - smoothRate / plainRate) : 0.0, f.meanLag,
                    f.worstLag, f.meanSentLag, f.worstSentLag);
    }
    std::printf("lags in frames (10 ms); rests counted from %d frames after each sweep\n",
                kSettleFrames);
    return 0;
}
