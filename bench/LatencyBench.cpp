// SPDX-License-Identifier: GPL-3.0-or-later
// Latency from the last byte of a motion frame written to the receiver's
// terminal to the controller message handed to the MIDI backend, through
// the application's own objects (AppRuntime: link thread, engine, control
// sources on the GUI thread, MIDI pending buffer flushed by the audio
// callback of a JACK dummy server at 64-sample blocks). Four bands stream
// 180 frames per second each; every frame moves its band's pitch, and each
// band drives one controller, so every frame yields exactly one message.
//
// The same messages are also read where another music program reads them:
// a JACK client of the benchmark's own connected to "KinetraMIDIPort"
// records each at its JACK frame time, turned into the steady clock through
// the server's own estimate of when that frame is processed
// (jack_frames_to_time). Its latency should be one period plus a constant,
// with little jitter.
//
// Without arguments the program runs two child processes, one without the
// window and one with the real main window loaded (needs an X server: run
// it under xvfb-run -a), and prints both results.

#include "JackDummyServer.h"
#include "JackMidiReader.h"
#include "PortCounters.h"
#include "SampleSummary.h"
#include "TimestampingMidiBackend.h"

#include "app/ActionHandler.h"
#include "app/AppRuntime.h"
#include "app/JuceMessagePump.h"
#include "app/MultisampleChoice.h"
#include "app/QmlTypes.h"
#include "app/RenderPriority.h"
#include "app/SceneGraphChoice.h"
#include "app/StateManager.h"
#include "app/VApplication.h"
#include "audio/AudioProcessorHolder.h"
#include "engine/ContinuousControlSource.h"
#include "engine/ControlMapping.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "midi/JackMidiPort.h"
#include "midi/MidiHandler.h"
#include "protocol/FrameCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <QTimer>

#include <juce_events/juce_events.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kBands = 4;
constexpr double kRatePerBand = 180.0;
constexpr int kPeriod = 64;
constexpr int kFirstController = 102; // undefined controllers 102..105
constexpr uint64_t kFirstUuid = 0x4B4E42454E430101ULL;
// Pitch levels a band cycles through; consecutive frames always differ.
constexpr int kLevels = 12;
constexpr double kLatencyTargetMs = 3.0;

int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool runUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        runEventLoopFor(10);
    }
    return true;
}

QByteArray motionFrame(int band, int level)
{
    // A pitch sweep of ±0.33 rad around level ground (pitch saturates beyond
    // about ±0.35 rad).
    const double angle = -0.33 + 0.66 * double(level) / double(kLevels - 1);
    FrameCodec::MotionFrame frame;
    frame.slot = uint8_t(band);
    frame.q.w = float(std::cos(angle / 2.0));
    frame.q.y = float(std::sin(angle / 2.0));
    frame.az = 16384;
    return FrameCodec::encodeMotion(frame);
}

// Plays the receiver on the master side of a pseudo-terminal, on a thread
// of its own: answers the application's greeting with the device list, then
// streams frames round-robin over the bands at kBands * kRatePerBand frames
// per second, stamping the moment each frame's last byte is written.
class FrameWriter
{
public:
    bool open()
    {
        int master = -1;
        int slave = -1;
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return false;
        termios tio{};
        tcgetattr(slave, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
        m_master = master;
        m_slave = slave;
        m_path = QString::fromLocal8Bit(name);
        return true;
    }
    ~FrameWriter()
    {
        stop();
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
    }
    QString path() const { return m_path; }

    // Waits (on the calling thread) for the greeting, then sends the list.
    bool answerGreeting(int timeoutMs)
    {
        const QByteArray greeting = FrameCodec::greeting();
        QByteArray seen;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0 && (p.revents & POLLIN)) {
                char buffer[256];
                const ssize_t n = ::read(m_master, buffer, sizeof buffer);
                if (n > 0)
                    seen.append(buffer, int(n));
            }
            if (seen.contains(greeting)) {
                FrameCodec::DeviceListFrame list;
                for (int b = 0; b < kBands; ++b) {
                    list.uuids[size_t(b)] = kFirstUuid + uint64_t(b);
                    list.slots[size_t(b)] = uint8_t(b);
                }
                return writeAll(FrameCodec::encodeDeviceList(list));
            }
        }
        return false;
    }

    // Streams `framesPerBand` frames of every band on the writer thread; the
    // write times of frame k of band b go to stamps[b][k] when recording.
    void stream(int framesPerBand, bool record, double ratePerBand = kRatePerBand)
    {
        stop();
        m_stamps.assign(kBands, std::vector<int64_t>());
        m_frameStamps.assign(kBands, std::vector<int64_t>());
        m_byteEnds.assign(kBands, std::vector<uint64_t>());
        if (record) {
            for (auto& s : m_stamps)
                s.reserve(size_t(framesPerBand));
            for (auto& s : m_frameStamps)
                s.reserve(size_t(framesPerBand));
            for (auto& s : m_byteEnds)
                s.reserve(size_t(framesPerBand));
        }
        m_done = false;
        m_thread = std::thread([this, framesPerBand, record, ratePerBand] {
            run(framesPerBand, record, ratePerBand);
            m_done = true;
        });
    }
    bool isDone() const { return m_done.load(); }
    void stop()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    const std::vector<std::vector<int64_t>>& stamps() const { return m_stamps; }
    // The same frames on the JACK server's frame clock, and the count of
    // bytes written when each frame's last byte was (when a frame clock is
    // set).
    const std::vector<std::vector<int64_t>>& frameStamps() const { return m_frameStamps; }
    const std::vector<std::vector<uint64_t>>& byteEnds() const { return m_byteEnds; }
    // Set before stream(): the server's frame clock now.
    void setFrameClock(std::function<int64_t()> clock) { m_frameClock = std::move(clock); }
    // The level of the next frame of every band is sequence() % kLevels.
    uint64_t sequence() const { return m_sequence; }
    int64_t lateWrites() const { return m_late; }
    bool failed() const { return m_failed; }

private:
    bool writeAll(const QByteArray& bytes)
    {
        int done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += int(n);
            m_bytesWritten += uint64_t(n);
        }
        return true;
    }

    void drainInput()
    {
        char buffer[256];
        pollfd p{m_master, POLLIN, 0};
        while (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
            if (::read(m_master, buffer, sizeof buffer) <= 0)
                break;
        }
    }

    void run(int framesPerBand, bool record, double ratePerBand)
    {
        std::vector<QByteArray> frames;
        for (int b = 0; b < kBands; ++b)
            for (int l = 0; l < kLevels; ++l)
                frames.push_back(motionFrame(b, l));
        const int64_t step = int64_t(1e9 / (kBands * ratePerBand));
        m_late = 0;
        timespec next{};
        clock_gettime(CLOCK_MONOTONIC, &next);
        const int total = framesPerBand * kBands;
        for (int n = 0; n < total; ++n) {
            const int band = n % kBands;
            const int level = int((m_sequence + uint64_t(n / kBands)) % kLevels);
            next.tv_nsec += step;
            while (next.tv_nsec >= 1000000000L) {
                next.tv_nsec -= 1000000000L;
                ++next.tv_sec;
            }
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            if (now.tv_sec > next.tv_sec ||
                (now.tv_sec == next.tv_sec && now.tv_nsec > next.tv_nsec + 1000000L))
                ++m_late;
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
            // The stamp is taken right before the frame's last byte goes
            // out: the link may turn that byte into MIDI before a stamp
            // taken after the write would be read, which would attribute
            // the message to the previous frame.
            const QByteArray& frame = frames[size_t(band * kLevels + level)];
            if (!writeAll(frame.left(frame.size() - 1))) {
                m_failed = true;
                return;
            }
            const int64_t written = nowNs();
            const int64_t writtenFrame = m_frameClock ? m_frameClock() : 0;
            if (!writeAll(frame.right(1))) {
                m_failed = true;
                return;
            }
            if (record) {
                m_stamps[size_t(band)].push_back(written);
                m_frameStamps[size_t(band)].push_back(writtenFrame);
                m_byteEnds[size_t(band)].push_back(m_bytesWritten);
            }
            if (band == kBands - 1)
                drainInput();
        }
        m_sequence += uint64_t(framesPerBand);
    }

    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    std::thread m_thread;
    std::atomic<bool> m_done{true};
    std::vector<std::vector<int64_t>> m_stamps;
    std::vector<std::vector<int64_t>> m_frameStamps;
    std::vector<std::vector<uint64_t>> m_byteEnds;
    std::function<int64_t()> m_frameClock;
    uint64_t m_bytesWritten = 0; // writer thread (and answerGreeting before it)
    uint64_t m_sequence = 0;
    int64_t m_late = 0;
    bool m_failed = false;
};

// The link's reads on the server's frame clock: the raw tap runs on the link
// thread right after each read, with the bytes read. Each entry is the count
// of bytes read so far and the frame clock then; a frame was read by the
// first read whose count reaches its last byte. Preallocated; the link
// thread is the only writer and publishes the count with a release store.
class ReadLog
{
public:
    explicit ReadLog(size_t capacity) : m_entries(capacity) {}
    void setReader(JackMidiReader* reader) { m_reader.store(reader); }
    void onRead(const QByteArray& bytes)
    {
        m_bytes += uint64_t(bytes.size());
        JackMidiReader* reader = m_reader.load();
        const size_t n = m_count.load(std::memory_order_relaxed);
        if (reader == nullptr || n >= m_entries.size())
            return;
        m_entries[n] = {m_bytes, int64_t(reader->frameNow())};
        m_count.store(n + 1, std::memory_order_release);
    }
    // The frame clock of the read that brought byte `byteEnd`; -1 if none.
    int64_t frameOfByte(uint64_t byteEnd) const
    {
        const size_t n = m_count.load(std::memory_order_acquire);
        const auto end = m_entries.begin() + long(n);
        const auto it =
            std::lower_bound(m_entries.begin(), end, byteEnd,
                             [](const Entry& e, uint64_t bytes) { return e.bytes < bytes; });
        return it == end ? -1 : it->frame;
    }

private:
    struct Entry
    {
        uint64_t bytes = 0;
        int64_t frame = 0;
    };
    std::vector<Entry> m_entries;
    std::atomic<size_t> m_count{0};
    std::atomic<JackMidiReader*> m_reader{nullptr};
    uint64_t m_bytes = 0; // link thread
};

struct Options
{
    bool window = false;
    bool realtime = false; // JACK with real-time scheduling
    int frames = 12000;    // over all bands
};

int fail(const char* what)
{
    std::fprintf(stderr, "bench_latency: %s\n", what);
    return 1;
}

// One measurement in this process.
int measure(int argc, char** argv, const Options& options)
{
    // Documents, settings and audio set-up go to a folder of our own.
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/kinetra-bench-XXXXXX"));
    if (!home.isValid())
        return fail("cannot create a temporary folder");
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    if (!options.window)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QCoreApplication::setApplicationName(QStringLiteral("Kinetra"));
    QCoreApplication::setOrganizationName(QStringLiteral("Vantor Corp"));
    // The application's own class (a widgets application: the tray icon and
    // the native menus need one).
    auto app = std::make_unique<VApplication>(argc, argv);
    app->installEventFilter(app.get());

    JackDummyServer server(JackDummyServer::Mode::Private, kPeriod, options.realtime);
    const QString problem = server.start();
    if (!problem.isEmpty())
        return fail(qPrintable(problem));

    juce::MessageManager::getInstance();
    JuceMessagePump pump;
    pump.start();

    FrameWriter writer;
    if (!writer.open())
        return fail("cannot open a pseudo-terminal");

    auto backend = std::make_shared<TimestampingMidiBackend>(size_t(options.frames) * 4 + 100000);
    AppRuntime::Options runtimeOptions;
    const QString port = writer.path();
    runtimeOptions.portSearch = [port] { return port; };
    runtimeOptions.documentsRoot = home.path() + QStringLiteral("/Documents");
    runtimeOptions.midiBackend = backend;
    ReadLog readLog(size_t(options.frames) * 2 + 100000);
    runtimeOptions.rawTap = [&readLog](const QByteArray& bytes) { readLog.onRead(bytes); };

    // The application's QML types and the types its queued signals carry.
    registerQmlTypes();

    // Declared before the window so that the window goes first.
    std::unique_ptr<AppRuntime> runtime;
    std::unique_ptr<QQmlApplicationEngine> qml;
    if (options.window) {
        QQuickStyle::setStyle(QStringLiteral("fusion"));
        // The application's scene graph and surface format: the software
        // scene graph where OpenGL renders on the CPU, else OpenGL with 8×
        // multisampling; vsync.
        const bool software =
            SceneGraphChoice::forThisMachine(MultisampleChoice::probeRenderer).software;
        if (software)
            QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
        QSurfaceFormat format = QSurfaceFormat::defaultFormat();
        format.setSamples(software ? 0 : MultisampleChoice::samplesFor(8));
        format.setSwapInterval(1);
        QSurfaceFormat::setDefaultFormat(format);
        qml = std::make_unique<QQmlApplicationEngine>();
    }

    runtime = std::make_unique<AppRuntime>(app.get(), runtimeOptions);
    runtime->createSharedObjects();
    runtime->loadPersistentState();
    if (qml)
        runtime->exposeTo(qml->rootContext());
    runtime->connectSignals();
    runtime->setLibraryShutdown([&pump] {
        pump.stop();
        ActionHandler::shutDownAudioLibrary();
    });
    runtime->startAudio();
    AudioProcessorHolder* audio = runtime->audioHost();
    if (audio->getCurrentDeviceType() != QLatin1String("JACK"))
        audio->setAudioDeviceType(QStringLiteral("JACK"));
    if (qml) {
        runtime->exposeTransportTo(qml->rootContext());
        qml->load(QUrl(QStringLiteral("qrc:/main.qml")));
        if (qml->rootObjects().isEmpty())
            return fail("the main window did not load");
        if (auto* window = qobject_cast<QWindow*>(qml->rootObjects().constFirst())) {
            runtime->actionHandler()->setWindow(window);
            RenderPriority::lowerWhenSoftware(qobject_cast<QQuickWindow*>(window));
        }
    }
    juce::AudioIODevice* device = audio->deviceManager().getCurrentAudioDevice();
    if (device == nullptr || audio->getCurrentDeviceType() != QLatin1String("JACK"))
        return fail("the JACK device did not open");
    const int blockSize = device->getCurrentBufferSizeSamples();
    const double sampleRate = device->getCurrentSampleRate();

    // The JACK MIDI port appears once the audio runs on JACK.
    JackMidiReader reader(size_t(options.frames) * 4 + 100000);
    const std::string jackPort =
        std::string(JackMidiPort::kClientName) + ":" + JackMidiPort::kOutputName;
    const bool readingJack = reader.open("kinetra-bench-latency-reader") &&
                             runUntil([&] { return reader.connectFrom(jackPort.c_str()); }, 20000);
    if (!readingJack)
        std::fprintf(stderr, "bench_latency: cannot read %s; measuring the backend only\n",
                     jackPort.c_str());
    if (readingJack) {
        writer.setFrameClock([&reader] { return int64_t(reader.frameNow()); });
        readLog.setReader(&reader);
    }
    JackMidiPort* jackMidi = runtime->jackMidiPort();

    // The link's pilot finds the terminal through the port search and greets.
    std::atomic<bool> greeted{false};
    std::thread greeter([&] { greeted = writer.answerGreeting(20000); });
    runUntil([&] { return greeted.load(); }, 21000);
    greeter.join();
    if (!greeted)
        return fail("the application never greeted the receiver");

    MotionControlEngine* engine = runtime->engine();
    const bool listed = runUntil(
        [&] {
            for (int b = 0; b < kBands; ++b)
                if (!engine->getDeviceById(kFirstUuid + uint64_t(b)))
                    return false;
            return true;
        },
        10000);
    if (!listed)
        return fail("the bands did not appear");
    // One controller per band, following its pitch, over the whole range.
    for (int b = 0; b < kBands; ++b) {
        ContinuousControlSource* source = engine->getCSourceAt(b);
        source->setDummy(false);
        source->setEnabled(true);
        source->setEventNumber(uint8_t(kFirstController + b));
        source->setAxis(ControlMapping::AxisY);
        source->setDevice(kFirstUuid + uint64_t(b), true);
    }

    // Warm-up: the bands become ready after their first frames.
    const int warmUp = Orvik::kWarmUpFrames + 180;
    writer.stream(warmUp, false);
    runUntil([&] { return writer.isDone(); }, 120000);
    writer.stop();
    runEventLoopFor(300);
    for (int b = 0; b < kBands; ++b)
        if (!engine->getDeviceById(kFirstUuid + uint64_t(b))->isReady())
            return fail("a band did not finish its warm-up");

    // Which controller value each pitch level gives: two slow cycles, one
    // frame of a band every 100 ms; a message belongs to the band's latest
    // frame written before it (a majority vote absorbs the odd stall).
    std::vector<std::vector<int>> levelOfValue(kBands, std::vector<int>(128, -1));
    {
        const uint64_t first = writer.sequence();
        backend->arm();
        writer.stream(2 * kLevels, true, 10.0);
        runUntil([&] { return writer.isDone(); }, 60000);
        writer.stop();
        runEventLoopFor(300);
        backend->disarm();
        std::vector<std::vector<std::vector<int>>> votes(
            kBands, std::vector<std::vector<int>>(128, std::vector<int>(kLevels, 0)));
        for (size_t i = 0; i < backend->count(); ++i) {
            const auto& r = backend->at(i);
            const int band = int(r.bytes[1]) - kFirstController;
            if (r.size != 3 || (r.bytes[0] & 0xF0) != 0xB0 || band < 0 || band >= kBands)
                continue;
            const auto& sent = writer.stamps()[size_t(band)];
            size_t k = 0;
            while (k < sent.size() && sent[k] <= r.ns)
                ++k;
            if (k == 0)
                continue;
            ++votes[size_t(band)][r.bytes[2]][size_t((first + (k - 1)) % kLevels)];
        }
        for (int b = 0; b < kBands; ++b) {
            std::vector<bool> levelSeen(kLevels, false);
            for (int v = 0; v < 128; ++v) {
                const auto& count = votes[size_t(b)][size_t(v)];
                const auto best = std::max_element(count.begin(), count.end());
                if (*best > 0) {
                    levelOfValue[size_t(b)][size_t(v)] = int(best - count.begin());
                    levelSeen[size_t(best - count.begin())] = true;
                }
            }
            if (std::count(levelSeen.begin(), levelSeen.end(), true) != kLevels) {
                std::fprintf(stderr, "band %d, value:level:votes", b);
                for (int v = 0; v < 128; ++v)
                    for (int l = 0; l < kLevels; ++l)
                        if (votes[size_t(b)][size_t(v)][size_t(l)] > 0)
                            std::fprintf(stderr, " %d:%d:%d", v, l,
                                         votes[size_t(b)][size_t(v)][size_t(l)]);
                std::fprintf(stderr, "\n");
                return fail("the slow probe did not see every pitch level of every band");
            }
        }
    }

    const uint64_t dropsBefore = runtime->midiHandler()->droppedMessageCount();
    const int xrunsBefore = device->getXRunCount();
    const int framesPerBand = (options.frames + kBands - 1) / kBands;
    const uint64_t firstLevel = writer.sequence();
    const size_t jackBefore = reader.messages().size();
    const int readerXrunsBefore = reader.xruns();
    const JackMidiPort::Counters portBefore =
        jackMidi ? jackMidi->counters() : JackMidiPort::Counters{};
    backend->arm();
    writer.stream(framesPerBand, true);
    runUntil([&] { return writer.isDone(); }, 600000);
    writer.stop();
    runEventLoopFor(500);
    backend->disarm();
    const int readerXruns = reader.xruns() - readerXrunsBefore;
    const JackMidiPort::Counters portAfter =
        jackMidi ? jackMidi->counters() : JackMidiPort::Counters{};
    // The port's messages on the steady clock: JACK's clock (microseconds)
    // against the steady clock, read side by side, the closest of a few pairs.
    struct Stamped
    {
        int64_t ns;
        uint8_t size;
        uint8_t bytes[3];
    };
    std::vector<Stamped> atPort;
    std::vector<Stamped> atReader; // when the reader's cycle ran, plus the event's offset
    std::vector<Stamped> atFrames; // the frame it arrived on
    if (readingJack) {
        int64_t offsetNs = 0;
        int64_t bestWindow = INT64_MAX;
        for (int i = 0; i < 50; ++i) {
            const int64_t before = nowNs();
            const int64_t jack = int64_t(reader.nowMicroseconds()) * 1000;
            const int64_t after = nowNs();
            if (after - before < bestWindow) {
                bestWindow = after - before;
                offsetNs = (before + after) / 2 - jack;
            }
        }
        const auto all = reader.messages();
        for (size_t i = jackBefore; i < all.size(); ++i) {
            const auto& m = all[i];
            Stamped st{int64_t(reader.frameToMicroseconds(m.frame)) * 1000 + offsetNs,
                       m.size,
                       {m.bytes[0], m.bytes[1], m.bytes[2]}};
            atPort.push_back(st);
            Stamped sr{m.deliveredNs, m.size, {m.bytes[0], m.bytes[1], m.bytes[2]}};
            atReader.push_back(sr);
            Stamped sf{int64_t(m.frame), m.size, {m.bytes[0], m.bytes[1], m.bytes[2]}};
            atFrames.push_back(sf);
        }
    }
    const int xruns = device->getXRunCount() - xrunsBefore;
    const uint64_t drops = runtime->midiHandler()->droppedMessageCount() - dropsBefore;
    if (writer.failed())
        return fail("writing to the terminal failed");

    // Each message names its band (controller) and pitch level (value). It
    // belongs to the first frame of that level at or after the band's last
    // matched frame. Frames passed over on the way were superseded: the
    // control source reads the band's latest motion when it runs, so a frame
    // that arrives before the previous one was handled replaces it. A
    // message that cannot be placed is counted as unmatched.
    struct Matched
    {
        std::vector<double> latenciesMs;
        long superseded = 0;
        long unsent = 0;
        long unmatched = 0;
        long longestRun = 0;
        size_t framesWritten = 0;
        // Per matched message: its band, its frame's index and its latency
        // in the stamps' own unit.
        std::vector<int> bands;
        std::vector<size_t> frameIndices;
        std::vector<int64_t> raw;
    };
    // `at(i)` gives the i-th message as (a stamp, bytes); `sentStamps` the
    // frames' stamps on the same clock (by default the steady clock).
    const auto match = [&](size_t count, const std::function<Stamped(size_t)>& at,
                           const std::vector<std::vector<int64_t>>* sentStamps = nullptr) {
        const std::vector<std::vector<int64_t>>& stamps =
            sentStamps ? *sentStamps : writer.stamps();
        Matched m;
        std::vector<size_t> next(kBands, 0);
        for (size_t i = 0; i < count; ++i) {
            const Stamped r = at(i);
            const int band = int(r.bytes[1]) - kFirstController;
            if (r.size != 3 || (r.bytes[0] & 0xF0) != 0xB0 || band < 0 || band >= kBands)
                continue;
            const auto& sent = stamps[size_t(band)];
            const int level = levelOfValue[size_t(band)][r.bytes[2]];
            size_t k = next[size_t(band)];
            while (k < sent.size() && int((firstLevel + k) % kLevels) != level)
                ++k;
            if (level < 0 || k >= sent.size() || sent[k] > r.ns) {
                ++m.unmatched;
                continue;
            }
            m.superseded += long(k - next[size_t(band)]);
            m.longestRun = std::max(m.longestRun, long(k - next[size_t(band)]));
            m.latenciesMs.push_back(double(r.ns - sent[k]) * 1e-6);
            m.bands.push_back(band);
            m.frameIndices.push_back(k);
            m.raw.push_back(r.ns - sent[k]);
            next[size_t(band)] = k + 1;
        }
        for (int b = 0; b < kBands; ++b) {
            m.framesWritten += writer.stamps()[size_t(b)].size();
            m.unsent += long(writer.stamps()[size_t(b)].size() - next[size_t(b)]);
        }
        return m;
    };
    const Matched atBackend = match(backend->count(), [&](size_t i) {
        const auto& r = backend->at(i);
        Stamped st{r.ns, uint8_t(r.size), {r.bytes[0], r.bytes[1], r.bytes[2]}};
        return st;
    });
    const std::vector<double>& latenciesMs = atBackend.latenciesMs;
    const long superseded = atBackend.superseded;
    const long unsent = atBackend.unsent;
    const long unmatched = atBackend.unmatched;
    const long longestRun = atBackend.longestRun;
    const size_t framesWritten = atBackend.framesWritten;
    const SampleSummary s = SampleSummary::of(latenciesMs);
    const bool pass = s.p99 < kLatencyTargetMs && unsent == 0 && unmatched == 0 && drops == 0;

    std::printf("latency, frame written -> MIDI handed to backend (%s)\n",
                options.window ? "with the main window" : "without a window");
    std::printf("  JACK dummy (%s): %d samples at %.0f Hz (%.2f ms per block), xruns during "
                "run: %d\n",
                options.realtime ? "real-time" : "not real-time", blockSize, sampleRate,
                1000.0 * blockSize / sampleRate, xruns);
    std::printf("  bands: %d at %.0f frames/s each; frames written: %zu, sent as their own "
                "message: %zu; writes over 1 ms late: %lld\n",
                kBands, kRatePerBand, framesWritten, s.count,
                static_cast<long long>(writer.lateWrites()));
    std::printf("  median %.3f ms   p99 %.3f ms   max %.3f ms   mean %.3f ms   min %.3f ms\n",
                s.median, s.p99, s.max, s.mean, s.min);
    std::printf("  over 3 ms: %.3f%%\n", 100.0 * SampleSummary::shareAbove(latenciesMs, 3.0));
    std::printf("  superseded by a newer frame before being sent: %ld (%.2f%%, longest run %ld)\n",
                superseded,
                framesWritten ? 100.0 * double(superseded) / double(framesWritten) : 0.0,
                longestRun);
    std::printf("  lost (never reflected in any message): %ld   unmatched messages: %ld   "
                "MIDI buffer drops: %llu\n",
                unsent, unmatched, static_cast<unsigned long long>(drops));
    std::printf("  target p99 < %.0f ms and no frame lost: %s\n", kLatencyTargetMs,
                pass ? "met" : "NOT met");
    if (readingJack) {
        const Matched j = match(atPort.size(), [&](size_t i) { return atPort[i]; });
        const SampleSummary js = SampleSummary::of(j.latenciesMs);
        const double periodMs = 1000.0 * blockSize / sampleRate;
        std::printf("latency, frame written -> its frame at the JACK MIDI port, on the server's "
                    "time estimate (jack_frames_to_time) "
                    "(reader's xruns: %d)\n",
                    readerXruns);
        std::printf("  messages read: %zu, matched to their frame: %zu\n", atPort.size(), js.count);
        std::printf("  median %.3f ms   p1 %.3f ms   p99 %.3f ms   max %.3f ms   min %.3f ms   "
                    "mean %.3f ms (one period: %.3f ms)\n",
                    js.median, js.p1, js.p99, js.max, js.min, js.mean, periodMs);
        std::printf("  jitter p99 - p1: %.3f ms   stddev %.3f ms\n", js.p99 - js.p1, js.stddev);
        std::printf("  superseded: %ld   lost: %ld   unmatched: %ld\n", j.superseded, j.unsent,
                    j.unmatched);
        const Matched d = match(atReader.size(), [&](size_t i) { return atReader[i]; });
        const SampleSummary ds = SampleSummary::of(d.latenciesMs);
        std::printf("  the same messages on the steady clock when the reader's cycle ran (plus "
                    "their offset in it):\n");
        std::printf("  median %.3f ms   p1 %.3f ms   p99 %.3f ms   max %.3f ms   jitter p99 - p1 "
                    "%.3f ms; lost %ld, unmatched %ld\n",
                    ds.median, ds.p1, ds.p99, ds.max, ds.p99 - ds.p1, d.unsent, d.unmatched);

        // In the server's frames: the frame clock when the frame's last byte
        // was written (jack_frame_time), when the link read it (the raw
        // tap, right after the read) and the frame the message arrived on at
        // the reader (its cycle's first frame plus its offset).
        const Matched f = match(
            atFrames.size(), [&](size_t i) { return atFrames[i]; }, &writer.frameStamps());
        const double msPerFrame = 1000.0 / sampleRate;
        const auto row = [&](const char* what, const std::vector<double>& frames) {
            const SampleSummary t = SampleSummary::of(frames);
            std::printf("  %-34s median %7.1f  p1 %7.1f  p99 %7.1f  max %7.1f frames"
                        " = %.3f / %.3f / %.3f / %.3f ms; p99 - p1 %.1f frames = %.3f ms\n",
                        what, t.median, t.p1, t.p99, t.max, t.median * msPerFrame,
                        t.p1 * msPerFrame, t.p99 * msPerFrame, t.max * msPerFrame, t.p99 - t.p1,
                        (t.p99 - t.p1) * msPerFrame);
        };
        // KINETRA_BENCH_DUMP=<file>: band, written, read and arrival frame of
        // every matched message, in matching order.
        FILE* dump = qEnvironmentVariableIsSet("KINETRA_BENCH_DUMP")
                         ? std::fopen(qgetenv("KINETRA_BENCH_DUMP").constData(), "w")
                         : nullptr;
        std::vector<double> total;
        std::vector<double> serial;
        std::vector<double> rest;
        for (size_t i = 0; i < f.raw.size(); ++i) {
            const size_t band = size_t(f.bands[i]);
            const size_t k = f.frameIndices[i];
            total.push_back(double(f.raw[i]));
            const int64_t read = readLog.frameOfByte(writer.byteEnds()[band][k]);
            if (read < 0)
                continue;
            serial.push_back(double(read - writer.frameStamps()[band][k]));
            if (dump != nullptr)
                std::fprintf(dump, "%zu %lld %lld %lld\n", band,
                             (long long)writer.frameStamps()[band][k], (long long)read,
                             (long long)(writer.frameStamps()[band][k] + f.raw[i]));
            rest.push_back(double(f.raw[i]) - double(read - writer.frameStamps()[band][k]));
        }
        std::printf("latency in the server's frames (period %d frames = %.3f ms):\n", blockSize,
                    blockSize * msPerFrame);
        if (dump != nullptr)
            std::fclose(dump);
        row("written -> arrived at the port:", total);
        row("  written -> read by the link:", serial);
        row("  read -> arrived at the port:", rest);
        std::printf("  matched %zu of %zu messages; lost %ld, unmatched %ld\n", f.raw.size(),
                    atFrames.size(), f.unsent, f.unmatched);
        if (jackMidi)
            printPortCounters(portBefore, portAfter);
    }
    std::fflush(stdout);

    // Leave as the application does: aboutToQuit runs the quit sequence.
    QTimer::singleShot(0, app.get(), [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    qml.reset();
    runtime.reset();
    app.reset();
    server.stop();
    return pass ? 0 : 3;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    bool child = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--window") == 0) {
            options.window = true;
            child = true;
        } else if (std::strcmp(argv[i], "--no-window") == 0) {
            child = true;
        } else if (std::strcmp(argv[i], "--realtime") == 0) {
            options.realtime = true;
        } else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            options.frames = std::max(kBands * kLevels * 2, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr,
                         "usage: %s [--window | --no-window] [--realtime] [--frames N]\n"
                         "Without --window or --no-window, runs both (the window needs X: run "
                         "under xvfb-run -a). --realtime runs JACK with real-time scheduling, "
                         "as on a desktop (needs the right to it).\n",
                         argv[0]);
            return 2;
        }
    }
    if (child)
        return measure(argc, argv, options);

    // Both runs, each in a fresh process.
    QCoreApplication parent(argc, argv);
    int worst = 0;
    for (const char* mode : {"--no-window", "--window"}) {
        QStringList args{QString::fromLatin1(mode), QStringLiteral("--frames"),
                         QString::number(options.frames)};
        if (options.realtime)
            args << QStringLiteral("--realtime");
        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedChannels);
        run.start(QString::fromLocal8Bit(argv[0]), args);
        run.waitForFinished(-1);
        const int code = run.exitStatus() == QProcess::NormalExit ? run.exitCode() : 1;
        worst = std::max(worst, code);
        std::printf("\n");
    }
    std::printf(
        "repeat: xvfb-run -a %s --frames %d%s   (Release build, -DKINETRA_BUILD_BENCH=ON)\n",
        argv[0], options.frames, options.realtime ? " --realtime" : "");
    return worst;
}
