// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/SettingsDocument.h"

#include "storage/JsonFields.h"

#include <QJsonArray>

namespace {

const QString kCurrentPatch = QStringLiteral("currentPatch");
const QString kIgnoredInputs = QStringLiteral("ignored_inputs");
const QString kIgnoredOutputs = QStringLiteral("ignored_outputs");
const QString kHiResMidi = QStringLiteral("hiResMidi");
const QString kSyncingToClock = QStringLiteral("syncingToClock");
const QString kSendingClock = QStringLiteral("sendingClock");
const QString kVirtualKeyboard = QStringLiteral("virtualKeyboard");
const QString kTempo = QStringLiteral("tempo");

QStringList readStringArray(const QJsonObject& object, const QString& key)
{
    QStringList list;
    const QJsonValue value = object.value(key);
    if (!value.isArray())
        return list;
    for (const QJsonValue& entry : value.toArray())
        list.append(entry.isString() ? entry.toString() : QString());
    return list;
}

} // namespace

SettingsDocument SettingsDocument::fromJson(const QJsonObject& object)
{
    SettingsDocument settings;
    settings.currentPatch = JsonFields::readString(object, kCurrentPatch);
    settings.ignoredInputs = readStringArray(object, kIgnoredInputs);
    settings.ignoredOutputs = readStringArray(object, kIgnoredOutputs);
    settings.hiResMidi = JsonFields::readBool(object, kHiResMidi, false);
    settings.syncingToClock = JsonFields::readBool(object, kSyncingToClock, false);
    settings.sendingClock = JsonFields::readBool(object, kSendingClock, true);
    settings.virtualKeyboard = JsonFields::readBool(object, kVirtualKeyboard, false);
    settings.tempo = static_cast<int>(JsonFields::readInteger(object, kTempo, 120, 20, 256));
    return settings;
}

QJsonObject SettingsDocument::toJson() const
{
    return QJsonObject{{kCurrentPatch, currentPatch},
                       {kIgnoredInputs, QJsonArray::fromStringList(ignoredInputs)},
                       {kIgnoredOutputs, QJsonArray::fromStringList(ignoredOutputs)},
                       {kHiResMidi, hiResMidi},
                       {kSyncingToClock, syncingToClock},
                       {kSendingClock, sendingClock},
                       {kVirtualKeyboard, virtualKeyboard},
                       {kTempo, tempo}};
}
