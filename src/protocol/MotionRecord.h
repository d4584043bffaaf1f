// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>

// The nine motion values of one sensor, in wire order: accelerations ax, ay,
// az (-1..1), control values X, Y, Z (0..1), motion energy G (0..1), the raw
// heading zRef (-1..1) and the heading's turn offset (multiples of 2).
struct MotionRecord
{
    enum Index
    {
        Ax = 0,
        Ay,
        Az,
        X,
        Y,
        Z,
        G,
        ZRef,
        TurnOffset,
        Count
    };

    std::array<float, Count> values{};

    float operator[](int i) const { return values[static_cast<std::size_t>(i)]; }
    float& operator[](int i) { return values[static_cast<std::size_t>(i)]; }

    float ax() const { return values[Ax]; }
    float ay() const { return values[Ay]; }
    float az() const { return values[Az]; }
    float x() const { return values[X]; }
    float y() const { return values[Y]; }
    float z() const { return values[Z]; }
    float g() const { return values[G]; }
    float zRef() const { return values[ZRef]; }
    float turnOffset() const { return values[TurnOffset]; }
};
