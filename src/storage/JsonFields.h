// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <limits>

// The reading rules shared by every file: a key whose value has another JSON
// type than the one expected counts as missing and takes the default.
//   bool    only JSON true / false
//   integer only a number with an integral value (and, here, one that fits
//           the field it is read into)
//   number  any number (that stays finite in single precision)
//   string  only a string
class JsonFields
{
public:
    static bool readBool(const QJsonObject& object, const QString& key, bool fallback);
    static qint64 readInteger(const QJsonObject& object, const QString& key, qint64 fallback,
                              qint64 min = std::numeric_limits<int>::min(),
                              qint64 max = std::numeric_limits<int>::max());
    static float readFloat(const QJsonObject& object, const QString& key, float fallback);
    static QString readString(const QJsonObject& object, const QString& key,
                              const QString& fallback = QString());

    // A 64-bit identifier written as decimal text: only ASCII digits, no sign,
    // no blanks, no overflow. Anything else gives `fallback`.
    static uint64_t parseIdentifier(const QString& text, uint64_t fallback = 0);
    static QString formatIdentifier(uint64_t id) { return QString::number(id); }
};
