// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include "support/SignalWait.h"

#include <csignal>

using testsupport::waitUntil;

namespace {

// Runs the real application as its own process with its documents folder in
// a temporary directory.
class ApplicationProcess : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        documents = home.path() + "/Documents/Vantor/Kinetra";
    }

    void start(const QStringList& arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.path() + "/.config");
        env.insert("XDG_DATA_HOME", home.path() + "/.local/share");
        env.remove("XDG_DOCUMENTS_DIR");
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("QT_LOGGING_RULES", "qml.debug=true");
        // No real MIDI or audio devices are needed; JACK is not started on
        // demand.
        env.insert("JACK_NO_START_SERVER", "1");
        // The software OpenGL driver is unloaded before exit and leaves
        // allocations LeakSanitizer cannot name; the application's own leaks
        // are covered by the in-process tests.
        QString asan = env.value("ASAN_OPTIONS");
        env.insert("ASAN_OPTIONS", asan + (asan.isEmpty() ? "" : ":") + "detect_leaks=0");
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(KINETRA_EXECUTABLE, arguments);
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    bool waitForOutput(const QString& marker, int timeoutMs = 60000)
    {
        return waitUntil(
                   [&] {
                       output += QString::fromLocal8Bit(process.readAll());
                       return output.contains(marker) || process.state() == QProcess::NotRunning;
                   },
                   timeoutMs) &&
               output.contains(marker);
    }

    int finish(int timeoutMs = 60000)
    {
        waitUntil([&] { return process.state() == QProcess::NotRunning; }, timeoutMs);
        output += QString::fromLocal8Bit(process.readAll());
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
            return -1000;
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2000;
    }

    static bool haveDisplay() { return !qEnvironmentVariableIsEmpty("DISPLAY"); }

    QTemporaryDir home;
    QString documents;
    QProcess process;
    QString output;
};

QString dataFile(const char* name)
{
    return QStringLiteral(KINETRA_TEST_DATA "/") + QLatin1String(name);
}

} // namespace

TEST_F(ApplicationProcess, VersionAndHelpNeedNoDisplay)
{
    QProcess p;
    p.start(KINETRA_EXECUTABLE, {"--version"});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(p.readAllStandardOutput(), "Kinetra 2.0.4\n");
    p.start(KINETRA_EXECUTABLE, {"--help"});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_TRUE(p.readAllStandardOutput().contains("--port PATH"));
    p.start(KINETRA_EXECUTABLE, {"--no-such-option"});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 2);
}

TEST_F(ApplicationProcess, FirstStartBuildsTheTreeAndSigtermSavesAndSaysGoodbye)
{
    if (!haveDisplay())
        GTEST_SKIP() << "needs an X server (run under Xvfb)";
    QUdpSocket listener;
    ASSERT_TRUE(listener.bind(QHostAddress::LocalHost, 9001));

    start({"--qml", dataFile("ready.qml")});
    ASSERT_TRUE(waitForOutput("KINETRA-READY")) << qPrintable(output);
    EXPECT_TRUE(output.contains("devices=0")) << qPrintable(output);
    EXPECT_TRUE(output.contains("transport=true")) << qPrintable(output);
    EXPECT_TRUE(QFile::exists(documents + "/presets/.presets.json"));
    EXPECT_TRUE(QDir(documents + "/presets/user").exists());
    EXPECT_TRUE(QDir(documents + "/presets/backup").exists());

    ::kill(pid_t(process.processId()), SIGTERM);
    EXPECT_EQ(finish(), 0) << qPrintable(output);

    for (const char* name : {"/settings.json", "/devices.json"}) {
        QFile f(documents + name);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name;
        EXPECT_TRUE(QJsonDocument::fromJson(f.readAll()).isObject()) << name;
    }
    const QStringList backups =
        QDir(documents + "/presets/backup").entryList(QDir::Files | QDir::NoDotAndDotDot);
    EXPECT_EQ(backups.size(), 1) << "no current patch: one backup written";

    int closes = 0;
    waitUntil([&] { return listener.hasPendingDatagrams(); }, 2000);
    while (listener.hasPendingDatagrams()) {
        QByteArray datagram(int(listener.pendingDatagramSize()), '\0');
        listener.readDatagram(datagram.data(), datagram.size());
        if (datagram.startsWith(QByteArray("/close\0\0", 8)))
            ++closes;
    }
    EXPECT_EQ(closes, 1);
}

TEST_F(ApplicationProcess, SensorsFromTheRegistryExistBeforeTheWindowLoads)
{
    if (!haveDisplay())
        GTEST_SKIP() << "needs an X server (run under Xvfb)";
    ASSERT_TRUE(QDir().mkpath(documents));
    QFile registry(documents + "/devices.json");
    ASSERT_TRUE(registry.open(QIODevice::WriteOnly));
    registry.write(R"({"4096": {"name": "Lefty", "index": 0}})");
    registry.close();

    start({"--qml", dataFile("ready.qml")});
    ASSERT_TRUE(waitForOutput("KINETRA-READY")) << qPrintable(output);
    EXPECT_TRUE(output.contains("devices=1 name=Lefty")) << qPrintable(output);
    ::kill(pid_t(process.processId()), SIGTERM);
    EXPECT_EQ(finish(), 0);
}

TEST_F(ApplicationProcess, BrokenMainDocumentExitsWithMinusOneAndSaysWhy)
{
    if (!haveDisplay())
        GTEST_SKIP() << "needs an X server (run under Xvfb)";
    start({"--qml", dataFile("broken.qml")});
    EXPECT_EQ(finish(), 255) << qPrintable(output);
    EXPECT_TRUE(output.contains("broken.qml")) << qPrintable(output);
    EXPECT_TRUE(output.contains("cannot load the main window document")) << qPrintable(output);
}

TEST_F(ApplicationProcess, DemoModeConnectsFourLiveBandsWithoutHardware)
{
    if (!haveDisplay())
        GTEST_SKIP() << "needs an X server (run under Xvfb)";
    start({"--demo", "--qml", dataFile("demo-watch.qml")});
    EXPECT_TRUE(waitForOutput("KINETRA-DEMO devices=4 connected=true active=4"))
        << qPrintable(output);
    ::kill(pid_t(process.processId()), SIGTERM);
    EXPECT_EQ(finish(), 0) << qPrintable(output);
    QFile registry(documents + "/devices.json");
    ASSERT_TRUE(registry.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(registry.readAll()).object().size(), 4)
        << "the demo bands are remembered like real ones";
}
