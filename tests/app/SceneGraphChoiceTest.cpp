// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SceneGraphChoice.h"

#include <gtest/gtest.h>

// The software scene graph where OpenGL runs on the CPU, OpenGL on a GPU;
// our override wins over the renderer, Qt's own variable over both, and an
// override that names nothing is reported and left out.
TEST(SceneGraphChoice, SoftwareOpenGlGetsTheSoftwareRendererUnlessOverridden)
{
    const QString llvmpipe = QStringLiteral("llvmpipe (LLVM 15.0.6, 256 bits)");
    const QString gpu = QStringLiteral("Mesa Intel(R) UHD Graphics 620 (KBL GT2)");

    const auto cpu = SceneGraphChoice::decide(llvmpipe, {}, {});
    EXPECT_TRUE(cpu.software);
    EXPECT_TRUE(cpu.reason.contains(QLatin1String("KINETRA_SCENE_GRAPH=opengl")))
        << qPrintable(cpu.reason);
    const auto hardware = SceneGraphChoice::decide(gpu, {}, {});
    EXPECT_FALSE(hardware.software);
    EXPECT_TRUE(hardware.reason.isEmpty());
    EXPECT_FALSE(SceneGraphChoice::decide({}, {}, {}).software) << "unknown renderer";

    EXPECT_FALSE(SceneGraphChoice::decide(llvmpipe, " OpenGL ", {}).software);
    EXPECT_TRUE(SceneGraphChoice::decide(gpu, "software", {}).software);
    EXPECT_FALSE(SceneGraphChoice::decide(llvmpipe, "software", "opengl").software);
    EXPECT_TRUE(SceneGraphChoice::decide(gpu, "opengl", "software").software);

    const auto odd = SceneGraphChoice::decide(llvmpipe, "fast", {});
    EXPECT_TRUE(odd.software);
    EXPECT_TRUE(odd.ignoredOverride.contains(QLatin1String("KINETRA_SCENE_GRAPH=fast")))
        << qPrintable(odd.ignoredOverride);
}
