// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/ThreadController.h"
#include "app/StateManager.h"
#include "engine/MotionControlEngine.h"
#include "link/SerialHandler.h"
#include "protocol/FrameCodec.h"
#include "support/PseudoTerminal.h"
#include "support/SignalWait.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QStringList>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using testsupport::PseudoTerminal;
using testsupport::waitUntil;

namespace {

// The port the pilot finds; written by the test, read on the link thread.
class PortChoice
{
public:
    void set(const QString& path)
    {
        QMutexLocker lock(&m_mutex);
        m_path = path;
    }
    QString get() const
    {
        QMutexLocker lock(&m_mutex);
        return QFile::exists(m_path) ? m_path : QString();
    }

private:
    mutable QMutex m_mutex;
    QString m_path;
};

class LinkThread : public ::testing::Test
{
protected:
    void SetUp() override
    {
        handler = new SerialHandler(engine, state);
        auto choice = port;
        handler->setPortSearch([choice] { return choice->get(); });
    }

    void TearDown() override { controller.reset(); }

    // Runs the GUI loop until the link has opened the port and greeted.
    bool waitForGreeting(PseudoTerminal& pty)
    {
        QByteArray got;
        const bool ok = waitUntil(
            [&] {
                got += pty.readAvailable(5);
                return got.size() >= FrameCodec::greeting().size();
            },
            5000);
        return ok && got.startsWith(FrameCodec::greeting());
    }

    QByteArray readFromLink(PseudoTerminal& pty, int count)
    {
        QByteArray got;
        waitUntil(
            [&] {
                got += pty.readAvailable(5);
                return got.size() >= count;
            },
            5000);
        return got;
    }

    bool pilotActive() { return handler->pilotTimer()->isActive(); }

    StateManager state{[this](int i) { return engine.getDeviceAt(i); }};
    MotionControlEngine engine{state};
    std::shared_ptr<PortChoice> port = std::make_shared<PortChoice>();
    SerialHandler* handler = nullptr;
    std::unique_ptr<ThreadController> controller;
};

TEST_F(LinkThread, HandlerRunsOnTheLinkThreadAndPilotStaysOnTheGuiThread)
{
    controller = std::make_unique<ThreadController>(handler);
    EXPECT_EQ(handler->thread(), controller->linkThread());
    EXPECT_TRUE(controller->linkThread()->isRunning());
    EXPECT_EQ(handler->pilotTimer()->thread(), QThread::currentThread());
    EXPECT_EQ(controller->thread(), QThread::currentThread());

    std::atomic<QThread*> ranOn{nullptr};
    QMetaObject::invokeMethod(handler, [&] { ranOn = QThread::currentThread(); });
    ASSERT_TRUE(waitUntil([&] { return ranOn.load() != nullptr; }));
    EXPECT_EQ(ranOn.load(), controller->linkThread());
}

TEST_F(LinkThread, PilotConnectsThenStopsAndALostReceiverRestartsIt)
{
    PseudoTerminal first;
    ASSERT_TRUE(first.isValid());
    controller = std::make_unique<ThreadController>(handler);
    EXPECT_TRUE(pilotActive());

    // Nothing to find yet: the pilot keeps searching.
    ASSERT_FALSE(waitUntil([&] { return !pilotActive(); }, 1200));

    port->set(first.slavePath());
    ASSERT_TRUE(waitForGreeting(first));
    ASSERT_TRUE(waitUntil([&] { return !pilotActive(); }));
    EXPECT_TRUE(handler->isPortOpen());

    // The receiver goes away: the port closes and the pilot runs again.
    first.hangUp();
    ASSERT_TRUE(waitUntil([&] { return pilotActive(); }, 5000));
    EXPECT_FALSE(handler->isPortOpen());

    // It comes back under another name and is found at a following tick.
    PseudoTerminal second;
    ASSERT_TRUE(second.isValid());
    port->set(second.slavePath());
    ASSERT_TRUE(waitForGreeting(second));
    ASSERT_TRUE(waitUntil([&] { return !pilotActive(); }));
    EXPECT_TRUE(handler->isPortOpen());
}

TEST_F(LinkThread, BlinkAndHandChangeReachTheBandThroughTheLinkThread)
{
    PseudoTerminal pty;
    ASSERT_TRUE(pty.isValid());
    port->set(pty.slavePath());
    controller = std::make_unique<ThreadController>(handler);
    ASSERT_TRUE(waitForGreeting(pty));

    constexpr uint64_t kBand = 0x1122334455667788ull;
    FrameCodec::DeviceListFrame list;
    list.uuids = {kBand, 0, 0, 0};
    list.slots = {3, 0, 0, 0};
    ASSERT_TRUE(pty.write(FrameCodec::encodeDeviceList(list)));
    ASSERT_TRUE(waitUntil([&] { return state.getFocusedDevice() == 0; }));

    controller->sendBlink(kBand);
    EXPECT_EQ(readFromLink(pty, 13), FrameCodec::bandCommand(3, FrameCodec::Blink));
    controller->sendHandChange(kBand, true);
    EXPECT_EQ(readFromLink(pty, 13), FrameCodec::bandCommand(3, FrameCodec::LeftHand));
    controller->sendHandChange(kBand, false);
    EXPECT_EQ(readFromLink(pty, 13), FrameCodec::bandCommand(3, FrameCodec::RightHand));
    // An unknown band gets nothing.
    controller->sendBlink(42);
    EXPECT_TRUE(pty.readAvailable(200).isEmpty());
}

TEST_F(LinkThread, DestroyingStopsThePilotBeforeTheThreadEndsAndDeletesTheHandlerOnce)
{
    controller = std::make_unique<ThreadController>(handler);
    ASSERT_TRUE(pilotActive());

    QStringList events;
    QMutex eventsMutex;
    auto record = [&](const QString& e) {
        QMutexLocker lock(&eventsMutex);
        events.append(e);
    };
    QThread* thread = controller->linkThread();
    QTimer* pilot = handler->pilotTimer();
    QObject::connect(
        handler, &SerialHandler::shouldStopTimer, handler,
        [&, thread, pilot] {
            record(QStringLiteral("stop"));
            record(thread->isRunning() ? QStringLiteral("thread running")
                                       : QStringLiteral("thread gone"));
            // The controller's own connection was made first and has run.
            record(pilot->isActive() ? QStringLiteral("pilot on") : QStringLiteral("pilot off"));
        },
        Qt::DirectConnection);
    QObject::connect(
        thread, &QThread::finished, thread, [&] { record(QStringLiteral("finished")); },
        Qt::DirectConnection);
    std::atomic<int> destroyed{0};
    QObject::connect(
        handler, &QObject::destroyed, handler, [&] { ++destroyed; }, Qt::DirectConnection);
    const QPointer<SerialHandler> reachable(handler);

    controller.reset();

    EXPECT_EQ(events, (QStringList{QStringLiteral("stop"), QStringLiteral("thread running"),
                                   QStringLiteral("pilot off"), QStringLiteral("finished")}));
    EXPECT_EQ(destroyed.load(), 1);
    EXPECT_TRUE(reachable.isNull());
    // Nothing left over fires later.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(destroyed.load(), 1);
}

TEST_F(LinkThread, DestroyingWithTheReceiverOpenClosesThePortAndDropsTheConnection)
{
    PseudoTerminal pty;
    ASSERT_TRUE(pty.isValid());
    port->set(pty.slavePath());
    controller = std::make_unique<ThreadController>(handler);
    ASSERT_TRUE(waitForGreeting(pty));
    // Any byte from the receiver marks the link connected.
    ASSERT_TRUE(pty.write(QByteArray("x")));
    ASSERT_TRUE(waitUntil([&] { return state.getConnectionState(); }));

    const QPointer<SerialHandler> reachable(handler);
    controller.reset();
    EXPECT_FALSE(state.getConnectionState());
    EXPECT_TRUE(reachable.isNull());
}

TEST_F(LinkThread, ControllerWithoutAHandlerIsHarmless)
{
    delete handler;
    controller = std::make_unique<ThreadController>(nullptr);
    controller->startTimer();
    controller->stopTimer();
    controller->sendBlink(1);
    controller->sendHandChange(1, true);
    EXPECT_EQ(controller->worker(), nullptr);
    controller.reset();
}

} // namespace
