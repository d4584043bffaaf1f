// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QQmlEngine>
#include <QString>

namespace qmltest {

// Creates one stub object per back-end context property ("actionHandler",
// "stateManager", ...) from the QML stand-ins under qrc:/stubs and sets them
// on the engine's root context, so the window documents load without the
// back end. Returns false (after logging the errors) when a stub fails.
bool installStubContext(QQmlEngine* engine);

} // namespace qmltest
