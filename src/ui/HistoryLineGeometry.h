// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSGGeometry>

#include <deque>

// The vertices of a data monitor's history line: the newest sample at the
// left edge, one step to the right per older sample, a sample of 1 three
// pixels below the top edge and a sample of 0 three pixels above the bottom.
class HistoryLineGeometry
{
public:
    static constexpr float kMargin = 3.0f;

    // Fills history.size() vertices.
    static void fill(QSGGeometry::Point2D* vertices, const std::deque<float>& history, float width,
                     float height);
};
