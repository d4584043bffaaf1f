// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReceiverSimulator.h"

#include "SimulatorCommand.h"
#include "protocol/FrameCodec.h"
#include "protocol/FrameFramer.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <pty.h>
#include <set>
#include <termios.h>
#include <unistd.h>

namespace {

QString commandName(int command)
{
    switch (command) {
    case FrameCodec::Blink:
        return QStringLiteral("blink");
    case FrameCodec::LeftHand:
        return QStringLiteral("left-hand");
    case FrameCodec::RightHand:
        return QStringLiteral("right-hand");
    default:
        return QStringLiteral("0x%1").arg(command, 2, 16, QLatin1Char('0'));
    }
}

QString eventName(uint8_t code)
{
    switch (code) {
    case FrameCodec::BypassOn:
        return QStringLiteral("bypass-on");
    case FrameCodec::BypassOff:
        return QStringLiteral("bypass-off");
    case FrameCodec::MappingRequest:
        return QStringLiteral("mapping-request");
    default:
        return QStringLiteral("0x%1").arg(code, 2, 16, QLatin1Char('0'));
    }
}

} // namespace

ReceiverSimulator::Config ReceiverSimulator::Config::withBands(int count)
{
    Config c;
    for (int i = 0; i < count; ++i)
        c.bands.append(Band{kFirstIdentity + uint64_t(i), uint8_t(i)});
    return c;
}

double ReceiverSimulator::maxRatePerBand(int bandCount)
{
    const double framesPerSecond =
        double(kBaudRate) / (double(kBitsPerByte) * double(FrameCodec::kMotionLength));
    return framesPerSecond / double(std::max(1, bandCount));
}

QString ReceiverSimulator::validate(const Config& config)
{
    if (config.bands.isEmpty() || config.bands.size() > kMaxBands)
        return QStringLiteral("between 1 and %1 bands, not %2")
            .arg(kMaxBands)
            .arg(config.bands.size());
    std::set<uint64_t> ids;
    std::set<uint8_t> slots;
    for (const Band& b : config.bands) {
        if (b.uuid == 0)
            return QStringLiteral("a band identity cannot be 0");
        if (b.slot > 15)
            return QStringLiteral("slot %1 out of range 0 to 15").arg(b.slot);
        if (!ids.insert(b.uuid).second)
            return QStringLiteral("band %1 listed twice").arg(b.uuid);
        if (!slots.insert(b.slot).second)
            return QStringLiteral("slot %1 used twice").arg(b.slot);
    }
    if (!(config.rate > 0.0) || !std::isfinite(config.rate))
        return QStringLiteral("the rate must be a positive number of frames per second");
    if (!(config.noiseDegrees >= 0.0) || !(config.noiseDegrees <= 90.0))
        return QStringLiteral("the noise must be 0 to 90 degrees");
    return QString();
}

ReceiverSimulator::ReceiverSimulator(Config config, QObject* parent)
    : QObject(parent), m_config(std::move(config)), m_tick(this), m_replugTimer(this)
{
    if (m_config.bands.size() > kMaxBands)
        m_config.bands.resize(kMaxBands);
    m_rate = m_config.rate > 0.0 ? m_config.rate : 100.0;
    const double cap = maxRatePerBand(m_config.bands.size());
    if (m_rate > cap)
        m_rate = cap;
    m_gestures.fill(m_config.gesture, m_config.bands.size());
    m_noise = MotionNoise(m_config.noiseDegrees);
    for (const Band& b : qAsConst(m_config.bands))
        m_slotTable[b.slot] = b.uuid;

    m_tick.setTimerType(Qt::PreciseTimer);
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &ReceiverSimulator::tick);
    m_replugTimer.setSingleShot(true);
    connect(&m_replugTimer, &QTimer::timeout, this, &ReceiverSimulator::plug);
}

ReceiverSimulator::~ReceiverSimulator()
{
    closeTerminal();
}

GestureGenerator::Gesture ReceiverSimulator::gestureOf(int band) const
{
    return band >= 0 && band < m_gestures.size() ? m_gestures[band] : m_config.gesture;
}

int ReceiverSimulator::bandOfSlot(uint8_t slot) const
{
    const auto it = m_slotTable.find(slot);
    if (it == m_slotTable.end())
        return -1;
    for (int i = 0; i < m_config.bands.size(); ++i)
        if (m_config.bands[i].uuid == it->second)
            return i;
    return -1;
}

void ReceiverSimulator::say(const QString& line)
{
    Q_EMIT message(line);
}

QString ReceiverSimulator::describeBand(int band) const
{
    const Band& b = m_config.bands[band];
    return QStringLiteral("band %1 slot %2").arg(b.uuid).arg(b.slot);
}

QString ReceiverSimulator::describeSlot(uint8_t slot) const
{
    const auto it = m_slotTable.find(slot);
    if (it == m_slotTable.end())
        return QStringLiteral("slot %1 (no band)").arg(slot);
    return QStringLiteral("band %1 slot %2").arg(it->second).arg(slot);
}

bool ReceiverSimulator::plug()
{
    m_replugTimer.stop();
    if (m_master >= 0)
        return true;
    char name[256] = {};
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        say(QStringLiteral("error: cannot open a pseudo-terminal: %1")
                .arg(QString::fromLocal8Bit(strerror(errno))));
        return false;
    }
    // Raw bytes both ways: no echo, no line editing, no translation.
    termios tio{};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B230400);
        ::cfsetospeed(&tio, B230400);
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    // Our own descriptor of the terminal's far end stays open, so that the
    // terminal lives on while the application has it closed.
    m_master = master;
    m_slave = slave;
    m_path = QString::fromLocal8Bit(name);
    m_parser.clear();
    m_out.clear();
    m_greeted = false;
    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &ReceiverSimulator::readHost);
    m_tick.start();
    updateLink();
    say(QStringLiteral("port %1").arg(m_path));
    Q_EMIT portOpened(m_path);
    return true;
}

void ReceiverSimulator::updateLink()
{
    const QString link = m_config.linkPath;
    if (link.isEmpty())
        return;
    const QFileInfo info(link);
    if (info.exists() || info.isSymLink()) {
        if (!info.isSymLink()) {
            say(QStringLiteral("error: %1 exists and is not a link; left alone").arg(link));
            return;
        }
        QFile::remove(link);
    }
    if (m_master >= 0 && !QFile::link(m_path, link))
        say(QStringLiteral("error: cannot link %1 to %2").arg(link, m_path));
}

void ReceiverSimulator::closeTerminal()
{
    m_tick.stop();
    delete m_readNotifier;
    m_readNotifier = nullptr;
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    const bool wasOpen = m_master >= 0;
    m_master = m_slave = -1;
    m_greeted = false;
    m_replayRunning = false;
    m_out.clear();
    m_parser.clear();
    if (wasOpen && !m_config.linkPath.isEmpty() && QFileInfo(m_config.linkPath).isSymLink())
        QFile::remove(m_config.linkPath);
}

void ReceiverSimulator::unplug()
{
    m_replugTimer.stop();
    if (m_master < 0)
        return;
    closeTerminal();
    m_path.clear();
    say(QStringLiteral("unplugged"));
    Q_EMIT portClosed();
}

void ReceiverSimulator::replug(int delayMs)
{
    unplug();
    m_replugTimer.start(std::max(0, delayMs));
}

void ReceiverSimulator::readHost()
{
    if (m_master < 0)
        return;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        m_parser.feed(QByteArray(buffer, int(n)),
                      [this](const HostFrameParser::Frame& f) { handleHostFrame(f); });
        if (m_master < 0)
            return; // a frame's handling closed the terminal
    }
}

void ReceiverSimulator::handleHostFrame(const HostFrameParser::Frame& frame)
{
    switch (frame.kind) {
    case HostFrameParser::Frame::Kind::Greeting:
        handleGreeting();
        break;
    case HostFrameParser::Frame::Kind::BandCommand: {
        const auto it = m_slotTable.find(frame.slot);
        const quint64 uuid = it == m_slotTable.end() ? 0 : it->second;
        say(QStringLiteral("command %1 %2")
                .arg(commandName(frame.command), describeSlot(frame.slot)));
        Q_EMIT bandCommandReceived(bandOfSlot(frame.slot), uuid, frame.slot, frame.command);
        break;
    }
    case HostFrameParser::Frame::Kind::Unknown:
        say(QStringLiteral("unknown frame %1").arg(QString::fromLatin1(frame.bytes.toHex(' '))));
        break;
    }
}

QByteArray ReceiverSimulator::deviceListFrame() const
{
    FrameCodec::DeviceListFrame list;
    for (int i = 0; i < m_config.bands.size() && i < 4; ++i) {
        list.uuids[size_t(i)] = m_config.bands[i].uuid;
        list.slots[size_t(i)] = m_config.bands[i].slot;
    }
    return FrameCodec::encodeDeviceList(list);
}

void ReceiverSimulator::handleGreeting()
{
    // Whatever the terminal still holds from before the application (re)opened
    // it is stale; the answer starts clean.
    if (m_slave >= 0)
        ::tcflush(m_slave, TCIFLUSH);
    m_out.clear();
    m_stallClock.invalidate();
    m_greeted = true;
    Q_EMIT hostGreeted();
    // After a replay has finished, an application that connects again gets
    // the recording again rather than bands it never saw in it.
    if (m_mode == Mode::Idle && !m_replay.chunks.isEmpty())
        m_mode = Mode::Replay;
    if (m_mode == Mode::Replay) {
        say(QStringLiteral("greeting: replaying %1").arg(m_replayPath));
        beginReplay();
        return;
    }
    say(QStringLiteral("greeting: sent the device list (%1 bands)").arg(m_config.bands.size()));
    queue(deviceListFrame(), kMaxReplayBacklog);
    flush();
    if (m_mode == Mode::Live)
        restartLiveClock();
}

void ReceiverSimulator::restartLiveClock()
{
    m_liveClock.start();
    m_liveBase = m_nextFrame;
}

void ReceiverSimulator::tick()
{
    if (m_master < 0)
        return;
    if (m_greeted) {
        if (m_mode == Mode::Live)
            streamLive();
        else if (m_mode == Mode::Replay)
            playReplay();
    }
    flush();
}

void ReceiverSimulator::streamLive()
{
    if (!m_liveClock.isValid())
        restartLiveClock();
    const double elapsed = double(m_liveClock.nsecsElapsed()) / 1e9;
    const quint64 due = m_liveBase + quint64(std::floor(elapsed * m_rate));
    // After a long stall (a stopped process, a loaded machine) skip ahead
    // rather than pour out a burst of old motion.
    const quint64 maxBurst = quint64(std::ceil(m_rate * 0.1)) + 1;
    if (due > m_nextFrame + maxBurst) {
        m_framesDropped += (due - maxBurst - m_nextFrame) * quint64(m_config.bands.size());
        m_nextFrame = due - maxBurst;
    }
    QByteArray batch;
    int frames = 0;
    for (; m_nextFrame < due; ++m_nextFrame) {
        const double t = double(m_nextFrame) / m_rate;
        for (int b = 0; b < m_config.bands.size(); ++b) {
            const auto pose =
                GestureGenerator::pose(m_gestures[b], t + GestureGenerator::bandTimeOffset(b));
            batch += FrameCodec::encodeMotion(
                m_noise.jitter(GestureGenerator::frameOf(pose, m_config.bands[b].slot)));
            ++frames;
        }
    }
    if (frames == 0)
        return;
    if (queue(batch, kMaxLiveBacklog))
        m_framesSent += quint64(frames);
    else
        m_framesDropped += quint64(frames);
}

bool ReceiverSimulator::queue(const QByteArray& bytes, int limit)
{
    if (!m_out.isEmpty() && m_out.size() + bytes.size() > limit)
        return false;
    m_out += bytes;
    return true;
}

void ReceiverSimulator::flush()
{
    if (m_master < 0 || m_out.isEmpty()) {
        m_stallClock.invalidate();
        return;
    }
    const ssize_t n = ::write(m_master, m_out.constData(), size_t(m_out.size()));
    if (n > 0) {
        m_out.remove(0, int(n));
        m_stallClock.invalidate();
        return;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
        say(QStringLiteral("error: writing to the terminal: %1")
                .arg(QString::fromLocal8Bit(strerror(errno))));
        m_out.clear();
        return;
    }
    if (!m_stallClock.isValid()) {
        m_stallClock.start();
    } else if (m_stallClock.elapsed() > kStallMs) {
        // The application closed the port: wait for its next greeting.
        m_out.clear();
        m_stallClock.invalidate();
        m_greeted = false;
        m_replayRunning = false;
        say(QStringLiteral("host stopped reading; waiting for a greeting"));
    }
}

void ReceiverSimulator::setGesture(GestureGenerator::Gesture gesture, int band)
{
    if (band >= m_gestures.size())
        return;
    if (band < 0) {
        m_gestures.fill(gesture);
        say(QStringLiteral("gesture %1 (all bands)").arg(GestureGenerator::nameOf(gesture)));
        return;
    }
    m_gestures[band] = gesture;
    say(QStringLiteral("gesture %1 %2").arg(GestureGenerator::nameOf(gesture), describeBand(band)));
}

bool ReceiverSimulator::sendBandEvent(int band, uint8_t code)
{
    if (band < 0 || band >= m_config.bands.size())
        return false;
    if (m_master < 0) {
        say(QStringLiteral("error: unplugged; event not sent"));
        return false;
    }
    FrameCodec::BandEventFrame event;
    event.slot = m_config.bands[band].slot;
    event.code = code;
    queue(FrameCodec::encodeBandEvent(event), kMaxReplayBacklog);
    flush();
    say(QStringLiteral("event %1 %2").arg(eventName(code), describeBand(band)));
    return true;
}

bool ReceiverSimulator::startReplay(const QString& path, bool loop)
{
    PerformanceRecorder::Recording recording = PerformanceRecorder::load(path);
    if (!recording.ok) {
        say(QStringLiteral("error: cannot replay %1: %2").arg(path, recording.error));
        return false;
    }
    if (!recording.error.isEmpty())
        say(QStringLiteral("error: %1: %2; playing what comes before").arg(path, recording.error));
    if (m_noise.degrees() > 0.0)
        recording = m_noise.applyTo(recording);
    if (recording.chunks.isEmpty()) {
        say(QStringLiteral("error: %1 holds nothing to replay").arg(path));
        return false;
    }

    // The recording's own device list tells which band each slot means; a
    // recording started after the device list gets ours in front of it.
    QByteArray all;
    for (const auto& chunk : qAsConst(recording.chunks))
        all += chunk.bytes;
    std::map<uint8_t, uint64_t> table;
    FrameFramer framer;
    framer.feed(reinterpret_cast<const uint8_t*>(all.constData()), all.size(),
                [&table](const uint8_t* frame, int length) {
                    if (FrameCodec::typeOf(frame[0]) != FrameCodec::DeviceList)
                        return;
                    if (const auto list = FrameCodec::decodeDeviceList(frame, length))
                        for (size_t i = 0; i < list->uuids.size(); ++i)
                            if (list->uuids[i] != 0)
                                table[list->slots[i]] = list->uuids[i];
                });
    m_replayPrologue.clear();
    m_slotTable.clear();
    if (table.empty()) {
        m_replayPrologue = deviceListFrame();
        for (const Band& b : qAsConst(m_config.bands))
            m_slotTable[b.slot] = b.uuid;
    } else {
        m_slotTable = table;
    }

    m_replay = std::move(recording);
    m_replayPath = path;
    m_replayLoop = loop;
    m_mode = Mode::Replay;
    const quint64 span = m_replay.chunks.last().timeUs - m_replay.chunks.first().timeUs;
    say(QStringLiteral("replay loaded %1 (%2 chunks, %3 s%4)")
            .arg(path)
            .arg(m_replay.chunks.size())
            .arg(double(span) / 1e6, 0, 'f', 1)
            .arg(loop ? QStringLiteral(", looping") : QString()));
    if (m_greeted)
        beginReplay();
    else
        say(QStringLiteral("replay waits for the application's greeting"));
    return true;
}

void ReceiverSimulator::beginReplay()
{
    m_out.clear();
    m_replayPos = 0;
    m_replayRunning = true;
    m_replayClock.start();
    if (!m_replayPrologue.isEmpty())
        queue(m_replayPrologue, kMaxReplayBacklog);
    say(QStringLiteral("replay started"));
    playReplay();
}

void ReceiverSimulator::playReplay()
{
    if (!m_replayRunning)
        return;
    const quint64 origin = m_replay.chunks.first().timeUs;
    const quint64 elapsed = quint64(m_replayClock.nsecsElapsed() / 1000);
    while (m_replayPos < m_replay.chunks.size()) {
        const auto& chunk = m_replay.chunks[m_replayPos];
        if (chunk.timeUs - origin > elapsed)
            return;
        // A recording is played whole: when the application reads slowly
        // the bytes wait rather than being dropped.
        if (!queue(chunk.bytes, kMaxReplayBacklog))
            return;
        ++m_replayPos;
    }
    if (m_replayLoop) {
        m_replayPos = 0;
        m_replayClock.start();
        return;
    }
    m_replayRunning = false;
    m_mode = Mode::Idle;
    say(QStringLiteral("replay finished"));
    Q_EMIT replayFinished();
}

void ReceiverSimulator::goLive()
{
    m_replayRunning = false;
    m_mode = Mode::Live;
    m_slotTable.clear();
    for (const Band& b : qAsConst(m_config.bands))
        m_slotTable[b.slot] = b.uuid;
    restartLiveClock();
    if (m_greeted) {
        // The application may have learnt other bands from a recording.
        queue(deviceListFrame(), kMaxReplayBacklog);
        flush();
    }
    say(QStringLiteral("live"));
}

void ReceiverSimulator::execute(const QString& line)
{
    const SimulatorCommand c = SimulatorCommand::parse(line, m_config.bands.size());
    using Kind = SimulatorCommand::Kind;
    switch (c.kind) {
    case Kind::Empty:
        break;
    case Kind::Invalid:
        say(QStringLiteral("error: %1").arg(c.error));
        break;
    case Kind::Help:
        say(SimulatorCommand::help());
        break;
    case Kind::Status: {
        QStringList bands;
        for (int b = 0; b < m_config.bands.size(); ++b)
            bands << QStringLiteral("%1 %2").arg(describeBand(b),
                                                 GestureGenerator::nameOf(m_gestures[b]));
        const char* mode = m_mode == Mode::Live     ? "live"
                           : m_mode == Mode::Replay ? "replay"
                                                    : "idle";
        say(QStringLiteral("status %1 %2 %3, %4 frames/s per band, %5 sent, %6 dropped; %7")
                .arg(isPlugged() ? m_path : QStringLiteral("unplugged"),
                     m_greeted ? QStringLiteral("connected") : QStringLiteral("waiting"),
                     QLatin1String(mode))
                .arg(m_rate, 0, 'f', 1)
                .arg(m_framesSent)
                .arg(m_framesDropped)
                .arg(bands.join(QStringLiteral("; "))));
        break;
    }
    case Kind::Quit:
        Q_EMIT quitRequested();
        break;
    case Kind::BypassOn:
        sendBandEvent(c.band, FrameCodec::BypassOn);
        break;
    case Kind::BypassOff:
        sendBandEvent(c.band, FrameCodec::BypassOff);
        break;
    case Kind::Mapping:
        sendBandEvent(c.band, FrameCodec::MappingRequest);
        break;
    case Kind::Gesture:
        setGesture(c.gesture, c.band);
        break;
    case Kind::Unplug:
        unplug();
        break;
    case Kind::Plug:
        plug();
        break;
    case Kind::Replug:
        replug(c.delayMs);
        break;
    case Kind::Replay:
        startReplay(c.path, c.loop);
        break;
    case Kind::Live:
        goLive();
        break;
    }
}
