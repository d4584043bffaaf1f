// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ControlSourceParams.h"

#include <QJsonObject>
#include <QVector>

// A patch: the settings of every filled control-source slot and two
// application flags, as stored in a patch file.
//
//   { "wheels": [ {wheel}, ... ], "arp_on": bool, "acc_on": bool }
//
// Pure conversion between the JSON object and plain records; applying a
// patch to the engine is the file manager's job.
class PatchDocument
{
public:
    // The wheels in file order, each with its "index" as read (a later wheel
    // with the same index overrides an earlier one when applied; an index
    // outside 0-11 names no slot). Never dummies.
    QVector<ControlSourceParams> wheels;
    bool arpOn = false;
    bool accessibilityOn = false;

    // Keys of another type than expected count as missing and take their
    // defaults; elements of "wheels" that are not objects are skipped.
    static PatchDocument fromJson(const QJsonObject& object);
    QJsonObject toJson() const;

    // One wheel. The values pass through the same rules as the source's own
    // setters: min is taken only below max and max only above min (starting
    // from 0-127, min first), and sensitivity never falls below 0.1.
    static ControlSourceParams wheelFromJson(const QJsonObject& object);
    static QJsonObject wheelToJson(const ControlSourceParams& params);

    static constexpr float kMinSensitivity = 0.1f;
};
