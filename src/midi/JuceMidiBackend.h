// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/MidiBackend.h"

// The system's MIDI service through JUCE (on Linux: the ALSA sequencer).
// Device identifiers are JUCE's, compared as opaque strings.
class JuceMidiBackend : public MidiBackend
{
public:
    QVector<PortInfo> availableInputs() override;
    QVector<PortInfo> availableOutputs() override;
    std::unique_ptr<Input> openInput(const QString& identifier,
                                     juce::MidiInputCallback* callback) override;
    std::unique_ptr<Output> openOutput(const QString& identifier) override;
    // Creates an ALSA sequencer port that other programs can read. Fails
    // (with a reason) when the sequencer is missing, e.g. no /dev/snd/seq.
    std::unique_ptr<Output> createVirtualOutput(const QString& name, QString& reason) override;
};
