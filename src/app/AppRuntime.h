// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class ActionHandler;
class Arpeggiator;
class AudioProcessorHolder;
class EngineItemPeers;
class FileManager;
class JackMidiPort;
class QSocketNotifier;
class QTimer;
class LinkHealthMonitor;
class MidiBackend;
class MidiHandler;
class MotionControlEngine;
class OSCHandler;
class QCoreApplication;
class QQmlContext;
class SerialHandler;
class StateManager;
class ThreadController;
class TimerClockDriver;
class Transport;
class VirtualKeyboard;

// The one owner of the back end: creates every shared object, hands each the
// peers it uses through its constructor, exposes them to QML and shuts them
// down in a safe order. Holders are declared in creation order, so that the
// ones left at exit are destroyed in reverse: nothing outlives a peer it
// refers to.
//
// Quitting (shutdown(), run once from aboutToQuit):
//   1. the receiver pilot and the link thread stop, and the thread is joined:
//      no frame reaches the engine, the sources or the MIDI handler after
//      this;
//   2. the audio set-up is stored, the clock's timer thread is joined, the
//      clock stops and the audio callback is
//      detached (after a driver change still running, for at most
//      kQuitDriverWaitMs; one that does not end leaves the audio host to
//      itself and keeps it alive);
//   3. the device registry, the settings and the patch (or a backup) are
//      written, then the single OSC "/close" is sent;
//   4. only then are the arpeggiator, the MIDI handler, the OSC sender and
//      the audio host released (each peer that used one is detached first),
//      and the audio library is shut down.
//
// Threads: GUI thread.
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
        // The UDP port OSC goes to on this machine; 0 for the standard one.
        int oscPort = 0;
        // Called with the audio host before it opens a device (tests add
        // stand-in device types here).
        std::function<void(AudioProcessorHolder&)> configureAudio;
    };

    // How long quitting waits for a driver change still in progress.
    static constexpr int kQuitDriverWaitMs = 10000;

    // `app` is the window's application object, or a core one without a
    // window (the window actions then do nothing).
    AppRuntime(QCoreApplication* app, Options options);
    ~AppRuntime();
    AppRuntime(const AppRuntime&) = delete;
    AppRuntime& operator=(const AppRuntime&) = delete;

    // Creates the shared objects, each with its peers.
    void createSharedObjects();
    // Device registry, settings, then the patch restore.
    void loadPersistentState();
    // The six context properties of the back end, and the items' peers on
    // the context's engine.
    void exposeTo(QQmlContext* context);
    // aboutToQuit and the receiver's mapping-mode requests.
    void connectSignals();
    // The transport, the audio host, then the arpeggiator.
    void startAudio();
    // The "transport" context property.
    void exposeTransportTo(QQmlContext* context);

    // The quit sequence above; later calls do nothing.
    void shutdown();
    bool hasShutDown() const { return m_shutDown; }
    // The audio library's shut-down, the last step of quitting (start-up
    // passes one that also stops the message pump; tests record it).
    void setLibraryShutdown(std::function<void()> shutdown);
    void setQuitDriverWaitMs(int ms) { m_quitDriverWaitMs = ms; }

    ActionHandler* actionHandler() const { return m_actionHandler.get(); }
    StateManager* stateManager() const { return m_stateManager.get(); }
    SerialHandler* serialHandler() const;
    ThreadController* threadController() const { return m_threadController.get(); }
    FileManager* fileManager() const { return m_fileManager.get(); }
    MotionControlEngine* engine() const { return m_engine.get(); }
    MidiHandler* midiHandler() const { return m_midiHandler.get(); }
    AudioProcessorHolder* audioHost() const { return m_audioHost.get(); }
    // The JACK MIDI port while the audio runs on JACK, else none (GUI thread).
    JackMidiPort* jackMidiPort() const { return m_jackMidi.get(); }
    OSCHandler* oscHandler() const { return m_oscHandler.get(); }
    Transport* transport() const { return m_transport.get(); }
    VirtualKeyboard* virtualKeyboard() const { return m_virtualKeyboard.get(); }
    Arpeggiator* arpeggiator() const { return m_arpeggiator.get(); }
    LinkHealthMonitor* linkHealth() const { return m_linkHealth.get(); }

private:
    // Steps 1 and 2 of quitting; also what the destructor does when
    // quitting never ran. Returns whether the audio host is free (no driver
    // change holds it).
    bool stopThreads();
    void releaseOutputs(bool audioFree);
    // While the audio device is a JACK one, "KinetraMIDIPort" is also a JACK
    // MIDI port, written sample by sample.
    void updateMidiPath();

    QCoreApplication* m_app;
    Options m_options;
    bool m_shutDown = false;
    bool m_threadsStopped = false;
    bool m_audioFree = true;
    int m_quitDriverWaitMs = kQuitDriverWaitMs;
    std::function<void()> m_libraryShutdown;

    // Holders, in creation order.
    std::unique_ptr<StateManager> m_stateManager;
    std::unique_ptr<MidiHandler> m_midiHandler;
    std::unique_ptr<OSCHandler> m_oscHandler;
    std::unique_ptr<MotionControlEngine> m_engine;
    // The link thread's controller owns the serial handler; this only
    // watches it.
    QPointer<SerialHandler> m_serialHandler;
    std::unique_ptr<ThreadController> m_threadController;
    std::unique_ptr<FileManager> m_fileManager;
    std::unique_ptr<VirtualKeyboard> m_virtualKeyboard;
    std::unique_ptr<ActionHandler> m_actionHandler;
    // Reads the link's counters; outlives neither the engine nor the
    // counters (it shares them).
    std::unique_ptr<LinkHealthMonitor> m_linkHealth;
    std::unique_ptr<EngineItemPeers> m_itemPeers;
    // Shared with the audio host, which ticks it from the audio callback.
    std::shared_ptr<Transport> m_transport;
    // Drives the transport while no audio device does; stopped (joined)
    // before the transport stops ticking.
    std::unique_ptr<TimerClockDriver> m_timerClock;
    // While the audio runs on JACK; the MIDI handler's flush writes into it.
    std::unique_ptr<JackMidiPort> m_jackMidi;
    // Passes what came in on the JACK MIDI input to the MIDI handler.
    std::unique_ptr<QSocketNotifier> m_jackInputNotifier;
    std::unique_ptr<QTimer> m_jackInputTimer;
    // Shared with a driver change in progress, which keeps it alive.
    std::shared_ptr<AudioProcessorHolder> m_audioHost;
    std::unique_ptr<Arpeggiator> m_arpeggiator;
};
