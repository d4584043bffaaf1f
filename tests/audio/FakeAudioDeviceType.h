// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace testsupport {

// What the fake devices of one type report back to the test.
struct FakeDeviceLog
{
    std::atomic<int> opens{0};
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::atomic<double> lastSampleRate{0.0};
    std::atomic<int> lastBufferSize{0};
    // Opening takes this long, so that overlapping opens can be seen.
    std::atomic<int> openDelayMs{0};
    std::atomic<int> opening{0};
    std::atomic<int> maxConcurrentOpens{0};
};

// An output device that runs only when the test asks it to process a block.
class FakeAudioDevice : public juce::AudioIODevice
{
public:
    FakeAudioDevice(const juce::String& deviceName, const juce::String& deviceType,
                    std::shared_ptr<FakeDeviceLog> log);
    ~FakeAudioDevice() override;

    juce::StringArray getOutputChannelNames() override { return {"Out 1", "Out 2", "Out 3"}; }
    juce::StringArray getInputChannelNames() override { return {}; }
    juce::Array<double> getAvailableSampleRates() override { return {44100.0, 48000.0}; }
    juce::Array<int> getAvailableBufferSizes() override
    {
        return {32, 64, 100, 128, 480, 512, 1024};
    }
    int getDefaultBufferSize() override { return 512; }
    juce::String open(const juce::BigInteger& inputChannels, const juce::BigInteger& outputChannels,
                      double sampleRate, int bufferSizeSamples) override;
    void close() override;
    bool isOpen() override { return m_open; }
    void start(juce::AudioIODeviceCallback* callback) override;
    void stop() override;
    bool isPlaying() override { return m_callback != nullptr; }
    juce::String getLastError() override { return {}; }
    int getCurrentBufferSizeSamples() override { return m_bufferSize; }
    double getCurrentSampleRate() override { return m_sampleRate; }
    int getCurrentBitDepth() override { return 32; }
    juce::BigInteger getActiveOutputChannels() const override { return m_outputs; }
    juce::BigInteger getActiveInputChannels() const override { return {}; }
    int getOutputLatencyInSamples() override { return 0; }
    int getInputLatencyInSamples() override { return 0; }

    // Runs one block through the callback (as the device's thread would) into
    // `numChannels` output buffers of `numSamples` each; returns false when
    // the device is not running.
    bool process(std::vector<std::vector<float>>& outputs);

private:
    std::shared_ptr<FakeDeviceLog> m_log;
    std::mutex m_callbackMutex;
    juce::AudioIODeviceCallback* m_callback = nullptr;
    bool m_open = false;
    double m_sampleRate = 0.0;
    int m_bufferSize = 0;
    juce::BigInteger m_outputs;
};

// A device type whose output devices the test plugs in and unplugs.
class FakeAudioDeviceType : public juce::AudioIODeviceType
{
public:
    FakeAudioDeviceType(const juce::String& type, const juce::StringArray& outputs,
                        std::shared_ptr<FakeDeviceLog> log = std::make_shared<FakeDeviceLog>());

    void scanForDevices() override {}
    juce::StringArray getDeviceNames(bool wantInputNames = false) const override;
    int getDefaultDeviceIndex(bool forInput) const override;
    int getIndexOfDevice(juce::AudioIODevice* device, bool asInput) const override;
    bool hasSeparateInputsAndOutputs() const override { return true; }
    juce::AudioIODevice* createDevice(const juce::String& outputDeviceName,
                                      const juce::String& inputDeviceName) override;

    // Changes the list and tells the device manager, as a hot-plug would.
    void plug(const juce::String& name);
    void unplug(const juce::String& name);

    const std::shared_ptr<FakeDeviceLog>& log() const { return m_log; }

private:
    juce::StringArray m_outputs;
    std::shared_ptr<FakeDeviceLog> m_log;
};

} // namespace testsupport
