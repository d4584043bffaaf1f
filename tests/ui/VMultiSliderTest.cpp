// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/VMultiSlider.h"
#include "app/EngineItemPeers.h"
#include "app/StateManager.h"
#include "engine/ContinuousControlSource.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"

#include <QSGGeometryNode>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

// Reaches the scene-graph hook without a window.
class PaintableSlider : public VMultiSlider
{
public:
    QSGNode* paint(QSGNode* old) { return updatePaintNode(old, nullptr); }
};

class SliderItem : public ::testing::Test
{
protected:
    void SetUp() override
    {
        slider.setPeers(&peers);
        engine.addNewDevice(100);
        engine.addNewDevice(200);
        engine.addNewCSourceAt(0);
        slider.setIndex(0);
        slider.setSize(QSizeF(80, 80));
    }

    ContinuousControlSource* source() { return engine.getCSourceAt(0); }

    StateManager state;
    MotionControlEngine engine{state};
    EngineItemPeers peers{engine, state};
    PaintableSlider slider;
};

} // namespace

TEST_F(SliderItem, ReadsTheSlotsSourceAndFallsBackWithoutOne)
{
    EXPECT_EQ(slider.name(), "Wheel 1");
    EXPECT_FALSE(slider.isDummy());
    EXPECT_EQ(slider.deviceIndex(), 0);
    source()->setName(QString());
    EXPECT_EQ(slider.name(), "Empty slot");

    PaintableSlider outside;
    outside.setPeers(&peers);
    outside.setIndex(12);
    EXPECT_EQ(outside.name(), "Empty slot");
    EXPECT_TRUE(outside.isDummy());
    EXPECT_EQ(outside.eventNumber(), 1);
    EXPECT_EQ(outside.defaultValue(), -1.0f);
    EXPECT_EQ(outside.deviceIndex(), -1);
    outside.setName("ignored");
    EXPECT_EQ(outside.paint(nullptr), nullptr);
}

TEST_F(SliderItem, DummySlotIsNotTickedAndDrawsNothing)
{
    PaintableSlider empty;
    empty.setPeers(&peers);
    empty.setIndex(5);
    empty.sync();
    EXPECT_TRUE(empty.isDummy());
    EXPECT_FALSE(empty.isTickConnected());
    EXPECT_EQ(empty.paint(nullptr), nullptr);
}

TEST_F(SliderItem, MovingMinOrMaxPullsTheDefaultAlong)
{
    slider.setDefaultValue(20);
    QStringList order;
    QObject::connect(&slider, &VMultiSlider::minChanged,
                     [&](float v) { order << QStringLiteral("min %1").arg(v); });
    QObject::connect(&slider, &VMultiSlider::defaultValueChanged,
                     [&](float v) { order << QStringLiteral("default %1").arg(v); });
    slider.setMin(50);
    EXPECT_EQ(order, (QStringList{"min 50", "default 50"}));
    EXPECT_EQ(slider.min(), 50.0f);
    EXPECT_EQ(slider.defaultValue(), 50.0f);

    slider.setDefaultValue(100);
    slider.setMax(60);
    EXPECT_EQ(slider.max(), 60.0f);
    EXPECT_EQ(slider.defaultValue(), 60.0f);

    slider.setDefaultValue(-1);
    slider.setMin(55);
    EXPECT_EQ(slider.defaultValue(), -1.0f) << "a default that is off stays off";
}

TEST_F(SliderItem, SensitivityFloorIsReportedAsAskedButStoredAtTheFloor)
{
    QSignalSpy sensitivity(&slider, &VMultiSlider::sensitivityChanged);
    slider.setSensivitiy(0);
    ASSERT_EQ(sensitivity.count(), 1);
    EXPECT_EQ(sensitivity.at(0).at(0).toFloat(), 0.0f);
    EXPECT_FLOAT_EQ(slider.sensitivity(), 0.1f);
}

TEST_F(SliderItem, DeviceChoiceByPosition)
{
    slider.setDevice(1);
    EXPECT_EQ(source()->getDeviceId(), 200u);
    EXPECT_TRUE(slider.isMyDevice(1));
    EXPECT_FALSE(slider.isMyDevice(0));
    QSignalSpy device(&slider, &VMultiSlider::deviceChanged);
    slider.setDevice(7);
    EXPECT_EQ(device.count(), 0);
    EXPECT_EQ(source()->getDeviceId(), 200u);
}

TEST_F(SliderItem, SyncAnnouncesEveryPropertyAndConnectsTheTickOnce)
{
    QSignalSpy name(&slider, &VMultiSlider::nameChanged);
    QSignalSpy defaults(&slider, &VMultiSlider::defaultValueChanged);
    QSignalSpy sensitivity(&slider, &VMultiSlider::sensitivityChanged);
    slider.sync();
    slider.sync();
    EXPECT_EQ(name.count(), 2);
    EXPECT_EQ(defaults.count(), 2);
    EXPECT_EQ(sensitivity.count(), 0);
    EXPECT_TRUE(slider.isTickConnected());

    slider.setDevice(1);
    engine.distributeAnimationTick();
    EXPECT_EQ(slider.mirroredColour(), QColor("#ffd700"));

    // Emptying the slot and syncing drops the one connection: ticks no
    // longer reach the item.
    engine.removeCSourceAt(0);
    slider.sync();
    EXPECT_FALSE(slider.isTickConnected());
    engine.addNewCSourceAt(0);
    engine.getCSourceAt(0)->setDevice(100, true);
    engine.distributeAnimationTick();
    EXPECT_EQ(slider.mirroredColour(), QColor("#ffd700")) << "no tick without sync";
}

TEST_F(SliderItem, DrawsThePointRingOnceAllocated)
{
    slider.sync();
    engine.distributeAnimationTick();
    QSGNode* node = slider.paint(nullptr);
    ASSERT_NE(node, nullptr);
    auto* geometryNode = static_cast<QSGGeometryNode*>(node);
    QSGGeometry* geometry = geometryNode->geometry();
    EXPECT_EQ(geometry->vertexCount(), 258);
    EXPECT_EQ(geometry->drawingMode(), QSGGeometry::DrawPoints);
    const void* storage = geometry->vertexData();
    EXPECT_EQ(slider.paint(node), node);
    EXPECT_EQ(geometry->vertexData(), storage) << "refilled in place";
    delete node;
}

// A slot emptied under a drawing knob (a new patch, a removed wheel), with or
// without a sync: the next tick leaves the animation and the next frame has
// no ring. A wheel that only lost its band stays ticked for its return.
TEST_F(SliderItem, AnEmptiedSlotStopsTickingAndDrawsNoRing)
{
    slider.sync();
    engine.distributeAnimationTick();
    QSGNode* node = slider.paint(nullptr);
    ASSERT_NE(node, nullptr);

    engine.removeCSourceAt(0);
    engine.distributeAnimationTick();
    EXPECT_FALSE(slider.isTickConnected());
    EXPECT_EQ(slider.paint(node), nullptr);
    delete node; // what the scene graph does with a replaced node

    engine.addNewCSourceAt(0);
    slider.sync();
    engine.distributeAnimationTick();
    node = slider.paint(nullptr);
    ASSERT_NE(node, nullptr);
    engine.removeDeviceAt(0);
    engine.removeDeviceAt(0);
    engine.distributeAnimationTick();
    EXPECT_TRUE(slider.isTickConnected());
    EXPECT_EQ(slider.paint(node), nullptr);
    delete node;
}

// The animation tick asks for a frame only when the ring would change: a
// still value, window and gate give no new geometry, a moved one gives one.
TEST_F(SliderItem, AStillWheelAsksForNoFrames)
{
    source()->setDevice(100, true);
    slider.sync();
    for (int i = 0; i < 5; ++i)
        engine.distributeAnimationTick();
    EXPECT_EQ(slider.repaintsAsked(), 1);
    slider.setLowerbound(20.0f);
    engine.distributeAnimationTick();
    engine.distributeAnimationTick();
    EXPECT_EQ(slider.repaintsAsked(), 2);
    MotionRecord r;
    r[MotionRecord::X] = 0.9f;
    if (engine.getDeviceById(100)->applyMotion(r))
        engine.deliverMotion(*engine.getDeviceById(100), r);
    engine.distributeAnimationTick();
    engine.distributeAnimationTick();
    EXPECT_EQ(slider.repaintsAsked(), 3) << "the value moved";
}
