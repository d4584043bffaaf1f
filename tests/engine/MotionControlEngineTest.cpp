// SPDX-License-Identifier: GPL-3.0-or-later
#include "EngineTestSupport.h"

#include "engine/ControlMapping.h"
#include "support/SignalWait.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

using enginetest::recordWith;

namespace {

class EngineTest : public enginetest::EngineFixture
{
protected:
    ContinuousControlSource* live(int slot, uint64_t device)
    {
        ContinuousControlSource* source = engine.getCSourceAt(slot);
        source->setDummy(false);
        source->setDevice(device, true);
        return source;
    }
};

} // namespace

TEST_F(EngineTest, FreshEngineHasTwelveEmptySlotsAndNoDevice)
{
    EXPECT_EQ(engine.getNumOfCSources(), 12);
    EXPECT_EQ(engine.getNumOfDevice(), 0);
    EXPECT_EQ(engine.getDeviceNameAt(0), QStringLiteral("No device"));
    EXPECT_EQ(engine.getCSourceAt(12), nullptr);
    EXPECT_EQ(engine.getCSourceAt(-1), nullptr);
    for (int i = 0; i < 12; ++i) {
        ASSERT_NE(engine.getCSourceAt(i), nullptr);
        EXPECT_TRUE(engine.getCSourceAt(i)->isDummy());
        EXPECT_EQ(engine.getCSourceAt(i)->getIndex(), i);
    }
}

TEST_F(EngineTest, NewSourcesAreNamedAndNumberedBySlot)
{
    QSignalSpy added(&engine, &MotionControlEngine::newCSourceAddedAt);
    engine.addNewCSourceAt(0);
    ContinuousControlSource* first = engine.getCSourceAt(0);
    EXPECT_EQ(first->getName(), QStringLiteral("Wheel 1"));
    EXPECT_EQ(first->getEventNumber(), 1);
    EXPECT_FALSE(first->isDummy());
    ASSERT_EQ(added.count(), 1);
    EXPECT_EQ(added.at(0).at(0).toInt(), 0);

    engine.addNewCSourceAt(1);
    EXPECT_EQ(engine.getCSourceAt(1)->getName(), QStringLiteral("Wheel 2"));
    EXPECT_EQ(engine.getCSourceAt(1)->getEventNumber(), 2);

    engine.addNewCSourceAt(11, false);
    EXPECT_EQ(engine.getCSourceAt(11)->getName(), QStringLiteral("Wheel 12"));
    EXPECT_EQ(engine.getCSourceAt(11)->getEventNumber(), 12);
    EXPECT_EQ(added.count(), 2);

    engine.addNewCSourceAt(12);
    engine.addNewCSourceAt(-1);
    EXPECT_EQ(added.count(), 2);
}

TEST_F(EngineTest, NewSourceSkipsEventNumbersInUseOnItsChannel)
{
    engine.addNewCSourceAt(0);
    engine.getCSourceAt(0)->setEventNumber(2);
    engine.addNewCSourceAt(1);
    EXPECT_EQ(engine.getCSourceAt(1)->getEventNumber(), 3);

    // Another channel does not count.
    engine.getCSourceAt(2)->setChannel(5);
    engine.addNewCSourceAt(2);
    EXPECT_EQ(engine.getCSourceAt(2)->getEventNumber(), 3);
    // Nor does an empty slot.
    engine.getCSourceAt(4)->setEventNumber(4);
    engine.addNewCSourceAt(3);
    EXPECT_EQ(engine.getCSourceAt(3)->getEventNumber(), 4);
    // A live slot made live again counts its own number.
    engine.addNewCSourceAt(3);
    EXPECT_EQ(engine.getCSourceAt(3)->getEventNumber(), 5);
}

TEST_F(EngineTest, NewSourceFollowsTheFirstDevice)
{
    engine.addNewCSourceAt(0);
    EXPECT_EQ(engine.getCSourceAt(0)->getDeviceId(), 0u);

    Orvik* second = addDevice(0x22);
    Orvik* first = addDevice(0x11);
    engine.swapDevices(0, 1);
    ASSERT_EQ(engine.getDeviceAt(0), first);
    engine.addNewCSourceAt(1);
    ContinuousControlSource* source = engine.getCSourceAt(1);
    EXPECT_EQ(source->getDeviceId(), 0x11u);
    EXPECT_TRUE(source->isConnectedToDevice());
    (void)second;

    // It is connected: motion of the device reaches it.
    push(first, recordWith(0.75f, 0.5f));
    EXPECT_FLOAT_EQ(source->getValue(), 95.25f);
}

TEST_F(EngineTest, EventNumberExistedLooksAtLiveSourcesOnly)
{
    EXPECT_FALSE(engine.eventNumberExisted(1, 0)); // the empty slots hold 1
    engine.addNewCSourceAt(4);
    EXPECT_TRUE(engine.eventNumberExisted(5, 0));
    EXPECT_FALSE(engine.eventNumberExisted(5, 1));
    engine.getCSourceAt(4)->setChannel(1);
    EXPECT_TRUE(engine.eventNumberExisted(5, 1));
}

// Emptying a slot leaves no source focused: the engine says so with
// sourceSlotCleared, whether or not cSourceRemoved is signalled.
TEST_F(EngineTest, RemovingASourceResetsItAndClearsTheFocus)
{
    engine.addNewCSourceAt(3);
    QSignalSpy removed(&engine, &MotionControlEngine::cSourceRemoved);
    QSignalSpy cleared(&engine, &MotionControlEngine::sourceSlotCleared);
    QSignalSpy reset(engine.getCSourceAt(3), &ControlSourceBase::sourceReset);

    engine.removeCSourceAt(3, false);
    EXPECT_TRUE(engine.getCSourceAt(3)->isDummy());
    EXPECT_EQ(engine.getCSourceAt(3)->getIndex(), 3);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(removed.count(), 0);
    ASSERT_EQ(cleared.count(), 1);
    EXPECT_EQ(cleared.at(0).at(0).toInt(), 3);

    engine.addNewCSourceAt(3);
    engine.removeCSourceAt(3);
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.at(0).at(0).toInt(), 3);
    EXPECT_EQ(cleared.count(), 2);

    engine.removeCSourceAt(12);
    engine.removeCSourceAt(-1);
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(cleared.count(), 2);
}

TEST_F(EngineTest, SwappingSourcesExchangesTheObjects)
{
    engine.addNewCSourceAt(0);
    ContinuousControlSource* a = engine.getCSourceAt(0);
    ContinuousControlSource* b = engine.getCSourceAt(5);
    QSignalSpy swapped(&engine, &MotionControlEngine::cSourceSwapped);

    engine.swapCSources(0, 5);
    EXPECT_EQ(engine.getCSourceAt(0), b);
    EXPECT_EQ(engine.getCSourceAt(5), a);
    // Each source carries its new slot, so a saved patch keeps the order.
    EXPECT_EQ(a->getIndex(), 5);
    EXPECT_EQ(b->getIndex(), 0);
    ASSERT_EQ(swapped.count(), 1);
    EXPECT_EQ(swapped.at(0).at(0).toInt(), 0);
    EXPECT_EQ(swapped.at(0).at(1).toInt(), 5);

    engine.swapCSources(0, 12);
    engine.swapCSources(-1, 3);
    EXPECT_EQ(swapped.count(), 1);
    EXPECT_EQ(engine.getCSourceAt(0), b);
}

TEST_F(EngineTest, LoadingASourceCopiesIntoTheSlotOfItsIndex)
{
    addDevice(0x11);
    ContinuousControlSource loaded;
    loaded.setIndex(6);
    loaded.setDummy(false);
    loaded.setName(QStringLiteral("Reach"));
    loaded.setEventNumber(20);
    loaded.setDevice(0x11, false);

    engine.loadCSource(&loaded);
    ContinuousControlSource* slot = engine.getCSourceAt(6);
    EXPECT_NE(slot, &loaded);
    EXPECT_EQ(slot->getName(), QStringLiteral("Reach"));
    EXPECT_EQ(slot->getEventNumber(), 20);
    EXPECT_EQ(slot->getId(), loaded.getId());
    EXPECT_TRUE(slot->isConnectedToDevice());

    loaded.setIndex(12);
    loaded.setName(QStringLiteral("Nowhere"));
    engine.loadCSource(&loaded);
    engine.loadCSource(nullptr);
    for (int i = 0; i < 12; ++i)
        EXPECT_NE(engine.getCSourceAt(i)->getName(), QStringLiteral("Nowhere"));
}

TEST_F(EngineTest, RemovingADeviceKeepsPositionsContiguous)
{
    addDevice(0x11, false);
    addDevice(0x22, false);
    addDevice(0x33, false);
    QSignalSpy removed(&engine, &MotionControlEngine::deviceRemoved);
    QSignalSpy count(&engine, &MotionControlEngine::numOfDeviceChanged);

    engine.removeDeviceAt(0);
    EXPECT_EQ(engine.getNumOfDevice(), 2);
    EXPECT_EQ(engine.getDeviceAt(0)->getUuid(), 0x22u);
    EXPECT_EQ(engine.getDeviceAt(1)->getUuid(), 0x33u);
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.at(0).at(0).value<uint64_t>(), 0x11u);
    EXPECT_EQ(removed.at(0).at(1).toInt(), 0);
    ASSERT_EQ(count.count(), 1);
    EXPECT_EQ(count.at(0).at(0).toInt(), 2);

    engine.removeDeviceAt(5);
    engine.removeDevice(0x99);
    EXPECT_EQ(removed.count(), 1);
}

TEST_F(EngineTest, InvalidDeviceSwapDoesNothing)
{
    addDevice(0x11, false);
    addDevice(0x22, false);
    QSignalSpy swapped(&engine, &MotionControlEngine::deviceSwapped);
    engine.swapDevices(0, 5);
    EXPECT_EQ(swapped.count(), 0);
    EXPECT_EQ(engine.getDeviceAt(0)->getUuid(), 0x11u);
    EXPECT_EQ(engine.getDeviceAt(1)->getUuid(), 0x22u);
}

TEST_F(EngineTest, SourcesOfARemovedDeviceFallSilent)
{
    Orvik* device = addDevice(0x11);
    ContinuousControlSource* source = live(0, 0x11);
    push(device, recordWith(0.75f, 0.5f));
    midi->flushBuffer();

    engine.removeDevice(0x11);
    EXPECT_EQ(source->getDeviceId(), 0x11u);
    EXPECT_EQ(source->getDevice(), nullptr);
    EXPECT_FALSE(source->isConnectedToDevice());
    source->valueReceived(nullptr);
    EXPECT_TRUE(midi->pendingMessages().empty());
}

TEST_F(EngineTest, ReplacingADeviceRebindsItsSources)
{
    Orvik* old = addDevice(0x11);
    ContinuousControlSource* source = live(0, 0x11);
    QPointer<Orvik> watch(old);

    auto* replacement = new Orvik(0x11);
    replacement->setIndex(0);
    engine.insertDevice(replacement);
    EXPECT_TRUE(watch.isNull());
    EXPECT_EQ(engine.getNumOfDevice(), 1);
    EXPECT_EQ(engine.getDeviceById(0x11), replacement);
    EXPECT_TRUE(source->isConnectedToDevice());

    warmUp(replacement);
    midi->flushBuffer();
    push(replacement, recordWith(0.25f, 0.5f));
    EXPECT_FLOAT_EQ(source->getValue(), 31.75f);
}

TEST_F(EngineTest, InsertingADeviceConnectsTheSourcesWaitingForIt)
{
    ContinuousControlSource* source = live(2, 0x44);
    EXPECT_FALSE(source->isConnectedToDevice());
    addDevice(0x44, false);
    EXPECT_TRUE(source->isConnectedToDevice());
}

TEST_F(EngineTest, MuteDisablesExactlyTheDeviceSourcesAndRestoresThem)
{
    Orvik* a = addDevice(0x11, false);
    addDevice(0x22, false);
    ContinuousControlSource* a1 = live(0, 0x11);
    ContinuousControlSource* a2 = live(1, 0x11);
    ContinuousControlSource* b1 = live(2, 0x22);
    a2->setEnabled(false); // the user switched this one off before
    QSignalSpy changed(&engine, &MotionControlEngine::deviceEnablementChanged);

    a->setMuted(true);
    EXPECT_FALSE(a1->isEnabled());
    EXPECT_FALSE(a2->isEnabled());
    EXPECT_TRUE(b1->isEnabled());
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<Orvik*>(), a);

    a->setMuted(false);
    EXPECT_TRUE(a1->isEnabled());
    EXPECT_FALSE(a2->isEnabled());
    EXPECT_TRUE(b1->isEnabled());
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(EngineTest, SoloEnablesOnlyTheDeviceAndUnsoloRestoresItsSources)
{
    Orvik* a = addDevice(0x11, false);
    addDevice(0x22, false);
    ContinuousControlSource* a1 = live(0, 0x11);
    ContinuousControlSource* a2 = live(1, 0x11);
    ContinuousControlSource* b1 = live(2, 0x22);
    a2->setEnabled(false);

    a->setSoloed(true);
    EXPECT_TRUE(a1->isEnabled());
    EXPECT_TRUE(a2->isEnabled());
    EXPECT_FALSE(b1->isEnabled());

    a->setSoloed(false);
    EXPECT_TRUE(a1->isEnabled());
    EXPECT_FALSE(a2->isEnabled()); // back to before the solo
    EXPECT_FALSE(b1->isEnabled()); // keeps what the solo gave it
}

TEST_F(EngineTest, MuteOfAnUnknownDeviceIsIgnored)
{
    QSignalSpy changed(&engine, &MotionControlEngine::deviceEnablementChanged);
    Orvik stranger(0x77);
    engine.handleDeviceMute(&stranger);
    engine.handleDeviceSolo(nullptr);
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(EngineTest, RefreshGivesOrphanSourcesTheFirstDevice)
{
    ContinuousControlSource* orphan = live(0, 0x99);
    ContinuousControlSource* bound = live(1, 0x22);
    addDevice(0x11, false);
    addDevice(0x22, false);
    bound->disconnectFromDevice();

    engine.refreshCs();
    EXPECT_EQ(orphan->getDeviceId(), 0x11u);
    EXPECT_TRUE(orphan->isConnectedToDevice());
    EXPECT_EQ(bound->getDeviceId(), 0x22u);
    EXPECT_TRUE(bound->isConnectedToDevice());
}

TEST_F(EngineTest, AnimationTickRunsOnlyWhileFramesArrive)
{
    Orvik* device = addDevice(0x31);
    std::atomic<int> ticks{0};
    QObject::connect(&engine, &MotionControlEngine::animationTick, [&ticks] { ++ticks; });
    const auto quietFor = [&](int ms) {
        const int before = ticks;
        testsupport::waitUntil([] { return false; }, ms);
        return ticks == before;
    };
    // Nothing moves: no tick.
    ASSERT_TRUE(testsupport::waitUntil([&] { return !engine.isAnimating(); }, 2000));
    EXPECT_TRUE(quietFor(150));

    // Frames from the link's thread, some arriving just as the tick is
    // about to stop (kAnimationIdleTicks ticks after the last frame): each
    // one is followed by a tick, and the tick stops after the last.
    std::atomic<int> delivered{0};
    std::atomic<int> tickedAfter{0};
    std::atomic<bool> lost{false};
    std::thread link([&] {
        const int idleMs =
            MotionControlEngine::kAnimationIdleTicks * MotionControlEngine::kAnimationIntervalMs;
        for (int i = 0; i < 16 && !lost; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(idleMs - 24 + 3 * i));
            const int seen = ticks;
            push(device, recordWith(0.01f * float(i), 0.5f));
            ++delivered;
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (ticks <= seen + 1 && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (ticks <= seen + 1)
                lost = true;
            else
                ++tickedAfter;
        }
    });
    testsupport::waitUntil([&] { return delivered == 16 || lost; }, 20000);
    testsupport::waitUntil([&] { return tickedAfter == delivered || lost; }, 3000);
    link.join();
    EXPECT_FALSE(lost) << "a frame found the animation tick asleep and did not wake it";
    EXPECT_EQ(tickedAfter.load(), 16);
    ASSERT_TRUE(testsupport::waitUntil([&] { return !engine.isAnimating(); }, 2000));
    EXPECT_TRUE(quietFor(150));

    // A change made on the GUI thread without a frame wakes it too.
    const int before = ticks;
    engine.getCSourceAt(3)->setDummy(false);
    EXPECT_TRUE(testsupport::waitUntil([&] { return ticks > before; }, 2000));
}

TEST_F(EngineTest, DeviceAddedFromAnotherThreadEndsUpOnTheGuiThread)
{
    ContinuousControlSource* source = live(0, 0x55);
    QSignalSpy added(&engine, &MotionControlEngine::newDeviceAdded);
    std::unique_ptr<QThread> link(QThread::create([this] { engine.addNewDevice(0x55); }));
    link->start();
    ASSERT_TRUE(link->wait(5000));
    ASSERT_TRUE(testsupport::waitUntil([&] { return added.count() == 1; }, 5000));
    Orvik* device = engine.getDeviceById(0x55);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->thread(), QThread::currentThread());
    EXPECT_TRUE(source->isConnectedToDevice());
}

TEST_F(EngineTest, DevicesComeAndGoWhileTheLinkAppliesFrames)
{
    // The link thread applies frames to whatever bands exist and reports
    // missing ones again, while this thread removes bands and processes the
    // queued frames. No source may follow a band being destroyed, and the
    // positions must stay contiguous.
    const uint64_t ids[] = {0x11, 0x22, 0x33};
    for (uint64_t id : ids)
        addDevice(id);
    for (int slot = 0; slot < 3; ++slot)
        live(slot, ids[slot])->setAxis(ControlMapping::AxisY);

    std::atomic<bool> stop{false};
    std::atomic<int> applied{0};
    std::unique_ptr<QThread> link(QThread::create([&] {
        int i = 0;
        while (!stop.load()) {
            for (uint64_t id : ids) {
                if (const std::shared_ptr<Orvik> band = engine.deviceRefById(id)) {
                    push(band.get(), recordWith(0.5f, (i % 2) ? 0.2f : 0.8f));
                    applied.fetch_add(1);
                } else {
                    engine.addNewDevice(id);
                }
            }
            ++i;
            QThread::usleep(50);
        }
    }));
    link->start();

    QElapsedTimer clock;
    clock.start();
    int round = 0;
    while (clock.elapsed() < 1500 || applied.load() < 1000) {
        if (round % 3 == 0)
            engine.removeDevice(ids[round % 3]);
        else
            engine.removeDeviceAt(round % 2);
        for (int k = 0; k < 5; ++k)
            QCoreApplication::processEvents();
        // Frames are handled on the link thread, so nothing slows this loop
        // down: leave the link the time to bring bands back and play them.
        QThread::usleep(200);
        ++round;
        ASSERT_LT(clock.elapsed(), 60000);
    }
    stop = true;
    ASSERT_TRUE(link->wait(10000));
    for (int k = 0; k < 20; ++k)
        QCoreApplication::processEvents();

    std::set<int> positions;
    for (uint64_t id : ids)
        if (Orvik* band = engine.getDeviceById(id))
            positions.insert(band->getIndex());
    ASSERT_EQ(int(positions.size()), engine.getNumOfDevice());
    int expected = 0;
    for (int position : positions)
        EXPECT_EQ(position, expected++);
}

TEST_F(EngineTest, TheLiveValueIsNeverSeenHalfMapped)
{
    // A sensitive source whose shaped value runs far outside 0-127 before
    // the window maps it back: what the knobs and the OSC tick read on this
    // thread, while the link thread streams, is always a finished value.
    Orvik* band = addDevice(0x11);
    ContinuousControlSource* source = live(0, 0x11);
    source->setAxis(ControlMapping::AxisY);
    source->setSensitivity(4.0f);
    ContinuousControlSource* bend = live(1, 0x11);
    bend->setAxis(ControlMapping::AxisY);
    bend->setSensitivity(4.0f);
    bend->setEventNumber(uint8_t(ControlMapping::kPitchBendEvent));

    std::atomic<bool> stop{false};
    std::atomic<int> frames{0};
    std::thread link([&] {
        for (int i = 0; !stop.load(); ++i) {
            push(band, recordWith(0.5f, (i % 2) ? 0.0f : 1.0f));
            frames.fetch_add(1);
        }
    });
    int outside = 0;
    float first = 0.0f;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 300 || frames.load() < 10000) {
        for (const ContinuousControlSource* s : {source, bend}) {
            const float v = s->getValue();
            if (v < 0.0f || v > ControlMapping::kScale) {
                if (outside++ == 0)
                    first = v;
            }
        }
        if (clock.elapsed() > 20000)
            break;
    }
    stop = true;
    link.join();
    midi->flushBuffer();
    EXPECT_GE(frames.load(), 10000);
    EXPECT_EQ(outside, 0) << "first value outside 0-127: " << first;
}
