// SPDX-License-Identifier: GPL-3.0-or-later
// The back end as AppRuntime builds, wires and quits it: the order of the
// quit sequence, and quitting while bands stream at full rate.

#include "app/AppRuntime.h"

#include "app/ActionHandler.h"
#include "app/AudioDriverChanger.h"
#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "audio/FakeAudioDeviceType.h"
#include "audio/JuceTestEnvironment.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "link/SerialHandler.h"
#include "link/ThreadController.h"
#include "midi/InMemoryMidiBackend.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"
#include "storage/FileManager.h"

#include "SimulatedReceiver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>
#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

using testsupport::FakeAudioDeviceType;
using testsupport::pumpJuceMessages;

namespace {

// The files that appeared in the watched folders, in the order they did:
// created in place or renamed over the old file (the two ways of an atomic
// save). Temporary files that are gone again do not count.
class WriteWatch
{
public:
    WriteWatch() : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~WriteWatch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool watch(const QString& folder)
    {
        if (m_fd < 0)
            return false;
        const int wd =
            inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_CREATE | IN_MOVED_TO);
        if (wd < 0)
            return false;
        m_folders.insert(wd, folder);
        return true;
    }
    QStringList written()
    {
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof(buffer));
            if (n <= 0)
                break;
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0) {
                    const QString name = QFile::decodeName(event->name);
                    if (QFile::exists(m_folders.value(event->wd) + QLatin1Char('/') + name))
                        m_names << name;
                }
                at += ssize_t(sizeof(inotify_event)) + event->len;
            }
        }
        return m_names;
    }

private:
    int m_fd;
    QHash<int, QString> m_folders;
    QStringList m_names;
};

// Runs the event loop until `done` or `timeoutMs`.
bool processUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

QJsonObject readObject(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

// Every back-end object over an in-memory MIDI service, stand-in audio
// devices, a temporary documents folder and an OSC receiver of the test's
// own; the receiver is searched for with `portSearch`.
class Runtime : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(oscSink.bind(QHostAddress(QHostAddress::LocalHost), 0));
        log = std::make_shared<testsupport::FakeDeviceLog>();
    }
    void TearDown() override
    {
        runtime.reset();
        pumpJuceMessages();
    }

    void start(std::function<QString()> portSearch = [] { return QString(); })
    {
        midi = std::make_shared<InMemoryMidiBackend>();
        AppRuntime::Options options;
        options.documentsRoot = dir.path();
        options.midiBackend = midi;
        options.oscPort = oscSink.localPort();
        options.portSearch = std::move(portSearch);
        options.configureAudio = [this](AudioProcessorHolder& host) {
            host.addAudioDeviceType(std::make_unique<FakeAudioDeviceType>(
                "Fake A", juce::StringArray{"Speakers"}, log));
            host.addAudioDeviceType(std::make_unique<FakeAudioDeviceType>(
                "Fake B", juce::StringArray{"Headphones"}, log));
        };
        runtime = std::make_unique<AppRuntime>(nullptr, options);
        runtime->setLibraryShutdown([this] {
            steps << QStringLiteral("library");
            atLibraryShutdown();
        });
        runtime->createSharedObjects();
        runtime->loadPersistentState();
        runtime->startAudio();
    }

    virtual void atLibraryShutdown() {}

    QTemporaryDir dir;
    QUdpSocket oscSink;
    std::shared_ptr<testsupport::FakeDeviceLog> log;
    std::shared_ptr<InMemoryMidiBackend> midi;
    std::unique_ptr<AppRuntime> runtime;
    QStringList steps;
};

class QuitSequence : public Runtime
{
protected:
    void SetUp() override
    {
        Runtime::SetUp();
        start();
        runtime->engine()->addNewCSourceAt(0);
        ASSERT_TRUE(writes.watch(dir.path()));
        ASSERT_TRUE(writes.watch(runtime->fileManager()->paths().backupFolder()));
        QObject::connect(runtime->serialHandler(), &QObject::destroyed, [this] {
            steps << QStringLiteral("link");
            // Nothing is saved while a frame could still arrive.
            EXPECT_TRUE(writes.written().isEmpty());
        });
        QObject::connect(runtime->audioHost(), &AudioProcessorHolder::audioDeviceChanged, [this] {
            if (!runtime || runtime->transport()->isActive())
                return;
            steps << QStringLiteral("audio");
            EXPECT_EQ(writes.written(), QStringList{QStringLiteral("audioSetup.xml")});
        });
    }

    void atLibraryShutdown() override
    {
        // Released only after the files and "/close".
        EXPECT_EQ(runtime->midiHandler(), nullptr);
        EXPECT_EQ(runtime->oscHandler(), nullptr);
        EXPECT_EQ(runtime->audioHost(), nullptr);
        EXPECT_EQ(runtime->arpeggiator(), nullptr);
        EXPECT_EQ(runtime->engine()->controlOutput(), nullptr);
        const QStringList written = writes.written();
        ASSERT_EQ(written.size(), 4) << written.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(written.mid(0, 3),
                  (QStringList{QStringLiteral("audioSetup.xml"), QStringLiteral("devices.json"),
                               QStringLiteral("settings.json")}));
        ASSERT_TRUE(oscSink.waitForReadyRead(5000) || oscSink.hasPendingDatagrams());
        QByteArray datagram(int(oscSink.pendingDatagramSize()), '\0');
        oscSink.readDatagram(datagram.data(), datagram.size());
        EXPECT_EQ(datagram, QByteArray("/close\0\0,\0\0\0", 12));
    }

    WriteWatch writes;
};

TEST_F(QuitSequence, StopsTheLinkAndTheAudioBeforeSavingAndReleasesLast)
{
    runtime->shutdown();
    EXPECT_EQ(steps, (QStringList{QStringLiteral("link"), QStringLiteral("audio"),
                                  QStringLiteral("library")}));
    EXPECT_TRUE(runtime->threadController()->isStopped());
    const QStringList written = writes.written();
    ASSERT_EQ(written.size(), 4);
    EXPECT_TRUE(QFile::exists(runtime->fileManager()->paths().backupFolder() + QLatin1Char('/') +
                              written[3]));
    // The rest stays for the holders to destroy at exit.
    EXPECT_NE(runtime->transport(), nullptr);
    EXPECT_NE(runtime->fileManager(), nullptr);

    // aboutToQuit after the user interface's own quit: nothing again.
    steps.clear();
    runtime->shutdown();
    EXPECT_TRUE(steps.isEmpty());
    EXPECT_EQ(writes.written(), written);
    EXPECT_FALSE(oscSink.waitForReadyRead(200)); // one "/close" only
}

TEST_F(QuitSequence, EmptyingTheFocusedSlotClearsTheFocus)
{
    runtime->stateManager()->setFocusedSource(0);
    runtime->engine()->removeCSourceAt(0);
    EXPECT_EQ(runtime->stateManager()->getFocusedSource(), -1);
    runtime->setLibraryShutdown([] {});
}

TEST_F(QuitSequence, WritesTheCurrentPatchInsteadOfABackup)
{
    const QString path = dir.filePath(QStringLiteral("live-set.json"));
    runtime->fileManager()->setCurrentPatchPath(path);
    runtime->setLibraryShutdown([] {});
    runtime->shutdown();
    EXPECT_EQ(writes.written(),
              (QStringList{QStringLiteral("audioSetup.xml"), QStringLiteral("devices.json"),
                           QStringLiteral("settings.json"), QStringLiteral("live-set.json")}));
    EXPECT_TRUE(
        QDir(runtime->fileManager()->paths().backupFolder()).entryList(QDir::Files).isEmpty());
}

TEST_F(Runtime, QuittingWaitsForADriverChangeInProgress)
{
    start();
    log->openDelayMs = 300;
    runtime->actionHandler()->setAudioDeviceType(QStringLiteral("Fake B"));
    runtime->actionHandler()->setAudioDeviceType(QStringLiteral("Fake A"));
    runtime->shutdown();
    EXPECT_EQ(steps, QStringList{QStringLiteral("library")});
    EXPECT_EQ(runtime->actionHandler()->pendingDriverChanges(), 0);
    EXPECT_EQ(runtime->audioHost(), nullptr);
    EXPECT_FALSE(runtime->actionHandler()->isDriverChangeTimerActive());
    // No further change is started once quitting began.
    runtime->actionHandler()->setAudioDeviceType(QStringLiteral("Fake B"));
    EXPECT_EQ(runtime->actionHandler()->pendingDriverChanges(), 0);
}

// Quitting while four bands stream at full rate, again and again: the link
// thread is dispatching frames into the sources and the MIDI handler at the
// moment quitting starts. Nothing may touch a released object (AddressSanitizer
// reports it), and every file must be written whole.
TEST_F(Runtime, QuitsCleanlyWhileFourBandsStream)
{
    constexpr int kRuns = 50;
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE(run);
        ReceiverSimulator::Config config = ReceiverSimulator::Config::withBands(4);
        config.rate = 1000.0; // as fast as the line allows
        SimulatedReceiver receiver(config);
        ASSERT_TRUE(receiver.start());
        start(receiver.portSearch());
        MotionControlEngine* engine = runtime->engine();
        runtime->actionHandler()->connect();
        ASSERT_TRUE(processUntil([engine] { return engine->getNumOfDevice() == 4; }, 10000));
        for (int slot = 0; slot < 4; ++slot) {
            engine->addNewCSourceAt(slot);
            ContinuousControlSource* source = engine->getCSourceAt(slot);
            source->setDevice(engine->getDeviceAt(slot)->getUuid(), true);
            source->setAxis(slot);
        }
        // Frames run through all four wheels; every tenth run also waits
        // for the bands to warm up and their MIDI to go out.
        const auto moved = [engine] {
            for (int slot = 0; slot < 4; ++slot)
                if (engine->getCSourceAt(slot)->getValue() == 0.0f)
                    return false;
            return true;
        };
        ASSERT_TRUE(processUntil(moved, 10000));
        const QString port = QString::fromLatin1(MidiHandler::kVirtualPortName);
        if (run % 10 == 0) {
            ASSERT_TRUE(
                processUntil([&] { return midi->messagesSentTo(port).size() >= 20; }, 10000));
        }
        // Quit at a different moment of the stream each time.
        QThread::usleep(static_cast<unsigned long>(run * 397 % 5000));
        runtime->shutdown();

        const StoragePaths paths = runtime->fileManager()->paths();
        EXPECT_EQ(readObject(paths.deviceRegistryFile()).size(), 4);
        EXPECT_FALSE(readObject(paths.settingsFile()).isEmpty());
        const QStringList backups =
            QDir(paths.backupFolder()).entryList({QStringLiteral("*.json")}, QDir::Files);
        ASSERT_FALSE(backups.isEmpty());
        const QJsonObject patch =
            readObject(paths.backupFolder() + QLatin1Char('/') + backups.last());
        EXPECT_FALSE(patch.isEmpty());
        runtime.reset();
        pumpJuceMessages();
        // The next run starts from scratch.
        for (const QString& backup : backups)
            QFile::remove(paths.backupFolder() + QLatin1Char('/') + backup);
    }
}

// The OSC tick sleeps while the link is down and wakes when it comes up:
// the first "/crl" follows the connection at once, not at the tick's next
// look of its own (kOscIdleCheckMs). Three times, so that a wake-up that
// only happened to fall close to such a look cannot pass for it.
TEST_F(Runtime, ControlMessagesStartAsSoonAsTheLinkComesUp)
{
    using Clock = std::chrono::steady_clock;
    start();
    runtime->engine()->addNewCSourceAt(0);
    for (int round = 0; round < 3; ++round) {
        runtime->stateManager()->setConnectionState(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        while (oscSink.hasPendingDatagrams())
            oscSink.readDatagram(nullptr, 0);
        EXPECT_FALSE(oscSink.waitForReadyRead(100)) << "nothing while the link is down";

        const auto up = Clock::now();
        runtime->stateManager()->setConnectionState(true);
        ASSERT_TRUE(oscSink.waitForReadyRead(2000));
        const auto first = Clock::now();
        QByteArray datagram(int(oscSink.pendingDatagramSize()), '\0');
        oscSink.readDatagram(datagram.data(), datagram.size());
        EXPECT_TRUE(datagram.startsWith("/crl"));
        EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(first - up).count(),
                  MotionControlEngine::kOscIdleCheckMs / 4)
            << "round " << round;
    }
}

// Last in this file: it takes the audio library down (and brings its message
// manager back for whatever runs after).
// "/crl" does not wait for the GUI thread: while it is blocked for 200 ms,
// the messages keep arriving at about their 3 ms cadence. They are stamped
// on arrival by a receiver thread of the test's own.
TEST_F(Runtime, ControlMessagesKeepComingWhileTheGuiThreadIsBlocked)
{
    using Clock = std::chrono::steady_clock;
    start();
    runtime->engine()->addNewCSourceAt(0);
    runtime->stateManager()->setConnectionState(true);

    // The receiver takes the sink's port over.
    const quint16 port = oscSink.localPort();
    oscSink.close();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    timeval timeout{0, 20000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));

    std::vector<Clock::time_point> arrivals;
    arrivals.reserve(4096);
    std::atomic<bool> stop{false};
    std::atomic<int> count{0};
    std::thread receiver([&] {
        char buffer[512];
        while (!stop.load()) {
            const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
            if (n >= 4 && std::equal(buffer, buffer + 4, "/crl") && arrivals.size() < 4096) {
                arrivals.push_back(Clock::now());
                count.fetch_add(1);
            }
        }
    });

    // Running (with the event loop turning, as it would for a timer).
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (count.load() < 5 && Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const auto blockStart = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto blockEnd = Clock::now();
    stop.store(true);
    receiver.join();
    ::close(fd);

    std::vector<Clock::time_point> during;
    for (const auto& t : arrivals)
        if (t >= blockStart && t <= blockEnd)
            during.push_back(t);
    // 66 at the nominal cadence; half of that on a loaded machine.
    EXPECT_GE(during.size(), 33u);
    auto largestGap = Clock::duration::zero();
    Clock::time_point previous = blockStart;
    for (const auto& t : during) {
        largestGap = std::max(largestGap, t - previous);
        previous = t;
    }
    largestGap = std::max(largestGap, blockEnd - previous);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(largestGap).count(), 40);
}

TEST(AudioLibraryShutdown, LeavesNoMessageManagerBehind)
{
    ASSERT_NE(juce::MessageManager::getInstanceWithoutCreating(), nullptr);
    ActionHandler::shutDownAudioLibrary();
    EXPECT_EQ(juce::MessageManager::getInstanceWithoutCreating(), nullptr);
    ActionHandler::shutDownAudioLibrary(); // a second time finds nothing to do
    juce::MessageManager::getInstance();
}

} // namespace
