// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFileInfoList>
#include <QString>
#include <QStringList>

// The folder of automatic backups. A backup is named after the second it
// was written (seconds since 1970-01-01 UTC, then ".json"); at most
// kMaxBackups are kept.
class BackupFolder
{
public:
    static constexpr int kMaxBackups = 15;

    explicit BackupFolder(const QString& path) : m_path(path) {}

    QString path() const { return m_path; }
    // The backups, oldest first: plain files (no symbolic links) matching
    // "*.json", by modification time, ties broken by name.
    QFileInfoList list() const;
    QString pathForTime(qint64 secondsSinceEpoch) const;
    // The backups this program wrote (named by the digits of a second, then
    // ".json"), oldest first as in list().
    QFileInfoList ownBackups() const;
    static bool isOwnBackupName(const QString& fileName);
    // Deletes the oldest of its own backups until at most kMaxBackups of them
    // remain, never the file at `keep` nor any other file in the folder.
    // Returns the paths deleted.
    QStringList prune(const QString& keep) const;

private:
    QString m_path;
};
