// SPDX-License-Identifier: GPL-3.0-or-later
#include "osc/OSCHandler.h"

#include "app/StateManager.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "osc/OscControlPacket.h"
#include "osc/OscTestSupport.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <memory>

using osctest::decodeMessage;
using osctest::UdpSink;

namespace {

const QByteArray kWheelOneAtFullScale = QByteArray("Wheel 1", 7) + QByteArray(5, '\0') +
                                        QByteArray::fromHex("00fc7f46") +
                                        QByteArray::fromHex("01000000");

// The sender alone, against a receiver on a port of the test's own.
class OscSender : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sink.isBound());
        osc = std::make_unique<OSCHandler>(QStringLiteral("127.0.0.1"), sink.port());
        ASSERT_TRUE(osc->isConnected());
    }

    UdpSink sink;
    std::unique_ptr<OSCHandler> osc;
};

TEST_F(OscSender, CloseIsOneMessageWithoutArguments)
{
    ASSERT_TRUE(osc->sendClose());
    const auto datagram = sink.next();
    ASSERT_TRUE(datagram.has_value());
    // "/close" padded to 8, then the type tag string "," padded to 4.
    EXPECT_EQ(datagram->toHex(' '), QByteArray("/close\0\0,\0\0\0", 12).toHex(' '));
    const auto message = decodeMessage(*datagram);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->address, QStringLiteral("/close"));
    EXPECT_TRUE(message->typeTags.isEmpty());
    EXPECT_FALSE(sink.next(100).has_value());
}

TEST_F(OscSender, ControlRecordsGoOutAsBlobsInBufferOrder)
{
    OscControlPacket packet;
    packet.append(QStringLiteral("First"), 10.0f, 7, 1);
    packet.append(QStringLiteral("Second"), 20.0f, 8, 2);
    packet.append(QStringLiteral("Third"), 30.0f, 9, 3);
    // Only the first two records.
    ASSERT_TRUE(osc->sendControlRecords(packet.data(), 2));

    const auto datagram = sink.next();
    ASSERT_TRUE(datagram.has_value());
    const auto message = decodeMessage(*datagram);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->address, QStringLiteral("/crl"));
    EXPECT_EQ(message->typeTags, QStringLiteral("bb"));
    ASSERT_EQ(message->blobs.size(), 2);
    EXPECT_EQ(message->blobs[0], QByteArray(reinterpret_cast<const char*>(packet.recordAt(0)), 20));
    EXPECT_EQ(message->blobs[1], QByteArray(reinterpret_cast<const char*>(packet.recordAt(1)), 20));
}

TEST_F(OscSender, CountsOutsideOneToTwelveSendNothing)
{
    OscControlPacket packet;
    packet.append(QStringLiteral("Wheel 1"), 1.0f, 1, 0);
    EXPECT_FALSE(osc->sendControlRecords(packet.data(), 0));
    EXPECT_FALSE(osc->sendControlRecords(packet.data(), 13));
    EXPECT_FALSE(osc->sendControlRecords(nullptr, 1));
    EXPECT_FALSE(osc->sendControlPacket(OscControlPacket{}));
    EXPECT_FALSE(sink.next(100).has_value());
    EXPECT_EQ(osc->sentMessageCount(), 0u);
}

TEST(OscSenderDefaults, TargetsPort9001OnTheLocalMachine)
{
    OSCHandler osc;
    EXPECT_EQ(osc.targetHost(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(osc.targetPort(), 9001);

    UdpSink sink(9001);
    if (!sink.isBound())
        GTEST_SKIP() << "UDP port 9001 is in use on this machine";
    // Another program may send to 9001 as well: look for our own record.
    OscControlPacket packet;
    packet.append(QStringLiteral("Port 9001"), 5.0f, 42, 9);
    ASSERT_TRUE(osc.sendControlPacket(packet));
    const QByteArray expected(reinterpret_cast<const char*>(packet.recordAt(0)), 20);
    bool found = false;
    while (!found) {
        const auto datagram = sink.next(3000);
        if (!datagram)
            break;
        const auto message = decodeMessage(*datagram);
        found = message && message->address == QStringLiteral("/crl") &&
                message->blobs.size() == 1 && message->blobs[0] == expected;
    }
    EXPECT_TRUE(found);
}

// The engine's OSC tick over a real socket: the engine reads the state and
// publishes through the sender, as in the application. The engine's own 3 ms
// tick thread is not started here, the test calls the tick itself.
class EngineOsc : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sink.isBound());
        osc = std::make_unique<OSCHandler>(QStringLiteral("127.0.0.1"), sink.port());
        engine.setControlPublisher(osc.get());
        state.setConnectionState(true);

        engine.addNewDevice(kDevice);
        device = engine.getDeviceById(kDevice);
        ASSERT_NE(device, nullptr);
        for (int i = 0; i <= Orvik::kWarmUpFrames; ++i)
            device->applyMotion(MotionRecord{});
    }

    // Fills slot `i` with a live source and moves it to `x` (0-1 on its
    // axis, giving 0-127).
    ContinuousControlSource* liveSourceAt(int i, float x)
    {
        engine.addNewCSourceAt(i);
        ContinuousControlSource* source = engine.getCSourceAt(i);
        MotionRecord record;
        record[MotionRecord::X] = x;
        record[MotionRecord::Y] = 0.5f;
        source->handleMotion(record);
        return source;
    }

    // The "/crl" blobs of the next tick, or nothing when no datagram comes.
    std::optional<QVector<QByteArray>> tick()
    {
        sink.drain();
        engine.sendControlOSC();
        const auto datagram = sink.next(300);
        if (!datagram)
            return std::nullopt;
        const auto message = decodeMessage(*datagram);
        EXPECT_TRUE(message.has_value());
        if (!message)
            return std::nullopt;
        EXPECT_EQ(message->address, QStringLiteral("/crl"));
        EXPECT_EQ(message->typeTags, QString(message->blobs.size(), QLatin1Char('b')));
        return message->blobs;
    }

    static constexpr uint64_t kDevice = 0x1234;
    UdpSink sink;
    std::unique_ptr<OSCHandler> osc;
    StateManager state;
    MotionControlEngine engine{state};
    Orvik* device = nullptr;
};

TEST_F(EngineOsc, OneLiveSourceGivesOneBlobWithTheDocumentedBytes)
{
    ContinuousControlSource* source = liveSourceAt(0, 1.0f);
    ASSERT_EQ(source->getName(), QStringLiteral("Wheel 1"));
    ASSERT_FLOAT_EQ(source->getValue(), 127.0f);

    const auto blobs = tick();
    ASSERT_TRUE(blobs.has_value());
    ASSERT_EQ(blobs->size(), 1);
    EXPECT_EQ(blobs->at(0).toHex(' '), kWheelOneAtFullScale.toHex(' '));
}

TEST_F(EngineOsc, NothingIsSentWithoutALiveEnabledSource)
{
    EXPECT_FALSE(tick().has_value()); // every slot empty

    ContinuousControlSource* source = liveSourceAt(4, 0.5f);
    source->setEnabled(false);
    EXPECT_FALSE(tick().has_value()); // the only live source is disabled

    source->setEnabled(true);
    EXPECT_TRUE(tick().has_value());
}

TEST_F(EngineOsc, NothingIsSentWhileDisconnectedOrInMappingMode)
{
    liveSourceAt(0, 1.0f);
    ASSERT_TRUE(tick().has_value());

    state.setConnectionState(false);
    EXPECT_FALSE(tick().has_value());

    state.setConnectionState(true);
    state.setMappingModeState(true);
    EXPECT_FALSE(tick().has_value());

    state.setMappingModeState(false);
    EXPECT_TRUE(tick().has_value());
}

TEST_F(EngineOsc, NothingIsSentWithoutASender)
{
    liveSourceAt(0, 1.0f);
    engine.setControlPublisher(nullptr);
    EXPECT_FALSE(tick().has_value()); // must not crash either
    engine.setControlPublisher(osc.get());
    EXPECT_TRUE(tick().has_value());
}

// A disabled live source between enabled ones is left out; the enabled ones
// all go, in slot order (the last one is not pushed out of the message).
TEST_F(EngineOsc, ExactlyTheEnabledLiveSourcesGoInSlotOrder)
{
    liveSourceAt(0, 0.0f);
    ContinuousControlSource* muted = liveSourceAt(3, 0.5f);
    liveSourceAt(7, 1.0f);
    liveSourceAt(11, 1.0f);
    muted->setEnabled(false);

    const auto blobs = tick();
    ASSERT_TRUE(blobs.has_value());
    ASSERT_EQ(blobs->size(), 3);
    EXPECT_TRUE(blobs->at(0).startsWith(QByteArray("Wheel 1\0", 8)));
    EXPECT_TRUE(blobs->at(1).startsWith(QByteArray("Wheel 8\0", 8)));
    EXPECT_TRUE(blobs->at(2).startsWith(QByteArray("Wheel 12\0", 9)));
    for (const QByteArray& blob : *blobs)
        EXPECT_EQ(blob.size(), OscControlPacket::kRecordSize);
}

TEST_F(EngineOsc, TwelveLiveSourcesFillTheMessage)
{
    for (int i = 0; i < MotionControlEngine::kNumOfSources; ++i)
        liveSourceAt(i, 1.0f);
    const auto blobs = tick();
    ASSERT_TRUE(blobs.has_value());
    EXPECT_EQ(blobs->size(), 12);
}

TEST_F(EngineOsc, ALongNameIsShortenedInTheMessage)
{
    ContinuousControlSource* source = liveSourceAt(0, 1.0f);
    source->setName(QString::fromUtf8("Filtre fr\xc3\xa9quence")); // é at bytes 9-10
    const auto blobs = tick();
    ASSERT_TRUE(blobs.has_value());
    ASSERT_EQ(blobs->size(), 1);
    EXPECT_EQ(blobs->at(0).left(12), QByteArray("Filtre fr\xc3\xa9\0", 12));
}

// An OSC decoder from another project (liblo's oscdump) reads one "/crl"
// datagram as one message with one 20-byte blob, and "/close" with none.
TEST_F(EngineOsc, AnIndependentDecoderReadsTheMessages)
{
    const QString oscdump = QStandardPaths::findExecutable(QStringLiteral("oscdump"));
    if (oscdump.isEmpty())
        GTEST_SKIP() << "oscdump (liblo-tools) is not installed";

    // A free port for oscdump: bind, note, release.
    quint16 port = 0;
    {
        UdpSink probe;
        ASSERT_TRUE(probe.isBound());
        port = probe.port();
    }
    QProcess dump;
    dump.setProcessChannelMode(QProcess::SeparateChannels);
    dump.start(oscdump, {QStringLiteral("-L"), QString::number(port)});
    ASSERT_TRUE(dump.waitForStarted(5000));

    OSCHandler toDump(QStringLiteral("127.0.0.1"), port);
    engine.setControlPublisher(&toDump);
    liveSourceAt(0, 1.0f);

    // oscdump gives no sign of being ready: send until it reports.
    QByteArray output;
    const QDeadlineTimer deadline(20000);
    while (!output.contains("/crl") && !deadline.hasExpired()) {
        engine.sendControlOSC();
        dump.waitForReadyRead(200);
        output += dump.readAllStandardOutput();
    }
    toDump.sendClose();
    while (!output.contains("/close") && !deadline.hasExpired()) {
        dump.waitForReadyRead(200);
        output += dump.readAllStandardOutput();
    }
    dump.terminate();
    if (!dump.waitForFinished(5000))
        dump.kill();
    dump.waitForFinished(5000);

    const QList<QByteArray> lines = output.split('\n');
    QByteArray crlLine;
    QByteArray closeLine;
    for (const QByteArray& line : lines) {
        if (crlLine.isEmpty() && line.contains(" /crl "))
            crlLine = line;
        if (line.contains(" /close"))
            closeLine = line;
    }
    ASSERT_FALSE(crlLine.isEmpty()) << output.constData();
    // "<timetag> /crl b [20 byte blob]"
    EXPECT_TRUE(crlLine.trimmed().endsWith("/crl b [20 byte blob]")) << crlLine.constData();
    ASSERT_FALSE(closeLine.isEmpty()) << output.constData();
    EXPECT_TRUE(closeLine.trimmed().endsWith("/close")) << closeLine.constData();
}

} // namespace
