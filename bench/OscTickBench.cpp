// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's OSC tick, which runs every 3 ms on the GUI thread: build the
// records of the live sources and send one "/crl" datagram to the local
// machine. Also the record building alone.

#include "app/StateManager.h"
#include "engine/ContinuousControlSource.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "osc/OSCHandler.h"
#include "osc/OscControlPacket.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QUdpSocket>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

void BM_BuildTwelveRecords(benchmark::State& state)
{
    QString names[OscControlPacket::kMaxRecords];
    for (int i = 0; i < OscControlPacket::kMaxRecords; ++i)
        names[i] = QStringLiteral("Wheel %1").arg(i + 1);
    for (auto _ : state) {
        OscControlPacket packet;
        for (int i = 0; i < OscControlPacket::kMaxRecords; ++i)
            packet.append(names[i], 63.5f, uint8_t(i + 1), 0);
        benchmark::DoNotOptimize(packet.data());
    }
}
BENCHMARK(BM_BuildTwelveRecords);

// One tick with `range(0)` live sources, sent to a socket of our own that
// nobody reads (the kernel drops what does not fit, as it would for a
// receiver that is not running).
void BM_EngineOscTick(benchmark::State& state)
{
    QUdpSocket sink;
    sink.bind(QHostAddress(QHostAddress::LocalHost), 0);
    StateManager appState;
    OSCHandler osc(QStringLiteral("127.0.0.1"), sink.localPort());
    MotionControlEngine engine(appState, nullptr, &osc);
    appState.setConnectionState(true);
    engine.addNewDevice(1);
    for (int i = 0; i < state.range(0); ++i)
        engine.addNewCSourceAt(i);

    for (auto _ : state)
        engine.sendControlOSC();

    state.counters["datagrams"] = double(osc.sentMessageCount());
}
BENCHMARK(BM_EngineOscTick)->Arg(1)->Arg(12);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
