// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ContinuousControlSource.h"
#include "link/DeviceDirectory.h"

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class ControlModes;
class ControlOutput;
class ControlPublisher;
class Orvik;

// The registry at the centre of the application: it owns every known sensor
// and the control-source slots, answers look-ups by list position and by
// identifier, and runs the animation and OSC ticks.
//
// Threads: the engine lives on the GUI thread. The receiver link looks
// devices up and adds new ones from its own thread, so the device map sits
// behind a short lock. Devices always end up owned by the GUI thread: one
// created on the link thread is moved there before it is registered, and the
// registration's signals and source bindings run there. The link holds a
// device through deviceRefById() while it applies a frame, so a device
// removed meanwhile is destroyed only after that frame, on the GUI thread.
// The control sources live on the GUI thread, but the link hands each frame,
// with its band and its record, to deliverMotion on the link thread, so that
// the MIDI a movement makes never waits for the GUI thread. The slot array is
// guarded by the dispatch lock for that; each source guards its own state.
//
// Lock order on the link thread (outermost first; each is held only for the
// step named): the device map lock (look-up, released before the frame is
// applied), the band's motion lock (released before the hand-over), then the
// dispatch lock, a source's state lock and the MIDI handler's pending-buffer
// lock, nested in that order. Nothing takes them the other way round: the GUI
// thread takes the dispatch lock only to reorder the slots, and a source's
// state lock alone for its setters.
//
// The OSC tick runs on a thread of its own (startOscTick), so that a busy
// GUI thread never delays "/crl". It reads no source: the GUI thread hands
// the publisher the live sources' settings whenever one changes
// (publishOscSettings), and the tick reads the values from the sources'
// atomics and the modes from theirs. The sources outlive the tick: it is
// stopped before the engine or the publisher goes.
class MotionControlEngine : public QObject, public DeviceDirectory
{
    Q_OBJECT
    Q_PROPERTY(int num_device READ getNumOfDevice NOTIFY numOfDeviceChanged)

public:
    static constexpr int kOscIntervalMs = 3;
    // A sleeping OSC tick also looks this often by itself, in case a change
    // came without wakeOscTick().
    static constexpr int kOscIdleCheckMs = 1000;
    static constexpr int kAnimationIntervalMs = 16;
    // Ticks without any frame or change after which the animation tick
    // stops, so that the last value is drawn and the GUI thread then sleeps.
    static constexpr int kAnimationIdleTicks = 8;
    static constexpr int kNumOfSources = 12;

    // `modes` outlives the engine. `output` receives the sources' MIDI and
    // `publisher` the OSC tick's packets; either may be none (nothing is
    // then sent) and both can be changed while no frame is delivered.
    explicit MotionControlEngine(ControlModes& modes, ControlOutput* output = nullptr,
                                 ControlPublisher* publisher = nullptr, QObject* parent = nullptr);
    ~MotionControlEngine() override;

    const ControlModes& modes() const { return m_modes; }
    ControlOutput* controlOutput() const { return m_output; }
    // Quitting detaches the MIDI and OSC outputs before it releases them,
    // after the link thread has stopped.
    void setControlOutput(ControlOutput* output) { m_output = output; }
    void setControlPublisher(ControlPublisher* publisher);

    // Starts the OSC tick's thread: every kOscIntervalMs, one "/crl" through
    // the publisher while the link is up and mapping mode is off. GUI thread.
    // While there is nothing to publish (no publisher, the link down or
    // mapping mode on) the thread sleeps; wakeOscTick() wakes it.
    void startOscTick();
    // The link's connection or mapping mode changed: the OSC tick looks
    // again whether to publish. Any thread; takes only the tick's wake lock.
    void wakeOscTick();
    // Stops it and waits for it; before the publisher or the engine goes.
    void stopOscTick();
    bool isOscTickRunning() const { return m_oscThread.joinable(); }

    Q_INVOKABLE int getNumOfDevice() const override;
    Q_INVOKABLE Orvik* getDeviceAt(int at) const;
    Q_INVOKABLE Orvik* getDeviceById(uint64_t uuid) const;
    Q_INVOKABLE void addNewDevice(uint64_t deviceID) override;
    Q_INVOKABLE void removeDevice(uint64_t deviceID);
    Q_INVOKABLE void removeDeviceAt(int i);
    Q_INVOKABLE void swapDevices(int i, int j);
    Q_INVOKABLE bool isDeviceExist(uint64_t uuid) const override;
    Q_INVOKABLE QString getDeviceNameAt(int i) const;
    Q_INVOKABLE int getNumOfCSources() const { return kNumOfSources; }
    Q_INVOKABLE ContinuousControlSource* getCSourceAt(int i) const;
    // Turns slot `i` into a live source named "Wheel <i + 1>" with the first
    // free event number from i + 1 on, following the device at position 0.
    Q_INVOKABLE void addNewCSourceAt(int i, bool notify = true);
    // Exchanges the sources of two slots; each then carries its new slot
    // number.
    Q_INVOKABLE void swapCSources(int i, int j);
    // Returns slot `i` to an empty slot and clears the focused source.
    Q_INVOKABLE void removeCSourceAt(int i, bool notify = true);
    // Whether a live source on channel `ch` already uses event number `n`.
    Q_INVOKABLE bool eventNumberExisted(int n, int ch) const;

    // Takes ownership of a device built elsewhere (the registry loader) and
    // registers it; a device with the same identifier is replaced.
    void insertDevice(Orvik* device);
    // A reference that keeps the device alive while the caller uses it, from
    // any thread.
    std::shared_ptr<Orvik> deviceRefById(uint64_t uuid) const override;
    std::shared_ptr<Orvik> deviceRefAt(int at) const override;
    // A frame moved `device` to `record`: every source following it works on
    // this record, on the calling thread (the link's), then the MIDI goes out
    // if the audio block that should send it is late.
    // What the sources send is due on `arrival` (see DeviceDirectory).
    void deliverMotion(const Orvik& device, const MotionRecord& record,
                       int64_t arrival = kUnstamped) override;
    void deliverStillFrame(const Orvik& device, const MotionRecord& record,
                           int64_t arrival = kUnstamped) override;

    // Copies the settings of a source built elsewhere (the patch loader)
    // into the engine's source of the slot named by its index; an index
    // outside 0-11 is ignored. Does not take ownership.
    void loadCSource(const ContinuousControlSource* source);

    // Whether the animation tick runs: from the first frame or change until
    // kAnimationIdleTicks ticks have gone by without one. GUI thread.
    bool isAnimating() const { return m_animationTimer.isActive(); }

Q_SIGNALS:
    void newDeviceAdded(Orvik* device);
    void deviceRemoved(uint64_t deviceId, int i);
    void deviceSwapped(int i, int j);
    void numOfDeviceChanged(int count);
    void newCSourceAddedAt(int i);
    void cSourceRemoved(int i);
    // A slot was emptied, whether or not cSourceRemoved was signalled: no
    // source is focused any more.
    void sourceSlotCleared(int i);
    void cSourceSwapped(int i, int j);
    void deviceEnablementChanged(Orvik* d);
    void animationTick();
    // A band asked for a blink or a change of hand (relayed from every
    // registered band; start-up connects them to the link).
    void bandBlinkRequested(uint64_t uuid);
    void bandHandChangeRequested(uint64_t uuid, bool isOnLeft);

public Q_SLOTS:
    void handleDeviceMute(Orvik* d);
    void handleDeviceSolo(Orvik* d);
    // One OSC tick now, on the calling thread.
    void sendControlOSC();
    // Whether a tick now could publish anything (the conditions of
    // sendControlOSC before the sources are counted). Any thread.
    bool isOscWanted() const;
    // Gives the publisher the live, enabled sources' settings, in slot
    // order; GUI thread, whenever one of them may have changed.
    void publishOscSettings();
    void distributeAnimationTick();
    // Something drawn from the bands or the sources may have changed: the
    // animation tick runs (again) until nothing has changed for a while.
    // Any thread.
    void wakeAnimation();
    void refreshCs();

private:
    // Takes ownership of `device` and registers it, at the end of the list
    // when `atEnd` is set, else at the position it carries.
    void registerDevice(Orvik* device, bool atEnd);
    // Signals and bindings of a newly registered device; runs on the GUI
    // thread.
    void finishInsert(uint64_t uuid);
    std::shared_ptr<Orvik> deviceAtLocked(int at) const;
    // The registered device `d` names, held; none when it is not (or no
    // longer) registered.
    std::shared_ptr<Orvik> registeredDevice(const Orvik* d) const;
    // Binds every live source to the band it was made for when that is
    // known, else, when it follows no known band, to the band at position 0.
    void bindSourcesToDevices();
    static bool isSlot(int i) { return i >= 0 && i < kNumOfSources; }
    void runOscTick();
    // GUI thread: starts the tick when it is not running.
    void startAnimation();
    // GUI thread, at each tick: stops it after kAnimationIdleTicks idle ones.
    void stopAnimationWhenIdle();

    ControlModes& m_modes;
    // Set on the GUI thread while the link thread is stopped (start-up,
    // quitting); read by deliverMotion on the link thread.
    ControlOutput* m_output = nullptr;
    // Set on the GUI thread; read by the OSC tick thread, which is stopped
    // before a publisher it may still hold goes.
    std::atomic<ControlPublisher*> m_publisher{nullptr};

    mutable QMutex m_devicesLock;
    QHash<uint64_t, std::shared_ptr<Orvik>> m_devices;

    // Owned; children of the engine so that QML never takes them over.
    // Reordered on the GUI thread only, with the dispatch lock held.
    std::array<ContinuousControlSource*, kNumOfSources> m_sources{};
    mutable std::mutex m_dispatchLock;

    // The animation tick runs only while something moves. wakeAnimation()
    // sets m_animationMoved, then, when m_animationAwake was clear, sets it
    // and asks the GUI thread to start the timer (a queued call when it is
    // not on it). The GUI thread clears m_animationMoved at each tick and,
    // to stop, clears m_animationAwake before it looks at m_animationMoved
    // once more: with both sequentially consistent, a frame that arrives
    // while the tick stops either sees the flag cleared (and starts it) or
    // is seen by the GUI thread (which keeps it running). The frame's side
    // is two atomic operations and, once per start, a posted call.
    QTimer m_animationTimer;
    std::atomic<bool> m_animationMoved{false};
    std::atomic<bool> m_animationAwake{false};
    int m_animationIdleTicks = 0; // GUI thread

    // The OSC tick's thread. Started and stopped on the GUI thread; the stop
    // and recheck flags are guarded by m_oscWakeLock, taken alone (never
    // with another lock held) by the GUI thread to stop, by wakeOscTick's
    // caller (any thread) to wake and by the tick thread to wait.
    std::thread m_oscThread;
    std::mutex m_oscWakeLock;
    std::condition_variable m_oscWake;
    bool m_oscStopping = false;
    bool m_oscRecheck = false;
};
