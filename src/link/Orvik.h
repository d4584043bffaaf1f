// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/VHDevice.h"
#include "protocol/MotionRecord.h"
#include "protocol/Quaternion.h"

#include <atomic>
#include <cstdint>
#include <mutex>

// One wristband sensor: its identity, the user's settings for it and the
// latest motion the receiver link decoded for it.
//
// Threads: the link thread writes the motion record, the quaternion and the
// active and bypass flags; the GUI thread reads the record and writes the
// user settings. The record and quaternion sit behind a short lock so that a
// reader always copies one whole frame; every other shared field is atomic.
class Orvik : public VHDevice
{
    Q_OBJECT

public:
    static constexpr int kKind = 1;
    static constexpr int kWarmUpFrames = 360;
    static constexpr float kChangeThreshold = 0.004f;

    explicit Orvik(uint64_t uuid, QObject* parent = nullptr);

    // A copy of the whole motion record, taken as one unit.
    MotionRecord getRecord() const;
    Quaternion getQuaternion() const;
    void setQuaternion(const Quaternion& q);

    float getX() const { return getRecord().x(); }
    float getY() const { return getRecord().y(); }
    float getZ() const { return getRecord().z(); }
    float getG() const { return getRecord().g(); }
    float getZRef() const { return getRecord().zRef(); }
    float getTurnOffset() const { return getRecord().turnOffset(); }

    bool isActive() const { return m_isActive.load(); }
    bool isBypassed() const { return m_isBypassed.load(); }
    bool isMuted() const { return m_isMuted.load(); }
    bool isSoloed() const { return m_isSoloed.load(); }
    bool isOnLeft() const;
    int getWearPos() const { return m_wearPos.load(); }
    int getBatteryLevel() const { return m_batteryLevel.load(); }
    float getYGate() const { return m_yGate.load(); }
    float getYawReference() const { return m_initYaw.load(); }
    float getPitchReference() const { return m_initPitch.load(); }
    float getRollReference() const { return m_initRoll.load(); }
    bool isReady() const { return m_isReady.load(); }
    int getWarmUpCountdown() const { return m_warmUpCountdown.load(); }
    // How many motion records the link has stored; a reader that sees the
    // same count twice knows that no frame arrived in between.
    quint32 getFrameCount() const { return m_frameCount.load(std::memory_order_acquire); }

    // Store the flag and emit its signal on every call.
    void setActive(bool active);
    void setBypassed(bool bypassed);
    void setMuted(bool muted);
    void setSoloed(bool soloed);
    // Stores 0 (left) or 1 (right), emits wearPosStateChanged and asks the
    // band to change hands, on every call.
    void setOnLeft(bool isOnLeft);
    // Stores a raw wear code (0 and 2 mean left); used by the registry.
    void setWearPos(int code);
    void setYGate(float gate) { m_yGate = gate; }
    void setInitPos(float yaw, float pitch, float roll);
    void resetInitPos();
    void sendBlink();

    // Takes one motion record computed by the link: stores it, advances the
    // warm-up and emits dataUpdated when a control value (X, Y, Z, G) or az
    // moved noticeably since the last frame signalled, or the device is
    // bypassed; returns whether it did (the frame is then
    // handed on to the sources by the link).
    bool applyMotion(const MotionRecord& record);

Q_SIGNALS:
    void dataUpdated(Orvik* sender);
    void batteryLevelUpdated(Orvik* sender);
    void soloStateChanged(Orvik* sender);
    void muteStateChanged(Orvik* sender);
    void activationStateChanged(Orvik* sender);
    void bypassStateChanged(Orvik* sender);
    void wearPosStateChanged(Orvik* sender);
    void shouldSendBlink(uint64_t uuid);
    void shouldSendHandChange(uint64_t uuid, bool isOnLeft);

private:
    mutable std::mutex m_motionLock;
    MotionRecord m_record;
    // The record of the last frame that emitted dataUpdated: a slow movement
    // adds up against it instead of slipping under the threshold frame by
    // frame.
    MotionRecord m_signalled;
    Quaternion m_quaternion;

    std::atomic<float> m_initYaw{0.0f};
    std::atomic<float> m_initPitch{0.0f};
    std::atomic<float> m_initRoll{0.0f};
    std::atomic<float> m_yGate{0.0f};
    std::atomic<bool> m_isActive{false};
    std::atomic<bool> m_isBypassed{false};
    std::atomic<bool> m_isMuted{false};
    std::atomic<bool> m_isSoloed{false};
    std::atomic<int> m_wearPos{1};
    std::atomic<int> m_batteryLevel{127};
    std::atomic<int> m_warmUpCountdown{kWarmUpFrames};
    std::atomic<bool> m_isReady{false};
    // Written by the link thread after each stored record, read by the GUI
    // thread's drawing; no lock.
    std::atomic<quint32> m_frameCount{0};
};
