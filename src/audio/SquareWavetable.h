// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/WavetableBase.h"

// A square wave: 1 for the first half of the table, −1 for the second. Used
// as the guide tone's gate.
class SquareWavetable : public WavetableBase
{
public:
    SquareWavetable();

protected:
    void fillTable() override;
};
