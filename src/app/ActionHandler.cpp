#include "app/ActionHandler.h"

#include "app/AppContext.h"
#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "midi/Transport.h"
#include "osc/OSCHandler.h"
#include "storage/FileManager.h"

#include <juce_events/juce_events.h>

#include <QCursor>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QThreadPool>
#include <QWindow>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>

Q_LOGGING_CATEGORY(lcActions, "kinetra.app")

// Counts the driver changes submitted to the thread pool and not finished,
// so that quitting can wait for them. Shared with the jobs themselves, so it
// outlives this object if a job does.
class ActionHandler::DriverJobs
{
public:
    void begin()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_pending;
    }
    void end()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            --m_pending;
        }
        m_idle.notify_all();
    }
    int pending() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_pending;
    }
    bool waitIdle(int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [this] { return m_pending == 0; });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_pending = 0;
};

ActionHandler::ActionHandler(QGuiApplication* app, QObject* parent)
    : QObject(parent), m_app(app), m_makerSite(QString::fromLatin1(kDefaultMakerSite)),
      m_driverJobs(std::make_shared<DriverJobs>())
{
    m_monotonic.start();
    m_clock = [this] { return m_monotonic.elapsed(); };
    m_urlOpener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    m_libraryShutdown = &ActionHandler::shutDownAudioLibrary;
    m_applicationQuit = [] { QCoreApplication::quit(); };

    m_driverChangeTimer.setSingleShot(true);
    m_driverChangeTimer.setTimerType(Qt::PreciseTimer);
    m_driverChangeTimer.setInterval(kDriverChangeTimeoutMs);
    QObject::connect(&m_driverChangeTimer, &QTimer::timeout, this,
                     &ActionHandler::fireDriverChangeTimeout);
}

ActionHandler::~ActionHandler() = default;

// --- set-up and seams ------------------------------------------------------

void ActionHandler::setClock(MillisecondClock clock)
{
    if (clock)
        m_clock = std::move(clock);
}

void ActionHandler::setWindow(QWindow* window)
{
    m_window = window;
}

QGuiApplication* ActionHandler::guiApp() const
{
    if (m_app != nullptr)
        return m_app;
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance());
}

QWindow* ActionHandler::window() const
{
    if (m_window)
        return m_window;
    if (guiApp() == nullptr)
        return nullptr;
    const QWindowList windows = QGuiApplication::topLevelWindows();
    return windows.isEmpty() ? nullptr : windows.first();
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

void ActionHandler::setReleaser(SharedObject which, std::function<void()> release)
{
    m_releasers[static_cast<size_t>(which)] = std::move(release);
}

void ActionHandler::setLibraryShutdown(std::function<void()> shutdown)
{
    m_libraryShutdown = std::move(shutdown);
}

void ActionHandler::setApplicationQuit(std::function<void()> quit)
{
    m_applicationQuit = std::move(quit);
}

void ActionHandler::setDriverChangeTimeoutMs(int ms)
{
    m_driverChangeTimer.setInterval(ms);
}

void ActionHandler::attachAudioHost(AudioProcessorHolder* host)
{
    if (host == nullptr)
        return;
    // The host signals from the audio thread too; this object lives on the
    // GUI thread, so the relay arrives there.
    QObject::connect(host, &AudioProcessorHolder::audioDeviceChanged, this,
                     &ActionHandler::audioDeviceChanged, Qt::UniqueConnection);
}

int ActionHandler::pendingDriverChanges() const
{
    return m_driverJobs->pending();
}

bool ActionHandler::waitForDriverChanges(int timeoutMs)
{
    return m_driverJobs->waitIdle(timeoutMs);
}

int ActionHandler::tempoFromIntervals(const std::array<int, 3>& intervalsMs)
{
    const double sum = double(intervalsMs[0]) + double(intervalsMs[1]) + double(intervalsMs[2]);
    if (!(sum > 0.0))
        return 0;
    return static_cast<int>(std::lround(60.0 / (sum / 3.0) * 1000.0));
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
    if (FileManager* files = AppContext::fileManager())
        files->loadDefaultPatch();
    showWindow();
}

void ActionHandler::openPatch()
{
    Q_EMIT shouldOpenFileDialog(false);
    showWindow();
}

void ActionHandler::savePatch()
{
    FileManager* files = AppContext::fileManager();
    if (files == nullptr || files->getCurrentPatchPath().isEmpty()) {
        Q_EMIT shouldOpenFileDialog(true);
        showWindow();
        return;
    }
    files->saveCurrentPatchToPath(files->getCurrentPatchPath(), false);
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

void ActionHandler::putWindowOnTop(bool onTop)
{
    if (QWindow* w = window())
        w->setFlag(Qt::WindowStaysOnTopHint, onTop);
}

void ActionHandler::hideWindow()
{
    if (QWindow* w = window())
        w->hide();
}

void ActionHandler::showWindow()
{
    QWindow* w = window();
    if (w == nullptr)
        return;
    if (!w->isActive())
        w->show();
    w->raise();
    w->requestActivate();
}

void ActionHandler::enterMappingMode()
{
    putWindowOnTop(true);
    if (StateManager* state = AppContext::stateManager())
        state->setMappingModeState(true);
    showWindow();
}

void ActionHandler::quitMappingMode()
{
    StateManager* state = AppContext::stateManager();
    if (state == nullptr || !state->getMappingModeState())
        return;
    if (!state->getFloatingWindowState())
        putWindowOnTop(false);
    state->setMappingModeState(false);
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
    if (StateManager* state = AppContext::stateManager())
        state->setLiveModeState(arg);
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
    putWindowOnTop(arg);
    if (StateManager* state = AppContext::stateManager())
        state->setFloatingWindowState(arg);
}

void ActionHandler::toogleWindowVisibility(bool arg)
{
    if (arg)
        showWindow();
    else
        hideWindow();
}

void ActionHandler::closeWindow()
{
    hideWindow();
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
    const qint64 now = m_clock();
    const qint64 elapsed = m_lastTapMs ? now - *m_lastTapMs : kTapSequenceLimitMs;
    m_lastTapMs = now;

    if (elapsed < 1 || elapsed >= kTapSequenceLimitMs) {
        m_tapCount = 0; // this tap starts a new sequence
        return;
    }
    m_tapIntervals[static_cast<size_t>(m_tapCount % 3)] = static_cast<int>(elapsed);
    ++m_tapCount;
    if (m_tapCount >= 3)
        setTempo(tempoFromIntervals(m_tapIntervals));
}

void ActionHandler::setTempo(int newTempo)
{
    if (newTempo < 1)
        return;
    if (StateManager* state = AppContext::stateManager())
        state->setTempo(newTempo);
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
    if (StateManager* state = AppContext::stateManager())
        state->setAccessibilityState(arg);
}

void ActionHandler::showPresetBay()
{
    if (StateManager* state = AppContext::stateManager())
        state->setPresetBayState(true);
}

void ActionHandler::hidePresetBay()
{
    if (StateManager* state = AppContext::stateManager())
        state->setPresetBayState(false);
}

void ActionHandler::enterHiResMidiMode()
{
    if (StateManager* state = AppContext::stateManager())
        state->setHiResMidiState(true);
}

void ActionHandler::quitHiResMidiMode()
{
    if (StateManager* state = AppContext::stateManager())
        state->setHiResMidiState(false);
}

void ActionHandler::exitEditing()
{
    if (StateManager* state = AppContext::stateManager())
        Q_EMIT state->shouldExitEditing();
}

// --- cursor ----------------------------------------------------------------------

void ActionHandler::hideCursor()
{
    if (guiApp() == nullptr)
        return;
    if (m_hiddenCursorPos.x() < 0)
        m_hiddenCursorPos = QCursor::pos();
    const QCursor* current = QGuiApplication::overrideCursor();
    if (current == nullptr || current->shape() != Qt::BlankCursor) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
        m_cursorOverridden = true;
    }
}

void ActionHandler::restoreCursorAt()
{
    const QPoint recorded = m_hiddenCursorPos;
    m_hiddenCursorPos = QPoint(-1, -1);
    if (guiApp() == nullptr)
        return;
    // Only the override pushed by hideCursor is taken back, never one that
    // belongs to someone else.
    if (m_cursorOverridden) {
        m_cursorOverridden = false;
        QGuiApplication::restoreOverrideCursor();
    }
    if (recorded.x() >= 0)
        QCursor::setPos(recorded);
}

// --- sensors -------------------------------------------------------------------

void ActionHandler::sendBlinkOnDeviceAt(int i)
{
    MotionControlEngine* engine = AppContext::engine();
    if (engine == nullptr)
        return;
    if (const std::shared_ptr<Orvik> device = engine->deviceRefAt(i))
        device->sendBlink();
}

// --- audio -----------------------------------------------------------------------

QStringList ActionHandler::getAudioDeviceTypes() const
{
    if (AudioProcessorHolder* audio = AppContext::audioHolder())
        return audio->getAudioDeviceTypes();
    return {QStringLiteral("No audio driver found")};
}

QStringList ActionHandler::getAllAudioDevices() const
{
    if (AudioProcessorHolder* audio = AppContext::audioHolder())
        return audio->getAllAudioDevices();
    return {QStringLiteral("No audio device available")};
}

QString ActionHandler::getCurrentDeviceType() const
{
    if (AudioProcessorHolder* audio = AppContext::audioHolder())
        return audio->getCurrentDeviceType();
    return QString();
}

QString ActionHandler::getCurrentDevice() const
{
    if (AudioProcessorHolder* audio = AppContext::audioHolder())
        return audio->getCurrentDevice();
    return QString();
}

QList<int> ActionHandler::getAvailableAudioBufferSize() const
{
    if (AudioProcessorHolder* audio = AppContext::audioHolder())
        return audio->getAvailableAudioBufferSize();
    return {};
}

void ActionHandler::setAudioDeviceType(QString type)
{
    m_driverChangeTimer.stop();
    if (m_hasQuit)
        return;
    if (AudioProcessorHolder* audio = AppContext::audioHolder()) {
        // Quitting waits for this job before the host goes away.
        std::shared_ptr<DriverJobs> jobs = m_driverJobs;
        jobs->begin();
        QThreadPool::globalInstance()->start([audio, type, jobs] {
            audio->setAudioDeviceType(type);
            jobs->end();
        });
    }
    m_driverChangeTimer.start();
}

void ActionHandler::setAudioDevice(QString name)
{
    if (AudioProcessorHolder* audio = AppContext::audioHolder())
        audio->setAudioDevice(name);
}

void ActionHandler::setAudioBufferSize(int newSize)
{
    if (AudioProcessorHolder* audio = AppContext::audioHolder())
        audio->setAudioBufferSize(newSize);
}

void ActionHandler::stopTimeoutTimer()
{
    m_driverChangeTimer.stop();
}

void ActionHandler::fireDriverChangeTimeout()
{
    Q_EMIT driverChangeTimeout();
}

void ActionHandler::setZAuditoryFreq(float val)
{
    if (AudioProcessorHolder* audio = AppContext::audioHolder())
        audio->setFrequency(val);
}

void ActionHandler::setZAuditoryAmp(float val)
{
    if (AudioProcessorHolder* audio = AppContext::audioHolder())
        audio->setAmplitude(val);
}

void ActionHandler::setZAuditoryPan(float val)
{
    if (AudioProcessorHolder* audio = AppContext::audioHolder())
        audio->setPan(val);
}

void ActionHandler::setZAuditoryLfoRate(float val)
{
    if (AudioProcessorHolder* audio = AppContext::audioHolder())
        audio->setLfoRate(val);
}

void ActionHandler::setZAuditoryIsPlaying(bool val)
{
    if (AudioProcessorHolder* audio = AppContext::audioHolder())
        audio->setPlaying(val);
}

// --- quitting --------------------------------------------------------------------

void ActionHandler::release(SharedObject which)
{
    switch (which) {
    case SharedObject::MidiHandler:
        AppContext::setMidiHandler(nullptr);
        break;
    case SharedObject::Arpeggiator:
        AppContext::setArpeggiator(nullptr);
        break;
    case SharedObject::OscHandler:
        AppContext::setOscHandler(nullptr);
        break;
    case SharedObject::AudioHost:
        AppContext::setAudioHolder(nullptr);
        break;
    }
    if (const std::function<void()>& releaser = m_releasers[static_cast<size_t>(which)])
        releaser();
}

void ActionHandler::quitApp()
{
    // Runs once, whether the user interface or aboutToQuit calls it first:
    // every file is written exactly once.
    if (m_hasQuit) {
        if (m_applicationQuit)
            m_applicationQuit();
        return;
    }
    m_hasQuit = true;
    m_driverChangeTimer.stop();

    // A driver change still running works on the audio host; the host is
    // stopped and destroyed only after it. One that never ends leaves the
    // host alone (saved state, device and object are then left as they are).
    const bool audioFree = m_driverJobs->waitIdle(kQuitDriverWaitMs);
    if (!audioFree)
        qCWarning(lcActions) << "a driver change is still running; the audio host is left alone";
    AudioProcessorHolder* audio = audioFree ? AppContext::audioHolder() : nullptr;

    // 1. The audio set-up.
    if (audio != nullptr)
        audio->saveDeviceState();
    // 2. The receiver link.
    Q_EMIT shouldDisconnect();
    // 3. The clock.
    if (Transport* transport = AppContext::transport())
        transport->stopTicking();
    // 4. The audio device.
    if (audio != nullptr)
        audio->detachFromDevice();
    // 5. Registry, settings, then the patch or a backup.
    if (FileManager* files = AppContext::fileManager()) {
        files->saveDeviceRegistry();
        files->saveSettings();
        files->saveCurrentPatchOrBackup();
    }
    // 6. The OSC closing message.
    if (OSCHandler* osc = AppContext::oscHandler())
        osc->sendClose();
    // 7. MIDI ports, arpeggiator, OSC sender, audio host.
    release(SharedObject::MidiHandler);
    release(SharedObject::Arpeggiator);
    release(SharedObject::OscHandler);
    if (audioFree)
        release(SharedObject::AudioHost);
    // 8. The audio library.
    if (m_libraryShutdown)
        m_libraryShutdown();
    // 9. Leave the event loop.
    if (m_applicationQuit)
        m_applicationQuit();
}
