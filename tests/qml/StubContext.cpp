#include "StubContext.h"

#include <QQmlComponent>
#include <QQmlContext>
#include <QUrl>
#include <QtGlobal>

namespace qmltest {

bool installStubContext(QQmlEngine* engine)
{
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
