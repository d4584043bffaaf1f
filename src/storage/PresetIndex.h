// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonDocument>
#include <QString>
#include <QVector>

// The preset index ".presets.json": exactly sixteen entries, entry i
// describing preset slot i with the full path of its patch file ("filename",
// empty for an empty slot) and the title shown for it ("title", Slot1 to
// Slot16 for empty slots).
class PresetIndex
{
public:
    static constexpr int kSlotCount = 16;

    struct Entry
    {
        QString filename;
        QString title;
    };

    // Sixteen empty slots titled Slot1 to Slot16.
    PresetIndex();

    // Reads an index document. Entries that are missing or not objects,
    // and keys of another type, read as empty text; an index that is not an
    // array of objects reads as sixteen entries of empty text. `wellFormed`,
    // when given, tells whether the document was an array of exactly sixteen
    // objects.
    static PresetIndex fromJson(const QJsonDocument& document, bool* wellFormed = nullptr);
    QJsonDocument toJson() const;

    static bool isValidSlot(int slot) { return slot >= 0 && slot < kSlotCount; }
    static QString defaultTitle(int slot);

    // The file name of a slot file: the title as typed, a vertical bar, the
    // slot number counted from 0 and ".json". Characters that would make the
    // name reach outside its folder or that are unsafe in a file name
    // (separators, control characters) become "_", and overlong titles are
    // shortened so that the name stays within the file system's limit.
    static QString slotFileName(const QString& title, int slot);

    const Entry& entry(int slot) const { return m_entries[slot]; }
    void setEntry(int slot, const QString& filename, const QString& title);

private:
    QVector<Entry> m_entries;
};
