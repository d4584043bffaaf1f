// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/JuceMessagePump.h"
#include "support/SignalWait.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <QThread>

#include <atomic>

namespace {

struct Listener : juce::ChangeListener
{
    void changeListenerCallback(juce::ChangeBroadcaster*) override
    {
        ++calls;
        onMessageThread = juce::MessageManager::getInstance()->isThisTheMessageThread();
        qtThread = QThread::currentThread();
    }
    int calls = 0;
    bool onMessageThread = false;
    QThread* qtThread = nullptr;
};

struct Ticker : juce::Timer
{
    void timerCallback() override { ++ticks; }
    std::atomic<int> ticks{0};
};

} // namespace

TEST(JuceMessagePump, ChangeBroadcastsReachTheirListenerOnTheGuiThread)
{
    juce::MessageManager::getInstance();
    JuceMessagePump pump;
    pump.start();
    // Woken by the library's own descriptors, not by a polling timer.
    EXPECT_TRUE(pump.isWatchingDescriptors());
    {
        juce::ChangeBroadcaster broadcaster;
        Listener listener;
        broadcaster.addChangeListener(&listener);
        broadcaster.sendChangeMessage();
        EXPECT_EQ(listener.calls, 0) << "delivered asynchronously";
        EXPECT_TRUE(testsupport::waitUntil([&] { return listener.calls == 1; }));
        EXPECT_TRUE(listener.onMessageThread);
        EXPECT_EQ(listener.qtThread, QThread::currentThread());
        broadcaster.removeChangeListener(&listener);
    }
    {
        Ticker ticker;
        ticker.startTimer(10);
        EXPECT_TRUE(testsupport::waitUntil([&] { return ticker.ticks >= 3; }));
        ticker.stopTimer();
    }
    pump.stop();
    juce::DeletedAtShutdown::deleteAll();
    juce::MessageManager::deleteInstance();
}

TEST(JuceMessagePump, DoesNothingWithoutAMessageManager)
{
    JuceMessagePump pump;
    EXPECT_EQ(pump.dispatchPending(), 0);
}
