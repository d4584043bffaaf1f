// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/PresetIndex.h"

#include "storage/JsonFields.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

const QString kFilename = QStringLiteral("filename");
const QString kTitle = QStringLiteral("title");
// Leaves room for "|15.json" within the usual 255-byte name limit.
constexpr int kMaxTitleBytes = 200;

} // namespace

PresetIndex::PresetIndex() : m_entries(kSlotCount)
{
    for (int slot = 0; slot < kSlotCount; ++slot)
        m_entries[slot].title = defaultTitle(slot);
}

QString PresetIndex::defaultTitle(int slot)
{
    return QStringLiteral("Slot%1").arg(slot + 1);
}

PresetIndex PresetIndex::fromJson(const QJsonDocument& document, bool* wellFormed)
{
    PresetIndex index;
    const QJsonArray array = document.array();
    bool good = document.isArray() && array.size() == kSlotCount;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const QJsonValue value = slot < array.size() ? array.at(slot) : QJsonValue();
        if (!value.isObject())
            good = false;
        const QJsonObject object = value.toObject();
        index.m_entries[slot].filename = JsonFields::readString(object, kFilename);
        index.m_entries[slot].title = JsonFields::readString(object, kTitle);
    }
    if (wellFormed)
        *wellFormed = good;
    return index;
}

QJsonDocument PresetIndex::toJson() const
{
    QJsonArray array;
    for (const Entry& entry : m_entries)
        array.append(QJsonObject{{kFilename, entry.filename}, {kTitle, entry.title}});
    return QJsonDocument(array);
}

void PresetIndex::setEntry(int slot, const QString& filename, const QString& title)
{
    if (!isValidSlot(slot))
        return;
    m_entries[slot].filename = filename;
    m_entries[slot].title = title;
}

QString PresetIndex::slotFileName(const QString& title, int slot)
{
    QString safe;
    safe.reserve(title.size());
    for (const QChar c : title) {
        const bool unsafe =
            c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control;
        safe.append(unsafe ? QLatin1Char('_') : c);
    }
    // Shorten by whole characters until the UTF-8 form fits.
    while (safe.toUtf8().size() > kMaxTitleBytes) {
        safe.chop(1);
        if (!safe.isEmpty() && QChar(safe.back()).isHighSurrogate())
            safe.chop(1);
    }
    // Leading dots would make hidden files; "." and ".." are not names.
    if (safe.startsWith(QLatin1Char('.')))
        safe.replace(0, 1, QLatin1Char('_'));
    return safe + QStringLiteral("|%1.json").arg(slot);
}
