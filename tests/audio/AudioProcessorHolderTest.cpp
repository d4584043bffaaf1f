// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioProcessorHolder.h"
#include "app/StateManager.h"
#include "audio/FakeAudioDeviceType.h"
#include "audio/JuceTestEnvironment.h"
#include "support/SignalWait.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <thread>

using testsupport::FakeAudioDevice;
using testsupport::FakeAudioDeviceType;
using testsupport::pumpJuceMessages;

namespace {

// A holder over stand-in devices: type "Fake" with the given outputs, and an
// empty "DirectSound" type that must never be offered.
class AudioHost : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        setupFile = dir.filePath(QStringLiteral("Vantor/Kinetra/audioSetup.xml"));
    }

    void TearDown() override
    {
        holder.reset();
        pumpJuceMessages();
    }

    void createHolder(const juce::StringArray& outputs = {"Built-in Output", "HDMI"})
    {
        holder = std::make_unique<AudioProcessorHolder>(setupFile, state, nullptr);
        auto type = std::make_unique<FakeAudioDeviceType>("Fake", outputs);
        fake = type.get();
        holder->addAudioDeviceType(std::move(type));
        holder->addAudioDeviceType(
            std::make_unique<FakeAudioDeviceType>("DirectSound", juce::StringArray{}));
        changes =
            std::make_unique<QSignalSpy>(holder.get(), &AudioProcessorHolder::audioDeviceChanged);
    }

    void writeSetupFile(const QByteArray& content)
    {
        QDir().mkpath(QFileInfo(setupFile).absolutePath());
        QFile f(setupFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    FakeAudioDevice* device()
    {
        return dynamic_cast<FakeAudioDevice*>(holder->deviceManager().getCurrentAudioDevice());
    }

    QTemporaryDir dir;
    QString setupFile;
    StateManager state;
    std::unique_ptr<AudioProcessorHolder> holder;
    FakeAudioDeviceType* fake = nullptr;
    std::unique_ptr<QSignalSpy> changes;
};

TEST_F(AudioHost, FirstRunOpensTheDefaultDeviceAtTheStatesRateAndSize)
{
    createHolder();
    holder->initialise();
    ASSERT_NE(device(), nullptr);
    EXPECT_EQ(holder->getCurrentDevice(), QStringLiteral("Built-in Output"));
    EXPECT_EQ(holder->getCurrentDeviceType(), QStringLiteral("Fake"));
    EXPECT_EQ(fake->log()->lastSampleRate.load(), 44100.0);
    EXPECT_EQ(fake->log()->lastBufferSize.load(), 64);
    EXPECT_EQ(state.getAudioSampleRate(), 44100);
    EXPECT_EQ(state.getAudioBufferSize(), 64);
    EXPECT_GE(changes->count(), 1);
    EXPECT_EQ(holder->getAllAudioDevices(),
              (QStringList{QStringLiteral("Built-in Output"), QStringLiteral("HDMI")}));

    // Quitting writes a set-up that names the device; the next start finds it.
    holder->saveDeviceState();
    ASSERT_TRUE(QFile::exists(setupFile));
    auto xml = juce::parseXML(juce::File(setupFile.toStdString()));
    ASSERT_NE(xml, nullptr);
    EXPECT_TRUE(xml->hasTagName("DEVICESETUP"));
    EXPECT_EQ(xml->getStringAttribute("audioOutputDeviceName"), juce::String("Built-in Output"));
}

TEST_F(AudioHost, DeviceListsLeaveOutDirectSoundAndOfferSmallMultiplesOfEight)
{
    createHolder();
    EXPECT_TRUE(holder->getAvailableAudioBufferSize().isEmpty());
    holder->initialise();
    EXPECT_EQ(holder->getAudioDeviceTypes(), QStringList{QStringLiteral("Fake")});
    EXPECT_EQ(holder->getAvailableAudioBufferSize(), (QList<int>{32, 64, 128, 480, 512}));
    EXPECT_EQ(AudioProcessorHolder::usableBufferSizes({0, -8, 8, 12, 256, 520, 4096}),
              (QList<int>{8, 256}));
}

TEST_F(AudioHost, EachStartUpdatesTheStateAndTheTone)
{
    createHolder();
    holder->initialise();
    const int before = changes->count();
    holder->setAudioBufferSize(128);
    EXPECT_EQ(fake->log()->lastBufferSize.load(), 128);
    EXPECT_EQ(state.getAudioBufferSize(), 128);
    EXPECT_GT(changes->count(), before);

    // The device's rate reaches the state and both oscillators.
    juce::AudioDeviceManager::AudioDeviceSetup setup =
        holder->deviceManager().getAudioDeviceSetup();
    setup.sampleRate = 48000.0;
    holder->deviceManager().setAudioDeviceSetup(setup, true);
    EXPECT_EQ(state.getAudioSampleRate(), 48000);
    EXPECT_EQ(holder->toneGenerator().tone().getSampleRate(), 48000.0f);
    EXPECT_EQ(holder->toneGenerator().lfo().getSampleRate(), 48000.0f);
}

TEST_F(AudioHost, ChoosingADeviceAsksForThePreferredRateAndSize)
{
    createHolder();
    holder->initialise();
    holder->setAudioBufferSize(480);
    ASSERT_EQ(fake->log()->lastBufferSize.load(), 480);

    holder->setAudioDevice(QStringLiteral("HDMI"));
    EXPECT_EQ(holder->getCurrentDevice(), QStringLiteral("HDMI"));
    EXPECT_EQ(fake->log()->lastSampleRate.load(), 44100.0);
    EXPECT_EQ(fake->log()->lastBufferSize.load(), 64);
    EXPECT_EQ(state.getAudioBufferSize(), 64);

    // A name that is not (or no longer) listed leaves the device playing.
    const int opens = fake->log()->opens.load();
    holder->setAudioDevice(QStringLiteral("No Such Device"));
    EXPECT_EQ(holder->getCurrentDevice(), QStringLiteral("HDMI"));
    EXPECT_EQ(fake->log()->opens.load(), opens);
}

TEST_F(AudioHost, APluggedOutputTakesOverAndUnpluggingItLeavesNoneOpen)
{
    createHolder({"Built-in Output"});
    holder->initialise();
    ASSERT_EQ(holder->getCurrentDevice(), QStringLiteral("Built-in Output"));
    holder->setAudioBufferSize(128);

    changes->clear();
    fake->plug("USB Headset");
    pumpJuceMessages();
    EXPECT_EQ(holder->getCurrentDevice(), QStringLiteral("USB Headset"));
    EXPECT_EQ(fake->log()->lastBufferSize.load(), 64);
    EXPECT_GE(changes->count(), 1);
    // The new device carries the audio.
    std::vector<std::vector<float>> out(2, std::vector<float>(64, 9.0f));
    EXPECT_TRUE(device()->process(out));

    changes->clear();
    fake->unplug("USB Headset");
    pumpJuceMessages();
    EXPECT_TRUE(holder->getCurrentDevice().isEmpty());
    EXPECT_EQ(device(), nullptr);
    EXPECT_GE(changes->count(), 1);
    EXPECT_TRUE(holder->getAvailableAudioBufferSize().isEmpty());
}

TEST_F(AudioHost, UnpluggingAnUnusedOutputKeepsTheDeviceInUse)
{
    createHolder({"Built-in Output", "HDMI"});
    holder->initialise();
    ASSERT_EQ(holder->getCurrentDevice(), QStringLiteral("Built-in Output"));
    const int opens = fake->log()->opens.load();

    changes->clear();
    fake->unplug("HDMI");
    pumpJuceMessages();
    EXPECT_EQ(holder->getCurrentDevice(), QStringLiteral("Built-in Output"));
    EXPECT_EQ(fake->log()->opens.load(), opens);
    EXPECT_GE(changes->count(), 1);
    EXPECT_EQ(holder->getAllAudioDevices(), QStringList{QStringLiteral("Built-in Output")});

    // The list is followed from here on: a new device still takes over.
    fake->plug("USB Headset");
    pumpJuceMessages();
    EXPECT_EQ(holder->getCurrentDevice(), QStringLiteral("USB Headset"));
}

TEST_F(AudioHost, UnusableSetupFilesAreDeletedAtStart)
{
    const QList<QByteArray> bad = {
        QByteArrayLiteral("this is not xml <<<"),
        QByteArrayLiteral("<DEVICESETUP deviceType=\"Fake\"/>"),
        QByteArrayLiteral("<DEVICESETUP deviceType=\"Fake\" audioOutputDeviceName=\"\"/>"),
        QByteArray(),
    };
    for (const QByteArray& content : bad) {
        writeSetupFile(content);
        createHolder();
        holder->initialise();
        EXPECT_FALSE(QFile::exists(setupFile)) << content.constData();
        EXPECT_EQ(holder->getCurrentDevice(), QStringLiteral("Built-in Output"));
        EXPECT_TRUE(holder->savedDeviceState().hasTagName("audioSetup"));
        holder.reset();
        pumpJuceMessages();
    }
}

TEST_F(AudioHost, ASavedChoiceIsRestored)
{
    writeSetupFile(QByteArrayLiteral(
        "<DEVICESETUP deviceType=\"Fake\" audioOutputDeviceName=\"HDMI\" audioInputDeviceName=\"\" "
        "audioDeviceRate=\"48000.0\" audioDeviceBufferSize=\"128\"/>"));
    createHolder();
    holder->initialise();
    EXPECT_TRUE(QFile::exists(setupFile));
    EXPECT_EQ(holder->getCurrentDevice(), QStringLiteral("HDMI"));
    EXPECT_EQ(state.getAudioSampleRate(), 48000);
    EXPECT_EQ(state.getAudioBufferSize(), 128);
    EXPECT_EQ(holder->savedDeviceState().getStringAttribute("audioOutputDeviceName"),
              juce::String("HDMI"));

    // A saved device that is gone falls back to the default one.
    holder.reset();
    pumpJuceMessages();
    writeSetupFile(
        QByteArrayLiteral("<DEVICESETUP deviceType=\"Fake\" audioOutputDeviceName=\"Gone\"/>"));
    createHolder();
    holder->initialise();
    EXPECT_EQ(holder->getCurrentDevice(), QStringLiteral("Built-in Output"));
}

TEST_F(AudioHost, SavingWithoutAnyDeviceLeavesTheFileAlone)
{
    createHolder({});
    holder->initialise();
    EXPECT_TRUE(holder->getCurrentDevice().isEmpty());
    holder->saveDeviceState();
    EXPECT_FALSE(QFile::exists(setupFile));
}

TEST_F(AudioHost, DetachingStopsTheToneAndTheCallback)
{
    createHolder();
    holder->initialise();
    holder->setFrequency(440.0f);
    holder->setPlaying(true);
    int blocks = 0;
    holder->setBlockObserver([&](int) { ++blocks; });
    std::vector<std::vector<float>> out(2, std::vector<float>(64, 0.0f));
    ASSERT_TRUE(device()->process(out));
    EXPECT_EQ(blocks, 1);

    changes->clear();
    holder->detachFromDevice();
    EXPECT_FALSE(holder->toneGenerator().isPlaying());
    EXPECT_GE(changes->count(), 1);
    device()->process(out);
    EXPECT_EQ(blocks, 1);
    // Twice is harmless, and so is destruction afterwards.
    holder->detachFromDevice();
}

TEST_F(AudioHost, AStoppedDeviceSilencesTheTone)
{
    createHolder();
    holder->initialise();
    holder->setPlaying(true);
    holder->setAudioDevice(QStringLiteral("HDMI"));
    EXPECT_FALSE(holder->toneGenerator().isPlaying());
}

TEST_F(AudioHost, OverlappingDriverChangesRunOneAfterTheOther)
{
    createHolder();
    auto other =
        std::make_unique<FakeAudioDeviceType>("Other", juce::StringArray{"Line Out"}, fake->log());
    holder->addAudioDeviceType(std::move(other));
    holder->initialise();
    fake->log()->openDelayMs = 100;
    fake->log()->maxConcurrentOpens = 0;

    std::thread first([&] { holder->setAudioDeviceType(QStringLiteral("Other")); });
    std::thread second([&] { holder->setAudioDeviceType(QStringLiteral("Fake")); });
    // The GUI keeps asking meanwhile.
    for (int i = 0; i < 20; ++i) {
        holder->getAllAudioDevices();
        holder->getCurrentDevice();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    first.join();
    second.join();
    pumpJuceMessages();

    EXPECT_EQ(fake->log()->maxConcurrentOpens.load(), 1);
    const QString type = holder->getCurrentDeviceType();
    const QString name = holder->getCurrentDevice();
    ASSERT_FALSE(name.isEmpty());
    EXPECT_TRUE(holder->getAllAudioDevices().contains(name)) << type.toStdString();
    EXPECT_EQ(QString::fromUtf8(device()->getTypeName().toRawUTF8()), type);
}

TEST_F(AudioHost, ASwitchedDriverIsNotMistakenForUnpluggedDevices)
{
    createHolder({"Built-in Output", "HDMI", "USB"});
    holder->addAudioDeviceType(
        std::make_unique<FakeAudioDeviceType>("Other", juce::StringArray{"Line Out"}));
    holder->initialise();
    holder->setAudioDeviceType(QStringLiteral("Other"));
    pumpJuceMessages();
    EXPECT_EQ(holder->getCurrentDeviceType(), QStringLiteral("Other"));
    EXPECT_EQ(holder->getCurrentDevice(), QStringLiteral("Line Out"));
}

TEST(AudioDeviceWatch, FindsTheLastNameMissingFromTheShorterList)
{
    const QStringList two{QStringLiteral("A"), QStringLiteral("B")};
    EXPECT_EQ(AudioProcessorHolder::changedDevice(two, {"A", "B", "C"}), QStringLiteral("C"));
    EXPECT_EQ(AudioProcessorHolder::changedDevice(two, {"C", "A", "D", "B"}), QStringLiteral("D"));
    EXPECT_EQ(AudioProcessorHolder::changedDevice(two, {"B"}), QStringLiteral("A"));
    EXPECT_EQ(AudioProcessorHolder::changedDevice(two, {}), QStringLiteral("B"));
    EXPECT_TRUE(AudioProcessorHolder::changedDevice(two, two).isEmpty());
}

} // namespace
