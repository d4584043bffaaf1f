// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/FrameCodec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

const uint8_t* bytes(const QByteArray& a)
{
    return reinterpret_cast<const uint8_t*>(a.constData());
}

} // namespace

TEST(FrameCodec, CrcMatchesTheCheckValue)
{
    EXPECT_EQ(FrameCodec::crc16(QByteArray("123456789")), 0x29B1);
}

TEST(FrameCodec, OutgoingFramesHaveTheirExactBytes)
{
    EXPECT_EQ(FrameCodec::greeting(), hex("03 00 00 20 00 00 00 02 1E 73 65"));
    EXPECT_EQ(FrameCodec::bandCommand(0, FrameCodec::Blink),
              hex("05 00 00 09 00 00 00 00 00 5C 27 73 65"));
    EXPECT_EQ(FrameCodec::bandCommand(1, FrameCodec::Blink),
              hex("15 00 00 09 00 00 00 00 00 A2 74 73 65"));
    EXPECT_EQ(FrameCodec::bandCommand(0, FrameCodec::LeftHand),
              hex("05 00 00 11 00 00 00 00 00 9A 30 73 65"));
    EXPECT_EQ(FrameCodec::bandCommand(0, FrameCodec::RightHand),
              hex("05 00 00 12 00 00 00 00 00 7A FE 73 65"));
}

TEST(FrameCodec, MotionFrameRoundTripsEveryField)
{
    FrameCodec::MotionFrame in;
    in.slot = 11;
    in.q = {0.5f, -0.25f, 0.125f, -1.0f};
    in.ax = -32768;
    in.ay = 32767;
    in.az = 16384;
    const QByteArray wire = FrameCodec::encodeMotion(in);
    ASSERT_EQ(wire.size(), FrameCodec::kMotionLength);
    EXPECT_EQ(uint8_t(wire[0]), 0xB1);

    const auto out = FrameCodec::decodeMotion(bytes(wire), wire.size());
    ASSERT_TRUE(out);
    EXPECT_EQ(out->slot, 11);
    EXPECT_EQ(out->q.w, 0.5f);
    EXPECT_EQ(out->q.x, -0.25f);
    EXPECT_EQ(out->q.y, 0.125f);
    EXPECT_EQ(out->q.z, -1.0f);
    EXPECT_EQ(out->ax, -32768);
    EXPECT_EQ(out->ay, 32767);
    EXPECT_EQ(out->az, 16384);
}

TEST(FrameCodec, DeviceListAndBandEventRoundTrip)
{
    FrameCodec::DeviceListFrame list;
    list.uuids = {0x0102030405060708ull, 0, 0xFFFFFFFFFFFFFFFFull, 42};
    list.slots = {2, 0, 15, 7};
    const QByteArray wire = FrameCodec::encodeDeviceList(list);
    ASSERT_EQ(wire.size(), FrameCodec::kDeviceListLength);
    const auto decoded = FrameCodec::decodeDeviceList(bytes(wire), wire.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->uuids, list.uuids);
    EXPECT_EQ(decoded->slots, list.slots);

    const QByteArray event = FrameCodec::encodeBandEvent({3, FrameCodec::MappingRequest});
    ASSERT_EQ(event.size(), FrameCodec::kBandEventLength);
    const auto ev = FrameCodec::decodeBandEvent(bytes(event), event.size());
    ASSERT_TRUE(ev);
    EXPECT_EQ(ev->slot, 3);
    EXPECT_EQ(ev->code, FrameCodec::MappingRequest);
}

TEST(FrameCodec, DecodersRefuseDamagedOrMistypedFrames)
{
    QByteArray wire = FrameCodec::encodeMotion({});
    QByteArray badCrc = wire;
    badCrc[5] = char(badCrc[5] ^ 0x01);
    EXPECT_FALSE(FrameCodec::decodeMotion(bytes(badCrc), badCrc.size()));
    QByteArray badEnd = wire;
    badEnd[wire.size() - 1] = 'x';
    EXPECT_FALSE(FrameCodec::decodeMotion(bytes(badEnd), badEnd.size()));
    EXPECT_FALSE(FrameCodec::decodeMotion(bytes(wire), wire.size() - 1));
    EXPECT_FALSE(FrameCodec::decodeDeviceList(bytes(wire), wire.size()));
    EXPECT_FALSE(FrameCodec::isWellFormed(bytes(wire), 4));
}

TEST(FrameCodec, MotionFrameWithNonFiniteQuaternionIsRefused)
{
    for (float bad :
         {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        FrameCodec::MotionFrame in;
        in.q.y = bad;
        const QByteArray wire = FrameCodec::encodeMotion(in);
        EXPECT_FALSE(FrameCodec::decodeMotion(bytes(wire), wire.size()));
    }
}
