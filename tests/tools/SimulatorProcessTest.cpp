// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator as a separate process against the real serial handler,
// engine and application state: the device list creates the bands, every
// gesture arrives as the control values it promises, band commands reach
// the right band, events from the bands reach the application, unplugging
// and plugging in again reconnects, and a recorded performance replays to
// the same control values as the live run.

#include "GestureGenerator.h"
#include "SimProcess.h"
#include "app/StateManager.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "link/SerialHandler.h"
#include "protocol/FrameCodec.h"
#include "protocol/PerformanceRecorder.h"
#include "support/SignalWait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <mutex>

#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

using testsupport::waitUntil;
using Gesture = GestureGenerator::Gesture;

namespace {

// Generous limits: the machine may be small, busy and running sanitizers.
constexpr int kConnectMs = 20000;
constexpr int kEventMs = 10000;

struct Sample
{
    uint64_t uuid = 0;
    Quaternion q;
    MotionRecord record;
};

// The receiver link (optionally on a thread of its own, as in the
// application) with its engine and state, the pilot timer driven from this
// thread, and a tap on every motion update of every band.
class Link
{
public:
    explicit Link(bool ownThread)
    {
        handler = new SerialHandler(engine, state);
        QObject::connect(handler, &SerialHandler::shouldStopTimer, &state,
                         [this] { handler->pilotTimer()->stop(); });
        QObject::connect(handler, &SerialHandler::shouldStartTimer, &state, [this] {
            ++timerRestarts;
            handler->pilotTimer()->start();
        });
        QObject::connect(
            handler, &SerialHandler::shouldEnterMappingMode, handler,
            [this] { ++enterMappingRequests; }, Qt::DirectConnection);
        QObject::connect(
            handler, &SerialHandler::shouldQuitMappingMode, handler,
            [this] { ++quitMappingRequests; }, Qt::DirectConnection);
        QObject::connect(&engine, &MotionControlEngine::newDeviceAdded, &state,
                         [this](Orvik* device) {
                             watch(device);
                             ++registered;
                         });
        if (ownThread) {
            handler->moveToThread(&thread);
            thread.start();
        }
    }

    ~Link()
    {
        handler->pilotTimer()->stop();
        if (thread.isRunning()) {
            QMetaObject::invokeMethod(handler, &SerialHandler::disconnectToTessel,
                                      Qt::BlockingQueuedConnection);
            thread.quit();
            thread.wait();
        }
        delete handler;
    }

    void searchIn(const SimProcess& sim)
    {
        handler->setPortSearch([&sim] { return sim.portPath(); });
    }

    Orvik* device(uint64_t uuid) const { return engine.getDeviceById(uuid); }

    std::vector<Sample> takeSamples()
    {
        std::lock_guard<std::mutex> lock(samplesLock);
        std::vector<Sample> out;
        out.swap(samples);
        return out;
    }

    size_t sampleCount()
    {
        std::lock_guard<std::mutex> lock(samplesLock);
        return samples.size();
    }

    StateManager state{[this](int i) { return engine.getDeviceAt(i); }};
    MotionControlEngine engine{state};
    SerialHandler* handler = nullptr;
    QThread thread;
    // Bands whose registration has reached this thread (and whose commands
    // therefore reach the link).
    int registered = 0;
    std::atomic<int> timerRestarts{0};
    std::atomic<int> enterMappingRequests{0};
    std::atomic<int> quitMappingRequests{0};
    std::atomic<bool> collecting{true};

private:
    void watch(Orvik* device)
    {
        // The band's commands go to the link, as the application wires them.
        QObject::connect(device, &Orvik::shouldSendBlink, handler, &SerialHandler::sendBlink);
        QObject::connect(device, &Orvik::shouldSendHandChange, handler,
                         &SerialHandler::sendHandChange);
        // Runs where the frame is applied (the link thread), so the
        // quaternion and the record read here belong to the same frame.
        QObject::connect(
            device, &Orvik::dataUpdated, device,
            [this](Orvik* d) {
                if (!collecting.load())
                    return;
                Sample s{d->getUuid(), d->getQuaternion(), d->getRecord()};
                std::lock_guard<std::mutex> lock(samplesLock);
                samples.push_back(s);
            },
            Qt::DirectConnection);
    }

    std::mutex samplesLock;
    std::vector<Sample> samples;
};

bool allActive(const Link& link, int count)
{
    if (link.engine.getNumOfDevice() != count || link.registered != count)
        return false;
    for (int i = 0; i < count; ++i) {
        const Orvik* d = link.engine.getDeviceAt(i);
        if (!d || !d->isActive())
            return false;
    }
    return true;
}

// The frame content (quaternion and wire accelerations) a pose turns into,
// as a key for finding which pose a received frame carried.
using FrameKey = std::array<uint32_t, 7>;

uint32_t bitsOf(float f)
{
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

FrameKey keyOf(const Quaternion& q, int16_t ax, int16_t ay, int16_t az)
{
    return {bitsOf(q.w),
            bitsOf(q.x),
            bitsOf(q.y),
            bitsOf(q.z),
            uint32_t(uint16_t(ax)),
            uint32_t(uint16_t(ay)),
            uint32_t(uint16_t(az))};
}

FrameKey keyOf(const Sample& s)
{
    const auto wire = [](float v) { return int16_t(std::lround(double(v) * 32768.0)); };
    return keyOf(s.q, wire(s.record.ax()), wire(s.record.ay()), wire(s.record.az()));
}

struct KeyHash
{
    size_t operator()(const FrameKey& k) const
    {
        size_t h = 1469598103934665603ull;
        for (uint32_t v : k)
            h = (h ^ v) * 1099511628211ull;
        return h;
    }
};

// Every pose one band's gesture goes through in the first `seconds` of a
// stream at `rate`, by frame content.
using PoseTable = std::unordered_map<FrameKey, GestureGenerator::Pose, KeyHash>;

PoseTable tableOf(Gesture gesture, int band, double rate, double seconds)
{
    PoseTable table;
    const int frames = int(rate * seconds);
    table.reserve(size_t(frames));
    for (int n = 0; n < frames; ++n) {
        const auto pose =
            GestureGenerator::pose(gesture, n / rate + GestureGenerator::bandTimeOffset(band));
        const auto f = GestureGenerator::frameOf(pose, 0);
        table.emplace(keyOf(f.q, f.ax, f.ay, f.az), pose);
    }
    return table;
}

} // namespace

class SimulatorProcess : public ::testing::Test
{
};

TEST_F(SimulatorProcess, DeviceListCreatesTheBandsAndCommandsReachTheRightOne)
{
    SimProcess sim;
    ASSERT_TRUE(
        sim.start({QStringLiteral("--band"), QStringLiteral("1001:2"), QStringLiteral("--band"),
                   QStringLiteral("1002:5"), QStringLiteral("--band"), QStringLiteral("0x3E9A:9"),
                   QStringLiteral("--gesture"), QStringLiteral("still"), QStringLiteral("--rate"),
                   QStringLiteral("50")}))
        << sim.errorOutput().toStdString();
    Link link(true);
    link.searchIn(sim);

    ASSERT_TRUE(waitUntil([&] { return allActive(link, 3); }, kConnectMs));
    EXPECT_TRUE(waitUntil([&] { return link.state.getConnectionState(); }, kEventMs));
    EXPECT_EQ(link.state.getFocusedDevice(), 0);
    EXPECT_TRUE(sim.waitForLine(QStringLiteral("^greeting")).hasMatch());
    Orvik* first = link.device(1001);
    Orvik* second = link.device(1002);
    Orvik* third = link.device(0x3E9A);
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(first->getIndex(), 0);
    EXPECT_EQ(third->getIndex(), 2);

    // Blink and hand commands arrive addressed to the band they are for.
    int from = sim.lineCount();
    second->sendBlink();
    EXPECT_TRUE(sim.waitForLine(QStringLiteral("^command blink band 1002 slot 5$"), from, kEventMs)
                    .hasMatch());
    third->setOnLeft(true);
    EXPECT_TRUE(
        sim.waitForLine(QStringLiteral("^command left-hand band 16026 slot 9$"), from, kEventMs)
            .hasMatch());
    first->setOnLeft(false);
    EXPECT_TRUE(
        sim.waitForLine(QStringLiteral("^command right-hand band 1001 slot 2$"), from, kEventMs)
            .hasMatch());
    first->sendBlink();
    EXPECT_TRUE(sim.waitForLine(QStringLiteral("^command blink band 1001 slot 2$"), from, kEventMs)
                    .hasMatch());
    for (const QString& line : sim.lines().mid(from))
        EXPECT_FALSE(line.startsWith(QLatin1String("command")) &&
                     line.contains(QLatin1String("no band")))
            << line.toStdString();

    // Events from a band reach its device and the application.
    sim.send(QStringLiteral("bypass on 2"));
    EXPECT_TRUE(waitUntil([&] { return second->isBypassed(); }, kEventMs));
    EXPECT_FALSE(first->isBypassed());
    sim.send(QStringLiteral("bypass off 2"));
    EXPECT_TRUE(waitUntil([&] { return !second->isBypassed(); }, kEventMs));
    EXPECT_TRUE(waitUntil([&] { return link.quitMappingRequests.load() == 1; }, kEventMs));
    sim.send(QStringLiteral("mapping 3"));
    EXPECT_TRUE(waitUntil([&] { return link.enterMappingRequests.load() == 1; }, kEventMs));
}

TEST_F(SimulatorProcess, EveryGestureArrivesAsTheCurveItPromises)
{
    constexpr double kRate = 300.0;
    constexpr float kTolerance = 1e-4f;
    // Band 1 has its heading centre behind it, so the slow turns cross
    // +-180 degrees in the middle of its Z range.
    const std::array<uint64_t, 2> ids{11, 12};
    const std::array<float, 2> centre{1.0f, 0.0f};

    SimProcess sim;
    ASSERT_TRUE(
        sim.start({QStringLiteral("--band"), QStringLiteral("11:0"), QStringLiteral("--band"),
                   QStringLiteral("12:1"), QStringLiteral("--gesture"), QStringLiteral("still"),
                   QStringLiteral("--rate"), QString::number(kRate)}));
    Link link(true);
    link.searchIn(sim);
    ASSERT_TRUE(waitUntil([&] { return allActive(link, 2); }, kConnectMs));
    Orvik* devices[2] = {link.device(ids[0]), link.device(ids[1])};
    ASSERT_TRUE(devices[0] && devices[1]);
    devices[0]->setInitPos(centre[0], 0.0f, 0.0f);
    // Bypassed bands report every frame, moved or not.
    sim.send(QStringLiteral("bypass on 1"));
    sim.send(QStringLiteral("bypass on 2"));
    ASSERT_TRUE(waitUntil(
        [&] {
            return devices[0]->isBypassed() && devices[1]->isBypassed() && devices[0]->isReady() &&
                   devices[1]->isReady();
        },
        kConnectMs));

    const double tableSeconds = 240.0;
    std::array<PoseTable, 2> previous;
    for (int g = 0; g < GestureGenerator::kGestureCount; ++g) {
        const auto gesture = Gesture(g);
        const QString name = GestureGenerator::nameOf(gesture);
        SCOPED_TRACE(name.toStdString());
        const std::array<PoseTable, 2> tables{tableOf(gesture, 0, kRate, tableSeconds),
                                              tableOf(gesture, 1, kRate, tableSeconds)};
        const int from = sim.lineCount();
        sim.send(QStringLiteral("gesture ") + name);
        ASSERT_TRUE(sim.waitForLine(QStringLiteral("^gesture %1 \\(all bands\\)$").arg(name), from)
                        .hasMatch());
        link.takeSamples();

        std::array<int, 2> checked{0, 0};
        int unknown = 0;
        int crossings = 0;
        float lastHeading = 0.0f;
        float lastZ = -1.0f;
        float minX = 1.0f, maxX = 0.0f, minY = 1.0f, maxY = 0.0f, maxG = 0.0f;
        // A full period of the sweeps and the shaking bursts; the turns until
        // band 1 has crossed
        // +-180 degrees.
        const bool sweep = gesture == Gesture::RollSweep || gesture == Gesture::PitchSweep;
        const double seconds = sweep ? 4.2 : gesture == Gesture::Shake ? 2.2 : 1.0;
        const int wanted = int(kRate * seconds);
        const auto enough = [&] {
            const bool plenty = checked[0] >= wanted && checked[1] >= wanted;
            return gesture == Gesture::Turns ? plenty && crossings > 0 : plenty;
        };
        // The switch makes the pose jump; where the jump carries the heading
        // across the line opposite the centre, the application holds the old
        // side for one frame, as it does for any such crossing.
        std::array<bool, 2> afterJump{true, true};
        QElapsedTimer clock;
        clock.start();
        while (!enough() && clock.elapsed() < 60000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(20);
            for (const Sample& s : link.takeSamples()) {
                const int band = s.uuid == ids[0] ? 0 : 1;
                const FrameKey key = keyOf(s);
                const auto it = tables[size_t(band)].find(key);
                if (it == tables[size_t(band)].end()) {
                    // Frames of the gesture before the switch may still be
                    // on their way; anything else is a frame we never sent.
                    if (previous[size_t(band)].count(key) == 0)
                        ++unknown;
                    continue;
                }
                const auto& pose = it->second;
                const auto promise = GestureGenerator::promised(pose, false, centre[size_t(band)]);
                const MotionRecord& r = s.record;
                ASSERT_NEAR(r.x(), promise.x, kTolerance);
                ASSERT_NEAR(r.y(), promise.y, kTolerance);
                ASSERT_NEAR(r.g(), promise.g, kTolerance);
                if (!afterJump[size_t(band)] && std::fabs(GestureGenerator::relativeHeading(
                                                    pose.heading, centre[size_t(band)])) < 0.95f) {
                    ASSERT_NEAR(r.z(), promise.z, kTolerance);
                }
                afterJump[size_t(band)] = false;
                ++checked[size_t(band)];
                if (band == 0) {
                    if (lastZ >= 0.0f && lastHeading > 0.9f && pose.heading < -0.9f) {
                        ++crossings;
                        EXPECT_NEAR(r.z(), lastZ, 0.01f);
                    }
                    lastZ = r.z();
                    lastHeading = pose.heading;
                    minX = std::min(minX, r.x());
                    maxX = std::max(maxX, r.x());
                    minY = std::min(minY, r.y());
                    maxY = std::max(maxY, r.y());
                    maxG = std::max(maxG, r.g());
                }
            }
        }
        EXPECT_TRUE(enough()) << checked[0] << " and " << checked[1] << " frames checked";
        EXPECT_EQ(unknown, 0);
        if (gesture == Gesture::RollSweep) {
            EXPECT_GT(maxX - minX, 0.9f);
        }
        if (gesture == Gesture::PitchSweep) {
            EXPECT_GT(maxY - minY, 0.55f);
        }
        if (gesture == Gesture::Shake) {
            EXPECT_GT(maxG, 0.19f);
        }
        previous = tables;
    }
}

TEST_F(SimulatorProcess, UnplugAndReplugReconnectsThroughThePilot)
{
    SimProcess sim;
    ASSERT_TRUE(sim.start({QStringLiteral("--bands"), QStringLiteral("2"),
                           QStringLiteral("--gesture"), QStringLiteral("roll")}));
    Link link(true);
    link.searchIn(sim);
    ASSERT_TRUE(waitUntil([&] { return allActive(link, 2); }, kConnectMs));
    ASSERT_TRUE(waitUntil([&] { return link.state.getConnectionState(); }, kEventMs));
    EXPECT_FALSE(link.handler->pilotTimer()->isActive());

    for (const QString& how : {QStringLiteral("plug"), QStringLiteral("replug 300")}) {
        SCOPED_TRACE(how.toStdString());
        int from = sim.lineCount();
        sim.send(QStringLiteral("unplug"));
        ASSERT_TRUE(sim.waitForLine(QStringLiteral("^unplugged$"), from).hasMatch());
        // The handler sees the receiver vanish: devices inactive, state
        // disconnected, the pilot searching again.
        EXPECT_TRUE(waitUntil(
            [&] {
                return !link.state.getConnectionState() &&
                       !link.engine.getDeviceAt(0)->isActive() &&
                       !link.engine.getDeviceAt(1)->isActive() &&
                       link.handler->pilotTimer()->isActive();
            },
            kEventMs));
        from = sim.lineCount();
        sim.send(how);
        ASSERT_TRUE(sim.waitForLine(QStringLiteral("^port "), from).hasMatch());
        EXPECT_TRUE(sim.waitForLine(QStringLiteral("^greeting"), from, kConnectMs).hasMatch());
        EXPECT_TRUE(waitUntil([&] { return allActive(link, 2) && link.state.getConnectionState(); },
                              kConnectMs));
        EXPECT_FALSE(link.handler->pilotTimer()->isActive());
    }
    EXPECT_EQ(link.timerRestarts.load(), 2);
    EXPECT_EQ(link.engine.getNumOfDevice(), 2);
}

TEST_F(SimulatorProcess, ReplayOfARecordingReproducesTheLiveControlValues)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("performance.kinrec"));

    // Live: two bands doing the mixed performance, recorded through the
    // handler's raw tap. The handler runs on this thread, so stopping the
    // recording and the collection together cuts both at the same byte.
    std::vector<Sample> live;
    qint64 liveSpanMs = 0;
    {
        SimProcess sim;
        ASSERT_TRUE(
            sim.start({QStringLiteral("--bands"), QStringLiteral("2"), QStringLiteral("--gesture"),
                       QStringLiteral("mixed"), QStringLiteral("--rate"), QStringLiteral("200")}));
        Link link(false);
        PerformanceRecorder recorder;
        ASSERT_TRUE(recorder.start(file));
        link.handler->setRawTapFromAnyThread(recorder.tap());
        link.searchIn(sim);
        ASSERT_TRUE(waitUntil([&] { return allActive(link, 2); }, kConnectMs));
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(waitUntil([&] { return link.sampleCount() >= 600; }, kConnectMs));
        recorder.stop();
        link.collecting = false;
        liveSpanMs = clock.elapsed();
        link.handler->setRawTapFromAnyThread({});
        live = link.takeSamples();
        EXPECT_GT(recorder.chunkCount(), 0u);
    }
    const auto recording = PerformanceRecorder::load(file);
    ASSERT_TRUE(recording.ok);
    ASSERT_TRUE(recording.error.isEmpty());

    // Replay into a fresh application.
    SimProcess sim;
    ASSERT_TRUE(sim.start({QStringLiteral("--replay"), file}));
    Link link(false);
    link.searchIn(sim);
    QElapsedTimer clock;
    ASSERT_TRUE(waitUntil([&] { return allActive(link, 2); }, kConnectMs));
    clock.start();
    ASSERT_TRUE(sim.waitForLine(QStringLiteral("^replay finished$"), 0, kConnectMs).hasMatch());
    EXPECT_TRUE(waitUntil([&] { return link.sampleCount() >= live.size(); }, kEventMs));
    const qint64 replaySpanMs = clock.elapsed();
    const std::vector<Sample> replayed = link.takeSamples();

    ASSERT_EQ(replayed.size(), live.size());
    for (size_t i = 0; i < live.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(replayed[i].uuid, live[i].uuid);
        for (int v = 0; v < MotionRecord::Count; ++v)
            ASSERT_EQ(replayed[i].record[v], live[i].record[v]) << "value " << v;
    }
    // The bytes come back with their timing, not in one burst.
    EXPECT_GT(replaySpanMs, liveSpanMs / 2);
}

TEST_F(SimulatorProcess, StableLinkFollowsTheTerminalAcrossReplugs)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("receiver"));
    {
        SimProcess sim;
        ASSERT_TRUE(sim.start(
            {QStringLiteral("--bands"), QStringLiteral("1"), QStringLiteral("--link"), path}));
        EXPECT_TRUE(QFileInfo(path).isSymLink());
        EXPECT_EQ(QFileInfo(path).symLinkTarget(), sim.portPath());

        int from = sim.lineCount();
        sim.send(QStringLiteral("unplug"));
        ASSERT_TRUE(sim.waitForLine(QStringLiteral("^unplugged$"), from).hasMatch());
        EXPECT_FALSE(QFileInfo(path).isSymLink());

        from = sim.lineCount();
        sim.send(QStringLiteral("plug"));
        ASSERT_TRUE(sim.waitForLine(QStringLiteral("^port "), from).hasMatch());
        EXPECT_EQ(QFileInfo(path).symLinkTarget(), sim.portPath());
        sim.stop();
    }
    // Ending the simulator takes the link away.
    EXPECT_FALSE(QFileInfo(path).isSymLink());

    // Something else at that path is never replaced.
    {
        QFile other(path);
        ASSERT_TRUE(other.open(QIODevice::WriteOnly));
        other.write("keep me");
    }
    SimProcess sim;
    ASSERT_TRUE(sim.start(
        {QStringLiteral("--bands"), QStringLiteral("1"), QStringLiteral("--link"), path}));
    EXPECT_TRUE(sim.waitForLine(QStringLiteral("^error: .*not a link")).hasMatch());
    sim.stop();
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("keep me"));
}
