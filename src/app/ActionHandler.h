#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class AudioProcessorHolder;
class QGuiApplication;
class QWindow;

// The one object through which the user interface asks for things to
// happen: patches, the receiver connection, the window modes and the
// window itself, the cursor while a knob is dragged, the tempo (set or
// tapped), the audio driver, device and buffer size, the guide tone, the two
// web pages and quitting. Most actions set an item of the application state
// or emit a request another object answers; tap tempo, the driver change
// with its time-out and the quit sequence have logic of their own.
//
// Peers are reached through AppContext and may be missing; the window
// actions do nothing without a window, the cursor actions nothing without a
// GUI application.
//
// Threads: every slot runs on the GUI thread. The driver change runs on Qt's
// global thread pool; quitting waits for such jobs before it stops the audio
// host, so no job outlives the host it works on.
class ActionHandler : public QObject
{
    Q_OBJECT

public:
    // The shared objects that quitting destroys, in the order it does.
    enum class SharedObject
    {
        MidiHandler,
        Arpeggiator,
        OscHandler,
        AudioHost
    };

    // Milliseconds from an arbitrary, monotonic origin.
    using MillisecondClock = std::function<qint64()>;

    static constexpr int kDriverChangeTimeoutMs = 5000;
    // A tap later than this (or in the same millisecond) starts a new
    // sequence.
    static constexpr int kTapSequenceLimitMs = 1800;
    // How long quitting waits for a driver change still in progress before
    // it leaves the audio host alone.
    static constexpr int kQuitDriverWaitMs = 10000;
    // The maker's web site, host of the tutorials and contact pages.
    static constexpr const char* kDefaultMakerSite = "https://kinetra.example.org";

    explicit ActionHandler(QGuiApplication* app = nullptr, QObject* parent = nullptr);
    ~ActionHandler() override;

    // --- set-up and seams --------------------------------------------------

    // The clock of tap tempo (defaults to a monotonic timer).
    void setClock(MillisecondClock clock);
    // The window the window actions act on; without one, the first of the
    // application's top-level windows.
    void setWindow(QWindow* window);
    QWindow* window() const;
    void setMakerSite(const QUrl& site);
    QUrl makerSite() const { return m_makerSite; }
    // Opens a web page; defaults to the desktop's URL handler.
    void setUrlOpener(std::function<bool(const QUrl&)> opener);
    // How quitting destroys one of the shared objects: start-up passes a
    // function that empties that object's owning holder. Quitting clears the
    // AppContext reference first; an object without a releaser is only
    // unregistered, never deleted here.
    void setReleaser(SharedObject which, std::function<void()> release);
    // Quitting's last two steps (the audio library's shut-down and the
    // request to leave the event loop); tests record them instead.
    void setLibraryShutdown(std::function<void()> shutdown);
    void setApplicationQuit(std::function<void()> quit);
    void setDriverChangeTimeoutMs(int ms);
    // Relays the audio host's audioDeviceChanged as this object's signal, on
    // the GUI thread. Start-up calls it once the host exists.
    void attachAudioHost(AudioProcessorHolder* host);

    // --- observable state --------------------------------------------------

    // The position recorded by hideCursor; (-1, -1) when none.
    QPoint hiddenCursorPosition() const { return m_hiddenCursorPos; }
    int tapCount() const { return m_tapCount; }
    bool isDriverChangeTimerActive() const { return m_driverChangeTimer.isActive(); }
    int driverChangeRemainingMs() const { return m_driverChangeTimer.remainingTime(); }
    // Driver changes submitted and not finished yet.
    int pendingDriverChanges() const;
    // Blocks until no driver change is in progress, at most `timeoutMs`.
    bool waitForDriverChanges(int timeoutMs);
    bool hasQuit() const { return m_hasQuit; }

    // 60 000 / mean interval, to the nearest integer (halves away from zero);
    // 0 when the intervals do not add up to a positive time.
    static int tempoFromIntervals(const std::array<int, 3>& intervalsMs);
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

    // The quit sequence; runs once (later calls only ask the application to
    // quit again).
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
    class DriverJobs;

    QGuiApplication* guiApp() const;
    void putWindowOnTop(bool onTop);
    void hideWindow();
    void openPage(const QString& path);
    void release(SharedObject which);

    QGuiApplication* m_app = nullptr;
    QTimer m_driverChangeTimer;
    MillisecondClock m_clock;
    QElapsedTimer m_monotonic;
    std::optional<qint64> m_lastTapMs;
    QPoint m_hiddenCursorPos{-1, -1};
    bool m_cursorOverridden = false;
    std::array<int, 3> m_tapIntervals{{0, 0, 0}};
    int m_tapCount = 0;

    QPointer<QWindow> m_window;
    QUrl m_makerSite;
    std::function<bool(const QUrl&)> m_urlOpener;
    std::array<std::function<void()>, 4> m_releasers;
    std::function<void()> m_libraryShutdown;
    std::function<void()> m_applicationQuit;
    std::shared_ptr<DriverJobs> m_driverJobs;
    bool m_hasQuit = false;
};
