// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QQuickWindow;

// Drawing must never take the processor from the threads that carry a
// movement to MIDI (the receiver link, the audio callback). When OpenGL
// renders on the CPU, a window that redraws at the display rate can keep
// every core busy; its render thread and the rasteriser's worker threads
// then run at a lower priority (a higher nice value), so that they use what
// the control path leaves and still get all of an otherwise idle machine.
// With a GPU the render thread mostly waits for it and keeps its priority.
class RenderPriority
{
public:
    static constexpr int kRenderNice = 10;

    // Whether a thread name is one of the software rasteriser's workers.
    static bool isRasteriserThread(const QString& threadName);
    // Once the window's scene graph is up, on its render thread: when the
    // renderer runs on the CPU, lowers that thread (unless it is the GUI
    // thread) and the rasteriser's workers.
    static void lowerWhenSoftware(QQuickWindow* window);
    // Lowers the calling thread when `includeCaller` is set, and every
    // thread of this process whose name isRasteriserThread, to kRenderNice
    // unless one already runs lower. Returns how many it lowered. Linux
    // only; elsewhere it does nothing.
    static int lowerRenderingThreads(bool includeCaller);
    // The nice value of a thread of this process; 0 when unknown.
    static int niceOf(long threadId);
};
