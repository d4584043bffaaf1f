// SPDX-License-Identifier: GPL-3.0-or-later
// The per-frame path of one sensor: decode a motion frame, compute the
// motion record, hand it to the device and, as the link does, on to the
// engine, whose bound control source processes it and builds its controller
// message into the MIDI pending buffer.

#include "app/StateManager.h"
#include "engine/ContinuousControlSource.h"
#include "engine/ControlMapping.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "midi/MidiBackend.h"
#include "midi/MidiHandler.h"
#include "protocol/FrameCodec.h"
#include "protocol/MotionMath.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

// A MIDI service whose outputs only count what they are given, so that the
// measurement holds no growing capture.
class CountingBackend : public MidiBackend
{
public:
    class CountingOutput : public Output
    {
    public:
        CountingOutput(PortInfo info, uint64_t* sent) : m_info(std::move(info)), m_sent(sent) {}
        PortInfo info() const override { return m_info; }
        void send(const juce::MidiMessage&) override { ++*m_sent; }

    private:
        PortInfo m_info;
        uint64_t* m_sent;
    };

    QVector<PortInfo> availableInputs() override { return {}; }
    QVector<PortInfo> availableOutputs() override { return {}; }
    std::unique_ptr<Input> openInput(const QString&, juce::MidiInputCallback*) override
    {
        return nullptr;
    }
    std::unique_ptr<Output> openOutput(const QString&) override { return nullptr; }
    std::unique_ptr<Output> createVirtualOutput(const QString& name, QString&) override
    {
        return std::make_unique<CountingOutput>(PortInfo{name, name}, &sent);
    }

    uint64_t sent = 0;
};

constexpr uint64_t kBand = 0xB0B0;
constexpr int kFrameCount = 256;

// Frames of a band sweeping its pitch up and down, so that every frame
// moves the value enough to be sent.
std::vector<QByteArray> sweepFrames()
{
    std::vector<QByteArray> frames;
    for (int i = 0; i < kFrameCount; ++i) {
        const double angle = std::sin(i * 0.05) * 0.6;
        FrameCodec::MotionFrame frame;
        frame.slot = 1;
        frame.q.w = float(std::cos(angle / 2.0));
        frame.q.y = float(std::sin(angle / 2.0));
        frame.ax = int16_t(100 * (i % 7));
        frame.az = 16384;
        frames.push_back(FrameCodec::encodeMotion(frame));
    }
    return frames;
}

// What the link thread does with one frame: its arrival on the audio clock,
// decode, motion record, device update and, when a control value moved, the
// hand-over to the engine, which passes the frame to the bound source.
void processFrame(const QByteArray& bytes, Orvik& band, MotionControlEngine& engine,
                  const MidiHandler& midi)
{
    // The link takes the arrival once per read (here one frame per read).
    const int64_t arrival = midi.nowSamples();
    const auto decoded =
        FrameCodec::decodeMotion(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    MotionMath::DeviceState state;
    const MotionRecord previous = band.getRecord();
    state.isReady = band.isReady();
    state.isOnLeft = band.isOnLeft();
    state.turnOffset = previous.turnOffset();
    state.previousZRef = previous.zRef();
    state.yawReference = band.getYawReference();
    const auto record = MotionMath::compute(*decoded, state);
    band.setQuaternion(decoded->q);
    if (band.applyMotion(*record))
        engine.deliverMotion(band, *record, arrival);
}

void BM_MotionFrameToMidi(benchmark::State& bench)
{
    int argc = 1;
    char name[] = "bench";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    StateManager state;
    auto backend = std::make_shared<CountingBackend>();
    MidiHandler midi(backend, &state);
    MotionControlEngine engine(state, &midi);

    engine.addNewDevice(kBand);
    Orvik* band = engine.getDeviceById(kBand);
    for (int i = 0; i <= Orvik::kWarmUpFrames; ++i)
        band->applyMotion(MotionRecord{});
    // Bound and following the band, as in the application: the engine hands
    // the band's frames to the source on the calling thread.
    ContinuousControlSource* source = engine.getCSourceAt(0);
    source->setDummy(false);
    source->setDevice(kBand, true);
    source->setAxis(ControlMapping::AxisY);
    state.setHiResMidiState(bench.range(0) != 0);

    const std::vector<QByteArray> frames = sweepFrames();
    size_t next = 0;
    int sinceFlush = 0;
    for (auto _ : bench) {
        processFrame(frames[next], *band, engine, midi);
        next = (next + 1) % frames.size();
        // An audio block flushes the buffer every few frames.
        if (++sinceFlush == 16) {
            midi.flushBuffer();
            sinceFlush = 0;
        }
    }
    midi.flushBuffer();
    bench.SetItemsProcessed(bench.iterations());
    // Wall time per frame, printed with an SI prefix (n = ns, u = µs).
    bench.counters["s_per_frame"] = benchmark::Counter(
        double(bench.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    // Messages that left per frame: 1 (or 2 in high resolution) when every
    // frame moved the value enough to be sent.
    bench.counters["msgs_per_frame"] =
        double(backend->sent) / double(std::max<int64_t>(1, bench.iterations()));
}

} // namespace

BENCHMARK(BM_MotionFrameToMidi)->Arg(0)->Arg(1)->ArgName("hiRes");

// items_per_second is frames per second on the one core the loop runs on.
int main(int argc, char** argv)
{
    std::string repeat = argc > 0 ? std::string("taskset -c 1 ") + argv[0] : std::string();
    for (int i = 1; i < argc; ++i)
        repeat += std::string(" ") + argv[i];
    benchmark::AddCustomContext("repeat", repeat);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
