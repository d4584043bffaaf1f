// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/FrameFramer.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QVector>

#include <cstring>

namespace {

const uint8_t* bytes(const QByteArray& a)
{
    return reinterpret_cast<const uint8_t*>(a.constData());
}

QVector<QByteArray> feedAll(FrameFramer& framer, const QByteArray& data, int chunk)
{
    QVector<QByteArray> frames;
    for (int pos = 0; pos < data.size(); pos += chunk) {
        const int n = std::min(chunk, int(data.size() - pos));
        framer.feed(bytes(data) + pos, n, [&](const uint8_t* f, int len) {
            frames.append(QByteArray(reinterpret_cast<const char*>(f), len));
        });
    }
    return frames;
}

// A motion frame whose payload holds "se" and bytes that look like a CRC.
QByteArray trickyMotion(uint8_t slot)
{
    FrameCodec::MotionFrame f;
    f.slot = slot;
    // 0x6573 = "se" read as little-endian 16-bit; 0x...7365 floats too.
    f.ax = 0x6573;
    f.ay = 0x6573;
    f.az = -1;
    float seFloat;
    const uint8_t raw[4] = {0x73, 0x65, 0x73, 0x65};
    std::memcpy(&seFloat, raw, 4);
    f.q = {seFloat, 0.0f, seFloat, 0.5f};
    return FrameCodec::encodeMotion(f);
}

// A stream with every kind of frame, including one of an unknown type and
// payloads that contain the terminator.
QVector<QByteArray> mixedFrames()
{
    QVector<QByteArray> frames;
    FrameCodec::DeviceListFrame list;
    list.uuids = {0x6573657365736573ull, 2, 0, 0};
    list.slots = {0, 1, 0, 0};
    frames << FrameCodec::encodeDeviceList(list);
    frames << trickyMotion(0);
    frames << FrameCodec::encodeBandEvent({1, 0x73});
    frames << FrameCodec::seal(QByteArray::fromHex("03000020737365"));
    frames << trickyMotion(1);
    FrameCodec::MotionFrame plain;
    plain.slot = 2;
    plain.q = {0.7f, 0.1f, 0.2f, 0.3f};
    frames << FrameCodec::encodeMotion(plain);
    frames << FrameCodec::encodeBandEvent({2, FrameCodec::BypassOn});
    return frames;
}

} // namespace

TEST(FrameFramer, EveryFrameOfOneReadIsDeliveredInOrder)
{
    const QVector<QByteArray> frames = mixedFrames();
    QByteArray stream;
    for (const auto& f : frames)
        stream += f;
    FrameFramer framer;
    EXPECT_EQ(feedAll(framer, stream, stream.size()), frames);
    EXPECT_EQ(framer.pendingBytes(), 0);
    EXPECT_EQ(framer.droppedBytes(), 0u);
}

TEST(FrameFramer, StreamSplitAtEveryPositionYieldsTheSameFrames)
{
    const QVector<QByteArray> frames = mixedFrames();
    QByteArray stream;
    for (const auto& f : frames)
        stream += f;
    for (int split = 1; split < stream.size(); ++split) {
        FrameFramer framer;
        QVector<QByteArray> got;
        const auto sink = [&](const uint8_t* f, int len) {
            got.append(QByteArray(reinterpret_cast<const char*>(f), len));
        };
        framer.feed(bytes(stream), split, sink);
        framer.feed(bytes(stream) + split, stream.size() - split, sink);
        ASSERT_EQ(got, frames) << "split at " << split;
    }
    for (int chunk : {1, 2, 3, 7, 13}) {
        FrameFramer framer;
        ASSERT_EQ(feedAll(framer, stream, chunk), frames) << "chunks of " << chunk;
    }
}

TEST(FrameFramer, DamagedFrameIsDroppedAndItsNeighboursKept)
{
    const QByteArray before = trickyMotion(0);
    QByteArray damaged = trickyMotion(1);
    damaged[10] = char(damaged[10] ^ 0x40);
    const QByteArray after = FrameCodec::encodeBandEvent({2, FrameCodec::BypassOff});
    FrameFramer framer;
    const auto got = feedAll(framer, before + damaged + after, 1024);
    EXPECT_EQ(got, (QVector<QByteArray>{before, after}));
}

TEST(FrameFramer, GarbageWithoutTerminatorDoesNotGrowTheBuffer)
{
    FrameFramer framer;
    QByteArray junk(4096, char(0x00));
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char(0x80 | (i & 0x70)); // type 0, never "se"
    for (int round = 0; round < 50; ++round) {
        feedAll(framer, junk, 300);
        ASSERT_LE(framer.pendingBytes(), FrameCodec::kMaxFrameLength);
    }
    const QByteArray frame = FrameCodec::encodeBandEvent({0, FrameCodec::BypassOn});
    EXPECT_EQ(feedAll(framer, frame, frame.size()), QVector<QByteArray>{frame});
}

TEST(FrameFramer, TooShortFramesAreDropped)
{
    // A "motion" frame that ends early but carries a valid CRC and "se".
    const QByteArray shortMotion = FrameCodec::seal(QByteArray::fromHex("0100000102030405"));
    const QByteArray good = FrameCodec::encodeBandEvent({0, FrameCodec::BypassOn});
    FrameFramer framer;
    QByteArray padding;
    for (int i = 0; i < 3; ++i)
        padding += good;
    const auto got = feedAll(framer, shortMotion + padding, 1024);
    EXPECT_EQ(got, (QVector<QByteArray>{good, good, good}));
}

TEST(FrameFramer, RandomCorruptionNeverPassesAndIntactFramesRecover)
{
    QRandomGenerator rng(20261207);
    const QVector<QByteArray> kinds = mixedFrames();
    for (int trial = 0; trial < 300; ++trial) {
        QVector<QByteArray> sent;
        QVector<bool> intact;
        QByteArray stream;
        for (int i = 0; i < 12; ++i) {
            QByteArray f = kinds[int(rng.bounded(kinds.size()))];
            bool ok = true;
            if (rng.bounded(4) == 0) {
                const int flips = 1 + int(rng.bounded(3));
                for (int k = 0; k < flips; ++k) {
                    const int at = int(rng.bounded(f.size()));
                    f[at] = char(f[at] ^ char(1 + rng.bounded(255)));
                }
                ok = false;
            }
            sent << f;
            intact << ok;
            stream += f;
        }
        // Every intact frame must come out; nothing that was not sent whole
        // may come out. A run of intact frames ends the stream so that
        // whatever the damage left behind is flushed through.
        QByteArray tail;
        for (int i = 0; i < 3; ++i)
            tail += FrameCodec::encodeBandEvent({3, FrameCodec::MappingRequest});
        FrameFramer framer;
        const auto got = feedAll(framer, stream + tail, 1 + int(rng.bounded(64)));
        QVector<QByteArray> expectedIntact;
        for (int i = 0; i < sent.size(); ++i)
            if (intact[i])
                expectedIntact << sent[i];
        int next = 0;
        for (const QByteArray& f : got) {
            if (next < expectedIntact.size() && f == expectedIntact[next]) {
                ++next;
                continue;
            }
            // Anything else can only be one of the tail frames.
            ASSERT_EQ(f, FrameCodec::encodeBandEvent({3, FrameCodec::MappingRequest}))
                << "trial " << trial;
        }
        EXPECT_EQ(next, expectedIntact.size()) << "trial " << trial;
    }
}
