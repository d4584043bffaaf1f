// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/EngineItemPeers.h"
#include "app/LinkHealthMonitor.h"
#include "app/StateManager.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "link/SerialHandler.h"
#include "protocol/FrameCodec.h"
#include "support/PseudoTerminal.h"
#include "support/SignalWait.h"
#include "ui/OrvikQMLWrapper.h"

#include <QFile>
#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>

using testsupport::PseudoTerminal;
using testsupport::waitUntil;

namespace {

constexpr uint64_t kBandA = 0x4B4E000000000101ull;
constexpr uint64_t kBandB = 0x4B4E000000000102ull;
constexpr uint8_t kSlotA = 2;
constexpr uint8_t kSlotB = 5;

QByteArray motionFrame(uint8_t slot, int n)
{
    FrameCodec::MotionFrame f;
    f.slot = slot;
    f.q = {1.0f, 0.0f, 0.0f, 0.0f};
    f.ax = int16_t(n * 37);
    f.az = 16384;
    return FrameCodec::encodeMotion(f);
}

// Damage of the kinds the framer is built to survive: a header, a payload
// and a CRC byte flipped.
QByteArray damaged(QByteArray frame, int which)
{
    const int at[] = {0, 10, FrameCodec::kMotionLength - 4};
    frame[at[which % 3]] = char(frame[at[which % 3]] ^ 0x5A);
    return frame;
}

} // namespace

// The receiver streams two bands for three "seconds": the first with three
// damaged frames and a bypass, the second clean, then it is unplugged. The
// figures come from the link's own counters, on the link thread, read once
// per second here as the application does, and reach the device panel's
// wrapper.
TEST(LinkHealth, RateLossAgeAndWarningFollowTheReceiversFaults)
{
    PseudoTerminal pty;
    ASSERT_TRUE(pty.isValid());
    StateManager state{[](int) { return nullptr; }};
    MotionControlEngine engine{state};
    auto* handler = new SerialHandler(engine, state);
    const QString path = pty.slavePath();
    handler->setPortSearch([path] { return QFile::exists(path) ? path : QString(); });
    QObject::connect(handler, &SerialHandler::shouldStopTimer, &state,
                     [handler] { handler->pilotTimer()->stop(); });
    const auto counters = handler->linkCounters();
    QThread linkThread;
    handler->moveToThread(&linkThread);
    linkThread.start();

    LinkHealthMonitor monitor(engine);
    monitor.setCounters(counters);
    EngineItemPeers peers(engine, state);
    peers.setLinkHealth(&monitor);
    OrvikQMLWrapper panel;
    panel.setPeers(&peers);
    panel.setI(1);
    EXPECT_EQ(panel.linkHealth(), QString());
    QSignalSpy panelUpdates(&panel, &OrvikQMLWrapper::linkHealthChanged);
    // Started with no band known, it reads nothing until one is.
    monitor.start();
    EXPECT_FALSE(monitor.isReading());

    ASSERT_EQ(pty.read(FrameCodec::greeting().size(), 3000), FrameCodec::greeting());
    FrameCodec::DeviceListFrame list;
    list.uuids = {kBandA, kBandB, 0, 0};
    list.slots = {kSlotA, kSlotB, 0, 0};
    ASSERT_TRUE(pty.write(FrameCodec::encodeDeviceList(list)));
    ASSERT_TRUE(waitUntil([&] { return engine.getNumOfDevice() == 2; }));
    EXPECT_TRUE(waitUntil([&] { return monitor.isReading(); }));
    monitor.stop(); // the readings below are taken by hand

    const auto framesSeen = [&] {
        return counters->slot(kSlotA).frames + counters->slot(kSlotB).frames;
    };
    const int64_t t0 = LinkCounters::nowMs();
    monitor.sample(t0);

    // Second 1: 100 frames per band, three of B's damaged, A bypassed.
    QByteArray stream;
    for (int n = 0; n < 100; ++n) {
        stream += motionFrame(kSlotA, n);
        stream += n % 30 == 7 && n < 90 ? damaged(motionFrame(kSlotB, n), n / 30)
                                        : motionFrame(kSlotB, n);
        if (n == 50)
            stream += FrameCodec::encodeBandEvent({kSlotA, FrameCodec::BypassOn});
    }
    ASSERT_TRUE(pty.write(stream));
    ASSERT_TRUE(waitUntil([&] { return framesSeen() == 197; }));
    monitor.sample(t0 + 1000);
    const LinkHealth& health = monitor.health();
    ASSERT_EQ(health.bands().size(), 2u);
    const LinkHealth::Band* a = health.band(kBandA);
    const LinkHealth::Band* b = health.band(kBandB);
    ASSERT_TRUE(a && b);
    EXPECT_DOUBLE_EQ(a->framesPerSecond, 100.0);
    EXPECT_DOUBLE_EQ(b->framesPerSecond, 97.0);
    EXPECT_DOUBLE_EQ(health.linkFramesLost(), 3.0);
    EXPECT_NEAR(a->lossRatio, 0.015, 1e-9);
    EXPECT_TRUE(a->warning && b->warning);
    EXPECT_EQ(a->battery, LinkHealth::kUnknownBattery);
    ASSERT_GE(panelUpdates.count(), 1);
    EXPECT_TRUE(panel.linkHealthWarning());
    EXPECT_TRUE(panel.linkHealth().startsWith(QStringLiteral("97 fps · 1.5% lost")))
        << panel.linkHealth().toStdString();

    // Second 2: clean.
    stream.clear();
    for (int n = 0; n < 100; ++n)
        stream += motionFrame(kSlotA, n) + motionFrame(kSlotB, n);
    ASSERT_TRUE(pty.write(stream));
    ASSERT_TRUE(waitUntil([&] { return framesSeen() == 397; }));
    monitor.sample(t0 + 2000);
    for (const LinkHealth::Band& band : health.bands()) {
        EXPECT_DOUBLE_EQ(band.framesPerSecond, 100.0);
        EXPECT_EQ(band.lossRatio, 0.0);
        EXPECT_FALSE(band.warning);
    }
    EXPECT_FALSE(panel.linkHealthWarning());
    EXPECT_TRUE(panel.linkHealthDescription().startsWith(
        QStringLiteral("Link: 100 frames per second, 0.0 percent lost")));

    // Second 3: unplugged. Nothing arrives; the last frame grows old.
    pty.hangUp();
    const int64_t lastFrame = counters->slot(kSlotB).lastFrameMs;
    monitor.sample(t0 + 3000);
    for (const LinkHealth::Band& band : health.bands()) {
        EXPECT_EQ(band.framesPerSecond, 0.0);
        EXPECT_TRUE(band.warning);
    }
    EXPECT_EQ(health.band(kBandB)->lastFrameAgeMs, t0 + 3000 - lastFrame);

    QMetaObject::invokeMethod(handler, &SerialHandler::disconnectToTessel,
                              Qt::BlockingQueuedConnection);
    handler->pilotTimer()->stop();
    linkThread.quit();
    linkThread.wait();
    delete handler;
}
