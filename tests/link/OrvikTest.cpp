// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Orvik.h"
#include "app/EngineItemPeers.h"
#include "app/StateManager.h"
#include "engine/MotionControlEngine.h"
#include "ui/OrvikQMLWrapper.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace {

MotionRecord recordOf(float x, float y, float z, float az)
{
    MotionRecord r;
    r[MotionRecord::X] = x;
    r[MotionRecord::Y] = y;
    r[MotionRecord::Z] = z;
    r[MotionRecord::Az] = az;
    return r;
}

} // namespace

TEST(Orvik, StartsWithTheDocumentedValues)
{
    Orvik d(42);
    EXPECT_EQ(d.getUuid(), 42u);
    EXPECT_EQ(d.getKind(), 1);
    EXPECT_EQ(d.getName(), "Orvik");
    EXPECT_EQ(d.getBatteryLevel(), 127);
    EXPECT_FALSE(d.isOnLeft());
    EXPECT_FALSE(d.isActive());
    EXPECT_FALSE(d.isReady());
    const Quaternion q = d.getQuaternion();
    EXPECT_EQ(q.w, 1.0f);
    for (float v : d.getRecord().values)
        EXPECT_EQ(v, 0.0f);
}

TEST(Orvik, DataUpdatedOnlyWhenAControlValueMoves)
{
    Orvik d(1);
    QSignalSpy updated(&d, &Orvik::dataUpdated);
    // The result tells the link whether to hand the frame on to the sources:
    // it must agree with the signal.
    EXPECT_FALSE(d.applyMotion(recordOf(0.003f, 0.0f, 0.0f, -0.004f)));
    EXPECT_EQ(updated.count(), 0) << "within 0.004 of the stored zeros";
    EXPECT_TRUE(d.applyMotion(recordOf(0.5f, 0.5f, 0.5f, 0.5f)));
    EXPECT_EQ(updated.count(), 1);
    EXPECT_FALSE(d.applyMotion(recordOf(0.5f, 0.5f, 0.5f, 0.5f)));
    EXPECT_EQ(updated.count(), 1) << "same values again";
    MotionRecord onlyG = recordOf(0.5f, 0.5f, 0.5f, 0.5f);
    onlyG[MotionRecord::G] = 0.9f;
    EXPECT_TRUE(d.applyMotion(onlyG));
    EXPECT_EQ(updated.count(), 2) << "G alone counts: a wheel can follow it";
    EXPECT_FLOAT_EQ(d.getG(), 0.9f);

    d.setBypassed(true);
    EXPECT_TRUE(d.applyMotion(onlyG));
    EXPECT_TRUE(d.applyMotion(onlyG));
    EXPECT_EQ(updated.count(), 4) << "a bypassed device signals every frame";
}

TEST(Orvik, SlowMovementOfAnyAxisAddsUpUntilItIsSignalled)
{
    // A wrist turning slowly, or shaken a little harder little by little,
    // moves less than the threshold from one frame to the next; the wheels
    // following that axis must still follow it.
    for (const int axis : {MotionRecord::X, MotionRecord::Y, MotionRecord::Z, MotionRecord::G}) {
        Orvik d(1);
        QSignalSpy updated(&d, &Orvik::dataUpdated);
        MotionRecord r = recordOf(0.5f, 0.5f, 0.5f, 0.5f);
        r[MotionRecord::G] = 0.5f;
        d.applyMotion(r);
        ASSERT_EQ(updated.count(), 1);
        for (int i = 0; i < 100; ++i) {
            r[axis] += 0.001f;
            d.applyMotion(r);
        }
        EXPECT_GE(updated.count(), 1 + 20) << "axis " << axis;
        EXPECT_LE(updated.count(), 1 + 25) << "axis " << axis;
        EXPECT_FLOAT_EQ(d.getRecord()[axis], r[axis]);
    }
}

TEST(Orvik, WarmUpEndsOnThe361stFrame)
{
    Orvik d(1);
    for (int i = 0; i < 360; ++i)
        d.applyMotion({});
    EXPECT_FALSE(d.isReady());
    d.applyMotion({});
    EXPECT_TRUE(d.isReady());
    d.applyMotion({});
    EXPECT_TRUE(d.isReady());
}

TEST(Orvik, FlagSettersSignalEveryCall)
{
    Orvik d(1);
    QSignalSpy mute(&d, &Orvik::muteStateChanged);
    QSignalSpy hand(&d, &Orvik::shouldSendHandChange);
    QSignalSpy wear(&d, &Orvik::wearPosStateChanged);
    d.setMuted(false);
    d.setMuted(false);
    EXPECT_EQ(mute.count(), 2);

    d.setOnLeft(true);
    EXPECT_TRUE(d.isOnLeft());
    ASSERT_EQ(hand.count(), 1);
    EXPECT_EQ(hand.at(0).at(0).value<uint64_t>(), 1u);
    EXPECT_TRUE(hand.at(0).at(1).toBool());
    d.setOnLeft(true);
    EXPECT_EQ(hand.count(), 2);
    EXPECT_EQ(wear.count(), 2);

    d.setWearPos(2);
    EXPECT_TRUE(d.isOnLeft());
    d.setWearPos(3);
    EXPECT_FALSE(d.isOnLeft());
}

TEST(Orvik, ResetInitPosClearsReferencesAndTurnOffset)
{
    Orvik d(1);
    d.setInitPos(0.3f, 0.2f, 0.1f);
    MotionRecord r;
    r[MotionRecord::TurnOffset] = 2.0f;
    d.applyMotion(r);
    d.resetInitPos();
    EXPECT_EQ(d.getYawReference(), 0.0f);
    EXPECT_EQ(d.getPitchReference(), 0.0f);
    EXPECT_EQ(d.getRollReference(), 0.0f);
    EXPECT_EQ(d.getTurnOffset(), 0.0f);
}

// The link thread writes records while the GUI thread copies them: a copy
// must always hold one frame, never a mix of two.
TEST(Orvik, ReaderNeverSeesAMixOfTwoFrames)
{
    Orvik d(1);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int frame = 1; frame <= 200000 && !stop; ++frame) {
            MotionRecord r;
            for (float& v : r.values)
                v = float(frame);
            d.applyMotion(r);
        }
        stop = true;
    });
    long mixed = 0;
    long reads = 0;
    while (!stop) {
        const MotionRecord copy = d.getRecord();
        ++reads;
        for (float v : copy.values)
            if (v != copy.values[0])
                ++mixed;
    }
    writer.join();
    EXPECT_EQ(mixed, 0);
    EXPECT_GT(reads, 0);
}

TEST(OrvikQMLWrapper, WithoutADeviceReadsNeutralValuesAndWritesNothing)
{
    StateManager state;
    MotionControlEngine engine(state);
    EngineItemPeers peers(engine, state);
    engine.addNewDevice(10);
    engine.addNewDevice(11);

    OrvikQMLWrapper w;
    w.setPeers(&peers);
    w.setI(3);
    EXPECT_FALSE(w.isActive());
    EXPECT_FALSE(w.isMuted());
    EXPECT_FALSE(w.isOnLeft());
    EXPECT_EQ(w.batteryLevel(), 255);
    EXPECT_EQ(w.name(), "No device");
    EXPECT_EQ(w.uuid(), "");
    EXPECT_EQ(w.getX(), 0.0f);
    EXPECT_EQ(w.getZRef(), 0.0f);
    QSignalSpy muted(&w, &OrvikQMLWrapper::muteStateChanged);
    w.setMuted(true);
    EXPECT_EQ(muted.count(), 0);
    EXPECT_FALSE(engine.getDeviceAt(0)->isMuted());
    EXPECT_FALSE(engine.getDeviceAt(1)->isMuted());

    QSignalSpy index(&w, &OrvikQMLWrapper::indexChanged);
    w.setI(1);
    w.setI(1);
    EXPECT_EQ(index.count(), 1);
    EXPECT_EQ(w.uuid(), "11");
    w.setMuted(true);
    EXPECT_EQ(muted.count(), 1);
    EXPECT_TRUE(engine.getDeviceById(11)->isMuted());
    w.setInitPos(0.25f);
    EXPECT_EQ(engine.getDeviceById(11)->getYawReference(), 0.25f);
    // The Y gate stays within Y's range whatever the window sends.
    QSignalSpy gate(&w, &OrvikQMLWrapper::yGateChanged);
    w.setYGate(1.5f);
    EXPECT_EQ(engine.getDeviceById(11)->getYGate(), 1.0f);
    w.setYGate(std::nanf(""));
    EXPECT_EQ(w.yGate(), 0.0f);
    EXPECT_EQ(gate.count(), 2);
}

TEST(OrvikQMLWrapper, SyncEmitsItsEightSignalsInOrder)
{
    OrvikQMLWrapper w;
    QStringList order;
    QObject::connect(&w, &OrvikQMLWrapper::batteryLevelUpdated, [&](int level) {
        order << "battery";
        EXPECT_EQ(level, 255);
    });
    QObject::connect(&w, &OrvikQMLWrapper::uuidChanged, [&] { order << "uuid"; });
    QObject::connect(&w, &OrvikQMLWrapper::activationStateChanged, [&] { order << "active"; });
    QObject::connect(&w, &OrvikQMLWrapper::wearPosStateChanged, [&] { order << "wear"; });
    QObject::connect(&w, &OrvikQMLWrapper::bypassStateChanged, [&] { order << "bypass"; });
    QObject::connect(&w, &OrvikQMLWrapper::soloStateChanged, [&] { order << "solo"; });
    QObject::connect(&w, &OrvikQMLWrapper::muteStateChanged, [&] { order << "mute"; });
    QObject::connect(&w, &OrvikQMLWrapper::nameChanged, [&] { order << "name"; });
    w.sync();
    EXPECT_EQ(order,
              (QStringList{"battery", "uuid", "active", "wear", "bypass", "solo", "mute", "name"}));
}
