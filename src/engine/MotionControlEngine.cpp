#include "engine/MotionControlEngine.h"

#include "link/Orvik.h"

#include <QMetaObject>
#include <QThread>

namespace {

// Devices are destroyed on the thread that owns them, whichever thread drops
// the last reference.
void destroyDevice(Orvik* device)
{
    if (device->thread() == QThread::currentThread())
        delete device;
    else
        device->deleteLater();
}

std::shared_ptr<Orvik> adopt(Orvik* device)
{
    return std::shared_ptr<Orvik>(device, &destroyDevice);
}

} // namespace

MotionControlEngine::MotionControlEngine(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<uint64_t>("uint64_t");
    qRegisterMetaType<Orvik*>("Orvik*");

    m_oscTimer.setInterval(kOscIntervalMs);
    m_oscTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_oscTimer, &QTimer::timeout, this, &MotionControlEngine::sendControlOSC,
            Qt::DirectConnection);
    m_animationTimer.setInterval(kAnimationIntervalMs);
    connect(&m_animationTimer, &QTimer::timeout, this,
            &MotionControlEngine::distributeAnimationTick, Qt::DirectConnection);
    m_oscTimer.start();
    m_animationTimer.start();
}

MotionControlEngine::~MotionControlEngine()
{
    QHash<uint64_t, std::shared_ptr<Orvik>> devices;
    {
        QMutexLocker lock(&m_devicesLock);
        devices.swap(m_devices);
    }
    for (const auto& device : devices)
        device->disconnect(this);
}

int MotionControlEngine::getNumOfDevice() const
{
    QMutexLocker lock(&m_devicesLock);
    return m_devices.size();
}

std::shared_ptr<Orvik> MotionControlEngine::deviceAtLocked(int at) const
{
    for (const auto& device : m_devices)
        if (device->getIndex() == at)
            return device;
    return nullptr;
}

Orvik* MotionControlEngine::getDeviceAt(int at) const
{
    QMutexLocker lock(&m_devicesLock);
    return deviceAtLocked(at).get();
}

Orvik* MotionControlEngine::getDeviceById(uint64_t uuid) const
{
    QMutexLocker lock(&m_devicesLock);
    return m_devices.value(uuid).get();
}

std::shared_ptr<Orvik> MotionControlEngine::deviceRefById(uint64_t uuid) const
{
    QMutexLocker lock(&m_devicesLock);
    return m_devices.value(uuid);
}

std::shared_ptr<Orvik> MotionControlEngine::deviceRefAt(int at) const
{
    QMutexLocker lock(&m_devicesLock);
    return deviceAtLocked(at);
}

bool MotionControlEngine::isDeviceExist(uint64_t uuid) const
{
    QMutexLocker lock(&m_devicesLock);
    return m_devices.contains(uuid);
}

QString MotionControlEngine::getDeviceNameAt(int i) const
{
    const std::shared_ptr<Orvik> device = deviceRefAt(i);
    if (!device || device->getName().isEmpty())
        return QStringLiteral("No device");
    return device->getName();
}

void MotionControlEngine::addNewDevice(uint64_t deviceID)
{
    auto* device = new Orvik(deviceID);
    device->setIndex(getNumOfDevice());
    insertDevice(device);
}

void MotionControlEngine::insertDevice(Orvik* device)
{
    if (!device)
        return;
    if (device->thread() != thread())
        device->moveToThread(thread());
    const uint64_t uuid = device->getUuid();
    std::shared_ptr<Orvik> replaced;
    {
        QMutexLocker lock(&m_devicesLock);
        replaced = m_devices.value(uuid);
        m_devices.insert(uuid, adopt(device));
    }
    if (replaced)
        replaced->disconnect(this);
    replaced.reset();

    if (QThread::currentThread() == thread())
        finishInsert(uuid);
    else
        QMetaObject::invokeMethod(
            this, [this, uuid] { finishInsert(uuid); }, Qt::QueuedConnection);
}

void MotionControlEngine::finishInsert(uint64_t uuid)
{
    const std::shared_ptr<Orvik> device = deviceRefById(uuid);
    if (!device)
        return; // removed before the registration reached this thread
    Q_EMIT newDeviceAdded(device.get());
    Q_EMIT numOfDeviceChanged(getNumOfDevice());
    connect(device.get(), &Orvik::soloStateChanged, this, &MotionControlEngine::handleDeviceSolo,
            Qt::UniqueConnection);
    connect(device.get(), &Orvik::muteStateChanged, this, &MotionControlEngine::handleDeviceMute,
            Qt::UniqueConnection);
    bindSourcesToDevices();
}

void MotionControlEngine::removeDevice(uint64_t deviceID)
{
    std::shared_ptr<Orvik> removed;
    int position = -1;
    {
        QMutexLocker lock(&m_devicesLock);
        removed = m_devices.take(deviceID);
        if (!removed)
            return;
        position = removed->getIndex();
        for (const auto& device : m_devices)
            if (device->getIndex() > position)
                device->setIndex(device->getIndex() - 1);
    }
    removed->disconnect(this);
    removed.reset();
    Q_EMIT deviceRemoved(deviceID, position);
    Q_EMIT numOfDeviceChanged(getNumOfDevice());
}

void MotionControlEngine::removeDeviceAt(int i)
{
    const std::shared_ptr<Orvik> device = deviceRefAt(i);
    if (device)
        removeDevice(device->getUuid());
}

void MotionControlEngine::swapDevices(int i, int j)
{
    {
        QMutexLocker lock(&m_devicesLock);
        const std::shared_ptr<Orvik> first = deviceAtLocked(i);
        const std::shared_ptr<Orvik> second = deviceAtLocked(j);
        if (!first || !second)
            return;
        first->setIndex(j);
        second->setIndex(i);
    }
    Q_EMIT deviceSwapped(i, j);
}

void MotionControlEngine::handleDeviceMute(Orvik* d)
{
    Q_EMIT deviceEnablementChanged(d);
}

void MotionControlEngine::handleDeviceSolo(Orvik* d)
{
    Q_EMIT deviceEnablementChanged(d);
}

void MotionControlEngine::sendControlOSC() {}

void MotionControlEngine::distributeAnimationTick()
{
    Q_EMIT animationTick();
}

void MotionControlEngine::refreshCs()
{
    bindSourcesToDevices();
}

void MotionControlEngine::bindSourcesToDevices() {}
