// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostFrameParser.h"
#include "protocol/FrameCodec.h"

#include <gtest/gtest.h>

#include <vector>

using Frame = HostFrameParser::Frame;

namespace {

std::vector<Frame> feed(HostFrameParser& parser, const QByteArray& bytes)
{
    std::vector<Frame> out;
    parser.feed(bytes, [&out](const Frame& f) { out.push_back(f); });
    return out;
}

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

} // namespace

TEST(HostFrameParser, RecognisesTheGreetingAndTheThreeBandCommands)
{
    HostFrameParser parser;
    const QByteArray all = hex("0300002000000002 1e7365") +
                           hex("15 00 00 09 00 00 00 00 00 A2 74 73 65") +
                           FrameCodec::bandCommand(3, FrameCodec::LeftHand) +
                           FrameCodec::bandCommand(15, FrameCodec::RightHand);
    const auto frames = feed(parser, all);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].kind, Frame::Kind::Greeting);
    EXPECT_EQ(frames[1].kind, Frame::Kind::BandCommand);
    EXPECT_EQ(frames[1].slot, 1);
    EXPECT_EQ(frames[1].command, FrameCodec::Blink);
    EXPECT_EQ(frames[2].slot, 3);
    EXPECT_EQ(frames[2].command, FrameCodec::LeftHand);
    EXPECT_EQ(frames[3].slot, 15);
    EXPECT_EQ(frames[3].command, FrameCodec::RightHand);
    EXPECT_EQ(parser.pendingBytes(), 0);
}

TEST(HostFrameParser, FrameSplitAcrossReadsIsFoundOnceComplete)
{
    HostFrameParser parser;
    const QByteArray blink = FrameCodec::bandCommand(2, FrameCodec::Blink);
    EXPECT_TRUE(feed(parser, blink.left(5)).empty());
    EXPECT_TRUE(feed(parser, blink.mid(5, 6)).empty());
    const auto frames = feed(parser, blink.mid(11));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].slot, 2);
}

TEST(HostFrameParser, GarbageNeverHoldsUpACompleteFrameBehindIt)
{
    // A stray byte that looks like the start of a longer band command sits
    // in front of the greeting; the greeting must still come through now,
    // not after more bytes arrive.
    HostFrameParser parser;
    const auto frames = feed(parser, QByteArray(1, char(0x05)) + FrameCodec::greeting());
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].kind, Frame::Kind::Greeting);
    EXPECT_EQ(parser.droppedBytes(), 1u);

    const auto more = feed(parser, QByteArray(7, char(0x00)) + FrameCodec::greeting());
    ASSERT_EQ(more.size(), 1u);
    EXPECT_EQ(more[0].kind, Frame::Kind::Greeting);
}

TEST(HostFrameParser, DamagedFramesAreDroppedAndTheStreamResynchronises)
{
    HostFrameParser parser;
    QByteArray bad = FrameCodec::bandCommand(1, FrameCodec::Blink);
    bad[3] = char(0x0A); // the CRC no longer matches
    const auto frames = feed(parser, bad + FrameCodec::bandCommand(4, FrameCodec::Blink));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].slot, 4);
}

TEST(HostFrameParser, OtherWellFormedFramesAreReportedAsUnknown)
{
    HostFrameParser parser;
    const QByteArray odd = FrameCodec::seal(hex("0600000102"));
    const auto frames = feed(parser, odd);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].kind, Frame::Kind::Unknown);
    EXPECT_EQ(frames[0].bytes, odd);
}

TEST(HostFrameParser, EndlessGarbageKeepsTheBufferSmall)
{
    HostFrameParser parser;
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(feed(parser, QByteArray(100, char(0x42))).empty());
    EXPECT_LT(parser.pendingBytes(), FrameCodec::kMaxFrameLength);
}
