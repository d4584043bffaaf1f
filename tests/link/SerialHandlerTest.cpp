// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/SerialHandler.h"
#include "app/StateManager.h"
#include "engine/ContinuousControlSource.h"
#include "engine/ControlMapping.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "midi/InMemoryMidiBackend.h"
#include "midi/MidiHandler.h"
#include "protocol/FrameCodec.h"
#include "support/PseudoTerminal.h"
#include "support/SignalWait.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <ctime>
#include <memory>

using testsupport::PseudoTerminal;
using testsupport::waitUntil;

namespace {

constexpr uint64_t kBandA = 0xA1A2A3A4A5A6A7A8ull;
constexpr uint64_t kBandB = 0x0000000000000B0Bull;

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// The receiver link on its own thread against a pseudo-terminal, with the
// pilot timer driven from this (the GUI) thread as in the application.
class SerialLink : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.isValid());
        handler = new SerialHandler(engine, state);
        // The bands' blink and hand requests go to the link, as the
        // application wires them.
        QObject::connect(&engine, &MotionControlEngine::newDeviceAdded, &state,
                         [this](Orvik* device) {
                             QObject::connect(device, &Orvik::shouldSendBlink, handler,
                                              &SerialHandler::sendBlink);
                             QObject::connect(device, &Orvik::shouldSendHandChange, handler,
                                              &SerialHandler::sendHandChange);
                         });
        const QString path = pty.slavePath();
        handler->setPortSearch([path] { return QFile::exists(path) ? path : QString(); });
        QObject::connect(handler, &SerialHandler::shouldStopTimer, &state,
                         [this] { handler->pilotTimer()->stop(); });
        QObject::connect(handler, &SerialHandler::shouldStartTimer, &state, [this] {
            ++timerRestarts;
            handler->pilotTimer()->start();
        });
        handler->moveToThread(&linkThread);
        linkThread.start();
    }

    void TearDown() override
    {
        handler->pilotTimer()->stop();
        QMetaObject::invokeMethod(handler, &SerialHandler::disconnectToTessel,
                                  Qt::BlockingQueuedConnection);
        linkThread.quit();
        linkThread.wait();
        delete handler;
    }

    // Waits for the pilot to open the port and reads the greeting.
    QByteArray connectAndReadGreeting() { return pty.read(FrameCodec::greeting().size(), 3000); }

    void announceBands()
    {
        FrameCodec::DeviceListFrame list;
        list.uuids = {kBandA, 0, kBandB, 0};
        list.slots = {2, 0, 5, 0};
        QSignalSpy added(&engine, &MotionControlEngine::newDeviceAdded);
        ASSERT_TRUE(pty.write(FrameCodec::encodeDeviceList(list)));
        // Registration finishes on this thread, after the link inserted them.
        ASSERT_TRUE(waitUntil([&] { return added.count() == 2; }));
        ASSERT_EQ(engine.getNumOfDevice(), 2);
    }

    template <typename F> auto onLink(F&& f)
    {
        decltype(f()) result{};
        QMetaObject::invokeMethod(
            handler, [&] { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }

    PseudoTerminal pty;
    StateManager state{[this](int i) { return engine.getDeviceAt(i); }};
    MotionControlEngine engine{state};
    SerialHandler* handler = nullptr;
    QThread linkThread;
    int timerRestarts = 0;
};

} // namespace

TEST_F(SerialLink, GreetsTheReceiverWhenThePilotFindsIt)
{
    EXPECT_EQ(connectAndReadGreeting(), FrameCodec::greeting());
    EXPECT_TRUE(waitUntil([&] { return !handler->pilotTimer()->isActive(); }));
    EXPECT_TRUE(onLink([&] { return handler->isPortOpen(); }));
}

TEST_F(SerialLink, DeviceListCreatesDevicesOnTheGuiThreadAndFocusesTheFirst)
{
    ASSERT_EQ(connectAndReadGreeting(), FrameCodec::greeting());
    QSignalSpy focus(&state, &StateManager::deviceFocusChanged);
    announceBands();
    EXPECT_TRUE(waitUntil([&] { return focus.count() >= 1; }));
    EXPECT_EQ(state.getFocusedDevice(), 0);
    EXPECT_TRUE(state.getConnectionState());
    Orvik* a = engine.getDeviceById(kBandA);
    Orvik* b = engine.getDeviceById(kBandB);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->getIndex(), 0);
    EXPECT_EQ(b->getIndex(), 1);
    EXPECT_EQ(a->thread(), QThread::currentThread());

    // The same list again creates nothing.
    QSignalSpy added(&engine, &MotionControlEngine::newDeviceAdded);
    FrameCodec::DeviceListFrame list;
    list.uuids = {kBandA, 0, kBandB, 0};
    list.slots = {2, 0, 5, 0};
    ASSERT_TRUE(pty.write(FrameCodec::encodeDeviceList(list)));
    EXPECT_TRUE(waitUntil([&] { return focus.count() >= 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(added.count(), 0);
    EXPECT_EQ(engine.getNumOfDevice(), 2);
}

TEST_F(SerialLink, MotionFramesUpdateTheirBand)
{
    ASSERT_EQ(connectAndReadGreeting(), FrameCodec::greeting());
    announceBands();
    Orvik* b = engine.getDeviceById(kBandB);
    QSignalSpy updated(b, &Orvik::dataUpdated);

    FrameCodec::MotionFrame f;
    f.slot = 5;
    f.q = {0.70710677f, 0.0f, 0.0f, 0.70710677f};
    f.az = 16384;
    // Several frames in one write, and one split across two writes.
    QByteArray burst = FrameCodec::encodeMotion(f) + FrameCodec::encodeMotion(f);
    const QByteArray last = FrameCodec::encodeMotion(f);
    burst += last.left(10);
    ASSERT_TRUE(pty.write(burst));
    QThread::msleep(20);
    ASSERT_TRUE(pty.write(last.mid(10)));

    ASSERT_TRUE(waitUntil([&] { return b->isActive() && updated.count() >= 1; }));
    ASSERT_TRUE(waitUntil([&] { return b->getWarmUpCountdown() == Orvik::kWarmUpFrames - 3; }));
    const MotionRecord r = b->getRecord();
    EXPECT_NEAR(r.x(), 0.5f, 1e-6f);
    EXPECT_NEAR(r.y(), 0.5f, 1e-6f);
    EXPECT_NEAR(r.z(), 0.95f, 1e-5f);
    EXPECT_NEAR(r.g(), 0.083333f, 1e-6f);
    EXPECT_FALSE(engine.getDeviceById(kBandA)->isActive());
}

TEST_F(SerialLink, FramesForUnknownSlotsAreDropped)
{
    ASSERT_EQ(connectAndReadGreeting(), FrameCodec::greeting());
    announceBands();
    FrameCodec::MotionFrame f;
    f.slot = 9;
    f.q = {0.70710677f, 0.0f, 0.0f, 0.70710677f};
    ASSERT_TRUE(pty.write(FrameCodec::encodeMotion(f)));
    f.slot = 2;
    ASSERT_TRUE(pty.write(FrameCodec::encodeMotion(f)));
    Orvik* a = engine.getDeviceById(kBandA);
    ASSERT_TRUE(waitUntil([&] { return a->isActive(); }));
    EXPECT_FALSE(engine.getDeviceById(kBandB)->isActive());
}

TEST_F(SerialLink, BandEventsBypassAndAskForMappingMode)
{
    ASSERT_EQ(connectAndReadGreeting(), FrameCodec::greeting());
    announceBands();
    Orvik* a = engine.getDeviceById(kBandA);
    QSignalSpy enter(handler, &SerialHandler::shouldEnterMappingMode);
    QSignalSpy quit(handler, &SerialHandler::shouldQuitMappingMode);

    ASSERT_TRUE(pty.write(FrameCodec::encodeBandEvent({2, FrameCodec::BypassOn})));
    ASSERT_TRUE(waitUntil([&] { return a->isBypassed(); }));
    ASSERT_TRUE(pty.write(FrameCodec::encodeBandEvent({2, FrameCodec::MappingRequest})));
    ASSERT_TRUE(waitUntil([&] { return enter.count() == 1; }));

    state.setLiveModeState(true);
    ASSERT_TRUE(pty.write(FrameCodec::encodeBandEvent({2, FrameCodec::MappingRequest})));
    ASSERT_TRUE(pty.write(FrameCodec::encodeBandEvent({2, FrameCodec::BypassOff})));
    ASSERT_TRUE(waitUntil([&] { return quit.count() == 1; }));
    EXPECT_FALSE(a->isBypassed());
    EXPECT_EQ(enter.count(), 1) << "no mapping request honoured in live mode";

    // Bypass off from a slot without a band still ends mapping mode.
    ASSERT_TRUE(pty.write(FrameCodec::encodeBandEvent({12, FrameCodec::BypassOff})));
    EXPECT_TRUE(waitUntil([&] { return quit.count() == 2; }));
}

TEST_F(SerialLink, BandCommandsGoToTheBandsSlot)
{
    ASSERT_EQ(connectAndReadGreeting(), FrameCodec::greeting());
    announceBands();
    engine.getDeviceById(kBandB)->sendBlink();
    EXPECT_EQ(pty.read(13), FrameCodec::bandCommand(5, FrameCodec::Blink));
    engine.getDeviceById(kBandA)->setOnLeft(true);
    EXPECT_EQ(pty.read(13), FrameCodec::bandCommand(2, FrameCodec::LeftHand));
    engine.getDeviceById(kBandA)->setOnLeft(false);
    EXPECT_EQ(pty.read(13), FrameCodec::bandCommand(2, FrameCodec::RightHand));
    // A band the receiver never listed has no slot: nothing is sent.
    QMetaObject::invokeMethod(handler, [this] { handler->sendBlink(999); });
    EXPECT_TRUE(pty.readAvailable(100).isEmpty());
}

TEST_F(SerialLink, CommandsQueuedWhileClosedGoOutFirstOnTheNextRead)
{
    ASSERT_EQ(connectAndReadGreeting(), FrameCodec::greeting());
    announceBands();
    QMetaObject::invokeMethod(handler, &SerialHandler::disconnectToTessel,
                              Qt::BlockingQueuedConnection);
    EXPECT_FALSE(state.getConnectionState());
    EXPECT_FALSE(engine.getDeviceById(kBandA)->isActive());

    for (int i = 0; i < 100; ++i)
        engine.getDeviceById(kBandB)->sendBlink();
    engine.getDeviceById(kBandA)->setOnLeft(true);
    EXPECT_EQ(onLink([&] { return handler->pendingCommandCount(); }),
              SerialHandler::kMaxPendingCommands)
        << "the queue keeps only the newest commands";

    EXPECT_TRUE(onLink([&] { return handler->connectToTessel(); }));
    EXPECT_EQ(pty.read(11), FrameCodec::greeting());
    EXPECT_TRUE(pty.readAvailable(100).isEmpty()) << "nothing before the receiver speaks";
    ASSERT_TRUE(pty.write(FrameCodec::encodeBandEvent({2, FrameCodec::BypassOn})));
    const QByteArray sent = pty.read(13 * SerialHandler::kMaxPendingCommands);
    ASSERT_EQ(sent.size(), 13 * SerialHandler::kMaxPendingCommands);
    EXPECT_EQ(sent.left(13), FrameCodec::bandCommand(5, FrameCodec::Blink));
    EXPECT_EQ(sent.right(13), FrameCodec::bandCommand(2, FrameCodec::LeftHand));
    EXPECT_EQ(onLink([&] { return handler->pendingCommandCount(); }), 0);
}

TEST_F(SerialLink, FarEndHangingUpRestartsThePilotOnceWithoutSpinning)
{
    ASSERT_EQ(connectAndReadGreeting(), FrameCodec::greeting());
    announceBands();
    FrameCodec::MotionFrame f;
    f.slot = 2;
    ASSERT_TRUE(pty.write(FrameCodec::encodeMotion(f)));
    ASSERT_TRUE(waitUntil([&] { return engine.getDeviceById(kBandA)->isActive(); }));

    pty.hangUp();
    ASSERT_TRUE(waitUntil([&] { return timerRestarts == 1; }, 5000));
    EXPECT_FALSE(state.getConnectionState());
    EXPECT_FALSE(engine.getDeviceById(kBandA)->isActive());
    EXPECT_FALSE(onLink([&] { return handler->isPortOpen(); }));

    const double cpuBefore = processCpuSeconds();
    waitUntil([] { return false; }, 1000);
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    EXPECT_EQ(timerRestarts, 1);
    EXPECT_LT(cpuUsed, 0.5) << "the link must not spin on a dead port";
    EXPECT_TRUE(handler->pilotTimer()->isActive()) << "still searching for the receiver";
}

TEST_F(SerialLink, ResourceErrorRestartsThePilotAndOtherErrorsDoNot)
{
    ASSERT_EQ(connectAndReadGreeting(), FrameCodec::greeting());
    QMetaObject::invokeMethod(
        handler, [this] { handler->handleError(QSerialPort::ParityError); },
        Qt::BlockingQueuedConnection);
    QCoreApplication::processEvents();
    EXPECT_EQ(timerRestarts, 0);
    EXPECT_TRUE(onLink([&] { return handler->isPortOpen(); }));
    QMetaObject::invokeMethod(
        handler, [this] { handler->handleError(QSerialPort::ResourceError); },
        Qt::BlockingQueuedConnection);
    EXPECT_TRUE(waitUntil([&] { return timerRestarts == 1; }));
    EXPECT_FALSE(onLink([&] { return handler->isPortOpen(); }));
}

TEST_F(SerialLink, PilotKeepsSearchingWhileTheFoundPortWillNotOpen)
{
    handler->pilotTimer()->stop();
    ASSERT_EQ(pty.read(11, 700), QByteArray()) << "pilot stopped before the test";
    QMetaObject::invokeMethod(handler, [this] {
        handler->setPortSearch([] { return QStringLiteral("/nonexistent/tty-kinetra"); });
    });
    QSignalSpy stopped(handler, &SerialHandler::shouldStopTimer);
    handler->pilotTimer()->start();
    waitUntil([] { return false; }, 1300);
    EXPECT_EQ(stopped.count(), 0);
    EXPECT_TRUE(handler->pilotTimer()->isActive());

    // Once the port can be opened, the next tick connects and stops the pilot.
    const QString path = pty.slavePath();
    QMetaObject::invokeMethod(handler,
                              [this, path] { handler->setPortSearch([path] { return path; }); });
    EXPECT_EQ(pty.read(11, 3000), FrameCodec::greeting());
    EXPECT_TRUE(waitUntil([&] { return !handler->pilotTimer()->isActive(); }));
}

// A search that names its folder runs when the folder changes: a receiver
// that appears after start is found with no pilot tick at all.
TEST_F(SerialLink, AReceiverThatAppearsLaterIsFoundWhenItsFolderChanges)
{
    handler->pilotTimer()->stop();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString node = folder.filePath(QStringLiteral("ttyACM0"));
    const QString path = pty.slavePath();
    std::atomic<int> searches{0};
    QMetaObject::invokeMethod(
        handler,
        [&, node, path] {
            handler->setPortSearch(
                [&searches, node, path] {
                    ++searches;
                    return QFile::exists(node) ? path : QString();
                },
                {folder.path()});
        },
        Qt::BlockingQueuedConnection);
    EXPECT_EQ(handler->pilotIntervalMs(), SerialHandler::kWatchedSearchIntervalMs);
    EXPECT_TRUE(onLink([&] { return handler->isWatchingFolders(); }));
    EXPECT_EQ(pty.read(11, 700), QByteArray()) << "nothing to find yet";
    EXPECT_EQ(searches.load(), 1) << "searched once at once, then not again";

    QFile(node).open(QIODevice::WriteOnly);
    EXPECT_EQ(pty.read(11, 3000), FrameCodec::greeting());
    EXPECT_TRUE(onLink([&] { return handler->isPortOpen(); }));
    EXPECT_FALSE(handler->pilotTimer()->isActive());
}

TEST_F(SerialLink, BandCommandsFollowTheBandToTheSlotTheReceiverHasItOnNow)
{
    ASSERT_EQ(connectAndReadGreeting(), FrameCodec::greeting());
    QSignalSpy focus(&state, &StateManager::deviceFocusChanged);
    announceBands(); // A on slot 2, B on slot 5
    ASSERT_TRUE(waitUntil([&] { return focus.count() >= 1; }));

    // The receiver moves B down to slot 1 and gives its old slot to nobody.
    FrameCodec::DeviceListFrame list;
    list.uuids = {kBandA, kBandB, 0, 0};
    list.slots = {2, 1, 0, 0};
    ASSERT_TRUE(pty.write(FrameCodec::encodeDeviceList(list)));
    ASSERT_TRUE(waitUntil([&] { return focus.count() >= 2; }));
    engine.getDeviceById(kBandB)->sendBlink();
    EXPECT_EQ(pty.read(13), FrameCodec::bandCommand(1, FrameCodec::Blink));

    // Frames still arriving on the old slot belong to no band any more.
    Orvik* b = engine.getDeviceById(kBandB);
    FrameCodec::MotionFrame f;
    f.slot = 5;
    f.q = {1.0f, 0.0f, 0.0f, 0.0f};
    ASSERT_TRUE(pty.write(FrameCodec::encodeMotion(f)));
    f.slot = 2;
    ASSERT_TRUE(pty.write(FrameCodec::encodeMotion(f)));
    ASSERT_TRUE(waitUntil([&] { return engine.getDeviceById(kBandA)->isActive(); }));
    EXPECT_FALSE(b->isActive());
}

// A wheel's MIDI is due when its frame's bytes were read, not when the link
// got round to working it out: every frame completed by one read carries the
// stamp taken for that read, however the clock moves while they are worked
// out.
TEST_F(SerialLink, WheelMessagesAreDueWhenTheirFramesBytesWereRead)
{
    MidiHandler midi(std::make_shared<InMemoryMidiBackend>(), &state);
    engine.setControlOutput(&midi);
    std::atomic<int64_t> stamp{0};
    std::atomic<int> reads{0};
    onLink([&] {
        handler->setArrivalClock([&] {
            ++reads;
            // Time moves on while the frames are worked out: a stamp taken
            // per message would differ from the read's.
            return stamp.fetch_add(1000);
        });
        return true;
    });
    ASSERT_EQ(connectAndReadGreeting(), FrameCodec::greeting());
    announceBands();
    ContinuousControlSource* wheel = engine.getCSourceAt(0);
    wheel->setDummy(false);
    wheel->setEnabled(true);
    wheel->setAxis(ControlMapping::AxisY);
    wheel->setDevice(kBandB, true);

    // Frames that tilt band B a little further each time, so each moves the
    // wheel.
    int tilt = 0;
    const auto nextFrame = [&tilt] {
        const double angle = -0.3 + 0.05 * double(tilt++ % 12);
        FrameCodec::MotionFrame f;
        f.slot = 5;
        f.q = {float(std::cos(angle / 2.0)), 0.0f, float(std::sin(angle / 2.0)), 0.0f};
        f.az = 16384;
        return FrameCodec::encodeMotion(f);
    };
    Orvik* b = engine.getDeviceById(kBandB);
    for (int i = 0; i <= Orvik::kWarmUpFrames; i += 40) {
        QByteArray burst;
        for (int k = 0; k < 40; ++k)
            burst += nextFrame();
        ASSERT_TRUE(pty.write(burst));
        QThread::msleep(5);
    }
    ASSERT_TRUE(waitUntil([&] { return b->isReady(); }));
    QThread::msleep(50);
    midi.flushBuffer();
    ASSERT_EQ(midi.pendingCount(), 0);

    const int readsBefore = reads.load();
    stamp.store(70000);
    ASSERT_TRUE(pty.write(nextFrame() + nextFrame() + nextFrame()));
    ASSERT_TRUE(waitUntil([&] { return midi.pendingCount() >= 3; }));
    const std::vector<juce::MidiMessage> pending = midi.pendingMessages();
    ASSERT_EQ(pending.size(), 3u);
    // One read, or more if the terminal split the write: each message is
    // due on one of the reads' stamps, the first on the first read's.
    const int readsTaken = reads.load() - readsBefore;
    ASSERT_GE(readsTaken, 1);
    EXPECT_EQ(pending[0].getTimeStamp(), 70000.0);
    for (const auto& message : pending) {
        EXPECT_TRUE(message.isController());
        const double due = message.getTimeStamp() - 70000.0;
        EXPECT_EQ(std::fmod(due, 1000.0), 0.0);
        EXPECT_LT(due, 1000.0 * readsTaken);
    }
    engine.setControlOutput(nullptr);
}
