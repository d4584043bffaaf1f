// SPDX-License-Identifier: GPL-3.0-or-later
#include <QGuiApplication>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

// Warnings of the platform that a test cannot avoid: the software OpenGL
// driver, the X server without a tray or a session, the test-mode paths.
// Everything else Qt warns about (a failed connection, a QML error, an
// object used across threads) fails the test that caused it. The
// application's own categories (kinetra.*) report expected problems that
// the tests provoke on purpose and are not counted here.
const QRegularExpression kKnownPlatformWarnings(QStringLiteral(
    "^(MESA|Mesa|libEGL|libGL|MESA-LOADER|QSystemTrayIcon|QStandardPaths: |"
    "QXcbConnection|qt\\.qpa\\.|QSocketNotifier: Can only be used with threads started with "
    "QThread)"));

std::atomic<int> g_warningsOutsideTests{0};
QtMessageHandler g_previous = nullptr;

void failOnQtWarning(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (g_previous)
        g_previous(type, context, message);
    if (type != QtWarningMsg && type != QtCriticalMsg)
        return;
    const QString category = QString::fromLatin1(context.category ? context.category : "");
    if (category.startsWith(QLatin1String("kinetra.")) ||
        category.startsWith(QLatin1String("qt.qpa")) ||
        kKnownPlatformWarnings.match(message).hasMatch())
        return;
    if (::testing::UnitTest::GetInstance()->current_test_info() != nullptr)
        ADD_FAILURE() << "Qt warning (" << qPrintable(category) << "): " << qPrintable(message);
    else
        ++g_warningsOutsideTests;
}

int runAll()
{
    g_previous = qInstallMessageHandler(&failOnQtWarning);
    const int result = RUN_ALL_TESTS();
    qInstallMessageHandler(g_previous);
    if (result == 0 && g_warningsOutsideTests.load() > 0) {
        std::fprintf(stderr, "%d Qt warning(s) outside any test\n", g_warningsOutsideTests.load());
        return 1;
    }
    return result;
}

} // namespace

// One Qt application object for the whole test binary: queued signals,
// timers and QSignalSpy::wait all need an event loop. A GUI application is
// created only when the binary asks for one through KINETRA_TEST_GUI, so the
// back-end tests run without any display.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    if (std::getenv("KINETRA_TEST_GUI") != nullptr) {
        QGuiApplication app(argc, argv);
        return runAll();
    }
    QCoreApplication app(argc, argv);
    return runAll();
}
