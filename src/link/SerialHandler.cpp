// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/SerialHandler.h"

#include "link/DeviceDirectory.h"
#include "link/LinkState.h"
#include "link/Orvik.h"
#include "protocol/FrameCodec.h"
#include "protocol/MotionMath.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QMetaType>
#include <QSerialPortInfo>
#include <QThread>

#include <algorithm>

Q_LOGGING_CATEGORY(lcLink, "kinetra.link")

SerialHandler::SerialHandler(DeviceDirectory& devices, LinkState& state, QObject* parent)
    : QObject(parent), m_devices(devices), m_state(state), m_port(this), m_folderWatch(this),
      m_searchSoon(this), m_search(&SerialHandler::findReceiverPort)
{
    qRegisterMetaType<uint64_t>("uint64_t");
    qRegisterMetaType<QSerialPort::SerialPortError>("QSerialPort::SerialPortError");

    m_pilotTimer.setInterval(kPilotIntervalMs);
    connect(&m_pilotTimer, &QTimer::timeout, this, &SerialHandler::pilot);
    m_searchSoon.setSingleShot(true);
    connect(&m_searchSoon, &QTimer::timeout, this, [this] {
        if (!m_port.isOpen())
            pilot();
    });
    connect(&m_folderWatch, &QFileSystemWatcher::directoryChanged, this,
            &SerialHandler::folderChanged);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialHandler::handleError,
            Qt::UniqueConnection);
    connect(&m_port, &QSerialPort::readyRead, this, &SerialHandler::handleReadyRead,
            static_cast<Qt::ConnectionType>(Qt::DirectConnection | Qt::UniqueConnection));
    connect(&m_port, &QSerialPort::bytesWritten, this, &SerialHandler::handleBytesWritten,
            Qt::UniqueConnection);
    m_pilotTimer.start();
    setPortSearch({});
}

SerialHandler::~SerialHandler()
{
    // The pilot timer belongs to the GUI thread; the thread controller has
    // stopped it before the link thread ended.
    if (m_pilotTimer.thread() == QThread::currentThread())
        m_pilotTimer.stop();
    disconnectToTessel();
}

QString SerialHandler::findReceiverPort()
{
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports) {
        if (info.hasVendorIdentifier() && info.hasProductIdentifier() &&
            info.vendorIdentifier() == kVendorId && info.productIdentifier() == kProductId)
            return info.systemLocation();
    }
    return QString();
}

void SerialHandler::setPortSearch(PortSearch search, QStringList watchedFolders)
{
    const bool standard = !search;
    m_search = standard ? PortSearch(&SerialHandler::findReceiverPort) : std::move(search);
    if (standard)
        watchedFolders = QStringList{QString::fromLatin1(kDeviceFolder)};
    QStringList folders;
    for (const QString& folder : qAsConst(watchedFolders))
        if (QFileInfo(folder).isDir() && !folders.contains(folder))
            folders.append(folder);
    setPilotInterval(!folders.isEmpty() ? kWatchedSearchIntervalMs
                     : standard         ? kUnwatchedSearchIntervalMs
                                        : kPilotIntervalMs);
    // The watch and the search timer belong to the handler's thread.
    if (thread() == QThread::currentThread())
        watchFolders(folders, standard);
    else
        QMetaObject::invokeMethod(
            this, [this, folders, standard] { watchFolders(folders, standard); },
            Qt::QueuedConnection);
}

void SerialHandler::setPilotInterval(int intervalMs)
{
    m_pilotIntervalMs.store(intervalMs);
    // The timer is told only on its own (the GUI) thread; elsewhere the
    // controller starts it with pilotIntervalMs().
    if (m_pilotTimer.thread() != QThread::currentThread() || m_pilotTimer.interval() == intervalMs)
        return;
    if (m_pilotTimer.isActive())
        m_pilotTimer.start(intervalMs);
    else
        m_pilotTimer.setInterval(intervalMs);
}

void SerialHandler::watchFolders(const QStringList& folders, bool standard)
{
    const QStringList before = m_folderWatch.directories();
    if (!before.isEmpty())
        m_folderWatch.removePaths(before);
    if (!folders.isEmpty()) {
        const QStringList refused = m_folderWatch.addPaths(folders);
        if (!refused.isEmpty())
            qCInfo(lcLink) << "cannot watch" << refused << "for the receiver; searching on a timer";
    }
    const bool watching = !m_folderWatch.directories().isEmpty();
    if (!watching && !folders.isEmpty())
        setPilotInterval(standard ? kUnwatchedSearchIntervalMs : kPilotIntervalMs);
    // Watched: search once now; from then on when a folder changes.
    if (watching && !m_port.isOpen())
        m_searchSoon.start(0);
    else
        m_searchSoon.stop();
}

void SerialHandler::folderChanged()
{
    if (m_port.isOpen() || m_searchSoon.isActive())
        return;
    m_searchSoon.start(kChangeSettleMs);
}

void SerialHandler::setRawTap(std::function<void(const QByteArray&)> tap)
{
    m_rawTap = std::move(tap);
}

void SerialHandler::setRawTapFromAnyThread(std::function<void(const QByteArray&)> tap)
{
    if (thread() == QThread::currentThread()) {
        setRawTap(std::move(tap));
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, tap = std::move(tap)]() mutable { setRawTap(std::move(tap)); },
        Qt::QueuedConnection);
}

bool SerialHandler::choosePort()
{
    const QString location = m_search();
    if (location.isEmpty())
        return false;
    m_port.setPortName(location);
    m_port.setBaudRate(kBaudRate, QSerialPort::AllDirections);
    return true;
}

void SerialHandler::pilot()
{
    // A search queued before the port opened (a pilot tick, a folder
    // change) finds nothing to do: the receiver is greeted once.
    if (m_port.isOpen()) {
        Q_EMIT shouldStopTimer();
        return;
    }
    if (!choosePort())
        return;
    // A port that is found but refuses to open is usually one the system
    // is still setting up (a freshly plugged device whose permissions are
    // not applied yet): keep searching instead of giving up until the user
    // reconnects by hand, at the pilot's short interval even while the
    // folders are watched.
    if (connectToTessel()) {
        m_searchSoon.stop();
        Q_EMIT shouldStopTimer();
    } else if (isWatchingFolders()) {
        m_searchSoon.start(kPilotIntervalMs);
    }
}

bool SerialHandler::rescanDeivce()
{
    if (m_port.isOpen())
        return true;
    return choosePort();
}

bool SerialHandler::connectToTessel()
{
    bool open = m_port.isOpen();
    if (!m_port.portName().isEmpty() && !open) {
        open = m_port.open(QIODevice::ReadWrite);
        if (!open) {
            const QString reason = m_port.portName() + QStringLiteral(": ") + m_port.errorString();
            if (reason != m_lastOpenFailure)
                qCWarning(lcLink).noquote() << "cannot open the receiver port" << reason;
            m_lastOpenFailure = reason;
        }
    }
    if (!open)
        return false;
    m_lastOpenFailure.clear();
    m_framer.clear();
    // Terminals without modem lines (a pseudo-terminal, some adapters)
    // refuse these two; the link works without them.
    m_port.setRequestToSend(true);
    m_port.setDataTerminalReady(true);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setStopBits(QSerialPort::TwoStop);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.clearError();
    sendGreeting();
    return true;
}

void SerialHandler::disconnectToTessel()
{
    if (m_port.portName().isEmpty() || !m_port.isOpen())
        return;
    m_port.close();
    m_framer.clear();
    const int count = m_devices.getNumOfDevice();
    for (int i = 0; i < count; ++i)
        if (const auto device = m_devices.deviceRefAt(i))
            device->setActive(false);
    m_state.setConnectionState(false);
}

bool SerialHandler::isFatal(QSerialPort::SerialPortError err)
{
    // A vanished receiver shows as a resource error on most systems; when a
    // terminal's far end hangs up the reads fail instead, over and over.
    return err == QSerialPort::ResourceError || err == QSerialPort::ReadError ||
           err == QSerialPort::WriteError;
}

void SerialHandler::handleError(QSerialPort::SerialPortError err)
{
    if (!isFatal(err) || !m_port.isOpen())
        return;
    qCInfo(lcLink) << "receiver lost on" << m_port.portName() << ':' << m_port.errorString();
    disconnectToTessel();
    Q_EMIT shouldStartTimer();
}

void SerialHandler::handleBytesWritten(qint64) {}

void SerialHandler::sendGreeting()
{
    m_port.write(FrameCodec::greeting());
}

void SerialHandler::handleReadyRead()
{
    if (!m_state.getConnectionState())
        m_state.setConnectionState(true);
    if (!m_pending.isEmpty()) {
        for (const QByteArray& command : qAsConst(m_pending))
            m_port.write(command);
        m_pending.clear();
    }
    const QByteArray bytes = m_port.readAll();
    if (bytes.isEmpty())
        return;
    // Every frame completed by this read arrived now.
    const int64_t arrival = m_arrivalClock ? m_arrivalClock() : DeviceDirectory::kUnstamped;
    if (m_rawTap)
        m_rawTap(bytes);
    m_framer.feed(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size(),
                  [this, arrival](const uint8_t* frame, int length) {
                      processFrame(frame, length, arrival);
                  });
    m_counters->setSkippedBytes(m_framer.droppedBytes());
}

void SerialHandler::processFrame(const uint8_t* frame, int length, int64_t arrival)
{
    switch (FrameCodec::typeOf(frame[0])) {
    case FrameCodec::Motion:
        handleMotion(frame, length, arrival);
        break;
    case FrameCodec::DeviceList:
        handleDeviceList(frame, length);
        break;
    case FrameCodec::BandEvent:
        handleBandEvent(frame, length);
        break;
    default:
        break;
    }
}

uint64_t SerialHandler::uuidOfSlot(uint8_t slot) const
{
    const auto it = m_slots.find(slot);
    return it == m_slots.end() ? 0 : it->second;
}

void SerialHandler::handleMotion(const uint8_t* frame, int length, int64_t arrival)
{
    const auto decoded = FrameCodec::decodeMotion(frame, length);
    if (!decoded)
        return;
    const std::shared_ptr<Orvik> device = m_devices.deviceRefById(uuidOfSlot(decoded->slot));
    if (!device)
        return;
    m_counters->noteMotion(decoded->slot, device->getUuid(), LinkCounters::nowMs());
    if (!device->isActive())
        device->setActive(true);

    MotionMath::DeviceState state;
    const MotionRecord previous = device->getRecord();
    state.isReady = device->isReady();
    state.isOnLeft = device->isOnLeft();
    state.turnOffset = previous.turnOffset();
    state.previousZRef = previous.zRef();
    state.yawReference = device->getYawReference();
    const auto record = MotionMath::compute(*decoded, state);
    if (!record)
        return;
    device->setQuaternion(decoded->q);
    // The frame travels on with the band it belongs to: the sources work on
    // this record and look nothing up again.
    if (device->applyMotion(*record))
        m_devices.deliverMotion(*device, *record, arrival);
    else
        m_devices.deliverStillFrame(*device, *record, arrival);
}

void SerialHandler::handleDeviceList(const uint8_t* frame, int length)
{
    const auto decoded = FrameCodec::decodeDeviceList(frame, length);
    if (!decoded)
        return;
    // The list is the receiver's whole roster: the table becomes what it
    // names. A slot it no longer names and a slot that named a band now
    // listed under another one are dropped, so frames and commands follow
    // each band to where the receiver has it now.
    std::map<uint8_t, uint64_t> slots;
    for (size_t i = 0; i < decoded->uuids.size(); ++i) {
        const uint64_t uuid = decoded->uuids[i];
        if (uuid == 0)
            continue;
        if (!m_devices.isDeviceExist(uuid))
            m_devices.addNewDevice(uuid);
        for (auto it = slots.begin(); it != slots.end();)
            it = it->second == uuid ? slots.erase(it) : std::next(it);
        slots[decoded->slots[i]] = uuid;
    }
    m_slots = std::move(slots);
    m_state.setFocusedDevice(0);
}

void SerialHandler::handleBandEvent(const uint8_t* frame, int length)
{
    const auto decoded = FrameCodec::decodeBandEvent(frame, length);
    if (!decoded)
        return;
    const uint64_t uuid = uuidOfSlot(decoded->slot);
    const std::shared_ptr<Orvik> device = m_devices.deviceRefById(uuid);
    switch (decoded->code) {
    case FrameCodec::BypassOn:
        if (device)
            device->setBypassed(true);
        break;
    case FrameCodec::BypassOff:
        if (device)
            device->setBypassed(false);
        Q_EMIT shouldQuitMappingMode();
        break;
    case FrameCodec::MappingRequest: {
        if (!m_state.getLiveModeState())
            Q_EMIT shouldEnterMappingMode();
        break;
    }
    default:
        break;
    }
}

void SerialHandler::sendBlink(uint64_t uuid)
{
    sendBandCommand(uuid, FrameCodec::Blink);
}

void SerialHandler::sendHandChange(uint64_t uuid, bool isOnLeft)
{
    sendBandCommand(uuid, isOnLeft ? FrameCodec::LeftHand : FrameCodec::RightHand);
}

void SerialHandler::sendBandCommand(uint64_t uuid, uint8_t command)
{
    // The table holds each band under one slot, the one of the latest list.
    const auto it = std::find_if(m_slots.begin(), m_slots.end(),
                                 [uuid](const auto& entry) { return entry.second == uuid; });
    if (uuid == 0 || it == m_slots.end())
        return;
    const uint8_t slot = it->first;
    const QByteArray frame = FrameCodec::bandCommand(slot, command);
    if (m_port.isOpen()) {
        m_port.write(frame);
        return;
    }
    m_pending.append(frame);
    while (m_pending.size() > kMaxPendingCommands)
        m_pending.removeFirst();
}
