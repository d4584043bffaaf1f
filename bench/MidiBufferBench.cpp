// SPDX-License-Identifier: GPL-3.0-or-later
// Cost of the MIDI work done inside the audio callback: queueing, flushing
// the pending buffer to three ports, and one transport block.
#include "app/StateManager.h"
#include "midi/MidiBackend.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

namespace {

// Ports that only count; the bench measures our side of the send.
class NullBackend : public MidiBackend
{
public:
    class NullOutput : public Output
    {
    public:
        explicit NullOutput(PortInfo info) : m_info(std::move(info)) {}
        PortInfo info() const override { return m_info; }
        void send(const juce::MidiMessage& message) override
        {
            benchmark::DoNotOptimize(message.getRawData());
        }

    private:
        PortInfo m_info;
    };

    QVector<PortInfo> availableInputs() override { return {}; }
    QVector<PortInfo> availableOutputs() override
    {
        return {{QStringLiteral("A"), QStringLiteral("a")},
                {QStringLiteral("B"), QStringLiteral("b")}};
    }
    std::unique_ptr<Input> openInput(const QString&, juce::MidiInputCallback*) override
    {
        return nullptr;
    }
    std::unique_ptr<Output> openOutput(const QString& id) override
    {
        return std::make_unique<NullOutput>(PortInfo{id, id});
    }
    std::unique_ptr<Output> createVirtualOutput(const QString& name, QString&) override
    {
        return std::make_unique<NullOutput>(PortInfo{name, name});
    }
};

std::unique_ptr<MidiHandler> makeHandler(const MidiSettings* settings = nullptr)
{
    auto handler = std::make_unique<MidiHandler>(std::make_shared<NullBackend>(), settings);
    QMetaObject::invokeMethod(handler.get(), "devicePilot", Qt::DirectConnection);
    return handler;
}

void BM_FlushEmpty(benchmark::State& state)
{
    auto handler = makeHandler();
    for (auto _ : state)
        handler->flushBuffer();
}
BENCHMARK(BM_FlushEmpty);

// Queue `n` controller messages, then flush them to the virtual port and
// two outputs.
void BM_QueueAndFlush(benchmark::State& state)
{
    auto handler = makeHandler();
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (int i = 0; i < count; ++i)
            handler->queueMessage(juce::MidiMessage::controllerEvent(1, i & 0x7F, 64), i & 3);
        handler->flushBuffer();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_QueueAndFlush)->Arg(1)->Arg(12)->Arg(100);

// One 64-sample block with clock sending on: tick test, clock, flush.
void BM_TransportBlock(benchmark::State& state)
{
    StateManager appState;
    auto handler = makeHandler(&appState);
    Transport transport(appState, handler.get());
    for (auto _ : state)
        transport.advanceBlock(64);
}
BENCHMARK(BM_TransportBlock);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
