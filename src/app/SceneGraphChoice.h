// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Which scene-graph renderer draws the windows. Where OpenGL itself renders
// on the CPU (Mesa's llvmpipe in virtual machines, on remote desktops, under
// Xvfb), every frame redraws the whole window through an emulated GPU; the
// scene graph's software renderer paints with the CPU directly and repaints
// only the parts that changed, so a blinking lamp or a moving knob costs
// only its own few pixels. With a GPU, OpenGL stays. KINETRA_SCENE_GRAPH
// (opengl or software) overrides the choice either way, and Qt's own
// QT_QUICK_BACKEND, when set, is left to decide.
class SceneGraphChoice
{
public:
    static constexpr const char* kOverrideVariable = "KINETRA_SCENE_GRAPH";

    struct Decision
    {
        bool software = false;
        // Why; empty when OpenGL is kept without anything to say.
        QString reason;
        // Set when the override was given but named no renderer.
        QString ignoredOverride;
    };

    // The choice given the OpenGL renderer string (empty when unknown), the
    // override's value and QT_QUICK_BACKEND's value.
    static Decision decide(const QString& renderer, const QByteArray& overrideValue,
                           const QByteArray& qtBackend);
    // decide() for this machine; asks `probeRenderer` for the OpenGL
    // renderer's name only when nothing overrides. Before the first window
    // exists.
    static Decision forThisMachine(const std::function<QString()>& probeRenderer);
};
