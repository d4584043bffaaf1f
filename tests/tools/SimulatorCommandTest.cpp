// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimulatorCommand.h"

#include <gtest/gtest.h>

using Kind = SimulatorCommand::Kind;

TEST(SimulatorCommand, BandEventsAddressBandOneUnlessTold)
{
    auto c = SimulatorCommand::parse(QStringLiteral("bypass on"), 4);
    EXPECT_EQ(c.kind, Kind::BypassOn);
    EXPECT_EQ(c.band, 0);

    c = SimulatorCommand::parse(QStringLiteral("  BYPASS   off 3 "), 4);
    EXPECT_EQ(c.kind, Kind::BypassOff);
    EXPECT_EQ(c.band, 2);

    c = SimulatorCommand::parse(QStringLiteral("mapping 4"), 4);
    EXPECT_EQ(c.kind, Kind::Mapping);
    EXPECT_EQ(c.band, 3);
}

TEST(SimulatorCommand, BandsOutsideTheDeviceListAreRefused)
{
    for (const char* line : {"bypass on 3", "bypass on 0", "mapping x", "gesture still 5", "bypass",
                             "bypass maybe", "mapping 1 2"}) {
        const auto c = SimulatorCommand::parse(QString::fromLatin1(line), 2);
        EXPECT_EQ(c.kind, Kind::Invalid) << line;
        EXPECT_FALSE(c.error.isEmpty()) << line;
    }
}

TEST(SimulatorCommand, GestureSwitchesOneBandOrAll)
{
    auto c = SimulatorCommand::parse(QStringLiteral("gesture roll"), 4);
    EXPECT_EQ(c.kind, Kind::Gesture);
    EXPECT_EQ(c.gesture, GestureGenerator::Gesture::RollSweep);
    EXPECT_EQ(c.band, -1);

    c = SimulatorCommand::parse(QStringLiteral("gesture turns 2"), 4);
    EXPECT_EQ(c.gesture, GestureGenerator::Gesture::Turns);
    EXPECT_EQ(c.band, 1);

    EXPECT_EQ(SimulatorCommand::parse(QStringLiteral("gesture dance"), 4).kind, Kind::Invalid);
}

TEST(SimulatorCommand, ReplayKeepsSpacesInTheFileNameAndTakesALoopFlag)
{
    auto c = SimulatorCommand::parse(QStringLiteral("replay /tmp/my take.kinrec loop"), 1);
    EXPECT_EQ(c.kind, Kind::Replay);
    EXPECT_EQ(c.path, QStringLiteral("/tmp/my take.kinrec"));
    EXPECT_TRUE(c.loop);

    c = SimulatorCommand::parse(QStringLiteral("replay take.kinrec"), 1);
    EXPECT_EQ(c.path, QStringLiteral("take.kinrec"));
    EXPECT_FALSE(c.loop);

    EXPECT_EQ(SimulatorCommand::parse(QStringLiteral("replay"), 1).kind, Kind::Invalid);
}

TEST(SimulatorCommand, PlugCommandsAndTheRest)
{
    EXPECT_EQ(SimulatorCommand::parse(QStringLiteral("unplug"), 1).kind, Kind::Unplug);
    EXPECT_EQ(SimulatorCommand::parse(QStringLiteral("plug"), 1).kind, Kind::Plug);
    auto c = SimulatorCommand::parse(QStringLiteral("replug"), 1);
    EXPECT_EQ(c.kind, Kind::Replug);
    EXPECT_EQ(c.delayMs, 1000);
    c = SimulatorCommand::parse(QStringLiteral("replug 250"), 1);
    EXPECT_EQ(c.delayMs, 250);
    EXPECT_EQ(SimulatorCommand::parse(QStringLiteral("replug -5"), 1).kind, Kind::Invalid);
    EXPECT_EQ(SimulatorCommand::parse(QStringLiteral("   "), 1).kind, Kind::Empty);
    EXPECT_EQ(SimulatorCommand::parse(QStringLiteral("live"), 1).kind, Kind::Live);
    EXPECT_EQ(SimulatorCommand::parse(QStringLiteral("quit"), 1).kind, Kind::Quit);
    EXPECT_EQ(SimulatorCommand::parse(QStringLiteral("dance"), 1).kind, Kind::Invalid);
}
