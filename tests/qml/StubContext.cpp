// SPDX-License-Identifier: GPL-3.0-or-later
#include "StubContext.h"

#include <QQmlComponent>
#include <QQmlContext>
#include <QUrl>
#include <QtGlobal>
#include <QtQml>

namespace qmltest {

bool installStubContext(QQmlEngine* engine)
{
    // The native items of the window, as QML stand-ins over the stub engine.
    static const bool nativeTypes = [] {
        qmlRegisterType(QUrl(QStringLiteral("qrc:/stubs/StubVMultiSlider.qml")), "VT.VMultiSlider",
                        1, 0, "VMultiSlider");
        qmlRegisterType(QUrl(QStringLiteral("qrc:/stubs/StubOrvik.qml")), "VT.Orvik", 1, 0,
                        "Orvik");
        qmlRegisterType(QUrl(QStringLiteral("qrc:/stubs/StubDataMonitor.qml")), "VT.DataMonitor", 1,
                        0, "DataMonitor");
        return true;
    }();
    Q_UNUSED(nativeTypes)
    struct Stub
    {
        const char* property;
        const char* document;
    };
    // The state manager first: the other stubs call into it.
    static const Stub stubs[] = {
        {"stateManager", "StubStateManager.qml"},
        {"actionHandler", "StubActionHandler.qml"},
        {"fileManager", "StubFileManager.qml"},
        {"midiHandler", "StubMidiHandler.qml"},
        {"transport", "StubTransport.qml"},
        {"virtualKeyboard", "StubVirtualKeyboard.qml"},
        {"motionControlEngine", "StubMotionControlEngine.qml"},
        {"midiMonitor", "StubMidiMonitor.qml"},
    };
    bool ok = true;
    for (const Stub& stub : stubs) {
        QQmlComponent component(engine,
                                QUrl(QStringLiteral("qrc:/stubs/") + QLatin1String(stub.document)));
        QObject* object = component.create(engine->rootContext());
        if (object == nullptr) {
            qWarning("stub %s: %s", stub.document, qPrintable(component.errorString()));
            ok = false;
            continue;
        }
        object->setParent(engine);
        engine->rootContext()->setContextProperty(QLatin1String(stub.property), object);
    }
    return ok;
}

} // namespace qmltest
