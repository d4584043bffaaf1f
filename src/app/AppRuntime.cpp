#include "app/AppRuntime.h"

#include "app/ActionHandler.h"
#include "app/AppContext.h"
#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "engine/MotionControlEngine.h"
#include "link/SerialHandler.h"
#include "link/ThreadController.h"
#include "midi/Arpeggiator.h"
#include "midi/JuceMidiBackend.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"
#include "midi/VirtualKeyboard.h"
#include "osc/OSCHandler.h"
#include "storage/FileManager.h"
#include "storage/StoragePaths.h"

#include <QFile>
#include <QGuiApplication>
#include <QQmlContext>

AppRuntime::AppRuntime(QGuiApplication* app, Options options)
    : m_app(app), m_options(std::move(options))
{
}

AppRuntime::~AppRuntime()
{
    // The audio callback drives the transport and the arpeggiator, which go
    // before the audio host: it stops first (quitting does this already;
    // a run that ends without quitting must not leave it running).
    if (m_audioHost)
        m_audioHost->detachFromDevice();
    // Reverse definition order. Each object leaves AppContext before it goes
    // so that nothing reaches a destroyed peer.
    AppContext::setArpeggiator(nullptr);
    m_arpeggiator.reset();
    AppContext::setVirtualKeyboard(nullptr);
    m_virtualKeyboard.reset();
    AppContext::setTransport(nullptr);
    m_transport.reset();
    AppContext::setThreadController(nullptr);
    m_threadController.reset(); // stops the pilot, ends the link thread, deletes the handler
    AppContext::setOscHandler(nullptr);
    m_oscHandler.reset();
    AppContext::setAudioHolder(nullptr);
    m_audioHost.reset();
    AppContext::setFileManager(nullptr);
    m_fileManager.reset();
    AppContext::setMidiHandler(nullptr);
    m_midiHandler.reset();
    AppContext::setEngine(nullptr);
    m_engine.reset();
    AppContext::setStateManager(nullptr);
    m_stateManager.reset();
    AppContext::setSerialHandler(nullptr);
    m_serialHandlerOwned.reset();
    AppContext::setActionHandler(nullptr);
    m_actionHandler.reset();
}

SerialHandler* AppRuntime::serialHandler() const
{
    return m_serialHandler.data();
}

void AppRuntime::createSharedObjects()
{
    m_actionHandler = std::make_unique<ActionHandler>(m_app);
    AppContext::setActionHandler(m_actionHandler.get());

    m_stateManager = std::make_unique<StateManager>();
    AppContext::setStateManager(m_stateManager.get());

    m_serialHandlerOwned = std::make_unique<SerialHandler>();
    m_serialHandler = m_serialHandlerOwned.get();
    AppContext::setSerialHandler(m_serialHandlerOwned.get());
    if (m_options.portSearch) {
        m_serialHandlerOwned->setPortSearch(m_options.portSearch);
    } else if (!m_options.port.isEmpty()) {
        const QString port = m_options.port;
        m_serialHandlerOwned->setPortSearch(
            [port] { return QFile::exists(port) ? port : QString(); });
    }
    if (m_options.rawTap)
        m_serialHandlerOwned->setRawTap(m_options.rawTap);
    QObject::connect(m_actionHandler.get(), &ActionHandler::shouldConnect,
                     m_serialHandlerOwned.get(), &SerialHandler::connectToTessel,
                     Qt::UniqueConnection);
    QObject::connect(m_actionHandler.get(), &ActionHandler::shouldDisconnect,
                     m_serialHandlerOwned.get(), &SerialHandler::disconnectToTessel,
                     Qt::UniqueConnection);

    m_fileManager = m_options.documentsRoot.isEmpty()
                        ? std::make_unique<FileManager>()
                        : std::make_unique<FileManager>(StoragePaths(m_options.documentsRoot));
    AppContext::setFileManager(m_fileManager.get());

    m_engine = std::make_unique<MotionControlEngine>();
    AppContext::setEngine(m_engine.get());
    QObject::connect(m_fileManager.get(), &FileManager::patchChanged, m_engine.get(),
                     &MotionControlEngine::refreshCs);

    std::shared_ptr<MidiBackend> backend = m_options.midiBackend;
    if (!backend)
        backend = std::make_shared<JuceMidiBackend>();
    m_midiHandler = std::make_unique<MidiHandler>(backend);
    AppContext::setMidiHandler(m_midiHandler.get());
    // Without a running audio device the GUI thread flushes the wheels' MIDI.
    m_midiHandler->setFallbackFlushEnabled(true);
    QObject::connect(m_midiHandler.get(), &MidiHandler::tempoEstimated, m_actionHandler.get(),
                     &ActionHandler::setTempo);

    m_oscHandler = std::make_unique<OSCHandler>();
    AppContext::setOscHandler(m_oscHandler.get());

    // The controller moves the serial handler to the link thread and owns
    // it from here on.
    m_threadController = std::make_unique<ThreadController>(m_serialHandlerOwned.release());
    AppContext::setThreadController(m_threadController.get());

    m_virtualKeyboard = std::make_unique<VirtualKeyboard>();
    AppContext::setVirtualKeyboard(m_virtualKeyboard.get());

    using Shared = ActionHandler::SharedObject;
    m_actionHandler->setReleaser(Shared::MidiHandler, [this] {
        AppContext::setMidiHandler(nullptr);
        m_midiHandler.reset();
    });
    m_actionHandler->setReleaser(Shared::Arpeggiator, [this] {
        AppContext::setArpeggiator(nullptr);
        m_arpeggiator.reset();
    });
    m_actionHandler->setReleaser(Shared::OscHandler, [this] {
        AppContext::setOscHandler(nullptr);
        m_oscHandler.reset();
    });
    m_actionHandler->setReleaser(Shared::AudioHost, [this] {
        AppContext::setAudioHolder(nullptr);
        m_audioHost.reset();
    });
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
}

void AppRuntime::connectSignals()
{
    QObject::connect(m_app, &QCoreApplication::aboutToQuit, m_actionHandler.get(),
                     &ActionHandler::quitApp);
    if (SerialHandler* link = m_serialHandler.data()) {
        QObject::connect(link, &SerialHandler::shouldEnterMappingMode, m_actionHandler.get(),
                         &ActionHandler::enterMappingMode);
        QObject::connect(link, &SerialHandler::shouldQuitMappingMode, m_actionHandler.get(),
                         &ActionHandler::quitMappingMode);
    }
}

void AppRuntime::startAudio()
{
    m_audioHost = std::make_unique<AudioProcessorHolder>(m_fileManager->getAudioSetupPath());
    AppContext::setAudioHolder(m_audioHost.get());
    m_actionHandler->attachAudioHost(m_audioHost.get());
    m_audioHost->initialise();

    m_transport = std::make_unique<Transport>();
    AppContext::setTransport(m_transport.get());
    QObject::connect(m_actionHandler.get(), &ActionHandler::audioDeviceChanged, m_transport.get(),
                     &Transport::reset, Qt::UniqueConnection);
    m_arpeggiator = std::make_unique<Arpeggiator>(m_transport.get(), m_virtualKeyboard.get());
    AppContext::setArpeggiator(m_arpeggiator.get());
}

void AppRuntime::exposeTransportTo(QQmlContext* context)
{
    context->setContextProperty(QStringLiteral("transport"), m_transport.get());
}
