// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/DeviceRegistryDocument.h"
#include "storage/JsonFields.h"
#include "storage/JsonFile.h"
#include "storage/PresetIndex.h"
#include "storage/SettingsDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace {

QJsonObject parseObject(const char* json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

bool sameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

// --- reading rules ----------------------------------------------------------------

TEST(JsonFieldsTest, WrongTypesCountAsMissing)
{
    const QJsonObject o = parseObject(R"({"b": 1, "i": "5", "f": true, "s": 3,
                                          "b2": false, "i2": 7, "f2": 2, "s2": "x"})");
    EXPECT_TRUE(JsonFields::readBool(o, "b", true));
    EXPECT_EQ(JsonFields::readInteger(o, "i", 9), 9);
    EXPECT_FLOAT_EQ(JsonFields::readFloat(o, "f", 4.5f), 4.5f);
    EXPECT_EQ(JsonFields::readString(o, "s", "d"), "d");
    EXPECT_FALSE(JsonFields::readBool(o, "b2", true));
    EXPECT_EQ(JsonFields::readInteger(o, "i2", 9), 7);
    EXPECT_FLOAT_EQ(JsonFields::readFloat(o, "f2", 4.5f), 2.0f);
    EXPECT_EQ(JsonFields::readString(o, "s2", "d"), "x");
    EXPECT_EQ(JsonFields::readString(o, "missing", "d"), "d");
}

TEST(JsonFieldsTest, IntegersMustBeIntegralAndFitTheField)
{
    const QJsonObject o = parseObject(R"({"half": 1.5, "big": 1e300, "neg": -3, "wide": 300,
                                          "exact": 4.0})");
    EXPECT_EQ(JsonFields::readInteger(o, "half", 0), 0);
    EXPECT_EQ(JsonFields::readInteger(o, "big", 0), 0);
    EXPECT_EQ(JsonFields::readInteger(o, "neg", 0), -3);
    EXPECT_EQ(JsonFields::readInteger(o, "neg", 0, 0, 255), 0);
    EXPECT_EQ(JsonFields::readInteger(o, "wide", 1, 0, 255), 1);
    EXPECT_EQ(JsonFields::readInteger(o, "exact", 0), 4);
    // A number too large for single precision would become infinity.
    EXPECT_FLOAT_EQ(JsonFields::readFloat(o, "big", 1.0f), 1.0f);
}

TEST(JsonFieldsTest, IdentifiersAreStrictDecimalText)
{
    EXPECT_EQ(JsonFields::parseIdentifier("5141239792064667465"), 5141239792064667465ull);
    EXPECT_EQ(JsonFields::parseIdentifier("18446744073709551615"),
              std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(JsonFields::parseIdentifier("18446744073709551616"), 0u); // overflow
    EXPECT_EQ(JsonFields::parseIdentifier(""), 0u);
    EXPECT_EQ(JsonFields::parseIdentifier("12a"), 0u);
    EXPECT_EQ(JsonFields::parseIdentifier("-1"), 0u);
    EXPECT_EQ(JsonFields::parseIdentifier("+1"), 0u);
    EXPECT_EQ(JsonFields::parseIdentifier(" 1"), 0u);
    EXPECT_EQ(JsonFields::parseIdentifier("0x10"), 0u);
}

// --- files ------------------------------------------------------------------------

TEST(JsonFileTest, WritesIndentedWithSortedKeysAndReadsBack)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.json");
    const QJsonObject object{{"zeta", 1}, {"alpha", QJsonObject{{"y", true}, {"b", "t"}}}};
    ASSERT_TRUE(JsonFile::writeAtomically(path, QJsonDocument(object)));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_EQ(text, QByteArray("{\n"
                               "    \"alpha\": {\n"
                               "        \"b\": \"t\",\n"
                               "        \"y\": true\n"
                               "    },\n"
                               "    \"zeta\": 1\n"
                               "}\n"));
    const JsonFile::ReadResult read = JsonFile::read(path);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.document.object(), object);
}

TEST(JsonFileTest, ReadsCrLfAndReportsWhatWentWrong)
{
    QTemporaryDir dir;
    writeBytes(dir.filePath("crlf.json"), "{\r\n    \"a\": 1\r\n}\r\n");
    writeBytes(dir.filePath("bad.json"), "{\"a\": ");
    writeBytes(dir.filePath("empty.json"), "");
    EXPECT_TRUE(JsonFile::read(dir.filePath("crlf.json")).ok());
    EXPECT_EQ(JsonFile::read(dir.filePath("bad.json")).status, JsonFile::Status::Malformed);
    EXPECT_EQ(JsonFile::read(dir.filePath("empty.json")).status, JsonFile::Status::Malformed);
    EXPECT_EQ(JsonFile::read(dir.filePath("none.json")).status, JsonFile::Status::NotFound);
    EXPECT_FALSE(JsonFile::read(dir.filePath("bad.json")).error.isEmpty());

    // A huge file is refused without being read into memory.
    QFile huge(dir.filePath("huge.json"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(JsonFile::kMaxFileBytes + 1));
    huge.close();
    EXPECT_EQ(JsonFile::read(huge.fileName()).status, JsonFile::Status::Malformed);
}

TEST(JsonFileTest, FailedWriteLeavesTheOldFileWhole)
{
    QTemporaryDir dir;
    // A save into a folder that does not exist fails without creating anything.
    EXPECT_FALSE(JsonFile::writeAtomically(dir.filePath("no/such/a.json"), QJsonDocument()));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("no")));

    // A directory standing where the file should go: the write fails and what
    // was there stays.
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.json"));
    QString error;
    EXPECT_FALSE(JsonFile::writeAtomically(dir.filePath("taken.json"),
                                           QJsonDocument(QJsonObject{{"a", 1}}), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(dir.filePath("taken.json")).isDir());
    // No temporary file is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 0);
}

TEST(JsonFileTest, KeepsNumberedCopiesOfCorruptFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.json");
    writeBytes(path, "garbage one");
    EXPECT_EQ(JsonFile::keepCorruptCopy(path), path + ".corrupt");
    writeBytes(path, "garbage two");
    EXPECT_EQ(JsonFile::keepCorruptCopy(path), path + ".corrupt.1");
    QFile first(path + ".corrupt");
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_EQ(first.readAll(), QByteArray("garbage one"));
    EXPECT_TRUE(JsonFile::keepCorruptCopy(dir.filePath("missing.json")).isEmpty());
}

// --- preset index -------------------------------------------------------------------

TEST(PresetIndexTest, FreshIndexHasSixteenNamedEmptySlots)
{
    const QJsonArray array = PresetIndex().toJson().array();
    ASSERT_EQ(array.size(), 16);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(array[i].toObject()["title"].toString(), QString("Slot%1").arg(i + 1));
        EXPECT_TRUE(array[i].toObject()["filename"].isString());
        EXPECT_TRUE(array[i].toObject()["filename"].toString().isEmpty());
    }
}

TEST(PresetIndexTest, DamagedIndexReadsAsEmptyTextAndIsFlagged)
{
    bool wellFormed = true;
    const PresetIndex shortIndex = PresetIndex::fromJson(
        QJsonDocument::fromJson(R"([{"filename": "/a", "title": 5}])"), &wellFormed);
    EXPECT_FALSE(wellFormed);
    EXPECT_EQ(shortIndex.entry(0).filename, "/a");
    EXPECT_EQ(shortIndex.entry(0).title, "");
    EXPECT_EQ(shortIndex.entry(15).title, "");

    PresetIndex::fromJson(QJsonDocument::fromJson(R"({"a": 1})"), &wellFormed);
    EXPECT_FALSE(wellFormed);
    PresetIndex::fromJson(PresetIndex().toJson(), &wellFormed);
    EXPECT_TRUE(wellFormed);
}

TEST(PresetIndexTest, SlotFileNamesStayInsideTheirFolder)
{
    EXPECT_EQ(PresetIndex::slotFileName("Live set", 2), "Live set|2.json");
    const QString folder = "/base/user";
    for (const QString& title :
         {QString("../../etc/passwd"), QString(".."), QString("/abs/path"), QString("a\\b"),
          QString("tab\there"), QString("nl\nx"), QString(QChar(0)) + "zero", QString(".hidden")}) {
        const QString name = PresetIndex::slotFileName(title, 7);
        EXPECT_FALSE(name.contains('/')) << name.toStdString();
        EXPECT_FALSE(name.contains('\\')) << name.toStdString();
        EXPECT_FALSE(name.startsWith('.')) << name.toStdString();
        for (const QChar c : name)
            EXPECT_NE(c.category(), QChar::Other_Control) << name.toStdString();
        EXPECT_TRUE(name.endsWith("|7.json"));
        EXPECT_EQ(QFileInfo(folder + "/" + name).absolutePath(), folder);
    }
    // Over-long titles are shortened to fit the file system's name limit,
    // without splitting a character.
    const QString longTitle = QString(300, QChar(0x00e9)) + QString::fromUtf8("\xF0\x9F\x8E\xB5");
    const QString name = PresetIndex::slotFileName(longTitle, 15);
    EXPECT_LE(name.toUtf8().size(), 255);
    EXPECT_TRUE(name.endsWith("|15.json"));
    EXPECT_EQ(QString::fromUtf8(name.toUtf8()), name);
}

// --- settings and registry ------------------------------------------------------

TEST(SettingsDocumentTest, MissingKeysTakeTheFileDefaults)
{
    const SettingsDocument s = SettingsDocument::fromJson(QJsonObject());
    EXPECT_TRUE(s.currentPatch.isEmpty());
    EXPECT_TRUE(s.ignoredInputs.isEmpty());
    EXPECT_TRUE(s.ignoredOutputs.isEmpty());
    EXPECT_FALSE(s.hiResMidi);
    EXPECT_FALSE(s.syncingToClock);
    EXPECT_TRUE(s.sendingClock);
    EXPECT_FALSE(s.virtualKeyboard);
    // Files from before the tempo was kept start at 120.
    EXPECT_EQ(s.tempo, 120);
}

TEST(SettingsDocumentTest, ReadsListsAndSwitchesAndWritesThemBack)
{
    const SettingsDocument s = SettingsDocument::fromJson(parseObject(
        R"({"currentPatch": "/p.json", "ignored_inputs": ["a", 3, "b"], "ignored_outputs": "x",
            "hiResMidi": true, "syncingToClock": 1, "sendingClock": false,
            "virtualKeyboard": true, "tempo": 96})"));
    EXPECT_EQ(s.currentPatch, "/p.json");
    EXPECT_EQ(s.ignoredInputs, QStringList({"a", "", "b"}));
    EXPECT_TRUE(s.ignoredOutputs.isEmpty());
    EXPECT_TRUE(s.hiResMidi);
    EXPECT_FALSE(s.syncingToClock);
    EXPECT_FALSE(s.sendingClock);
    EXPECT_TRUE(s.virtualKeyboard);
    EXPECT_EQ(s.tempo, 96);
    // A tempo the clock cannot run at is not taken.
    EXPECT_EQ(SettingsDocument::fromJson(parseObject(R"({"tempo": 300})")).tempo, 120);

    const QJsonObject written = s.toJson();
    EXPECT_EQ(written.keys(),
              QStringList({"currentPatch", "hiResMidi", "ignored_inputs", "ignored_outputs",
                           "sendingClock", "syncingToClock", "tempo", "virtualKeyboard"}));
    const SettingsDocument again = SettingsDocument::fromJson(written);
    EXPECT_EQ(again.ignoredInputs, s.ignoredInputs);
    EXPECT_EQ(again.sendingClock, s.sendingClock);
    EXPECT_EQ(again.tempo, 96);
}

TEST(DeviceRegistryDocumentTest, MembersTakeDefaultsAndBadKeysAreSkipped)
{
    const DeviceRegistryDocument r = DeviceRegistryDocument::fromJson(parseObject(
        R"({"42": {"index": 1, "yGate": 0.25, "isOnLeft": true, "isMuted": "yes",
                   "init_pos_y": -0.5, "init_pos_p": 0.125, "init_pos_r": 2},
            "left hand": {"name": "Bad key"},
            "0": {"name": "No device"},
            "7": 12})"));
    ASSERT_EQ(r.devices.size(), 2);
    // Ascending key order: "42" before "7".
    const DeviceRegistryDocument::Device& d = r.devices[0];
    EXPECT_EQ(d.uuid, 42u);
    EXPECT_EQ(d.index, 1);
    EXPECT_EQ(d.name, "Orvik");
    EXPECT_FLOAT_EQ(d.yGate, 0.25f);
    EXPECT_TRUE(d.isOnLeft);
    EXPECT_FALSE(d.isMuted);
    EXPECT_FALSE(d.isSoloed);
    EXPECT_FLOAT_EQ(d.initYaw, -0.5f);
    EXPECT_FLOAT_EQ(d.initPitch, 0.125f);
    EXPECT_FLOAT_EQ(d.initRoll, 2.0f);
    EXPECT_EQ(r.devices[1].uuid, 7u);
    EXPECT_EQ(r.devices[1].name, "Orvik");
    EXPECT_EQ(r.skippedKeys, QStringList({"0", "left hand"}));
}

TEST(DeviceRegistryDocumentTest, WritesEveryFieldAndTheLaterDuplicateWins)
{
    DeviceRegistryDocument r;
    DeviceRegistryDocument::Device a;
    a.uuid = 18446744073709551615ull;
    a.name = "first";
    a.yGate = 0.1f;
    DeviceRegistryDocument::Device b = a;
    b.name = "second";
    b.index = 3;
    r.devices = {a, b};
    const QJsonObject o = r.toJson();
    ASSERT_EQ(o.keys(), QStringList({"18446744073709551615"}));
    const QJsonObject member = o.value("18446744073709551615").toObject();
    EXPECT_EQ(member.keys(), QStringList({"index", "init_pos_p", "init_pos_r", "init_pos_y",
                                          "isMuted", "isOnLeft", "isSoloed", "name", "yGate"}));
    EXPECT_EQ(member["name"].toString(), "second");
    const DeviceRegistryDocument back = DeviceRegistryDocument::fromJson(o);
    ASSERT_EQ(back.devices.size(), 1);
    EXPECT_TRUE(sameBits(back.devices[0].yGate, 0.1f));
    EXPECT_EQ(back.devices[0].index, 3);
}
