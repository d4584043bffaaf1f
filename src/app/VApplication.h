// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>

// The application object. A QApplication (and so a QGuiApplication) because
// the window's platform dialogs, menus and tray icon fall back to Qt Widgets
// on desktops without native ones. It filters itself and lets every event
// through.
class VApplication : public QApplication
{
    Q_OBJECT

public:
    VApplication(int& argc, char** argv);
    ~VApplication() override;

    bool eventFilter(QObject* watched, QEvent* event) override;
};
