// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ActionHandler.h"

#include "app/StateManager.h"
#include "audio/AudioProcessorHolder.h"
#include "audio/FakeAudioDeviceType.h"
#include "audio/JuceTestEnvironment.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "storage/FileManager.h"
#include "storage/StoragePaths.h"
#include "support/SignalWait.h"

#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QWindow>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

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

// The handler over the real state, engine and files (in a temporary
// documents folder); no audio host, no window.
class Actions : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        actions.setClock(clock.function());
        actions.setQuitRequest([this] { ++quitRequests; });
    }

    QTemporaryDir dir;
    StateManager state;
    MotionControlEngine engine{state};
    FileManager files{StoragePaths(dir.path()), engine, nullptr, state};
    ManualClock clock;
    int quitRequests = 0;
    ActionHandler actions{state, files, engine};
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

TEST_F(Actions, EveryActionCopesWithoutAudioHostOrWindow)
{
    actions.enterMappingMode();
    actions.quitMappingMode();
    actions.toggleFloatingWindowMode(true);
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
    // Quitting only asks the application to quit, each time.
    actions.quitApp();
    actions.quitApp();
    EXPECT_EQ(quitRequests, 2);
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

TEST_F(Actions, SavePatchWithoutAPathAsksForAFile)
{
    ASSERT_TRUE(files.getCurrentPatchPath().isEmpty());
    QSignalSpy dialog(&actions, &ActionHandler::shouldOpenFileDialog);
    actions.savePatch();
    ASSERT_EQ(dialog.count(), 1);
    EXPECT_TRUE(dialog.at(0).at(0).toBool());
}

TEST_F(Actions, SavePatchWritesToTheCurrentPath)
{
    const QString path = dir.filePath(QStringLiteral("mine.json"));
    files.setCurrentPatchPath(path);
    engine.addNewCSourceAt(0);
    QSignalSpy dialog(&actions, &ActionHandler::shouldOpenFileDialog);
    actions.savePatch();
    EXPECT_EQ(dialog.count(), 0);
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains("Wheel 1"));
}

TEST_F(Actions, OpenAndSaveAsAskForAFile)
{
    QSignalSpy dialog(&actions, &ActionHandler::shouldOpenFileDialog);
    actions.openPatch();
    actions.savePatchAs();
    ASSERT_EQ(dialog.count(), 2);
    EXPECT_FALSE(dialog.at(0).at(0).toBool());
    EXPECT_TRUE(dialog.at(1).at(0).toBool());
}

TEST_F(Actions, NewPatchLoadsTheDefaultPatch)
{
    QSignalSpy changed(&files, &FileManager::patchChanged);
    actions.newPatch();
    EXPECT_EQ(changed.count(), 1);
}

// The preset that was current before is no longer marked, nor written over.
TEST_F(Actions, ANewPatchLeavesNoPresetCurrent)
{
    files.saveCurrentPatchToSlot(2, QStringLiteral("Verse"));
    ASSERT_TRUE(files.slotIsChecked(2));
    actions.newPatch();
    EXPECT_FALSE(files.slotIsChecked(2));
    QSignalSpy asked(&actions, &ActionHandler::shouldOpenFileDialog);
    actions.savePatch();
    EXPECT_EQ(asked.count(), 1);
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
        log = std::make_shared<testsupport::FakeDeviceLog>();
        audio = std::make_shared<AudioProcessorHolder>(dir.filePath(QStringLiteral("audio.xml")),
                                                       state, nullptr);
        audio->addAudioDeviceType(
            std::make_unique<FakeAudioDeviceType>("Fake A", juce::StringArray{"Speakers"}, log));
        audio->addAudioDeviceType(std::make_unique<FakeAudioDeviceType>(
            "Fake B", juce::StringArray{"Headphones", "Line"}, log));
        audio->initialise();
        actions.attachAudioHost(audio);
    }
    void TearDown() override
    {
        actions.detachAudioHost();
        audio.reset();
        pumpJuceMessages();
    }

    std::shared_ptr<testsupport::FakeDeviceLog> log;
    std::shared_ptr<AudioProcessorHolder> audio;
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

TEST_F(AudioActions, TheDriverChangesOnAThreadOfItsOwnAndTheHostsSignalIsRelayed)
{
    QSignalSpy changed(&actions, &ActionHandler::audioDeviceChanged);
    log->openDelayMs = 200;
    actions.setAudioDeviceType(QStringLiteral("Fake B"));
    // The request returns at once; the change runs elsewhere.
    EXPECT_EQ(actions.pendingDriverChanges(), 1);
    ASSERT_TRUE(actions.waitForDriverChanges(20000));
    EXPECT_EQ(actions.getCurrentDeviceType(), QStringLiteral("Fake B"));
    ASSERT_TRUE(testsupport::waitUntil([&] { return changed.count() > 0; }, 10000));
    // The window learns that the change is over.
    EXPECT_TRUE(testsupport::waitUntil(
        [&] { return !actions.property("isChangingAudioDriver").toBool(); }, 10000));
    actions.stopTimeoutTimer();
}

// A change still running when everyone else let go of the host (the handler
// destroyed, the host released) keeps the host until it ends, and the host
// then goes on the GUI thread, where its device manager and its signals
// live, not on the change's.
TEST_F(AudioActions, AChangeHoldsItsHostUntilItEnds)
{
    auto handler = std::make_unique<ActionHandler>(state, files, engine);
    handler->attachAudioHost(audio);
    auto destroyedOn = std::make_shared<std::atomic<Qt::HANDLE>>(nullptr);
    QObject::connect(audio.get(), &QObject::destroyed,
                     [destroyedOn] { *destroyedOn = QThread::currentThreadId(); });
    const std::weak_ptr<AudioProcessorHolder> host = audio;
    const int opensBefore = log->opens.load();
    log->openDelayMs = 300;
    handler->setAudioDeviceType(QStringLiteral("Fake B"));

    handler.reset();
    actions.detachAudioHost();
    audio.reset();
    EXPECT_FALSE(host.expired());

    ASSERT_TRUE(testsupport::waitUntil([&] { return host.expired(); }, 20000));
    EXPECT_GT(log->opens.load(), opensBefore); // the change ran to its end
    EXPECT_EQ(destroyedOn->load(), QThread::currentThreadId());
}

// While a driver change is stuck opening a device, the window's questions
// are answered at once (from what was known before the change) and the
// choices that would wait for the change are refused; quitting then waits
// only as long as it is told and leaves the host to the change, which ends
// on its own later.
TEST_F(AudioActions, AStuckDriverChangeNeitherFreezesTheWindowNorHoldsUpQuitting)
{
    using Clock = std::chrono::steady_clock;
    log->openDelayMs = 2000;
    actions.setAudioDeviceType(QStringLiteral("Fake B"));
    ASSERT_TRUE(testsupport::waitUntil([&] { return log->opening.load() > 0; }, 10000));
    EXPECT_TRUE(actions.property("isChangingAudioDriver").toBool());

    const auto asked = Clock::now();
    EXPECT_EQ(actions.getAudioDeviceTypes(),
              (QStringList{QStringLiteral("Fake A"), QStringLiteral("Fake B")}));
    EXPECT_EQ(actions.getCurrentDeviceType(), QStringLiteral("Fake A"));
    EXPECT_EQ(actions.getCurrentDevice(), QStringLiteral("Speakers"));
    EXPECT_EQ(actions.getAllAudioDevices(), QStringList{QStringLiteral("Speakers")});
    EXPECT_FALSE(actions.getAvailableAudioBufferSize().isEmpty());
    actions.setAudioBufferSize(128);
    actions.setAudioDevice(QStringLiteral("Speakers"));
    EXPECT_LT(Clock::now() - asked, std::chrono::milliseconds(100));

    // The quit sequence's part: stop, wait a little, let go.
    const std::weak_ptr<AudioProcessorHolder> host = audio;
    const auto quitting = Clock::now();
    actions.driverChanger().setStopped();
    EXPECT_FALSE(actions.waitForDriverChanges(200));
    EXPECT_LT(Clock::now() - quitting, std::chrono::milliseconds(1000));
    actions.detachAudioHost();
    audio.reset();
    EXPECT_FALSE(host.expired());
    ASSERT_TRUE(testsupport::waitUntil([&] { return host.expired(); }, 20000));
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

} // namespace
