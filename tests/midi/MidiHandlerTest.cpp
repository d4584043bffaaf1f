// SPDX-License-Identifier: GPL-3.0-or-later
#include "MidiTestSupport.h"

#include "app/StateManager.h"
#include "midi/InMemoryMidiBackend.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include "support/SignalWait.h"
#include <gtest/gtest.h>

#include <memory>

using miditest::hex;
using PortInfo = MidiBackend::PortInfo;

namespace {

const QString kVirtual = QStringLiteral("KinetraMIDIPort");

class MidiHandlerTest : public ::testing::Test
{
protected:
    void SetUp() override { backend = std::make_shared<InMemoryMidiBackend>(); }

    std::unique_ptr<MidiHandler> makeHandler()
    {
        auto handler = std::make_unique<MidiHandler>(backend, &state);
        handler->setMillisecondClock([this] { return nowMs; });
        return handler;
    }
    static void scan(MidiHandler& handler)
    {
        ASSERT_TRUE(QMetaObject::invokeMethod(&handler, "devicePilot", Qt::DirectConnection));
    }

    StateManager state;
    std::shared_ptr<InMemoryMidiBackend> backend;
    double nowMs = 1000.0;
};

// --- virtual port -----------------------------------------------------------

TEST_F(MidiHandlerTest, OpensTheLoopbackPortWhenTheSystemHasOne)
{
    backend->setOutputs({{QStringLiteral("Other"), QStringLiteral("o1")},
                         {kVirtual, QStringLiteral("loop-1")},
                         {kVirtual, QStringLiteral("loop-2")}});
    auto handler = makeHandler();
    EXPECT_TRUE(handler->isVirtualPortOpen());
    // The last match is kept; no port of our own is created.
    EXPECT_EQ(backend->openOutputs(), QStringList{QStringLiteral("loop-2")});
}

TEST_F(MidiHandlerTest, CreatesTheVirtualPortWhenNoneIsListed)
{
    auto handler = makeHandler();
    EXPECT_TRUE(handler->isVirtualPortOpen());
    EXPECT_EQ(backend->openOutputs(), QStringList{QStringLiteral("virtual:KinetraMIDIPort")});
    EXPECT_TRUE(handler->property("isVirtualPortOpen").toBool());
}

TEST_F(MidiHandlerTest, KeepsWorkingWithoutTheVirtualPort)
{
    backend->setVirtualPortsSupported(false);
    backend->setOutputs({{QStringLiteral("Synth"), QStringLiteral("s")}});
    auto handler = makeHandler();
    EXPECT_FALSE(handler->isVirtualPortOpen());
    EXPECT_FALSE(handler->property("isVirtualPortOpen").toBool());

    scan(*handler);
    handler->queueMessage(juce::MidiMessage::controllerEvent(1, 7, 100));
    handler->flushBuffer();
    handler->sendNow(juce::MidiMessage::controllerEvent(1, 7, 50));
    EXPECT_EQ(hex(backend->messagesSentTo(QStringLiteral("Synth"))), "B0 07 64 | B0 07 32");
}

// --- sending ------------------------------------------------------------------

TEST_F(MidiHandlerTest, FlushGoesToTheVirtualPortThenOutputsInOpeningOrder)
{
    backend->setOutputs(
        {{QStringLiteral("A"), QStringLiteral("a")}, {QStringLiteral("B"), QStringLiteral("b")}});
    auto handler = makeHandler();
    scan(*handler);
    // Reopening A puts it after B.
    handler->closeMidiOutput(0);
    handler->openMidiOutput(0);

    handler->queueMessage(juce::MidiMessage::midiClock(), 10);
    handler->queueMessage(juce::MidiMessage::noteOn(1, 60, static_cast<juce::uint8>(90)), 0);
    handler->queueMessage(juce::MidiMessage::noteOff(1, 60, static_cast<juce::uint8>(0)), 0);
    EXPECT_EQ(hex(handler->pendingMessages()), "90 3C 5A | 80 3C 00 | F8");
    EXPECT_EQ(handler->pendingCount(), 3);

    handler->flushBuffer();
    EXPECT_TRUE(handler->pendingMessages().empty());
    const std::vector<std::string> expectedPorts = {
        "KinetraMIDIPort", "KinetraMIDIPort", "KinetraMIDIPort", "B", "B", "B", "A", "A", "A"};
    EXPECT_EQ(miditest::ports(backend->deliveries()), expectedPorts);
    for (const QString& port : {kVirtual, QStringLiteral("A"), QStringLiteral("B")})
        EXPECT_EQ(hex(backend->messagesSentTo(port)), "90 3C 5A | 80 3C 00 | F8");

    backend->clearCaptured();
    handler->flushBuffer(); // empty: nothing at all
    EXPECT_TRUE(backend->deliveries().empty());
}

TEST_F(MidiHandlerTest, EqualPositionsKeepQueueingOrder)
{
    auto handler = makeHandler();
    for (int cc = 0; cc < 5; ++cc)
        handler->queueMessage(juce::MidiMessage::controllerEvent(1, cc, 1), 5 - (cc % 2) * 5);
    // Odd controllers at 0, even ones at 5; each group in queueing order.
    EXPECT_EQ(hex(handler->pendingMessages()),
              "B0 01 01 | B0 03 01 | B0 00 01 | B0 02 01 | B0 04 01");
}

TEST_F(MidiHandlerTest, SendNowBypassesThePendingBuffer)
{
    backend->setOutputs({{QStringLiteral("A"), QStringLiteral("a")}});
    auto handler = makeHandler();
    scan(*handler);
    handler->queueMessage(juce::MidiMessage::controllerEvent(2, 1, 1));
    handler->sendNow(juce::MidiMessage::controllerEvent(16, 20, 127));
    EXPECT_EQ(miditest::ports(backend->deliveries()),
              (std::vector<std::string>{"KinetraMIDIPort", "A"}));
    EXPECT_EQ(hex(backend->messagesSentTo(QStringLiteral("A"))), "BF 14 7F");
    EXPECT_EQ(handler->pendingCount(), 1);
}

TEST_F(MidiHandlerTest, FullBufferDropsAndCountsInsteadOfGrowing)
{
    auto handler = makeHandler();
    for (int i = 0; i < MidiHandler::kPendingCapacity + 10; ++i)
        handler->queueMessage(juce::MidiMessage::midiClock());
    EXPECT_EQ(handler->pendingCount(), MidiHandler::kPendingCapacity);
    EXPECT_EQ(handler->droppedMessageCount(), 10u);

    // Too long for the buffer: refused, not truncated.
    const juce::uint8 sysex[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    handler->queueMessage(juce::MidiMessage::createSysExMessage(sysex, sizeof sysex));
    EXPECT_EQ(handler->droppedMessageCount(), 11u);

    handler->flushBuffer();
    EXPECT_EQ(backend->messagesSentTo(kVirtual).size(),
              static_cast<size_t>(MidiHandler::kPendingCapacity));
    handler->queueMessage(juce::MidiMessage::midiStop());
    EXPECT_EQ(hex(handler->pendingMessages()), "FC");
}

// Every message carries the sample it is due on: a message queued while a
// block runs is due in the next block, as far into it as it came into this
// one; the transport's clock goes on its tick's own sample.
TEST_F(MidiHandlerTest, MessagesCarryTheSampleTheyAreDueOn)
{
    auto handler = makeHandler();
    state.setAudioSampleRate(44100);
    handler->beginBlock(44100); // one second, begun now
    handler->queueInBlock(juce::MidiMessage::midiClock(), 700);
    QThread::msleep(100);
    handler->queueMessage(juce::MidiMessage::controllerEvent(1, 1, 95));
    const auto pending = handler->pendingMessages();
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_TRUE(pending[0].isMidiClock());
    EXPECT_EQ(pending[0].getTimeStamp(), 700.0);
    // 100 ms (4410 samples) into this block: 4410 samples into the next.
    EXPECT_GE(pending[1].getTimeStamp(), 44100.0 + 4410.0);
    EXPECT_LT(pending[1].getTimeStamp(), 44100.0 + 4410.0 * 3);
    handler->flushBuffer();
    EXPECT_EQ(hex(backend->messagesSentTo(kVirtual)), "F8 | B0 01 5F");
    EXPECT_FALSE(handler->flushIfAudioLate()); // producers never send themselves
}

// The JACK port's side: each message with its offset in the block being
// flushed; one due before the block at its start, one due after it at its
// end; the virtual port still gets them all.
TEST_F(MidiHandlerTest, TimedSinkGetsEachMessageAtItsOffsetInTheBlock)
{
    struct Sink : TimedMidiSink
    {
        std::vector<std::pair<int, int>> sent; // status, offset
        void send(const uint8_t* bytes, int, int offset, int blockLength) override
        {
            EXPECT_EQ(blockLength, 512);
            sent.emplace_back(bytes[0], offset);
        }
    } sink;
    auto handler = makeHandler();
    handler->setTimedSink(&sink, QStringLiteral("timed"));
    EXPECT_EQ(handler->getMidiPath(), QStringLiteral("timed"));
    handler->beginBlock(512);
    handler->queueMessage(juce::MidiMessage::controllerEvent(1, 1, 95)); // due next block
    handler->queueInBlock(juce::MidiMessage::midiClock(), 300);
    handler->queueInBlock(juce::MidiMessage::midiStart(), -40); // already late
    handler->flushBuffer();
    // The sink is told how late or early each is (it places them inside
    // the block itself).
    ASSERT_EQ(sink.sent.size(), 3u);
    EXPECT_EQ(sink.sent[0], std::make_pair(0xFA, -40));
    EXPECT_EQ(sink.sent[1], std::make_pair(0xF8, 300));
    EXPECT_EQ(sink.sent[2].first, 0xB0);
    EXPECT_GE(sink.sent[2].second, 512);
    EXPECT_LE(sink.sent[2].second, 1024);
    EXPECT_EQ(hex(backend->messagesSentTo(kVirtual)), "FA | F8 | B0 01 5F");

    handler->setTimedSink(nullptr);
    handler->queueMessage(juce::MidiMessage::midiStop());
    handler->flushBuffer();
    EXPECT_EQ(sink.sent.size(), 3u);
    EXPECT_NE(handler->getMidiPath(), QStringLiteral("timed"));
}

// The consumer holds a message due in a later block until that block, and
// sends it there on its own sample, not at the end of the block it came in.
TEST_F(MidiHandlerTest, AMessageDueInALaterBlockWaitsForItsBlock)
{
    auto handler = makeHandler();
    struct Sink : TimedMidiSink
    {
        const MidiHandler* handler = nullptr;
        std::vector<std::pair<int, int64_t>> sent; // status, sample
        void send(const uint8_t* bytes, int, int offset, int) override
        {
            sent.emplace_back(bytes[0], handler->blockStart() + offset);
        }
    } sink;
    sink.handler = handler.get();
    handler->setTimedSink(&sink, QStringLiteral("timed"));
    state.setSendingClockState(false);
    Transport transport(state, handler.get());
    handler->queueMessage(juce::MidiMessage::controllerEvent(1, 1, 95), 700); // no block yet: 700
    transport.advanceBlock(512);
    EXPECT_TRUE(sink.sent.empty());
    EXPECT_EQ(hex(backend->messagesSentTo(kVirtual)), "");
    EXPECT_EQ(handler->pendingCount(), 1);
    transport.advanceBlock(512);
    EXPECT_EQ(sink.sent, (std::vector<std::pair<int, int64_t>>{{0xB0, 700}}));
    EXPECT_EQ(hex(backend->messagesSentTo(kVirtual)), "B0 01 5F");
    handler->setTimedSink(nullptr);
}

// --- device lists ---------------------------------------------------------------

TEST_F(MidiHandlerTest, OwnPortsAreNeverListedEvenWhenAdjacent)
{
    backend->setInputs({{QStringLiteral("Kinetra Out"), QStringLiteral("i1")},
                        {kVirtual, QStringLiteral("i2")},
                        {QStringLiteral("Kinetra In"), QStringLiteral("i3")},
                        {QStringLiteral("Keys"), QStringLiteral("i4")},
                        {kVirtual, QStringLiteral("i5")}});
    backend->setOutputs({{QStringLiteral("Kinetra In"), QStringLiteral("o1")},
                         {kVirtual, QStringLiteral("o2")},
                         {QStringLiteral("Kinetra Out"), QStringLiteral("o3")}});
    auto handler = makeHandler();
    scan(*handler);

    EXPECT_EQ(handler->getNumInputs(), 2);
    EXPECT_EQ(handler->getInputName(0), QStringLiteral("Kinetra In"));
    EXPECT_EQ(handler->getInputName(1), QStringLiteral("Keys"));
    EXPECT_EQ(handler->getNumOutputs(), 1);
    EXPECT_EQ(handler->getOutputName(0), QStringLiteral("Kinetra Out"));
    EXPECT_EQ(handler->property("num_inputs").toInt(), 2);
    EXPECT_EQ(handler->property("num_outputs").toInt(), 1);
    EXPECT_EQ(backend->startedInputs(), (QStringList{QStringLiteral("i3"), QStringLiteral("i4")}));
}

TEST_F(MidiHandlerTest, NoDevicesMeansEmptyListsAndOnlyTheVirtualPort)
{
    auto handler = makeHandler();
    QSignalSpy inputs(handler.get(), &MidiHandler::numOfMidiInputChanged);
    scan(*handler);
    EXPECT_EQ(handler->getNumInputs(), 0);
    EXPECT_EQ(handler->getNumOutputs(), 0);
    EXPECT_EQ(inputs.count(), 0);
    handler->sendNow(juce::MidiMessage::midiStart());
    EXPECT_EQ(miditest::ports(backend->deliveries()), std::vector<std::string>{"KinetraMIDIPort"});
}

TEST_F(MidiHandlerTest, PluggedInputOpensAtTheNextScanButASwapReopensNothing)
{
    backend->setInputs({{QStringLiteral("Keys"), QStringLiteral("k")}});
    auto handler = makeHandler();
    QSignalSpy changed(handler.get(), &MidiHandler::numOfMidiInputChanged);

    // The pilot timer scans by itself.
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_EQ(backend->startedInputs(), QStringList{QStringLiteral("k")});

    backend->setInputs({{QStringLiteral("Keys"), QStringLiteral("k")},
                        {QStringLiteral("Pads"), QStringLiteral("p")}});
    ASSERT_TRUE(changed.wait(5000));
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(backend->startedInputs(), (QStringList{QStringLiteral("k"), QStringLiteral("p")}));
    EXPECT_TRUE(handler->isInputOpen(1));

    // Pads unplugged and Drums plugged between two scans: same count.
    backend->setInputs({{QStringLiteral("Keys"), QStringLiteral("k")},
                        {QStringLiteral("Drums"), QStringLiteral("d")}});
    scan(*handler);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(handler->getInputName(1), QStringLiteral("Drums"));
    EXPECT_FALSE(handler->isInputOpen(1));
    EXPECT_EQ(backend->startedInputs(), (QStringList{QStringLiteral("k"), QStringLiteral("p")}));
}

TEST_F(MidiHandlerTest, OutputCountChangeRebuildsOpenOutputs)
{
    backend->setOutputs({{QStringLiteral("A"), QStringLiteral("a")}});
    auto handler = makeHandler();
    QSignalSpy changed(handler.get(), &MidiHandler::numOfMidiOutputChanged);
    handler->setIgnoredOutputs({QStringLiteral("b")});
    scan(*handler);
    backend->setOutputs({{QStringLiteral("A"), QStringLiteral("a")},
                         {QStringLiteral("B"), QStringLiteral("b")},
                         {QStringLiteral("C"), QStringLiteral("c")}});
    scan(*handler);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(backend->openOutputs(), (QStringList{QStringLiteral("virtual:KinetraMIDIPort"),
                                                   QStringLiteral("a"), QStringLiteral("c")}));
    EXPECT_TRUE(handler->isOutputOpen(0));
    EXPECT_FALSE(handler->isOutputOpen(1));
    EXPECT_TRUE(handler->isOutputOpen(2));
}

TEST_F(MidiHandlerTest, ClosingAnInputIgnoresItOnceAndOpeningForgetsThat)
{
    backend->setInputs({{QStringLiteral("Keys"), QStringLiteral("k")},
                        {QStringLiteral("Pads"), QStringLiteral("p")}});
    auto handler = makeHandler();
    handler->setIgnoredInputs({QStringLiteral("k")});
    scan(*handler);
    ASSERT_FALSE(handler->isInputOpen(0));
    ASSERT_TRUE(handler->isInputOpen(1));

    handler->closeMidiInput(1);
    EXPECT_FALSE(handler->isInputOpen(1));
    EXPECT_TRUE(backend->openInputs().isEmpty());
    EXPECT_EQ(handler->ignoredInputs(), (QStringList{QStringLiteral("k"), QStringLiteral("p")}));
    handler->closeMidiInput(1);
    EXPECT_EQ(handler->ignoredInputs(), (QStringList{QStringLiteral("k"), QStringLiteral("p")}));

    handler->openMidiInput(1);
    EXPECT_TRUE(handler->isInputOpen(1));
    EXPECT_EQ(handler->ignoredInputs(), QStringList{QStringLiteral("k")});
    // Opening an open device again does not open it twice.
    handler->openMidiInput(1);
    EXPECT_EQ(backend->openInputs(), QStringList{QStringLiteral("p")});
}

TEST_F(MidiHandlerTest, ClosingAnOutputIgnoresItAndStopsSendingToIt)
{
    backend->setOutputs({{QStringLiteral("A"), QStringLiteral("a")}});
    auto handler = makeHandler();
    scan(*handler);
    handler->closeMidiOutput(0);
    handler->closeMidiOutput(0);
    EXPECT_EQ(handler->ignoredOutputs(), QStringList{QStringLiteral("a")});
    handler->sendNow(juce::MidiMessage::midiStart());
    EXPECT_TRUE(backend->messagesSentTo(QStringLiteral("A")).empty());

    handler->openMidiOutput(0);
    handler->openMidiOutput(0);
    EXPECT_TRUE(handler->ignoredOutputs().isEmpty());
    handler->sendNow(juce::MidiMessage::midiStop());
    EXPECT_EQ(hex(backend->messagesSentTo(QStringLiteral("A"))), "FC");
}

TEST_F(MidiHandlerTest, SetIgnoredInputsClosesAdjacentOpenInputs)
{
    backend->setInputs({{QStringLiteral("A"), QStringLiteral("a")},
                        {QStringLiteral("B"), QStringLiteral("b")},
                        {QStringLiteral("C"), QStringLiteral("c")}});
    auto handler = makeHandler();
    scan(*handler);
    ASSERT_EQ(backend->openInputs().size(), 3);

    handler->setIgnoredInputs({QStringLiteral("b"), QStringLiteral("c")});
    EXPECT_EQ(backend->openInputs(), QStringList{QStringLiteral("a")});
    EXPECT_EQ(handler->ignoredInputs(), (QStringList{QStringLiteral("b"), QStringLiteral("c")}));

    // An empty list closes nothing but does replace the list.
    handler->setIgnoredInputs({});
    EXPECT_EQ(backend->openInputs(), QStringList{QStringLiteral("a")});
    EXPECT_TRUE(handler->ignoredInputs().isEmpty());
}

TEST_F(MidiHandlerTest, SetIgnoredOutputsClosesThem)
{
    backend->setOutputs(
        {{QStringLiteral("A"), QStringLiteral("a")}, {QStringLiteral("B"), QStringLiteral("b")}});
    auto handler = makeHandler();
    scan(*handler);
    handler->setIgnoredOutputs({QStringLiteral("a"), QStringLiteral("b")});
    handler->sendNow(juce::MidiMessage::midiStart());
    EXPECT_EQ(miditest::ports(backend->deliveries()), std::vector<std::string>{"KinetraMIDIPort"});
}

TEST_F(MidiHandlerTest, OutOfRangeIndicesDoNothing)
{
    backend->setInputs({{QStringLiteral("A"), QStringLiteral("a")}});
    backend->setOutputs({{QStringLiteral("B"), QStringLiteral("b")}});
    auto handler = makeHandler();
    scan(*handler);
    for (int index : {-1, 1, 100}) {
        EXPECT_TRUE(handler->getInputName(index).isEmpty());
        EXPECT_TRUE(handler->getOutputName(index).isEmpty());
        EXPECT_FALSE(handler->isInputOpen(index));
        EXPECT_FALSE(handler->isOutputOpen(index));
        handler->openMidiInput(index);
        handler->openMidiOutput(index);
        handler->closeMidiInput(index);
        handler->closeMidiOutput(index);
    }
    EXPECT_EQ(backend->openInputs(), QStringList{QStringLiteral("a")});
    EXPECT_TRUE(handler->ignoredInputs().isEmpty());
    EXPECT_TRUE(handler->ignoredOutputs().isEmpty());
}

TEST_F(MidiHandlerTest, DeviceThatFailsToOpenIsListedButSkipped)
{
    backend->setInputs({{QStringLiteral("Broken"), QStringLiteral("x")},
                        {QStringLiteral("Keys"), QStringLiteral("k")}});
    backend->setUnopenable({QStringLiteral("x")});
    auto handler = makeHandler();
    scan(*handler);
    EXPECT_EQ(handler->getNumInputs(), 2);
    EXPECT_FALSE(handler->isInputOpen(0));
    EXPECT_TRUE(handler->isInputOpen(1));
    handler->openMidiInput(0);
    EXPECT_FALSE(handler->isInputOpen(0));
}

// --- incoming -------------------------------------------------------------------

// The handler wired to the state and the transport as the application wires
// them: the estimated tempo becomes the state's, a followed start or stop
// goes straight to the transport.
class MidiInputTest : public MidiHandlerTest
{
protected:
    void SetUp() override
    {
        MidiHandlerTest::SetUp();
        backend->setInputs({{QStringLiteral("Clock"), QStringLiteral("c")}});
        handler = makeHandler();
        scan(*handler);
        transport.setMidiHandler(handler.get());
        QObject::connect(handler.get(), &MidiHandler::tempoEstimated, &state,
                         &StateManager::setTempo);
        QObject::connect(handler.get(), &MidiHandler::clockStartReceived, &transport,
                         &Transport::startPlay, Qt::DirectConnection);
        QObject::connect(handler.get(), &MidiHandler::clockStopReceived, &transport,
                         &Transport::stopPlay, Qt::DirectConnection);
    }
    void TearDown() override
    {
        transport.setMidiHandler(nullptr);
        handler.reset();
    }
    void inject(const juce::MidiMessage& message)
    {
        ASSERT_TRUE(backend->injectIncoming(QStringLiteral("c"), message));
    }
    // One clock every 1/24 quarter note at `bpm`.
    void clocks(int count, double bpm)
    {
        for (int i = 0; i < count; ++i) {
            inject(juce::MidiMessage::midiClock());
            nowMs += 60000.0 / bpm / 24.0;
        }
    }

    Transport transport{state};
    std::unique_ptr<MidiHandler> handler;
};

TEST_F(MidiInputTest, ClockAt120IsReportedAtTheFifthClockAndOnlyOnce)
{
    state.setSyncingToClockState(true);
    state.setTempo(90);
    QSignalSpy estimated(handler.get(), &MidiHandler::tempoEstimated);
    QSignalSpy tempo(&state, &StateManager::tempoChanged);

    clocks(4, 120.0);
    EXPECT_EQ(estimated.count(), 0);
    clocks(1, 120.0);
    ASSERT_EQ(estimated.count(), 1);
    EXPECT_EQ(estimated.at(0).at(0).toInt(), 120);
    // The estimate reaches the state once.
    EXPECT_EQ(state.getTempo(), 120);
    EXPECT_EQ(tempo.count(), 1);

    clocks(20, 120.0);
    EXPECT_EQ(estimated.count(), 1);
    // A tempo change settles within two estimates (the first window mixes
    // both tempi).
    clocks(8, 140.0);
    ASSERT_GE(estimated.count(), 2);
    EXPECT_EQ(estimated.last().at(0).toInt(), 140);
    EXPECT_EQ(state.getTempo(), 140);
}

TEST_F(MidiInputTest, StopResetsTheEstimatorAndStopsTheTransport)
{
    state.setSyncingToClockState(true);
    QSignalSpy estimated(handler.get(), &MidiHandler::tempoEstimated);
    QSignalSpy playing(&transport, &Transport::playingStateChanged);
    clocks(5, 120.0);
    ASSERT_EQ(estimated.count(), 1);

    inject(juce::MidiMessage::midiStop());
    EXPECT_EQ(playing.count(), 1);
    EXPECT_EQ(hex(handler->pendingMessages()), "FC");
    // After the reset the same tempo is reported again, at the fifth clock.
    clocks(4, 120.0);
    EXPECT_EQ(estimated.count(), 1);
    clocks(1, 120.0);
    EXPECT_EQ(estimated.count(), 2);

    inject(juce::MidiMessage::midiStart());
    EXPECT_TRUE(transport.isStartRequested());
}

TEST_F(MidiInputTest, WithoutSyncingClockChangesNothingButNotesAreSignalled)
{
    state.setSyncingToClockState(false);
    QSignalSpy estimated(handler.get(), &MidiHandler::tempoEstimated);
    QSignalSpy notes(handler.get(), &MidiHandler::noteEventReceived);
    clocks(30, 100.0);
    inject(juce::MidiMessage::midiStart());
    inject(juce::MidiMessage::midiStop());
    inject(juce::MidiMessage::noteOn(3, 64, static_cast<juce::uint8>(127)));
    EXPECT_EQ(estimated.count(), 0);
    EXPECT_EQ(state.getTempo(), 120);
    EXPECT_FALSE(transport.isStartRequested());
    EXPECT_TRUE(handler->pendingMessages().empty());
    ASSERT_EQ(notes.count(), 1);
    EXPECT_EQ(notes.at(0).at(0).value<uint8_t>(), 3);
    EXPECT_EQ(notes.at(0).at(1).value<uint8_t>(), 64);
    EXPECT_FLOAT_EQ(notes.at(0).at(2).toFloat(), 1.0f);
}

TEST_F(MidiInputTest, ChannelMessagesBecomeSignals)
{
    QSignalSpy notes(handler.get(), &MidiHandler::noteEventReceived);
    QSignalSpy controllers(handler.get(), &MidiHandler::ccEventReceived);
    QSignalSpy programs(handler.get(), &MidiHandler::programChangeEventReceived);

    inject(juce::MidiMessage::noteOff(16, 60, static_cast<juce::uint8>(64)));
    inject(juce::MidiMessage::controllerEvent(2, 74, 33));
    inject(juce::MidiMessage::programChange(10, 5));
    inject(juce::MidiMessage::pitchWheel(1, 8192));        // dropped
    inject(juce::MidiMessage::aftertouchChange(1, 60, 3)); // dropped

    ASSERT_EQ(notes.count(), 1);
    EXPECT_EQ(notes.at(0).at(0).value<uint8_t>(), 16);
    EXPECT_EQ(notes.at(0).at(1).value<uint8_t>(), 60);
    EXPECT_FLOAT_EQ(notes.at(0).at(2).toFloat(), 64.0f / 127.0f);
    ASSERT_EQ(controllers.count(), 1);
    EXPECT_EQ(controllers.at(0).at(0).value<uint8_t>(), 2);
    EXPECT_EQ(controllers.at(0).at(1).value<uint8_t>(), 74);
    EXPECT_EQ(controllers.at(0).at(2).value<uint8_t>(), 33);
    ASSERT_EQ(programs.count(), 1);
    EXPECT_EQ(programs.at(0).at(0).value<uint8_t>(), 10);
    EXPECT_EQ(programs.at(0).at(1).value<uint8_t>(), 5);
}

TEST_F(MidiInputTest, ClosedInputDeliversNothing)
{
    handler->closeMidiInput(0);
    EXPECT_FALSE(backend->injectIncoming(QStringLiteral("c"), juce::MidiMessage::midiClock()));
}

TEST_F(MidiInputTest, IncomingWithoutSettingsOrConnectedPeersIsSafe)
{
    transport.setMidiHandler(nullptr);
    handler.reset();
    state.setSyncingToClockState(true);

    // Without settings nothing is followed.
    handler = std::make_unique<MidiHandler>(backend);
    scan(*handler);
    QSignalSpy started(handler.get(), &MidiHandler::clockStartReceived);
    QSignalSpy stopped(handler.get(), &MidiHandler::clockStopReceived);
    QSignalSpy estimated(handler.get(), &MidiHandler::tempoEstimated);
    inject(juce::MidiMessage::midiStart());
    clocks(10, 100.0);
    inject(juce::MidiMessage::midiStop());
    EXPECT_EQ(started.count() + stopped.count() + estimated.count(), 0);

    // Following, with nobody connected.
    handler = makeHandler();
    scan(*handler);
    inject(juce::MidiMessage::midiStart());
    clocks(10, 100.0);
    inject(juce::MidiMessage::midiStop());
    EXPECT_FALSE(transport.isStartRequested());
    EXPECT_EQ(state.getTempo(), 120);
}

} // namespace
