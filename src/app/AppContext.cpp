#include "app/AppContext.h"

std::atomic<ActionHandler*> AppContext::s_actionHandler{nullptr};
std::atomic<StateManager*> AppContext::s_stateManager{nullptr};
std::atomic<SerialHandler*> AppContext::s_serialHandler{nullptr};
std::atomic<FileManager*> AppContext::s_fileManager{nullptr};
std::atomic<MotionControlEngine*> AppContext::s_engine{nullptr};
std::atomic<MidiHandler*> AppContext::s_midiHandler{nullptr};
std::atomic<OSCHandler*> AppContext::s_oscHandler{nullptr};
std::atomic<ThreadController*> AppContext::s_threadController{nullptr};
std::atomic<Transport*> AppContext::s_transport{nullptr};
std::atomic<VirtualKeyboard*> AppContext::s_virtualKeyboard{nullptr};
std::atomic<Arpeggiator*> AppContext::s_arpeggiator{nullptr};
std::atomic<AudioProcessorHolder*> AppContext::s_audioHolder{nullptr};

void AppContext::clear()
{
    s_actionHandler = nullptr;
    s_stateManager = nullptr;
    s_serialHandler = nullptr;
    s_fileManager = nullptr;
    s_engine = nullptr;
    s_midiHandler = nullptr;
    s_oscHandler = nullptr;
    s_threadController = nullptr;
    s_transport = nullptr;
    s_virtualKeyboard = nullptr;
    s_arpeggiator = nullptr;
    s_audioHolder = nullptr;
}
