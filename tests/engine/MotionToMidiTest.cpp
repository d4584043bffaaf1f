#include "EngineTestSupport.h"

#include "engine/ControlMapping.h"
#include "link/FrameCodec.h"
#include "link/SerialHandler.h"
#include "support/PseudoTerminal.h"
#include "support/SignalWait.h"

#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>

#include <cmath>

using testsupport::PseudoTerminal;
using testsupport::waitUntil;

namespace {

constexpr uint64_t kBand = 0x5141239792064667ull;
constexpr uint8_t kSlot = 3;

// A motion frame of the band in kSlot, pitched so that its Y control value
// is `y` (level, no heading, no roll).
QByteArray motionFrameForY(float y)
{
    // Y = (1.2 p + 1) / 2 with p the pitch over pi/2; a rotation of angle a
    // about the band's second axis gives p = a / (pi/2).
    const double pitch = (double(y) * 2.0 - 1.0) / 1.2;
    const double angle = pitch * M_PI / 2.0;
    FrameCodec::MotionFrame frame;
    frame.slot = kSlot;
    frame.q.w = float(std::cos(angle / 2.0));
    frame.q.y = float(std::sin(angle / 2.0));
    frame.az = 16384;
    return FrameCodec::encodeMotion(frame);
}

// The whole road of a motion frame in one process: bytes written to a
// pseudo-terminal, the receiver link on its own thread, the device, a bound
// control source on this (the GUI) thread and the MIDI handler's pending
// buffer.
class MotionToMidi : public enginetest::EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ASSERT_TRUE(pty.isValid());
        handler = new SerialHandler;
        handler->pilotTimer()->stop();
        AppContext::setSerialHandler(handler);
        const QString path = pty.slavePath();
        handler->setPortSearch([path] { return path; });
        handler->moveToThread(&linkThread);
        linkThread.start();
        QMetaObject::invokeMethod(handler, &SerialHandler::pilot, Qt::QueuedConnection);
    }

    void TearDown() override
    {
        QMetaObject::invokeMethod(handler, &SerialHandler::disconnectToTessel,
                                  Qt::BlockingQueuedConnection);
        linkThread.quit();
        linkThread.wait();
        delete handler;
        EngineFixture::TearDown();
    }

    PseudoTerminal pty;
    SerialHandler* handler = nullptr;
    QThread linkThread;
};

} // namespace

TEST_F(MotionToMidi, FramesFromTheReceiverEndAsControllerBytes)
{
    ASSERT_EQ(pty.read(FrameCodec::greeting().size(), 5000), FrameCodec::greeting());

    QSignalSpy added(&engine, &MotionControlEngine::newDeviceAdded);
    FrameCodec::DeviceListFrame list;
    list.uuids = {kBand, 0, 0, 0};
    list.slots = {kSlot, 0, 0, 0};
    ASSERT_TRUE(pty.write(FrameCodec::encodeDeviceList(list)));
    ASSERT_TRUE(waitUntil([&] { return added.count() == 1; }, 10000));
    Orvik* band = engine.getDeviceById(kBand);
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(band->thread(), QThread::currentThread());

    engine.addNewCSourceAt(0);
    ContinuousControlSource* source = engine.getCSourceAt(0);
    ASSERT_EQ(source->getDeviceId(), kBand);
    ASSERT_TRUE(source->isConnectedToDevice());
    source->setAxis(ControlMapping::AxisY);

    // The warm-up: 360 frames that move, none of which may reach MIDI.
    for (int i = 0; i < Orvik::kWarmUpFrames; ++i)
        ASSERT_TRUE(pty.write(motionFrameForY(i % 2 ? 0.3f : 0.6f)));
    ASSERT_TRUE(waitUntil([&] { return band->getWarmUpCountdown() == 0; }, 20000));
    ASSERT_TRUE(
        waitUntil([&] { return std::fabs(source->getValue() - 0.3f * 127.0f) < 0.05f; }, 10000));
    EXPECT_FALSE(band->isReady());
    EXPECT_TRUE(midi->pendingMessages().empty());

    // The 361st frame: the band is ready and the value goes out.
    ASSERT_TRUE(pty.write(motionFrameForY(0.75f)));
    ASSERT_TRUE(waitUntil([&] { return !midi->pendingMessages().empty(); }, 10000));
    EXPECT_TRUE(band->isReady());
    EXPECT_NEAR(source->getValue(), 95.25f, 0.01f);
    EXPECT_EQ(pending(), QByteArray::fromHex("B0015F"));

    // And the next movement follows.
    ASSERT_TRUE(pty.write(motionFrameForY(0.25f)));
    ASSERT_TRUE(waitUntil([&] { return midi->pendingMessages().size() == 2; }, 10000));
    EXPECT_EQ(pending(), QByteArray::fromHex("B0015F B0011F"));
}
