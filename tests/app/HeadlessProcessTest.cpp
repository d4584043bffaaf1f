// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include "support/SignalWait.h"

#include <csignal>

using testsupport::waitUntil;

// The real program without a window, with no display to fall back on: a
// GUI application object would abort at once on the xcb platform without
// DISPLAY. Four simulated bands stream; their wheels must reach OSC and the
// MIDI service, the status line must say so, and SIGTERM must save.
TEST(HeadlessProcess, RunsWithoutADisplayStreamsAndSavesOnSigterm)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    ASSERT_TRUE(QDir(home.path()).mkpath("run"));
    QFile::setPermissions(home.path() + "/run",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString documents = home.path() + "/Documents/Vantor/Kinetra";

    QUdpSocket osc;
    ASSERT_TRUE(osc.bind(QHostAddress::LocalHost, 9001));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path() + "/.config");
    env.insert("XDG_DATA_HOME", home.path() + "/.local/share");
    env.insert("XDG_RUNTIME_DIR", home.path() + "/run");
    env.remove("XDG_DOCUMENTS_DIR");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("JACK_NO_START_SERVER", "1");
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(KINETRA_EXECUTABLE, {"--headless", "--demo", "--midi-service", "none"});
    ASSERT_TRUE(process.waitForStarted(10000));

    QString output;
    const auto readOutput = [&] { output += QString::fromUtf8(process.readAll()); };

    // OSC: the wheels' live values.
    bool sawControls = false;
    waitUntil(
        [&] {
            readOutput();
            while (osc.hasPendingDatagrams()) {
                QByteArray datagram(int(osc.pendingDatagramSize()), '\0');
                osc.readDatagram(datagram.data(), datagram.size());
                sawControls = sawControls || datagram.startsWith(QByteArray("/crl\0", 5));
            }
            return sawControls || process.state() == QProcess::NotRunning;
        },
        60000);
    EXPECT_TRUE(sawControls) << qPrintable(output);

    // The status line: every band streaming, MIDI handed to the service.
    const QRegularExpression status(
        "status: (\\d) of (\\d) bands connected, (\\d+) frames/s, (\\d+) MIDI messages sent");
    QRegularExpressionMatch match;
    waitUntil(
        [&] {
            readOutput();
            match = status.match(output);
            return match.hasMatch() || process.state() == QProcess::NotRunning;
        },
        60000);
    ASSERT_TRUE(match.hasMatch()) << qPrintable(output);
    EXPECT_EQ(match.captured(1), "4") << qPrintable(output);
    EXPECT_EQ(match.captured(2), "4");
    EXPECT_GT(match.captured(3).toInt(), 200) << qPrintable(output);
    EXPECT_GT(match.captured(4).toULongLong(), 0u) << qPrintable(output);
    EXPECT_TRUE(output.contains("band 4: ")) << qPrintable(output);

    ::kill(pid_t(process.processId()), SIGTERM);
    waitUntil([&] { return process.state() == QProcess::NotRunning; }, 60000);
    readOutput();
    ASSERT_EQ(process.state(), QProcess::NotRunning) << qPrintable(output);
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << qPrintable(output);
    EXPECT_EQ(process.exitCode(), 0) << qPrintable(output);

    for (const char* name : {"/settings.json", "/devices.json"}) {
        QFile f(documents + name);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name;
        EXPECT_TRUE(QJsonDocument::fromJson(f.readAll()).isObject()) << name;
    }
    const QDir backups(documents + "/presets/backup");
    const QStringList saved = backups.entryList(QDir::Files | QDir::NoDotAndDotDot);
    ASSERT_EQ(saved.size(), 1) << "no current patch: one backup written";
    QFile backup(backups.filePath(saved.first()));
    ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QJsonDocument::fromJson(backup.readAll()).isObject());
}
