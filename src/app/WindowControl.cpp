// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WindowControl.h"

#include <QCursor>
#include <QGuiApplication>
#include <QWindow>

WindowControl::WindowControl(QGuiApplication* app) : m_app(app) {}

QGuiApplication* WindowControl::guiApp() const
{
    if (m_app != nullptr)
        return m_app;
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance());
}

void WindowControl::setWindow(QWindow* window)
{
    m_window = window;
}

QWindow* WindowControl::window() const
{
    if (m_window)
        return m_window;
    if (guiApp() == nullptr)
        return nullptr;
    const QWindowList windows = QGuiApplication::topLevelWindows();
    return windows.isEmpty() ? nullptr : windows.first();
}

void WindowControl::show()
{
    QWindow* w = window();
    if (w == nullptr)
        return;
    if (!w->isActive())
        w->show();
    w->raise();
    w->requestActivate();
}

void WindowControl::hide()
{
    if (QWindow* w = window())
        w->hide();
}

void WindowControl::putOnTop(bool onTop)
{
    if (QWindow* w = window())
        w->setFlag(Qt::WindowStaysOnTopHint, onTop);
}

void WindowControl::hideCursor()
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

void WindowControl::restoreCursor()
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
