// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PaintedShapeNode.h"

#include <QPainter>
#include <QQuickWindow>
#include <QSGRendererInterface>

PaintedShapeNode::PaintedShapeNode(QQuickWindow* window, Kind kind, float size)
    : m_window(window), m_kind(kind), m_size(size)
{
}

bool PaintedShapeNode::isUsedIn(const QQuickWindow* window)
{
    const QSGRendererInterface* renderer = window ? window->rendererInterface() : nullptr;
    return renderer && renderer->graphicsApi() == QSGRendererInterface::Software;
}

void PaintedShapeNode::setShape(QVector<QPointF> points, QVector<QColor> colours,
                                const QRectF& bounds)
{
    m_points = std::move(points);
    m_colours = std::move(colours);
    m_bounds = bounds;
    markDirty(QSGNode::DirtyMaterial);
}

void PaintedShapeNode::render(const RenderState* state)
{
    QSGRendererInterface* renderer = m_window ? m_window->rendererInterface() : nullptr;
    auto* painter = renderer ? static_cast<QPainter*>(renderer->getResource(
                                   m_window, QSGRendererInterface::PainterResource))
                             : nullptr;
    if (!painter)
        return;
    painter->save();
    if (const QRegion* clip = state->clipRegion(); clip && !clip->isEmpty())
        painter->setClipRegion(*clip, Qt::ReplaceClip);
    painter->setTransform(matrix()->toTransform());
    painter->setOpacity(inheritedOpacity());
    painter->setRenderHint(QPainter::Antialiasing, false);
    const auto colourAt = [this](int i) {
        return i < m_colours.size() ? m_colours.at(i) : QColor(Qt::white);
    };
    if (m_kind == Kind::Points) {
        const qreal half = m_size / 2.0;
        for (int i = 0; i < m_points.size(); ++i) {
            const QPointF& p = m_points.at(i);
            painter->fillRect(QRectF(p.x() - half, p.y() - half, m_size, m_size), colourAt(i));
        }
    } else {
        QPen pen;
        pen.setWidthF(m_size);
        pen.setCapStyle(Qt::FlatCap);
        for (int i = 0; i + 1 < m_points.size(); i += 2) {
            pen.setColor(colourAt(i));
            painter->setPen(pen);
            painter->drawLine(m_points.at(i), m_points.at(i + 1));
        }
    }
    painter->restore();
}
