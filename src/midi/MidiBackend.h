// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVector>

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_audio_devices/juce_audio_devices.h>

#include <memory>

// The system's MIDI service as MidiHandler sees it: lists of devices (name
// and opaque identifier), inputs opened with a callback, outputs that take
// messages. The real service goes through JUCE; tests use an in-memory one.
// All list and open calls are made on the GUI thread. An opened Output may be
// used from any one thread at a time (the owner serialises); an opened Input
// calls its callback on the service's own thread once started.
class MidiBackend
{
public:
    struct PortInfo
    {
        QString name;
        QString identifier;

        bool operator==(const PortInfo& other) const
        {
            return name == other.name && identifier == other.identifier;
        }
    };

    class Output
    {
    public:
        virtual ~Output() = default;
        virtual PortInfo info() const = 0;
        // Sends one message at once. Must not allocate for short messages.
        virtual void send(const juce::MidiMessage& message) = 0;
    };

    class Input
    {
    public:
        virtual ~Input() = default; // stops delivery before returning
        virtual PortInfo info() const = 0;
        virtual void start() = 0;
        virtual void stop() = 0;
    };

    virtual ~MidiBackend() = default;

    virtual QVector<PortInfo> availableInputs() = 0;
    virtual QVector<PortInfo> availableOutputs() = 0;
    // Null when the device cannot be opened.
    virtual std::unique_ptr<Input> openInput(const QString& identifier,
                                             juce::MidiInputCallback* callback) = 0;
    virtual std::unique_ptr<Output> openOutput(const QString& identifier) = 0;
    // Creates an output port of our own that other programs can read. Null
    // on failure, with a human-readable reason in `reason`.
    virtual std::unique_ptr<Output> createVirtualOutput(const QString& name, QString& reason) = 0;
};
