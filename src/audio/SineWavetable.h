// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "audio/WavetableBase.h"

// One period of a sine: entry i is sin(i × 2π / (N − 1)), so the first and
// the last entry are both 0.
class SineWavetable : public WavetableBase
{
public:
    SineWavetable();

protected:
    void fillTable() override;
};
