// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>

// The device registry "devices.json": one member per known sensor, keyed by
// its 64-bit identifier in decimal, holding the user's settings for it.
// Pure conversion between the JSON object and plain records.
class DeviceRegistryDocument
{
public:
    struct Device
    {
        uint64_t uuid = 0;
        int index = 0;
        QString name = QStringLiteral("Orvik");
        float yGate = 0.0f;
        bool isOnLeft = false;
        bool isSoloed = false;
        bool isMuted = false;
        float initYaw = 0.0f;
        float initPitch = 0.0f;
        float initRoll = 0.0f;
    };

    // In the object's (ascending) key order.
    QVector<Device> devices;
    // Keys that name no sensor (not a decimal number, or 0, which means "no
    // device"): their members are not loaded.
    QStringList skippedKeys;

    // Members whose value is not an object read as all defaults.
    static DeviceRegistryDocument fromJson(const QJsonObject& object);
    // A later device with the same identifier replaces an earlier one.
    QJsonObject toJson() const;
};
