// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HistoryLineGeometry.h"

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
