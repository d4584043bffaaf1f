// SPDX-License-Identifier: GPL-3.0-or-later
#include "EngineTestSupport.h"

#include "engine/ControlMapping.h"
#include "link/SerialHandler.h"
#include "protocol/FrameCodec.h"
#include "support/PseudoTerminal.h"
#include "support/SignalWait.h"

#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>

#include <QDeadlineTimer>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

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

// Waits for `done` without running this thread's event loop, as a GUI
// thread busy drawing or running script would.
bool waitBlocked(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(1);
    }
    return true;
}

// The whole road of a motion frame in one process: bytes written to a
// pseudo-terminal, the receiver link on its own thread, the device, a bound
// control source (owned by this, the GUI, thread) and the MIDI handler's
// pending buffer.
class MotionToMidi : public enginetest::EngineFixture
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.isValid());
        handler = new SerialHandler(engine, state);
        handler->pilotTimer()->stop();
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
    }

    // Announces the band, binds slot 0 to its Y and plays the warm-up, so
    // that the next moving frame goes out as MIDI.
    ContinuousControlSource* readyBand()
    {
        if (pty.read(FrameCodec::greeting().size(), 5000) != FrameCodec::greeting())
            return nullptr;
        QSignalSpy added(&engine, &MotionControlEngine::newDeviceAdded);
        FrameCodec::DeviceListFrame list;
        list.uuids = {kBand, 0, 0, 0};
        list.slots = {kSlot, 0, 0, 0};
        if (!pty.write(FrameCodec::encodeDeviceList(list)) ||
            !waitUntil([&] { return added.count() == 1; }, 10000))
            return nullptr;
        Orvik* band = engine.getDeviceById(kBand);
        engine.addNewCSourceAt(0);
        ContinuousControlSource* source = engine.getCSourceAt(0);
        source->setAxis(ControlMapping::AxisY);
        for (int i = 0; i < Orvik::kWarmUpFrames; ++i)
            if (!pty.write(motionFrameForY(i % 2 ? 0.3f : 0.6f)))
                return nullptr;
        if (!waitUntil([&] { return band->getWarmUpCountdown() == 0; }, 20000) ||
            !waitUntil([&] { return std::fabs(source->getValue() - 0.3f * 127.0f) < 0.05f; },
                       10000))
            return nullptr;
        return source;
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

TEST_F(MotionToMidi, MovementReachesMidiWhileTheGuiThreadIsBusy)
{
    ContinuousControlSource* source = readyBand();
    ASSERT_NE(source, nullptr);
    midi->flushBuffer();

    // No event of this thread runs from here on: the frames are turned into
    // MIDI on the link thread.
    ASSERT_TRUE(pty.write(motionFrameForY(0.75f)));
    ASSERT_TRUE(waitBlocked([&] { return !midi->pendingMessages().empty(); }, 10000));
    EXPECT_EQ(pending(), QByteArray::fromHex("B0015F"));
    ASSERT_TRUE(pty.write(motionFrameForY(0.25f)));
    ASSERT_TRUE(waitBlocked([&] { return midi->pendingMessages().size() == 2; }, 10000));
    EXPECT_EQ(pending(), QByteArray::fromHex("B0015F B0011F"));
    EXPECT_NEAR(source->getValue(), 0.25f * 127.0f, 0.01f);
}

// Streams frames while the user edits, swaps, empties and reloads the slots
// on this thread; the thread sanitizer run checks that they share nothing
// unguarded, and every message that goes out is a whole controller message.
TEST_F(MotionToMidi, EditingTheSlotsWhileTheBandStreams)
{
    ContinuousControlSource* source = readyBand();
    ASSERT_NE(source, nullptr);
    const ControlSourceParams saved = source->getParams();

    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop.load(); ++i) {
            if (!pty.write(motionFrameForY(0.2f + 0.05f * float(i % 12))))
                return;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    for (int round = 0; round < 200; ++round) {
        ContinuousControlSource* s = engine.getCSourceAt(0);
        s->setMin(float(round % 20));
        s->setMax(100.0f + float(round % 27));
        s->setSensitivity(1.0f + float(round % 3));
        s->setReversed(round % 2 == 0);
        s->setLowerbound(float(round % 10));
        s->setUpperbound(127.0f - float(round % 10));
        s->setEventNumber(uint8_t(1 + round % 5));
        s->setAxis(round % 7 == 0 ? ControlMapping::AxisX : ControlMapping::AxisY);
        if (round % 10 == 0)
            engine.swapCSources(0, 1);
        if (round % 25 == 0) {
            engine.removeCSourceAt(0);
            engine.removeCSourceAt(1);
            ControlSourceParams params = saved;
            params.index = 0;
            engine.getCSourceAt(0)->applyParams(params);
        }
        QCoreApplication::processEvents();
        midi->flushBuffer();
        QThread::usleep(200);
    }
    stop = true;
    writer.join();
    midi->flushBuffer();
    EXPECT_EQ(midi->droppedMessageCount(), 0u);
    const QByteArray sent = sentToPort();
    ASSERT_FALSE(sent.isEmpty());
    ASSERT_EQ(sent.size() % 3, 0);
    for (int i = 0; i < sent.size(); i += 3) {
        EXPECT_EQ(uint8_t(sent[i]), 0xB0) << "at byte " << i;
        EXPECT_LT(uint8_t(sent[i + 1]), 0x80);
        EXPECT_LT(uint8_t(sent[i + 2]), 0x80);
    }
}

// The link's hand-over with every peer built here and nothing registered
// anywhere: one wheel follows a band's X and the bytes that leave for the
// MIDI port are exactly what the mapping rules give for the frame.
TEST(MotionToMidiBytes, OneFrameGivesExactlyTheMappedControllerBytes)
{
    StateManager state;
    auto backend = std::make_shared<InMemoryMidiBackend>();
    MidiHandler midi(backend, &state);
    MotionControlEngine engine(state, &midi);
    engine.addNewDevice(kBand);
    const std::shared_ptr<Orvik> band = engine.deviceRefById(kBand);
    ASSERT_NE(band, nullptr);

    // What SerialHandler does with a decoded frame; returns whether the
    // frame was handed over.
    const auto handOver = [&](float x, float y) {
        const MotionRecord record = enginetest::recordWith(x, y);
        if (!band->applyMotion(record))
            return false;
        engine.deliverMotion(*band, record);
        return true;
    };
    // What the next audio block sends.
    const auto sent = [&] {
        midi.flushBuffer();
        const QByteArray bytes = backend->bytesSentTo(MidiHandler::kVirtualPortName);
        backend->clearCaptured();
        return bytes;
    };
    for (int i = 0; i <= Orvik::kWarmUpFrames; ++i)
        handOver(0.0f, 0.0f);
    ASSERT_TRUE(band->isReady());

    engine.addNewCSourceAt(0);
    ContinuousControlSource* wheel = engine.getCSourceAt(0);
    ASSERT_EQ(wheel->getDeviceId(), kBand);
    wheel->setAxis(ControlMapping::AxisX);
    wheel->setChannel(5); // the sixth MIDI channel
    wheel->setEventNumber(74);
    wheel->setMin(20.0f);
    wheel->setMax(100.0f);

    // X at three quarters of its travel, over an output range of 20-100:
    // 20 + 0.75 * 80 = 80.
    ASSERT_TRUE(handOver(0.75f, 0.5f));
    EXPECT_EQ(sent(), QByteArray::fromHex("B5 4A 50"));

    // The band moved (Y), the wheel's value did not: nothing goes out.
    ASSERT_TRUE(handOver(0.75f, 0.9f));
    EXPECT_EQ(sent(), QByteArray());

    // In high resolution a controller below 32 is a pair: the integer part
    // of the output on the controller, its fraction in 1/128 on the
    // controller 32 above. X at 17/32: 20 + 17/32 * 80 = 62.5, so 62 and 64.
    state.setHiResMidiState(true);
    wheel->setEventNumber(7);
    ASSERT_TRUE(handOver(0.53125f, 0.9f));
    EXPECT_EQ(sent(), QByteArray::fromHex("B5 07 3E B5 27 40"));
}
