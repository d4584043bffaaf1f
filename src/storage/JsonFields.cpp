// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/JsonFields.h"

#include <QJsonValue>

#include <cmath>

bool JsonFields::readBool(const QJsonObject& object, const QString& key, bool fallback)
{
    const QJsonValue value = object.value(key);
    return value.isBool() ? value.toBool() : fallback;
}

qint64 JsonFields::readInteger(const QJsonObject& object, const QString& key, qint64 fallback,
                               qint64 min, qint64 max)
{
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        return fallback;
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::trunc(number) != number)
        return fallback;
    // Compare as doubles first so that huge values never reach the integer
    // conversion.
    if (std::fabs(number) >= 9.0e18 || number < static_cast<double>(min) ||
        number > static_cast<double>(max))
        return fallback;
    const qint64 integral = static_cast<qint64>(number);
    if (integral < min || integral > max)
        return fallback;
    return integral;
}

float JsonFields::readFloat(const QJsonObject& object, const QString& key, float fallback)
{
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        return fallback;
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::fabs(number) > std::numeric_limits<float>::max())
        return fallback;
    return static_cast<float>(number);
}

QString JsonFields::readString(const QJsonObject& object, const QString& key,
                               const QString& fallback)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : fallback;
}

uint64_t JsonFields::parseIdentifier(const QString& text, uint64_t fallback)
{
    if (text.isEmpty() || text.size() > 20)
        return fallback;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return fallback;
    bool ok = false;
    const qulonglong id = text.toULongLong(&ok, 10);
    return ok ? static_cast<uint64_t>(id) : fallback;
}
