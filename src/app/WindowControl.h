// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QPointer>

class QGuiApplication;
class QWindow;

// The window and cursor actions of the user interface: showing, hiding and
// raising the main window, keeping it on top, and blanking the cursor while
// a knob is dragged.
//
// The window is the one given to setWindow, else the first of the
// application's top-level windows; without a window the window actions do
// nothing, without a GUI application the cursor actions do nothing.
//
// GUI thread only.
class WindowControl
{
public:
    // `app` may be null: the running GUI application, if any, is used then.
    explicit WindowControl(QGuiApplication* app = nullptr);

    void setWindow(QWindow* window);
    QWindow* window() const;

    // Shows the window unless it is active already, raises it and asks for
    // the focus.
    void show();
    void hide();
    // Sets or clears the window's stay-on-top hint.
    void putOnTop(bool onTop);

    // Records the cursor position (unless one is recorded already) and
    // blanks the cursor.
    void hideCursor();
    // Forgets the recorded position, takes back the blank cursor and puts
    // the cursor back where it was recorded.
    void restoreCursor();
    // The position recorded by hideCursor; (-1, -1) when none.
    QPoint hiddenCursorPosition() const { return m_hiddenCursorPos; }

private:
    QGuiApplication* guiApp() const;

    QGuiApplication* m_app = nullptr;
    QPointer<QWindow> m_window;
    QPoint m_hiddenCursorPos{-1, -1};
    // Whether the blank override cursor on the stack is ours.
    bool m_cursorOverridden = false;
};
