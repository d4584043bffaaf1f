// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the Qt Quick tests (tst_*.qml in this folder) against the window
// documents compiled in from src/qml, with QML stand-ins for the back-end
// context objects.
#include "StubContext.h"

#include <QApplication>
#include <QKeyEvent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QtQuickTest>

namespace {

// Sends key events the test helpers cannot produce, such as the desktop's
// auto-repeated presses of a held key.
class KeySender : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    Q_INVOKABLE void send(QObject* window, int key, bool press, bool autoRepeat,
                          const QString& text)
    {
        auto* target = qobject_cast<QWindow*>(window);
        if (target == nullptr)
            return;
        QKeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, key, Qt::NoModifier, text,
                        autoRepeat);
        QCoreApplication::sendEvent(target, &event);
    }
};

class Setup : public QObject
{
    Q_OBJECT
public Q_SLOTS:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        qmltest::installStubContext(engine);
        engine->rootContext()->setContextProperty(QStringLiteral("keySender"),
                                                  new KeySender(engine));
    }
};

} // namespace

int main(int argc, char** argv)
{
    // The platform menus, file dialog and tray icon fall back to Qt Widgets,
    // which needs a QApplication, as in the application itself.
    QApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    Setup setup;
    return quick_test_main_with_setup(argc, argv, "kinetra_qml", QUICK_TEST_SOURCE_DIR, &setup);
}

#include "QmlTestMain.moc"
