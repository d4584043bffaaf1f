// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/VMultiSlider.h"

#include "engine/ContinuousControlSource.h"
#include "link/Orvik.h"
#include "ui/ItemPeers.h"
#include "ui/KnobRingGeometry.h"
#include "ui/PaintedShapeNode.h"

#include <QSGGeometryNode>
#include <QSGVertexColorMaterial>

#include <vector>

VMultiSlider::VMultiSlider(QQuickItem* parent)
    : QQuickItem(parent), m_startAngle(KnobRingGeometry::kStartAngle),
      m_endAngle(KnobRingGeometry::kEndAngle), m_segments(KnobRingGeometry::kSegments)
{
    setFlag(ItemHasContents, true);
    setAntialiasing(true);
    setClip(true);
    setSmooth(true);
}

void VMultiSlider::componentComplete()
{
    QQuickItem::componentComplete();
    if (!m_peers)
        m_peers = ItemPeers::of(this);
}

ItemPeers* VMultiSlider::peers() const
{
    return m_peers ? m_peers : ItemPeers::of(this);
}

ContinuousControlSource* VMultiSlider::cs() const
{
    const ItemPeers* p = peers();
    return p ? p->sourceAt(m_index) : nullptr;
}

ContinuousControlSource* VMultiSlider::drawableSource() const
{
    ContinuousControlSource* s = cs();
    if (!s || s->isDummy() || !s->getDevice())
        return nullptr;
    return s;
}

int VMultiSlider::source() const
{
    const auto* s = cs();
    return s ? s->getAxis() : 0;
}

int VMultiSlider::channel() const
{
    const auto* s = cs();
    return s ? s->getChannel() : 0;
}

int VMultiSlider::eventNumber() const
{
    const auto* s = cs();
    return s ? s->getEventNumber() : 1;
}

bool VMultiSlider::ccOrNote() const
{
    const auto* s = cs();
    return s ? s->isCcOrNote() : true;
}

bool VMultiSlider::isDummy() const
{
    const auto* s = cs();
    return s ? s->isDummy() : true;
}

bool VMultiSlider::isEnabled() const
{
    const auto* s = cs();
    return s ? s->isEnabled() : true;
}

bool VMultiSlider::isGated() const
{
    const auto* s = cs();
    return s ? s->isGated() : false;
}

bool VMultiSlider::isReversed() const
{
    const auto* s = cs();
    return s ? s->isReversed() : false;
}

float VMultiSlider::min() const
{
    const auto* s = cs();
    return s ? s->getMin() : 0.0f;
}

float VMultiSlider::max() const
{
    const auto* s = cs();
    return s ? s->getMax() : 127.0f;
}

float VMultiSlider::lowerbound() const
{
    const auto* s = cs();
    return s ? s->getLowerbound() : 0.0f;
}

float VMultiSlider::upperbound() const
{
    const auto* s = cs();
    return s ? s->getUpperbound() : 127.0f;
}

float VMultiSlider::defaultValue() const
{
    const auto* s = cs();
    return s ? s->getDefaultValue() : -1.0f;
}

int VMultiSlider::deviceIndex() const
{
    const auto* s = cs();
    const Orvik* device = s ? s->getDevice() : nullptr;
    return device ? device->getIndex() : -1;
}

float VMultiSlider::sensitivity() const
{
    const auto* s = cs();
    return s ? s->getSensitivity() : 1.0f;
}

QString VMultiSlider::name() const
{
    const auto* s = cs();
    if (!s || s->getName().isEmpty())
        return QStringLiteral("Empty slot");
    return s->getName();
}

bool VMultiSlider::smoothing() const
{
    const auto* s = cs();
    return s && s->getParams().isSmoothing();
}

float VMultiSlider::smoothingMinCutoff() const
{
    const auto* s = cs();
    return s ? s->getSmoothingMinCutoff() : 0.0f;
}

float VMultiSlider::smoothingBeta() const
{
    const auto* s = cs();
    return s ? s->getSmoothingBeta() : ControlSourceParams::kDefaultSmoothingBeta;
}

int VMultiSlider::deadBand() const
{
    const auto* s = cs();
    return s ? s->getDeadBand() : 0;
}

void VMultiSlider::sync()
{
    Q_EMIT nameChanged(name());
    Q_EMIT dummyChanged(isDummy());
    Q_EMIT enablementChanged(isEnabled());
    Q_EMIT lowerboundChanged(lowerbound());
    Q_EMIT upperboundChanged(upperbound());
    Q_EMIT minChanged(min());
    Q_EMIT maxChanged(max());
    Q_EMIT gateChanged(isGated());
    Q_EMIT reverseChanged(isReversed());
    Q_EMIT sourceChanged(source());
    Q_EMIT channelChanged(channel());
    Q_EMIT ccOrNoteChanged(ccOrNote());
    Q_EMIT eventNumberChanged(eventNumber());
    Q_EMIT deviceChanged(deviceIndex());
    Q_EMIT defaultValueChanged(defaultValue());
    Q_EMIT smoothingChanged();
    Q_EMIT deadBandChanged(deadBand());

    const ContinuousControlSource* s = cs();
    const ItemPeers* p = peers();
    if (s && !s->isDummy() && p) {
        if (!m_tickConnection)
            m_tickConnection = p->onAnimationTick(this, [this] { shouldUpdate(); });
    } else {
        stopDrawing();
    }
}

void VMultiSlider::stopDrawing()
{
    if (m_tickConnection) {
        disconnect(m_tickConnection);
        m_tickConnection = {};
    }
    clearRing();
}

void VMultiSlider::clearRing()
{
    if (!m_ringShown)
        return;
    m_ringShown = false;
    ++m_repaintsAsked;
    update();
}

void VMultiSlider::shouldUpdate()
{
    const ContinuousControlSource* s = drawableSource();
    if (!s) {
        // An emptied slot (a new patch, a removed wheel) is not ticked any
        // more; a wheel whose band went away keeps its tick for the band's
        // return. Neither shows the last ring it drew.
        const ContinuousControlSource* slot = cs();
        if (!slot || slot->isDummy())
            stopDrawing();
        else
            clearRing();
        return;
    }
    const float value = s->getValue();
    const float lowerbound = s->getLowerbound();
    const float upperbound = s->getUpperbound();
    const bool gateOpen = s->isGateOpen();
    const ItemPeers* p = peers();
    const QColor colour = p ? p->deviceColour(s->getDevice()->getIndex()) : m_colour;
    m_min = s->getMin();
    m_max = s->getMax();
    // The ring is drawn from these alone: when none moved, the last frame
    // still shows it and no new one is asked for.
    if (m_ringShown && value == m_value && lowerbound == m_lowerbound &&
        upperbound == m_upperbound && gateOpen == m_gateOpen && colour == m_colour)
        return;
    m_ringShown = true;
    m_value = value;
    m_lowerbound = lowerbound;
    m_upperbound = upperbound;
    m_gateOpen = gateOpen;
    m_colour = colour;
    ++m_repaintsAsked;
    update();
}

void VMultiSlider::geometryChanged(const QRectF& newGeometry, const QRectF& oldGeometry)
{
    QQuickItem::geometryChanged(newGeometry, oldGeometry);
    if (m_ringShown && newGeometry.size() != oldGeometry.size())
        update();
}

void VMultiSlider::setEnable(bool newState)
{
    if (auto* s = cs())
        s->setEnabled(newState);
    Q_EMIT enablementChanged(newState);
}

void VMultiSlider::setLowerbound(float newValue)
{
    if (auto* s = cs())
        s->setLowerbound(newValue);
    // The ring shows the bounds; the animation tick may be asleep.
    if (m_tickConnection)
        shouldUpdate();
    Q_EMIT lowerboundChanged(newValue);
}

void VMultiSlider::setUppberbound(float newValue)
{
    if (auto* s = cs())
        s->setUpperbound(newValue);
    // The ring shows the bounds; the animation tick may be asleep.
    if (m_tickConnection)
        shouldUpdate();
    Q_EMIT upperboundChanged(newValue);
}

void VMultiSlider::setDefaultValue(float newValue)
{
    if (auto* s = cs())
        s->setDefaultValue(newValue);
    Q_EMIT defaultValueChanged(newValue);
}

void VMultiSlider::setName(QString newName)
{
    if (auto* s = cs())
        s->setName(newName);
    Q_EMIT nameChanged(newName);
}

void VMultiSlider::setMin(float newValue)
{
    auto* s = cs();
    if (s)
        s->setMin(newValue);
    Q_EMIT minChanged(newValue);
    if (s && s->getDefaultValue() != -1.0f && s->getDefaultValue() < s->getMin())
        setDefaultValue(newValue);
}

void VMultiSlider::setMax(float newValue)
{
    auto* s = cs();
    if (s)
        s->setMax(newValue);
    Q_EMIT maxChanged(newValue);
    if (s && s->getDefaultValue() != -1.0f && s->getDefaultValue() > s->getMax())
        setDefaultValue(newValue);
}

void VMultiSlider::setGated(bool newState)
{
    if (auto* s = cs())
        s->setGated(newState);
    Q_EMIT gateChanged(newState);
}

void VMultiSlider::setReversed(bool newState)
{
    if (auto* s = cs())
        s->setReversed(newState);
    Q_EMIT reverseChanged(newState);
}

void VMultiSlider::setChannel(int newValue)
{
    if (auto* s = cs())
        s->setChannel(uint8_t(newValue));
    Q_EMIT channelChanged(newValue);
}

void VMultiSlider::setEventNumber(int newValue)
{
    if (auto* s = cs())
        s->setEventNumber(uint8_t(newValue));
    Q_EMIT eventNumberChanged(newValue);
}

void VMultiSlider::setCCorNote(bool newState)
{
    if (auto* s = cs())
        s->setCcOrNote(newState);
    Q_EMIT ccOrNoteChanged(newState);
}

void VMultiSlider::setSource(int newValue)
{
    if (auto* s = cs())
        s->setAxis(newValue);
    Q_EMIT sourceChanged(newValue);
}

void VMultiSlider::setDevice(int deviceIndex)
{
    const ItemPeers* p = peers();
    auto* s = cs();
    Orvik* device = p ? p->deviceAt(deviceIndex) : nullptr;
    if (!s || !device)
        return;
    s->setDevice(device->getUuid(), true);
    Q_EMIT deviceChanged(deviceIndex);
}

bool VMultiSlider::isMyDevice(int deviceIndex)
{
    const ItemPeers* p = peers();
    const auto* s = cs();
    const Orvik* device = p ? p->deviceAt(deviceIndex) : nullptr;
    return s && device && device->getUuid() == s->getDeviceId();
}

void VMultiSlider::setSensivitiy(float newValue)
{
    if (auto* s = cs())
        s->setSensitivity(newValue);
    Q_EMIT sensitivityChanged(newValue);
}

void VMultiSlider::sendMapping()
{
    if (auto* s = cs())
        s->sendMapping();
}

QSGNode* VMultiSlider::updatePaintNode(QSGNode* oldNode, UpdatePaintNodeData*)
{
    // No node at all when there is nothing to show: the scene graph deletes
    // the old one.
    if (!m_ringShown || !drawableSource())
        return nullptr;
    KnobRingGeometry::Input in;
    in.width = float(boundingRect().width());
    in.value = m_value;
    in.lowerbound = m_lowerbound;
    in.upperbound = m_upperbound;
    in.colour = m_colour;
    in.gateOpen = m_gateOpen;
    in.segments = m_segments;
    in.startAngle = m_startAngle;
    in.endAngle = m_endAngle;
    const int count = KnobRingGeometry::vertexCount(m_segments);
    if (PaintedShapeNode::isUsedIn(window())) {
        std::vector<QSGGeometry::ColoredPoint2D> vertices(static_cast<std::size_t>(count));
        KnobRingGeometry::fill(vertices.data(), in);
        QVector<QPointF> points;
        QVector<QColor> colours;
        points.reserve(count);
        colours.reserve(count);
        for (const auto& v : vertices) {
            points << QPointF(v.x, v.y);
            colours << QColor(v.r, v.g, v.b, v.a);
        }
        auto* painted = static_cast<PaintedShapeNode*>(oldNode);
        if (!painted)
            painted = new PaintedShapeNode(window(), PaintedShapeNode::Kind::Points, 3.0f);
        painted->setShape(std::move(points), std::move(colours), boundingRect());
        return painted;
    }
    auto* node = static_cast<QSGGeometryNode*>(oldNode);
    QSGGeometry* geometry = nullptr;
    if (!node) {
        node = new QSGGeometryNode;
        geometry = new QSGGeometry(QSGGeometry::defaultAttributes_ColoredPoint2D(), count, 0,
                                   QSGGeometry::UnsignedShortType);
        geometry->setVertexDataPattern(QSGGeometry::StreamPattern);
        geometry->setDrawingMode(QSGGeometry::DrawPoints);
        geometry->setLineWidth(3.0f);
        node->setGeometry(geometry);
        node->setFlag(QSGNode::OwnsGeometry);
        node->setMaterial(new QSGVertexColorMaterial);
        node->setFlag(QSGNode::OwnsMaterial);
    } else {
        geometry = node->geometry();
        if (geometry->vertexCount() != count)
            geometry->allocate(count);
    }
    KnobRingGeometry::fill(geometry->vertexDataAsColoredPoint2D(), in);
    node->markDirty(QSGNode::DirtyGeometry);
    return node;
}

void VMultiSlider::setSmoothing(bool on)
{
    if (on == smoothing())
        return;
    setSmoothingMinCutoff(on ? ControlSourceParams::kDefaultSmoothingMinCutoff : 0.0f);
    if (!on)
        setDeadBand(0);
    else if (deadBand() == 0)
        setDeadBand(ControlSourceParams::kDefaultDeadBandWithSmoothing);
}

void VMultiSlider::setSmoothingMinCutoff(float hz)
{
    if (auto* s = cs())
        s->setSmoothingMinCutoff(hz);
    Q_EMIT smoothingChanged();
}

void VMultiSlider::setSmoothingBeta(float beta)
{
    if (auto* s = cs())
        s->setSmoothingBeta(beta);
    Q_EMIT smoothingChanged();
}

void VMultiSlider::setDeadBand(int steps)
{
    if (auto* s = cs())
        s->setDeadBand(steps);
    Q_EMIT deadBandChanged(deadBand());
}
