// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/AudioDriverChanger.h"
#include "app/TapTempo.h"
#include "app/WindowControl.h"

#include <QElapsedTimer>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <array>
#include <functional>
#include <memory>

class AudioProcessorHolder;
class FileManager;
class MotionControlEngine;
class QGuiApplication;
class QWindow;
class StateManager;

// The one object through which the user interface asks for things to
// happen: patches, the receiver connection, the window modes and the
// window itself, the cursor while a knob is dragged, the tempo (set or
// tapped), the audio driver, device and buffer size, the guide tone, the two
// web pages and quitting. Most actions set an item of the application state
// or emit a request another object answers; the window and cursor
// (WindowControl), tap tempo (TapTempo) and the driver change with its
// time-out (AudioDriverChanger) are pieces of their own behind it.
//
// The state, the files and the engine are given at construction and outlive
// this object. The audio host comes later (attachAudioHost) and may be
// missing: the audio getters then answer with placeholders and the audio
// setters do nothing. The window actions do nothing without a window, the
// cursor actions nothing without a GUI application.
//
// Threads: every slot runs on the GUI thread; the driver change runs on a
// thread of its own (see AudioDriverChanger).
class ActionHandler : public QObject
{
    Q_OBJECT
    // Set from the request of a driver change until no change runs any more;
    // the audio getters meanwhile answer with what was known before.
    Q_PROPERTY(
        bool isChangingAudioDriver READ isChangingAudioDriver NOTIFY isChangingAudioDriverChanged)

public:
    // Milliseconds from an arbitrary, monotonic origin.
    using MillisecondClock = std::function<qint64()>;

    static constexpr int kDriverChangeTimeoutMs = AudioDriverChanger::kTimeoutMs;
    // A tap later than this (or in the same millisecond) starts a new
    // sequence.
    static constexpr int kTapSequenceLimitMs = TapTempo::kSequenceLimitMs;
    // The maker's web site, host of the tutorials and contact pages.
    static constexpr const char* kDefaultMakerSite = "https://kinetra.example.org";

    ActionHandler(StateManager& state, FileManager& files, MotionControlEngine& engine,
                  QGuiApplication* app = nullptr, QObject* parent = nullptr);
    ~ActionHandler() override;

    // --- set-up and seams --------------------------------------------------

    // The clock of tap tempo (defaults to a monotonic timer).
    void setClock(MillisecondClock clock);
    // The window the window actions act on; without one, the first of the
    // application's top-level windows.
    void setWindow(QWindow* window) { m_windowControl.setWindow(window); }
    QWindow* window() const { return m_windowControl.window(); }
    void setMakerSite(const QUrl& site);
    QUrl makerSite() const { return m_makerSite; }
    // Opens a web page; defaults to the desktop's URL handler.
    void setUrlOpener(std::function<bool(const QUrl&)> opener);
    // What quitApp does: ask the application to quit; defaults to
    // QCoreApplication::quit(). The quit sequence itself answers that.
    void setQuitRequest(std::function<void()> request);
    void setDriverChangeTimeoutMs(int ms) { m_driverChanger.setTimeoutMs(ms); }
    // The audio host the audio actions use, from now on; its
    // audioDeviceChanged is relayed as this object's signal, on the GUI
    // thread.
    void attachAudioHost(std::shared_ptr<AudioProcessorHolder> host);
    // Lets go of the audio host (a driver change still running keeps it
    // until it ends).
    void detachAudioHost();
    // The driver changes, for whoever quits: to wait for them and stop them.
    AudioDriverChanger& driverChanger() { return m_driverChanger; }

    // --- observable state --------------------------------------------------

    // The position recorded by hideCursor; (-1, -1) when none.
    QPoint hiddenCursorPosition() const { return m_windowControl.hiddenCursorPosition(); }
    int tapCount() const { return m_tapTempo.tapCount(); }
    bool isChangingAudioDriver() const { return m_changingDriver; }
    bool isDriverChangeTimerActive() const { return m_driverChanger.isTimerActive(); }
    int driverChangeRemainingMs() const { return m_driverChanger.remainingMs(); }
    // Driver changes started and not finished yet.
    int pendingDriverChanges() const { return m_driverChanger.pendingDriverChanges(); }
    // Blocks until no driver change is in progress, at most `timeoutMs`.
    bool waitForDriverChanges(int timeoutMs)
    {
        return m_driverChanger.waitForDriverChanges(timeoutMs);
    }

    static int tempoFromIntervals(const std::array<int, 3>& intervalsMs)
    {
        return TapTempo::tempoFromIntervals(intervalsMs);
    }
    // The audio library's shut-down: stops its dispatch loop, deletes the
    // objects it deletes at shut-down and its message manager.
    static void shutDownAudioLibrary();

    Q_INVOKABLE QGuiApplication* getApp() const { return m_app; }
    Q_INVOKABLE QString getAppVersion() const;
    Q_INVOKABLE QStringList getAudioDeviceTypes() const;
    Q_INVOKABLE QStringList getAllAudioDevices() const;
    Q_INVOKABLE QString getCurrentDeviceType() const;
    Q_INVOKABLE QString getCurrentDevice() const;
    Q_INVOKABLE QList<int> getAvailableAudioBufferSize() const;

Q_SIGNALS:
    void shouldOpenFileDialog(bool isSaving);
    void shouldConnect();
    void shouldDisconnect();
    void audioDeviceChanged();
    void driverChangeTimeout();
    void isChangingAudioDriverChanged(bool changing);

public Q_SLOTS:
    void newPatch();
    void openPatch();
    void savePatch();
    void savePatchAs();
    void openPreferenceWindow();

    void toggleConnection(bool arg);
    // Hide QObject::connect / disconnect inside this class: use the
    // qualified QObject:: forms there.
    void connect();
    void disconnect();

    void enterMappingMode();
    void quitMappingMode();
    void toggleMappingMode(bool arg);
    void enterLiveMode();
    void quitLiveMode();
    void toggleLiveMode(bool arg);
    void enterFloatingWindowMode();
    void quitFloatingWindowMode();
    void toggleFloatingWindowMode(bool arg);
    void toogleWindowVisibility(bool arg);
    void closeWindow();
    void showWindow();

    void openTutorials();
    void openContactForm();

    void tapTempo();
    // Tempos below 1 are ignored (they would stop the clock).
    void setTempo(int newTempo);

    void enterAccessibilityMode();
    void quitAccessibilityMode();
    void toggleAccessibility(bool arg);

    // Asks the application to quit (see setQuitRequest).
    void quitApp();

    void hideCursor();
    // Shows the cursor again at the position hideCursor recorded.
    void restoreCursorAt();
    void exitEditing();

    void showPresetBay();
    void hidePresetBay();
    void enterHiResMidiMode();
    void quitHiResMidiMode();

    void sendBlinkOnDeviceAt(int i);

    void setAudioDeviceType(QString type);
    void setAudioDevice(QString name);
    void setAudioBufferSize(int newSize);
    void stopTimeoutTimer();

    void setZAuditoryFreq(float val);
    void setZAuditoryAmp(float val);
    void setZAuditoryPan(float val);
    void setZAuditoryLfoRate(float val);
    void setZAuditoryIsPlaying(bool val);

    void fireDriverChangeTimeout();

private:
    void openPage(const QString& path);
    void setChangingDriver(bool changing);

    StateManager& m_state;
    FileManager& m_files;
    MotionControlEngine& m_engine;
    QGuiApplication* m_app = nullptr;

    WindowControl m_windowControl;
    TapTempo m_tapTempo;
    MillisecondClock m_clock;
    QElapsedTimer m_monotonic;
    AudioDriverChanger m_driverChanger;

    // GUI thread only; driver changes take their own reference.
    std::shared_ptr<AudioProcessorHolder> m_audioHost;
    QMetaObject::Connection m_audioHostRelay;
    QMetaObject::Connection m_driverChangeRelay;
    // GUI thread only.
    bool m_changingDriver = false;

    QUrl m_makerSite;
    std::function<bool(const QUrl&)> m_urlOpener;
    std::function<void()> m_quitRequest;
};
