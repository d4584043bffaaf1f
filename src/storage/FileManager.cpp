// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/FileManager.h"

#include "engine/ContinuousControlSource.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "midi/MidiHandler.h"
#include "storage/BackupFolder.h"
#include "storage/DeviceRegistryDocument.h"
#include "storage/JsonFile.h"
#include "storage/PersistentFlags.h"
#include "storage/PresetIndex.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QUrl>

#include <sys/stat.h>

#include <algorithm>
#include <memory>

Q_LOGGING_CATEGORY(lcStorage, "kinetra.storage")

// Q_INIT_RESOURCE may not be used inside a namespace.
static void initStorageResources()
{
    Q_INIT_RESOURCE(kinetra_storage);
}

const QString FileManager::kDefaultPatchPath = QStringLiteral("://default.json");

FileManager::FileManager(const StoragePaths& paths, MotionControlEngine& engine, MidiHandler* midi,
                         PersistentFlags& flags, QObject* parent)
    : QObject(parent), m_engine(engine), m_midi(midi), m_flags(flags), m_paths(paths),
      m_clock([] { return QDateTime::currentSecsSinceEpoch(); })
{
    initStorageResources();
    if (!m_paths.createFolders())
        qCWarning(lcStorage) << "could not create the folders under" << m_paths.root();
    ensurePresetIndex();
}

void FileManager::setClock(std::function<qint64()> secondsSinceEpoch)
{
    if (secondsSinceEpoch)
        m_clock = std::move(secondsSinceEpoch);
}

// --- preset index -------------------------------------------------------------

void FileManager::ensurePresetIndex()
{
    const QString path = m_paths.presetIndexFile();
    const JsonFile::ReadResult read = JsonFile::read(path);
    if (read.status == JsonFile::Status::CannotRead) {
        qCWarning(lcStorage) << "cannot read the preset index" << path << ":" << read.error;
        return;
    }
    PresetIndex index;
    if (read.ok()) {
        bool wellFormed = false;
        index = PresetIndex::fromJson(read.document, &wellFormed);
        if (wellFormed)
            return;
    }
    if (read.status != JsonFile::Status::NotFound) {
        // Damaged: keep what the user had, then repair it, keeping every entry
        // that could still be read.
        JsonFile::keepCorruptCopy(path);
        retitleEmptySlots(index);
    }
    JsonFile::writeAtomically(path, index.toJson());
}

void FileManager::retitleEmptySlots(PresetIndex& index)
{
    for (int slot = 0; slot < PresetIndex::kSlotCount; ++slot)
        if (index.entry(slot).title.isEmpty() && index.entry(slot).filename.isEmpty())
            index.setEntry(slot, QString(), PresetIndex::defaultTitle(slot));
}

bool FileManager::readIndex(PresetIndex& index) const
{
    const JsonFile::ReadResult read = JsonFile::read(m_paths.presetIndexFile());
    if (!read.ok())
        return false;
    index = PresetIndex::fromJson(read.document);
    return true;
}

bool FileManager::writeIndexEntry(int slot, const QString& filename, const QString& title)
{
    const QString path = m_paths.presetIndexFile();
    const JsonFile::ReadResult read = JsonFile::read(path);
    PresetIndex index;
    if (read.ok()) {
        bool wellFormed = false;
        index = PresetIndex::fromJson(read.document, &wellFormed);
        if (!wellFormed)
            retitleEmptySlots(index);
    } else if (read.status == JsonFile::Status::Malformed) {
        JsonFile::keepCorruptCopy(path);
    } else if (read.status == JsonFile::Status::CannotRead) {
        qCWarning(lcStorage) << "cannot read the preset index" << path << ":" << read.error;
        return false;
    }
    index.setEntry(slot, filename, title);
    return JsonFile::writeAtomically(path, index.toJson());
}

QString FileManager::getPresetPath() const
{
    return m_paths.userFolder();
}

QString FileManager::getSlotName(int i) const
{
    PresetIndex index;
    if (!PresetIndex::isValidSlot(i) || !readIndex(index))
        return QString();
    return index.entry(i).title;
}

bool FileManager::slotIsEmtpy(int i) const
{
    PresetIndex index;
    if (!PresetIndex::isValidSlot(i) || !readIndex(index))
        return true;
    return index.entry(i).filename.isEmpty();
}

bool FileManager::slotIsChecked(int i) const
{
    PresetIndex index;
    if (!PresetIndex::isValidSlot(i) || !readIndex(index))
        return false;
    const QString filename = index.entry(i).filename;
    return !filename.isEmpty() && filename == m_currentPatchPath;
}

bool FileManager::liesInUserFolder(const QString& path) const
{
    if (path.isEmpty())
        return false;
    const QFileInfo file(path);
    const QString userFolder = QDir(m_paths.userFolder()).canonicalPath();
    return !userFolder.isEmpty() && file.absoluteDir().canonicalPath() == userFolder &&
           !file.fileName().isEmpty();
}

bool FileManager::isSameFile(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (a == b)
        return true;
    // Two spellings of one file: a folder reached through a symbolic link, or
    // a volume that ignores the case of names.
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    if (!canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath())
        return true;
    struct stat statA;
    struct stat statB;
    return ::stat(QFile::encodeName(a).constData(), &statA) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &statB) == 0 && statA.st_dev == statB.st_dev &&
           statA.st_ino == statB.st_ino;
}

bool FileManager::removeSlotFile(const QString& path) const
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return false;
    if (!liesInUserFolder(path)) {
        qCWarning(lcStorage) << "not deleting" << path << ": it lies outside the preset folder";
        return false;
    }
    return QFile::remove(path);
}

// --- patches ------------------------------------------------------------------

QString FileManager::resolvePath(const QString& path, bool isUrl)
{
    if (!isUrl)
        return path;
    const QUrl url(path);
    if (url.isLocalFile())
        return QDir::toNativeSeparators(url.toLocalFile());
    // A plain path handed over as a URL is taken as it is; any other scheme
    // names no local file.
    return url.scheme().isEmpty() ? path : QString();
}

void FileManager::loadPatchAt(const QString& path, bool isBackup, bool isUrl)
{
    const QString file = resolvePath(path, isUrl);
    if (file.isEmpty() && !path.isEmpty()) {
        Q_EMIT patchLoadFailed(path, QStringLiteral("not a local file"));
        return;
    }
    loadPatchFile(file, isBackup);
}

bool FileManager::loadPatchFile(const QString& path, bool isBackup)
{
    if (path.isEmpty())
        return false;
    const JsonFile::ReadResult read = JsonFile::read(path);
    QString reason;
    if (!read.ok())
        reason = read.error;
    else if (!read.document.isObject())
        reason = QStringLiteral("the file does not hold a patch (its top level is not an object)");
    if (!reason.isEmpty()) {
        qCWarning(lcStorage) << "patch" << path << "not loaded:" << reason;
        Q_EMIT patchLoadFailed(path, reason);
        return false;
    }
    if (!isBackup) {
        m_currentPatchPath = path;
        m_absentAtStartup.clear();
    }
    applyPatch(PatchDocument::fromJson(read.document.object()));
    return true;
}

bool FileManager::loadDefaultPatch()
{
    return loadPatchFile(kDefaultPatchPath, true);
}

void FileManager::applyPatch(const PatchDocument& patch)
{
    const int slotCount = m_engine.getNumOfCSources();
    QVector<bool> filled(slotCount, false);
    for (const ControlSourceParams& wheel : patch.wheels) {
        if (wheel.index < 0 || wheel.index >= slotCount)
            continue; // names no slot
        // A loaded wheel lives only for the copy into the engine's slot.
        ContinuousControlSource loaded;
        loaded.applyParams(wheel);
        m_engine.loadCSource(&loaded);
        filled[wheel.index] = true;
    }
    for (int slot = 0; slot < slotCount; ++slot)
        if (!filled[slot])
            m_engine.removeCSourceAt(slot, false);
    m_flags.setArpeggiatorState(patch.arpOn);
    m_flags.setAccessibilityState(patch.accessibilityOn);
    Q_EMIT patchChanged();
}

PatchDocument FileManager::currentPatch() const
{
    PatchDocument patch;
    for (int slot = 0; slot < m_engine.getNumOfCSources(); ++slot) {
        const ContinuousControlSource* source = m_engine.getCSourceAt(slot);
        if (!source || source->isDummy())
            continue;
        ControlSourceParams wheel = source->getParams();
        // The slot the wheel sits in, whatever the source recorded.
        wheel.index = slot;
        patch.wheels.append(wheel);
    }
    patch.arpOn = m_flags.getArpeggiatorState();
    patch.accessibilityOn = m_flags.getAccessibilityState();
    return patch;
}

bool FileManager::savePatchFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    const PatchDocument patch = currentPatch();
    QString error;
    if (!JsonFile::writeAtomically(path, QJsonDocument(patch.toJson()), &error)) {
        Q_EMIT patchSaveFailed(path, error);
        return false;
    }
    // Written by us in this session: it may be written again at quit.
    if (path == m_absentAtStartup)
        m_absentAtStartup.clear();
    return true;
}

void FileManager::saveCurrentPatchToPath(const QString& path, bool isUrl)
{
    const QString file = resolvePath(path, isUrl);
    if (file.isEmpty()) {
        Q_EMIT patchSaveFailed(path, QStringLiteral("not a local file"));
        return;
    }
    savePatchFile(file);
}

void FileManager::saveCurrentPatchToSlot(int slot, const QString& patchName)
{
    saveToSlot(slot, patchName);
}

bool FileManager::saveToSlot(int slot, const QString& patchName)
{
    if (!PresetIndex::isValidSlot(slot))
        return false;
    PresetIndex index;
    const QString oldFile = readIndex(index) ? index.entry(slot).filename : QString();
    const QString newFile =
        m_paths.userFolder() + QLatin1Char('/') + PresetIndex::slotFileName(patchName, slot);
    const bool newFileExisted = QFileInfo::exists(newFile);

    // The new file first; the old one goes only once the new one and the
    // index entry naming it are safely written.
    if (!savePatchFile(newFile))
        return false;
    if (!writeIndexEntry(slot, newFile, patchName)) {
        Q_EMIT patchSaveFailed(m_paths.presetIndexFile(),
                               QStringLiteral("the preset index could not be written"));
        // Only a file this save created goes again; a preset that was there
        // before stays, whether or not the index could tell about it.
        if (!newFileExisted && !isSameFile(newFile, oldFile))
            removeSlotFile(newFile);
        return false;
    }
    if (!oldFile.isEmpty() && !isSameFile(oldFile, newFile))
        removeSlotFile(oldFile);
    m_currentPatchPath = newFile;
    m_absentAtStartup.clear();
    Q_EMIT patchSlotChanged();
    return true;
}

void FileManager::removePatchAtSlot(int slot)
{
    if (!PresetIndex::isValidSlot(slot))
        return;
    PresetIndex index;
    if (readIndex(index))
        removeSlotFile(index.entry(slot).filename);
    writeIndexEntry(slot, QString(), PresetIndex::defaultTitle(slot));
    m_currentPatchPath.clear();
    m_absentAtStartup.clear();
    Q_EMIT patchSlotChanged();
}

QString FileManager::currentPatchTitle() const
{
    if (m_currentPatchPath.isEmpty())
        return QString();
    const QString name = QFileInfo(m_currentPatchPath).completeBaseName();
    // Preset files are called "title|slot".
    const int bar = name.lastIndexOf(QLatin1Char('|'));
    return bar > 0 ? name.left(bar) : name;
}

void FileManager::loadPatchAtSlot(int slot)
{
    PresetIndex index;
    if (!PresetIndex::isValidSlot(slot) || !readIndex(index))
        return;
    loadPatchFile(index.entry(slot).filename, false);
}

void FileManager::restorePatchAtStartup()
{
    if (!m_currentPatchPath.isEmpty())
        return;
    const QFileInfoList backups = BackupFolder(m_paths.backupFolder()).list();
    // Newest first; a damaged backup gives way to the one before it.
    for (auto it = backups.crbegin(); it != backups.crend(); ++it)
        if (loadPatchFile(it->absoluteFilePath(), true))
            return;
    loadDefaultPatch();
}

bool FileManager::saveCurrentPatchOrBackup()
{
    const QString current = m_currentPatchPath;
    if (!current.isEmpty()) {
        if (current == m_absentAtStartup && QFileInfo::exists(current)) {
            // Not there at start-up, there now (a drive mounted again): it is
            // not what this session loaded, so it is not overwritten.
            qCWarning(lcStorage) << "the current patch" << current
                                 << "appeared during the session; it is kept and the patch"
                                 << "goes to a backup";
        } else if (savePatchFile(current)) {
            return true;
        } else {
            qCWarning(lcStorage) << "the current patch" << current
                                 << "could not be written; the patch goes to a backup";
        }
    }
    return saveBackup();
}

bool FileManager::saveBackup()
{
    const BackupFolder backups(m_paths.backupFolder());
    const QString path = backups.pathForTime(m_clock());
    if (!savePatchFile(path)) {
        qCWarning(lcStorage)
            << "no backup could be written; the patch of this session is not saved";
        return false;
    }
    backups.prune(path);
    return true;
}

// --- device registry ------------------------------------------------------------

bool FileManager::loadDeviceRegistry()
{
    const QString path = m_paths.deviceRegistryFile();
    const JsonFile::ReadResult read = JsonFile::read(path);
    if (read.status == JsonFile::Status::NotFound)
        return false;
    if (read.status == JsonFile::Status::CannotRead) {
        qCWarning(lcStorage) << "cannot read the device registry" << path << ":" << read.error;
        return false;
    }
    if (!read.ok() || !read.document.isObject()) {
        qCWarning(lcStorage) << "the device registry" << path << "is damaged; no sensors loaded";
        JsonFile::keepCorruptCopy(path);
        return false;
    }
    const DeviceRegistryDocument registry =
        DeviceRegistryDocument::fromJson(read.document.object());
    for (const QString& key : registry.skippedKeys)
        qCWarning(lcStorage) << "device registry entry" << key << "names no sensor; skipped";

    MotionControlEngine* engine = &m_engine;
    // Positions must stay unique and contiguous whatever the file says: the
    // sensors take the next free positions in the order of their stored
    // position (file order for ties); one already known keeps its place.
    QVector<DeviceRegistryDocument::Device> devices = registry.devices;
    std::stable_sort(devices.begin(), devices.end(),
                     [](const auto& a, const auto& b) { return a.index < b.index; });
    for (const DeviceRegistryDocument::Device& entry : devices) {
        const std::shared_ptr<Orvik> known = engine->deviceRefById(entry.uuid);
        const int position = known ? known->getIndex() : engine->getNumOfDevice();
        auto* device = new Orvik(entry.uuid);
        device->setName(entry.name);
        device->setIndex(position);
        device->setYGate(entry.yGate);
        device->setOnLeft(entry.isOnLeft);
        device->setSoloed(entry.isSoloed);
        device->setMuted(entry.isMuted);
        device->setInitPos(entry.initYaw, entry.initPitch, entry.initRoll);
        engine->insertDevice(device);
    }
    return true;
}

bool FileManager::saveDeviceRegistry()
{
    const MotionControlEngine* engine = &m_engine;
    DeviceRegistryDocument registry;
    const int count = engine->getNumOfDevice();
    for (int position = 0; position < count; ++position) {
        const std::shared_ptr<Orvik> device = engine->deviceRefAt(position);
        if (!device)
            continue;
        DeviceRegistryDocument::Device entry;
        entry.uuid = device->getUuid();
        entry.index = device->getIndex();
        entry.name = device->getName();
        entry.yGate = device->getYGate();
        entry.isOnLeft = device->isOnLeft();
        entry.isSoloed = device->isSoloed();
        entry.isMuted = device->isMuted();
        entry.initYaw = device->getYawReference();
        entry.initPitch = device->getPitchReference();
        entry.initRoll = device->getRollReference();
        registry.devices.append(entry);
    }
    return JsonFile::writeAtomically(m_paths.deviceRegistryFile(),
                                     QJsonDocument(registry.toJson()));
}

// --- settings -------------------------------------------------------------------

bool FileManager::loadSettings()
{
    const QString path = m_paths.settingsFile();
    const JsonFile::ReadResult read = JsonFile::read(path);
    if (read.status == JsonFile::Status::NotFound)
        return false;
    if (read.status == JsonFile::Status::CannotRead) {
        qCWarning(lcStorage) << "cannot read the settings" << path << ":" << read.error;
        return false;
    }
    QJsonObject object;
    if (read.ok() && read.document.isObject()) {
        object = read.document.object();
    } else {
        // Unreadable content takes the defaults, but the user's file is kept.
        qCWarning(lcStorage) << "the settings" << path << "are damaged; using the defaults";
        JsonFile::keepCorruptCopy(path);
    }
    const SettingsDocument settings = SettingsDocument::fromJson(object);
    m_loadedSettings = settings;

    m_currentPatchPath = settings.currentPatch;
    if (!m_currentPatchPath.isEmpty()) {
        // A named patch that no longer exists keeps its path (quitting then
        // writes it anew); one that exists but is no patch is forgotten as the
        // current patch so that quitting does not overwrite it.
        const bool exists = QFileInfo::exists(m_currentPatchPath);
        if (!exists)
            m_absentAtStartup = m_currentPatchPath;
        if (!loadPatchFile(m_currentPatchPath, false) && exists) {
            qCWarning(lcStorage) << "current patch" << m_currentPatchPath
                                 << "is not readable; it will not be overwritten";
            m_currentPatchPath.clear();
        }
    }

    if (MidiHandler* midi = m_midi) {
        midi->setIgnoredInputs(settings.ignoredInputs);
        midi->setIgnoredOutputs(settings.ignoredOutputs);
    }
    m_flags.setHiResMidiState(settings.hiResMidi);
    m_flags.setSyncingToClockState(settings.syncingToClock);
    m_flags.setSendingClockState(settings.sendingClock);
    m_flags.setVirtualKeyboardState(settings.virtualKeyboard);
    m_flags.setTempo(settings.tempo);
    return true;
}

bool FileManager::saveSettings()
{
    SettingsDocument settings = m_loadedSettings;
    settings.currentPatch = m_currentPatchPath;
    if (const MidiHandler* midi = m_midi) {
        settings.ignoredInputs = midi->ignoredInputs();
        settings.ignoredOutputs = midi->ignoredOutputs();
    }
    settings.hiResMidi = m_flags.getHiResMidiState();
    settings.syncingToClock = m_flags.getSyncingToClockState();
    settings.sendingClock = m_flags.getSendingClockState();
    settings.virtualKeyboard = m_flags.getVirtualKeyboardState();
    settings.tempo = m_flags.getTempo();
    return JsonFile::writeAtomically(m_paths.settingsFile(), QJsonDocument(settings.toJson()));
}
