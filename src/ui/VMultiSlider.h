// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QQuickItem>
#include <QString>

class ItemPeers;
class ContinuousControlSource;
class Orvik;
class QSGNode;

// The native item behind each control-source knob: exposes the settings of
// the source in one engine slot, offers the setters the editors call, and
// draws the source's live value ring, refreshed on every animation tick.
// It keeps no settings of its own; only what drawing needs is mirrored.
class VMultiSlider : public QQuickItem
{
    Q_OBJECT
    Q_PROPERTY(int i READ getIndex WRITE setIndex)
    Q_PROPERTY(int source READ source NOTIFY sourceChanged)
    Q_PROPERTY(int channel READ channel NOTIFY channelChanged)
    Q_PROPERTY(int eventNumber READ eventNumber NOTIFY eventNumberChanged)
    Q_PROPERTY(bool ccOrNote READ ccOrNote NOTIFY ccOrNoteChanged)
    Q_PROPERTY(bool isDummy READ isDummy NOTIFY dummyChanged)
    Q_PROPERTY(bool isEnabled READ isEnabled NOTIFY enablementChanged)
    Q_PROPERTY(bool isGated READ isGated NOTIFY gateChanged)
    Q_PROPERTY(bool isReversed READ isReversed NOTIFY reverseChanged)
    Q_PROPERTY(float min READ min NOTIFY minChanged)
    Q_PROPERTY(float max READ max NOTIFY maxChanged)
    Q_PROPERTY(float lowerbound READ lowerbound NOTIFY lowerboundChanged)
    Q_PROPERTY(float upperbound READ upperbound NOTIFY upperboundChanged)
    Q_PROPERTY(float defaultValue READ defaultValue NOTIFY defaultValueChanged)
    Q_PROPERTY(int deviceIndex READ deviceIndex NOTIFY deviceChanged)
    Q_PROPERTY(float sensitivity READ sensitivity NOTIFY sensitivityChanged)
    Q_PROPERTY(QString name READ name NOTIFY nameChanged)
    // Smoothing of the motion (on while its minimum cutoff is above 0) and
    // the dead band in output steps.
    Q_PROPERTY(bool smoothing READ smoothing NOTIFY smoothingChanged)
    Q_PROPERTY(float smoothingMinCutoff READ smoothingMinCutoff NOTIFY smoothingChanged)
    Q_PROPERTY(float smoothingBeta READ smoothingBeta NOTIFY smoothingChanged)
    Q_PROPERTY(int deadBand READ deadBand NOTIFY deadBandChanged)

public:
    explicit VMultiSlider(QQuickItem* parent = nullptr);

    int source() const;
    int channel() const;
    int eventNumber() const;
    bool ccOrNote() const;
    bool isDummy() const;
    bool isEnabled() const;
    bool isGated() const;
    bool isReversed() const;
    float min() const;
    float max() const;
    float lowerbound() const;
    float upperbound() const;
    float defaultValue() const;
    int deviceIndex() const;
    float sensitivity() const;
    QString name() const;
    bool smoothing() const;
    float smoothingMinCutoff() const;
    float smoothingBeta() const;
    int deadBand() const;

    // The peers the wheel is looked up in; by default the ones attached to
    // the QML engine that created this item.
    void setPeers(ItemPeers* peers) { m_peers = peers; }

    Q_INVOKABLE int getIndex() const { return m_index; }
    Q_INVOKABLE void setIndex(int newIndex) { m_index = newIndex; }
    Q_INVOKABLE void sync();
    Q_INVOKABLE void setEnable(bool newState);
    Q_INVOKABLE void setLowerbound(float newValue);
    Q_INVOKABLE void setUppberbound(float newValue);
    Q_INVOKABLE void setDefaultValue(float newValue);
    Q_INVOKABLE void setName(QString newName);
    Q_INVOKABLE void setMin(float newValue);
    Q_INVOKABLE void setMax(float newValue);
    Q_INVOKABLE void setGated(bool newState);
    Q_INVOKABLE void setReversed(bool newState);
    Q_INVOKABLE void setChannel(int newValue);
    Q_INVOKABLE void setEventNumber(int newValue);
    Q_INVOKABLE void setCCorNote(bool newState);
    Q_INVOKABLE void setSource(int newValue);
    Q_INVOKABLE void setDevice(int deviceIndex);
    Q_INVOKABLE bool isMyDevice(int deviceIndex);
    Q_INVOKABLE void setSensivitiy(float newValue);
    Q_INVOKABLE void sendMapping();
    // Switching smoothing on starts at the default minimum cutoff, with the
    // default dead band unless one is set; off sets both to 0. A cutoff of 0
    // switches smoothing off too (and leaves the dead band).
    Q_INVOKABLE void setSmoothing(bool on);
    Q_INVOKABLE void setSmoothingMinCutoff(float hz);
    Q_INVOKABLE void setSmoothingBeta(float beta);
    Q_INVOKABLE void setDeadBand(int steps);

    // The drawing mirror, for tests.
    float mirroredValue() const { return m_value; }
    QColor mirroredColour() const { return m_colour; }
    bool isTickConnected() const { return bool(m_tickConnection); }
    bool isRingShown() const { return m_ringShown; }
    // How many frames the ring has asked for.
    int repaintsAsked() const { return m_repaintsAsked; }

Q_SIGNALS:
    void lowerboundChanged(float);
    void upperboundChanged(float);
    void defaultValueChanged(float);
    void minChanged(float);
    void maxChanged(float);
    void enablementChanged(bool);
    void gateChanged(bool);
    void reverseChanged(bool);
    void nameChanged(QString);
    void dummyChanged(bool);
    void channelChanged(int);
    void eventNumberChanged(int);
    void ccOrNoteChanged(int);
    void sourceChanged(int);
    void deviceChanged(int);
    void sensitivityChanged(float);
    void smoothingChanged();
    void deadBandChanged(int);

private Q_SLOTS:
    void shouldUpdate();

protected:
    void componentComplete() override;
    void geometryChanged(const QRectF& newGeometry, const QRectF& oldGeometry) override;
    QSGNode* updatePaintNode(QSGNode* oldNode, UpdatePaintNodeData* data) override;

private:
    ItemPeers* peers() const;
    ContinuousControlSource* cs() const;
    // The source when it is live and its device exists.
    ContinuousControlSource* drawableSource() const;
    // Leaves the animation tick and clears the ring.
    void stopDrawing();
    // Asks for a frame without the ring, once.
    void clearRing();

    int m_index = -1;
    float m_value = 0.0f;
    float m_upperbound = 127.0f;
    float m_lowerbound = 0.0f;
    float m_min = 0.0f;
    float m_max = 127.0f;
    bool m_gateOpen = true;
    QColor m_colour;
    float m_startAngle;
    float m_endAngle;
    int m_segments;
    QMetaObject::Connection m_tickConnection;
    // Whether the last frame asked for shows the ring; GUI thread, read by
    // updatePaintNode while the GUI thread waits for it.
    bool m_ringShown = false;
    int m_repaintsAsked = 0;
    ItemPeers* m_peers = nullptr;
};
