// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Orvik.h"

#include <QMetaType>

#include <cmath>

Orvik::Orvik(uint64_t uuid, QObject* parent)
    : VHDevice(uuid, kKind, QStringLiteral("Orvik"), parent)
{
    qRegisterMetaType<uint64_t>("uint64_t");
    qRegisterMetaType<Orvik*>("Orvik*");
}

MotionRecord Orvik::getRecord() const
{
    std::lock_guard<std::mutex> lock(m_motionLock);
    return m_record;
}

Quaternion Orvik::getQuaternion() const
{
    std::lock_guard<std::mutex> lock(m_motionLock);
    return m_quaternion;
}

void Orvik::setQuaternion(const Quaternion& q)
{
    std::lock_guard<std::mutex> lock(m_motionLock);
    m_quaternion = q;
}

bool Orvik::isOnLeft() const
{
    const int code = m_wearPos.load();
    return code == 0 || code == 2;
}

void Orvik::setActive(bool active)
{
    m_isActive = active;
    Q_EMIT activationStateChanged(this);
}

void Orvik::setBypassed(bool bypassed)
{
    m_isBypassed = bypassed;
    Q_EMIT bypassStateChanged(this);
}

void Orvik::setMuted(bool muted)
{
    m_isMuted = muted;
    Q_EMIT muteStateChanged(this);
}

void Orvik::setSoloed(bool soloed)
{
    m_isSoloed = soloed;
    Q_EMIT soloStateChanged(this);
}

void Orvik::setOnLeft(bool onLeft)
{
    m_wearPos = onLeft ? 0 : 1;
    Q_EMIT wearPosStateChanged(this);
    Q_EMIT shouldSendHandChange(getUuid(), isOnLeft());
}

void Orvik::setWearPos(int code)
{
    m_wearPos = code;
}

void Orvik::setInitPos(float yaw, float pitch, float roll)
{
    m_initYaw = yaw;
    m_initPitch = pitch;
    m_initRoll = roll;
}

void Orvik::resetInitPos()
{
    setInitPos(0.0f, 0.0f, 0.0f);
    std::lock_guard<std::mutex> lock(m_motionLock);
    m_record[MotionRecord::TurnOffset] = 0.0f;
}

void Orvik::sendBlink()
{
    Q_EMIT shouldSendBlink(getUuid());
}

bool Orvik::applyMotion(const MotionRecord& record)
{
    bool changed = m_isBypassed.load();
    {
        std::lock_guard<std::mutex> lock(m_motionLock);
        const auto moved = [&](int i) {
            return std::fabs(record[i] - m_signalled[i]) > kChangeThreshold;
        };
        // Every value a wheel can follow (X, Y, Z, G) and az, each against
        // the last frame signalled, so that slow motion adds up.
        changed = changed || moved(MotionRecord::X) || moved(MotionRecord::Y) ||
                  moved(MotionRecord::Z) || moved(MotionRecord::G) || moved(MotionRecord::Az);
        m_record = record;
        if (changed)
            m_signalled = record;
    }
    m_frameCount.fetch_add(1, std::memory_order_release);
    const int countdown = m_warmUpCountdown.load();
    m_isReady = countdown < 1;
    if (countdown > 0)
        m_warmUpCountdown = countdown - 1;
    if (changed)
        Q_EMIT dataUpdated(this);
    return changed;
}
