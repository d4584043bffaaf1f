#pragma once

#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class ActionHandler;
class Arpeggiator;
class AudioProcessorHolder;
class FileManager;
class MidiBackend;
class MidiHandler;
class MotionControlEngine;
class OSCHandler;
class QGuiApplication;
class QQmlContext;
class SerialHandler;
class StateManager;
class ThreadController;
class Transport;
class VirtualKeyboard;
class StoragePaths;

// The shared back-end objects of one run, each in its own owning holder, and
// the start-up steps that create, load, expose and connect them. Holders are
// declared in definition order and so destroyed in reverse order; quitting
// empties four of them early (MIDI, arpeggiator, OSC, audio). Every object is
// registered in AppContext while it lives.
class AppRuntime
{
public:
    struct Options
    {
        // A serial device to use instead of searching for the receiver.
        QString port;
        // A search to use instead of the receiver's (the demo receiver's);
        // takes precedence over `port`.
        std::function<QString()> portSearch;
        // Where the documents live; empty for the user's documents folder.
        QString documentsRoot;
        // The MIDI backend; empty for the system's.
        std::shared_ptr<MidiBackend> midiBackend;
        // Called with every chunk the receiver sends (recording); runs on the
        // link thread.
        std::function<void(const QByteArray&)> rawTap;
    };

    AppRuntime(QGuiApplication* app, Options options);
    ~AppRuntime();
    AppRuntime(const AppRuntime&) = delete;
    AppRuntime& operator=(const AppRuntime&) = delete;

    // Creates the shared objects in their order.
    void createSharedObjects();
    // Device registry, settings, then the patch restore.
    void loadPersistentState();
    // The six context properties of the back end.
    void exposeTo(QQmlContext* context);
    // aboutToQuit and the receiver's mapping-mode requests.
    void connectSignals();
    // The audio host, then the transport and the arpeggiator.
    void startAudio();
    // The "transport" context property.
    void exposeTransportTo(QQmlContext* context);

    ActionHandler* actionHandler() const { return m_actionHandler.get(); }
    StateManager* stateManager() const { return m_stateManager.get(); }
    SerialHandler* serialHandler() const;
    FileManager* fileManager() const { return m_fileManager.get(); }
    MotionControlEngine* engine() const { return m_engine.get(); }
    MidiHandler* midiHandler() const { return m_midiHandler.get(); }
    AudioProcessorHolder* audioHost() const { return m_audioHost.get(); }
    OSCHandler* oscHandler() const { return m_oscHandler.get(); }
    Transport* transport() const { return m_transport.get(); }
    VirtualKeyboard* virtualKeyboard() const { return m_virtualKeyboard.get(); }
    Arpeggiator* arpeggiator() const { return m_arpeggiator.get(); }

private:
    QGuiApplication* m_app;
    Options m_options;

    // Holders, in definition order.
    std::unique_ptr<ActionHandler> m_actionHandler;
    // The link thread's controller destroys the serial handler; this holder
    // only watches it once the controller owns it.
    std::unique_ptr<SerialHandler> m_serialHandlerOwned;
    QPointer<SerialHandler> m_serialHandler;
    std::unique_ptr<StateManager> m_stateManager;
    std::unique_ptr<MotionControlEngine> m_engine;
    std::unique_ptr<MidiHandler> m_midiHandler;
    std::unique_ptr<FileManager> m_fileManager;
    std::unique_ptr<AudioProcessorHolder> m_audioHost;
    std::unique_ptr<OSCHandler> m_oscHandler;
    std::unique_ptr<ThreadController> m_threadController;
    std::unique_ptr<Transport> m_transport;
    std::unique_ptr<VirtualKeyboard> m_virtualKeyboard;
    std::unique_ptr<Arpeggiator> m_arpeggiator;
};
