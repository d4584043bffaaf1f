// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

// One live source as the OSC tick publishes it.
struct LiveControl
{
    QString name;
    float value = 0.0f;
    uint8_t eventNumber = 0;
    uint8_t channel = 0;
};

// Where the engine's OSC tick publishes the live sources (the OSC sender).
class ControlPublisher
{
public:
    virtual ~ControlPublisher() = default;

    // `count` live, enabled sources in slot order; never called with none.
    virtual void publishControls(const LiveControl* controls, int count) = 0;
};
