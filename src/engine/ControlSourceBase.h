// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ControlSourceParams.h"
#include "link/DeviceDirectory.h"
#include "protocol/MotionRecord.h"

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <memory>
#include <mutex>

class MotionControlEngine;
class Orvik;

// What every control source has: its identity, the device it follows, its
// MIDI addressing and the signals the user interface listens to. A source
// lives on the GUI thread. It never keeps a device pointer it would follow
// blindly: the device is looked up by identifier through the engine, so a
// device removed meanwhile is simply not found; a frame brings its device
// and record along and is compared, not looked up.
//
// Every setting lives in one ControlSourceParams record, the same record a
// patch stores and sources copy between them.
//
// Motion is processed on the thread that delivers the frame (the receiver
// link), so that a busy GUI thread never delays the MIDI a movement makes.
// Everything that processing reads or writes is guarded by the source's
// state lock: the setters take it on the GUI thread, the processing holds
// it for one frame. The live values it produces are atomics the user
// interface reads without the lock. Signals are emitted after the lock is
// released.
class ControlSourceBase : public QObject
{
    Q_OBJECT

public:
    explicit ControlSourceBase(QObject* parent = nullptr);
    ~ControlSourceBase() override;

    // The engine this source asks for its device, its modes and its MIDI
    // output; a source without one (a patch being loaded) sends nothing.
    void setEngine(MotionControlEngine* engine) { m_engine = engine; }
    MotionControlEngine* engine() const { return m_engine; }

    QUuid getId() const { return m_params.id; }
    // The band this source follows now.
    uint64_t getDeviceId() const { return m_followedId; }
    // The band it was made for (saved with it); differs from the one it
    // follows while that band is absent.
    uint64_t getStoredDeviceId() const { return m_params.deviceId; }
    uint32_t getType() const { return m_params.type; }
    bool isDummy() const { return m_params.dummy; }
    bool isEnabled() const { return m_params.enabled; }
    int getIndex() const { return m_params.index; }
    QString getName() const { return m_params.name; }
    uint8_t getChannel() const { return m_params.channel; }
    uint8_t getEventNumber() const { return m_params.eventNumber; }
    bool isCcOrNote() const { return m_params.ccOrNote; }
    bool isHardwareOutput() const { return m_params.toHardware; }
    bool getSavedEnabled() const { return m_savedEnabled; }

    // Assign without a signal.
    void setId(const QUuid& id) { assignLocked(m_params.id, id); }
    void setType(uint32_t type) { assignLocked(m_params.type, type); }
    // Assigns; emits labelChanged when the name changes.
    void setName(const QString& name);
    // Assign and signal only when the value changes.
    void setDummy(bool dummy);
    void setIndex(int index);
    void setChannel(uint8_t channel);
    void setEventNumber(uint8_t number);
    void setCcOrNote(bool ccOrNote);
    void setHardwareOutput(bool toHardware);
    // Saves the present state for restoreEnabled (on every call), then
    // assigns and signals when the state changes.
    void setEnabled(bool enabled);
    // Returns to the state saved by the last setEnabled; signals always.
    void restoreEnabled();

    // The engine's device with this source's identifier, or none.
    Orvik* getDevice() const;
    // The same, held so that it stays alive while the caller uses it.
    std::shared_ptr<Orvik> deviceRef() const;
    // Follows the device (its motion and bypass signals) unless this is an
    // empty slot or the device does not exist; connects at most once.
    void connectToDevice();
    // Stops following whatever device this source follows.
    void disconnectFromDevice();
    // Stops following `device` if this source follows it (the device is
    // going away).
    void forgetDevice(const Orvik* device);
    // The band chosen for this source: leaves the present device, takes `id`
    // as the band it was made for and the one it follows and, when `connect`
    // is set, follows its signals; emits deviceChanged on every call.
    void setDevice(uint64_t id, bool connect);
    // Follows `id` for the time being (the band it was made for is absent,
    // or back); the stored band is kept. Emits deviceChanged.
    void followDevice(uint64_t id);
    // Whether the source currently follows a device's signals.
    bool isConnectedToDevice() const;
    // Processes a frame of `device` (its record as the link computed it)
    // when this source follows that device; any thread. What it sends is
    // due on `arrival` (DeviceDirectory::deliverMotion). Returns whether it
    // did.
    bool receiveFrame(const Orvik& device, const MotionRecord& record,
                      int64_t arrival = DeviceDirectory::kUnstamped);
    // The same for a frame that moved none of the device's values: only a
    // source that wants every frame (wantsEveryFrame) processes it.
    bool receiveStillFrame(const Orvik& device, const MotionRecord& record,
                           int64_t arrival = DeviceDirectory::kUnstamped);

    // Processes one copy of the device's motion record; called with the
    // state lock held.
    virtual void handleMotion(const MotionRecord& record) = 0;
    // The same for a device already looked up (none when it is gone).
    virtual void handleMotionOf(const Orvik* device, const MotionRecord& record) = 0;
    // Sends the learn message that lets a MIDI host learn this control.
    virtual void sendMapping() = 0;
    // Reacts to a change of the device's bypass state; called with the state
    // lock held.
    virtual void handleDeviceBypass() {}
    // Returns the source to an empty slot with default settings.
    virtual void reset();

Q_SIGNALS:
    void dummyStateChanged(bool newState);
    void deviceChanged(uint64_t newDeviceId);
    void indexChanged(int newIndex);
    void enablementChanged(bool newState);
    void labelChanged(QString newLabel);
    void channelNumberChanged(uint8_t newCh);
    void eventTypeChanged(bool newState);
    void eventNumberChanged(uint8_t newCC);
    void hardwareOutputStateChanged(bool newState);
    void sourceReset();

public Q_SLOTS:
    // A device signalled new motion; any thread. The pointer may name a
    // device removed since the signal was queued: it is only compared, never
    // followed.
    void valueReceived(Orvik* fromDevice);
    void deviceBypassStateChanged(Orvik* fromDevice);

protected:
    // Held while a frame is processed and while settings it reads change.
    std::unique_lock<std::mutex> lockState() const
    {
        return std::unique_lock<std::mutex>(m_stateLock);
    }
    // Assigns a setting the frame processing reads.
    template <typename T> void assignLocked(T& setting, T value)
    {
        const auto lock = lockState();
        setting = value;
    }
    // Whether the source processes frames that moved nothing too (a filter
    // that must go on settling); state lock held.
    virtual bool wantsEveryFrame() const { return false; }
    // When the frame being processed arrived (DeviceDirectory::kUnstamped
    // outside a frame, or when the link has no clock); state lock held.
    int64_t frameArrival() const { return m_frameArrival; }
    // Every setting back to its default with a new identity; keeps the index
    // and the saved enabled state; emits nothing. Called with the state lock
    // held.
    void resetBase();
    // Rebinds after the settings were replaced: the device followed before
    // is left, the record's device followed (unless the source is an empty
    // slot), deviceChanged emitted.
    void rebindAfterApply();

    // Every setting; written on the GUI thread, with the state lock held
    // where the frame processing reads it, and read by the frame processing
    // with the state lock held.
    ControlSourceParams m_params;

private:
    void follow(Orvik* device);
    void processLocked(const Orvik* fromDevice);

    MotionControlEngine* m_engine = nullptr;
    mutable std::mutex m_stateLock;
    // The band followed now: the stored one, or a stand-in while that is
    // absent. Written on the GUI thread with the state lock held; read by
    // the frame processing with it held.
    uint64_t m_followedId = 0;
    QMetaObject::Connection m_bypassConnection;
    // The device whose frames this source takes, compared only; guarded by
    // the state lock.
    const Orvik* m_followed = nullptr;
    // The arrival of the frame receiveFrame is processing; set and cleared
    // around it with the state lock held.
    int64_t m_frameArrival = DeviceDirectory::kUnstamped;

    bool m_savedEnabled = true;
};
