// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RenderPriority.h"
#include "app/MultisampleChoice.h"

#include "support/SignalWait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

// Thread id → name of every thread of this process.
QList<QPair<long, QString>> threadsOfThisProcess()
{
    QList<QPair<long, QString>> threads;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& id : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(id + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly))
            threads.append({id.toLong(), QString::fromUtf8(comm.readAll()).trimmed()});
    }
    return threads;
}

} // namespace

TEST(RenderPriority, RecognisesTheSoftwareRasterisersWorkers)
{
    EXPECT_TRUE(RenderPriority::isRasteriserThread(QStringLiteral("llvmpipe-0")));
    EXPECT_TRUE(RenderPriority::isRasteriserThread(QStringLiteral("llvmpipe-15")));
    EXPECT_TRUE(RenderPriority::isRasteriserThread(QStringLiteral("softpipe-1")));
    EXPECT_FALSE(RenderPriority::isRasteriserThread(QStringLiteral("kinetra-link")));
    EXPECT_FALSE(RenderPriority::isRasteriserThread(QStringLiteral("QSGRenderThread")));
    EXPECT_FALSE(RenderPriority::isRasteriserThread(QString()));
}

TEST(RenderPriority, NeverRaisesAThreadsPriority)
{
    long lowTid = 0;
    int after = 0;
    std::thread worker([&] {
        lowTid = long(syscall(SYS_gettid));
        ASSERT_EQ(setpriority(PRIO_PROCESS, id_t(lowTid), 15), 0);
        RenderPriority::lowerRenderingThreads(true);
        after = RenderPriority::niceOf(lowTid);
    });
    worker.join();
    EXPECT_EQ(after, 15) << "a thread already running lower stays there";

    // Without the caller and without rasteriser threads nothing changes.
    const long self = long(syscall(SYS_gettid));
    const int before = RenderPriority::niceOf(self);
    RenderPriority::lowerRenderingThreads(false);
    EXPECT_EQ(RenderPriority::niceOf(self), before);
}

// Runs on the X server: the CI's and the test machines' Xvfb, where Mesa
// renders on the CPU.
TEST(RenderPriority, TheWindowsDrawingThreadsYieldWhenRenderingInSoftware)
{
    ASSERT_NE(qobject_cast<QGuiApplication*>(QCoreApplication::instance()), nullptr)
        << "run with KINETRA_TEST_GUI=1";
    const QString renderer = MultisampleChoice::probeRenderer();
    if (renderer.isEmpty()) {
        GTEST_SKIP() << "no OpenGL context on this display";
    }
    const bool software = MultisampleChoice::isSoftwareRenderer(renderer);
    if (!software && !QFileInfo::exists(QStringLiteral("/dev/dri"))) {
        FAIL() << "without a GPU device Mesa renders on the CPU: " << qPrintable(renderer);
    }

    const long gui = long(syscall(SYS_gettid));
    const int guiNice = RenderPriority::niceOf(gui);
    QQuickWindow window;
    window.resize(120, 80);
    RenderPriority::lowerWhenSoftware(&window);
    QSignalSpy swapped(&window, &QQuickWindow::frameSwapped);
    window.show();
    ASSERT_TRUE(testsupport::waitUntil([&] { return swapped.count() > 0; }, 10000));

    int renderThreads = 0;
    int rasterisers = 0;
    for (const auto& [tid, name] : threadsOfThisProcess()) {
        const int nice = RenderPriority::niceOf(tid);
        if (name == QLatin1String("QSGRenderThread")) {
            ++renderThreads;
            EXPECT_EQ(nice >= RenderPriority::kRenderNice, software) << "render thread " << nice;
        } else if (RenderPriority::isRasteriserThread(name)) {
            ++rasterisers;
            EXPECT_GE(nice, RenderPriority::kRenderNice) << qPrintable(name);
        }
    }
    if (software) {
        EXPECT_GT(rasterisers + renderThreads, 0) << "no drawing thread found";
    }
    EXPECT_EQ(RenderPriority::niceOf(gui), guiNice) << "the GUI thread keeps its priority";
}
