// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ControlSourceBase.h"

#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"

ControlSourceBase::ControlSourceBase(QObject* parent) : QObject(parent)
{
    m_params.id = QUuid::createUuid();
    qRegisterMetaType<uint64_t>("uint64_t");
    qRegisterMetaType<uint8_t>("uint8_t");
    qRegisterMetaType<Orvik*>("Orvik*");
}

ControlSourceBase::~ControlSourceBase()
{
    disconnectFromDevice();
    // A frame being processed on the link thread finishes first.
    std::lock_guard<std::mutex> wait(m_stateLock);
}

void ControlSourceBase::setName(const QString& name)
{
    if (m_params.name == name)
        return;
    m_params.name = name;
    Q_EMIT labelChanged(m_params.name);
}

void ControlSourceBase::setDummy(bool dummy)
{
    if (m_params.dummy == dummy)
        return;
    assignLocked(m_params.dummy, dummy);
    Q_EMIT dummyStateChanged(dummy);
}

void ControlSourceBase::setIndex(int index)
{
    if (m_params.index == index)
        return;
    m_params.index = index;
    Q_EMIT indexChanged(index);
}

void ControlSourceBase::setChannel(uint8_t channel)
{
    if (m_params.channel == channel)
        return;
    assignLocked(m_params.channel, channel);
    Q_EMIT channelNumberChanged(channel);
}

void ControlSourceBase::setEventNumber(uint8_t number)
{
    if (m_params.eventNumber == number)
        return;
    assignLocked(m_params.eventNumber, number);
    Q_EMIT eventNumberChanged(number);
}

void ControlSourceBase::setCcOrNote(bool ccOrNote)
{
    if (m_params.ccOrNote == ccOrNote)
        return;
    m_params.ccOrNote = ccOrNote;
    Q_EMIT eventTypeChanged(ccOrNote);
}

void ControlSourceBase::setHardwareOutput(bool toHardware)
{
    if (m_params.toHardware == toHardware)
        return;
    m_params.toHardware = toHardware;
    Q_EMIT hardwareOutputStateChanged(toHardware);
}

void ControlSourceBase::setEnabled(bool enabled)
{
    m_savedEnabled = m_params.enabled;
    if (m_params.enabled == enabled)
        return;
    assignLocked(m_params.enabled, enabled);
    Q_EMIT enablementChanged(enabled);
}

void ControlSourceBase::restoreEnabled()
{
    assignLocked(m_params.enabled, m_savedEnabled);
    Q_EMIT enablementChanged(m_params.enabled);
}

std::shared_ptr<Orvik> ControlSourceBase::deviceRef() const
{
    MotionControlEngine* owner = engine();
    if (!owner || m_followedId == 0)
        return nullptr;
    return owner->deviceRefById(m_followedId);
}

Orvik* ControlSourceBase::getDevice() const
{
    return deviceRef().get();
}

bool ControlSourceBase::isConnectedToDevice() const
{
    const auto lock = lockState();
    return m_followed != nullptr;
}

void ControlSourceBase::follow(Orvik* device)
{
    {
        const auto lock = lockState();
        if (m_followed == device && m_bypassConnection)
            return;
    }
    disconnectFromDevice();
    // Frames reach the source through the engine, on the link thread; the
    // bypass state changes rarely and is handled here, on the GUI thread.
    m_bypassConnection = connect(device, &Orvik::bypassStateChanged, this,
                                 &ControlSourceBase::deviceBypassStateChanged);
    const auto lock = lockState();
    m_followed = device;
}

void ControlSourceBase::connectToDevice()
{
    if (m_params.dummy)
        return;
    const std::shared_ptr<Orvik> device = deviceRef();
    if (device)
        follow(device.get());
}

void ControlSourceBase::disconnectFromDevice()
{
    // The connection handles name exactly what was connected, so this works
    // also when the device is no longer registered.
    QObject::disconnect(m_bypassConnection);
    m_bypassConnection = {};
    const auto lock = lockState();
    m_followed = nullptr;
}

void ControlSourceBase::forgetDevice(const Orvik* device)
{
    bool following = false;
    {
        const auto lock = lockState();
        following = device != nullptr && m_followed == device;
    }
    if (following)
        disconnectFromDevice();
}

void ControlSourceBase::setDevice(uint64_t id, bool connect)
{
    disconnectFromDevice();
    {
        const auto lock = lockState();
        m_params.deviceId = id;
        m_followedId = id;
    }
    if (connect)
        connectToDevice();
    Q_EMIT deviceChanged(id);
}

void ControlSourceBase::followDevice(uint64_t id)
{
    disconnectFromDevice();
    assignLocked(m_followedId, id);
    connectToDevice();
    Q_EMIT deviceChanged(id);
}

void ControlSourceBase::valueReceived(Orvik* fromDevice)
{
    const auto lock = lockState();
    processLocked(fromDevice);
}

bool ControlSourceBase::receiveFrame(const Orvik& device, const MotionRecord& record,
                                     int64_t arrival)
{
    const auto lock = lockState();
    if (m_followed != &device)
        return false;
    m_frameArrival = arrival;
    handleMotionOf(&device, record);
    m_frameArrival = DeviceDirectory::kUnstamped;
    return true;
}

bool ControlSourceBase::receiveStillFrame(const Orvik& device, const MotionRecord& record,
                                          int64_t arrival)
{
    const auto lock = lockState();
    if (m_followed != &device || !wantsEveryFrame())
        return false;
    m_frameArrival = arrival;
    handleMotionOf(&device, record);
    m_frameArrival = DeviceDirectory::kUnstamped;
    return true;
}

void ControlSourceBase::processLocked(const Orvik* fromDevice)
{
    const std::shared_ptr<Orvik> device = deviceRef();
    // A frame queued by a device this source has since stopped following.
    if (fromDevice && device && device.get() != fromDevice)
        return;
    handleMotionOf(device.get(), device ? device->getRecord() : MotionRecord{});
}

void ControlSourceBase::deviceBypassStateChanged(Orvik*)
{
    const auto lock = lockState();
    handleDeviceBypass();
}

void ControlSourceBase::resetBase()
{
    ControlSourceParams fresh;
    fresh.id = QUuid::createUuid();
    fresh.index = m_params.index;
    m_params = fresh;
    m_followedId = fresh.deviceId;
}

void ControlSourceBase::reset()
{
    disconnectFromDevice();
    {
        const auto lock = lockState();
        resetBase();
    }
    Q_EMIT sourceReset();
}

void ControlSourceBase::rebindAfterApply()
{
    disconnectFromDevice();
    {
        const auto lock = lockState();
        m_followedId = m_params.deviceId;
    }
    connectToDevice();
    Q_EMIT deviceChanged(getDeviceId());
}
