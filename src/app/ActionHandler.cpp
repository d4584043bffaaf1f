// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ActionHandler.h"

#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "storage/FileManager.h"

#include <juce_events/juce_events.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcActions, "kinetra.app")

ActionHandler::ActionHandler(StateManager& state, FileManager& files, MotionControlEngine& engine,
                             QGuiApplication* app, QObject* parent)
    : QObject(parent), m_state(state), m_files(files), m_engine(engine), m_app(app),
      m_windowControl(app), m_makerSite(QString::fromLatin1(kDefaultMakerSite))
{
    m_monotonic.start();
    m_clock = [this] { return m_monotonic.elapsed(); };
    m_urlOpener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    m_quitRequest = [] { QCoreApplication::quit(); };
    QObject::connect(&m_driverChanger, &AudioDriverChanger::timedOut, this,
                     &ActionHandler::fireDriverChangeTimeout);
}

ActionHandler::~ActionHandler()
{
    detachAudioHost();
}

// --- set-up and seams ------------------------------------------------------

void ActionHandler::setClock(MillisecondClock clock)
{
    if (clock)
        m_clock = std::move(clock);
}

void ActionHandler::setMakerSite(const QUrl& site)
{
    m_makerSite = site;
}

void ActionHandler::setUrlOpener(std::function<bool(const QUrl&)> opener)
{
    if (opener)
        m_urlOpener = std::move(opener);
}

void ActionHandler::setQuitRequest(std::function<void()> request)
{
    if (request)
        m_quitRequest = std::move(request);
}

void ActionHandler::attachAudioHost(std::shared_ptr<AudioProcessorHolder> host)
{
    detachAudioHost();
    if (!host)
        return;
    m_audioHost = std::move(host);
    // The host signals from the audio thread too; this object lives on the
    // GUI thread, so the relay arrives there.
    m_audioHostRelay =
        QObject::connect(m_audioHost.get(), &AudioProcessorHolder::audioDeviceChanged, this,
                         &ActionHandler::audioDeviceChanged);
    // Emitted on the change's thread; the host's count is read here, so the
    // last of several queued announcements leaves the true state.
    m_driverChangeRelay = QObject::connect(
        m_audioHost.get(), &AudioProcessorHolder::driverChangeRunningChanged, this,
        [this] { setChangingDriver(m_audioHost && m_audioHost->isChangingDriver()); });
    setChangingDriver(m_audioHost->isChangingDriver());
}

void ActionHandler::detachAudioHost()
{
    QObject::disconnect(m_audioHostRelay);
    QObject::disconnect(m_driverChangeRelay);
    m_audioHost.reset();
    setChangingDriver(false);
}

void ActionHandler::setChangingDriver(bool changing)
{
    if (m_changingDriver == changing)
        return;
    m_changingDriver = changing;
    Q_EMIT isChangingAudioDriverChanged(changing);
}

void ActionHandler::shutDownAudioLibrary()
{
    if (juce::MessageManager* manager = juce::MessageManager::getInstanceWithoutCreating())
        manager->stopDispatchLoop();
    juce::DeletedAtShutdown::deleteAll();
    juce::MessageManager::deleteInstance();
}

QString ActionHandler::getAppVersion() const
{
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral(KINETRA_VERSION) : version;
}

// --- patches ---------------------------------------------------------------

void ActionHandler::newPatch()
{
    // A new patch is no file's yet: no preset slot is current any more, and
    // neither Save nor quitting writes it over the patch shown before.
    m_files.setCurrentPatchPath(QString());
    m_files.loadDefaultPatch();
    showWindow();
}

void ActionHandler::openPatch()
{
    Q_EMIT shouldOpenFileDialog(false);
    showWindow();
}

void ActionHandler::savePatch()
{
    const QString path = m_files.getCurrentPatchPath();
    if (path.isEmpty()) {
        Q_EMIT shouldOpenFileDialog(true);
        showWindow();
        return;
    }
    m_files.saveCurrentPatchToPath(path, false);
}

void ActionHandler::savePatchAs()
{
    Q_EMIT shouldOpenFileDialog(true);
    showWindow();
}

void ActionHandler::openPreferenceWindow()
{
    // The user interface opens the preferences window itself.
}

// --- receiver link -----------------------------------------------------------

void ActionHandler::toggleConnection(bool arg)
{
    if (arg)
        Q_EMIT shouldConnect();
    else
        Q_EMIT shouldDisconnect();
}

void ActionHandler::connect()
{
    Q_EMIT shouldConnect();
}

void ActionHandler::disconnect()
{
    Q_EMIT shouldDisconnect();
}

// --- modes and the window ----------------------------------------------------

void ActionHandler::showWindow()
{
    m_windowControl.show();
}

void ActionHandler::enterMappingMode()
{
    m_windowControl.putOnTop(true);
    m_state.setMappingModeState(true);
    showWindow();
}

void ActionHandler::quitMappingMode()
{
    if (!m_state.getMappingModeState())
        return;
    if (!m_state.getFloatingWindowState())
        m_windowControl.putOnTop(false);
    m_state.setMappingModeState(false);
    showWindow();
}

void ActionHandler::toggleMappingMode(bool arg)
{
    if (arg)
        enterMappingMode();
    else
        quitMappingMode();
}

void ActionHandler::enterLiveMode()
{
    toggleLiveMode(true);
}

void ActionHandler::quitLiveMode()
{
    toggleLiveMode(false);
}

void ActionHandler::toggleLiveMode(bool arg)
{
    m_state.setLiveModeState(arg);
    showWindow();
}

void ActionHandler::enterFloatingWindowMode()
{
    toggleFloatingWindowMode(true);
}

void ActionHandler::quitFloatingWindowMode()
{
    toggleFloatingWindowMode(false);
}

void ActionHandler::toggleFloatingWindowMode(bool arg)
{
    m_windowControl.putOnTop(arg);
    m_state.setFloatingWindowState(arg);
}

void ActionHandler::toogleWindowVisibility(bool arg)
{
    if (arg)
        showWindow();
    else
        m_windowControl.hide();
}

void ActionHandler::closeWindow()
{
    m_windowControl.hide();
}

void ActionHandler::openPage(const QString& path)
{
    QUrl url = m_makerSite;
    url.setPath(path);
    if (!m_urlOpener(url))
        qCWarning(lcActions) << "cannot open" << url.toString();
}

void ActionHandler::openTutorials()
{
    openPage(QStringLiteral("/tutorials/"));
}

void ActionHandler::openContactForm()
{
    openPage(QStringLiteral("/contact"));
}

// --- tempo ---------------------------------------------------------------------

void ActionHandler::tapTempo()
{
    if (const std::optional<int> tempo = m_tapTempo.tap(m_clock()))
        setTempo(*tempo);
}

void ActionHandler::setTempo(int newTempo)
{
    if (newTempo < 1)
        return;
    m_state.setTempo(newTempo);
}

// --- accessibility, preset bay, high-resolution MIDI ---------------------------

void ActionHandler::enterAccessibilityMode()
{
    toggleAccessibility(true);
}

void ActionHandler::quitAccessibilityMode()
{
    toggleAccessibility(false);
}

void ActionHandler::toggleAccessibility(bool arg)
{
    m_state.setAccessibilityState(arg);
}

void ActionHandler::showPresetBay()
{
    m_state.setPresetBayState(true);
}

void ActionHandler::hidePresetBay()
{
    m_state.setPresetBayState(false);
}

void ActionHandler::enterHiResMidiMode()
{
    m_state.setHiResMidiState(true);
}

void ActionHandler::quitHiResMidiMode()
{
    m_state.setHiResMidiState(false);
}

void ActionHandler::exitEditing()
{
    Q_EMIT m_state.shouldExitEditing();
}

// --- quitting ------------------------------------------------------------------

void ActionHandler::quitApp()
{
    m_quitRequest();
}

// --- cursor ----------------------------------------------------------------------

void ActionHandler::hideCursor()
{
    m_windowControl.hideCursor();
}

void ActionHandler::restoreCursorAt()
{
    m_windowControl.restoreCursor();
}

// --- sensors -------------------------------------------------------------------

void ActionHandler::sendBlinkOnDeviceAt(int i)
{
    if (const std::shared_ptr<Orvik> device = m_engine.deviceRefAt(i))
        device->sendBlink();
}

// --- audio -----------------------------------------------------------------------

QStringList ActionHandler::getAudioDeviceTypes() const
{
    if (m_audioHost)
        return m_audioHost->getAudioDeviceTypes();
    return {QStringLiteral("No audio driver found")};
}

QStringList ActionHandler::getAllAudioDevices() const
{
    if (m_audioHost)
        return m_audioHost->getAllAudioDevices();
    return {QStringLiteral("No audio device available")};
}

QString ActionHandler::getCurrentDeviceType() const
{
    if (m_audioHost)
        return m_audioHost->getCurrentDeviceType();
    return QString();
}

QString ActionHandler::getCurrentDevice() const
{
    if (m_audioHost)
        return m_audioHost->getCurrentDevice();
    return QString();
}

QList<int> ActionHandler::getAvailableAudioBufferSize() const
{
    if (m_audioHost)
        return m_audioHost->getAvailableAudioBufferSize();
    return {};
}

void ActionHandler::setAudioDeviceType(QString type)
{
    // Busy from the request on: the change's thread may start a little later.
    const bool started = m_driverChanger.change(m_audioHost, type);
    setChangingDriver(started || (m_audioHost && m_audioHost->isChangingDriver()));
}

void ActionHandler::setAudioDevice(QString name)
{
    if (m_audioHost)
        m_audioHost->setAudioDevice(name);
}

void ActionHandler::setAudioBufferSize(int newSize)
{
    if (m_audioHost)
        m_audioHost->setAudioBufferSize(newSize);
}

void ActionHandler::stopTimeoutTimer()
{
    m_driverChanger.stopTimeoutTimer();
}

void ActionHandler::fireDriverChangeTimeout()
{
    Q_EMIT driverChangeTimeout();
}

void ActionHandler::setZAuditoryFreq(float val)
{
    if (m_audioHost)
        m_audioHost->setFrequency(val);
}

void ActionHandler::setZAuditoryAmp(float val)
{
    if (m_audioHost)
        m_audioHost->setAmplitude(val);
}

void ActionHandler::setZAuditoryPan(float val)
{
    if (m_audioHost)
        m_audioHost->setPan(val);
}

void ActionHandler::setZAuditoryLfoRate(float val)
{
    if (m_audioHost)
        m_audioHost->setLfoRate(val);
}

void ActionHandler::setZAuditoryIsPlaying(bool val)
{
    if (m_audioHost)
        m_audioHost->setPlaying(val);
}
