// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/AppRuntime.h"
#include "app/CommandLineOptions.h"

#include <QString>

#include <cstdint>
#include <functional>

class LinkHealth;
class MotionControlEngine;

// Kinetra without a window (`--headless`): the whole back end (receiver
// link, wheels, MIDI, OSC, clock and audio) under a core application, with
// no display, no OpenGL and no QML documents. The registry, the settings and
// the current patch (or the one given) load as usual; SIGTERM, SIGINT and
// SIGHUP quit through the same sequence as the window's Quit, which saves.
// Every warning and, every ten seconds, one status line go to standard
// error (a service manager's journal keeps both).
class HeadlessRunner
{
public:
    static constexpr int kStatusIntervalMs = 10000;

    explicit HeadlessRunner(CommandLineOptions options);

    // Sets up where the link reads from (the demo receiver, a recording),
    // once the application object exists; false stops the start (it has
    // said why).
    using LinkSetup = std::function<bool(AppRuntime::Options&)>;

    // Creates the application object, runs until a quit and returns the
    // exit code; `tearDownLink` undoes `setUpLink` after the back end is
    // gone and before the application object goes.
    int run(int& argc, char** argv, const LinkSetup& setUpLink,
            const std::function<void()>& tearDownLink);

    // "status: 4 of 4 bands connected, 400 frames/s, 1234 MIDI messages
    // sent; band 1: ...; band 2: ..."
    static QString statusLine(const MotionControlEngine& engine, const LinkHealth& health,
                              uint64_t midiMessagesSent);

private:
    CommandLineOptions m_options;
};
