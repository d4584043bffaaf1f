#include "app/ActionHandler.h"

#include "app/AppContext.h"
#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "audio/FakeAudioDeviceType.h"
#include "audio/JuceTestEnvironment.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "midi/Arpeggiator.h"
#include "midi/InMemoryMidiBackend.h"
#include "midi/MidiHandler.h"
#include "midi/Transport.h"
#include "osc/OSCHandler.h"
#include "storage/FileManager.h"
#include "storage/StoragePaths.h"
#include "support/SignalWait.h"

#include <QCursor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUdpSocket>
#include <QWindow>
#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <vector>

using testsupport::FakeAudioDevice;
using testsupport::FakeAudioDeviceType;
using testsupport::pumpJuceMessages;

namespace {

// A clock the test moves by hand.
struct ManualClock
{
    qint64 now = 100000;
    ActionHandler::MillisecondClock function()
    {
        return [this] { return now; };
    }
};

class Actions : public ::testing::Test
{
protected:
    void SetUp() override
    {
        AppContext::setStateManager(&state);
        actions.setClock(clock.function());
        actions.setLibraryShutdown([] {});
        actions.setApplicationQuit([] {});
    }
    void TearDown() override { AppContext::clear(); }

    StateManager state;
    ManualClock clock;
    ActionHandler actions;
};

// --- tap tempo ---------------------------------------------------------------

TEST_F(Actions, TheFourthTapSetsTheFirstTempo)
{
    state.setTempo(90);
    QSignalSpy tempo(&state, &StateManager::tempoChanged);
    for (int i = 0; i < 3; ++i) {
        actions.tapTempo();
        clock.now += 500;
    }
    EXPECT_EQ(tempo.count(), 0);
    EXPECT_EQ(state.getTempo(), 90);

    actions.tapTempo();
    ASSERT_EQ(tempo.count(), 1);
    EXPECT_EQ(tempo.at(0).at(0).toInt(), 120);
}

TEST_F(Actions, UnevenTapsUseTheMeanOfThreeIntervals)
{
    state.setTempo(90);
    for (const int gap : {400, 500, 600}) {
        actions.tapTempo();
        clock.now += gap;
    }
    actions.tapTempo();
    EXPECT_EQ(state.getTempo(), 120);
}

TEST_F(Actions, FurtherTapsFollowTheLatestThreeIntervals)
{
    for (int i = 0; i < 4; ++i) {
        actions.tapTempo();
        clock.now += 500;
    }
    clock.now -= 100; // a 400 ms interval replaces the oldest 500
    actions.tapTempo();
    // 60000 / ((500 + 500 + 400) / 3) = 128.57
    EXPECT_EQ(state.getTempo(), 129);
}

TEST_F(Actions, ALateTapStartsANewSequence)
{
    for (int i = 0; i < 4; ++i) {
        actions.tapTempo();
        clock.now += 500;
    }
    ASSERT_EQ(state.getTempo(), 120);
    QSignalSpy tempo(&state, &StateManager::tempoChanged);

    clock.now += 1500; // 2 s after the last tap
    actions.tapTempo();
    EXPECT_EQ(actions.tapCount(), 0);
    for (int i = 0; i < 2; ++i) {
        clock.now += 600;
        actions.tapTempo();
    }
    EXPECT_EQ(tempo.count(), 0);
    clock.now += 600;
    actions.tapTempo();
    ASSERT_EQ(tempo.count(), 1);
    EXPECT_EQ(tempo.at(0).at(0).toInt(), 100);
}

TEST_F(Actions, TapsAtTheLimitsOfASequence)
{
    state.setTempo(90);
    actions.tapTempo();
    actions.tapTempo(); // same millisecond: starts again
    EXPECT_EQ(actions.tapCount(), 0);
    clock.now += ActionHandler::kTapSequenceLimitMs; // exactly 1.8 s: too late
    actions.tapTempo();
    EXPECT_EQ(actions.tapCount(), 0);
    clock.now += ActionHandler::kTapSequenceLimitMs - 1; // just in time
    actions.tapTempo();
    EXPECT_EQ(actions.tapCount(), 1);
    EXPECT_EQ(state.getTempo(), 90);
}

TEST(TapTempoArithmetic, RoundsToTheNearestBeat)
{
    EXPECT_EQ(ActionHandler::tempoFromIntervals({{500, 500, 500}}), 120);
    EXPECT_EQ(ActionHandler::tempoFromIntervals({{500, 500, 501}}), 120); // 119.92
    EXPECT_EQ(ActionHandler::tempoFromIntervals({{1000, 1000, 1000}}), 60);
    // 60000 / 480 = 125 exactly; 60000 / 481 = 124.74 -> 125.
    EXPECT_EQ(ActionHandler::tempoFromIntervals({{481, 481, 481}}), 125);
    EXPECT_EQ(ActionHandler::tempoFromIntervals({{0, 0, 0}}), 0);
}

TEST_F(Actions, SetTempoIgnoresTemposThatWouldStopTheClock)
{
    actions.setTempo(97);
    EXPECT_EQ(state.getTempo(), 97);
    actions.setTempo(0);
    actions.setTempo(-5);
    EXPECT_EQ(state.getTempo(), 97);
}

// --- state items -------------------------------------------------------------

TEST_F(Actions, ModeActionsSetTheApplicationState)
{
    actions.enterHiResMidiMode();
    EXPECT_TRUE(state.getHiResMidiState());
    actions.quitHiResMidiMode();
    EXPECT_FALSE(state.getHiResMidiState());

    actions.toggleAccessibility(true);
    EXPECT_TRUE(state.getAccessibilityState());
    actions.quitAccessibilityMode();
    EXPECT_FALSE(state.getAccessibilityState());

    actions.enterLiveMode();
    EXPECT_TRUE(state.getLiveModeState());
    actions.toggleLiveMode(false);
    EXPECT_FALSE(state.getLiveModeState());

    state.setFocusedSource(2);
    actions.showPresetBay();
    EXPECT_TRUE(state.getPresetBayState());
    EXPECT_EQ(state.getFocusedSource(), -1);
    actions.hidePresetBay();
    EXPECT_FALSE(state.getPresetBayState());

    QSignalSpy exit(&state, &StateManager::shouldExitEditing);
    actions.exitEditing();
    EXPECT_EQ(exit.count(), 1);
}

TEST_F(Actions, ConnectionRequests)
{
    QSignalSpy connects(&actions, &ActionHandler::shouldConnect);
    QSignalSpy disconnects(&actions, &ActionHandler::shouldDisconnect);
    actions.connect();
    actions.toggleConnection(true);
    actions.disconnect();
    actions.toggleConnection(false);
    actions.toggleConnection(false);
    EXPECT_EQ(connects.count(), 2);
    EXPECT_EQ(disconnects.count(), 3);
}

TEST_F(Actions, EveryActionCopesWithMissingPeers)
{
    AppContext::clear();
    actions.newPatch();
    actions.savePatch();
    actions.enterMappingMode();
    actions.quitMappingMode();
    actions.toggleFloatingWindowMode(true);
    actions.tapTempo();
    actions.setTempo(100);
    actions.exitEditing();
    actions.showPresetBay();
    actions.sendBlinkOnDeviceAt(0);
    actions.setAudioDevice(QStringLiteral("x"));
    actions.setAudioBufferSize(128);
    actions.setZAuditoryFreq(440.0f);
    actions.setZAuditoryIsPlaying(true);
    EXPECT_EQ(actions.getAudioDeviceTypes(), QStringList{QStringLiteral("No audio driver found")});
    EXPECT_EQ(actions.getAllAudioDevices(),
              QStringList{QStringLiteral("No audio device available")});
    EXPECT_TRUE(actions.getCurrentDeviceType().isEmpty());
    EXPECT_TRUE(actions.getCurrentDevice().isEmpty());
    EXPECT_TRUE(actions.getAvailableAudioBufferSize().isEmpty());
    actions.quitApp();
    EXPECT_TRUE(actions.hasQuit());
}

TEST_F(Actions, TheWebPagesLiveUnderTheMakersSite)
{
    QList<QUrl> opened;
    actions.setUrlOpener([&](const QUrl& url) {
        opened << url;
        return true;
    });
    actions.openTutorials();
    actions.openContactForm();
    actions.setMakerSite(QUrl(QStringLiteral("https://other.example.net")));
    actions.openContactForm();
    ASSERT_EQ(opened.size(), 3);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("https://kinetra.example.org/tutorials/")));
    EXPECT_EQ(opened[1], QUrl(QStringLiteral("https://kinetra.example.org/contact")));
    EXPECT_EQ(opened[2], QUrl(QStringLiteral("https://other.example.net/contact")));
}

TEST_F(Actions, BlinkGoesToTheSensorAtThatPosition)
{
    MotionControlEngine engine;
    AppContext::setEngine(&engine);
    engine.addNewDevice(77);
    Orvik* device = engine.getDeviceAt(0);
    ASSERT_NE(device, nullptr);
    QSignalSpy blinks(device, &Orvik::shouldSendBlink);
    actions.sendBlinkOnDeviceAt(0);
    actions.sendBlinkOnDeviceAt(1); // nobody there
    actions.sendBlinkOnDeviceAt(-1);
    ASSERT_EQ(blinks.count(), 1);
    EXPECT_EQ(blinks.at(0).at(0).value<uint64_t>(), 77u);
}

// --- window ------------------------------------------------------------------

class WindowActions : public Actions
{
protected:
    void SetUp() override
    {
        Actions::SetUp();
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
            GTEST_SKIP() << "needs a GUI application";
        window = std::make_unique<QWindow>();
        window->resize(200, 100);
        actions.setWindow(window.get());
    }
    bool onTop() const { return window->flags().testFlag(Qt::WindowStaysOnTopHint); }

    std::unique_ptr<QWindow> window;
};

TEST_F(WindowActions, MappingModePutsTheWindowOnTopAndShowsIt)
{
    actions.enterMappingMode();
    EXPECT_TRUE(state.getMappingModeState());
    EXPECT_TRUE(onTop());
    EXPECT_TRUE(window->isVisible());

    actions.quitMappingMode();
    EXPECT_FALSE(state.getMappingModeState());
    EXPECT_FALSE(onTop());
}

TEST_F(WindowActions, QuitMappingModeWhileOffDoesNothing)
{
    QSignalSpy mapping(&state, &StateManager::mappingModeStateChanged);
    actions.quitMappingMode();
    EXPECT_EQ(mapping.count(), 0);
    EXPECT_FALSE(window->isVisible()); // not even shown
    actions.toggleMappingMode(false);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowActions, QuitMappingModeLeavesAFloatingWindowOnTop)
{
    actions.enterFloatingWindowMode();
    EXPECT_TRUE(state.getFloatingWindowState());
    actions.toggleMappingMode(true);
    actions.toggleMappingMode(false);
    EXPECT_FALSE(state.getMappingModeState());
    EXPECT_TRUE(onTop());

    actions.quitFloatingWindowMode();
    EXPECT_FALSE(state.getFloatingWindowState());
    EXPECT_FALSE(onTop());
}

TEST_F(WindowActions, ShowingAndHidingTheWindow)
{
    actions.toogleWindowVisibility(true);
    EXPECT_TRUE(window->isVisible());
    actions.toogleWindowVisibility(false);
    EXPECT_FALSE(window->isVisible());
    actions.showWindow();
    EXPECT_TRUE(window->isVisible());
    actions.closeWindow();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowActions, WithoutAnyWindowTheWindowActionsDoNothing)
{
    window.reset();
    ASSERT_TRUE(QGuiApplication::topLevelWindows().isEmpty());
    EXPECT_EQ(actions.window(), nullptr);
    actions.enterMappingMode();
    EXPECT_TRUE(state.getMappingModeState());
    actions.toggleFloatingWindowMode(true);
    actions.toogleWindowVisibility(true);
    actions.closeWindow();
    actions.quitMappingMode();
    EXPECT_FALSE(state.getMappingModeState());
}

TEST_F(WindowActions, TheFirstTopLevelWindowIsUsedWhenNoneWasGiven)
{
    actions.setWindow(nullptr);
    EXPECT_EQ(actions.window(), window.get());
    actions.showWindow();
    EXPECT_TRUE(window->isVisible());
}

// --- cursor --------------------------------------------------------------------

TEST_F(WindowActions, HideCursorTwiceRecordsTheFirstPosition)
{
    QCursor::setPos(QPoint(10, 20));
    const QPoint first = QCursor::pos();
    actions.hideCursor();
    QCursor::setPos(QPoint(50, 60));
    actions.hideCursor();
    EXPECT_EQ(actions.hiddenCursorPosition(), first);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);

    actions.restoreCursorAt();
    EXPECT_EQ(actions.hiddenCursorPosition(), QPoint(-1, -1));
    // One override only was pushed, and it is gone.
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QCursor::pos(), first);
}

TEST_F(WindowActions, RestoringTheCursorLeavesAnotherOverrideAlone)
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    actions.restoreCursorAt();
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);

    actions.hideCursor();
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
    actions.restoreCursorAt();
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QGuiApplication::restoreOverrideCursor();
}

// --- patches -------------------------------------------------------------------

class PatchActions : public Actions
{
protected:
    void SetUp() override
    {
        Actions::SetUp();
        ASSERT_TRUE(dir.isValid());
        files = std::make_unique<FileManager>(StoragePaths(dir.path()));
        AppContext::setFileManager(files.get());
        AppContext::setEngine(&engine);
    }

    QTemporaryDir dir;
    std::unique_ptr<FileManager> files;
    MotionControlEngine engine;
};

TEST_F(PatchActions, SavePatchWithoutAPathAsksForAFile)
{
    ASSERT_TRUE(files->getCurrentPatchPath().isEmpty());
    QSignalSpy dialog(&actions, &ActionHandler::shouldOpenFileDialog);
    actions.savePatch();
    ASSERT_EQ(dialog.count(), 1);
    EXPECT_TRUE(dialog.at(0).at(0).toBool());
}

TEST_F(PatchActions, SavePatchWritesToTheCurrentPath)
{
    const QString path = dir.filePath(QStringLiteral("mine.json"));
    files->setCurrentPatchPath(path);
    engine.addNewCSourceAt(0);
    QSignalSpy dialog(&actions, &ActionHandler::shouldOpenFileDialog);
    actions.savePatch();
    EXPECT_EQ(dialog.count(), 0);
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains("Wheel 1"));
}

TEST_F(PatchActions, OpenAndSaveAsAskForAFile)
{
    QSignalSpy dialog(&actions, &ActionHandler::shouldOpenFileDialog);
    actions.openPatch();
    actions.savePatchAs();
    ASSERT_EQ(dialog.count(), 2);
    EXPECT_FALSE(dialog.at(0).at(0).toBool());
    EXPECT_TRUE(dialog.at(1).at(0).toBool());
}

TEST_F(PatchActions, NewPatchLoadsTheDefaultPatch)
{
    QSignalSpy changed(files.get(), &FileManager::patchChanged);
    actions.newPatch();
    EXPECT_EQ(changed.count(), 1);
}

// --- audio driver change -----------------------------------------------------

TEST_F(Actions, TwoDriverChangesInARowRestartTheTimeOut)
{
    QSignalSpy timeouts(&actions, &ActionHandler::driverChangeTimeout);
    actions.setAudioDeviceType(QStringLiteral("ALSA"));
    ASSERT_TRUE(actions.isDriverChangeTimerActive());
    QThread::msleep(300);
    const int before = actions.driverChangeRemainingMs();
    EXPECT_LE(before, ActionHandler::kDriverChangeTimeoutMs - 300);
    actions.setAudioDeviceType(QStringLiteral("JACK"));
    EXPECT_GT(actions.driverChangeRemainingMs(), before);
    EXPECT_EQ(timeouts.count(), 0);
}

TEST_F(Actions, ATimeOutIsSignalledOnce)
{
    actions.setDriverChangeTimeoutMs(100);
    QSignalSpy timeouts(&actions, &ActionHandler::driverChangeTimeout);
    actions.setAudioDeviceType(QStringLiteral("ALSA"));
    actions.setAudioDeviceType(QStringLiteral("JACK"));
    ASSERT_TRUE(timeouts.wait(10000));
    QTest::qWait(500); // a single-shot timer: nothing more comes
    EXPECT_EQ(timeouts.count(), 1);
    EXPECT_FALSE(actions.isDriverChangeTimerActive());
}

TEST_F(Actions, AStoppedTimeOutIsNotSignalled)
{
    actions.setDriverChangeTimeoutMs(100);
    QSignalSpy timeouts(&actions, &ActionHandler::driverChangeTimeout);
    actions.setAudioDeviceType(QStringLiteral("ALSA"));
    actions.stopTimeoutTimer();
    QTest::qWait(400);
    EXPECT_EQ(timeouts.count(), 0);
}

// The audio host over stand-in devices.
class AudioActions : public Actions
{
protected:
    void SetUp() override
    {
        Actions::SetUp();
        ASSERT_TRUE(dir.isValid());
        log = std::make_shared<testsupport::FakeDeviceLog>();
        audio = std::make_unique<AudioProcessorHolder>(dir.filePath(QStringLiteral("audio.xml")));
        audio->addAudioDeviceType(
            std::make_unique<FakeAudioDeviceType>("Fake A", juce::StringArray{"Speakers"}, log));
        audio->addAudioDeviceType(std::make_unique<FakeAudioDeviceType>(
            "Fake B", juce::StringArray{"Headphones", "Line"}, log));
        audio->initialise();
        AppContext::setAudioHolder(audio.get());
        actions.setReleaser(ActionHandler::SharedObject::AudioHost, [this] { audio.reset(); });
    }
    void TearDown() override
    {
        audio.reset();
        pumpJuceMessages();
        Actions::TearDown();
    }

    QTemporaryDir dir;
    std::shared_ptr<testsupport::FakeDeviceLog> log;
    std::unique_ptr<AudioProcessorHolder> audio;
};

TEST_F(AudioActions, TheAudioListsComeFromTheHost)
{
    EXPECT_EQ(actions.getAudioDeviceTypes(),
              (QStringList{QStringLiteral("Fake A"), QStringLiteral("Fake B")}));
    EXPECT_EQ(actions.getCurrentDeviceType(), QStringLiteral("Fake A"));
    EXPECT_EQ(actions.getCurrentDevice(), QStringLiteral("Speakers"));
    EXPECT_EQ(actions.getAllAudioDevices(), QStringList{QStringLiteral("Speakers")});
    EXPECT_FALSE(actions.getAvailableAudioBufferSize().isEmpty());
}

TEST_F(AudioActions, TheDriverChangesOnAPoolThreadAndTheHostsSignalIsRelayed)
{
    actions.attachAudioHost(audio.get());
    QSignalSpy changed(&actions, &ActionHandler::audioDeviceChanged);
    log->openDelayMs = 200;
    actions.setAudioDeviceType(QStringLiteral("Fake B"));
    // The request returns at once; the change runs elsewhere.
    EXPECT_EQ(actions.pendingDriverChanges(), 1);
    ASSERT_TRUE(actions.waitForDriverChanges(20000));
    EXPECT_EQ(actions.getCurrentDeviceType(), QStringLiteral("Fake B"));
    ASSERT_TRUE(testsupport::waitUntil([&] { return changed.count() > 0; }, 10000));
    actions.stopTimeoutTimer();
}

TEST_F(AudioActions, QuittingWaitsForADriverChangeInProgress)
{
    log->openDelayMs = 300;
    actions.setAudioDeviceType(QStringLiteral("Fake B"));
    actions.setAudioDeviceType(QStringLiteral("Fake A"));
    actions.quitApp();
    EXPECT_EQ(actions.pendingDriverChanges(), 0);
    EXPECT_EQ(audio, nullptr); // released after the jobs ended
    EXPECT_EQ(AppContext::audioHolder(), nullptr);
    EXPECT_FALSE(actions.isDriverChangeTimerActive());
    // No further change is started once quitting began.
    actions.setAudioDeviceType(QStringLiteral("Fake B"));
    EXPECT_EQ(actions.pendingDriverChanges(), 0);
}

TEST_F(AudioActions, TheGuideToneParametersReachTheToneGenerator)
{
    actions.setZAuditoryIsPlaying(true);
    actions.setZAuditoryFreq(660.0f);
    actions.setZAuditoryAmp(0.5f);
    actions.setZAuditoryPan(1.0f);
    actions.setZAuditoryLfoRate(3.0f);
    EXPECT_TRUE(audio->toneGenerator().isPlaying());
    actions.setZAuditoryIsPlaying(false);
    EXPECT_FALSE(audio->toneGenerator().isPlaying());
}

// --- quitting ------------------------------------------------------------------

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

// Every object quitting touches, as start-up would register them, over an
// in-memory MIDI service, stand-in audio devices, a temporary documents
// folder and an OSC receiver of the test's own.
class QuitSequence : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(oscSink.bind(QHostAddress(QHostAddress::LocalHost), 0));
        AppContext::setActionHandler(&actions);
        AppContext::setStateManager(&state);
        files = std::make_unique<FileManager>(StoragePaths(dir.path()));
        AppContext::setFileManager(files.get());
        qint64 seconds = 1700000000;
        files->setClock([seconds]() mutable { return seconds++; });
        engine = std::make_unique<MotionControlEngine>();
        AppContext::setEngine(engine.get());
        engine->addNewCSourceAt(0);

        midi = std::make_unique<MidiHandler>(std::make_shared<InMemoryMidiBackend>());
        AppContext::setMidiHandler(midi.get());
        osc = std::make_unique<OSCHandler>(QStringLiteral("127.0.0.1"), oscSink.localPort());
        AppContext::setOscHandler(osc.get());

        audio = std::make_unique<AudioProcessorHolder>(files->getAudioSetupPath());
        audio->addAudioDeviceType(
            std::make_unique<FakeAudioDeviceType>("Fake", juce::StringArray{"Speakers"}));
        audio->setBlockObserver([this](int) { ++blocks; });
        AppContext::setAudioHolder(audio.get());
        audio->initialise();
        transport = std::make_unique<Transport>();
        AppContext::setTransport(transport.get());
        arpeggiator = std::make_unique<Arpeggiator>(transport.get(), nullptr);
        AppContext::setArpeggiator(arpeggiator.get());

        using Shared = ActionHandler::SharedObject;
        actions.setReleaser(Shared::MidiHandler, [this] {
            steps << QStringLiteral("midi");
            atFirstRelease();
            EXPECT_EQ(AppContext::midiHandler(), nullptr);
            midi.reset();
        });
        actions.setReleaser(Shared::Arpeggiator, [this] {
            steps << QStringLiteral("arpeggiator");
            EXPECT_EQ(AppContext::arpeggiator(), nullptr);
            arpeggiator.reset();
        });
        actions.setReleaser(Shared::OscHandler, [this] {
            steps << QStringLiteral("osc");
            EXPECT_EQ(AppContext::oscHandler(), nullptr);
            osc.reset();
        });
        actions.setReleaser(Shared::AudioHost, [this] {
            steps << QStringLiteral("audio");
            EXPECT_EQ(AppContext::audioHolder(), nullptr);
            audio.reset();
        });
        actions.setLibraryShutdown([this] {
            steps << QStringLiteral("library");
            EXPECT_EQ(midi, nullptr);
            EXPECT_EQ(audio, nullptr);
        });
        actions.setApplicationQuit([this] { steps << QStringLiteral("quit"); });
        QObject::connect(&actions, &ActionHandler::shouldDisconnect, [this] {
            steps << QStringLiteral("disconnect");
            atDisconnect();
        });

        ASSERT_TRUE(writes.watch(dir.path()));
        ASSERT_TRUE(writes.watch(files->paths().backupFolder()));
    }

    void TearDown() override
    {
        arpeggiator.reset();
        transport.reset();
        audio.reset();
        osc.reset();
        midi.reset();
        engine.reset();
        pumpJuceMessages();
        AppContext::clear();
    }

    // Runs one block through the stand-in device; whether it reached the
    // audio host.
    bool blockReachesTheHost()
    {
        auto* device =
            dynamic_cast<FakeAudioDevice*>(audio->deviceManager().getCurrentAudioDevice());
        if (device == nullptr)
            return false;
        std::vector<std::vector<float>> outputs(2, std::vector<float>(64, 0.0f));
        const int before = blocks.load();
        device->process(outputs);
        return blocks.load() > before;
    }

    // Step 2: the audio set-up is saved; nothing after has happened yet.
    void atDisconnect()
    {
        EXPECT_EQ(writes.written(), QStringList{QStringLiteral("audioSetup.xml")});
        EXPECT_TRUE(transport->isActive());
        EXPECT_TRUE(blockReachesTheHost());
    }

    // Step 7: the clock stopped, the audio detached, the files written and
    // "/close" sent.
    void atFirstRelease()
    {
        EXPECT_FALSE(transport->isActive());
        EXPECT_FALSE(blockReachesTheHost());
        const QStringList written = writes.written();
        ASSERT_EQ(written.size(), 4) << written.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(written.mid(0, 3),
                  (QStringList{QStringLiteral("audioSetup.xml"), QStringLiteral("devices.json"),
                               QStringLiteral("settings.json")}));
        EXPECT_TRUE(written[3].endsWith(QStringLiteral(".json")));
        EXPECT_TRUE(QFile::exists(files->paths().backupFolder() + QLatin1Char('/') + written[3]));
        ASSERT_TRUE(oscSink.waitForReadyRead(5000) || oscSink.hasPendingDatagrams());
        QByteArray datagram(int(oscSink.pendingDatagramSize()), '\0');
        oscSink.readDatagram(datagram.data(), datagram.size());
        EXPECT_EQ(datagram, QByteArray("/close\0\0,\0\0\0", 12));
    }

    QTemporaryDir dir;
    QUdpSocket oscSink;
    WriteWatch writes;
    QStringList steps;
    std::atomic<int> blocks{0};

    ActionHandler actions;
    StateManager state;
    std::unique_ptr<FileManager> files;
    std::unique_ptr<MotionControlEngine> engine;
    std::unique_ptr<MidiHandler> midi;
    std::unique_ptr<OSCHandler> osc;
    std::unique_ptr<AudioProcessorHolder> audio;
    std::unique_ptr<Transport> transport;
    std::unique_ptr<Arpeggiator> arpeggiator;
};

TEST_F(QuitSequence, RunsItsNineStepsInOrder)
{
    actions.quitApp();
    EXPECT_EQ(steps, (QStringList{QStringLiteral("disconnect"), QStringLiteral("midi"),
                                  QStringLiteral("arpeggiator"), QStringLiteral("osc"),
                                  QStringLiteral("audio"), QStringLiteral("library"),
                                  QStringLiteral("quit")}));
    EXPECT_EQ(AppContext::midiHandler(), nullptr);
    EXPECT_EQ(AppContext::arpeggiator(), nullptr);
    EXPECT_EQ(AppContext::oscHandler(), nullptr);
    EXPECT_EQ(AppContext::audioHolder(), nullptr);
    // The rest stays for the holders to destroy at exit.
    EXPECT_EQ(AppContext::transport(), transport.get());
    EXPECT_EQ(AppContext::fileManager(), files.get());
}

TEST_F(QuitSequence, WritesEachFileOnceEvenWhenCalledAgain)
{
    actions.quitApp();
    const QStringList first = writes.written();
    ASSERT_EQ(first.size(), 4);
    steps.clear();

    // aboutToQuit after the user interface's own quit.
    actions.quitApp();
    EXPECT_EQ(writes.written(), first);
    EXPECT_EQ(steps, QStringList{QStringLiteral("quit")});
    EXPECT_FALSE(oscSink.waitForReadyRead(200)); // one "/close" only
    EXPECT_EQ(QDir(files->paths().backupFolder())
                  .entryList({QStringLiteral("*.json")}, QDir::Files)
                  .size(),
              1);
}

TEST_F(QuitSequence, WritesTheCurrentPatchInsteadOfABackup)
{
    const QString path = dir.filePath(QStringLiteral("live-set.json"));
    files->setCurrentPatchPath(path);
    // The checks made at the first release expect a backup; here only the
    // order of the files matters.
    actions.setReleaser(ActionHandler::SharedObject::MidiHandler, [this] { midi.reset(); });
    actions.quitApp();
    EXPECT_EQ(writes.written(),
              (QStringList{QStringLiteral("audioSetup.xml"), QStringLiteral("devices.json"),
                           QStringLiteral("settings.json"), QStringLiteral("live-set.json")}));
    EXPECT_TRUE(QDir(files->paths().backupFolder()).entryList(QDir::Files).isEmpty());
}

// Last in this file: it takes the audio library down (and brings its message
// manager back for whatever runs after).
TEST(AudioLibraryShutdown, LeavesNoMessageManagerBehind)
{
    ASSERT_NE(juce::MessageManager::getInstanceWithoutCreating(), nullptr);
    ActionHandler::shutDownAudioLibrary();
    EXPECT_EQ(juce::MessageManager::getInstanceWithoutCreating(), nullptr);
    ActionHandler::shutDownAudioLibrary(); // a second time finds nothing to do
    juce::MessageManager::getInstance();
}

} // namespace
