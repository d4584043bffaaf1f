// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/PatchDocument.h"
#include "storage/JsonFile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <cstring>

namespace {

QJsonObject parseObject(const char* json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

bool sameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

// --- patches ----------------------------------------------------------------------

TEST(PatchDocumentTest, EmptyWheelTakesEveryDefault)
{
    const ControlSourceParams p = PatchDocument::wheelFromJson(QJsonObject());
    EXPECT_FALSE(p.dummy);
    EXPECT_TRUE(p.id.isNull());
    EXPECT_EQ(p.deviceId, 0u);
    EXPECT_EQ(p.name, "Wheel0");
    EXPECT_EQ(p.index, 0);
    EXPECT_TRUE(p.enabled);
    EXPECT_FALSE(p.isReversed);
    EXPECT_FALSE(p.isGated);
    EXPECT_TRUE(p.ccOrNote);
    EXPECT_EQ(p.channel, 0);
    EXPECT_EQ(p.eventNumber, 1);
    EXPECT_TRUE(p.toHardware);
    EXPECT_EQ(p.min, 0.0f);
    EXPECT_EQ(p.max, 127.0f);
    EXPECT_EQ(p.lowerbound, 0.0f);
    EXPECT_EQ(p.upperbound, 0.0f);
    EXPECT_EQ(p.defaultValue, 0.0f);
    // A sensitivity of 0 is raised to the source's floor.
    EXPECT_FLOAT_EQ(p.sensitivity, 0.1f);
    EXPECT_EQ(p.type, 0u);
    EXPECT_EQ(p.axis, 0);
}

TEST(PatchDocumentTest, OddValuesFallBackToTheirDefaults)
{
    const ControlSourceParams p = PatchDocument::wheelFromJson(parseObject(
        R"({"index": 4, "channel": 1.5, "deviceID": 5141239792064667465, "eventNum": 300,
            "id": "not a uuid", "isEnabled": 0, "min": 130, "max": 200})"));
    EXPECT_EQ(p.index, 4);
    EXPECT_EQ(p.name, "Wheel4");
    EXPECT_EQ(p.channel, 0);
    EXPECT_EQ(p.deviceId, 0u);
    EXPECT_EQ(p.eventNumber, 1);
    EXPECT_TRUE(p.id.isNull());
    EXPECT_TRUE(p.enabled);
    // min 130 is refused against the starting max of 127; max 200 is taken.
    EXPECT_EQ(p.min, 0.0f);
    EXPECT_EQ(p.max, 200.0f);

    const ControlSourceParams q =
        PatchDocument::wheelFromJson(parseObject(R"({"min": 50, "max": 10})"));
    EXPECT_EQ(q.min, 50.0f);
    EXPECT_EQ(q.max, 127.0f);
}

TEST(PatchDocumentTest, NonObjectWheelsAreSkippedAndFlagsRead)
{
    const PatchDocument patch = PatchDocument::fromJson(
        parseObject(R"({"wheels": [3, {"index": 2}, "x", null], "arp_on": true, "acc_on": 1})"));
    ASSERT_EQ(patch.wheels.size(), 1);
    EXPECT_EQ(patch.wheels[0].index, 2);
    EXPECT_TRUE(patch.arpOn);
    EXPECT_FALSE(patch.accessibilityOn);
    EXPECT_TRUE(PatchDocument::fromJson(parseObject(R"({"wheels": {}})")).wheels.isEmpty());
}

TEST(PatchDocumentTest, WheelRoundTripIsBitExact)
{
    ControlSourceParams p;
    p.id = QUuid("{d70a5c5d-7d7b-4744-8bcb-ff79056b9480}");
    p.deviceId = 18446744073709551615ull;
    p.type = 4000000000u;
    p.dummy = false;
    p.enabled = false;
    p.index = 11;
    p.name = QString::fromUtf8("Wheel \"12\" \xC3\xA9\n");
    p.channel = 15;
    p.eventNumber = 201;
    p.ccOrNote = false;
    p.toHardware = false;
    p.lowerbound = 0.1f;
    p.upperbound = 126.99999f;
    p.min = 1e-7f;
    p.max = 3.4028235e38f;
    p.isGated = true;
    p.isReversed = true;
    p.defaultValue = -1.0f;
    p.sensitivity = 0.30000001f;
    p.axis = 3;

    const QJsonObject json = PatchDocument::wheelToJson(p);
    EXPECT_EQ(json["id"].toString(), "{d70a5c5d-7d7b-4744-8bcb-ff79056b9480}");
    EXPECT_EQ(json["deviceID"].toString(), "18446744073709551615");
    // Through the serialised text, as a file would carry it.
    const QJsonObject reread =
        QJsonDocument::fromJson(JsonFile::serialise(QJsonDocument(json))).object();
    const ControlSourceParams q = PatchDocument::wheelFromJson(reread);
    EXPECT_EQ(q.id, p.id);
    EXPECT_EQ(q.deviceId, p.deviceId);
    EXPECT_EQ(q.type, p.type);
    EXPECT_EQ(q.enabled, p.enabled);
    EXPECT_EQ(q.index, p.index);
    EXPECT_EQ(q.name, p.name);
    EXPECT_EQ(q.channel, p.channel);
    EXPECT_EQ(q.eventNumber, p.eventNumber);
    EXPECT_EQ(q.ccOrNote, p.ccOrNote);
    EXPECT_EQ(q.toHardware, p.toHardware);
    EXPECT_TRUE(sameBits(q.lowerbound, p.lowerbound));
    EXPECT_TRUE(sameBits(q.upperbound, p.upperbound));
    EXPECT_TRUE(sameBits(q.min, p.min));
    EXPECT_TRUE(sameBits(q.max, p.max));
    EXPECT_TRUE(sameBits(q.defaultValue, p.defaultValue));
    EXPECT_TRUE(sameBits(q.sensitivity, p.sensitivity));
    EXPECT_EQ(q.isGated, p.isGated);
    EXPECT_EQ(q.isReversed, p.isReversed);
    EXPECT_EQ(q.axis, p.axis);
}
