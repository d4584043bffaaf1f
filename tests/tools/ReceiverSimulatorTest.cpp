// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator in-process, on a thread of its own, feeding the receiver
// link on another: the arrangement the application uses to run without
// hardware.

#include "SimulatedReceiver.h"
#include "app/StateManager.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "link/SerialHandler.h"
#include "protocol/FrameCodec.h"
#include "support/SignalWait.h"

#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

using testsupport::waitUntil;

TEST(ReceiverSimulatorInProcess, RunsOnItsOwnThreadAndFeedsTheLinkOnAnother)
{
    MotionControlEngine* enginePtr = nullptr;
    StateManager state([&enginePtr](int i) { return enginePtr->getDeviceAt(i); });
    MotionControlEngine engine(state);
    enginePtr = &engine;

    auto receiver = std::make_unique<SimulatedReceiver>(ReceiverSimulator::Config::withBands(4));
    std::vector<QString> lines;
    QObject::connect(receiver.get(), &SimulatedReceiver::message, &state,
                     [&](const QString& line) { lines.push_back(line); });
    const auto sawLine = [&](const QString& prefix) {
        for (const QString& l : lines)
            if (l.startsWith(prefix))
                return true;
        return false;
    };
    ASSERT_TRUE(receiver->start());
    const QString firstPath = receiver->portPath();
    EXPECT_TRUE(firstPath.startsWith(QLatin1String("/dev/")));

    QThread linkThread;
    auto* handler = new SerialHandler(engine, state);
    // The bands' blinks go to the link, as the application wires them once a
    // band's registration has reached this thread.
    int registered = 0;
    QObject::connect(
        &engine, &MotionControlEngine::newDeviceAdded, &state, [handler, &registered](Orvik* d) {
            QObject::connect(d, &Orvik::shouldSendBlink, handler, &SerialHandler::sendBlink);
            QObject::connect(d, &Orvik::shouldSendHandChange, handler,
                             &SerialHandler::sendHandChange);
            ++registered;
        });
    handler->setPortSearch(receiver->portSearch());
    QObject::connect(handler, &SerialHandler::shouldStopTimer, &state,
                     [handler] { handler->pilotTimer()->stop(); });
    QObject::connect(handler, &SerialHandler::shouldStartTimer, &state,
                     [handler] { handler->pilotTimer()->start(); });
    std::atomic<int> mappingRequests{0};
    QObject::connect(
        handler, &SerialHandler::shouldEnterMappingMode, handler, [&] { ++mappingRequests; },
        Qt::DirectConnection);
    handler->moveToThread(&linkThread);
    linkThread.start();

    const auto allActive = [&] {
        if (engine.getNumOfDevice() != 4 || registered != 4)
            return false;
        for (int i = 0; i < 4; ++i)
            if (!engine.getDeviceAt(i)->isActive())
                return false;
        return true;
    };
    EXPECT_TRUE(waitUntil(allActive, 20000));
    EXPECT_TRUE(state.getConnectionState());

    // A blink from the application reaches the simulator for that band.
    if (Orvik* third = engine.getDeviceAt(2)) {
        const QString expected =
            QStringLiteral("command blink band %1 slot 2").arg(third->getUuid());
        third->sendBlink();
        EXPECT_TRUE(waitUntil([&] { return sawLine(expected); }, 10000));
    }
    receiver->execute(QStringLiteral("mapping 2"));
    EXPECT_TRUE(waitUntil([&] { return mappingRequests.load() == 1; }, 10000));

    // Unplugged and plugged in again from the application's side of things.
    receiver->execute(QStringLiteral("unplug"));
    EXPECT_TRUE(waitUntil([&] { return receiver->portPath().isEmpty(); }, 10000));
    EXPECT_TRUE(waitUntil([&] { return !state.getConnectionState(); }, 10000));
    receiver->execute(QStringLiteral("plug"));
    EXPECT_TRUE(waitUntil([&] { return allActive() && state.getConnectionState(); }, 20000));
    EXPECT_FALSE(receiver->portPath().isEmpty());

    // The search survives the receiver and then finds nothing.
    const auto search = receiver->portSearch();
    handler->pilotTimer()->stop();
    QMetaObject::invokeMethod(handler, &SerialHandler::disconnectToTessel,
                              Qt::BlockingQueuedConnection);
    receiver.reset();
    EXPECT_TRUE(search().isEmpty());
    linkThread.quit();
    linkThread.wait();
    delete handler;
}
