// The simulator in-process, on a thread of its own, feeding the receiver
// link on another: the arrangement the application uses to run without
// hardware.

#include "ReceiverSimulator.h"
#include "app/AppContext.h"
#include "app/StateManager.h"
#include "engine/MotionControlEngine.h"
#include "link/FrameCodec.h"
#include "link/Orvik.h"
#include "link/SerialHandler.h"
#include "support/SignalWait.h"

#include <QThread>
#include <gtest/gtest.h>
#include <mutex>

#include <atomic>

using testsupport::waitUntil;

TEST(ReceiverSimulatorInProcess, RunsOnItsOwnThreadAndFeedsTheLinkOnAnother)
{
    StateManager state;
    MotionControlEngine engine;
    AppContext::setStateManager(&state);
    AppContext::setEngine(&engine);

    QThread simThread;
    auto* sim = new ReceiverSimulator(ReceiverSimulator::Config::withBands(4));
    sim->moveToThread(&simThread);
    QObject::connect(&simThread, &QThread::finished, sim, &QObject::deleteLater);
    std::mutex pathLock;
    QString path;
    QObject::connect(sim, &ReceiverSimulator::portOpened, &state, [&](const QString& p) {
        std::lock_guard<std::mutex> lock(pathLock);
        path = p;
    });
    std::atomic<int> blinks{0};
    std::atomic<quint64> blinkedBand{0};
    QObject::connect(sim, &ReceiverSimulator::bandCommandReceived, &state,
                     [&](int, quint64 uuid, int, int command) {
                         if (command == FrameCodec::Blink) {
                             blinkedBand = uuid;
                             ++blinks;
                         }
                     });
    simThread.start();
    QMetaObject::invokeMethod(sim, &ReceiverSimulator::plug, Qt::QueuedConnection);

    QThread linkThread;
    auto* handler = new SerialHandler;
    AppContext::setSerialHandler(handler);
    handler->setPortSearch([&] {
        std::lock_guard<std::mutex> lock(pathLock);
        return path;
    });
    QObject::connect(handler, &SerialHandler::shouldStopTimer, &state,
                     [handler] { handler->pilotTimer()->stop(); });
    std::atomic<int> mappingRequests{0};
    QObject::connect(
        handler, &SerialHandler::shouldEnterMappingMode, handler, [&] { ++mappingRequests; },
        Qt::DirectConnection);
    handler->moveToThread(&linkThread);
    linkThread.start();

    const auto allActive = [&] {
        if (engine.getNumOfDevice() != 4)
            return false;
        for (int i = 0; i < 4; ++i)
            if (!engine.getDeviceAt(i)->isActive())
                return false;
        return true;
    };
    EXPECT_TRUE(waitUntil(allActive, 20000));
    EXPECT_TRUE(state.getConnectionState());

    if (Orvik* third = engine.getDeviceAt(2)) {
        const uint64_t id = third->getUuid();
        third->sendBlink();
        EXPECT_TRUE(waitUntil([&] { return blinks.load() == 1; }, 10000));
        EXPECT_EQ(blinkedBand.load(), id);
    }
    QMetaObject::invokeMethod(sim, [sim] { sim->sendBandEvent(1, FrameCodec::MappingRequest); });
    EXPECT_TRUE(waitUntil([&] { return mappingRequests.load() == 1; }, 10000));

    handler->pilotTimer()->stop();
    QMetaObject::invokeMethod(handler, &SerialHandler::disconnectToTessel,
                              Qt::BlockingQueuedConnection);
    linkThread.quit();
    linkThread.wait();
    delete handler;
    simThread.quit();
    simThread.wait();
    AppContext::clear();
}
