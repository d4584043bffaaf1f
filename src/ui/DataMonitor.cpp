// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DataMonitor.h"

#include "link/Orvik.h"
#include "ui/HistoryLineGeometry.h"
#include "ui/ItemPeers.h"
#include "ui/PaintedShapeNode.h"

#include <QSGFlatColorMaterial>
#include <QSGGeometryNode>

#include <algorithm>
#include <vector>

DataMonitor::DataMonitor(QQuickItem* parent) : QQuickItem(parent), m_history(kHistoryLength, 0.0f)
{
    setFlag(ItemHasContents, true);
    setAntialiasing(true);
    setClip(true);
    setSmooth(true);
}

void DataMonitor::setPeers(ItemPeers* peers)
{
    disconnect(m_tickConnection);
    m_tickConnection = {};
    m_peers = peers;
    if (peers)
        m_tickConnection = peers->onAnimationTick(this, [this] { fetchDataAndUpdate(); });
}

void DataMonitor::componentComplete()
{
    QQuickItem::componentComplete();
    if (!m_peers)
        setPeers(ItemPeers::of(this));
}

void DataMonitor::setAlpha(float value)
{
    if (value == m_opacity)
        return;
    m_opacity = value;
    Q_EMIT alphaChanged();
}

void DataMonitor::fetchDataAndUpdate()
{
    if (!m_peers || !m_peers->isConnected())
        return;
    const int focused = m_peers->focusedDevice();
    if (focused < 0)
        return;
    const std::shared_ptr<Orvik> device = m_peers->deviceRefAt(focused);
    if (!device)
        return;
    // Read the count before the record: a frame stored in between is then
    // taken again at the next tick rather than missed.
    const quint32 frame = device->getFrameCount();
    if (device.get() == m_sampledDevice && frame == m_sampledFrame)
        return;
    m_sampledDevice = device.get();
    m_sampledFrame = frame;
    const MotionRecord record = device->getRecord();
    float sample = 0.0f;
    switch (m_sourceType) {
    case 0:
        sample = record.x();
        break;
    case 1:
        sample = record.y();
        break;
    case 2:
        sample = record.z();
        break;
    case 3:
        sample = record.g();
        break;
    default:
        break;
    }
    // A line already flat at this sample looks the same after the shift.
    const bool still =
        std::all_of(m_history.begin(), m_history.end(), [sample](float s) { return s == sample; });
    m_history.push_front(sample);
    m_history.pop_back();
    setAlpha(sample * 0.5f + 0.3f);
    if (!still)
        update();
}

QSGNode* DataMonitor::updatePaintNode(QSGNode* oldNode, UpdatePaintNodeData*)
{
    // The line is cut to the round face here, so that no mask has to be
    // drawn over it on every frame.
    const QRectF bounds = boundingRect();
    std::vector<QSGGeometry::Point2D> pieces(
        std::size_t(HistoryLineGeometry::maxClippedVertices(m_history.size())));
    const int count = HistoryLineGeometry::fillClipped(
        pieces.data(), m_history, float(bounds.width()), float(bounds.height()));
    if (PaintedShapeNode::isUsedIn(window())) {
        QVector<QPointF> points;
        points.reserve(count);
        for (int i = 0; i < count; ++i)
            points << QPointF(pieces[std::size_t(i)].x, pieces[std::size_t(i)].y);
        auto* painted = static_cast<PaintedShapeNode*>(oldNode);
        if (!painted)
            painted = new PaintedShapeNode(window(), PaintedShapeNode::Kind::Segments, 2.0f);
        painted->setShape(std::move(points), {QColor(QStringLiteral("#f8f8f8"))}, bounds);
        return painted;
    }
    auto* node = static_cast<QSGGeometryNode*>(oldNode);
    QSGGeometry* geometry = nullptr;
    if (!node) {
        node = new QSGGeometryNode;
        geometry = new QSGGeometry(QSGGeometry::defaultAttributes_Point2D(), count, 0,
                                   QSGGeometry::UnsignedShortType);
        geometry->setVertexDataPattern(QSGGeometry::StreamPattern);
        geometry->setDrawingMode(QSGGeometry::DrawLines);
        geometry->setLineWidth(2.0f);
        node->setGeometry(geometry);
        node->setFlag(QSGNode::OwnsGeometry);
        auto* material = new QSGFlatColorMaterial;
        material->setColor(QColor(QStringLiteral("#f8f8f8")));
        material->setFlag(QSGMaterial::SupportsRhiShader, true);
        node->setMaterial(material);
        node->setFlag(QSGNode::OwnsMaterial);
    } else {
        geometry = node->geometry();
        if (geometry->vertexCount() != count)
            geometry->allocate(count);
    }
    std::copy_n(pieces.data(), count, geometry->vertexDataAsPoint2D());
    node->markDirty(QSGNode::DirtyGeometry);
    return node;
}
