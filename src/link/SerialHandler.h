// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/LinkCounters.h"
#include "protocol/FrameFramer.h"

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

class DeviceDirectory;
class LinkState;

// The link to the receiver: finds its serial port, opens and greets it, cuts
// the incoming bytes into frames and turns them into device state; sends
// blink and hand commands to the bands. Runs on the link thread; its pilot
// timer stays on the GUI thread and is started and stopped from there.
//
// Searching costs (the standard search walks every serial device the system
// has), so a search that names the folders its port appears in is run when
// one of them changes, as the kernel reports it (inotify): once at start,
// then only when a device comes or goes or its permissions change; the
// pilot timer then only runs a safety search every
// kWatchedSearchIntervalMs. A search without folders, or whose folders
// cannot be watched, runs on the pilot timer as before.
class SerialHandler : public QObject
{
    Q_OBJECT

public:
    // Returns the system location of the receiver's port (for example
    // "/dev/ttyACM0"), or an empty string when no receiver is plugged in.
    using PortSearch = std::function<QString()>;

    // The pilot's interval for a search without watched folders.
    static constexpr int kPilotIntervalMs = 500;
    // The standard search's interval when its folders cannot be watched.
    static constexpr int kUnwatchedSearchIntervalMs = 2000;
    // The pilot's interval while the folders are watched: a safety net only.
    static constexpr int kWatchedSearchIntervalMs = 60000;
    // A change in a watched folder is searched this much later, so that one
    // search sees a burst of changes (the node, its links, its permissions).
    static constexpr int kChangeSettleMs = 100;
    // The folder the standard search's ports appear in.
    static constexpr const char* kDeviceFolder = "/dev";
    static constexpr qint32 kBaudRate = 230400;
    static constexpr quint16 kVendorId = 0x1915;
    static constexpr quint16 kProductId = 0x520F;
    // Band commands kept while the port is closed; older ones are dropped.
    static constexpr int kMaxPendingCommands = 32;

    // `devices` is the list of known bands, `state` the connection, focus and
    // live-mode state; both outlive the handler.
    SerialHandler(DeviceDirectory& devices, LinkState& state, QObject* parent = nullptr);
    ~SerialHandler() override;

    // The search used when nothing else is set: the first port whose USB
    // vendor and product identifiers are the receiver's.
    static QString findReceiverPort();
    // `search` null: the standard search, watching kDeviceFolder. Otherwise
    // `search` is run when one of `watchedFolders` changes (and at once),
    // or, with none given, on every pilot tick. The watch is set up on the
    // handler's thread (queued there when called from another one).
    void setPortSearch(PortSearch search, QStringList watchedFolders = {});

    QTimer* pilotTimer() { return &m_pilotTimer; }
    // What the pilot timer is to be started with (read on the GUI thread).
    int pilotIntervalMs() const { return m_pilotIntervalMs.load(); }
    // Whether the search runs when its folders change (link thread).
    bool isWatchingFolders() const { return !m_folderWatch.directories().isEmpty(); }
    bool isPortOpen() const { return m_port.isOpen(); }
    QString portName() const { return m_port.portName(); }
    int pendingCommandCount() const { return m_pending.size(); }
    // Called with every chunk of bytes read from the receiver, before it is
    // framed (used to record a performance). Runs on the link thread.
    void setRawTap(std::function<void(const QByteArray&)> tap);
    // The same from any thread: queued to the link thread when called from
    // another one.
    void setRawTapFromAnyThread(std::function<void(const QByteArray&)> tap);
    // The time a read's frames arrived, taken once per read right after the
    // bytes are read and carried with each frame to the engine (the
    // application gives the audio clock's "now": the sample the frame's MIDI
    // is due on). Without one, frames go unstamped. Set it before the link
    // thread starts; called on the link thread.
    using ArrivalClock = std::function<int64_t()>;
    void setArrivalClock(ArrivalClock clock) { m_arrivalClock = std::move(clock); }
    // What the link received, per slot; written on the link thread, readable
    // from any thread, and kept alive by whoever holds it after the handler
    // is gone.
    std::shared_ptr<const LinkCounters> linkCounters() const { return m_counters; }

Q_SIGNALS:
    void shouldEnterMappingMode();
    void shouldQuitMappingMode();
    void shouldStartTimer();
    void shouldStopTimer();

public Q_SLOTS:
    void sendBlink(uint64_t uuid);
    void sendHandChange(uint64_t uuid, bool isOnLeft);
    void handleError(QSerialPort::SerialPortError err);
    void handleReadyRead();
    void handleBytesWritten(qint64 bytes);
    bool connectToTessel();
    void disconnectToTessel();
    bool rescanDeivce();
    void sendGreeting();
    void pilot();

private:
    void processFrame(const uint8_t* frame, int length, int64_t arrival);
    void handleMotion(const uint8_t* frame, int length, int64_t arrival);
    void handleDeviceList(const uint8_t* frame, int length);
    void handleBandEvent(const uint8_t* frame, int length);
    uint64_t uuidOfSlot(uint8_t slot) const;
    void sendBandCommand(uint64_t uuid, uint8_t command);
    bool choosePort();
    void setPilotInterval(int intervalMs);
    void watchFolders(const QStringList& folders, bool standard);
    void folderChanged();
    static bool isFatal(QSerialPort::SerialPortError err);

    DeviceDirectory& m_devices;
    LinkState& m_state;
    QSerialPort m_port;
    QTimer m_pilotTimer;
    // Children: on the link thread with the handler.
    QFileSystemWatcher m_folderWatch;
    QTimer m_searchSoon;
    std::atomic<int> m_pilotIntervalMs{kPilotIntervalMs};
    PortSearch m_search;
    std::map<uint8_t, uint64_t> m_slots;
    FrameFramer m_framer;
    QList<QByteArray> m_pending;
    std::function<void(const QByteArray&)> m_rawTap;
    ArrivalClock m_arrivalClock;
    QString m_lastOpenFailure;
    std::shared_ptr<LinkCounters> m_counters = std::make_shared<LinkCounters>();
};
