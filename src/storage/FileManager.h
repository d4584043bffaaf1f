// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/PatchDocument.h"
#include "storage/SettingsDocument.h"
#include "storage/StoragePaths.h"

#include <QObject>
#include <QString>

#include <functional>

class MidiHandler;
class MotionControlEngine;
class PersistentFlags;
class PresetIndex;

// Loads and saves everything the application keeps between runs: patches,
// the sixteen preset slots and their index, automatic backups, the settings
// and the device registry. All files live under one root folder (see
// StoragePaths); the production root is the user's documents folder
// followed by "Vantor/Kinetra".
//
// Every save is atomic (the old file or the new one survives a crash, never
// a mix). A patch that is not a JSON object is refused without touching the
// engine; a settings or registry file that cannot be parsed is kept as
// "<name>.corrupt" before the defaults apply, so that quitting does not
// destroy it.
//
// Threads: GUI thread only. The engine and the state's switches are given at
// construction and outlive this object; the MIDI handler (whose ignore lists
// the settings keep) may be none, and quitting detaches it before it goes.
class FileManager : public QObject
{
    Q_OBJECT

public:
    // The built-in default patch, a resource compiled into the library.
    static const QString kDefaultPatchPath;

    // Uses the folders under `paths` (StoragePaths::standard() for the
    // user's documents folder; tests pass a temporary root).
    FileManager(const StoragePaths& paths, MotionControlEngine& engine, MidiHandler* midi,
                PersistentFlags& flags, QObject* parent = nullptr);

    void setMidiHandler(MidiHandler* midi) { m_midi = midi; }

    Q_INVOKABLE void loadPatchAt(const QString& path, bool isBackup, bool isUrl = true);
    Q_INVOKABLE void saveCurrentPatchToPath(const QString& path, bool isUrl = true);
    Q_INVOKABLE void saveCurrentPatchToSlot(int slot, const QString& patchName);
    Q_INVOKABLE void removePatchAtSlot(int slot);
    Q_INVOKABLE void loadPatchAtSlot(int slot);
    Q_INVOKABLE QString getPresetPath() const;
    Q_INVOKABLE QString getSlotName(int i) const;
    Q_INVOKABLE bool slotIsEmtpy(int i) const;
    Q_INVOKABLE bool slotIsChecked(int i) const;
    // The current patch's name for the window title: its file name without
    // folder and ending (a preset's title for a preset file), or nothing.
    Q_INVOKABLE QString currentPatchTitle() const;

    // Plain operations for start-up and the user actions. Those returning
    // bool report whether the file was read or written.

    // The user action for a new patch: applies the built-in default patch;
    // the current patch path is left as it was.
    bool loadDefaultPatch();
    // Start-up, after the settings: when no current patch was named, applies
    // the newest backup that can be read, else the default patch.
    void restorePatchAtStartup();
    // Quit: writes the patch to the current patch path, or to a new backup
    // (keeping at most 15) when that is empty, cannot be written, or names a
    // file that was missing at start-up and has appeared since. False when
    // nothing could be written.
    bool saveCurrentPatchOrBackup();

    bool loadDeviceRegistry();
    bool saveDeviceRegistry();
    bool loadSettings();
    bool saveSettings();

    QString getCurrentPatchPath() const { return m_currentPatchPath; }
    void setCurrentPatchPath(const QString& path) { m_currentPatchPath = path; }
    // Where the audio host keeps its device choice.
    QString getAudioSetupPath() const { return m_paths.audioSetupFile(); }
    const StoragePaths& paths() const { return m_paths; }

    // Seconds since 1970-01-01 UTC, used to name backups (tests inject one).
    void setClock(std::function<qint64()> secondsSinceEpoch);

    // Plain load and save, reporting success; the invokables above wrap them.
    bool loadPatchFile(const QString& path, bool isBackup);
    bool savePatchFile(const QString& path);
    bool saveToSlot(int slot, const QString& patchName);

    // The patch as the engine and the state hold it now.
    PatchDocument currentPatch() const;
    // Applies a patch to the engine's slots and the two flags, then emits
    // patchChanged.
    void applyPatch(const PatchDocument& patch);

Q_SIGNALS:
    void patchChanged();
    void patchSlotChanged();
    // A patch file was refused or could not be read; the engine is unchanged.
    void patchLoadFailed(const QString& path, const QString& reason);
    // A patch, slot or index could not be written; the old file is intact.
    void patchSaveFailed(const QString& path, const QString& reason);

private:
    void ensurePresetIndex();
    // Entries without title and file (read from a damaged index) become the
    // empty slots they stand for.
    static void retitleEmptySlots(PresetIndex& index);
    // False when the index cannot be read (then every slot query returns its
    // fallback).
    bool readIndex(PresetIndex& index) const;
    bool writeIndexEntry(int slot, const QString& filename, const QString& title);
    bool liesInUserFolder(const QString& path) const;
    bool removeSlotFile(const QString& path) const;
    // Whether two paths name one existing file (or are the same text).
    static bool isSameFile(const QString& a, const QString& b);
    bool saveBackup();
    static QString resolvePath(const QString& path, bool isUrl);

    MotionControlEngine& m_engine;
    MidiHandler* m_midi = nullptr;
    PersistentFlags& m_flags;
    StoragePaths m_paths;
    QString m_currentPatchPath;
    // The current patch the settings named when it did not exist at
    // start-up; cleared once this session loads or writes it or another
    // patch becomes current.
    QString m_absentAtStartup;
    // What the settings file held, written back for what no peer holds now
    // (the MIDI ignore lists once the MIDI handler has gone).
    SettingsDocument m_loadedSettings;
    std::function<qint64()> m_clock;
};
