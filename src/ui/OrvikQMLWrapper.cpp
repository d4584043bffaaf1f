// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OrvikQMLWrapper.h"

#include "link/Orvik.h"
#include "ui/ItemPeers.h"

#include <algorithm>
#include <cmath>

OrvikQMLWrapper::OrvikQMLWrapper(QObject* parent) : QObject(parent) {}

const ItemPeers* OrvikQMLWrapper::peers() const
{
    return m_peers ? m_peers : ItemPeers::of(this);
}

Orvik* OrvikQMLWrapper::device() const
{
    const ItemPeers* p = peers();
    return p ? p->deviceAt(m_i) : nullptr;
}

void OrvikQMLWrapper::followLinkHealth() const
{
    if (m_followingLinkHealth)
        return;
    const ItemPeers* p = peers();
    if (!p)
        return;
    auto* self = const_cast<OrvikQMLWrapper*>(this);
    m_followingLinkHealth =
        bool(p->onLinkHealthUpdated(self, [self] { Q_EMIT self->linkHealthChanged(); }));
}

QString OrvikQMLWrapper::linkHealth() const
{
    followLinkHealth();
    const ItemPeers* p = peers();
    const auto band = p ? p->linkHealthAt(m_i) : std::nullopt;
    return band ? LinkHealth::describe(*band) : QString();
}

QString OrvikQMLWrapper::linkHealthDescription() const
{
    followLinkHealth();
    const ItemPeers* p = peers();
    const auto band = p ? p->linkHealthAt(m_i) : std::nullopt;
    return band ? LinkHealth::describeInWords(*band) : QString();
}

bool OrvikQMLWrapper::linkHealthWarning() const
{
    const ItemPeers* p = peers();
    const auto band = p ? p->linkHealthAt(m_i) : std::nullopt;
    return band && band->warning;
}

bool OrvikQMLWrapper::isActive() const
{
    const Orvik* d = device();
    return d && d->isActive();
}

bool OrvikQMLWrapper::isBypassed() const
{
    const Orvik* d = device();
    return d && d->isBypassed();
}

bool OrvikQMLWrapper::isMuted() const
{
    const Orvik* d = device();
    return d && d->isMuted();
}

bool OrvikQMLWrapper::isSoloed() const
{
    const Orvik* d = device();
    return d && d->isSoloed();
}

bool OrvikQMLWrapper::isOnLeft() const
{
    const Orvik* d = device();
    return d && d->isOnLeft();
}

int OrvikQMLWrapper::batteryLevel() const
{
    const Orvik* d = device();
    return d ? d->getBatteryLevel() : kNoDeviceBattery;
}

QString OrvikQMLWrapper::name() const
{
    const Orvik* d = device();
    return d ? d->getName() : QStringLiteral("No device");
}

QString OrvikQMLWrapper::uuid() const
{
    const Orvik* d = device();
    return d ? QString::number(d->getUuid()) : QString();
}

float OrvikQMLWrapper::yGate() const
{
    const Orvik* d = device();
    return d ? d->getYGate() : 0.0f;
}

void OrvikQMLWrapper::setActive(bool value)
{
    if (Orvik* d = device()) {
        d->setActive(value);
        Q_EMIT activationStateChanged();
    }
}

void OrvikQMLWrapper::setBypassed(bool value)
{
    if (Orvik* d = device()) {
        d->setBypassed(value);
        Q_EMIT bypassStateChanged();
    }
}

void OrvikQMLWrapper::setMuted(bool value)
{
    if (Orvik* d = device()) {
        d->setMuted(value);
        Q_EMIT muteStateChanged();
    }
}

void OrvikQMLWrapper::setSoloed(bool value)
{
    if (Orvik* d = device()) {
        d->setSoloed(value);
        Q_EMIT soloStateChanged();
    }
}

void OrvikQMLWrapper::setOnLeft(bool value)
{
    if (Orvik* d = device()) {
        d->setOnLeft(value);
        Q_EMIT wearPosStateChanged();
    }
}

void OrvikQMLWrapper::setName(const QString& value)
{
    if (Orvik* d = device()) {
        d->setName(value);
        Q_EMIT nameChanged();
    }
}

void OrvikQMLWrapper::setYGate(float value)
{
    if (Orvik* d = device()) {
        d->setYGate(std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 0.0f);
        Q_EMIT yGateChanged();
    }
}

void OrvikQMLWrapper::setI(int value)
{
    if (value == m_i)
        return;
    m_i = value;
    Q_EMIT indexChanged();
}

void OrvikQMLWrapper::sync()
{
    Q_EMIT batteryLevelUpdated(batteryLevel());
    Q_EMIT uuidChanged();
    Q_EMIT activationStateChanged();
    Q_EMIT wearPosStateChanged();
    Q_EMIT bypassStateChanged();
    Q_EMIT soloStateChanged();
    Q_EMIT muteStateChanged();
    Q_EMIT nameChanged();
    Q_EMIT linkHealthChanged();
    Q_EMIT yGateChanged();
}

float OrvikQMLWrapper::getX() const
{
    const Orvik* d = device();
    return d ? d->getX() : 0.0f;
}

float OrvikQMLWrapper::getY() const
{
    const Orvik* d = device();
    return d ? d->getY() : 0.0f;
}

float OrvikQMLWrapper::getZ() const
{
    const Orvik* d = device();
    return d ? d->getZ() : 0.0f;
}

float OrvikQMLWrapper::getZRef() const
{
    const Orvik* d = device();
    return d ? d->getZRef() : 0.0f;
}

void OrvikQMLWrapper::resetInitPos()
{
    if (Orvik* d = device())
        d->resetInitPos();
}

void OrvikQMLWrapper::setInitPos(float z)
{
    if (Orvik* d = device())
        d->setInitPos(z, 0.0f, 0.0f);
}

void OrvikQMLWrapper::sendBlink()
{
    if (Orvik* d = device())
        d->sendBlink();
}
