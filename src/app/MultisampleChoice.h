// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// How many samples of multisampling the windows ask OpenGL for. Software
// renderers (Mesa's llvmpipe on machines without a GPU, in virtual machines,
// remote desktops and under Xvfb) pay for every sample on the CPU, several
// times the cost of a frame without it, so they get none; the items that need
// smooth edges antialias their own vertices. KINETRA_GL_SAMPLES overrides the
// choice either way.
class MultisampleChoice
{
public:
    static constexpr const char* kOverrideVariable = "KINETRA_GL_SAMPLES";
    static constexpr int kMaxSamples = 16;

    struct Decision
    {
        int samples = 0;
        // Why samples differs from the request; empty when it does not.
        QString reason;
        // Set when the override was given but is not a count from 0 to
        // kMaxSamples, and so was ignored.
        QString ignoredOverride;
    };

    // The count in the override variable's value; nothing when the value is
    // empty or not a whole number from 0 to kMaxSamples.
    static std::optional<int> parseOverride(const QByteArray& value);
    // Whether an OpenGL renderer string (GL_RENDERER) names a rasteriser that
    // runs on the CPU.
    static bool isSoftwareRenderer(const QString& renderer);
    // The choice for `requested` samples, given the renderer string (empty
    // when unknown: the request stands) and the override variable's value
    // (null or empty when unset), which wins over both.
    static Decision decide(int requested, const QString& renderer, const QByteArray& overrideValue);

    // The GL_RENDERER string of a context made and destroyed for the
    // purpose; empty when no OpenGL context can be made. Needs the
    // QGuiApplication and must run before the first window is shown.
    static QString probeRenderer();
    // decide() for this machine: reads the override, probes the renderer
    // only when there is no valid override, and logs what was chosen when it
    // is not `requested`.
    static int samplesFor(int requested);
};
