// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// An orientation quaternion as the bands send it.
struct Quaternion
{
    float w = 1.0f;
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};
