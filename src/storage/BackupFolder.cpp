// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/BackupFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>

#include <algorithm>

Q_LOGGING_CATEGORY(lcStorageBackup, "kinetra.storage")

QFileInfoList BackupFolder::list() const
{
    QDir dir(m_path);
    QFileInfoList files = dir.entryInfoList({QStringLiteral("*.json")},
                                            QDir::Files | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    std::stable_sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        const QDateTime ta = a.lastModified();
        const QDateTime tb = b.lastModified();
        if (ta != tb)
            return ta < tb;
        // Same modification time: the names are seconds, shorter is older.
        if (a.fileName().size() != b.fileName().size())
            return a.fileName().size() < b.fileName().size();
        return a.fileName() < b.fileName();
    });
    return files;
}

bool BackupFolder::isOwnBackupName(const QString& fileName)
{
    const QString suffix = QStringLiteral(".json");
    if (fileName.size() <= suffix.size() || !fileName.endsWith(suffix))
        return false;
    const QStringRef digits = fileName.leftRef(fileName.size() - suffix.size());
    return std::all_of(digits.begin(), digits.end(),
                       [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

QFileInfoList BackupFolder::ownBackups() const
{
    QFileInfoList files = list();
    files.erase(std::remove_if(files.begin(), files.end(),
                               [](const QFileInfo& f) { return !isOwnBackupName(f.fileName()); }),
                files.end());
    return files;
}

QString BackupFolder::pathForTime(qint64 secondsSinceEpoch) const
{
    return m_path + QLatin1Char('/') + QString::number(secondsSinceEpoch) + QStringLiteral(".json");
}

QStringList BackupFolder::prune(const QString& keep) const
{
    QStringList deleted;
    const QFileInfoList files = ownBackups();
    int remaining = files.size();
    const QString keepPath = QFileInfo(keep).absoluteFilePath();
    for (const QFileInfo& file : files) {
        if (remaining <= kMaxBackups)
            break;
        if (file.absoluteFilePath() == keepPath)
            continue;
        if (QFile::remove(file.absoluteFilePath())) {
            deleted.append(file.absoluteFilePath());
            --remaining;
        } else {
            qCWarning(lcStorageBackup) << "could not delete old backup" << file.absoluteFilePath();
        }
    }
    return deleted;
}
