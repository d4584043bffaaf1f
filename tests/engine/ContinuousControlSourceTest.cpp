// SPDX-License-Identifier: GPL-3.0-or-later
#include "EngineTestSupport.h"

#include "engine/ContinuousControlSource.h"
#include "engine/ControlMapping.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <random>

using enginetest::bytesOf;
using enginetest::recordWith;

namespace {

constexpr uint64_t kDevice = 0xA1;

// One live source on a ready device. The source is bound to the device but
// not connected, so each test hands it exactly the frames it wants.
class SourceTest : public enginetest::EngineFixture
{
protected:
    void SetUp() override
    {
        device = addDevice(kDevice);
        source = engine.getCSourceAt(0);
        source->setDummy(false);
        source->setDevice(kDevice, false);
        source->setAxis(ControlMapping::AxisY);
    }

    // The link's hand-over of the frame (which reaches the source only when
    // it follows the device), then the source processes the device's
    // record.
    void frame(const MotionRecord& record)
    {
        push(device, record);
        source->valueReceived(device);
    }
    void frameY(float y) { frame(recordWith(0.5f, y)); }

    Orvik* device = nullptr;
    ContinuousControlSource* source = nullptr;
};

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

} // namespace

TEST_F(SourceTest, WorkedExampleSendsTheController)
{
    frameY(0.75f);
    EXPECT_FLOAT_EQ(source->getValue(), 95.25f);
    EXPECT_TRUE(source->isGateOpen());
    EXPECT_EQ(pending(), hex("B0015F"));
    EXPECT_FLOAT_EQ(source->getLastValue(), 95.25f);
}

TEST_F(SourceTest, HighResolutionSendsTheControllerPair)
{
    state.setHiResMidiState(true);
    frameY(0.75f);
    EXPECT_EQ(pending(), hex("B0015F B02120"));
}

TEST_F(SourceTest, SensitivityAndReverseShapeTheValue)
{
    source->setSensitivity(2.0f);
    frameY(0.75f);
    EXPECT_FLOAT_EQ(source->getValue(), 127.0f);
    EXPECT_EQ(pending(), hex("B0017F"));

    source->reset();
    source->setDummy(false);
    source->setDevice(kDevice, false);
    source->setAxis(ControlMapping::AxisY);
    source->setReversed(true);
    midi->flushBuffer();
    frameY(0.75f);
    EXPECT_FLOAT_EQ(source->getValue(), 31.75f);
    EXPECT_EQ(pending(), hex("B0011F"));
}

TEST_F(SourceTest, HighResolutionOnlyBelowController32)
{
    state.setHiResMidiState(true);
    source->setEventNumber(31);
    frameY(1.0f);
    // Out 127: MSB 127, LSB 0 on 31 + 32.
    EXPECT_EQ(pending(), hex("B01F7F B03F00"));

    midi->flushBuffer();
    source->setEventNumber(32);
    frameY(0.5f);
    EXPECT_EQ(pending(), hex("B0203F"));
}

TEST_F(SourceTest, OutputRangeScalesTheController)
{
    source->setMin(20.0f);
    source->setMax(40.0f);
    frameY(0.5f); // value 63.5 -> out 30
    EXPECT_EQ(pending(), hex("B0011E"));
}

TEST_F(SourceTest, PitchBendFollowsTheCurve)
{
    source->setEventNumber(200);
    frameY(0.5f); // value 63.5 -> wheel 8191
    EXPECT_EQ(pending(), hex("E07F3F"));
    EXPECT_NEAR(source->getValue(), 63.5f, 1e-3f);
    // The reference is the value as the curve rewrote it.
    EXPECT_FLOAT_EQ(source->getLastValue(), source->getValue());

    midi->flushBuffer();
    frameY(1.0f);
    EXPECT_EQ(pending(), hex("E07F7F"));
    midi->flushBuffer();
    frameY(0.0f);
    EXPECT_EQ(pending(), hex("E00000"));
}

TEST_F(SourceTest, AftertouchSendsChannelPressure)
{
    source->setEventNumber(201);
    frameY(0.75f);
    EXPECT_EQ(pending(), hex("D05F"));
}

TEST_F(SourceTest, ChannelsAboveFifteenSendOnSixteen)
{
    source->setChannel(15);
    frameY(0.75f);
    EXPECT_EQ(pending(), hex("BF015F"));
    midi->flushBuffer();
    source->setChannel(40);
    frameY(0.25f);
    EXPECT_EQ(pending(), hex("BF011F"));
}

TEST_F(SourceTest, NothingIsQueuedDuringTheWarmUp)
{
    engine.addNewDevice(0xB2);
    Orvik* cold = engine.getDeviceById(0xB2);
    source->setDevice(0xB2, false);
    source->setGated(true);
    source->setLowerbound(0.0f);
    source->setUpperbound(100.0f);
    for (int i = 0; i < Orvik::kWarmUpFrames; ++i) {
        const float y = (i % 2) ? 0.9f : 0.3f;
        push(cold, recordWith(0.5f, y));
        source->valueReceived(cold);
        ASSERT_EQ(source->isGateOpen(), y < 0.5f) << i;
    }
    ASSERT_FALSE(cold->isReady());
    EXPECT_FLOAT_EQ(source->getLastValue(), 0.3f * 127.0f * 127.0f / 100.0f);
    EXPECT_TRUE(pending().isEmpty());

    // The 361st frame makes the device ready: from then on values go out.
    push(cold, recordWith(0.5f, 0.4f));
    source->valueReceived(cold);
    EXPECT_FALSE(pending().isEmpty());
}

TEST_F(SourceTest, FirstOpenFramePassesTheChangeTestForZero)
{
    frameY(0.0f);
    EXPECT_EQ(pending(), hex("B00100"));
}

TEST_F(SourceTest, SlowDriftIsNeverSent)
{
    frameY(0.5f);
    midi->flushBuffer();
    // 0.0007 of Y is about 0.09 on the scale per frame.
    for (int i = 1; i <= 100; ++i)
        frameY(0.5f + 0.0007f * float(i));
    EXPECT_GT(source->getValue(), 70.0f);
    EXPECT_TRUE(pending().isEmpty());
}

TEST_F(SourceTest, ClosedGateWithoutDefaultHoldsStill)
{
    source->setGated(true);
    source->setUpperbound(100.0f);
    frameY(0.5f);
    midi->flushBuffer();
    const float last = source->getValue();
    for (int i = 0; i < 5; ++i)
        frameY(0.95f);
    EXPECT_FALSE(source->isGateOpen());
    EXPECT_FLOAT_EQ(source->getValue(), last);
    EXPECT_EQ(source->getRampStep(), 0);
    EXPECT_TRUE(pending().isEmpty());
}

TEST_F(SourceTest, ClosedGateGlidesToTheDefaultInTenSteps)
{
    source->setDefaultValue(0.0f);
    device->setYGate(0.3f);
    source->setAxis(ControlMapping::AxisX);
    frame(recordWith(100.0f / 127.0f, 0.9f));
    EXPECT_NEAR(source->getValue(), 100.0f, 1e-3f);
    midi->flushBuffer();

    for (int i = 0; i < 15; ++i)
        frame(recordWith(100.0f / 127.0f, 0.1f));
    EXPECT_FALSE(source->isGateOpen());
    EXPECT_EQ(pending(), hex("B0015A B00150 B00146 B0013C B00132 B00128 B0011E B00114 B0010A "
                             "B00100"));
    EXPECT_FLOAT_EQ(source->getValue(), 0.0f);
    EXPECT_EQ(source->getRampStep(), 15);
    EXPECT_NEAR(source->getLastValue(), 100.0f, 1e-3f);

    // Reopening starts afresh.
    midi->flushBuffer();
    frame(recordWith(0.5f, 0.9f));
    EXPECT_TRUE(source->isGateOpen());
    EXPECT_EQ(source->getRampStep(), 0);
    EXPECT_EQ(pending(), hex("B0013F"));
}

TEST_F(SourceTest, UnknownEventNumberSendsOnlyGlideAndBypassDefaults)
{
    source->setEventNumber(150);
    source->setDefaultValue(64.0f);
    source->setGated(true);
    source->setUpperbound(100.0f);
    frameY(0.25f);
    EXPECT_TRUE(source->isGateOpen());
    EXPECT_TRUE(pending().isEmpty());

    frameY(0.95f); // step 0: the value where the gate closed, not sent
    frameY(0.95f); // step 1
    const QByteArray bytes = pending();
    ASSERT_EQ(bytes.size(), 3);
    EXPECT_EQ(uint8_t(bytes[0]), 0xB0);
    EXPECT_EQ(uint8_t(bytes[1]), 22); // 150 with the top bit cut
}

TEST_F(SourceTest, DeviceYGateClosesEverySourceOfTheDevice)
{
    device->setYGate(0.3f);
    ContinuousControlSource* second = engine.getCSourceAt(1);
    second->setDummy(false);
    second->setDevice(kDevice, false);
    second->setAxis(ControlMapping::AxisZ);

    push(device, recordWith(0.9f, 0.2f, 0.9f));
    source->valueReceived(device);
    second->valueReceived(device);
    EXPECT_FALSE(source->isGateOpen());
    EXPECT_FALSE(second->isGateOpen());
    EXPECT_TRUE(pending().isEmpty());

    push(device, recordWith(0.9f, 0.35f, 0.9f));
    source->valueReceived(device);
    second->valueReceived(device);
    EXPECT_TRUE(source->isGateOpen());
    EXPECT_TRUE(second->isGateOpen());
}

TEST_F(SourceTest, MappingModeSendsNothingButTheLearnMessage)
{
    state.setMappingModeState(true);
    frameY(0.75f);
    EXPECT_FALSE(source->isGateOpen());
    EXPECT_FLOAT_EQ(source->getValue(), 0.0f);
    EXPECT_TRUE(pending().isEmpty());

    source->sendMapping();
    EXPECT_EQ(sentToPort(), hex("B0017F"));
}

TEST_F(SourceTest, LearnMessageInHighResolutionIsFlushedAtOnce)
{
    state.setHiResMidiState(true);
    source->setEventNumber(7);
    source->sendMapping();
    EXPECT_EQ(sentToPort(), hex("B00771 B02714 B00764 B0270A"));
    EXPECT_TRUE(pending().isEmpty());
}

TEST_F(SourceTest, LearnMessagesForPitchBendAndAftertouchAreOfTheirKind)
{
    source->setEventNumber(200);
    source->sendMapping();
    EXPECT_EQ(sentToPort(), hex("E07F7F E00040"));
    backend->clearCaptured();
    source->setEventNumber(201);
    source->sendMapping();
    EXPECT_EQ(sentToPort(), hex("D07F D000"));
}

TEST_F(SourceTest, DisablingFreezesTheValueAndClosesTheGate)
{
    frameY(0.75f);
    midi->flushBuffer();
    source->setEnabled(false);
    frameY(0.25f);
    frameY(0.25f);
    EXPECT_FALSE(source->isGateOpen());
    EXPECT_FLOAT_EQ(source->getValue(), 95.25f);
    EXPECT_TRUE(pending().isEmpty());

    source->setEnabled(true);
    frameY(0.25f);
    EXPECT_EQ(pending(), hex("B0011F"));
}

TEST_F(SourceTest, BypassSendsTheDefaultAtOnce)
{
    source->setDefaultValue(40.0f);
    frameY(0.75f);
    midi->flushBuffer();
    backend->clearCaptured();

    device->setBypassed(true);
    source->deviceBypassStateChanged(device);
    EXPECT_FALSE(source->isGateOpen());
    EXPECT_FLOAT_EQ(source->getValue(), 40.0f);
    EXPECT_EQ(sentToPort(), hex("B00128"));

    // Frames while bypassed are not processed.
    frameY(0.25f);
    EXPECT_TRUE(pending().isEmpty());

    // Leaving bypass: the next frame decides again.
    device->setBypassed(false);
    source->deviceBypassStateChanged(device);
    frameY(0.25f);
    EXPECT_TRUE(source->isGateOpen());
    EXPECT_EQ(pending(), hex("B0011F"));
}

TEST_F(SourceTest, BypassWithoutDefaultOnlyClosesTheGate)
{
    frameY(0.75f);
    midi->flushBuffer();
    backend->clearCaptured();
    device->setBypassed(true);
    source->deviceBypassStateChanged(device);
    EXPECT_FALSE(source->isGateOpen());
    EXPECT_FLOAT_EQ(source->getValue(), 95.25f);
    EXPECT_TRUE(sentToPort().isEmpty());
}

TEST_F(SourceTest, AxisOutsideTheFourFollowsNothing)
{
    frameY(0.75f);
    midi->flushBuffer();
    source->setAxis(7);
    for (int i = 0; i < 50; ++i)
        frameY(i % 2 ? 0.75f : 0.25f);
    EXPECT_FALSE(source->isGateOpen());
    EXPECT_FLOAT_EQ(source->getValue(), 95.25f);
    EXPECT_TRUE(pending().isEmpty());
}

TEST_F(SourceTest, SourceWithoutItsDeviceDoesNothing)
{
    frameY(0.75f);
    midi->flushBuffer();
    backend->clearCaptured();
    engine.removeDevice(kDevice);
    source->valueReceived(nullptr);
    EXPECT_FALSE(source->isGateOpen());
    EXPECT_EQ(source->getDevice(), nullptr);
    source->setDefaultValue(10.0f);
    source->deviceBypassStateChanged(nullptr);
    EXPECT_TRUE(pending().isEmpty());
    EXPECT_TRUE(sentToPort().isEmpty());
}

TEST_F(SourceTest, QueuedFrameOfARemovedDeviceIsNeverFollowed)
{
    // A frame signalled just before the device went away: the pointer in the
    // queued call names a destroyed object and must not be used.
    QMetaObject::invokeMethod(source, "valueReceived", Qt::QueuedConnection, Q_ARG(Orvik*, device));
    QMetaObject::invokeMethod(source, "deviceBypassStateChanged", Qt::QueuedConnection,
                              Q_ARG(Orvik*, device));
    engine.removeDevice(kDevice);
    device = nullptr;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_FALSE(source->isGateOpen());
    EXPECT_TRUE(pending().isEmpty());
}

TEST_F(SourceTest, FrameOfAnotherDeviceIsIgnored)
{
    Orvik* other = addDevice(0xC3);
    push(other, recordWith(0.5f, 0.75f));
    source->valueReceived(other);
    EXPECT_TRUE(pending().isEmpty());
    EXPECT_FLOAT_EQ(source->getValue(), 0.0f);
}

TEST(ContinuousControlSource, FreshSourceIsAnEmptySlotWithDefaults)
{
    ContinuousControlSource source;
    EXPECT_TRUE(source.isDummy());
    EXPECT_TRUE(source.isEnabled());
    EXPECT_FALSE(source.getId().isNull());
    EXPECT_EQ(source.getDeviceId(), 0u);
    EXPECT_EQ(source.getIndex(), -1);
    EXPECT_EQ(source.getEventNumber(), 1);
    EXPECT_FLOAT_EQ(source.getLowerbound(), 0.0f);
    EXPECT_FLOAT_EQ(source.getUpperbound(), 127.0f);
    EXPECT_FLOAT_EQ(source.getDefaultValue(), -1.0f);
    EXPECT_FLOAT_EQ(source.getSensitivity(), 1.0f);
    EXPECT_FLOAT_EQ(source.getLastValue(), -1.0f);
    EXPECT_TRUE(source.isGateOpen());
    EXPECT_EQ(source.getDevice(), nullptr);
    // No engine, no state, no MIDI: nothing happens and nothing breaks.
    source.valueReceived(nullptr);
    source.sendMapping();
    EXPECT_FALSE(source.isGateOpen());
}

TEST(ContinuousControlSource, RangeSettersKeepTheirInvariants)
{
    ContinuousControlSource source;
    source.setMin(130.0f);
    EXPECT_FLOAT_EQ(source.getMin(), 0.0f);
    source.setMax(0.0f);
    EXPECT_FLOAT_EQ(source.getMax(), 127.0f);
    source.setMax(-5.0f);
    EXPECT_FLOAT_EQ(source.getMax(), 127.0f);
    source.setMin(126.0f);
    EXPECT_FLOAT_EQ(source.getMin(), 126.0f);
    source.setMax(126.5f);
    EXPECT_FLOAT_EQ(source.getMax(), 126.5f);
    source.setSensitivity(0.0f);
    EXPECT_FLOAT_EQ(source.getSensitivity(), 0.1f);
    source.setSensitivity(-3.0f);
    EXPECT_FLOAT_EQ(source.getSensitivity(), 0.1f);
    source.setSensitivity(3.0f);
    EXPECT_FLOAT_EQ(source.getSensitivity(), 3.0f);
}

TEST(ContinuousControlSource, SettersSignalAsTheirContractsSay)
{
    ContinuousControlSource source;
    QSignalSpy dummy(&source, &ControlSourceBase::dummyStateChanged);
    QSignalSpy device(&source, &ControlSourceBase::deviceChanged);
    QSignalSpy index(&source, &ControlSourceBase::indexChanged);
    QSignalSpy enabled(&source, &ControlSourceBase::enablementChanged);
    QSignalSpy label(&source, &ControlSourceBase::labelChanged);
    QSignalSpy channel(&source, &ControlSourceBase::channelNumberChanged);
    QSignalSpy type(&source, &ControlSourceBase::eventTypeChanged);
    QSignalSpy number(&source, &ControlSourceBase::eventNumberChanged);
    QSignalSpy hardware(&source, &ControlSourceBase::hardwareOutputStateChanged);

    source.setDummy(true);
    source.setDummy(false);
    source.setDevice(5, false);
    source.setDevice(5, false);
    source.setIndex(-1);
    source.setIndex(3);
    source.setChannel(0);
    source.setChannel(2);
    source.setCcOrNote(true);
    source.setCcOrNote(false);
    source.setEventNumber(1);
    source.setEventNumber(9);
    source.setHardwareOutput(true);
    source.setHardwareOutput(false);
    source.setName(QStringLiteral("Lift"));
    source.setName(QStringLiteral("Lift"));

    EXPECT_EQ(dummy.count(), 1);
    EXPECT_EQ(device.count(), 2); // every call
    EXPECT_EQ(index.count(), 1);
    EXPECT_EQ(channel.count(), 1);
    EXPECT_EQ(type.count(), 1);
    EXPECT_EQ(number.count(), 1);
    EXPECT_EQ(hardware.count(), 1);
    EXPECT_EQ(label.count(), 1);
    EXPECT_EQ(enabled.count(), 0);
}

TEST(ContinuousControlSource, EnabledStateIsSavedAndRestored)
{
    ContinuousControlSource source;
    QSignalSpy enabled(&source, &ControlSourceBase::enablementChanged);
    source.setEnabled(true); // saves true, no change
    EXPECT_EQ(enabled.count(), 0);
    source.setEnabled(false);
    EXPECT_EQ(enabled.count(), 1);
    EXPECT_TRUE(source.getSavedEnabled());
    source.restoreEnabled();
    EXPECT_TRUE(source.isEnabled());
    EXPECT_EQ(enabled.count(), 2);
    source.restoreEnabled(); // signals even without a change
    EXPECT_EQ(enabled.count(), 3);
}

TEST_F(SourceTest, ResetReturnsToAnEmptySlotKeepingTheIndex)
{
    source->setName(QStringLiteral("Lift"));
    source->setChannel(3);
    source->setEventNumber(200);
    source->setSensitivity(3.0f);
    source->setDefaultValue(5.0f);
    source->setEnabled(false);
    source->connectToDevice();
    frameY(0.75f);
    const QUuid before = source->getId();

    QSignalSpy resetSpy(source, &ControlSourceBase::sourceReset);
    QSignalSpy deviceSpy(source, &ControlSourceBase::deviceChanged);
    QSignalSpy dummySpy(source, &ControlSourceBase::dummyStateChanged);
    QSignalSpy enabledSpy(source, &ControlSourceBase::enablementChanged);
    source->reset();

    EXPECT_EQ(resetSpy.count(), 1);
    EXPECT_EQ(deviceSpy.count() + dummySpy.count() + enabledSpy.count(), 0);
    EXPECT_TRUE(source->isDummy());
    EXPECT_TRUE(source->isEnabled());
    EXPECT_TRUE(source->getSavedEnabled()); // as saved by the last setEnabled
    EXPECT_EQ(source->getIndex(), 0);
    EXPECT_NE(source->getId(), before);
    EXPECT_EQ(source->getDeviceId(), 0u);
    EXPECT_TRUE(source->getName().isEmpty());
    EXPECT_EQ(source->getChannel(), 0);
    EXPECT_EQ(source->getEventNumber(), 1);
    EXPECT_FLOAT_EQ(source->getSensitivity(), 1.0f);
    EXPECT_FLOAT_EQ(source->getDefaultValue(), -1.0f);
    EXPECT_FLOAT_EQ(source->getLastValue(), -1.0f);
    EXPECT_FLOAT_EQ(source->getValue(), 0.0f);
    EXPECT_FALSE(source->isConnectedToDevice());

    // A reset source sends nothing on motion, but still the learn message.
    push(device, recordWith(0.1f, 0.1f));
    EXPECT_TRUE(pending().isEmpty());
    source->sendMapping();
    EXPECT_EQ(sentToPort(), hex("B0017F"));
}

TEST_F(SourceTest, ConnectingFollowsTheDeviceOnce)
{
    source->connectToDevice();
    source->connectToDevice();
    EXPECT_TRUE(source->isConnectedToDevice());
    push(device, recordWith(0.5f, 0.75f));
    EXPECT_EQ(pending(), hex("B0015F"));

    // Once, not twice: disconnecting once leaves nothing connected.
    source->disconnectFromDevice();
    EXPECT_FALSE(source->isConnectedToDevice());
    midi->flushBuffer();
    push(device, recordWith(0.5f, 0.25f));
    EXPECT_TRUE(pending().isEmpty());
}

TEST_F(SourceTest, DummyIsNeverConnected)
{
    source->setDummy(true);
    source->connectToDevice();
    EXPECT_FALSE(source->isConnectedToDevice());
    source->setDevice(kDevice, true);
    EXPECT_FALSE(source->isConnectedToDevice());
}

TEST_F(SourceTest, SetDeviceMovesTheConnection)
{
    Orvik* other = addDevice(0xC3);
    source->setDevice(kDevice, true);
    QSignalSpy changed(source, &ControlSourceBase::deviceChanged);
    source->setDevice(0xC3, true);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<uint64_t>(), 0xC3u);

    push(device, recordWith(0.5f, 0.75f));
    EXPECT_TRUE(pending().isEmpty());
    push(other, recordWith(0.5f, 0.25f));
    EXPECT_EQ(pending(), hex("B0011F"));
}

TEST_F(SourceTest, ParamsRoundTripAndRebindWithoutOtherSignals)
{
    Orvik* other = addDevice(0xC3);
    source->connectToDevice();

    ContinuousControlSource loaded;
    loaded.setIndex(0);
    loaded.setDummy(false);
    loaded.setName(QStringLiteral("Tilt"));
    loaded.setChannel(4);
    loaded.setEventNumber(74);
    loaded.setLowerbound(10.0f);
    loaded.setUpperbound(90.0f);
    loaded.setMin(5.0f);
    loaded.setMax(100.0f);
    loaded.setGated(true);
    loaded.setReversed(true);
    loaded.setDefaultValue(12.0f);
    loaded.setSensitivity(1.5f);
    loaded.setAxis(2);
    loaded.setDevice(0xC3, false);
    ControlSourceParams params = loaded.getParams();

    QSignalSpy deviceSpy(source, &ControlSourceBase::deviceChanged);
    QSignalSpy label(source, &ControlSourceBase::labelChanged);
    QSignalSpy number(source, &ControlSourceBase::eventNumberChanged);
    source->applyParams(params);
    EXPECT_EQ(deviceSpy.count(), 1);
    EXPECT_EQ(label.count() + number.count(), 0);

    const ControlSourceParams copied = source->getParams();
    EXPECT_EQ(copied.id, params.id);
    EXPECT_EQ(copied.deviceId, 0xC3u);
    EXPECT_EQ(copied.name, QStringLiteral("Tilt"));
    EXPECT_EQ(copied.channel, 4);
    EXPECT_EQ(copied.eventNumber, 74);
    EXPECT_FLOAT_EQ(copied.lowerbound, 10.0f);
    EXPECT_FLOAT_EQ(copied.upperbound, 90.0f);
    EXPECT_FLOAT_EQ(copied.min, 5.0f);
    EXPECT_FLOAT_EQ(copied.max, 100.0f);
    EXPECT_TRUE(copied.isGated);
    EXPECT_TRUE(copied.isReversed);
    EXPECT_FLOAT_EQ(copied.defaultValue, 12.0f);
    EXPECT_FLOAT_EQ(copied.sensitivity, 1.5f);
    EXPECT_EQ(copied.axis, 2);

    // Connected to the new device only.
    push(device, recordWith(0.5f, 0.75f, 0.9f));
    EXPECT_TRUE(pending().isEmpty());
    push(other, recordWith(0.5f, 0.75f, 0.5f));
    EXPECT_FALSE(pending().isEmpty());

    // A patch's sensitivity of 0 reads as the floor; a crossed range is
    // refused as a whole.
    params.sensitivity = 0.0f;
    params.min = 90.0f;
    params.max = 10.0f;
    source->applyParams(params);
    EXPECT_FLOAT_EQ(source->getSensitivity(), 0.1f);
    EXPECT_LT(source->getMin(), source->getMax());
}

TEST(ControlSourceParams, DefaultRecordMatchesAnEmptySlot)
{
    const ControlSourceParams params;
    EXPECT_TRUE(params.id.isNull());
    EXPECT_TRUE(params.dummy);
    EXPECT_EQ(params.index, -1);
    EXPECT_EQ(params.eventNumber, 1);
    EXPECT_FLOAT_EQ(params.upperbound, 127.0f);
    EXPECT_FLOAT_EQ(params.defaultValue, -1.0f);
    EXPECT_FLOAT_EQ(params.sensitivity, 1.0f);
}

TEST_F(SourceTest, ChannelModeControllersAreNeverSent)
{
    // A patch may still name one of controllers 120-127 (or a number whose
    // low seven bits do): the wheel loads, moves, glides and learns, but
    // not a byte of it leaves.
    for (const int number : {120, 121, 123, 127, 248}) {
        ControlSourceParams params = source->getParams();
        params.eventNumber = static_cast<uint8_t>(number);
        params.defaultValue = 64.0f;
        params.isGated = true;
        params.upperbound = 100.0f;
        source->applyParams(params);
        frameY(0.25f);
        frameY(0.95f);
        frameY(0.95f); // the glide towards the default
        frameY(0.3f);
        source->sendMapping();
        EXPECT_EQ(pending().toHex(' '), "") << "controller " << number;
        EXPECT_EQ(sentToPort().toHex(' '), "") << "controller " << number;
    }
}

// Two wheels on one noisy band, one plain and one smoothed with a dead band
// of one step: at rest the smoothed one sends a small fraction of the plain
// one's messages; yet once the band holds still (its frames then move no
// value at all) it comes to the very value the plain wheel sends, and a move
// to the top of the range arrives at the top.
TEST_F(SourceTest, SmoothedWheelIsQuietAtRestYetArrivesWhereTheHandRests)
{
    source->setAxis(ControlMapping::AxisX);
    source->connectToDevice();
    ContinuousControlSource* smooth = engine.getCSourceAt(1);
    smooth->setDummy(false);
    smooth->setEventNumber(2);
    smooth->setDevice(kDevice, true);
    smooth->setSmoothingMinCutoff(ControlSourceParams::kDefaultSmoothingMinCutoff);
    smooth->setDeadBand(1);

    std::mt19937 random(3);
    std::normal_distribution<float> noise(0.0f, 0.005f); // over half a step
    const auto counts = [&](int number) {
        int count = 0;
        int last = -1;
        for (const juce::MidiMessage& m : midi->pendingMessages())
            if (m.isController() && m.getControllerNumber() == number) {
                ++count;
                last = m.getControllerValue();
            }
        return std::pair{count, last};
    };
    for (int i = 0; i < 50; ++i)
        push(device, recordWith(0.6f + noise(random), 0.5f));
    midi->flushBuffer();
    for (int i = 0; i < 500; ++i)
        push(device, recordWith(0.6f + noise(random), 0.5f));
    const int plain = counts(1).first;
    EXPECT_GT(plain, 200);
    EXPECT_LE(counts(2).first, plain / 5);

    for (const float rest : {0.3f, 1.0f, 0.77f, 0.52f}) {
        midi->flushBuffer();
        for (int i = 0; i < 200; ++i)
            push(device, recordWith(rest, 0.5f));
        EXPECT_EQ(counts(2).second, counts(1).second) << rest;
        EXPECT_EQ(smooth->getValue(), source->getValue()) << rest;
        if (rest >= 1.0f) {
            EXPECT_EQ(counts(2).second, 127);
        }
    }
}
