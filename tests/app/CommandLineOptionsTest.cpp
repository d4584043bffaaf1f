// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLineOptions.h"

#include <gtest/gtest.h>

namespace {
CommandLineOptions parse(QStringList args)
{
    args.prepend("kinetra");
    return CommandLineOptions::parse(args);
}
} // namespace

TEST(CommandLineOptions, NoOptionsRunsAsUsual)
{
    const auto o = parse({});
    EXPECT_EQ(o.action, CommandLineOptions::Action::Run);
    EXPECT_TRUE(o.port.isEmpty());
    EXPECT_FALSE(o.demo);
}

TEST(CommandLineOptions, PortInBothSpellings)
{
    EXPECT_EQ(parse({"--port", "/dev/ttyUSB3"}).port, "/dev/ttyUSB3");
    EXPECT_EQ(parse({"--port=/dev/pts/4"}).port, "/dev/pts/4");
    const auto missing = parse({"--port"});
    EXPECT_EQ(missing.action, CommandLineOptions::Action::Fail);
    EXPECT_FALSE(missing.error.isEmpty());
}

TEST(CommandLineOptions, HelpVersionAndMistakes)
{
    EXPECT_EQ(parse({"--demo", "--help"}).action, CommandLineOptions::Action::ShowHelp);
    EXPECT_EQ(parse({"-v"}).action, CommandLineOptions::Action::ShowVersion);
    EXPECT_EQ(parse({"--probe-renderer"}).action, CommandLineOptions::Action::ProbeRenderer);
    EXPECT_EQ(CommandLineOptions::versionText(), "Kinetra 2.0.4\n");
    EXPECT_EQ(parse({"--frobnicate"}).action, CommandLineOptions::Action::Fail);
    EXPECT_EQ(parse({"--demo", "--port", "/dev/x"}).action, CommandLineOptions::Action::Fail);
    EXPECT_EQ(parse({"-platform", "xcb"}).action, CommandLineOptions::Action::Run)
        << "Qt's own arguments are left alone";
    EXPECT_TRUE(CommandLineOptions::helpText("kinetra").contains("--port PATH"));
}

TEST(CommandLineOptions, ScreenshotWithDelay)
{
    const auto o = parse({"--screenshot", "/tmp/a.png", "--screenshot-delay", "500"});
    EXPECT_EQ(o.screenshotPath, "/tmp/a.png");
    EXPECT_EQ(o.screenshotDelayMs, 500);
    EXPECT_EQ(parse({"--screenshot-delay", "soon"}).action, CommandLineOptions::Action::Fail);
}

TEST(CommandLineOptions, HeadlessWithPatchAndMidiService)
{
    const auto o = parse({"--headless", "--patch=show.json", "--midi-service", "none"});
    EXPECT_EQ(o.action, CommandLineOptions::Action::Run);
    EXPECT_TRUE(o.headless);
    EXPECT_EQ(o.patchPath, "show.json");
    EXPECT_EQ(o.midiService, CommandLineOptions::MidiService::None);
    EXPECT_EQ(parse({}).midiService, CommandLineOptions::MidiService::System);
    // Combinations that cannot mean anything are refused, not ignored.
    EXPECT_EQ(parse({"--patch", "show.json"}).action, CommandLineOptions::Action::Fail);
    EXPECT_EQ(parse({"--headless", "--screenshot", "a.png"}).action,
              CommandLineOptions::Action::Fail);
    EXPECT_EQ(parse({"--midi-service", "alsa"}).action, CommandLineOptions::Action::Fail);
}
