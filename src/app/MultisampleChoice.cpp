// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MultisampleChoice.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSurfaceFormat>

Q_LOGGING_CATEGORY(lcMultisample, "kinetra.app")

namespace {

const char* const kSoftwareRenderers[] = {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"};

} // namespace

std::optional<int> MultisampleChoice::parseOverride(const QByteArray& value)
{
    bool ok = false;
    const int samples = value.trimmed().toInt(&ok, 10);
    if (!ok || samples < 0 || samples > kMaxSamples)
        return std::nullopt;
    return samples;
}

bool MultisampleChoice::isSoftwareRenderer(const QString& renderer)
{
    for (const char* name : kSoftwareRenderers)
        if (renderer.contains(QLatin1String(name), Qt::CaseInsensitive))
            return true;
    return false;
}

MultisampleChoice::Decision MultisampleChoice::decide(int requested, const QString& renderer,
                                                      const QByteArray& overrideValue)
{
    Decision d;
    d.samples = requested;
    if (!overrideValue.trimmed().isEmpty()) {
        if (const std::optional<int> forced = parseOverride(overrideValue)) {
            d.samples = *forced;
            if (d.samples != requested)
                d.reason = QStringLiteral("%1 samples of multisampling instead of %2: %3=%4")
                               .arg(d.samples)
                               .arg(requested)
                               .arg(QLatin1String(kOverrideVariable))
                               .arg(d.samples);
            return d;
        }
        d.ignoredOverride =
            QStringLiteral("%1=%2 ignored: not a sample count from 0 to %3")
                .arg(QLatin1String(kOverrideVariable), QString::fromLocal8Bit(overrideValue),
                     QString::number(kMaxSamples));
    }
    if (requested > 0 && isSoftwareRenderer(renderer)) {
        d.samples = 0;
        d.reason = QStringLiteral("no multisampling instead of %1 samples: OpenGL renders in "
                                  "software (%2); %3=%1 turns it on")
                       .arg(requested)
                       .arg(renderer, QLatin1String(kOverrideVariable));
    }
    return d;
}

QString MultisampleChoice::probeRenderer()
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
        return {};
    // A plain format: the probe itself should cost nothing it need not.
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setSamples(0);
    QOpenGLContext context;
    context.setFormat(format);
    if (!context.create())
        return {};
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface))
        return {};
    const GLubyte* name = context.functions()->glGetString(GL_RENDERER);
    const QString renderer =
        name != nullptr ? QString::fromLatin1(reinterpret_cast<const char*>(name)) : QString();
    context.doneCurrent();
    return renderer;
}

int MultisampleChoice::samplesFor(int requested)
{
    const QByteArray overrideValue = qgetenv(kOverrideVariable);
    const QString renderer = parseOverride(overrideValue) ? QString() : probeRenderer();
    const Decision d = decide(requested, renderer, overrideValue);
    if (!d.ignoredOverride.isEmpty())
        qCWarning(lcMultisample).noquote() << d.ignoredOverride;
    if (!d.reason.isEmpty())
        qCInfo(lcMultisample).noquote() << d.reason;
    return d.samples;
}
