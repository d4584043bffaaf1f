// SPDX-License-Identifier: GPL-3.0-or-later
// Every real back-end object wired as the application wires them, in this
// process: the simulated receiver on its own thread and terminal, the link
// thread, the engine, the MIDI handler on the in-memory backend and a JACK
// server with its dummy driver as the audio device. The MIDI bytes that
// reach the backend are what the patch makes of the scripted motion, and
// the clock runs at the tempo.

#include "JackDummyServer.h"
#include "ScriptedPerformance.h"

#include "ReceiverSimulator.h"
#include "SimulatedReceiver.h"
#include "app/AppRuntime.h"
#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "audio/JuceTestEnvironment.h"
#include "engine/ControlMapping.h"
#include "midi/InMemoryMidiBackend.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"
#include "support/SignalWait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

using Gesture = GestureGenerator::Gesture;

namespace {

constexpr double kRate = 200.0;
constexpr uint64_t kBandA = ReceiverSimulator::kFirstIdentity;
constexpr uint64_t kBandB = ReceiverSimulator::kFirstIdentity + 1;
constexpr uint64_t kFramesCovered = uint64_t(kRate * 300.0);
// How far (in frames) one message of a source may be from the previous one:
// the link and the window may fall behind on a loaded machine and then pick
// up the latest frame.
constexpr uint64_t kMaxFrameGap = uint64_t(kRate * 5.0);

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// X, Y, Z and G of two bands doing the mixed gesture (every value moves),
// onto 14-bit controller pairs, plain controllers, pitch bend and
// aftertouch, each shaped a little differently.
QVector<ControlSourceParams> patchWheels()
{
    using S = ScriptedPerformance;
    QVector<ControlSourceParams> w;
    w << S::wheel(0, "MIDI A roll", kBandA, ControlMapping::AxisX, 1, 0); // 14-bit pair 1/33
    w << S::wheel(1, "MIDI A pitch", kBandA, ControlMapping::AxisY, 40, 0);
    w.back().lowerbound = 20.0f;
    w.back().upperbound = 107.0f;
    w << S::wheel(2, "MIDI A turn", kBandA, ControlMapping::AxisZ, ControlMapping::kAftertouchEvent,
                  1);
    w.back().min = 10.0f;
    w.back().max = 100.0f;
    w << S::wheel(3, "MIDI A shake", kBandA, ControlMapping::AxisG, 2, 0); // 14-bit pair 2/34
    w.back().upperbound = 40.0f;
    w << S::wheel(4, "MIDI B roll", kBandB, ControlMapping::AxisX, ControlMapping::kPitchBendEvent,
                  2);
    w.back().lowerbound = 10.0f;
    w.back().upperbound = 117.0f;
    w << S::wheel(5, "MIDI B pitch", kBandB, ControlMapping::AxisY, 7, 3); // 14-bit pair 7/39
    w.back().isReversed = true;
    w.back().sensitivity = 1.4f;
    w << S::wheel(6, "MIDI B turn", kBandB, ControlMapping::AxisZ, 76, 3);
    w.back().min = 20.0f;
    w.back().max = 100.0f;
    w << S::wheel(7, "MIDI B shake", kBandB, ControlMapping::AxisG,
                  ControlMapping::kAftertouchEvent, 4);
    w.back().upperbound = 30.0f;
    return w;
}

bool isHighResPair(const ControlSourceParams& wheel)
{
    return wheel.eventNumber < 32;
}

// The data a wheel's message carries for a record: the 14-bit pair as
// msb * 128 + lsb, the pitch wheel's 14 bits, or the 7-bit value.
int predictedData(const ControlSourceParams& wheel, const MotionRecord& record)
{
    const float value = ScriptedPerformance::sourceValue(wheel, record);
    if (wheel.eventNumber == ControlMapping::kPitchBendEvent)
        return ControlMapping::pitchWheelOf(ControlMapping::pitchBendCurve(
                   value, wheel.lowerbound, wheel.upperbound, wheel.min, wheel.max)) &
               0x3FFF;
    const float out = ControlMapping::outputOf(value, wheel.min, wheel.max);
    if (wheel.eventNumber != ControlMapping::kAftertouchEvent && isHighResPair(wheel)) {
        const auto pair = ControlMapping::splitHighRes(out);
        return (pair.msb & 0x7F) * 128 + (pair.lsb & 0x7F);
    }
    return ControlMapping::truncate(out) & 0x7F;
}

// The data of every message the wheel sent, in sending order. Pairs are
// checked to come MSB first, then LSB; `brokenPairs` counts the others.
std::vector<int> sentData(const ControlSourceParams& wheel,
                          const std::vector<juce::MidiMessage>& messages, int& brokenPairs)
{
    const int channel = ControlMapping::midiChannel(wheel.channel);
    std::vector<int> data;
    int msb = -1;
    for (const juce::MidiMessage& m : messages) {
        if (m.getChannel() != channel)
            continue;
        if (wheel.eventNumber == ControlMapping::kPitchBendEvent) {
            if (m.isPitchWheel())
                data.push_back(m.getPitchWheelValue());
        } else if (wheel.eventNumber == ControlMapping::kAftertouchEvent) {
            if (m.isChannelPressure())
                data.push_back(m.getChannelPressureValue());
        } else if (m.isController()) {
            const int number = m.getControllerNumber();
            if (number == wheel.eventNumber) {
                if (!isHighResPair(wheel)) {
                    data.push_back(m.getControllerValue());
                } else {
                    if (msb >= 0)
                        ++brokenPairs;
                    msb = m.getControllerValue();
                }
            } else if (isHighResPair(wheel) && number == wheel.eventNumber + 32) {
                if (msb < 0) {
                    ++brokenPairs;
                    continue;
                }
                data.push_back(msb * 128 + m.getControllerValue());
                msb = -1;
            }
        }
    }
    return data;
}

// Whether `sent` is what the source makes of frames of its band taken in
// order (each message from a later frame than the one before, not more than
// kMaxFrameGap later). Returns the number of messages matched from the best
// starting frame.
size_t longestFramePath(const std::vector<int>& sent, const std::vector<int>& perFrame)
{
    size_t best = 0;
    if (sent.empty())
        return 0;
    for (size_t start = 0; start < perFrame.size() && best < sent.size(); ++start) {
        if (perFrame[start] != sent[0])
            continue;
        size_t matched = 1;
        size_t frame = start;
        while (matched < sent.size()) {
            const size_t end = std::min(perFrame.size(), frame + 1 + size_t(kMaxFrameGap));
            size_t next = frame + 1;
            while (next < end && perFrame[next] != sent[matched])
                ++next;
            if (next >= end)
                break;
            frame = next;
            ++matched;
        }
        best = std::max(best, matched);
    }
    return best;
}

int clockCount(const InMemoryMidiBackend& backend)
{
    int n = 0;
    for (const juce::MidiMessage& m :
         backend.messagesSentTo(QString::fromLatin1(MidiHandler::kVirtualPortName)))
        if (m.isMidiClock())
            ++n;
    return n;
}

TEST(OneProcessEndToEnd, MidiBytesFollowTheMappedMotionAndTheClockKeepsTheTempo)
{
    auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!gui)
        GTEST_SKIP() << "needs KINETRA_TEST_GUI and an X server";
    JackDummyServer jack;
    const QString problem = jack.start();
    if (JackDummyServer::isMissing(problem))
        GTEST_SKIP() << problem.toStdString();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();

    // The documents: the patch as the current one, hi-res MIDI and the clock
    // on, and JACK as the audio device.
    QTemporaryDir documents;
    ASSERT_TRUE(documents.isValid());
    const QVector<ControlSourceParams> wheels = patchWheels();
    const QString patchPath = documents.path() + "/stage.json";
    ASSERT_TRUE(writeFile(patchPath, QJsonDocument(ScriptedPerformance::patchOf(wheels)).toJson()));
    ASSERT_TRUE(writeFile(
        documents.path() + "/settings.json",
        QJsonDocument(
            QJsonObject{{"currentPatch", patchPath}, {"hiResMidi", true}, {"sendingClock", true}})
            .toJson()));
    ASSERT_TRUE(writeFile(documents.path() + "/audioSetup.xml",
                          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<DEVICESETUP deviceType=\"JACK\" audioOutputDeviceName=\"system\" "
                          "audioInputDeviceName=\"system\" audioDeviceRate=\"44100\" "
                          "audioDeviceBufferSize=\"64\"/>\n"));

    ReceiverSimulator::Config config = ReceiverSimulator::Config::withBands(2);
    config.rate = kRate;
    config.gesture = Gesture::Mixed;
    SimulatedReceiver sim(config);
    ASSERT_TRUE(sim.start());
    const ScriptedPerformance performance(
        kRate, {{kBandA, 0, Gesture::Mixed}, {kBandB, 1, Gesture::Mixed}});

    auto backend = std::make_shared<InMemoryMidiBackend>();
    AppRuntime::Options options;
    options.midiBackend = backend;
    options.documentsRoot = documents.path();
    options.portSearch = sim.portSearch();

    const QString virtualPort = QString::fromLatin1(MidiHandler::kVirtualPortName);
    int measuredClocks[2] = {0, 0};
    double expectedClocks[2] = {0.0, 0.0};
    double lostClocks[2] = {0.0, 0.0};
    {
        AppRuntime runtime(gui, options);
        runtime.createSharedObjects();
        runtime.loadPersistentState();
        runtime.connectSignals();
        runtime.startAudio();
        StateManager* state = runtime.stateManager();
        ASSERT_NE(runtime.audioHost(), nullptr);
        ASSERT_EQ(runtime.audioHost()->getCurrentDeviceType(), QStringLiteral("JACK"));
        EXPECT_EQ(state->getAudioBufferSize(), 64);
        EXPECT_TRUE(state->getHiResMidiState());
        EXPECT_TRUE(state->getSendingClockState());

        // Until every wheel has been heard from for a while (the bands warm
        // up first, then the shaking comes in bursts every few seconds).
        QElapsedTimer firstHeard;
        const bool heard = testsupport::waitUntil(
            [&] {
                testsupport::pumpJuceMessages();
                const auto sent = backend->messagesSentTo(virtualPort);
                std::map<int, int> perChannel;
                int channelMessages = 0;
                for (const juce::MidiMessage& m : sent)
                    if (m.getChannel() > 0) {
                        ++perChannel[m.getChannel()];
                        ++channelMessages;
                    }
                if (channelMessages > 0 && !firstHeard.isValid())
                    firstHeard.start();
                return perChannel.size() == 5 && firstHeard.isValid() &&
                       firstHeard.elapsed() > 7000;
            },
            90000);
        ASSERT_TRUE(heard) << "MIDI heard on too few channels";

        // The clock at two tempos, against the wall clock; cycles the server
        // skipped on a loaded machine (its xruns) never reach any client.
        juce::AudioIODevice* device = runtime.audioHost()->deviceManager().getCurrentAudioDevice();
        ASSERT_NE(device, nullptr);
        const int tempos[2] = {120, 180};
        for (int i = 0; i < 2; ++i) {
            state->setTempo(tempos[i]);
            testsupport::waitUntil(
                [] {
                    testsupport::pumpJuceMessages();
                    return false;
                },
                300);
            const int clocksBefore = clockCount(*backend);
            const int xrunsBefore = device->getXRunCount();
            QElapsedTimer clock;
            clock.start();
            testsupport::waitUntil(
                [&] {
                    testsupport::pumpJuceMessages();
                    return clock.elapsed() >= 2500;
                },
                10000);
            const double seconds = double(clock.nsecsElapsed()) * 1e-9;
            measuredClocks[i] = clockCount(*backend) - clocksBefore;
            const double perSecond = 44100.0 / Transport::samplesPerTick(44100, tempos[i]);
            expectedClocks[i] = perSecond * seconds;
            lostClocks[i] =
                perSecond * 2.0 * 64.0 * (device->getXRunCount() - xrunsBefore) / 44100.0;
        }
    }

    // 24 clocks per beat: 48 a second at 120 beats per minute, 72 at 180.
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_LE(measuredClocks[i], expectedClocks[i] * 1.05 + 2.0);
        EXPECT_GE(measuredClocks[i] + lostClocks[i], expectedClocks[i] * 0.95 - 2.0);
    }
    EXPECT_GT(double(measuredClocks[1]) / std::max(1, measuredClocks[0]), 1.3);

    const std::vector<juce::MidiMessage> sent = backend->messagesSentTo(virtualPort);
    for (const ControlSourceParams& wheel : wheels) {
        SCOPED_TRACE(wheel.name.toStdString());
        int brokenPairs = 0;
        const std::vector<int> data = sentData(wheel, sent, brokenPairs);
        EXPECT_EQ(brokenPairs, 0);
        ASSERT_GE(data.size(), 3u) << "too few messages";
        const int band = performance.bandOf(wheel.deviceId);
        std::vector<int> perFrame;
        perFrame.reserve(size_t(kFramesCovered));
        for (uint64_t n = 0; n < kFramesCovered; ++n)
            perFrame.push_back(predictedData(wheel, performance.recordOf(band, n)));
        EXPECT_EQ(longestFramePath(data, perFrame), data.size())
            << "messages that no run of frames explains; first " << data.front() << ", "
            << data.size() << " messages";
    }
}

} // namespace
