// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MultisampleChoice.h"

#include <gtest/gtest.h>

namespace {

const QString kLlvmpipe = QStringLiteral("llvmpipe (LLVM 15.0.6, 256 bits)");
const QString kIntel = QStringLiteral("Mesa Intel(R) UHD Graphics 620 (KBL GT2)");
const QString kNvidia = QStringLiteral("NVIDIA GeForce RTX 3060/PCIe/SSE2");

} // namespace

TEST(MultisampleChoice, SoftwareRenderersAreRecognisedWhateverTheCase)
{
    for (const char* r : {"llvmpipe (LLVM 15.0.6, 256 bits)", "Gallium 0.4 on llvmpipe (LLVM 3.4)",
                          "LLVMPIPE", "softpipe", "Gallium 0.4 on softpipe", "Mesa DRI swrast",
                          "Software Rasterizer", "software rasterizer"})
        EXPECT_TRUE(MultisampleChoice::isSoftwareRenderer(QString::fromLatin1(r))) << r;
    for (const char* r :
         {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", "NVIDIA GeForce RTX 3060/PCIe/SSE2",
          "AMD Radeon RX 6600 (navi23, LLVM 15)", "virgl", "SVGA3D; build: RELEASE;", "Software",
          ""})
        EXPECT_FALSE(MultisampleChoice::isSoftwareRenderer(QString::fromLatin1(r))) << r;
}

TEST(MultisampleChoice, SoftwareRenderingGetsNoMultisamplingHardwareWhatIsAsked)
{
    const auto software = MultisampleChoice::decide(8, kLlvmpipe, {});
    EXPECT_EQ(software.samples, 0);
    EXPECT_TRUE(software.reason.contains(kLlvmpipe)) << qPrintable(software.reason);
    EXPECT_TRUE(software.reason.contains(QLatin1String("KINETRA_GL_SAMPLES=8")))
        << "the line says how to turn it back on: " << qPrintable(software.reason);
    EXPECT_TRUE(software.ignoredOverride.isEmpty());

    for (const QString& r : {kIntel, kNvidia}) {
        const auto hardware = MultisampleChoice::decide(8, r, {});
        EXPECT_EQ(hardware.samples, 8) << qPrintable(r);
        EXPECT_TRUE(hardware.reason.isEmpty()) << "nothing to say when the request stands";
    }
    // The probe failed: keep the request.
    EXPECT_EQ(MultisampleChoice::decide(8, QString(), {}).samples, 8);
    // Nothing asked, nothing to turn off, nothing to log.
    const auto none = MultisampleChoice::decide(0, kLlvmpipe, {});
    EXPECT_EQ(none.samples, 0);
    EXPECT_TRUE(none.reason.isEmpty());
}

TEST(MultisampleChoice, AValidOverrideWinsOverRendererAndRequest)
{
    const auto forcedOn = MultisampleChoice::decide(8, kLlvmpipe, "8");
    EXPECT_EQ(forcedOn.samples, 8);
    EXPECT_TRUE(forcedOn.reason.isEmpty()) << "the request stands";

    const auto forcedOff = MultisampleChoice::decide(8, kNvidia, "0");
    EXPECT_EQ(forcedOff.samples, 0);
    EXPECT_TRUE(forcedOff.reason.contains(QLatin1String("KINETRA_GL_SAMPLES=0")))
        << qPrintable(forcedOff.reason);

    EXPECT_EQ(MultisampleChoice::decide(8, kLlvmpipe, "4").samples, 4);
    EXPECT_EQ(MultisampleChoice::decide(8, QString(), " 16\n").samples, 16);
    EXPECT_TRUE(MultisampleChoice::decide(8, kIntel, "2").ignoredOverride.isEmpty());
}

TEST(MultisampleChoice, AnInvalidOverrideIsIgnoredAndSaysSo)
{
    for (const char* value : {"17", "-1", "eight", "4x", "0x8", "2.5", "99999999999"}) {
        const auto software = MultisampleChoice::decide(8, kLlvmpipe, value);
        EXPECT_EQ(software.samples, 0) << value;
        EXPECT_TRUE(software.ignoredOverride.contains(QLatin1String(value))) << value;
        EXPECT_TRUE(software.ignoredOverride.contains(QLatin1String("KINETRA_GL_SAMPLES")));
        const auto hardware = MultisampleChoice::decide(8, kIntel, value);
        EXPECT_EQ(hardware.samples, 8) << value;
        EXPECT_FALSE(hardware.ignoredOverride.isEmpty()) << value;
    }
    // Unset or empty is no override at all, and nothing to complain about.
    for (const QByteArray& unset : {QByteArray(), QByteArray(""), QByteArray("  ")}) {
        const auto d = MultisampleChoice::decide(8, kIntel, unset);
        EXPECT_EQ(d.samples, 8);
        EXPECT_TRUE(d.ignoredOverride.isEmpty());
    }
}

TEST(MultisampleChoice, TheProbeNeedsAGuiApplication)
{
    // This binary runs a QCoreApplication: no OpenGL, no renderer, and the
    // request stands.
    EXPECT_TRUE(MultisampleChoice::probeRenderer().isEmpty());
}
