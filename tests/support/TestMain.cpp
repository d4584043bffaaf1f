#include <QGuiApplication>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <cstdlib>

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
        return RUN_ALL_TESTS();
    }
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
