// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiBackend.h"

#include <QByteArray>
#include <QStringList>

#include <memory>
#include <vector>

// A MIDI service held in memory, for tests and for running without any MIDI
// system: device lists are scripted, every message sent to an output is
// captured under the output's name, and incoming messages are injected by
// hand. Safe to use from several threads; opened ports stay valid after the
// backend itself is gone.
class InMemoryMidiBackend : public MidiBackend
{
public:
    struct Delivery
    {
        QString port; // output name
        juce::MidiMessage message;
    };

    InMemoryMidiBackend();
    ~InMemoryMidiBackend() override;

    // Scripted devices, in the order the system would list them.
    void setInputs(const QVector<PortInfo>& inputs);
    void setOutputs(const QVector<PortInfo>& outputs);
    // Devices whose identifier is listed here fail to open.
    void setUnopenable(const QStringList& identifiers);
    // Whether createVirtualOutput succeeds (it does by default).
    void setVirtualPortsSupported(bool supported);

    // Every message sent to an output of that name, oldest first.
    std::vector<juce::MidiMessage> messagesSentTo(const QString& portName) const;
    // The same as one byte string.
    QByteArray bytesSentTo(const QString& portName) const;
    // Every message sent to any output, in sending order.
    std::vector<Delivery> deliveries() const;
    void clearCaptured();

    // Identifiers of the inputs that are open (and of the started ones).
    QStringList openInputs() const;
    QStringList startedInputs() const;
    // Identifiers of the outputs that are open, in opening order.
    QStringList openOutputs() const;

    // Hands `message` to the callback of the started input `identifier`, on
    // the calling thread. Returns false when no such input is started.
    bool injectIncoming(const QString& identifier, const juce::MidiMessage& message);

    QVector<PortInfo> availableInputs() override;
    QVector<PortInfo> availableOutputs() override;
    std::unique_ptr<Input> openInput(const QString& identifier,
                                     juce::MidiInputCallback* callback) override;
    std::unique_ptr<Output> openOutput(const QString& identifier) override;
    std::unique_ptr<Output> createVirtualOutput(const QString& name, QString& reason) override;

    struct State;

private:
    std::shared_ptr<State> m_state;
};
