// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DataMonitor.h"
#include "app/EngineItemPeers.h"
#include "app/StateManager.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

class DataMonitorItem : public ::testing::Test
{
protected:
    void SetUp() override
    {
        engine.addNewDevice(5);
        MotionRecord r;
        r[MotionRecord::X] = 1.0f;
        r[MotionRecord::Y] = 0.25f;
        r[MotionRecord::Z] = 0.0f;
        r[MotionRecord::G] = 0.5f;
        engine.getDeviceById(5)->applyMotion(r);
        monitor = std::make_unique<DataMonitor>();
        monitor->setPeers(&peers);
    }
    void TearDown() override { monitor.reset(); }
    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            engine.distributeAnimationTick();
    }
    // A frame from the band with the same values, then a tick.
    void frameAndTick(int times = 1)
    {
        Orvik* band = engine.getDeviceById(5);
        for (int i = 0; i < times; ++i) {
            band->applyMotion(band->getRecord());
            tick();
        }
    }

    StateManager state;
    MotionControlEngine engine{state};
    EngineItemPeers peers{engine, state};
    std::unique_ptr<DataMonitor> monitor;
};

} // namespace

TEST_F(DataMonitorItem, FreezesWhileDisconnectedOrWithoutAFocusedDevice)
{
    QSignalSpy alpha(monitor.get(), &DataMonitor::alphaChanged);
    state.setFocusedDevice(0);
    tick();
    state.setConnectionState(true);
    state.setFocusedDevice(-1);
    tick();
    state.setFocusedDevice(3);
    tick();
    EXPECT_EQ(alpha.count(), 0);
    EXPECT_FLOAT_EQ(monitor->alpha(), 0.2f);
    EXPECT_EQ(monitor->history().front(), 0.0f);
}

TEST_F(DataMonitorItem, SamplesTheChosenValueOfTheFocusedDevice)
{
    state.setConnectionState(true);
    state.setFocusedDevice(0);
    QSignalSpy alpha(monitor.get(), &DataMonitor::alphaChanged);
    monitor->setSourceType(0);
    tick();
    EXPECT_FLOAT_EQ(monitor->alpha(), 0.8f) << "a sample of 1";
    monitor->setSourceType(3);
    frameAndTick();
    EXPECT_FLOAT_EQ(monitor->history()[0], 0.5f);
    EXPECT_FLOAT_EQ(monitor->history()[1], 1.0f);
    monitor->setSourceType(4);
    frameAndTick();
    EXPECT_FLOAT_EQ(monitor->history()[0], 0.0f);
    EXPECT_FLOAT_EQ(monitor->alpha(), 0.3f);
    EXPECT_EQ(alpha.count(), 3);
    EXPECT_EQ(monitor->history().size(), 64u);

    monitor->setSourceType(1);
    frameAndTick(64);
    for (float s : monitor->history())
        ASSERT_FLOAT_EQ(s, 0.25f);
}

// A band that sends nothing leaves the line where it is: ticks without a new
// frame take no sample, and the next frame is taken once.
TEST_F(DataMonitorItem, StopsScrollingWhileTheBandSendsNothing)
{
    state.setConnectionState(true);
    state.setFocusedDevice(0);
    tick(3);
    EXPECT_FLOAT_EQ(monitor->history()[0], 1.0f);
    EXPECT_FLOAT_EQ(monitor->history()[1], 0.0f) << "one frame, one sample";
    frameAndTick();
    tick(2);
    EXPECT_FLOAT_EQ(monitor->history()[1], 1.0f);
    EXPECT_FLOAT_EQ(monitor->history()[2], 0.0f);
}

TEST_F(DataMonitorItem, WritingTheSameOpacityIsSilent)
{
    QSignalSpy alpha(monitor.get(), &DataMonitor::alphaChanged);
    monitor->setAlpha(0.2f);
    EXPECT_EQ(alpha.count(), 0);
    monitor->setAlpha(0.7f);
    EXPECT_EQ(alpha.count(), 1);
}
