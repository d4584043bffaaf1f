// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QQuickItem>

#include <deque>

class ItemPeers;
class QSGNode;

// A scrolling line graph of one motion value (X, Y, Z or G) of the focused
// sensor, sampled on every animation tick of the engine that finds a new
// frame from it. It also publishes a brightness derived from the newest
// sample. A band that sends nothing, or a line that would not move, asks for
// no frame.
class DataMonitor : public QQuickItem
{
    Q_OBJECT
    Q_PROPERTY(int sourceType READ sourceType WRITE setSourceType)
    Q_PROPERTY(float opacity READ alpha WRITE setAlpha NOTIFY alphaChanged)

public:
    static constexpr int kHistoryLength = 64;

    explicit DataMonitor(QQuickItem* parent = nullptr);

    int sourceType() const { return m_sourceType; }
    void setSourceType(int type) { m_sourceType = type; }
    float alpha() const { return m_opacity; }
    void setAlpha(float value);
    const std::deque<float>& history() const { return m_history; }
    // The peers the focused band is read from; by default the ones attached
    // to the QML engine that created this item (found when QML completes
    // it).
    void setPeers(ItemPeers* peers);

Q_SIGNALS:
    void alphaChanged();

private Q_SLOTS:
    void fetchDataAndUpdate();

protected:
    void componentComplete() override;
    QSGNode* updatePaintNode(QSGNode* oldNode, UpdatePaintNodeData* data) override;

private:
    float m_opacity = 0.2f;
    int m_sourceType = 0;
    std::deque<float> m_history;
    ItemPeers* m_peers = nullptr;
    QMetaObject::Connection m_tickConnection;
    // The band sampled last and its frame count then: a tick that finds the
    // same band at the same count has nothing new to show.
    const void* m_sampledDevice = nullptr;
    quint32 m_sampledFrame = 0;
};
