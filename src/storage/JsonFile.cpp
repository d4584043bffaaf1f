// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/JsonFile.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>

Q_LOGGING_CATEGORY(lcStorageFile, "kinetra.storage")

JsonFile::ReadResult JsonFile::read(const QString& path)
{
    ReadResult result;
    QFile file(path);
    if (!file.exists()) {
        result.status = Status::NotFound;
        result.error = QStringLiteral("file not found");
        return result;
    }
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        result.status = Status::CannotRead;
        result.error = file.errorString();
        return result;
    }
    if (file.size() > kMaxFileBytes) {
        result.status = Status::Malformed;
        result.error = QStringLiteral("file too large (%1 bytes)").arg(file.size());
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.status = Status::CannotRead;
        result.error = file.errorString();
        return result;
    }
    QJsonParseError parseError;
    result.document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        result.status = Status::Malformed;
        result.document = QJsonDocument();
        result.error = QStringLiteral("not valid JSON (%1 at offset %2)")
                           .arg(parseError.errorString())
                           .arg(parseError.offset);
        return result;
    }
    result.status = Status::Ok;
    return result;
}

QByteArray JsonFile::serialise(const QJsonDocument& document)
{
    return document.toJson(QJsonDocument::Indented);
}

bool JsonFile::writeAtomically(const QString& path, const QJsonDocument& document, QString* error)
{
    const QByteArray bytes = serialise(document);
    QSaveFile file(path);
    // A file that may be written in a folder where no temporary file can be
    // created beside it is written in place; everywhere else atomically.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (error)
            *error = file.errorString();
        qCWarning(lcStorageFile) << "cannot write" << path << ":" << file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        if (error)
            *error = file.errorString();
        qCWarning(lcStorageFile) << "write failed for" << path << ":" << file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        qCWarning(lcStorageFile) << "could not replace" << path << ":" << file.errorString();
        return false;
    }
    return true;
}

QString JsonFile::keepCorruptCopy(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return QString();
    QString copy = path + QStringLiteral(".corrupt");
    for (int n = 1; QFileInfo::exists(copy) && n < 1000; ++n)
        copy = path + QStringLiteral(".corrupt.%1").arg(n);
    if (QFileInfo::exists(copy) || !QFile::copy(path, copy)) {
        qCWarning(lcStorageFile) << "could not keep a copy of the unreadable file" << path;
        return QString();
    }
    qCWarning(lcStorageFile) << "unreadable file" << path << "kept as" << copy;
    return copy;
}
