// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

class ItemPeers;
class Orvik;

// A view of the device at one list position for QML. It never keeps a device
// pointer: every read and write looks the device up again by position,
// so a device that was removed or moved is never touched through a stale
// pointer. QML refreshes it with sync().
class OrvikQMLWrapper : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isActive READ isActive WRITE setActive NOTIFY activationStateChanged)
    Q_PROPERTY(bool isBypassed READ isBypassed WRITE setBypassed NOTIFY bypassStateChanged)
    Q_PROPERTY(bool isMuted READ isMuted WRITE setMuted NOTIFY muteStateChanged)
    Q_PROPERTY(bool isSoloed READ isSoloed WRITE setSoloed NOTIFY soloStateChanged)
    Q_PROPERTY(bool isOnLeft READ isOnLeft WRITE setOnLeft NOTIFY wearPosStateChanged)
    Q_PROPERTY(int batteryLevel READ batteryLevel NOTIFY batteryLevelUpdated)
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(int i READ i WRITE setI NOTIFY indexChanged)
    Q_PROPERTY(QString uuid READ uuid NOTIFY uuidChanged)
    // The band's Y gate: while its Y lies below this level (0..1) none of
    // its wheels sends; 0 switches the gate off. Writes are kept within 0..1.
    Q_PROPERTY(float yGate READ yGate WRITE setYGate NOTIFY yGateChanged)
    // How well the band reaches us, as one short line and in words for the
    // screen reader; empty without figures. The warning is set when the
    // rate or the loss needs attention.
    Q_PROPERTY(QString linkHealth READ linkHealth NOTIFY linkHealthChanged)
    Q_PROPERTY(QString linkHealthDescription READ linkHealthDescription NOTIFY linkHealthChanged)
    Q_PROPERTY(bool linkHealthWarning READ linkHealthWarning NOTIFY linkHealthChanged)

public:
    static constexpr int kNoDeviceBattery = 255;

    explicit OrvikQMLWrapper(QObject* parent = nullptr);

    bool isActive() const;
    bool isBypassed() const;
    bool isMuted() const;
    bool isSoloed() const;
    bool isOnLeft() const;
    int batteryLevel() const;
    QString name() const;
    int i() const { return m_i; }
    QString uuid() const;
    float yGate() const;
    QString linkHealth() const;
    QString linkHealthDescription() const;
    bool linkHealthWarning() const;

    void setActive(bool value);
    void setBypassed(bool value);
    void setMuted(bool value);
    void setSoloed(bool value);
    void setOnLeft(bool value);
    void setName(const QString& value);
    void setYGate(float value);
    void setI(int value);

    // The peers the device is looked up in; by default the ones attached to
    // the QML engine that created this object.
    void setPeers(ItemPeers* peers) { m_peers = peers; }

    Q_INVOKABLE void sync();
    Q_INVOKABLE float getX() const;
    Q_INVOKABLE float getY() const;
    Q_INVOKABLE float getZ() const;
    Q_INVOKABLE float getZRef() const;
    Q_INVOKABLE void resetInitPos();
    Q_INVOKABLE void setInitPos(float z);
    Q_INVOKABLE void sendBlink();

Q_SIGNALS:
    void activationStateChanged();
    void bypassStateChanged();
    void muteStateChanged();
    void soloStateChanged();
    void wearPosStateChanged();
    void batteryLevelUpdated(int level);
    void nameChanged();
    void indexChanged();
    void uuidChanged();
    void linkHealthChanged();
    void yGateChanged();

private:
    Orvik* device() const;
    const ItemPeers* peers() const;
    // Subscribes to the once-a-second figures on first use.
    void followLinkHealth() const;

    ItemPeers* m_peers = nullptr;
    int m_i = 0;
    mutable bool m_followingLinkHealth = false;
};
