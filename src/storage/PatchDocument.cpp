// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/PatchDocument.h"

#include "storage/JsonFields.h"

#include <QJsonArray>

#include <algorithm>
#include <limits>

namespace {

const QString kWheels = QStringLiteral("wheels");
const QString kArpOn = QStringLiteral("arp_on");
const QString kAccOn = QStringLiteral("acc_on");

const QString kId = QStringLiteral("id");
const QString kDeviceId = QStringLiteral("deviceID");
const QString kName = QStringLiteral("name");
const QString kIndex = QStringLiteral("index");
const QString kIsEnabled = QStringLiteral("isEnabled");
const QString kIsReversed = QStringLiteral("isReversed");
const QString kIsGated = QStringLiteral("isGated");
const QString kCcOrNote = QStringLiteral("ccOrNote");
const QString kChannel = QStringLiteral("channel");
const QString kEventNum = QStringLiteral("eventNum");
const QString kToHardware = QStringLiteral("toHardware");
const QString kMin = QStringLiteral("min");
const QString kMax = QStringLiteral("max");
const QString kLowerbound = QStringLiteral("lowerbound");
const QString kUpperbound = QStringLiteral("upperbound");
const QString kDefaultValue = QStringLiteral("defaultValue");
const QString kSensitivity = QStringLiteral("sensitivity");
const QString kType = QStringLiteral("type");
const QString kAxis = QStringLiteral("axis");
// Optional: written only for a wheel that smooths or holds a dead band, so
// that other wheels are stored exactly as before; a reader that does not
// know them passes over them.
const QString kSmoothingMinCutoff = QStringLiteral("smoothingMinCutoff");
const QString kSmoothingBeta = QStringLiteral("smoothingBeta");
const QString kDeadBand = QStringLiteral("deadBand");

} // namespace

PatchDocument PatchDocument::fromJson(const QJsonObject& object)
{
    PatchDocument patch;
    const QJsonValue wheels = object.value(kWheels);
    if (wheels.isArray()) {
        for (const QJsonValue& wheel : wheels.toArray())
            if (wheel.isObject())
                patch.wheels.append(wheelFromJson(wheel.toObject()));
    }
    patch.arpOn = JsonFields::readBool(object, kArpOn, false);
    patch.accessibilityOn = JsonFields::readBool(object, kAccOn, false);
    return patch;
}

QJsonObject PatchDocument::toJson() const
{
    QJsonArray array;
    for (const ControlSourceParams& wheel : wheels)
        array.append(wheelToJson(wheel));
    return QJsonObject{{kWheels, array}, {kArpOn, arpOn}, {kAccOn, accessibilityOn}};
}

ControlSourceParams PatchDocument::wheelFromJson(const QJsonObject& object)
{
    ControlSourceParams p;
    p.dummy = false;
    p.id = QUuid(JsonFields::readString(object, kId));
    p.deviceId = JsonFields::parseIdentifier(JsonFields::readString(object, kDeviceId), 0);
    p.type = static_cast<uint32_t>(
        JsonFields::readInteger(object, kType, 0, 0, std::numeric_limits<uint32_t>::max()));
    p.axis = static_cast<int>(JsonFields::readInteger(object, kAxis, 0));
    p.index = static_cast<int>(JsonFields::readInteger(object, kIndex, 0));
    p.name = JsonFields::readString(object, kName, QStringLiteral("Wheel%1").arg(p.index));
    p.enabled = JsonFields::readBool(object, kIsEnabled, true);
    p.isReversed = JsonFields::readBool(object, kIsReversed, false);
    p.isGated = JsonFields::readBool(object, kIsGated, false);
    p.ccOrNote = JsonFields::readBool(object, kCcOrNote, true);
    p.channel = static_cast<uint8_t>(JsonFields::readInteger(object, kChannel, 0, 0, 255));
    p.eventNumber = static_cast<uint8_t>(JsonFields::readInteger(object, kEventNum, 1, 0, 255));
    p.toHardware = JsonFields::readBool(object, kToHardware, true);

    // Through the setters' rules, starting from a fresh source (0-127).
    p.min = 0.0f;
    p.max = 127.0f;
    const float min = JsonFields::readFloat(object, kMin, 0.0f);
    if (min < p.max)
        p.min = min;
    const float max = JsonFields::readFloat(object, kMax, 127.0f);
    if (!(max <= p.min))
        p.max = max;

    p.lowerbound = JsonFields::readFloat(object, kLowerbound, 0.0f);
    p.upperbound = JsonFields::readFloat(object, kUpperbound, 0.0f);
    p.defaultValue = JsonFields::readFloat(object, kDefaultValue, 0.0f);
    p.sensitivity = std::max(JsonFields::readFloat(object, kSensitivity, 0.0f), kMinSensitivity);

    p.smoothingMinCutoff = JsonFields::readFloat(object, kSmoothingMinCutoff, 0.0f);
    p.smoothingBeta =
        JsonFields::readFloat(object, kSmoothingBeta, ControlSourceParams::kDefaultSmoothingBeta);
    p.deadBand = static_cast<int>(
        JsonFields::readInteger(object, kDeadBand, 0, 0, ControlSourceParams::kMaxDeadBand));
    p.clampSmoothing();
    return p;
}

QJsonObject PatchDocument::wheelToJson(const ControlSourceParams& p)
{
    QJsonObject object;
    object.insert(kId, p.id.toString(QUuid::WithBraces));
    object.insert(kDeviceId, JsonFields::formatIdentifier(p.deviceId));
    object.insert(kName, p.name);
    object.insert(kIndex, p.index);
    object.insert(kIsEnabled, p.enabled);
    object.insert(kIsReversed, p.isReversed);
    object.insert(kIsGated, p.isGated);
    object.insert(kCcOrNote, p.ccOrNote);
    object.insert(kChannel, static_cast<int>(p.channel));
    object.insert(kEventNum, static_cast<int>(p.eventNumber));
    object.insert(kToHardware, p.toHardware);
    object.insert(kMin, static_cast<double>(p.min));
    object.insert(kMax, static_cast<double>(p.max));
    object.insert(kLowerbound, static_cast<double>(p.lowerbound));
    object.insert(kUpperbound, static_cast<double>(p.upperbound));
    object.insert(kDefaultValue, static_cast<double>(p.defaultValue));
    object.insert(kSensitivity, static_cast<double>(p.sensitivity));
    object.insert(kType, static_cast<qint64>(p.type));
    object.insert(kAxis, p.axis);
    const ControlSourceParams defaults;
    if (p.smoothingMinCutoff != defaults.smoothingMinCutoff ||
        p.smoothingBeta != defaults.smoothingBeta || p.deadBand != defaults.deadBand) {
        object.insert(kSmoothingMinCutoff, static_cast<double>(p.smoothingMinCutoff));
        object.insert(kSmoothingBeta, static_cast<double>(p.smoothingBeta));
        object.insert(kDeadBand, p.deadBand);
    }
    return object;
}
