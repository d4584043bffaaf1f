// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where every persistent file lives. All paths derive from one root folder:
// in production the user's documents folder followed by "Vantor/Kinetra";
// tests point the root at a temporary folder.
//
//   root/settings.json
//   root/devices.json
//   root/audioSetup.xml
//   root/presets/.presets.json
//   root/presets/user/      slot patch files
//   root/presets/backup/    automatic backups
//   root/presets/factory/   created, never read nor written
class StoragePaths
{
public:
    // The production layout under the desktop's writable documents folder.
    static StoragePaths standard();
    // The same layout under `root` (no trailing separator needed).
    explicit StoragePaths(const QString& root);

    QString root() const { return m_root; }
    QString settingsFile() const { return m_settings; }
    QString deviceRegistryFile() const { return m_devices; }
    QString presetsFolder() const { return m_presets; }
    QString factoryFolder() const { return m_factory; }
    QString userFolder() const { return m_user; }
    QString backupFolder() const { return m_backup; }
    QString audioSetupFile() const { return m_audioSetup; }
    QString presetIndexFile() const { return m_presetIndex; }

    // Creates, with their missing parents, the root, presets, backup,
    // factory and user folders, in that order. False when one could not be
    // created.
    bool createFolders() const;

private:
    QString m_root;
    QString m_settings;
    QString m_devices;
    QString m_presets;
    QString m_factory;
    QString m_user;
    QString m_backup;
    QString m_audioSetup;
    QString m_presetIndex;
};
