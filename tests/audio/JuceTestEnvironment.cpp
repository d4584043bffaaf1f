// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/JuceTestEnvironment.h"

#include <juce_events/juce_events.h>

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <memory>

namespace juce {
// JUCE's own dispatch step on Linux (juce_linux_Messaging.cpp); not in its
// public headers.
bool dispatchNextMessageOnSystemQueue(bool returnIfNoPendingMessages);
} // namespace juce

namespace testsupport {

void pumpJuceMessages()
{
    for (int i = 0; i < 1000 && juce::dispatchNextMessageOnSystemQueue(true); ++i) {
    }
    QCoreApplication::processEvents();
}

namespace {

// JUCE's message manager lives on the test thread for the whole binary, as
// it lives on the GUI thread in the application.
class JuceEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { m_juce = std::make_unique<juce::ScopedJuceInitialiser_GUI>(); }
    void TearDown() override { m_juce.reset(); }

private:
    std::unique_ptr<juce::ScopedJuceInitialiser_GUI> m_juce;
};

const ::testing::Environment* const kJuceEnvironment =
    ::testing::AddGlobalTestEnvironment(new JuceEnvironment);

} // namespace
} // namespace testsupport
