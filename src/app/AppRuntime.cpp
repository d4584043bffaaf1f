// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppRuntime.h"

#include "app/ActionHandler.h"
#include "app/AudioDriverChanger.h"
#include "app/EngineItemPeers.h"
#include "app/LinkHealthMonitor.h"
#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "link/SerialHandler.h"
#include "link/ThreadController.h"
#include "midi/Arpeggiator.h"
#include "midi/JackMidiPort.h"
#include "midi/JuceMidiBackend.h"
#include "midi/MidiHandler.h"
#include "midi/TimerClockDriver.h"
#include "midi/Transport.h"
#include "midi/VirtualKeyboard.h"
#include "osc/OSCHandler.h"
#include "storage/FileManager.h"
#include "storage/StoragePaths.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QQmlContext>
#include <QSocketNotifier>
#include <QTimer>

Q_LOGGING_CATEGORY(lcRuntime, "kinetra.app")

AppRuntime::AppRuntime(QCoreApplication* app, Options options)
    : m_app(app), m_options(std::move(options)),
      m_libraryShutdown(&ActionHandler::shutDownAudioLibrary)
{
}

AppRuntime::~AppRuntime()
{
    // A run that ends without quitting still stops the link thread and the
    // audio callback before anything they use goes. The holders then go in
    // reverse creation order.
    stopThreads();
}

SerialHandler* AppRuntime::serialHandler() const
{
    return m_serialHandler.data();
}

void AppRuntime::setLibraryShutdown(std::function<void()> shutdown)
{
    m_libraryShutdown = std::move(shutdown);
}

void AppRuntime::createSharedObjects()
{
    m_stateManager = std::make_unique<StateManager>(
        [this](int position) { return m_engine ? m_engine->getDeviceAt(position) : nullptr; });
    StateManager& state = *m_stateManager;

    // The audio library probes for a JACK server at start; without one,
    // libjack would print its errors.
    JackMidiPort::silenceLibraryMessages();

    std::shared_ptr<MidiBackend> backend = m_options.midiBackend;
    if (!backend)
        backend = std::make_shared<JuceMidiBackend>();
    // Its one consumer is whoever drives the transport (startAudio).
    m_midiHandler = std::make_unique<MidiHandler>(backend, &state);

    m_oscHandler = m_options.oscPort > 0
                       ? std::make_unique<OSCHandler>(QString::fromLatin1(OSCHandler::kDefaultHost),
                                                      m_options.oscPort)
                       : std::make_unique<OSCHandler>();

    m_engine =
        std::make_unique<MotionControlEngine>(state, m_midiHandler.get(), m_oscHandler.get());
    QObject::connect(m_engine.get(), &MotionControlEngine::sourceSlotCleared, &state,
                     [&state] { state.setFocusedSource(-1); });
    // The OSC tick sleeps while the link is down or mapping mode is on; the
    // state wakes it (from the link thread for the connection).
    QObject::connect(
        &state, &StateManager::connectionStateChanged, m_engine.get(),
        [engine = m_engine.get()] { engine->wakeOscTick(); }, Qt::DirectConnection);
    QObject::connect(
        &state, &StateManager::mappingModeStateChanged, m_engine.get(),
        [engine = m_engine.get()] { engine->wakeOscTick(); }, Qt::DirectConnection);
    // The data tile draws the focused band while connected; the animation
    // tick may be asleep when either changes (the link changes the
    // connection from its own thread).
    QObject::connect(&state, &StateManager::connectionStateChanged, m_engine.get(),
                     &MotionControlEngine::wakeAnimation, Qt::DirectConnection);
    QObject::connect(&state, &StateManager::deviceFocusChanged, m_engine.get(),
                     &MotionControlEngine::wakeAnimation, Qt::DirectConnection);
    m_engine->startOscTick();

    auto link = std::make_unique<SerialHandler>(*m_engine, state);
    if (m_options.portSearch) {
        link->setPortSearch(m_options.portSearch);
    } else if (!m_options.port.isEmpty()) {
        const QString port = m_options.port;
        // Searched when the port's folder changes (a pseudo-terminal's is
        // /dev/pts), not on every pilot tick.
        link->setPortSearch([port] { return QFile::exists(port) ? port : QString(); },
                            {QFileInfo(port).absolutePath()});
    }
    if (m_options.rawTap)
        link->setRawTap(m_options.rawTap);
    // A frame's MIDI is due on the audio clock's "now" of its read.
    MidiHandler* midi = m_midiHandler.get();
    link->setArrivalClock([midi] { return midi->nowSamples(); });
    m_serialHandler = link.get();
    // The controller moves the handler to the link thread and owns it.
    m_threadController = std::make_unique<ThreadController>(link.release());
    // The bands ask the link for blinks and hand changes; the controller
    // queues them to the link thread.
    QObject::connect(m_engine.get(), &MotionControlEngine::bandBlinkRequested,
                     m_threadController.get(), &ThreadController::sendBlink);
    QObject::connect(m_engine.get(), &MotionControlEngine::bandHandChangeRequested,
                     m_threadController.get(), &ThreadController::sendHandChange);

    const StoragePaths paths = m_options.documentsRoot.isEmpty()
                                   ? StoragePaths::standard()
                                   : StoragePaths(m_options.documentsRoot);
    m_fileManager = std::make_unique<FileManager>(paths, *m_engine, m_midiHandler.get(), state);
    QObject::connect(m_fileManager.get(), &FileManager::patchChanged, m_engine.get(),
                     &MotionControlEngine::refreshCs);

    m_virtualKeyboard = std::make_unique<VirtualKeyboard>(m_midiHandler.get(), state);

    m_actionHandler = std::make_unique<ActionHandler>(state, *m_fileManager, *m_engine,
                                                      qobject_cast<QGuiApplication*>(m_app));
    SerialHandler* handler = m_serialHandler.data();
    QObject::connect(m_actionHandler.get(), &ActionHandler::shouldConnect, handler,
                     &SerialHandler::connectToTessel, Qt::UniqueConnection);
    QObject::connect(m_actionHandler.get(), &ActionHandler::shouldDisconnect, handler,
                     &SerialHandler::disconnectToTessel, Qt::UniqueConnection);
    QObject::connect(m_midiHandler.get(), &MidiHandler::tempoEstimated, m_actionHandler.get(),
                     &ActionHandler::setTempo);

    m_linkHealth = std::make_unique<LinkHealthMonitor>(*m_engine);
    m_linkHealth->setCounters(handler->linkCounters());
    m_linkHealth->start();

    m_itemPeers = std::make_unique<EngineItemPeers>(*m_engine, state);
    m_itemPeers->setLinkHealth(m_linkHealth.get());
}

void AppRuntime::loadPersistentState()
{
    m_fileManager->loadDeviceRegistry();
    m_fileManager->loadSettings();
    m_fileManager->restorePatchAtStartup();
}

void AppRuntime::exposeTo(QQmlContext* context)
{
    context->setContextProperty(QStringLiteral("actionHandler"), m_actionHandler.get());
    context->setContextProperty(QStringLiteral("stateManager"), m_stateManager.get());
    context->setContextProperty(QStringLiteral("motionControlEngine"), m_engine.get());
    context->setContextProperty(QStringLiteral("fileManager"), m_fileManager.get());
    context->setContextProperty(QStringLiteral("midiHandler"), m_midiHandler.get());
    context->setContextProperty(QStringLiteral("virtualKeyboard"), m_virtualKeyboard.get());
    ItemPeers::attach(context->engine(), m_itemPeers.get());
}

void AppRuntime::connectSignals()
{
    if (m_app)
        QObject::connect(m_app, &QCoreApplication::aboutToQuit, m_app, [this] { shutdown(); });
    if (SerialHandler* link = m_serialHandler.data()) {
        QObject::connect(link, &SerialHandler::shouldEnterMappingMode, m_actionHandler.get(),
                         &ActionHandler::enterMappingMode);
        QObject::connect(link, &SerialHandler::shouldQuitMappingMode, m_actionHandler.get(),
                         &ActionHandler::quitMappingMode);
    }
}

void AppRuntime::startAudio()
{
    StateManager& state = *m_stateManager;
    m_transport = std::make_shared<Transport>(state, m_midiHandler.get());
    // Clock following: start and stop come from the MIDI input thread; the
    // transport's start and stop are atomic.
    QObject::connect(m_midiHandler.get(), &MidiHandler::clockStartReceived, m_transport.get(),
                     &Transport::startPlay, Qt::DirectConnection);
    QObject::connect(m_midiHandler.get(), &MidiHandler::clockStopReceived, m_transport.get(),
                     &Transport::stopPlay, Qt::DirectConnection);

    m_audioHost = std::make_shared<AudioProcessorHolder>(m_fileManager->getAudioSetupPath(), state,
                                                         m_transport);
    m_actionHandler->attachAudioHost(m_audioHost);
    QObject::connect(m_actionHandler.get(), &ActionHandler::audioDeviceChanged, m_transport.get(),
                     &Transport::reset, Qt::UniqueConnection);
    if (m_options.configureAudio)
        m_options.configureAudio(*m_audioHost);
    m_audioHost->initialise();
    // Device changes may be announced on a driver change's thread; the
    // port follows on the GUI thread.
    QObject::connect(
        m_actionHandler.get(), &ActionHandler::audioDeviceChanged, m_midiHandler.get(),
        [this] { updateMidiPath(); }, Qt::QueuedConnection);
    updateMidiPath();

    m_arpeggiator = std::make_unique<Arpeggiator>(*m_transport, *m_virtualKeyboard, state);

    // Without a running audio device, play, the clock, the arpeggiator and
    // the wheels' MIDI go on from a timer thread of their own.
    m_timerClock = std::make_unique<TimerClockDriver>(*m_transport, state);
    m_timerClock->start();
}

void AppRuntime::updateMidiPath()
{
    if (!m_audioHost || !m_midiHandler || m_shutDown)
        return;
    const bool onJack = m_audioHost->getCurrentDeviceType() == QLatin1String("JACK") &&
                        !m_audioHost->getCurrentDevice().isEmpty();
    if (onJack && !m_jackMidi) {
        auto port = std::make_unique<JackMidiPort>();
        QString reason;
        if (!port->open(reason)) {
            qCWarning(lcRuntime) << "no JACK MIDI port:" << reason;
            return;
        }
        m_jackMidi = std::move(port);
        const auto drain = [this] {
            m_jackMidi->drainInput([this](const uint8_t* bytes, int size) {
                m_midiHandler->handleIncomingMidiMessage(nullptr, juce::MidiMessage(bytes, size));
            });
        };
        // The port's process thread wakes this thread when input came; only
        // without an eventfd is the input drained on a 2 ms timer.
        if (m_jackMidi->inputReadyFd() >= 0) {
            m_jackInputNotifier = std::make_unique<QSocketNotifier>(m_jackMidi->inputReadyFd(),
                                                                    QSocketNotifier::Read);
            QObject::connect(m_jackInputNotifier.get(), &QSocketNotifier::activated,
                             m_midiHandler.get(), drain);
        } else {
            m_jackInputTimer = std::make_unique<QTimer>();
            m_jackInputTimer->setInterval(2);
            QObject::connect(m_jackInputTimer.get(), &QTimer::timeout, m_midiHandler.get(), drain);
            m_jackInputTimer->start();
        }
    }
    if (onJack && m_jackMidi) {
        // The audio device's client is open by now (its ports come with
        // it); after a device change this connects the new one.
        QString reason;
        const bool ordered = m_jackMidi->orderAfter(
            QString::fromLatin1(AudioProcessorHolder::kJackClientName), reason);
        if (!ordered)
            qCDebug(lcRuntime) << "JACK MIDI port not ordered after the audio:" << reason
                               << "- messages leave two periods after they are due";
        m_midiHandler->setTimedSink(
            m_jackMidi.get(),
            QStringLiteral("JACK MIDI port \"%1\", each message on its own sample, %2 after "
                           "it is due (the ALSA sequencer port gets them too, once per block)")
                .arg(m_jackMidi->outputPortName(),
                     ordered ? QStringLiteral("one period") : QStringLiteral("two periods")));
    } else if (!onJack && m_jackMidi) {
        m_jackInputNotifier.reset();
        m_jackInputTimer.reset();
        m_midiHandler->setTimedSink(nullptr);
        m_jackMidi.reset();
    }
}

void AppRuntime::exposeTransportTo(QQmlContext* context)
{
    context->setContextProperty(QStringLiteral("transport"), m_transport.get());
}

bool AppRuntime::stopThreads()
{
    if (m_threadsStopped)
        return m_audioFree;
    m_threadsStopped = true;
    if (m_linkHealth)
        m_linkHealth->stop();
    // The OSC tick first, so that "/close" is the last thing sent and the
    // tick never outlives the OSC sender or the sources it reads.
    if (m_engine)
        m_engine->stopOscTick();
    // 1. The link: nothing is dispatched to the engine from here on.
    if (m_threadController)
        m_threadController->stop();
    // 2. The audio callback, after a driver change still running.
    if (m_actionHandler) {
        AudioDriverChanger& changer = m_actionHandler->driverChanger();
        changer.setStopped();
        m_audioFree = changer.waitForDriverChanges(m_quitDriverWaitMs);
        if (!m_audioFree)
            qCWarning(lcRuntime)
                << "a driver change is still running; the audio host is left to it";
    }
    if (m_audioHost && m_audioFree)
        m_audioHost->saveDeviceState();
    if (m_timerClock)
        m_timerClock->stop();
    if (m_transport)
        m_transport->stopTicking();
    if (m_audioHost && m_audioFree)
        m_audioHost->detachFromDevice();
    // Nothing drives the transport any more: a step that sounds ends now.
    if (m_transport)
        m_transport->endSounding();
    return m_audioFree;
}

void AppRuntime::releaseOutputs(bool audioFree)
{
    // Whoever holds one of these is detached before it goes.
    if (m_engine) {
        m_engine->setControlOutput(nullptr);
        m_engine->setControlPublisher(nullptr);
    }
    if (m_fileManager)
        m_fileManager->setMidiHandler(nullptr);
    if (m_virtualKeyboard)
        m_virtualKeyboard->setMidiHandler(nullptr);
    if (m_transport)
        m_transport->setMidiHandler(nullptr);
    if (m_actionHandler)
        m_actionHandler->detachAudioHost();
    m_jackInputNotifier.reset();
    m_jackInputTimer.reset();
    if (m_midiHandler)
        m_midiHandler->setTimedSink(nullptr);
    m_jackMidi.reset();
    m_arpeggiator.reset();
    m_midiHandler.reset();
    m_oscHandler.reset();
    // A driver change still running keeps its own reference to the host.
    m_audioHost.reset();
    if (audioFree && m_libraryShutdown)
        m_libraryShutdown();
    else if (!audioFree)
        qCWarning(lcRuntime) << "the audio library is left running for the driver change";
}

void AppRuntime::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    // 1 and 2.
    const bool audioFree = stopThreads();
    // 3. Registry, settings, then the patch or a backup; then one "/close".
    if (m_fileManager) {
        m_fileManager->saveDeviceRegistry();
        m_fileManager->saveSettings();
        m_fileManager->saveCurrentPatchOrBackup();
    }
    if (m_oscHandler)
        m_oscHandler->sendClose();
    // 4.
    releaseOutputs(audioFree);
}
