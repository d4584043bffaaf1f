// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QString>

// Reading and writing of the JSON files under the storage root.
//
// Writes are atomic: the document goes to a temporary file beside the
// target, is flushed to disk and then renamed over the target, so a crash, a
// kill or a full disk leaves either the old file or the new one, never a mix.
// The one exception: an existing file in a folder where no temporary file can
// be created is rewritten in place, since it could not be saved otherwise.
// Documents are written in the indented form (four spaces per level, object
// keys in ascending order).
class JsonFile
{
public:
    enum class Status
    {
        Ok,         // opened and parsed
        NotFound,   // no such file
        CannotRead, // exists but could not be opened or read
        Malformed   // read, but not valid JSON
    };

    struct ReadResult
    {
        Status status = Status::NotFound;
        QJsonDocument document;
        // A short human-readable reason when status is not Ok.
        QString error;

        bool ok() const { return status == Status::Ok; }
    };

    // Larger files are no document of ours; they are refused as malformed
    // rather than read into memory.
    static constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

    static ReadResult read(const QString& path);
    static QByteArray serialise(const QJsonDocument& document);
    // False, with `error` filled when given, when the file was not replaced.
    static bool writeAtomically(const QString& path, const QJsonDocument& document,
                                QString* error = nullptr);
    // Copies an unreadable file to "<path>.corrupt" (or "<path>.corrupt.N" when
    // that name is taken) so that a later save does not destroy what the user
    // had. Returns the copy's path, or empty text when nothing was copied.
    static QString keepCorruptCopy(const QString& path);
};
