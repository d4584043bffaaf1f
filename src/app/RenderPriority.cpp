// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RenderPriority.h"

#include "app/MultisampleChoice.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QThread>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

Q_LOGGING_CATEGORY(lcRenderPriority, "kinetra.app")

namespace {

#ifdef Q_OS_LINUX
// Raises a thread's nice value to at least `nice`; never raises its
// priority. Returns whether it changed anything.
bool lowerThread(long threadId, int nice)
{
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, id_t(threadId));
    if (errno != 0 || current >= nice)
        return false;
    return setpriority(PRIO_PROCESS, id_t(threadId), nice) == 0;
}
#endif

} // namespace

bool RenderPriority::isRasteriserThread(const QString& threadName)
{
    // Mesa's CPU rasterisers name their workers "llvmpipe-<n>" and
    // "softpipe-<n>".
    return threadName.startsWith(QLatin1String("llvmpipe-")) ||
           threadName.startsWith(QLatin1String("softpipe-"));
}

int RenderPriority::niceOf(long threadId)
{
#ifdef Q_OS_LINUX
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, id_t(threadId));
    return errno == 0 ? nice : 0;
#else
    Q_UNUSED(threadId);
    return 0;
#endif
}

int RenderPriority::lowerRenderingThreads(bool includeCaller)
{
    int lowered = 0;
#ifdef Q_OS_LINUX
    if (includeCaller && lowerThread(long(syscall(SYS_gettid)), kRenderNice))
        ++lowered;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    const QStringList ids = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& id : ids) {
        QFile comm(tasks.filePath(id + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly))
            continue; // the thread has ended meanwhile
        const QString name = QString::fromUtf8(comm.readAll()).trimmed();
        if (isRasteriserThread(name) && lowerThread(id.toLong(), kRenderNice))
            ++lowered;
    }
#else
    Q_UNUSED(includeCaller);
#endif
    return lowered;
}

void RenderPriority::lowerWhenSoftware(QQuickWindow* window)
{
    if (!window)
        return;
    QObject::connect(
        window, &QQuickWindow::sceneGraphInitialized, window,
        [] {
            QOpenGLContext* context = QOpenGLContext::currentContext();
            if (!context)
                return;
            const auto* text =
                reinterpret_cast<const char*>(context->functions()->glGetString(GL_RENDERER));
            const QString renderer = text ? QString::fromUtf8(text) : QString();
            if (!MultisampleChoice::isSoftwareRenderer(renderer))
                return;
            const bool renderThread =
                QCoreApplication::instance() &&
                QThread::currentThread() != QCoreApplication::instance()->thread();
            const int lowered = lowerRenderingThreads(renderThread);
            qCInfo(lcRenderPriority,
                   "OpenGL renders in software (%s): %d drawing threads run at nice %d",
                   qUtf8Printable(renderer), lowered, kRenderNice);
        },
        Qt::DirectConnection);
}
