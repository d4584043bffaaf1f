// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/JuceMidiBackend.h"
#include "midi/MidiHandler.h"

#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

// The real MIDI service of this machine. Without an ALSA sequencer the
// virtual port cannot exist; the handler must say so and carry on.
TEST(JuceMidiBackendTest, HandlerRunsWhateverTheMachineOffers)
{
    MidiHandler handler(std::make_shared<JuceMidiBackend>());
    if (!QFileInfo::exists(QStringLiteral("/dev/snd/seq"))) {
        EXPECT_FALSE(handler.isVirtualPortOpen());
    }
    ASSERT_TRUE(QMetaObject::invokeMethod(&handler, "devicePilot", Qt::DirectConnection));
    for (const auto& input : handler.listedInputs())
        EXPECT_NE(input.name, QStringLiteral("KinetraMIDIPort"));
    for (const auto& output : handler.listedOutputs())
        EXPECT_NE(output.name, QStringLiteral("KinetraMIDIPort"));
    handler.queueMessage(juce::MidiMessage::midiClock());
    handler.flushBuffer();
    handler.sendNow(juce::MidiMessage::midiStop());
    EXPECT_EQ(handler.pendingCount(), 0);
}

TEST(JuceMidiBackendTest, UnknownIdentifiersDoNotOpen)
{
    JuceMidiBackend backend;
    EXPECT_EQ(backend.openOutput(QString()), nullptr);
    EXPECT_EQ(backend.openInput(QString(), nullptr), nullptr);
    EXPECT_EQ(backend.openOutput(QStringLiteral("no such device")), nullptr);
}

} // namespace
