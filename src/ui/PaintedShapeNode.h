// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QSGRenderNode>
#include <QVector>

class QQuickWindow;

// Points or line segments drawn with the window's painter, for the scene
// graph's software renderer, which draws no custom geometry. It paints what
// the OpenGL geometry shows: square points of the given size, or segments
// (pairs of points) of the given width, each point or segment in its own
// colour, without antialiasing. Only its bounding rectangle is repainted.
//
// Threads: filled in updatePaintNode and painted by the renderer, both while
// the GUI thread waits.
class PaintedShapeNode : public QSGRenderNode
{
public:
    enum class Kind
    {
        Points,
        Segments
    };

    PaintedShapeNode(QQuickWindow* window, Kind kind, float size);

    // Whether `window` is drawn by the software renderer, so that items
    // must paint their shapes with this node.
    static bool isUsedIn(const QQuickWindow* window);

    // The shape anew, in item coordinates; `bounds` is the item's rectangle.
    void setShape(QVector<QPointF> points, QVector<QColor> colours, const QRectF& bounds);

    void render(const RenderState* state) override;
    StateFlags changedStates() const override { return {}; }
    RenderingFlags flags() const override { return BoundedRectRendering; }
    QRectF rect() const override { return m_bounds; }

private:
    QQuickWindow* m_window;
    Kind m_kind;
    float m_size;
    QVector<QPointF> m_points;
    QVector<QColor> m_colours;
    QRectF m_bounds;
};
