#pragma once

#include "midi/InMemoryMidiBackend.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace miditest {

// "90 30 64" for one message; messages joined by " | ". Readable in
// assertion failures and easy to write expectations for.
inline std::string hex(const juce::MidiMessage& message)
{
    QStringList bytes;
    const juce::uint8* data = message.getRawData();
    for (int i = 0; i < message.getRawDataSize(); ++i)
        bytes << QStringLiteral("%1").arg(data[i], 2, 16, QLatin1Char('0')).toUpper();
    return bytes.join(QLatin1Char(' ')).toStdString();
}

inline std::string hex(const std::vector<juce::MidiMessage>& messages)
{
    std::string text;
    for (const auto& message : messages) {
        if (!text.empty())
            text += " | ";
        text += hex(message);
    }
    return text;
}

inline std::vector<std::string> ports(const std::vector<InMemoryMidiBackend::Delivery>& deliveries)
{
    std::vector<std::string> names;
    for (const auto& delivery : deliveries)
        names.push_back(delivery.port.toStdString());
    return names;
}

} // namespace miditest
