// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// What a user can say on the command line. None of it changes the default
// behaviour: without options Kinetra searches for the receiver as usual.
class CommandLineOptions
{
public:
    enum class Action
    {
        Run,
        ShowHelp,
        ShowVersion,
        // Print the OpenGL renderer's name and exit: start-up asks a child
        // process, so that the window's own process loads OpenGL only when
        // it draws with it.
        ProbeRenderer,
        Fail
    };

    static CommandLineOptions parse(const QStringList& arguments);
    static QString helpText(const QString& program);
    static QString versionText();

    Action action = Action::Run;
    // A serial device to use instead of searching for the receiver.
    QString port;
    // Run an in-process receiver simulator and connect to it.
    bool demo = false;
    // Record what the receiver sends to this file.
    QString recordPath;
    // A main window document to load instead of the built-in one.
    QString mainDocument;
    // Save a picture of the main window to this PNG file after
    // screenshotDelayMs (documentation and tests).
    QString screenshotPath;
    int screenshotDelayMs = 3000;
    // Run the back end alone, without a window or a display.
    bool headless = false;
    // With headless: a patch to load instead of the current one.
    QString patchPath;
    // Which MIDI service to use: the system's, or none (messages are
    // counted and dropped).
    enum class MidiService
    {
        System,
        None
    };
    MidiService midiService = MidiService::System;
    // Why parsing failed (with Action::Fail).
    QString error;
};
