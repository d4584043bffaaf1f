// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/FakeAudioDeviceType.h"

#include <algorithm>
#include <thread>

namespace testsupport {

FakeAudioDevice::FakeAudioDevice(const juce::String& deviceName, const juce::String& deviceType,
                                 std::shared_ptr<FakeDeviceLog> log)
    : juce::AudioIODevice(deviceName, deviceType), m_log(std::move(log))
{
}

FakeAudioDevice::~FakeAudioDevice()
{
    close();
}

juce::String FakeAudioDevice::open(const juce::BigInteger&, const juce::BigInteger& outputChannels,
                                   double sampleRate, int bufferSizeSamples)
{
    const int inside = ++m_log->opening;
    int seen = m_log->maxConcurrentOpens.load();
    while (inside > seen && !m_log->maxConcurrentOpens.compare_exchange_weak(seen, inside)) {
    }
    if (const int delay = m_log->openDelayMs.load(); delay > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    m_outputs = outputChannels;
    m_sampleRate = sampleRate;
    m_bufferSize = bufferSizeSamples;
    m_open = true;
    ++m_log->opens;
    m_log->lastSampleRate = sampleRate;
    m_log->lastBufferSize = bufferSizeSamples;
    --m_log->opening;
    return {};
}

void FakeAudioDevice::close()
{
    stop();
    m_open = false;
}

void FakeAudioDevice::start(juce::AudioIODeviceCallback* callback)
{
    if (callback == nullptr || !m_open)
        return;
    callback->audioDeviceAboutToStart(this);
    std::lock_guard<std::mutex> lock(m_callbackMutex);
    m_callback = callback;
    ++m_log->starts;
}

void FakeAudioDevice::stop()
{
    juce::AudioIODeviceCallback* callback = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_callbackMutex);
        std::swap(callback, m_callback);
    }
    if (callback != nullptr) {
        ++m_log->stops;
        callback->audioDeviceStopped();
    }
}

bool FakeAudioDevice::process(std::vector<std::vector<float>>& outputs)
{
    std::lock_guard<std::mutex> lock(m_callbackMutex);
    if (m_callback == nullptr || outputs.empty())
        return false;
    std::vector<float*> channels;
    for (auto& channel : outputs)
        channels.push_back(channel.data());
    const int numSamples = static_cast<int>(outputs.front().size());
    m_callback->audioDeviceIOCallbackWithContext(nullptr, 0, channels.data(),
                                                 static_cast<int>(channels.size()), numSamples, {});
    return true;
}

FakeAudioDeviceType::FakeAudioDeviceType(const juce::String& type, const juce::StringArray& outputs,
                                         std::shared_ptr<FakeDeviceLog> log)
    : juce::AudioIODeviceType(type), m_outputs(outputs), m_log(std::move(log))
{
}

juce::StringArray FakeAudioDeviceType::getDeviceNames(bool wantInputNames) const
{
    return wantInputNames ? juce::StringArray() : m_outputs;
}

int FakeAudioDeviceType::getDefaultDeviceIndex(bool forInput) const
{
    return forInput ? -1 : 0;
}

int FakeAudioDeviceType::getIndexOfDevice(juce::AudioIODevice* device, bool asInput) const
{
    if (device == nullptr || asInput)
        return -1;
    return m_outputs.indexOf(device->getName());
}

juce::AudioIODevice* FakeAudioDeviceType::createDevice(const juce::String& outputDeviceName,
                                                       const juce::String&)
{
    if (!m_outputs.contains(outputDeviceName))
        return nullptr;
    return new FakeAudioDevice(outputDeviceName, getTypeName(), m_log);
}

void FakeAudioDeviceType::plug(const juce::String& name)
{
    m_outputs.addIfNotAlreadyThere(name);
    callDeviceChangeListeners();
}

void FakeAudioDeviceType::unplug(const juce::String& name)
{
    m_outputs.removeString(name);
    callDeviceChangeListeners();
}

} // namespace testsupport
