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

    // The same line as separate segments cut to the disc that fills the
    // width and height: the pieces inside, two vertices each. Fills at most
    // maxClippedVertices(history.size()) vertices and returns how many.
    static int fillClipped(QSGGeometry::Point2D* vertices, const std::deque<float>& history,
                           float width, float height);
    static int maxClippedVertices(std::size_t samples)
    {
        return samples > 1 ? int(2 * (samples - 1)) : 0;
    }
};
