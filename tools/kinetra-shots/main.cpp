// SPDX-License-Identifier: GPL-3.0-or-later
// kinetra-shots OUTPUT_DIR
//
// Loads qrc:/main.qml with QML stand-ins for the back-end context objects
// and writes PNG screenshots of the window in its main states. Needs an X
// server (scripts/screenshots.sh runs it under Xvfb).
#include "StubContext.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QPalette>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTextStream>
#include <QVariant>

namespace {

// The look the application sets at start-up, so the screenshots show the
// real colours and type.
void applyLook(QApplication& app)
{
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    QFont font(QStringLiteral("Verdana"));
    font.setPointSize(11);
    font.setPixelSize(11);
    QApplication::setFont(font);

    QPalette p;
    p.setColor(QPalette::Window, QColor(53, 53, 53));
    p.setColor(QPalette::WindowText, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(127, 127, 127));
    p.setColor(QPalette::Base, QColor(42, 42, 42));
    p.setColor(QPalette::AlternateBase, QColor(66, 66, 66));
    p.setColor(QPalette::ToolTipBase, QColor(53, 53, 53));
    p.setColor(QPalette::ToolTipText, Qt::white);
    p.setColor(QPalette::Text, QColor(240, 240, 240));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(127, 127, 127));
    p.setColor(QPalette::Dark, QColor(35, 35, 35));
    p.setColor(QPalette::Shadow, QColor(20, 20, 20));
    p.setColor(QPalette::Button, QColor(80, 71, 90));
    p.setColor(QPalette::ButtonText, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(127, 127, 127));
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Link, QColor(42, 130, 218));
    p.setColor(QPalette::Highlight, QColor(QStringLiteral("#ff8c00")));
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(80, 80, 80));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, QColor(127, 127, 127));
    app.setPalette(p);
}

void settle(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

QObject* contextObject(QQmlApplicationEngine& engine, const char* name)
{
    return engine.rootContext()->contextProperty(QLatin1String(name)).value<QObject*>();
}

bool call(QObject* target, const char* method, const QVariant& arg = QVariant())
{
    if (target == nullptr)
        return false;
    if (arg.isValid())
        return QMetaObject::invokeMethod(target, method, Q_ARG(QVariant, arg));
    return QMetaObject::invokeMethod(target, method);
}

bool save(QQuickWindow* window, const QDir& dir, const QString& name, QTextStream& out)
{
    if (window == nullptr) {
        out << "missing window for " << name << "\n";
        return false;
    }
    const QImage image = window->grabWindow();
    const QString path = dir.absoluteFilePath(name);
    if (image.isNull() || !image.save(path)) {
        out << "could not write " << path << "\n";
        return false;
    }
    out << path << " (" << image.width() << "x" << image.height() << ")\n";
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    applyLook(app);
    QTextStream out(stdout);
    QTextStream err(stderr);

    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        err << "usage: kinetra-shots OUTPUT_DIR\n";
        return 2;
    }
    QDir dir(args.at(1));
    if (!dir.mkpath(QStringLiteral("."))) {
        err << "cannot create " << args.at(1) << "\n";
        return 2;
    }

    QQmlApplicationEngine engine;
    if (!qmltest::installStubContext(&engine))
        return 1;
    engine.load(QUrl(QStringLiteral("qrc:/main.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;
    auto* mainWindow = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    if (mainWindow == nullptr)
        return 1;
    mainWindow->setPosition(40, 40);
    settle(1200);

    bool ok = save(mainWindow, dir, QStringLiteral("main-window.png"), out);

    QObject* state = contextObject(engine, "stateManager");
    call(state, "setPresetBayState", true);
    settle(600);
    ok = save(mainWindow, dir, QStringLiteral("preset-bay.png"), out) && ok;

    // The save dialog of the preset bay, as a right click and "Save current
    // patch here" open it.
    QObject* rename = mainWindow->findChild<QObject*>(QStringLiteral("renamePopup"));
    if (rename != nullptr) {
        rename->setProperty("slot", 2);
        rename->setProperty("presetTitle", QString());
        call(rename, "open");
        settle(500);
        ok = save(mainWindow, dir, QStringLiteral("preset-rename.png"), out) && ok;
        call(rename, "close");
        settle(300);
    }
    call(state, "setPresetBayState", false);
    settle(400);

    // The Presets menu of the in-window menu bar (desktops without a native
    // menu bar).
    const struct
    {
        const char* menu;
        const char* file;
    } menus[] = {
        {"inWindowFileMenu", "menu-file.png"},      {"inWindowControlMenu", "menu-control.png"},
        {"inWindowPresetMenu", "menu-presets.png"}, {"inWindowWindowMenu", "menu-window.png"},
        {"inWindowHelpMenu", "menu-help.png"},
    };
    // A checked entry shows in the Window menu.
    if (state != nullptr)
        state->setProperty("isWindowOnTop", true);
    for (const auto& entry : menus) {
        QObject* menu = mainWindow->findChild<QObject*>(QLatin1String(entry.menu));
        if (menu == nullptr) {
            out << "missing menu " << entry.menu << "\n";
            ok = false;
            continue;
        }
        if (menu->metaObject()->indexOfMethod("refresh()") >= 0)
            call(menu, "refresh");
        menu->setProperty("y", 24);
        call(menu, "open");
        settle(500);
        ok = save(mainWindow, dir, QLatin1String(entry.file), out) && ok;
        call(menu, "close");
        settle(300);
    }
    if (state != nullptr)
        state->setProperty("isWindowOnTop", false);

    auto* settings = mainWindow->findChild<QQuickWindow*>(QStringLiteral("settingsWindow"));
    if (settings != nullptr) {
        settings->setPosition(720, 40);
        settings->show();
        settle(800);
    }
    ok = save(settings, dir, QStringLiteral("preferences.png"), out) && ok;
    if (settings != nullptr)
        settings->hide();

    auto* about = mainWindow->findChild<QQuickWindow*>(QStringLiteral("aboutWindow"));
    if (about != nullptr) {
        about->setPosition(160, 200);
        about->show();
        settle(800);
    }
    ok = save(about, dir, QStringLiteral("about.png"), out) && ok;
    if (about != nullptr)
        about->hide();

    // The warning shown when the virtual MIDI port could not be opened.
    QObject* midi = contextObject(engine, "midiHandler");
    if (midi != nullptr)
        midi->setProperty("isVirtualPortOpen", false);
    settle(800);
    ok = save(mainWindow, dir, QStringLiteral("main-window-port-warning.png"), out) && ok;

    out.flush();
    return ok ? 0 : 1;
}
