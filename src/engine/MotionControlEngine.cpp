// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/MotionControlEngine.h"

#include "engine/ControlModes.h"
#include "engine/ControlOutput.h"
#include "engine/ControlPublisher.h"
#include "link/Orvik.h"

#include <QMetaObject>
#include <QQmlEngine>
#include <QThread>

#include <pthread.h>

#include <chrono>

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

MotionControlEngine::MotionControlEngine(ControlModes& modes, ControlOutput* output,
                                         ControlPublisher* publisher, QObject* parent)
    : QObject(parent), m_modes(modes), m_output(output), m_publisher(publisher)
{
    qRegisterMetaType<uint64_t>("uint64_t");
    qRegisterMetaType<Orvik*>("Orvik*");

    m_animationTimer.setInterval(kAnimationIntervalMs);
    connect(&m_animationTimer, &QTimer::timeout, this,
            &MotionControlEngine::distributeAnimationTick, Qt::DirectConnection);
    connect(&m_animationTimer, &QTimer::timeout, this, &MotionControlEngine::stopAnimationWhenIdle,
            Qt::DirectConnection);

    for (int i = 0; i < kNumOfSources; ++i) {
        auto* source = new ContinuousControlSource(this);
        QQmlEngine::setObjectOwnership(source, QQmlEngine::CppOwnership);
        source->setEngine(this);
        source->setIndex(i);
        m_sources[size_t(i)] = source;
        // Every setting the OSC tick sends.
        connect(source, &ControlSourceBase::labelChanged, this,
                &MotionControlEngine::publishOscSettings);
        connect(source, &ControlSourceBase::enablementChanged, this,
                &MotionControlEngine::publishOscSettings);
        connect(source, &ControlSourceBase::dummyStateChanged, this,
                &MotionControlEngine::publishOscSettings);
        connect(source, &ControlSourceBase::channelNumberChanged, this,
                &MotionControlEngine::publishOscSettings);
        connect(source, &ControlSourceBase::eventNumberChanged, this,
                &MotionControlEngine::publishOscSettings);
        connect(source, &ControlSourceBase::sourceReset, this,
                &MotionControlEngine::publishOscSettings);
        // What a knob's ring is drawn from, changed without a frame.
        connect(source, &ControlSourceBase::sourceReset, this, &MotionControlEngine::wakeAnimation);
        connect(source, &ControlSourceBase::deviceChanged, this,
                &MotionControlEngine::wakeAnimation);
        connect(source, &ControlSourceBase::dummyStateChanged, this,
                &MotionControlEngine::wakeAnimation);
        connect(source, &ControlSourceBase::enablementChanged, this,
                &MotionControlEngine::wakeAnimation);
    }
    // The bands' and slots' order and colours, changed without a frame.
    connect(this, &MotionControlEngine::numOfDeviceChanged, this,
            &MotionControlEngine::wakeAnimation);
    connect(this, &MotionControlEngine::deviceSwapped, this, &MotionControlEngine::wakeAnimation);
    connect(this, &MotionControlEngine::deviceEnablementChanged, this,
            &MotionControlEngine::wakeAnimation);
    connect(this, &MotionControlEngine::newCSourceAddedAt, this,
            &MotionControlEngine::wakeAnimation);
    connect(this, &MotionControlEngine::cSourceSwapped, this, &MotionControlEngine::wakeAnimation);
    connect(this, &MotionControlEngine::sourceSlotCleared, this,
            &MotionControlEngine::wakeAnimation);
    publishOscSettings();
}

MotionControlEngine::~MotionControlEngine()
{
    stopOscTick();
    // No frame reaches the sources any more (the link has stopped before
    // the engine goes; a frame already being dispatched finishes first),
    // then the sources go, then the devices they followed.
    QHash<uint64_t, std::shared_ptr<Orvik>> devices;
    {
        QMutexLocker lock(&m_devicesLock);
        devices.swap(m_devices);
    }
    for (const auto& device : devices)
        device->disconnect(this);
    std::array<ContinuousControlSource*, kNumOfSources> sources{};
    {
        std::lock_guard<std::mutex> lock(m_dispatchLock);
        sources.swap(m_sources);
    }
    for (ContinuousControlSource* source : sources)
        delete source;
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
    registerDevice(new Orvik(deviceID), true);
}

void MotionControlEngine::insertDevice(Orvik* device)
{
    registerDevice(device, false);
}

void MotionControlEngine::registerDevice(Orvik* device, bool atEnd)
{
    if (!device)
        return;
    if (device->thread() != thread())
        device->moveToThread(thread());
    // QML receives devices from getDeviceAt(); it must never collect them.
    QQmlEngine::setObjectOwnership(device, QQmlEngine::CppOwnership);
    // Relayed before the band can be found, so no request is lost between
    // its registration and the signals that announce it.
    connect(device, &Orvik::shouldSendBlink, this, &MotionControlEngine::bandBlinkRequested,
            Qt::UniqueConnection);
    connect(device, &Orvik::shouldSendHandChange, this,
            &MotionControlEngine::bandHandChangeRequested, Qt::UniqueConnection);
    const uint64_t uuid = device->getUuid();
    std::shared_ptr<Orvik> replaced;
    {
        QMutexLocker lock(&m_devicesLock);
        replaced = m_devices.value(uuid);
        // The position is taken under the same lock as the insertion, so a
        // device added or removed meanwhile on another thread can leave
        // neither a gap nor a shared position.
        if (atEnd)
            device->setIndex(replaced ? replaced->getIndex() : m_devices.size());
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
    for (ContinuousControlSource* source : m_sources)
        source->forgetDevice(removed.get());
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

std::shared_ptr<Orvik> MotionControlEngine::registeredDevice(const Orvik* d) const
{
    if (!d)
        return nullptr;
    QMutexLocker lock(&m_devicesLock);
    for (const auto& device : m_devices)
        if (device.get() == d)
            return device;
    return nullptr;
}

ContinuousControlSource* MotionControlEngine::getCSourceAt(int i) const
{
    return isSlot(i) ? m_sources[size_t(i)] : nullptr;
}

void MotionControlEngine::addNewCSourceAt(int i, bool notify)
{
    if (!isSlot(i))
        return;
    ContinuousControlSource* source = m_sources[size_t(i)];
    source->setName(QStringLiteral("Wheel %1").arg(i + 1));

    const uint8_t channel = source->getChannel();
    const auto taken = [&](int n) {
        for (const ContinuousControlSource* other : m_sources)
            if (!other->isDummy() && other->getChannel() == channel && other->getEventNumber() == n)
                return true;
        return false;
    };
    int number = i + 1;
    while (number < 127 && taken(number))
        ++number;
    source->setEventNumber(uint8_t(number));
    source->setDummy(false);
    publishOscSettings();
    if (notify)
        Q_EMIT newCSourceAddedAt(i);
    if (const std::shared_ptr<Orvik> first = deviceRefAt(0))
        source->setDevice(first->getUuid(), true);
}

void MotionControlEngine::swapCSources(int i, int j)
{
    if (!isSlot(i) || !isSlot(j))
        return;
    {
        std::lock_guard<std::mutex> lock(m_dispatchLock);
        std::swap(m_sources[size_t(i)], m_sources[size_t(j)]);
    }
    // A source's index is the slot a saved patch puts it back into, so it
    // moves with the source.
    m_sources[size_t(i)]->setIndex(i);
    m_sources[size_t(j)]->setIndex(j);
    publishOscSettings();
    Q_EMIT cSourceSwapped(i, j);
}

void MotionControlEngine::removeCSourceAt(int i, bool notify)
{
    if (!isSlot(i))
        return;
    m_sources[size_t(i)]->reset();
    publishOscSettings();
    if (notify)
        Q_EMIT cSourceRemoved(i);
    Q_EMIT sourceSlotCleared(i);
}

bool MotionControlEngine::eventNumberExisted(int n, int ch) const
{
    for (const ContinuousControlSource* source : m_sources)
        if (!source->isDummy() && source->getChannel() == ch && source->getEventNumber() == n)
            return true;
    return false;
}

void MotionControlEngine::loadCSource(const ContinuousControlSource* source)
{
    if (!source || !isSlot(source->getIndex()))
        return;
    m_sources[size_t(source->getIndex())]->applyParams(source->getParams());
    publishOscSettings();
    wakeAnimation();
}

void MotionControlEngine::handleDeviceMute(Orvik* d)
{
    const std::shared_ptr<Orvik> device = registeredDevice(d);
    if (!device)
        return;
    const uint64_t uuid = device->getUuid();
    const bool muted = device->isMuted();
    for (ContinuousControlSource* source : m_sources) {
        if (source->getDeviceId() != uuid)
            continue;
        if (muted)
            source->setEnabled(false);
        else
            source->restoreEnabled();
    }
    Q_EMIT deviceEnablementChanged(d);
}

void MotionControlEngine::handleDeviceSolo(Orvik* d)
{
    const std::shared_ptr<Orvik> device = registeredDevice(d);
    if (!device)
        return;
    const uint64_t uuid = device->getUuid();
    if (device->isSoloed()) {
        for (ContinuousControlSource* source : m_sources)
            source->setEnabled(source->getDeviceId() == uuid);
    } else {
        for (ContinuousControlSource* source : m_sources)
            if (source->getDeviceId() == uuid)
                source->restoreEnabled();
    }
    Q_EMIT deviceEnablementChanged(d);
}

void MotionControlEngine::setControlPublisher(ControlPublisher* publisher)
{
    if (ControlPublisher* previous = m_publisher.exchange(publisher))
        if (previous != publisher)
            previous->setLiveControls(nullptr, 0);
    publishOscSettings();
    wakeOscTick();
}

// Exactly the live, enabled sources, in slot order.
void MotionControlEngine::publishOscSettings()
{
    ControlPublisher* publisher = m_publisher.load();
    if (publisher == nullptr)
        return;
    std::array<LiveControl, kNumOfSources> live;
    int count = 0;
    for (const ContinuousControlSource* source : m_sources) {
        if (source && !source->isDummy() && source->isEnabled())
            live[size_t(count++)] = {source->getName(), &source->liveValue(),
                                     source->getEventNumber(), source->getChannel()};
    }
    publisher->setLiveControls(live.data(), count);
}

// Publishes while the link is up and mapping mode is off.
void MotionControlEngine::sendControlOSC()
{
    ControlPublisher* publisher = m_publisher.load();
    if (publisher == nullptr || !m_modes.getConnectionState() || m_modes.getMappingModeState())
        return;
    publisher->publishLiveControls();
}

bool MotionControlEngine::isOscWanted() const
{
    return m_publisher.load() != nullptr && m_modes.getConnectionState() &&
           !m_modes.getMappingModeState();
}

void MotionControlEngine::wakeOscTick()
{
    {
        std::lock_guard<std::mutex> lock(m_oscWakeLock);
        m_oscRecheck = true;
    }
    m_oscWake.notify_all();
}

void MotionControlEngine::startOscTick()
{
    if (m_oscThread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_oscWakeLock);
        m_oscStopping = false;
    }
    m_oscThread = std::thread([this] { runOscTick(); });
}

void MotionControlEngine::stopOscTick()
{
    if (!m_oscThread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_oscWakeLock);
        m_oscStopping = true;
    }
    m_oscWake.notify_all();
    m_oscThread.join();
}

// Ticks on a fixed grid of kOscIntervalMs; a tick that comes late does not
// shift the ones after it, and ticks missed altogether are not made up.
// While nothing could be published the thread sleeps until woken (or
// kOscIdleCheckMs), then starts a fresh grid with a tick at once.
void MotionControlEngine::runOscTick()
{
    pthread_setname_np(pthread_self(), "kinetra-osc");
    using Clock = std::chrono::steady_clock;
    const auto interval = std::chrono::milliseconds(kOscIntervalMs);
    auto next = Clock::now() + interval;
    std::unique_lock<std::mutex> lock(m_oscWakeLock);
    for (;;) {
        // Cleared before the look: a change after it sets the flag again,
        // and the wait below returns at once.
        m_oscRecheck = false;
        if (!isOscWanted()) {
            if (m_oscWake.wait_for(lock, std::chrono::milliseconds(kOscIdleCheckMs),
                                   [this] { return m_oscStopping || m_oscRecheck; }) &&
                m_oscStopping)
                break;
            next = Clock::now();
            continue;
        }
        if (m_oscWake.wait_until(lock, next, [this] { return m_oscStopping; }))
            break;
        lock.unlock();
        sendControlOSC();
        lock.lock();
        next += interval;
        const auto now = Clock::now();
        if (next <= now)
            next = now + interval;
    }
}

void MotionControlEngine::distributeAnimationTick()
{
    Q_EMIT animationTick();
}

void MotionControlEngine::wakeAnimation()
{
    m_animationMoved.store(true);
    if (m_animationAwake.load() || m_animationAwake.exchange(true))
        return;
    if (QThread::currentThread() == thread())
        startAnimation();
    else
        QMetaObject::invokeMethod(this, &MotionControlEngine::startAnimation, Qt::QueuedConnection);
}

void MotionControlEngine::startAnimation()
{
    m_animationIdleTicks = 0;
    if (!m_animationTimer.isActive())
        m_animationTimer.start(kAnimationIntervalMs);
}

void MotionControlEngine::stopAnimationWhenIdle()
{
    if (m_animationMoved.exchange(false)) {
        m_animationIdleTicks = 0;
        return;
    }
    if (++m_animationIdleTicks < kAnimationIdleTicks)
        return;
    m_animationTimer.stop();
    m_animationAwake.store(false);
    // A frame between the exchange above and the store saw the tick awake
    // and asked for nothing: it is taken here.
    if (m_animationMoved.load() && !m_animationAwake.exchange(true))
        startAnimation();
}

void MotionControlEngine::deliverMotion(const Orvik& device, const MotionRecord& record,
                                        int64_t arrival)
{
    wakeAnimation();
    {
        std::lock_guard<std::mutex> lock(m_dispatchLock);
        for (ContinuousControlSource* source : m_sources)
            if (source)
                source->receiveFrame(device, record, arrival);
    }
    // The audio block sends what the frame queued; if it is late, the frame
    // does not wait for it.
    if (ControlOutput* output = m_output)
        output->flushIfAudioLate();
}

void MotionControlEngine::deliverStillFrame(const Orvik& device, const MotionRecord& record,
                                            int64_t arrival)
{
    // The band streams: its data tile scrolls even when the frame moved no
    // wheel.
    wakeAnimation();
    bool taken = false;
    {
        std::lock_guard<std::mutex> lock(m_dispatchLock);
        for (ContinuousControlSource* source : m_sources)
            if (source && source->receiveStillFrame(device, record, arrival))
                taken = true;
    }
    if (!taken)
        return;
    if (ControlOutput* output = m_output)
        output->flushIfAudioLate();
}

void MotionControlEngine::refreshCs()
{
    bindSourcesToDevices();
}

// A source follows the band it was made for whenever that band is known;
// while it is not, the source follows the band at position 0, so a patch
// made with other bands (or the built-in one) still plays, and it goes back
// to its own band as soon as that appears.
void MotionControlEngine::bindSourcesToDevices()
{
    const std::shared_ptr<Orvik> first = deviceRefAt(0);
    for (ContinuousControlSource* source : m_sources) {
        if (source->isDummy())
            continue;
        const uint64_t stored = source->getStoredDeviceId();
        if (isDeviceExist(stored)) {
            if (source->getDeviceId() != stored)
                source->followDevice(stored);
        } else if (first && !isDeviceExist(source->getDeviceId())) {
            source->followDevice(first->getUuid());
        }
        source->connectToDevice();
    }
}
