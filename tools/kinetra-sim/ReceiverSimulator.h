// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "GestureGenerator.h"
#include "HostFrameParser.h"
#include "MotionNoise.h"
#include "protocol/PerformanceRecorder.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include <cstdint>
#include <map>

class QSocketNotifier;

// A stand-in for the receiver on a pseudo-terminal: the application opens
// the terminal's path like the receiver's serial port. The simulator
// answers the greeting with its device list, then streams one motion frame
// per band at the configured rate, built from each band's gesture; it
// reports every band command it receives, sends band events on request,
// replays recordings of a real receiver with their timing, and can be
// unplugged and plugged in again (the terminal is closed and a new one is
// opened).
//
// Everything runs on the thread the object lives on, driven by that
// thread's event loop (a tool's main thread, or a thread of its own inside
// the application: move the object there, then call plug() and the other
// slots through queued calls, and destroy it there too, since it owns a
// socket notifier created on that thread). Messages for the user come out of message(), one line
// each, in a fixed form that scripts and tests can read:
//   port PATH | unplugged | greeting ... | command NAME band UUID slot N |
//   event NAME band UUID slot N | gesture ... | replay ... | error: ...
class ReceiverSimulator : public QObject
{
    Q_OBJECT

public:
    struct Band
    {
        uint64_t uuid = 0;
        uint8_t slot = 0;
    };

    struct Config
    {
        QVector<Band> bands;
        // Motion frames per second for each band.
        double rate = 100.0;
        GestureGenerator::Gesture gesture = GestureGenerator::Gesture::Mixed;
        // When set, a symbolic link kept pointing at the current terminal,
        // so that the application can use one path across replugs.
        QString linkPath;
        // Jitter on every band's orientation (degrees, standard deviation
        // about each axis), live and replayed alike; 0 for none.
        double noiseDegrees = 0.0;

        // `count` bands with the simulator's own identities in slots 0...
        static Config withBands(int count);
    };

    enum class Mode
    {
        Live,
        Replay,
        Idle
    };

    static constexpr int kMaxBands = 4;
    static constexpr int kBaudRate = 230400;
    // 8 data bits, 2 stop bits and the start bit.
    static constexpr int kBitsPerByte = 11;
    static constexpr int kTickMs = 5;
    // Without any progress in writing for this long, the application has
    // stopped reading (it closed the port).
    static constexpr int kStallMs = 1000;
    // Live frames are dropped, not queued, once this much is waiting.
    static constexpr int kMaxLiveBacklog = 4096;
    static constexpr int kMaxReplayBacklog = 1 << 17;
    static constexpr uint64_t kFirstIdentity = 0x4B4E000000000101ULL;

    // What 230400 baud 8N2 carries in motion frames per second, shared out
    // among `bandCount` bands.
    static double maxRatePerBand(int bandCount);
    // Why a configuration cannot run, or an empty string.
    static QString validate(const Config& config);

    explicit ReceiverSimulator(Config config, QObject* parent = nullptr);
    ~ReceiverSimulator() override;

    const Config& config() const { return m_config; }
    // The rate actually used (the configured one, capped by the line).
    double rate() const { return m_rate; }
    QString slavePath() const { return m_path; }
    bool isPlugged() const { return m_master >= 0; }
    bool isHostConnected() const { return m_greeted; }
    Mode mode() const { return m_mode; }
    GestureGenerator::Gesture gestureOf(int band) const;
    quint64 motionFramesSent() const { return m_framesSent; }
    quint64 framesDropped() const { return m_framesDropped; }
    int bandOfSlot(uint8_t slot) const;

public Q_SLOTS:
    // Opens a new terminal (prints "port PATH"); false when none could be
    // opened. Does nothing while plugged.
    bool plug();
    // Closes the terminal: the application sees the receiver vanish.
    void unplug();
    // Unplugs now and plugs in again after `delayMs`.
    void replug(int delayMs);
    // `band` is an index into the device list, or -1 for every band.
    void setGesture(GestureGenerator::Gesture gesture, int band = -1);
    bool sendBandEvent(int band, uint8_t code);
    // Plays a recording instead of the gestures, from its start, as soon as
    // the application has greeted (at once when it has).
    bool startReplay(const QString& path, bool loop = false);
    // Back to the gestures.
    void goLive();
    // Runs one command line (see SimulatorCommand).
    void execute(const QString& line);

Q_SIGNALS:
    void message(const QString& line);
    void portOpened(const QString& path);
    void portClosed();
    void hostGreeted();
    void bandCommandReceived(int band, quint64 uuid, int slot, int command);
    void replayFinished();
    void quitRequested();

private:
    void tick();
    void readHost();
    void handleHostFrame(const HostFrameParser::Frame& frame);
    void handleGreeting();
    void streamLive();
    void playReplay();
    void beginReplay();
    void restartLiveClock();
    bool queue(const QByteArray& bytes, int limit);
    void flush();
    void closeTerminal();
    void updateLink();
    QString describeBand(int band) const;
    QString describeSlot(uint8_t slot) const;
    QByteArray deviceListFrame() const;
    void say(const QString& line);

    Config m_config;
    MotionNoise m_noise{0.0};
    double m_rate = 100.0;
    QVector<GestureGenerator::Gesture> m_gestures;

    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    QSocketNotifier* m_readNotifier = nullptr;
    QTimer m_tick;
    QTimer m_replugTimer;
    HostFrameParser m_parser;
    bool m_greeted = false;
    Mode m_mode = Mode::Live;

    // Live stream: frame n of every band carries the gestures at n / rate.
    QElapsedTimer m_liveClock;
    quint64 m_liveBase = 0;
    quint64 m_nextFrame = 0;

    QByteArray m_out;
    QElapsedTimer m_stallClock;
    quint64 m_framesSent = 0;
    quint64 m_framesDropped = 0;

    // Replay of a recording.
    QString m_replayPath;
    PerformanceRecorder::Recording m_replay;
    bool m_replayLoop = false;
    bool m_replayRunning = false;
    int m_replayPos = 0;
    QElapsedTimer m_replayClock;
    QByteArray m_replayPrologue;

    // Which band the receiver calls by which slot (the recording's device
    // list while replaying).
    std::map<uint8_t, uint64_t> m_slotTable;
};
