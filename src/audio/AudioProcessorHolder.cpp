// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioProcessorHolder.h"

#include "audio/AudioFormatState.h"
#include "midi/Transport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcAudio, "kinetra.audio")

namespace {

juce::String toJuce(const QString& s)
{
    return juce::String::fromUTF8(s.toUtf8().constData());
}

QString toQt(const juce::String& s)
{
    return QString::fromUtf8(s.toRawUTF8());
}

QStringList toQt(const juce::StringArray& list)
{
    QStringList out;
    out.reserve(list.size());
    for (const juce::String& s : list)
        out.append(toQt(s));
    return out;
}

} // namespace

AudioProcessorHolder::AudioProcessorHolder(const QString& setupFilePath, AudioFormatState& format,
                                           std::shared_ptr<Transport> transport, QObject* parent)
    : QObject(parent), m_format(format), m_transport(std::move(transport)),
      m_setupFilePath(setupFilePath)
{
}

AudioProcessorHolder::~AudioProcessorHolder()
{
    detachFromDevice();
    Lock lock(m_managerMutex);
    m_manager.closeAudioDevice();
}

bool AudioProcessorHolder::onMessageThread()
{
    return juce::MessageManager::existsAndIsCurrentThread();
}

void AudioProcessorHolder::addAudioDeviceType(std::unique_ptr<juce::AudioIODeviceType> type)
{
    Lock lock(m_managerMutex);
    if (type)
        m_manager.addAudioDeviceType(std::move(type));
}

void AudioProcessorHolder::loadSavedState()
{
    if (m_setupFilePath.isEmpty())
        return;
    const QFileInfo info(m_setupFilePath);
    if (!info.exists() || !info.isFile())
        return;
    std::unique_ptr<juce::XmlElement> xml =
        juce::parseXML(juce::File(toJuce(info.absoluteFilePath())));
    if (xml && xml->getStringAttribute("audioOutputDeviceName").isNotEmpty()) {
        m_savedState = *xml;
        return;
    }
    qCInfo(lcAudio) << "removing unusable audio set-up" << m_setupFilePath;
    QFile::remove(m_setupFilePath);
}

void AudioProcessorHolder::initialise()
{
    Lock lock(m_managerMutex);
    m_preferredSetup = juce::AudioDeviceManager::AudioDeviceSetup();
    m_preferredSetup.outputDeviceName = {};
    m_preferredSetup.inputDeviceName = {};
    m_preferredSetup.sampleRate = m_format.getAudioSampleRate();
    m_preferredSetup.bufferSize = m_format.getAudioBufferSize();
    m_preferredSetup.inputChannels.clear();
    m_preferredSetup.useDefaultInputChannels = true;
    m_preferredSetup.useDefaultOutputChannels = true;

    loadSavedState();

    if (!m_attached) {
        m_manager.addAudioCallback(this);
        m_attached = true;
    }
    const auto& config = m_channelConfig.first();
    const juce::String error = m_manager.initialise(config.first, config.second, &m_savedState,
                                                    true, {}, &m_preferredSetup);
    if (error.isNotEmpty())
        qCInfo(lcAudio) << "audio device not opened:" << toQt(error);

    if (onMessageThread() && !m_listening) {
        m_manager.addChangeListener(this);
        m_listening = true;
    }
    m_knownType = toQt(m_manager.getCurrentAudioDeviceType());
    m_knownOutputs = outputNamesLocked();
    rememberDeviceInUseLocked();
    storeSnapshot(takeSnapshotLocked());
}

void AudioProcessorHolder::rememberDeviceInUseLocked()
{
    juce::AudioIODevice* device = m_manager.getCurrentAudioDevice();
    m_deviceInUse = device ? toQt(device->getName()) : QString();
}

QStringList AudioProcessorHolder::outputNamesLocked()
{
    if (juce::AudioIODeviceType* type = m_manager.getCurrentDeviceTypeObject())
        return toQt(type->getDeviceNames(false));
    return {};
}

AudioProcessorHolder::TryLock AudioProcessorHolder::tryLockManager()
{
    return TryLock(m_managerMutex, std::try_to_lock);
}

AudioProcessorHolder::Snapshot AudioProcessorHolder::takeSnapshotLocked()
{
    Snapshot view;
    for (juce::AudioIODeviceType* type : m_manager.getAvailableDeviceTypes()) {
        const QString name = toQt(type->getTypeName());
        if (name != QLatin1String("DirectSound"))
            view.types.append(name);
    }
    view.type = toQt(m_manager.getCurrentAudioDeviceType());
    if (!view.type.isEmpty())
        view.outputs = outputNamesLocked();
    if (juce::AudioIODevice* device = m_manager.getCurrentAudioDevice()) {
        view.device = toQt(device->getName());
        view.bufferSizes = usableBufferSizes(device->getAvailableBufferSizes());
    }
    return view;
}

void AudioProcessorHolder::storeSnapshot(Snapshot view)
{
    std::lock_guard<std::mutex> lock(m_snapshotMutex);
    m_snapshot = std::move(view);
}

AudioProcessorHolder::Snapshot AudioProcessorHolder::snapshot() const
{
    std::lock_guard<std::mutex> lock(m_snapshotMutex);
    return m_snapshot;
}

// Each getter asks the manager when it is free, and otherwise (a driver
// change holds it) answers with what was known when the change began.
QStringList AudioProcessorHolder::getAudioDeviceTypes()
{
    TryLock lock = tryLockManager();
    return lock ? takeSnapshotLocked().types : snapshot().types;
}

QStringList AudioProcessorHolder::getAllAudioDevices()
{
    TryLock lock = tryLockManager();
    return lock ? takeSnapshotLocked().outputs : snapshot().outputs;
}

QString AudioProcessorHolder::getCurrentDeviceType()
{
    TryLock lock = tryLockManager();
    return lock ? takeSnapshotLocked().type : snapshot().type;
}

QString AudioProcessorHolder::getCurrentDevice()
{
    TryLock lock = tryLockManager();
    return lock ? takeSnapshotLocked().device : snapshot().device;
}

QList<int> AudioProcessorHolder::usableBufferSizes(const juce::Array<int>& sizes)
{
    QList<int> out;
    for (int size : sizes)
        if (size > 0 && size <= kMaxOfferedBufferSize && size % 8 == 0)
            out.append(size);
    return out;
}

QList<int> AudioProcessorHolder::getAvailableAudioBufferSize()
{
    TryLock lock = tryLockManager();
    return lock ? takeSnapshotLocked().bufferSizes : snapshot().bufferSizes;
}

juce::AudioDeviceManager::AudioDeviceSetup
AudioProcessorHolder::setupForOutput(const QString& name) const
{
    juce::AudioDeviceManager::AudioDeviceSetup setup;
    setup.outputDeviceName = toJuce(name);
    setup.inputDeviceName = {};
    setup.sampleRate = m_preferredSetup.sampleRate;
    setup.bufferSize = m_preferredSetup.bufferSize;
    setup.inputChannels.clear();
    setup.useDefaultInputChannels = true;
    setup.useDefaultOutputChannels = true;
    return setup;
}

void AudioProcessorHolder::applySetupLocked(const juce::AudioDeviceManager::AudioDeviceSetup& setup)
{
    // Our own changes must not look like devices coming and going. The
    // listener list belongs to the message thread; elsewhere the change is
    // recognised by the watch itself (the device list does not change).
    const bool relisten = m_listening && onMessageThread();
    if (relisten)
        m_manager.removeChangeListener(this);
    const juce::String error = m_manager.setAudioDeviceSetup(setup, true);
    if (error.isNotEmpty())
        qCInfo(lcAudio) << "audio set-up not applied:" << toQt(error);
    rememberDeviceInUseLocked();
    storeSnapshot(takeSnapshotLocked());
    if (relisten)
        m_manager.addChangeListener(this);
}

void AudioProcessorHolder::setAudioBufferSize(int size)
{
    TryLock lock = tryLockManager();
    if (!lock) {
        qCInfo(lcAudio) << "the audio driver is changing; buffer size" << size << "not applied";
        return;
    }
    juce::AudioDeviceManager::AudioDeviceSetup setup = m_manager.getAudioDeviceSetup();
    setup.bufferSize = size;
    applySetupLocked(setup);
}

void AudioProcessorHolder::setAudioDevice(const QString& name)
{
    TryLock lock = tryLockManager();
    if (!lock) {
        qCInfo(lcAudio) << "the audio driver is changing; device" << name << "not opened";
        return;
    }
    // A name the driver no longer lists (unplugged since the list was shown)
    // would only close the device that plays.
    if (!name.isEmpty() && !outputNamesLocked().contains(name)) {
        qCInfo(lcAudio) << "no output device named" << name;
        return;
    }
    applySetupLocked(setupForOutput(name));
}

void AudioProcessorHolder::setAudioDeviceType(const QString& type)
{
    if (m_driverChanges.fetch_add(1) == 0)
        Q_EMIT driverChangeRunningChanged(true);
    {
        Lock lock(m_managerMutex);
        // What the window sees while the new driver opens its device.
        storeSnapshot(takeSnapshotLocked());
        const bool relisten = m_listening && onMessageThread();
        if (relisten)
            m_manager.removeChangeListener(this);
        m_manager.setCurrentAudioDeviceType(toJuce(type), true);
        if (relisten)
            m_manager.addChangeListener(this);
        // The watch compares lists of one type: start again from the new one.
        m_knownType = toQt(m_manager.getCurrentAudioDeviceType());
        m_knownOutputs = outputNamesLocked();
        rememberDeviceInUseLocked();
        storeSnapshot(takeSnapshotLocked());
    }
    if (m_driverChanges.fetch_sub(1) == 1)
        Q_EMIT driverChangeRunningChanged(false);
}

QString AudioProcessorHolder::changedDevice(const QStringList& known, const QStringList& current)
{
    const bool grew = current.size() > known.size();
    const QStringList& longer = grew ? current : known;
    const QStringList& shorter = grew ? known : current;
    QString changed;
    for (const QString& name : longer)
        if (!shorter.contains(name))
            changed = name;
    return changed;
}

void AudioProcessorHolder::changeListenerCallback(juce::ChangeBroadcaster*)
{
    {
        // A driver change running elsewhere starts the watch again from the
        // new driver's list when it ends; the GUI thread does not wait.
        TryLock lock = tryLockManager();
        if (!lock)
            return;
        const QString type = toQt(m_manager.getCurrentAudioDeviceType());
        const QStringList current = outputNamesLocked();
        if (type != m_knownType) {
            m_knownType = type;
            m_knownOutputs = current;
            rememberDeviceInUseLocked();
        } else {
            if (current.size() == m_knownOutputs.size())
                return;
            const bool added = current.size() > m_knownOutputs.size();
            const QString changed = changedDevice(m_knownOutputs, current);
            if (added) {
                if (!changed.isEmpty())
                    applySetupLocked(setupForOutput(changed));
            } else if (m_deviceInUse.isEmpty() || !current.contains(m_deviceInUse)) {
                // The device in use went away (the manager may already have
                // fallen back to another one): leave the output closed until
                // the user chooses. An unused device going away changes
                // nothing for the one that plays.
                applySetupLocked(setupForOutput(QString()));
            }
            m_knownOutputs = current;
            rememberDeviceInUseLocked();
        }
        storeSnapshot(takeSnapshotLocked());
    }
    Q_EMIT audioDeviceChanged();
}

void AudioProcessorHolder::saveDeviceState()
{
    std::unique_ptr<juce::XmlElement> xml;
    {
        Lock lock(m_managerMutex);
        xml = m_manager.createStateXml();
        if (!xml)
            xml = describeOpenDeviceLocked();
        if (!xml)
            return;
        m_savedState = *xml;
    }
    if (m_setupFilePath.isEmpty())
        return;
    const QFileInfo info(m_setupFilePath);
    QDir().mkpath(info.absolutePath());
    if (!xml->writeTo(juce::File(toJuce(info.absoluteFilePath()))))
        qCWarning(lcAudio) << "cannot write" << m_setupFilePath;
}

std::unique_ptr<juce::XmlElement> AudioProcessorHolder::describeOpenDeviceLocked()
{
    // The manager keeps a state only for devices chosen explicitly; the
    // default device it opened by itself is described the same way, so that
    // it is found again at the next start.
    juce::AudioIODevice* device = m_manager.getCurrentAudioDevice();
    if (device == nullptr)
        return nullptr;
    const juce::AudioDeviceManager::AudioDeviceSetup setup = m_manager.getAudioDeviceSetup();
    auto xml = std::make_unique<juce::XmlElement>("DEVICESETUP");
    xml->setAttribute("deviceType", m_manager.getCurrentAudioDeviceType());
    xml->setAttribute("audioOutputDeviceName", setup.outputDeviceName);
    xml->setAttribute("audioInputDeviceName", setup.inputDeviceName);
    xml->setAttribute("audioDeviceRate", device->getCurrentSampleRate());
    if (device->getDefaultBufferSize() != device->getCurrentBufferSizeSamples())
        xml->setAttribute("audioDeviceBufferSize", device->getCurrentBufferSizeSamples());
    return xml;
}

void AudioProcessorHolder::detachFromDevice()
{
    Lock lock(m_managerMutex);
    if (m_listening) {
        m_manager.removeChangeListener(this);
        m_listening = false;
    }
    if (m_attached) {
        m_attached = false;
        m_manager.removeAudioCallback(this);
    }
}

void AudioProcessorHolder::setBlockObserver(std::function<void(int)> observer)
{
    m_blockObserver = std::move(observer);
}

void AudioProcessorHolder::audioDeviceIOCallback(const float* const*, int, float* const* outputs,
                                                 int numOutputs, int numSamples) noexcept
{
    if (numSamples <= 0)
        return;
    // The clock first: its ticks and the MIDI flush belong to this block.
    if (m_transport != nullptr)
        m_transport->advanceBlock(numSamples);
    if (m_blockObserver)
        m_blockObserver(numSamples);
    m_tone.render(outputs, numOutputs, numSamples);
}

void AudioProcessorHolder::audioDeviceIOCallbackWithContext(
    const float* const* inputs, int numInputs, float* const* outputs, int numOutputs,
    int numSamples, const juce::AudioIODeviceCallbackContext&)
{
    audioDeviceIOCallback(inputs, numInputs, outputs, numOutputs, numSamples);
}

void AudioProcessorHolder::audioDeviceAboutToStart(juce::AudioIODevice* device)
{
    if (device == nullptr)
        return;
    const int bufferSize = device->getCurrentBufferSizeSamples();
    const int sampleRate = static_cast<int>(device->getCurrentSampleRate());
    m_format.setAudioBufferSize(bufferSize);
    m_format.setAudioSampleRate(sampleRate);
    m_tone.setSampleRate(static_cast<float>(sampleRate));
    Q_EMIT audioDeviceChanged();
}

void AudioProcessorHolder::audioDeviceStopped()
{
    m_tone.setPlaying(false);
    Q_EMIT audioDeviceChanged();
}
