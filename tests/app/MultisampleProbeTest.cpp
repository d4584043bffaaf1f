// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MultisampleChoice.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <gtest/gtest.h>

// Runs on the X server: the CI's and the test machines' Xvfb, where Mesa
// renders on the CPU.
TEST(MultisampleProbe, NamesTheRendererAndLeavesNoContextCurrent)
{
    ASSERT_NE(qobject_cast<QGuiApplication*>(QCoreApplication::instance()), nullptr)
        << "run with KINETRA_TEST_GUI=1";
    const QString renderer = MultisampleChoice::probeRenderer();
    ASSERT_FALSE(renderer.isEmpty()) << "no OpenGL context on this display";
    EXPECT_EQ(QOpenGLContext::currentContext(), nullptr);
    // Without a GPU device Mesa can only render on the CPU. (With one the
    // display may be a desktop's X server, whose renderer is the GPU's.)
    if (!QFileInfo::exists(QStringLiteral("/dev/dri"))) {
        EXPECT_TRUE(MultisampleChoice::isSoftwareRenderer(renderer)) << qPrintable(renderer);
        qunsetenv(MultisampleChoice::kOverrideVariable);
        EXPECT_EQ(MultisampleChoice::samplesFor(8), 0);
    }
}

TEST(MultisampleProbe, TheOverrideIsReadFromTheEnvironment)
{
    qputenv(MultisampleChoice::kOverrideVariable, "4");
    EXPECT_EQ(MultisampleChoice::samplesFor(8), 4);
    qputenv(MultisampleChoice::kOverrideVariable, "many");
    const int samples = MultisampleChoice::samplesFor(8);
    qunsetenv(MultisampleChoice::kOverrideVariable);
    EXPECT_EQ(samples, MultisampleChoice::decide(8, MultisampleChoice::probeRenderer(), {}).samples)
        << "an invalid override changes nothing";
}
