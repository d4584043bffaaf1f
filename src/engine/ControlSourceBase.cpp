#include "engine/ControlSourceBase.h"

#include "app/AppContext.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"

ControlSourceBase::ControlSourceBase(QObject* parent) : QObject(parent), m_id(QUuid::createUuid())
{
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

MotionControlEngine* ControlSourceBase::engine() const
{
    return m_engine ? m_engine : AppContext::engine();
}

void ControlSourceBase::setName(const QString& name)
{
    if (m_name == name)
        return;
    m_name = name;
    Q_EMIT labelChanged(m_name);
}

void ControlSourceBase::setDummy(bool dummy)
{
    if (m_dummy == dummy)
        return;
    assignLocked(m_dummy, dummy);
    Q_EMIT dummyStateChanged(dummy);
}

void ControlSourceBase::setIndex(int index)
{
    if (m_index == index)
        return;
    m_index = index;
    Q_EMIT indexChanged(index);
}

void ControlSourceBase::setChannel(uint8_t channel)
{
    if (m_channel == channel)
        return;
    assignLocked(m_channel, channel);
    Q_EMIT channelNumberChanged(channel);
}

void ControlSourceBase::setEventNumber(uint8_t number)
{
    if (m_eventNumber == number)
        return;
    assignLocked(m_eventNumber, number);
    Q_EMIT eventNumberChanged(number);
}

void ControlSourceBase::setCcOrNote(bool ccOrNote)
{
    if (m_ccOrNote == ccOrNote)
        return;
    m_ccOrNote = ccOrNote;
    Q_EMIT eventTypeChanged(ccOrNote);
}

void ControlSourceBase::setHardwareOutput(bool toHardware)
{
    if (m_toHardware == toHardware)
        return;
    m_toHardware = toHardware;
    Q_EMIT hardwareOutputStateChanged(toHardware);
}

void ControlSourceBase::setEnabled(bool enabled)
{
    m_savedEnabled = m_enabled;
    if (m_enabled == enabled)
        return;
    assignLocked(m_enabled, enabled);
    Q_EMIT enablementChanged(enabled);
}

void ControlSourceBase::restoreEnabled()
{
    assignLocked(m_enabled, m_savedEnabled);
    Q_EMIT enablementChanged(m_enabled);
}

std::shared_ptr<Orvik> ControlSourceBase::deviceRef() const
{
    MotionControlEngine* owner = engine();
    if (!owner || m_deviceId == 0)
        return nullptr;
    return owner->deviceRefById(m_deviceId);
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
    if (m_dummy)
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
    assignLocked(m_deviceId, id);
    if (connect)
        connectToDevice();
    Q_EMIT deviceChanged(id);
}

void ControlSourceBase::valueReceived(Orvik* fromDevice)
{
    const auto lock = lockState();
    processLocked(fromDevice);
}

bool ControlSourceBase::receiveIfFollowing(const Orvik* fromDevice)
{
    const auto lock = lockState();
    if (fromDevice == nullptr || m_followed != fromDevice)
        return false;
    processLocked(fromDevice);
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
    m_id = QUuid::createUuid();
    m_deviceId = 0;
    m_type = 0;
    m_dummy = true;
    m_enabled = true;
    m_name.clear();
    m_channel = 0;
    m_eventNumber = 1;
    m_ccOrNote = true;
    m_toHardware = true;
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

void ControlSourceBase::copyBaseParamsTo(ControlSourceParams& params) const
{
    params.id = m_id;
    params.deviceId = m_deviceId;
    params.type = m_type;
    params.dummy = m_dummy;
    params.enabled = m_enabled;
    params.index = m_index;
    params.name = m_name;
    params.channel = m_channel;
    params.eventNumber = m_eventNumber;
    params.ccOrNote = m_ccOrNote;
    params.toHardware = m_toHardware;
}

void ControlSourceBase::applyBaseParams(const ControlSourceParams& params)
{
    disconnectFromDevice();
    {
        const auto lock = lockState();
        m_id = params.id;
        m_deviceId = params.deviceId;
        m_type = params.type;
        m_dummy = params.dummy;
        m_enabled = params.enabled;
        m_index = params.index;
        m_name = params.name;
        m_channel = params.channel;
        m_eventNumber = params.eventNumber;
        m_ccOrNote = params.ccOrNote;
        m_toHardware = params.toHardware;
    }
    connectToDevice();
    Q_EMIT deviceChanged(m_deviceId);
}
