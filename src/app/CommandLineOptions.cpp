// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLineOptions.h"

CommandLineOptions CommandLineOptions::parse(const QStringList& arguments)
{
    CommandLineOptions o;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        const auto takeValue = [&](const QString& name, QString& into) {
            if (a.startsWith(name + QLatin1Char('='))) {
                into = a.mid(name.size() + 1);
                return true;
            }
            if (a == name) {
                if (i + 1 >= arguments.size()) {
                    o.action = Action::Fail;
                    o.error = QStringLiteral("option %1 needs a value").arg(name);
                    return true;
                }
                into = arguments.at(++i);
                return true;
            }
            return false;
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            o.action = Action::ShowHelp;
            return o;
        }
        if (a == QLatin1String("--version") || a == QLatin1String("-v")) {
            o.action = Action::ShowVersion;
            return o;
        }
        if (a == QLatin1String("--probe-renderer")) {
            o.action = Action::ProbeRenderer;
            return o;
        }
        if (a == QLatin1String("--demo")) {
            o.demo = true;
            continue;
        }
        if (a == QLatin1String("--headless")) {
            o.headless = true;
            continue;
        }
        QString service;
        if (takeValue(QStringLiteral("--midi-service"), service)) {
            if (o.action == Action::Fail)
                return o;
            if (service == QLatin1String("system")) {
                o.midiService = MidiService::System;
            } else if (service == QLatin1String("none")) {
                o.midiService = MidiService::None;
            } else {
                o.action = Action::Fail;
                o.error =
                    QStringLiteral("--midi-service takes system or none, not %1").arg(service);
                return o;
            }
            continue;
        }
        if (takeValue(QStringLiteral("--port"), o.port) ||
            takeValue(QStringLiteral("--record"), o.recordPath) ||
            takeValue(QStringLiteral("--patch"), o.patchPath) ||
            takeValue(QStringLiteral("--qml"), o.mainDocument) ||
            takeValue(QStringLiteral("--screenshot"), o.screenshotPath)) {
            if (o.action == Action::Fail)
                return o;
            continue;
        }
        QString delay;
        if (takeValue(QStringLiteral("--screenshot-delay"), delay)) {
            if (o.action == Action::Fail)
                return o;
            bool ok = false;
            o.screenshotDelayMs = delay.toInt(&ok);
            if (!ok || o.screenshotDelayMs < 0) {
                o.action = Action::Fail;
                o.error =
                    QStringLiteral("--screenshot-delay takes milliseconds, not %1").arg(delay);
                return o;
            }
            continue;
        }
        // Arguments Qt itself understands (-platform, -style, ...) are left
        // to it; anything else that looks like an option is an error.
        if (a.startsWith(QLatin1String("--"))) {
            o.action = Action::Fail;
            o.error = QStringLiteral("unknown option %1").arg(a);
            return o;
        }
    }
    if (o.demo && !o.port.isEmpty()) {
        o.action = Action::Fail;
        o.error = QStringLiteral("--demo and --port cannot be used together");
    }
    if (o.action == Action::Run && !o.headless && !o.patchPath.isEmpty()) {
        o.action = Action::Fail;
        o.error = QStringLiteral("--patch works with --headless only (the window opens patches "
                                 "from its menu)");
    }
    if (o.action == Action::Run && o.headless &&
        (!o.mainDocument.isEmpty() || !o.screenshotPath.isEmpty())) {
        o.action = Action::Fail;
        o.error = QStringLiteral("--qml and --screenshot need the window, not --headless");
    }
    return o;
}

QString CommandLineOptions::helpText(const QString& program)
{
    return QStringLiteral(
               "Usage: %1 [options]\n"
               "\n"
               "Kinetra turns the motion of Orvik wristbands into MIDI and OSC.\n"
               "Without options it searches for the Tessel receiver and connects to it.\n"
               "\n"
               "Options:\n"
               "  --port PATH    use the serial device PATH instead of searching for the\n"
               "                 receiver (another adapter, or the receiver simulator)\n"
               "  --demo         run a simulated receiver with four bands inside Kinetra\n"
               "                 and connect to it (no hardware needed)\n"
               "  --record FILE  record everything the receiver sends to FILE, for\n"
               "                 replay with kinetra-sim --replay FILE\n"
               "  --headless     run without a window or a display: the receiver link, the\n"
               "                 wheels, MIDI, OSC, the clock and audio; a status line on\n"
               "                 standard error every 10 seconds; SIGTERM, SIGINT or SIGHUP\n"
               "                 quit and save as the window's Quit does\n"
               "  --patch FILE   with --headless: load the patch FILE instead of the current\n"
               "                 one (it becomes the current patch)\n"
               "  --midi-service system|none  the system's MIDI service (default), or none:\n"
               "                 messages are counted and dropped\n"
               "  --qml FILE     load FILE as the main window document instead of the\n"
               "                 built-in one (for developing the window)\n"
               "  --screenshot FILE  save a PNG picture of the window to FILE once it has\n"
               "                 run for --screenshot-delay MS milliseconds (default 3000)\n"
               "  -h, --help     show this help and exit\n"
               "  -v, --version  show the version and exit\n"
               "\n"
               "Files live in the documents folder under Vantor/Kinetra.\n")
        .arg(program);
}

QString CommandLineOptions::versionText()
{
    return QStringLiteral("Kinetra %1\n").arg(QStringLiteral(KINETRA_VERSION));
}
