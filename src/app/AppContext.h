#pragma once

#include <atomic>

class ActionHandler;
class StateManager;
class SerialHandler;
class FileManager;
class MotionControlEngine;
class MidiHandler;
class OSCHandler;
class ThreadController;
class Transport;
class VirtualKeyboard;
class Arpeggiator;
class AudioProcessorHolder;

// The process-wide shared objects, as plain non-owning references. Start-up
// owns the objects and registers them here; each object reaches its peers
// through these accessors and copes with a peer that is not registered
// (tests build only the objects they need). Registration happens on the GUI
// thread before any other thread starts; reads are atomic so that the link,
// audio and MIDI threads may read them at any time.
class AppContext
{
public:
    static ActionHandler* actionHandler() { return s_actionHandler.load(); }
    static StateManager* stateManager() { return s_stateManager.load(); }
    static SerialHandler* serialHandler() { return s_serialHandler.load(); }
    static FileManager* fileManager() { return s_fileManager.load(); }
    static MotionControlEngine* engine() { return s_engine.load(); }
    static MidiHandler* midiHandler() { return s_midiHandler.load(); }
    static OSCHandler* oscHandler() { return s_oscHandler.load(); }
    static ThreadController* threadController() { return s_threadController.load(); }
    static Transport* transport() { return s_transport.load(); }
    static VirtualKeyboard* virtualKeyboard() { return s_virtualKeyboard.load(); }
    static Arpeggiator* arpeggiator() { return s_arpeggiator.load(); }
    static AudioProcessorHolder* audioHolder() { return s_audioHolder.load(); }

    static void setActionHandler(ActionHandler* p) { s_actionHandler.store(p); }
    static void setStateManager(StateManager* p) { s_stateManager.store(p); }
    static void setSerialHandler(SerialHandler* p) { s_serialHandler.store(p); }
    static void setFileManager(FileManager* p) { s_fileManager.store(p); }
    static void setEngine(MotionControlEngine* p) { s_engine.store(p); }
    static void setMidiHandler(MidiHandler* p) { s_midiHandler.store(p); }
    static void setOscHandler(OSCHandler* p) { s_oscHandler.store(p); }
    static void setThreadController(ThreadController* p) { s_threadController.store(p); }
    static void setTransport(Transport* p) { s_transport.store(p); }
    static void setVirtualKeyboard(VirtualKeyboard* p) { s_virtualKeyboard.store(p); }
    static void setArpeggiator(Arpeggiator* p) { s_arpeggiator.store(p); }
    static void setAudioHolder(AudioProcessorHolder* p) { s_audioHolder.store(p); }

    // Forgets every registration (tests call it between cases).
    static void clear();

private:
    static std::atomic<ActionHandler*> s_actionHandler;
    static std::atomic<StateManager*> s_stateManager;
    static std::atomic<SerialHandler*> s_serialHandler;
    static std::atomic<FileManager*> s_fileManager;
    static std::atomic<MotionControlEngine*> s_engine;
    static std::atomic<MidiHandler*> s_midiHandler;
    static std::atomic<OSCHandler*> s_oscHandler;
    static std::atomic<ThreadController*> s_threadController;
    static std::atomic<Transport*> s_transport;
    static std::atomic<VirtualKeyboard*> s_virtualKeyboard;
    static std::atomic<Arpeggiator*> s_arpeggiator;
    static std::atomic<AudioProcessorHolder*> s_audioHolder;
};
