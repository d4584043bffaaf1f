// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/DeviceRegistryDocument.h"

#include "storage/JsonFields.h"

namespace {

const QString kIndex = QStringLiteral("index");
const QString kName = QStringLiteral("name");
const QString kYGate = QStringLiteral("yGate");
const QString kIsOnLeft = QStringLiteral("isOnLeft");
const QString kIsSoloed = QStringLiteral("isSoloed");
const QString kIsMuted = QStringLiteral("isMuted");
const QString kInitYaw = QStringLiteral("init_pos_y");
const QString kInitPitch = QStringLiteral("init_pos_p");
const QString kInitRoll = QStringLiteral("init_pos_r");

} // namespace

DeviceRegistryDocument DeviceRegistryDocument::fromJson(const QJsonObject& object)
{
    DeviceRegistryDocument registry;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const uint64_t uuid = JsonFields::parseIdentifier(it.key(), 0);
        if (uuid == 0) {
            registry.skippedKeys.append(it.key());
            continue;
        }
        const QJsonObject member = it.value().toObject();
        Device device;
        device.uuid = uuid;
        device.index = static_cast<int>(JsonFields::readInteger(member, kIndex, 0));
        device.name = JsonFields::readString(member, kName, QStringLiteral("Orvik"));
        device.yGate = JsonFields::readFloat(member, kYGate, 0.0f);
        device.isOnLeft = JsonFields::readBool(member, kIsOnLeft, false);
        device.isSoloed = JsonFields::readBool(member, kIsSoloed, false);
        device.isMuted = JsonFields::readBool(member, kIsMuted, false);
        device.initYaw = JsonFields::readFloat(member, kInitYaw, 0.0f);
        device.initPitch = JsonFields::readFloat(member, kInitPitch, 0.0f);
        device.initRoll = JsonFields::readFloat(member, kInitRoll, 0.0f);
        registry.devices.append(device);
    }
    return registry;
}

QJsonObject DeviceRegistryDocument::toJson() const
{
    QJsonObject object;
    for (const Device& device : devices) {
        object.insert(JsonFields::formatIdentifier(device.uuid),
                      QJsonObject{{kIndex, device.index},
                                  {kName, device.name},
                                  {kYGate, static_cast<double>(device.yGate)},
                                  {kIsOnLeft, device.isOnLeft},
                                  {kIsSoloed, device.isSoloed},
                                  {kIsMuted, device.isMuted},
                                  {kInitYaw, static_cast<double>(device.initYaw)},
                                  {kInitPitch, static_cast<double>(device.initPitch)},
                                  {kInitRoll, static_cast<double>(device.initRoll)}});
    }
    return object;
}
