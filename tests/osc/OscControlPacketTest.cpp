// SPDX-License-Identifier: GPL-3.0-or-later
#include "osc/OscControlPacket.h"

#include <QByteArray>
#include <gtest/gtest.h>

namespace {

QByteArray recordBytes(const OscControlPacket& packet, int i)
{
    return QByteArray(reinterpret_cast<const char*>(packet.recordAt(i)),
                      OscControlPacket::kRecordSize);
}

TEST(OscControlPacket, WheelOneAtFullScaleGivesTheDocumentedBytes)
{
    OscControlPacket packet;
    ASSERT_TRUE(packet.append(QStringLiteral("Wheel 1"), 127.0f, 1, 0));
    ASSERT_EQ(packet.count(), 1);

    const QByteArray expected = QByteArray("Wheel 1", 7) + QByteArray(5, '\0') +
                                QByteArray::fromHex("00fc7f46") + QByteArray::fromHex("01000000");
    EXPECT_EQ(recordBytes(packet, 0).toHex(' '), expected.toHex(' '));
}

TEST(OscControlPacket, ValueEventAndChannelSitAtTheirOffsets)
{
    OscControlPacket packet;
    packet.append(QStringLiteral("A"), 0.0f, 200, 15);
    packet.append(QStringLiteral("B"), 1.0f, 201, 3);
    const QByteArray first = recordBytes(packet, 0);
    EXPECT_EQ(first.mid(12, 4).toHex(), QByteArray("00000000"));
    EXPECT_EQ(uint8_t(first[16]), 200);
    EXPECT_EQ(uint8_t(first[17]), 15);
    EXPECT_EQ(first.mid(18, 2), QByteArray(2, '\0'));
    // 129.0f = 0x43010000, little-endian.
    const QByteArray second = recordBytes(packet, 1);
    EXPECT_EQ(second.left(2), QByteArray("B\0", 2));
    EXPECT_EQ(second.mid(12, 4).toHex(), QByteArray("00000143"));
    EXPECT_EQ(uint8_t(second[16]), 201);
    EXPECT_EQ(uint8_t(second[17]), 3);
}

TEST(OscControlPacket, HoldsAtMostTwelveRecordsAndClearZeroesTheBuffer)
{
    OscControlPacket packet;
    for (int i = 0; i < OscControlPacket::kMaxRecords; ++i)
        EXPECT_TRUE(packet.append(QStringLiteral("Wheel %1").arg(i + 1), 64.0f, uint8_t(i), 0));
    EXPECT_FALSE(packet.append(QStringLiteral("Thirteen"), 1.0f, 1, 0));
    EXPECT_EQ(packet.count(), OscControlPacket::kMaxRecords);
    EXPECT_EQ(recordBytes(packet, 11).left(9), QByteArray("Wheel 12\0", 9));

    packet.clear();
    EXPECT_TRUE(packet.isEmpty());
    const QByteArray all(reinterpret_cast<const char*>(packet.data()),
                         OscControlPacket::kRecordSize * OscControlPacket::kMaxRecords);
    EXPECT_EQ(all.count('\0'), all.size());
}

TEST(OscControlPacket, ALaterShortNameLeavesNoTraceOfAnEarlierLongOne)
{
    OscControlPacket packet;
    packet.append(QStringLiteral("Long wheel name"), 1.0f, 1, 0);
    packet.clear();
    packet.append(QStringLiteral("W"), 1.0f, 1, 0);
    EXPECT_EQ(recordBytes(packet, 0).left(12), QByteArray("W") + QByteArray(11, '\0'));
}

// Names of more than 11 bytes: cut at a character boundary, the twelfth
// byte always zero, never more than 11 bytes of text.
TEST(OscControlPacket, LongNamesAreCutAtACharacterBoundary)
{
    // Plain ASCII: the first eleven characters.
    EXPECT_EQ(OscControlPacket::truncatedUtf8(QStringLiteral("Modulation wheel")),
              QByteArray("Modulation "));
    // Exactly eleven bytes stay whole.
    EXPECT_EQ(OscControlPacket::truncatedUtf8(QStringLiteral("Elevenbytes")),
              QByteArray("Elevenbytes"));

    // "é" is two bytes: "Réglage é" is 11 bytes, the next "t" would make
    // 12; the cut never falls inside an "é".
    const QString accented = QString::fromUtf8("R\xc3\xa9glage \xc3\xa9t\xc3\xa9");
    const QByteArray cutAccented = OscControlPacket::truncatedUtf8(accented);
    EXPECT_LE(cutAccented.size(), 11);
    EXPECT_EQ(QString::fromUtf8(cutAccented), QString::fromUtf8("R\xc3\xa9glage \xc3\xa9"));

    // Four-byte characters (emoji): 3 x 4 bytes do not fit; two do.
    const QString emoji = QString::fromUtf8("\xf0\x9f\x8e\xb9\xf0\x9f\x8e\xb8\xf0\x9f\x8e\xba");
    EXPECT_EQ(OscControlPacket::truncatedUtf8(emoji),
              QByteArray("\xf0\x9f\x8e\xb9\xf0\x9f\x8e\xb8"));

    // Three-byte characters: 3 fit (9 bytes), the fourth would need 12.
    const QString cjk = QString::fromUtf8("\xe6\x8f\xba\xe3\x82\x8c\xe3\x82\x8b\xe6\x89\x8b");
    EXPECT_EQ(OscControlPacket::truncatedUtf8(cjk).size(), 9);
    EXPECT_EQ(OscControlPacket::truncatedUtf8(cjk), cjk.left(3).toUtf8());
}

TEST(OscControlPacket, ACombiningMarkStaysWithItsLetter)
{
    // "Wheel 100" + "e" + COMBINING ACUTE (2 bytes) = 12 bytes: the letter
    // and its accent go together.
    const QString name = QStringLiteral("Wheel 100e") + QChar(0x0301);
    EXPECT_EQ(OscControlPacket::truncatedUtf8(name), QByteArray("Wheel 100"));
}

TEST(OscControlPacket, TheNameFieldIsAlwaysZeroTerminated)
{
    OscControlPacket packet;
    packet.append(QString(40, QChar(0x00e9)), 1.0f, 1, 0); // 80 bytes of "é"
    const QByteArray record = recordBytes(packet, 0);
    EXPECT_EQ(record[11], '\0');
    EXPECT_EQ(record.left(10), QString(5, QChar(0x00e9)).toUtf8());
    EXPECT_EQ(record[10], '\0'); // the sixth "é" would straddle the limit
    EXPECT_EQ(uint8_t(record[16]), 1);
}

} // namespace
