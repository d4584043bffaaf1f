// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UnixSignalQuitter.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>

TEST(UnixSignalQuitter, TerminationSignalsQuitTheEventLoopNormally)
{
    for (int s : {SIGTERM, SIGHUP, SIGINT}) {
        UnixSignalQuitter quitter;
        ASSERT_TRUE(quitter.isInstalled());
        QSignalSpy received(&quitter, &UnixSignalQuitter::signalReceived);
        bool aboutToQuit = false;
        const auto c =
            QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                             [&] { aboutToQuit = true; });
        QTimer::singleShot(10, [s] { ::raise(s); });
        // A watchdog so that a failure cannot hang the test.
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        watchdog.start(5000);
        const int code = QCoreApplication::exec();
        QObject::disconnect(c);
        EXPECT_EQ(code, 0) << "signal " << s;
        EXPECT_TRUE(aboutToQuit) << "the normal quit sequence ran";
        ASSERT_EQ(received.count(), 1);
        EXPECT_EQ(received.at(0).at(0).toInt(), s);
    }
}
