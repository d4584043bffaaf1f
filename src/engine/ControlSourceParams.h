// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUuid>

#include <cstdint>

// Every setting of a control source, as one plain record: what a patch
// stores for a wheel and what is copied from one source object to another.
// The run-time state of a source (its value, gate and glide) is not part of
// it.
struct ControlSourceParams
{
    QUuid id;
    // The band the source was made for: what a patch stores. While that band
    // is absent the source follows another one for the time being (run-time
    // state of the source, not part of this record).
    uint64_t deviceId = 0;
    uint32_t type = 0;
    bool dummy = true;
    bool enabled = true;
    int index = -1;
    QString name;
    uint8_t channel = 0;
    uint8_t eventNumber = 1;
    bool ccOrNote = true;
    bool toHardware = true;
    float lowerbound = 0.0f;
    float upperbound = 127.0f;
    float min = 0.0f;
    float max = 127.0f;
    bool isGated = false;
    bool isReversed = false;
    float defaultValue = -1.0f;
    float sensitivity = 1.0f;
    int axis = 0;
};
