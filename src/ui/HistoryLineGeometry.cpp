// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HistoryLineGeometry.h"

#include <algorithm>
#include <cmath>
#include <vector>

void HistoryLineGeometry::fill(QSGGeometry::Point2D* vertices, const std::deque<float>& history,
                               float width, float height)
{
    if (history.empty())
        return;
    const auto step = float(double(width) / double(history.size()));
    int i = 0;
    for (float sample : history) {
        const float y =
            height > 0.0f
                ? (height - height * sample) * (height - 2.0f * kMargin) / height + kMargin
                : kMargin;
        vertices[i].set(float(i) * step, y);
        ++i;
    }
}

int HistoryLineGeometry::fillClipped(QSGGeometry::Point2D* vertices,
                                     const std::deque<float>& history, float width, float height)
{
    if (history.size() < 2)
        return 0;
    std::vector<QSGGeometry::Point2D> line(history.size());
    fill(line.data(), history, width, height);
    const float cx = width / 2.0f;
    const float cy = height / 2.0f;
    const float r = std::min(width, height) / 2.0f;
    int count = 0;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        // Where the segment a + t (b - a), t in [0, 1], lies inside the disc.
        const float ax = line[i].x - cx;
        const float ay = line[i].y - cy;
        const float dx = line[i + 1].x - line[i].x;
        const float dy = line[i + 1].y - line[i].y;
        const float qa = dx * dx + dy * dy;
        const float qb = 2.0f * (ax * dx + ay * dy);
        const float qc = ax * ax + ay * ay - r * r;
        if (qa <= 0.0f)
            continue;
        const float disc = qb * qb - 4.0f * qa * qc;
        if (disc <= 0.0f)
            continue;
        const float root = std::sqrt(disc);
        const float t0 = std::max(0.0f, (-qb - root) / (2.0f * qa));
        const float t1 = std::min(1.0f, (-qb + root) / (2.0f * qa));
        if (t0 >= t1)
            continue;
        vertices[count++].set(line[i].x + t0 * dx, line[i].y + t0 * dy);
        vertices[count++].set(line[i].x + t1 * dx, line[i].y + t1 * dy);
    }
    return count;
}
