// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shutting down with a screen reader attached. While the QML engine destroys
// the window's items, every focus change among them is reported to the
// accessibility bridge, which then asks the half-destroyed item for its role
// and crashes. Once the event loop has ended nobody can read the window any
// more, so the notices are dropped from then on.
class AccessibilityTeardown
{
public:
    // Drops every later accessibility notice. Call on the main thread after
    // the event loop has returned and before the QML engine is destroyed.
    static void silence();
};
