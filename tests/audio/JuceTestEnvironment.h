// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace testsupport {

// Delivers every JUCE message that is waiting (change broadcasts, async
// updates) on this, the message thread, and the Qt events too. The
// application bridges the two loops; tests pump them by hand.
void pumpJuceMessages();

} // namespace testsupport
