// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/KnobRingGeometry.h"

#include <cmath>

namespace {

constexpr float kTwoPi = 6.2831855f;
constexpr float kSweepTurns = 0.8333333f;

} // namespace

float KnobRingGeometry::angleOf(float value, float startAngle, float endAngle)
{
    return startAngle + (endAngle - startAngle) * value / 127.0f;
}

void KnobRingGeometry::fill(QSGGeometry::ColoredPoint2D* vertices, const Input& in)
{
    const float r = in.width / 2.0f;
    const int n = in.segments;
    const float arcStart = angleOf(in.lowerbound, in.startAngle, in.endAngle);
    const float turns = (in.upperbound - in.lowerbound) / 127.0f * kSweepTurns * in.value / 127.0f;
    const auto red = uchar(in.colour.red());
    const auto green = uchar(in.colour.green());
    const auto blue = uchar(in.colour.blue());
    const uchar grey = 128;

    float theta = arcStart;
    for (int i = 0; i < n; ++i) {
        const float share = n > 1 ? float(i) / float(n - 1) : 0.0f;
        theta = turns * kTwoPi * share + arcStart;
        const float x = r + std::cos(theta) * (r - kRingInset);
        const float y = r + std::sin(theta) * (r - kRingInset);
        if (in.gateOpen)
            vertices[i].set(x, y, red, green, blue, 255);
        else
            vertices[i].set(x, y, grey, grey, grey, 255);
    }
    const QSGGeometry::ColoredPoint2D& last = vertices[n > 0 ? n - 1 : 0];
    vertices[n].set(last.x, last.y, red, green, blue, 255);
    vertices[n + 1].set(r + std::cos(theta) * (r - kTickInset),
                        r + std::sin(theta) * (r - kTickInset), red, green, blue, 255);
}
