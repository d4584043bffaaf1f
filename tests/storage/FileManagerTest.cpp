// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/FileManager.h"
#include "app/StateManager.h"
#include "engine/ContinuousControlSource.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "midi/InMemoryMidiBackend.h"
#include "midi/MidiHandler.h"
#include "storage/JsonFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

namespace {

void writeText(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QJsonObject readObject(const QString& path)
{
    return QJsonDocument::fromJson(readText(path)).object();
}

bool sameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

class FileManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        m_root = m_tmp.path() + "/Documents/Vantor/Kinetra";
        m_engine = std::make_unique<MotionControlEngine>(m_state);
        // Emptying the focused slot clears the focus, as the application
        // wires it.
        QObject::connect(m_engine.get(), &MotionControlEngine::sourceSlotCleared, &m_state,
                         [this] { m_state.setFocusedSource(-1); });
        m_files = restart();
    }

    void TearDown() override
    {
        m_files.reset();
        m_engine.reset();
    }

    // A fresh engine and file manager in place of the present ones (a later
    // run of the application).
    void replaceEngine()
    {
        m_files.reset();
        m_engine = std::make_unique<MotionControlEngine>(m_state);
        m_files = restart();
    }

    // Another file manager on the same folders and engine; by default with
    // the fixture's state and no MIDI.
    std::unique_ptr<FileManager> restart(MidiHandler* midi = nullptr,
                                         PersistentFlags* flags = nullptr)
    {
        return std::make_unique<FileManager>(StoragePaths(m_root), *m_engine, midi,
                                             flags ? *flags : m_state);
    }

    ContinuousControlSource* slot(int i) { return m_engine->getCSourceAt(i); }
    QString user(const QString& name) const { return m_files->paths().userFolder() + "/" + name; }
    QString backups() const { return m_files->paths().backupFolder(); }

    void fillSlot(int i, const QString& name)
    {
        m_engine->addNewCSourceAt(i, false);
        slot(i)->setName(name);
    }

    QTemporaryDir m_tmp;
    QString m_root;
    StateManager m_state;
    std::unique_ptr<MotionControlEngine> m_engine;
    std::unique_ptr<FileManager> m_files;
};

// --- folders and preset slots ----------------------------------------------------------

TEST_F(FileManagerTest, FreshInstallationCreatesTheTreeAndSixteenSlots)
{
    for (const QString& folder :
         {m_tmp.path() + "/Documents/Vantor", m_root, m_root + "/presets", m_root + "/presets/user",
          m_root + "/presets/backup", m_root + "/presets/factory"})
        EXPECT_TRUE(QFileInfo(folder).isDir()) << folder.toStdString();

    const QJsonDocument index =
        QJsonDocument::fromJson(readText(m_root + "/presets/.presets.json"));
    ASSERT_TRUE(index.isArray());
    EXPECT_EQ(index.array().size(), 16);
    EXPECT_EQ(m_files->getSlotName(0), "Slot1");
    EXPECT_EQ(m_files->getSlotName(15), "Slot16");
    EXPECT_TRUE(m_files->slotIsEmtpy(0));
    EXPECT_FALSE(m_files->slotIsChecked(0));
    EXPECT_EQ(m_files->getPresetPath(), m_root + "/presets/user");
    EXPECT_EQ(m_files->getAudioSetupPath(), m_root + "/audioSetup.xml");

    // Slots outside 0-15 answer the fallbacks and change nothing.
    EXPECT_EQ(m_files->getSlotName(16), "");
    EXPECT_TRUE(m_files->slotIsEmtpy(-1));
    EXPECT_FALSE(m_files->slotIsChecked(99));
    m_files->saveCurrentPatchToSlot(16, "x");
    m_files->removePatchAtSlot(-1);
    EXPECT_TRUE(QDir(m_files->getPresetPath()).isEmpty());
}

TEST_F(FileManagerTest, AnExistingIndexIsLeftAsItIs)
{
    m_files->saveCurrentPatchToSlot(0, "Keep");
    const QByteArray before = readText(m_root + "/presets/.presets.json");
    restart();
    EXPECT_EQ(readText(m_root + "/presets/.presets.json"), before);
}

TEST_F(FileManagerTest, DamagedIndexIsKeptAndRepaired)
{
    const QString indexPath = m_root + "/presets/.presets.json";
    writeText(indexPath, R"([{"filename": "/x/a.json", "title": "A"}, 7)");
    auto files = restart();
    EXPECT_EQ(readText(indexPath + ".corrupt"), R"([{"filename": "/x/a.json", "title": "A"}, 7)");
    EXPECT_EQ(files->getSlotName(0), "Slot1"); // unparsable: nothing survives
    EXPECT_EQ(files->getSlotName(5), "Slot6");

    writeText(indexPath, R"([{"filename": "/x/a.json", "title": "A"}])");
    files = restart();
    EXPECT_EQ(files->getSlotName(0), "A"); // what could be read is kept
    EXPECT_FALSE(files->slotIsEmtpy(0));
    EXPECT_EQ(files->getSlotName(1), "Slot2");
    EXPECT_EQ(QJsonDocument::fromJson(readText(indexPath)).array().size(), 16);

    // Damaged while running: the next slot change repairs it too.
    writeText(indexPath, R"([{"filename": "", "title": "Zero"}])");
    fillSlot(0, "A");
    files->saveCurrentPatchToSlot(3, "Three");
    EXPECT_EQ(files->getSlotName(0), "Zero");
    EXPECT_EQ(files->getSlotName(2), "Slot3");
    EXPECT_EQ(files->getSlotName(3), "Three");
    EXPECT_EQ(files->getSlotName(15), "Slot16");
}

TEST_F(FileManagerTest, SavingToASlotWritesFileIndexAndCurrentPatch)
{
    fillSlot(3, "Lead");
    QSignalSpy slotChanged(m_files.get(), &FileManager::patchSlotChanged);
    m_files->saveCurrentPatchToSlot(2, "Live set");

    const QString file = user("Live set|2.json");
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_EQ(readObject(file)["wheels"].toArray().size(), 1);
    const QJsonObject entry =
        QJsonDocument::fromJson(readText(m_root + "/presets/.presets.json")).array()[2].toObject();
    EXPECT_EQ(entry["filename"].toString(), file);
    EXPECT_EQ(entry["title"].toString(), "Live set");
    EXPECT_EQ(m_files->getCurrentPatchPath(), file);
    EXPECT_TRUE(m_files->slotIsChecked(2));
    EXPECT_FALSE(m_files->slotIsEmtpy(2));
    EXPECT_EQ(m_files->getSlotName(2), "Live set");
    EXPECT_EQ(slotChanged.count(), 1);
    // The window title names the preset, not its file.
    EXPECT_EQ(m_files->currentPatchTitle(), "Live set");

    // Under another name: the new file replaces the old one.
    m_files->saveCurrentPatchToSlot(2, "Encore");
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_TRUE(QFileInfo::exists(user("Encore|2.json")));
    EXPECT_TRUE(m_files->slotIsChecked(2));
    // Under the same name: the file is rewritten, not lost.
    m_files->saveCurrentPatchToSlot(2, "Encore");
    EXPECT_TRUE(QFileInfo::exists(user("Encore|2.json")));
    EXPECT_EQ(slotChanged.count(), 3);
}

TEST_F(FileManagerTest, RemovingASlotDeletesItsFileAndForgetsTheCurrentPatch)
{
    fillSlot(0, "A");
    m_files->saveCurrentPatchToSlot(2, "Live set");
    m_files->saveCurrentPatchToSlot(5, "Other");
    QSignalSpy slotChanged(m_files.get(), &FileManager::patchSlotChanged);
    m_files->removePatchAtSlot(2);
    EXPECT_FALSE(QFileInfo::exists(user("Live set|2.json")));
    EXPECT_EQ(m_files->getSlotName(2), "Slot3");
    EXPECT_TRUE(m_files->slotIsEmtpy(2));
    // Whichever slot was current.
    EXPECT_TRUE(m_files->getCurrentPatchPath().isEmpty());
    EXPECT_FALSE(m_files->slotIsChecked(5));
    EXPECT_EQ(slotChanged.count(), 1);
    EXPECT_TRUE(QFileInfo::exists(user("Other|5.json")));
}

TEST_F(FileManagerTest, HostileTitlesStayInsideTheUserFolder)
{
    fillSlot(0, "A");
    const QString title = "../../../escape/..\n\x01x";
    m_files->saveCurrentPatchToSlot(4, title);
    // The title is kept as typed; the file lies in the user folder.
    EXPECT_EQ(m_files->getSlotName(4), title);
    const QStringList files = QDir(m_files->getPresetPath()).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files[0].endsWith("|4.json"));
    EXPECT_FALSE(QFileInfo::exists(m_tmp.path() + "/Documents/escape"));
    EXPECT_TRUE(m_files->slotIsChecked(4));
    m_files->removePatchAtSlot(4);
    EXPECT_TRUE(QDir(m_files->getPresetPath()).isEmpty());
}

TEST_F(FileManagerTest, OnlyFilesInsideTheUserFolderAreDeleted)
{
    // A hand-edited index naming files elsewhere.
    const QString outside = m_tmp.path() + "/precious.json";
    const QString sneaky = m_files->getPresetPath() + "/../../settings.json";
    writeText(outside, "{}");
    writeText(m_root + "/settings.json", "{}");
    QJsonArray index = QJsonDocument::fromJson(readText(m_root + "/presets/.presets.json")).array();
    index[0] = QJsonObject{{"filename", outside}, {"title", "Out"}};
    index[1] = QJsonObject{{"filename", sneaky}, {"title", "Sneaky"}};
    writeText(m_root + "/presets/.presets.json", QJsonDocument(index).toJson());

    m_files->removePatchAtSlot(0);
    fillSlot(0, "A");
    m_files->saveCurrentPatchToSlot(1, "New");
    EXPECT_TRUE(QFileInfo::exists(outside));
    EXPECT_TRUE(QFileInfo::exists(m_root + "/settings.json"));
    EXPECT_EQ(m_files->getSlotName(0), "Slot1");
    EXPECT_EQ(m_files->getSlotName(1), "New");
}

TEST_F(FileManagerTest, FailedSlotSaveKeepsTheOldPreset)
{
    fillSlot(0, "A");
    m_files->saveCurrentPatchToSlot(3, "Old");
    const QString oldFile = user("Old|3.json");
    const QByteArray oldContent = readText(oldFile);
    m_files->removePatchAtSlot(7); // current patch now empty

    // Something in the way of the new file makes its write fail.
    ASSERT_TRUE(QDir().mkpath(user("New|3.json")));
    QSignalSpy failed(m_files.get(), &FileManager::patchSaveFailed);
    QSignalSpy slotChanged(m_files.get(), &FileManager::patchSlotChanged);
    m_files->saveCurrentPatchToSlot(3, "New");
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.at(0).at(0).toString(), user("New|3.json"));
    EXPECT_EQ(slotChanged.count(), 0);
    EXPECT_EQ(readText(oldFile), oldContent);
    EXPECT_EQ(m_files->getSlotName(3), "Old");
    EXPECT_TRUE(m_files->getCurrentPatchPath().isEmpty());
}

TEST_F(FileManagerTest, LoadingASlotMakesItCurrent)
{
    fillSlot(6, "Six");
    m_files->saveCurrentPatchToSlot(1, "One");
    m_files->removePatchAtSlot(9);
    m_engine->removeCSourceAt(6, false);
    QSignalSpy changed(m_files.get(), &FileManager::patchChanged);
    m_files->loadPatchAtSlot(1);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_FALSE(slot(6)->isDummy());
    EXPECT_EQ(slot(6)->getName(), "Six");
    EXPECT_TRUE(m_files->slotIsChecked(1));
    // An empty slot loads nothing.
    m_files->loadPatchAtSlot(2);
    EXPECT_EQ(changed.count(), 1);
}

// --- patches ---------------------------------------------------------------------------

TEST_F(FileManagerTest, DefaultPatchFillsTwoSlotsAndKeepsTheCurrentPath)
{
    m_files->setCurrentPatchPath("/somewhere/mine.json");
    fillSlot(7, "Stale");
    m_state.setArpeggiatorState(true);
    QSignalSpy changed(m_files.get(), &FileManager::patchChanged);
    ASSERT_TRUE(m_files->loadDefaultPatch());
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(m_files->getCurrentPatchPath(), "/somewhere/mine.json");

    const ControlSourceParams a = slot(0)->getParams();
    const ControlSourceParams b = slot(1)->getParams();
    EXPECT_EQ(a.name, "Wheel 1");
    EXPECT_EQ(a.id, QUuid("{d70a5c5d-7d7b-4744-8bcb-ff79056b9480}"));
    EXPECT_EQ(a.deviceId, 5141239792064667465ull);
    EXPECT_EQ(a.axis, 0);
    EXPECT_EQ(a.eventNumber, 1);
    EXPECT_EQ(a.defaultValue, 0.0f);
    EXPECT_EQ(a.upperbound, 127.0f);
    EXPECT_EQ(b.name, "Wheel 2");
    EXPECT_EQ(b.id, QUuid("{e4f5ab2a-be8c-4383-b5d2-206d0977bc67}"));
    EXPECT_EQ(b.axis, 1);
    EXPECT_EQ(b.eventNumber, 7);
    EXPECT_EQ(b.defaultValue, -1.0f);
    EXPECT_EQ(b.sensitivity, 1.0f);
    for (int i = 2; i < 12; ++i)
        EXPECT_TRUE(slot(i)->isDummy()) << i;
    EXPECT_FALSE(m_state.getArpeggiatorState());
    EXPECT_FALSE(m_state.getAccessibilityState());
}

TEST_F(FileManagerTest, PatchWithOnlyIndexFourEmptiesTheOtherSlots)
{
    for (int i = 0; i < 12; ++i)
        fillSlot(i, QString("W%1").arg(i));
    const QString path = m_tmp.filePath("four.json");
    writeText(path, R"({"wheels": [{"index": 4, "eventNum": 9}], "arp_on": true, "acc_on": true})");
    m_state.setFocusedSource(3);
    m_files->loadPatchAt(path, false, false);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(slot(i)->isDummy(), i != 4) << i;
    EXPECT_EQ(slot(4)->getName(), "Wheel4");
    EXPECT_EQ(slot(4)->getEventNumber(), 9);
    EXPECT_TRUE(m_state.getArpeggiatorState());
    EXPECT_TRUE(m_state.getAccessibilityState());
    EXPECT_EQ(m_state.getFocusedSource(), -1);
    EXPECT_EQ(m_files->getCurrentPatchPath(), path);
}

TEST_F(FileManagerTest, LaterWheelWithTheSameIndexWinsAndStrayIndicesAreIgnored)
{
    const QString path = m_tmp.filePath("dup.json");
    writeText(path, R"({"wheels": [{"index": 2, "name": "first"}, {"index": 2, "name": "second"},
                                    {"index": 12, "name": "stray"}, {"index": -1}]})");
    m_files->loadPatchAt(path, true, false);
    EXPECT_EQ(slot(2)->getName(), "second");
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(slot(i)->isDummy(), i != 2) << i;
    EXPECT_TRUE(m_files->getCurrentPatchPath().isEmpty()); // a backup load
}

TEST_F(FileManagerTest, OddValuesLoadTheirDefaults)
{
    const QString path = m_tmp.filePath("odd.json");
    writeText(path, R"({"wheels": [{"index": 0, "channel": 1.5, "deviceID": 5141239792064667465,
                                     "sensitivity": 0}]})");
    m_files->loadPatchAt(path, false, false);
    EXPECT_EQ(slot(0)->getChannel(), 0);
    EXPECT_EQ(slot(0)->getDeviceId(), 0u);
    EXPECT_FLOAT_EQ(slot(0)->getSensitivity(), 0.1f);
}

TEST_F(FileManagerTest, PatchIsTakenFromAUrlToo)
{
    const QString path = m_tmp.filePath("url patch.json");
    writeText(path, R"({"wheels": [{"index": 1}]})");
    m_files->loadPatchAt(QUrl::fromLocalFile(path).toString(), false);
    EXPECT_FALSE(slot(1)->isDummy());
    EXPECT_EQ(m_files->getCurrentPatchPath(), path);

    // A plain path given as a URL is still found; a remote URL is refused.
    m_engine->removeCSourceAt(1, false);
    m_files->loadPatchAt(path, true);
    EXPECT_FALSE(slot(1)->isDummy());
    QSignalSpy failed(m_files.get(), &FileManager::patchLoadFailed);
    QSignalSpy saveFailed(m_files.get(), &FileManager::patchSaveFailed);
    m_files->loadPatchAt("http://example.com/p.json", false);
    m_files->saveCurrentPatchToPath("http://example.com/p.json");
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(saveFailed.count(), 1);
}

TEST_F(FileManagerTest, BrokenPatchIsRefusedAndReported)
{
    fillSlot(5, "Mine");
    m_state.setArpeggiatorState(true);
    m_files->setCurrentPatchPath("/current.json");
    QSignalSpy changed(m_files.get(), &FileManager::patchChanged);
    QSignalSpy failed(m_files.get(), &FileManager::patchLoadFailed);

    const QString bad = m_tmp.filePath("bad.json");
    const QString list = m_tmp.filePath("list.json");
    const QString empty = m_tmp.filePath("empty.json");
    writeText(bad, R"({"wheels": [)");
    writeText(list, R"([{"index": 1}])");
    writeText(empty, "");
    for (const QString& path : {bad, list, empty}) {
        m_files->loadPatchAt(path, false, false);
        EXPECT_FALSE(slot(5)->isDummy()) << path.toStdString();
        EXPECT_EQ(slot(5)->getName(), "Mine");
        EXPECT_TRUE(m_state.getArpeggiatorState());
        EXPECT_EQ(m_files->getCurrentPatchPath(), "/current.json");
    }
    EXPECT_EQ(changed.count(), 0);
    ASSERT_EQ(failed.count(), 3);
    EXPECT_EQ(failed.at(0).at(0).toString(), bad);
    EXPECT_FALSE(failed.at(0).at(1).toString().isEmpty());
    EXPECT_EQ(failed.at(1).at(0).toString(), list);

    // A file that cannot be opened changes nothing either.
    m_files->loadPatchAt(m_tmp.filePath("none.json"), false, false);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(m_files->getCurrentPatchPath(), "/current.json");
}

TEST_F(FileManagerTest, SaveToPathDoesNotChangeTheCurrentPatch)
{
    fillSlot(0, "A");
    m_files->saveCurrentPatchToSlot(0, "Current");
    const QString other = m_tmp.filePath("copy.json");
    QSignalSpy changed(m_files.get(), &FileManager::patchChanged);
    QSignalSpy slotChanged(m_files.get(), &FileManager::patchSlotChanged);
    m_files->saveCurrentPatchToPath(QUrl::fromLocalFile(other).toString());
    EXPECT_TRUE(QFileInfo::exists(other));
    EXPECT_EQ(m_files->getCurrentPatchPath(), user("Current|0.json"));
    EXPECT_TRUE(m_files->slotIsChecked(0));
    EXPECT_EQ(changed.count() + slotChanged.count(), 0);

    // The save at quit still goes to the current patch.
    fillSlot(1, "B");
    ASSERT_TRUE(m_files->saveCurrentPatchOrBackup());
    EXPECT_EQ(readObject(user("Current|0.json"))["wheels"].toArray().size(), 2);
    EXPECT_EQ(readObject(other)["wheels"].toArray().size(), 1);
    EXPECT_TRUE(QDir(backups()).isEmpty());
}

TEST_F(FileManagerTest, SaveAtQuitReplacesALongerFileExactly)
{
    const QString path = m_tmp.filePath("long.json");
    writeText(path, QByteArray(100000, ' ') + "{}");
    m_files->setCurrentPatchPath(path);
    fillSlot(0, "A");
    ASSERT_TRUE(m_files->saveCurrentPatchOrBackup());
    const QByteArray expected =
        JsonFile::serialise(QJsonDocument(m_files->currentPatch().toJson()));
    EXPECT_EQ(readText(path), expected);
}

TEST_F(FileManagerTest, QuitWithoutCurrentPatchWritesABackupAndKeepsFifteen)
{
    const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-1);
    for (int i = 0; i < 15; ++i) {
        const QString path = backups() + QString("/%1.json").arg(1000 + i);
        writeText(path, "{}");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(base.addSecs(i), QFileDevice::FileModificationTime));
    }
    fillSlot(0, "A");
    m_files->setClock([] { return qint64(1700000000); });
    ASSERT_TRUE(m_files->saveCurrentPatchOrBackup());
    QStringList names = QDir(backups()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(names.size(), 15);
    EXPECT_FALSE(names.contains("1000.json")); // the oldest
    EXPECT_TRUE(names.contains("1001.json"));
    EXPECT_TRUE(names.contains("1700000000.json"));
    EXPECT_EQ(readObject(backups() + "/1700000000.json")["wheels"].toArray().size(), 1);
    // The default clock names the backup by the current second.
    m_files->setClock(nullptr);
    auto files = restart();
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    ASSERT_TRUE(files->saveCurrentPatchOrBackup());
    const qint64 after = QDateTime::currentSecsSinceEpoch();
    names = QDir(backups()).entryList(QDir::Files, QDir::Time);
    EXPECT_EQ(names.size(), 15);
    const qint64 named = names.first().chopped(5).toLongLong();
    EXPECT_GE(named, before);
    EXPECT_LE(named, after);
}

TEST_F(FileManagerTest, RestoreTakesTheNewestReadableBackupOrTheDefault)
{
    // No backup: the default patch.
    m_files->restorePatchAtStartup();
    EXPECT_EQ(slot(0)->getName(), "Wheel 1");
    EXPECT_TRUE(m_files->getCurrentPatchPath().isEmpty());

    const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-1);
    const auto backup = [&](const QString& name, const QByteArray& json, int age) {
        writeText(backups() + "/" + name, json);
        QFile file(backups() + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(base.addSecs(-age), QFileDevice::FileModificationTime));
    };
    backup("1.json", R"({"wheels": [{"index": 3, "name": "old"}]})", 30);
    backup("2.json", R"({"wheels": [{"index": 3, "name": "newer"}]})", 20);
    backup("3.json", R"({"wheels": [)", 10); // newest, but damaged
    writeText(backups() + "/notes.txt", "{}");
    m_files->restorePatchAtStartup();
    EXPECT_EQ(slot(3)->getName(), "newer");
    EXPECT_TRUE(slot(0)->isDummy());
    EXPECT_TRUE(m_files->getCurrentPatchPath().isEmpty());

    // With a current patch named, restore does nothing.
    m_files->setCurrentPatchPath("/missing.json");
    m_engine->removeCSourceAt(3, false);
    m_files->restorePatchAtStartup();
    EXPECT_TRUE(slot(3)->isDummy());
}

TEST_F(FileManagerTest, PatchRoundTripIsBitExact)
{
    m_state.setArpeggiatorState(true);
    for (int i : {0, 3, 7, 11}) {
        fillSlot(i, QString::fromUtf8("Wheel \xC3\xA9 %1").arg(i));
        ContinuousControlSource* s = slot(i);
        s->setDevice(1000000000000000000ull + i, false);
        s->setChannel(uint8_t(i));
        s->setEventNumber(uint8_t(i == 7 ? 200 : 20 + i));
        s->setLowerbound(0.1f * i + 0.3f);
        s->setUpperbound(126.99999f - i);
        s->setMin(1e-7f * i);
        s->setMax(100.33333f + i);
        s->setDefaultValue(i == 3 ? -1.0f : 12.345678f);
        s->setSensitivity(0.70000005f + i);
        s->setAxis(i % 4);
        s->setGated(i % 2 == 0);
        s->setReversed(i % 3 == 0);
        s->setCcOrNote(i != 3);
        s->setHardwareOutput(i != 7);
        s->setEnabled(i != 11);
    }
    const QString path = m_tmp.filePath("round.json");
    m_files->saveCurrentPatchToPath(path, false);

    QVector<ControlSourceParams> before;
    for (int i = 0; i < 12; ++i)
        before.append(slot(i)->getParams());
    replaceEngine();
    m_state.setArpeggiatorState(false);
    m_files->loadPatchAt(path, false, false);
    EXPECT_TRUE(m_state.getArpeggiatorState());
    for (int i = 0; i < 12; ++i) {
        const ControlSourceParams a = before[i];
        const ControlSourceParams b = slot(i)->getParams();
        SCOPED_TRACE(i);
        EXPECT_EQ(a.dummy, b.dummy);
        if (a.dummy)
            continue;
        EXPECT_EQ(a.id, b.id);
        EXPECT_EQ(a.deviceId, b.deviceId);
        EXPECT_EQ(a.type, b.type);
        EXPECT_EQ(a.enabled, b.enabled);
        EXPECT_EQ(a.index, b.index);
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.channel, b.channel);
        EXPECT_EQ(a.eventNumber, b.eventNumber);
        EXPECT_EQ(a.ccOrNote, b.ccOrNote);
        EXPECT_EQ(a.toHardware, b.toHardware);
        EXPECT_TRUE(sameBits(a.lowerbound, b.lowerbound));
        EXPECT_TRUE(sameBits(a.upperbound, b.upperbound));
        EXPECT_TRUE(sameBits(a.min, b.min));
        EXPECT_TRUE(sameBits(a.max, b.max));
        EXPECT_EQ(a.isGated, b.isGated);
        EXPECT_EQ(a.isReversed, b.isReversed);
        EXPECT_TRUE(sameBits(a.defaultValue, b.defaultValue));
        EXPECT_TRUE(sameBits(a.sensitivity, b.sensitivity));
        EXPECT_EQ(a.axis, b.axis);
    }
}

// Smoothing is stored only for the wheels that use it: a plain wheel is
// written with exactly the keys it always had, a smoothing wheel gets its
// three keys and comes back with them bit for bit, and a patch without
// them (the built-in one) switches smoothing off in the slots it fills.
TEST_F(FileManagerTest, SmoothingKeysAreWrittenOnlyWhenUsedAndRoundTrip)
{
    fillSlot(0, "Plain");
    fillSlot(1, "Smooth");
    slot(1)->setSmoothingMinCutoff(1.3000001f);
    slot(1)->setSmoothingBeta(0.70000005f);
    slot(1)->setDeadBand(3);
    fillSlot(2, "Dead band only");
    slot(2)->setDeadBand(1);
    const QString path = m_tmp.filePath("smooth.json");
    m_files->saveCurrentPatchToPath(path, false);

    const QJsonArray wheels = readObject(path)["wheels"].toArray();
    ASSERT_EQ(wheels.size(), 3);
    const QStringList plainKeys = {
        "axis",  "ccOrNote",    "channel",    "defaultValue", "deviceID",   "eventNum", "id",
        "index", "isEnabled",   "isGated",    "isReversed",   "lowerbound", "max",      "min",
        "name",  "sensitivity", "toHardware", "type",         "upperbound"};
    EXPECT_EQ(wheels[0].toObject().keys(), plainKeys);
    QStringList smoothKeys =
        plainKeys + QStringList{"deadBand", "smoothingBeta", "smoothingMinCutoff"};
    smoothKeys.sort();
    EXPECT_EQ(wheels[1].toObject().keys(), smoothKeys);
    EXPECT_EQ(wheels[2].toObject().keys(), smoothKeys);

    const ControlSourceParams saved = slot(1)->getParams();
    replaceEngine();
    m_files->loadPatchAt(path, false, false);
    EXPECT_FALSE(slot(0)->getParams().isShaping());
    EXPECT_TRUE(sameBits(slot(1)->getSmoothingMinCutoff(), saved.smoothingMinCutoff));
    EXPECT_TRUE(sameBits(slot(1)->getSmoothingBeta(), saved.smoothingBeta));
    EXPECT_EQ(slot(1)->getDeadBand(), 3);
    EXPECT_EQ(slot(2)->getDeadBand(), 1);
    EXPECT_FALSE(slot(2)->getParams().isSmoothing());

    ASSERT_TRUE(m_files->loadDefaultPatch());
    for (int i : {0, 1}) {
        EXPECT_FALSE(slot(i)->getParams().isShaping()) << i;
        EXPECT_EQ(slot(i)->getSmoothingBeta(), ControlSourceParams::kDefaultSmoothingBeta);
    }
}

// --- settings ------------------------------------------------------------------------

TEST_F(FileManagerTest, NoSettingsFileKeepsTheInitialState)
{
    QSignalSpy vkey(&m_state, &StateManager::virtualKeyboardStateChanged);
    EXPECT_FALSE(m_files->loadSettings());
    EXPECT_TRUE(m_state.getVirtualKeyboardState());
    EXPECT_EQ(vkey.count(), 0);
    EXPECT_TRUE(m_files->getCurrentPatchPath().isEmpty());
}

TEST_F(FileManagerTest, EmptySettingsObjectTakesTheFileDefaults)
{
    writeText(m_root + "/settings.json", "{}");
    QSignalSpy sending(&m_state, &StateManager::sendingClockStateChanged);
    QSignalSpy syncing(&m_state, &StateManager::synchingToClockStateChanged);
    QSignalSpy vkey(&m_state, &StateManager::virtualKeyboardStateChanged);
    m_state.setHiResMidiState(true);
    EXPECT_TRUE(m_files->loadSettings());
    EXPECT_FALSE(m_state.getVirtualKeyboardState());
    EXPECT_TRUE(m_state.getSendingClockState());
    EXPECT_FALSE(m_state.getSyncingToClockState());
    EXPECT_FALSE(m_state.getHiResMidiState());
    // Each every-call setter notifies once, also when nothing changed.
    EXPECT_EQ(sending.count(), 1);
    EXPECT_EQ(syncing.count(), 1);
    EXPECT_EQ(vkey.count(), 1);
    EXPECT_FALSE(QFileInfo::exists(m_root + "/settings.json.corrupt"));
}

TEST_F(FileManagerTest, DamagedSettingsAreKeptBeforeDefaultsApply)
{
    const QByteArray damaged = R"({"currentPatch": "/my/patch.json", "virtualKeyboard": tr)";
    writeText(m_root + "/settings.json", damaged);
    EXPECT_TRUE(m_files->loadSettings());
    EXPECT_FALSE(m_state.getVirtualKeyboardState());
    EXPECT_EQ(readText(m_root + "/settings.json.corrupt"), damaged);
    // Quitting then writes a good file; the copy stays.
    EXPECT_TRUE(m_files->saveSettings());
    EXPECT_TRUE(readObject(m_root + "/settings.json").contains("virtualKeyboard"));
    EXPECT_EQ(readText(m_root + "/settings.json.corrupt"), damaged);

    writeText(m_root + "/settings.json", "[true]");
    restart()->loadSettings();
    EXPECT_EQ(readText(m_root + "/settings.json.corrupt.1"), "[true]");
}

TEST_F(FileManagerTest, SettingsRoundTripThroughStateAndMidi)
{
    auto backend = std::make_shared<InMemoryMidiBackend>();
    MidiHandler midi(backend);
    m_files->setMidiHandler(&midi);
    midi.setIgnoredInputs({"in-1", QString::fromUtf8("in \xC3\xA9")});
    midi.setIgnoredOutputs({"out-9"});
    m_state.setHiResMidiState(true);
    m_state.setSyncingToClockState(true);
    m_state.setSendingClockState(false);
    m_state.setVirtualKeyboardState(true);
    m_files->setCurrentPatchPath(m_tmp.filePath("p.json"));
    ASSERT_TRUE(m_files->saveSettings());

    const QJsonObject written = readObject(m_root + "/settings.json");
    EXPECT_EQ(written["currentPatch"].toString(), m_tmp.filePath("p.json"));
    EXPECT_EQ(written["ignored_inputs"].toArray().size(), 2);

    // A later run.
    StateManager state;
    MidiHandler midi2(backend);
    auto files = restart(&midi2, &state);
    ASSERT_TRUE(files->loadSettings());
    EXPECT_EQ(midi2.ignoredInputs(), QStringList({"in-1", QString::fromUtf8("in \xC3\xA9")}));
    EXPECT_EQ(midi2.ignoredOutputs(), QStringList({"out-9"}));
    EXPECT_TRUE(state.getHiResMidiState());
    EXPECT_TRUE(state.getSyncingToClockState());
    EXPECT_FALSE(state.getSendingClockState());
    EXPECT_TRUE(state.getVirtualKeyboardState());
    EXPECT_EQ(files->getCurrentPatchPath(), m_tmp.filePath("p.json"));
    m_files->setMidiHandler(nullptr);
}

TEST_F(FileManagerTest, IgnoreListsSurviveARunWithoutMidi)
{
    writeText(m_root + "/settings.json", R"({"ignored_inputs": ["a"], "ignored_outputs": ["b"]})");
    ASSERT_TRUE(m_files->loadSettings());
    ASSERT_TRUE(m_files->saveSettings());
    const QJsonObject written = readObject(m_root + "/settings.json");
    EXPECT_EQ(written["ignored_inputs"].toArray(), QJsonArray({"a"}));
    EXPECT_EQ(written["ignored_outputs"].toArray(), QJsonArray({"b"}));
}

TEST_F(FileManagerTest, SettingsNamingAMissingPatchKeepTheSlotsAndThePath)
{
    const QString missing = m_tmp.filePath("gone/patch.json");
    ASSERT_TRUE(QDir().mkpath(m_tmp.filePath("gone")));
    writeText(m_root + "/settings.json",
              QJsonDocument(QJsonObject{{"currentPatch", missing}}).toJson());
    fillSlot(2, "Kept");
    QSignalSpy changed(m_files.get(), &FileManager::patchChanged);
    m_files->loadSettings();
    m_files->restorePatchAtStartup();
    EXPECT_EQ(changed.count(), 0); // neither the patch nor a backup or default loaded
    EXPECT_EQ(slot(2)->getName(), "Kept");
    EXPECT_EQ(m_files->getCurrentPatchPath(), missing);
    ASSERT_TRUE(m_files->saveCurrentPatchOrBackup());
    EXPECT_EQ(readObject(missing)["wheels"].toArray().size(), 1);
    EXPECT_TRUE(QDir(backups()).isEmpty());
}

TEST_F(FileManagerTest, SettingsNamingADamagedPatchDoNotOverwriteIt)
{
    const QString damaged = m_tmp.filePath("damaged.json");
    writeText(damaged, R"({"wheels": [{"index": 1)");
    writeText(m_root + "/settings.json",
              QJsonDocument(QJsonObject{{"currentPatch", damaged}}).toJson());
    m_files->loadSettings();
    EXPECT_TRUE(m_files->getCurrentPatchPath().isEmpty());
    m_files->restorePatchAtStartup(); // falls back to the default patch
    EXPECT_EQ(slot(0)->getName(), "Wheel 1");
    m_files->saveCurrentPatchOrBackup();
    EXPECT_EQ(readText(damaged), R"({"wheels": [{"index": 1)");
}

TEST_F(FileManagerTest, SettingsLoadTheNamedPatch)
{
    const QString path = m_tmp.filePath("named.json");
    writeText(path, R"({"wheels": [{"index": 8, "name": "Named"}]})");
    writeText(m_root + "/settings.json",
              QJsonDocument(QJsonObject{{"currentPatch", path}}).toJson());
    m_files->loadSettings();
    EXPECT_EQ(slot(8)->getName(), "Named");
    EXPECT_EQ(m_files->getCurrentPatchPath(), path);
}

// --- device registry -------------------------------------------------------------------

TEST_F(FileManagerTest, RegistryCreatesConfiguredSensors)
{
    writeText(m_root + "/devices.json", R"({
        "11": {"index": 1, "name": "Right", "yGate": 0.25, "isOnLeft": false, "isSoloed": true,
               "isMuted": true, "init_pos_y": 0.5, "init_pos_p": -0.25, "init_pos_r": 0.125},
        "22": {"index": 0, "isOnLeft": true},
        "wrist": {"index": 2, "name": "Not a number"}
    })");
    ASSERT_TRUE(m_files->loadDeviceRegistry());
    ASSERT_EQ(m_engine->getNumOfDevice(), 2);
    Orvik* right = m_engine->getDeviceById(11);
    Orvik* left = m_engine->getDeviceById(22);
    ASSERT_TRUE(right && left);
    EXPECT_EQ(right->getName(), "Right");
    EXPECT_EQ(right->getIndex(), 1);
    EXPECT_FLOAT_EQ(right->getYGate(), 0.25f);
    EXPECT_FALSE(right->isOnLeft());
    EXPECT_TRUE(right->isSoloed());
    EXPECT_TRUE(right->isMuted());
    EXPECT_FLOAT_EQ(right->getYawReference(), 0.5f);
    EXPECT_FLOAT_EQ(right->getPitchReference(), -0.25f);
    EXPECT_FLOAT_EQ(right->getRollReference(), 0.125f);
    EXPECT_EQ(left->getName(), "Orvik"); // no "name"
    EXPECT_EQ(left->getIndex(), 0);
    EXPECT_TRUE(left->isOnLeft());
    // The key that is not a number names no sensor: nothing with identifier 0.
    EXPECT_FALSE(m_engine->isDeviceExist(0));
}

TEST_F(FileManagerTest, RegistryPositionsStayContiguous)
{
    writeText(m_root + "/devices.json",
              R"({"1": {"index": 5}, "2": {}, "3": {}, "4": {"index": 0}})");
    ASSERT_TRUE(m_files->loadDeviceRegistry());
    ASSERT_EQ(m_engine->getNumOfDevice(), 4);
    EXPECT_EQ(m_engine->getDeviceById(2)->getIndex(), 0);
    EXPECT_EQ(m_engine->getDeviceById(3)->getIndex(), 1);
    EXPECT_EQ(m_engine->getDeviceById(4)->getIndex(), 2);
    EXPECT_EQ(m_engine->getDeviceById(1)->getIndex(), 3);
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(m_engine->getDeviceAt(i), nullptr) << i;
}

TEST_F(FileManagerTest, RegistryRoundTrip)
{
    m_engine->addNewDevice(18446744073709551615ull);
    m_engine->addNewDevice(5);
    Orvik* a = m_engine->getDeviceById(18446744073709551615ull);
    a->setName("Alpha");
    a->setYGate(0.3f);
    a->setOnLeft(true);
    a->setMuted(true);
    a->setInitPos(0.1f, 0.2f, 0.3f);
    ASSERT_TRUE(m_files->saveDeviceRegistry());
    const QJsonObject written = readObject(m_root + "/devices.json");
    EXPECT_EQ(written.keys(), QStringList({"18446744073709551615", "5"}));

    replaceEngine();
    ASSERT_TRUE(m_files->loadDeviceRegistry());
    ASSERT_EQ(m_engine->getNumOfDevice(), 2);
    Orvik* b = m_engine->getDeviceById(18446744073709551615ull);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->getName(), "Alpha");
    EXPECT_EQ(b->getIndex(), 0);
    EXPECT_TRUE(sameBits(b->getYGate(), 0.3f));
    EXPECT_TRUE(b->isOnLeft());
    EXPECT_TRUE(b->isMuted());
    EXPECT_FALSE(b->isSoloed());
    EXPECT_TRUE(sameBits(b->getYawReference(), 0.1f));
    EXPECT_TRUE(sameBits(b->getPitchReference(), 0.2f));
    EXPECT_TRUE(sameBits(b->getRollReference(), 0.3f));
    EXPECT_EQ(m_engine->getDeviceById(5)->getIndex(), 1);
}

TEST_F(FileManagerTest, DamagedRegistryIsKeptAndLoadsNothing)
{
    writeText(m_root + "/devices.json", R"({"11": {"name": )");
    EXPECT_FALSE(m_files->loadDeviceRegistry());
    EXPECT_EQ(m_engine->getNumOfDevice(), 0);
    EXPECT_EQ(readText(m_root + "/devices.json.corrupt"), R"({"11": {"name": )");
}

TEST_F(FileManagerTest, LoadedPatchFollowsTheFirstSensorWhenItsOwnIsUnknown)
{
    // As start-up wires them.
    QObject::connect(m_files.get(), &FileManager::patchChanged, m_engine.get(),
                     &MotionControlEngine::refreshCs);
    m_engine->addNewDevice(77);
    ASSERT_TRUE(m_files->loadDefaultPatch());
    EXPECT_EQ(slot(0)->getDeviceId(), 77u);
    EXPECT_EQ(slot(1)->getDeviceId(), 77u);
}

TEST_F(FileManagerTest, RegistrySensorAlreadyKnownKeepsItsPosition)
{
    m_engine->addNewDevice(5);
    writeText(m_root + "/devices.json",
              R"({"5": {"index": 3, "name": "Five"}, "6": {"index": 0}})");
    ASSERT_TRUE(m_files->loadDeviceRegistry());
    ASSERT_EQ(m_engine->getNumOfDevice(), 2);
    EXPECT_EQ(m_engine->getDeviceById(5)->getIndex(), 0);
    EXPECT_EQ(m_engine->getDeviceById(5)->getName(), "Five");
    EXPECT_EQ(m_engine->getDeviceById(6)->getIndex(), 1);
}

// A wheel keeps the band it was made for. While that band is absent the
// wheel plays from the first band, every save still names its own band, and
// it goes back to it when the band appears; the wheels of a patch whose band
// comes later play as soon as a band does.
TEST_F(FileManagerTest, WheelKeepsItsBandWhileAbsentAndReturnsToIt)
{
    QObject::connect(m_files.get(), &FileManager::patchChanged, m_engine.get(),
                     &MotionControlEngine::refreshCs);
    auto backend = std::make_shared<InMemoryMidiBackend>();
    MidiHandler midi(backend, &m_state);
    m_engine->setControlOutput(&midi);
    // Moves band `uuid` after its warm-up; returns the controller numbers
    // that went out.
    const auto move = [&](uint64_t uuid) {
        Orvik* band = m_engine->getDeviceById(uuid);
        MotionRecord record;
        for (int i = 0; i <= Orvik::kWarmUpFrames; ++i)
            band->applyMotion(record);
        midi.flushBuffer();
        record[MotionRecord::X] = 0.8f;
        record[MotionRecord::Y] = 0.3f;
        if (band->applyMotion(record))
            m_engine->deliverMotion(*band, record);
        QList<int> controllers;
        for (const juce::MidiMessage& message : midi.pendingMessages())
            if (message.isController())
                controllers.append(message.getControllerNumber());
        midi.flushBuffer();
        return controllers;
    };
    const auto savedBand = [&](const QString& path, int wheel) {
        return readObject(path)["wheels"].toArray()[wheel].toObject()["deviceID"].toString();
    };

    // First start: the built-in patch, whose band is not there; bands come
    // later.
    ASSERT_TRUE(m_files->loadDefaultPatch());
    m_engine->addNewDevice(10);
    EXPECT_EQ(slot(0)->getDeviceId(), 10u);
    EXPECT_EQ(slot(1)->getDeviceId(), 10u);
    EXPECT_EQ(move(10), QList<int>({1, 7}));

    // A patch made for band 11 while only band 10 is known.
    const QString path = user("two wrists.json");
    writeText(path, R"({"wheels": [
        {"index": 0, "deviceID": "11", "axis": 0, "eventNum": 20, "upperbound": 127},
        {"index": 1, "deviceID": "10", "axis": 1, "eventNum": 21, "upperbound": 127}]})");
    ASSERT_TRUE(m_files->loadPatchFile(path, false));
    EXPECT_EQ(slot(0)->getDeviceId(), 10u);
    ASSERT_TRUE(m_files->saveCurrentPatchOrBackup());
    EXPECT_EQ(savedBand(path, 0), "11");
    EXPECT_EQ(savedBand(path, 1), "10");

    // Band 11 appears (the registry here; the receiver's list alike).
    writeText(m_root + "/devices.json", R"({"11": {"index": 1}})");
    ASSERT_TRUE(m_files->loadDeviceRegistry());
    EXPECT_EQ(slot(0)->getDeviceId(), 11u);
    EXPECT_EQ(slot(1)->getDeviceId(), 10u);
    EXPECT_EQ(move(11), QList<int>({20}));

    // A band picked in the editor is what the wheel is saved with.
    slot(1)->setDevice(11, true);
    ASSERT_TRUE(m_files->saveCurrentPatchOrBackup());
    EXPECT_EQ(savedBand(path, 1), "11");
    m_engine->setControlOutput(nullptr);
}

// --- saving never loses the session ------------------------------------------------------

TEST_F(FileManagerTest, QuitWritesABackupWhenTheCurrentPatchCannotBeWritten)
{
    const QString drive = m_tmp.filePath("drive");
    ASSERT_TRUE(QDir().mkpath(drive));
    writeText(drive + "/set.json", R"({"wheels": [{"index": 2, "name": "Set"}]})");
    ASSERT_TRUE(m_files->loadPatchFile(drive + "/set.json", false));
    ASSERT_TRUE(QDir(drive).removeRecursively()); // the drive went away
    m_files->setClock([] { return qint64(1700000000); });
    EXPECT_TRUE(m_files->saveCurrentPatchOrBackup());
    EXPECT_EQ(readObject(backups() + "/1700000000.json")["wheels"]
                  .toArray()
                  .at(0)
                  .toObject()["name"]
                  .toString(),
              "Set");
}

TEST_F(FileManagerTest, PatchThatAppearedDuringTheSessionIsNotOverwritten)
{
    const QString path = m_tmp.filePath("drive/set.json");
    writeText(m_root + "/settings.json",
              QJsonDocument(QJsonObject{{"currentPatch", path}}).toJson());
    m_files->loadSettings();
    fillSlot(0, "Session");
    ASSERT_TRUE(QDir().mkpath(m_tmp.filePath("drive"))); // mounted again
    writeText(path, R"({"wheels": []})");
    m_files->setClock([] { return qint64(1700000000); });
    EXPECT_TRUE(m_files->saveCurrentPatchOrBackup());
    EXPECT_EQ(readText(path), R"({"wheels": []})");
    EXPECT_EQ(readObject(backups() + "/1700000000.json")["wheels"]
                  .toArray()
                  .at(0)
                  .toObject()["name"]
                  .toString(),
              "Session");
}

TEST_F(FileManagerTest, PruningKeepsFifteenOwnBackupsAndDeletesNothingElse)
{
    const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-1);
    const auto stamp = [&](const QString& name, int age) {
        writeText(backups() + "/" + name, "{}");
        QFile file(backups() + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(base.addSecs(-age), QFileDevice::FileModificationTime));
    };
    stamp("my set.json", 100); // the oldest file, but not a backup
    for (int i = 0; i < 15; ++i)
        stamp(QString("%1.json").arg(1000 + i), 50 - i);
    fillSlot(0, "A");
    m_files->setClock([] { return qint64(1700000000); });
    ASSERT_TRUE(m_files->saveCurrentPatchOrBackup());
    const QStringList names = QDir(backups()).entryList(QDir::Files);
    EXPECT_TRUE(names.contains("my set.json"));
    EXPECT_EQ(names.size(), 16);
    EXPECT_FALSE(names.contains("1000.json"));
    EXPECT_TRUE(names.contains("1700000000.json"));
}

TEST_F(FileManagerTest, SlotSaveKeepsTheFileItWroteAndEarlierPresets)
{
    fillSlot(0, "A");
    ASSERT_TRUE(m_files->saveToSlot(2, "Live"));
    // The same documents folder reached through a symbolic link: the index
    // names the file in one spelling, the new save in the other.
    const QString link = m_tmp.filePath("linked");
    ASSERT_TRUE(QFile::link(m_tmp.path() + "/Documents", link));
    FileManager linked(StoragePaths(link + "/Vantor/Kinetra"), *m_engine, nullptr, m_state);
    ASSERT_TRUE(linked.saveToSlot(2, "Live"));
    EXPECT_TRUE(QFileInfo::exists(user("Live|2.json")));

    // An index that cannot be read: a preset that was there stays.
    ASSERT_TRUE(m_files->saveToSlot(5, "Set"));
    ASSERT_TRUE(QFile::remove(m_root + "/presets/.presets.json"));
    ASSERT_TRUE(QDir().mkpath(m_root + "/presets/.presets.json"));
    EXPECT_FALSE(m_files->saveToSlot(5, "Set"));
    EXPECT_TRUE(QFileInfo::exists(user("Set|5.json")));
}

namespace {

// A folder the test's user may not create files in (root's file-system
// identity is dropped meanwhile, since root could), holding a file it may
// write.
class ClosedFolder
{
public:
    ClosedFolder(const QString& tmpRoot, const QString& folder)
        : m_tmpRoot(tmpRoot), m_folder(folder)
    {
        ::chmod(QFile::encodeName(m_tmpRoot).constData(), 0711);
        ::chmod(QFile::encodeName(m_folder).constData(), 0555);
        if (::geteuid() == 0) {
            ::setfsuid(65534);
            m_dropped = ::setfsuid(-1) == 65534;
        }
    }
    ~ClosedFolder()
    {
        if (m_dropped)
            ::setfsuid(0);
        ::chmod(QFile::encodeName(m_folder).constData(), 0755);
        ::chmod(QFile::encodeName(m_tmpRoot).constData(), 0700);
    }
    bool isClosed() const { return ::geteuid() != 0 || m_dropped; }

private:
    QString m_tmpRoot;
    QString m_folder;
    bool m_dropped = false;
};

} // namespace

TEST_F(FileManagerTest, PatchInAFolderClosedToNewFilesStillSaves)
{
    const QString folder = m_tmp.filePath("closed");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + "/set.json";
    writeText(path, "{}");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0666), 0);
    fillSlot(0, "A");
    {
        ClosedFolder closed(m_tmp.path(), folder);
        if (!closed.isClosed())
            GTEST_SKIP() << "cannot act as another user here";
        EXPECT_TRUE(m_files->savePatchFile(path));
    }
    EXPECT_EQ(readObject(path)["wheels"].toArray().size(), 1);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList("set.json"));
}
