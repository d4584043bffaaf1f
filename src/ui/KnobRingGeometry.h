// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QSGGeometry>

// The vertices of a knob's live value ring: `segments` points along the arc
// from the lower bound's angle over the share value/127 of the window's
// angular width, then a two-point tick at the arc's end reaching further
// out. Plain arithmetic, so positions and colours can be checked without a
// window.
class KnobRingGeometry
{
public:
    static constexpr float kStartAngle = 2.0943952f; // 120 degrees: value 0
    static constexpr float kEndAngle = 7.3303833f;   // 420 degrees: value 127
    static constexpr int kSegments = 256;
    static constexpr float kRingInset = 7.0f;
    static constexpr float kTickInset = 3.0f;

    struct Input
    {
        float width = 0.0f;
        float value = 0.0f;
        float lowerbound = 0.0f;
        float upperbound = 127.0f;
        QColor colour;
        bool gateOpen = true;
        int segments = kSegments;
        float startAngle = kStartAngle;
        float endAngle = kEndAngle;
    };

    static int vertexCount(int segments) { return segments + 2; }
    // Fills vertexCount(in.segments) vertices.
    static void fill(QSGGeometry::ColoredPoint2D* vertices, const Input& in);
    // The angle of a value on the knob's sweep.
    static float angleOf(float value, float startAngle = kStartAngle, float endAngle = kEndAngle);
};
