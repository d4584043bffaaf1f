// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SceneGraphChoice.h"

#include "app/MultisampleChoice.h"

SceneGraphChoice::Decision SceneGraphChoice::decide(const QString& renderer,
                                                    const QByteArray& overrideValue,
                                                    const QByteArray& qtBackend)
{
    Decision d;
    if (!qtBackend.trimmed().isEmpty()) {
        d.software = qtBackend.trimmed() == "software";
        return d;
    }
    const QByteArray forced = overrideValue.trimmed().toLower();
    if (forced == "software" || forced == "opengl") {
        d.software = forced == "software";
        d.reason = QStringLiteral("scene graph drawn by %1: %2=%3")
                       .arg(d.software ? QStringLiteral("the software renderer")
                                       : QStringLiteral("OpenGL"),
                            QLatin1String(kOverrideVariable), QString::fromLatin1(forced));
        return d;
    }
    if (!forced.isEmpty())
        d.ignoredOverride =
            QStringLiteral("%1=%2 ignored: opengl or software")
                .arg(QLatin1String(kOverrideVariable), QString::fromLocal8Bit(overrideValue));
    if (MultisampleChoice::isSoftwareRenderer(renderer)) {
        d.software = true;
        d.reason = QStringLiteral("scene graph drawn by the software renderer: OpenGL renders "
                                  "on the CPU (%1); %2=opengl keeps OpenGL")
                       .arg(renderer, QLatin1String(kOverrideVariable));
    }
    return d;
}

SceneGraphChoice::Decision
SceneGraphChoice::forThisMachine(const std::function<QString()>& probeRenderer)
{
    const QByteArray overrideValue = qgetenv(kOverrideVariable);
    const QByteArray qtBackend = qgetenv("QT_QUICK_BACKEND");
    const QByteArray forced = overrideValue.trimmed().toLower();
    const bool decided =
        !qtBackend.trimmed().isEmpty() || forced == "software" || forced == "opengl";
    return decide(decided || !probeRenderer ? QString() : probeRenderer(), overrideValue,
                  qtBackend);
}
