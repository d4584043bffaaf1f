// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/JuceMidiBackend.h"

#include <QFileInfo>

namespace {

const QString kSequencerDevice = QStringLiteral("/dev/snd/seq");

// Without the sequencer device every JUCE call would fail anyway, after
// libasound printed an error line for it (twice a second from the scan) and,
// for createNewDevice, after JUCE leaked the half-made port.
bool sequencerPresent()
{
    return QFileInfo::exists(kSequencerDevice);
}

juce::String toJuce(const QString& text)
{
    return juce::String::fromUTF8(text.toUtf8().constData());
}

QString fromJuce(const juce::String& text)
{
    return QString::fromUtf8(text.toRawUTF8());
}

MidiBackend::PortInfo fromJuce(const juce::MidiDeviceInfo& info)
{
    return {fromJuce(info.name), fromJuce(info.identifier)};
}

QVector<MidiBackend::PortInfo> convert(const juce::Array<juce::MidiDeviceInfo>& devices)
{
    QVector<MidiBackend::PortInfo> ports;
    ports.reserve(devices.size());
    for (const auto& device : devices)
        ports.append(fromJuce(device));
    return ports;
}

class JuceOutput : public MidiBackend::Output
{
public:
    explicit JuceOutput(std::unique_ptr<juce::MidiOutput> device) : m_device(std::move(device)) {}
    MidiBackend::PortInfo info() const override { return fromJuce(m_device->getDeviceInfo()); }
    void send(const juce::MidiMessage& message) override { m_device->sendMessageNow(message); }

private:
    std::unique_ptr<juce::MidiOutput> m_device;
};

class JuceInput : public MidiBackend::Input
{
public:
    explicit JuceInput(std::unique_ptr<juce::MidiInput> device) : m_device(std::move(device)) {}
    ~JuceInput() override { m_device->stop(); }
    MidiBackend::PortInfo info() const override { return fromJuce(m_device->getDeviceInfo()); }
    void start() override { m_device->start(); }
    void stop() override { m_device->stop(); }

private:
    std::unique_ptr<juce::MidiInput> m_device;
};

} // namespace

QVector<MidiBackend::PortInfo> JuceMidiBackend::availableInputs()
{
    if (!sequencerPresent())
        return {};
    return convert(juce::MidiInput::getAvailableDevices());
}

QVector<MidiBackend::PortInfo> JuceMidiBackend::availableOutputs()
{
    if (!sequencerPresent())
        return {};
    return convert(juce::MidiOutput::getAvailableDevices());
}

std::unique_ptr<MidiBackend::Input> JuceMidiBackend::openInput(const QString& identifier,
                                                               juce::MidiInputCallback* callback)
{
    if (identifier.isEmpty() || !sequencerPresent())
        return nullptr;
    auto device = juce::MidiInput::openDevice(toJuce(identifier), callback);
    if (device == nullptr)
        return nullptr;
    return std::make_unique<JuceInput>(std::move(device));
}

std::unique_ptr<MidiBackend::Output> JuceMidiBackend::openOutput(const QString& identifier)
{
    if (identifier.isEmpty() || !sequencerPresent())
        return nullptr;
    auto device = juce::MidiOutput::openDevice(toJuce(identifier));
    if (device == nullptr)
        return nullptr;
    return std::make_unique<JuceOutput>(std::move(device));
}

std::unique_ptr<MidiBackend::Output> JuceMidiBackend::createVirtualOutput(const QString& name,
                                                                          QString& reason)
{
    if (!sequencerPresent()) {
        reason = QStringLiteral("the ALSA sequencer is not available (%1 does not exist)")
                     .arg(kSequencerDevice);
        return nullptr;
    }
    auto device = juce::MidiOutput::createNewDevice(toJuce(name));
    if (device != nullptr)
        return std::make_unique<JuceOutput>(std::move(device));
    if (!QFileInfo(kSequencerDevice).isWritable())
        reason =
            QStringLiteral("no permission to use the ALSA sequencer (%1)").arg(kSequencerDevice);
    else
        reason = QStringLiteral("the ALSA sequencer refused to create the port");
    return nullptr;
}
