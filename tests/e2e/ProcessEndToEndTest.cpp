// SPDX-License-Identifier: GPL-3.0-or-later
// The real application as its own process, fed by the receiver simulator as
// another process: the "/crl" stream it sends to 127.0.0.1:9001 carries what
// the patch makes of the scripted motion, and what it saves on SIGTERM comes
// back on the next start.

#include "ScriptedPerformance.h"

#include "ReceiverSimulator.h"
#include "engine/ControlMapping.h"
#include "osc/OscControlPacket.h"
#include "osc/OscTestSupport.h"
#include "storage/JsonFields.h"
#include "storage/PatchDocument.h"
#include "support/SignalWait.h"
#include "tools/SimProcess.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <functional>

using testsupport::waitUntil;
using Gesture = GestureGenerator::Gesture;

namespace {

constexpr double kRate = 100.0;
constexpr uint64_t kBandA = ReceiverSimulator::kFirstIdentity;
constexpr uint64_t kBandB = ReceiverSimulator::kFirstIdentity + 1;
constexpr uint64_t kBandC = ReceiverSimulator::kFirstIdentity + 2;
// Long enough to cover every frame the simulator can send during the test.
constexpr uint64_t kFramesCovered = uint64_t(kRate * 240.0);
constexpr double kValueTolerance = 0.01;

struct CrlRecord
{
    QString name;
    float value = 0.0f;
    int eventNumber = 0;
    int channel = 0;
};

// The records of one "/crl" datagram (one blob per record); empty for any
// other message.
QVector<CrlRecord> decodeCrl(const QByteArray& datagram)
{
    QVector<CrlRecord> records;
    const auto message = osctest::decodeMessage(datagram);
    if (!message || message->address != QLatin1String("/crl"))
        return records;
    for (const QByteArray& blob : message->blobs) {
        if (blob.size() != OscControlPacket::kRecordSize)
            return {};
        const char* r = blob.constData();
        CrlRecord record;
        record.name = QString::fromUtf8(r, int(qstrnlen(r, OscControlPacket::kNameFieldSize)));
        const uint32_t bits = uint32_t(uint8_t(r[12])) | uint32_t(uint8_t(r[13])) << 8 |
                              uint32_t(uint8_t(r[14])) << 16 | uint32_t(uint8_t(r[15])) << 24;
        float scaled;
        std::memcpy(&scaled, &bits, sizeof scaled);
        record.value = scaled / OscControlPacket::kValueScale;
        record.eventNumber = uint8_t(r[16]);
        record.channel = uint8_t(r[17]);
        EXPECT_EQ(r[18], 0);
        EXPECT_EQ(r[19], 0);
        records.append(record);
    }
    return records;
}

QJsonObject readJson(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

bool writeJson(const QString& path, const QJsonObject& object)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(QJsonDocument(object).toJson()) > 0;
}

// The patch of the test: X, Y, Z and G of both bands, each shaped a little
// differently, so that a value going to the wrong wheel or a step of the
// arithmetic left out shows.
QVector<ControlSourceParams> patchWheels()
{
    using S = ScriptedPerformance;
    QVector<ControlSourceParams> w;
    w << S::wheel(0, "A roll", kBandA, ControlMapping::AxisX, 1, 0);
    w.back().isReversed = true;
    w.back().sensitivity = 1.5f;
    w.back().lowerbound = 10.0f;
    w.back().upperbound = 117.0f;
    w << S::wheel(1, "A pitch", kBandA, ControlMapping::AxisY, 2, 0);
    w.back().upperbound = 100.0f;
    w << S::wheel(2, "A turn", kBandA, ControlMapping::AxisZ, 3, 0);
    w << S::wheel(3, "A shake", kBandA, ControlMapping::AxisG, 4, 0);
    w.back().upperbound = 20.0f;
    w << S::wheel(4, "B roll", kBandB, ControlMapping::AxisX, 5, 1);
    w.back().sensitivity = 0.5f;
    w.back().lowerbound = 50.0f;
    w.back().upperbound = 80.0f;
    w << S::wheel(5, "B pitch", kBandB, ControlMapping::AxisY, 6, 1);
    w.back().sensitivity = 0.8f;
    w.back().lowerbound = 20.0f;
    w.back().upperbound = 107.0f;
    w << S::wheel(6, "B turn", kBandB, ControlMapping::AxisZ, 7, 1);
    w.back().isReversed = true;
    w << S::wheel(7, "B shake", kBandB, ControlMapping::AxisG, 8, 1);
    w.back().sensitivity = 0.5f;
    return w;
}

// What one run's "/crl" stream carried, source by source. Other programs
// on this machine may send to the same port (other test runs, another
// instance): only packets that name the patch's sources, in slot order, are
// taken as the application's; the others are counted.
struct CrlStream
{
    int packets = 0;
    int foreignPackets = 0;
    QStringList lastForeignNames;
    // Packets with the patch's names but other event numbers or channels.
    int wrongLayouts = 0;
    QMap<QString, QVector<float>> values;
};

class ProcessEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        documents = home.path() + "/Documents/Vantor/Kinetra";
        ASSERT_TRUE(QDir().mkpath(documents));
        patchPath = documents + "/stage.json";
    }

    void TearDown() override
    {
        if (app.state() != QProcess::NotRunning) {
            app.kill();
            app.waitForFinished(5000);
        }
    }

    void startApp(const QString& port)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.path() + "/.config");
        env.insert("XDG_DATA_HOME", home.path() + "/.local/share");
        env.remove("XDG_DOCUMENTS_DIR");
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("JACK_NO_START_SERVER", "1");
        // Leaks are not this test's business (and the window's graphics
        // plug-ins leave allocations behind that cannot be attributed).
        env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::MergedChannels);
        output.clear();
        app.start(KINETRA_EXECUTABLE, {"--port", port});
        ASSERT_TRUE(app.waitForStarted(10000));
    }

    // SIGTERM, then the exit code (negative when it did not end normally).
    int terminateApp() { return testsupport::terminateProcess(app, output); }

    // Listens until `enough` holds for what arrived (or the application
    // ends, or `timeoutMs` passes).
    CrlStream listen(QUdpSocket& socket, const std::function<bool(const CrlStream&)>& enough,
                     int timeoutMs = 90000)
    {
        QStringList names;
        QVector<int> events;
        QVector<int> channels;
        for (const ControlSourceParams& w : patchWheels()) {
            names << w.name;
            events << w.eventNumber;
            channels << w.channel;
        }
        CrlStream stream;
        waitUntil(
            [&] {
                output += QString::fromLocal8Bit(app.readAll());
                while (socket.hasPendingDatagrams()) {
                    QByteArray datagram(int(socket.pendingDatagramSize()), '\0');
                    socket.readDatagram(datagram.data(), datagram.size());
                    const QVector<CrlRecord> records = decodeCrl(datagram);
                    if (records.isEmpty())
                        continue;
                    QStringList packetNames;
                    for (const CrlRecord& r : records)
                        packetNames << r.name;
                    if (packetNames != names) {
                        ++stream.foreignPackets;
                        stream.lastForeignNames = packetNames;
                        continue;
                    }
                    ++stream.packets;
                    for (int i = 0; i < records.size(); ++i) {
                        const CrlRecord& r = records[i];
                        if (r.eventNumber != events[i] || r.channel != channels[i])
                            ++stream.wrongLayouts;
                        QVector<float>& values = stream.values[r.name];
                        // A source reports 0 until its band's first frame.
                        if (!values.isEmpty() || r.value != 0.0f)
                            values.append(r.value);
                    }
                }
                return enough(stream) || app.state() == QProcess::NotRunning;
            },
            timeoutMs);
        return stream;
    }

    static bool everySourceLive(const CrlStream& stream, int count)
    {
        for (const ControlSourceParams& wheel : patchWheels())
            if (stream.values.value(wheel.name).size() < count)
                return false;
        return true;
    }

    static std::pair<float, float> span(const QVector<float>& v)
    {
        if (v.isEmpty())
            return {0.0f, 0.0f};
        return {*std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end())};
    }

    // Every value a source reported, once it reported anything but its
    // initial 0, is one that the mapping makes of some frame of its band.
    void expectPredictedValues(const CrlStream& stream, const ScriptedPerformance& performance)
    {
        for (const ControlSourceParams& wheel : patchWheels()) {
            SCOPED_TRACE(wheel.name.toStdString());
            const QVector<float> seen = stream.values.value(wheel.name);
            ASSERT_FALSE(seen.isEmpty());
            const std::vector<double> possible = performance.possibleValues(
                wheel, kFramesCovered, [&wheel](const MotionRecord& record) {
                    return double(ScriptedPerformance::sourceValue(wheel, record));
                });
            const int live = seen.size();
            int wrong = 0;
            float firstWrong = 0.0f;
            for (float v : seen) {
                if (!ScriptedPerformance::containsNear(possible, v, kValueTolerance)) {
                    if (wrong++ == 0)
                        firstWrong = v;
                }
            }
            EXPECT_GE(live, 50) << "the source hardly followed its band";
            EXPECT_EQ(wrong, 0) << "first unexpected value " << firstWrong << " (predicted "
                                << possible.front() << ".." << possible.back() << ")";
        }
    }

    QTemporaryDir home;
    QString documents;
    QString patchPath;
    QProcess app;
    QString output;
};

TEST_F(ProcessEndToEnd, OscCarriesTheMappedMotionAndSigtermSavesWhatTheNextStartRestores)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs an X server (run under Xvfb)";

    const ScriptedPerformance performance(
        kRate, {{kBandA, 0, Gesture::RollSweep}, {kBandB, 1, Gesture::PitchSweep}});
    // The simulator keeps its promises about the frames the prediction is
    // built from (within the wire's quantisation).
    for (int band = 0; band < 2; ++band)
        for (uint64_t n = 0; n < 800; n += 37) {
            const MotionRecord r = performance.recordOf(band, n);
            const auto promised = GestureGenerator::promised(performance.poseOf(band, n));
            ASSERT_NEAR(r.x(), promised.x, 0.005) << band << " " << n;
            ASSERT_NEAR(r.y(), promised.y, 0.005) << band << " " << n;
            ASSERT_NEAR(r.z(), promised.z, 0.005) << band << " " << n;
            ASSERT_NEAR(r.g(), promised.g, 0.005) << band << " " << n;
        }

    // The documents: a current patch, hi-res MIDI on, and the two bands the
    // patch follows known to the registry by name (as bands met before).
    // The simulator brings a third band that the application meets for the
    // first time.
    const QVector<ControlSourceParams> wheels = patchWheels();
    ASSERT_TRUE(writeJson(patchPath, ScriptedPerformance::patchOf(wheels)));
    const QDateTime longAgo = QDateTime::currentDateTimeUtc().addDays(-30);
    {
        QFile patch(patchPath);
        ASSERT_TRUE(patch.open(QIODevice::ReadWrite));
        ASSERT_TRUE(patch.setFileTime(longAgo, QFileDevice::FileModificationTime));
    }
    ASSERT_TRUE(writeJson(documents + "/settings.json",
                          QJsonObject{{"currentPatch", patchPath}, {"hiResMidi", true}}));
    const QString keyA = JsonFields::formatIdentifier(kBandA);
    const QString keyB = JsonFields::formatIdentifier(kBandB);
    const QString keyC = JsonFields::formatIdentifier(kBandC);
    ASSERT_TRUE(writeJson(documents + "/devices.json",
                          QJsonObject{{keyA, QJsonObject{{"name", "Lefty"}, {"index", 0}}},
                                      {keyB, QJsonObject{{"name", "Righty"}, {"index", 1}}}}));

    QUdpSocket osc;
    ASSERT_TRUE(osc.bind(QHostAddress::LocalHost, 9001));

    // --- first run ---------------------------------------------------------
    SimProcess sim;
    ASSERT_TRUE(
        sim.start({"--bands", "3", "--rate", QString::number(kRate), "--gesture", "roll-sweep"}))
        << qPrintable(sim.errorOutput());
    const int before = sim.lineCount();
    sim.send("gesture pitch-sweep 2");
    ASSERT_TRUE(sim.waitForLine("^gesture ", before).hasMatch())
        << qPrintable(sim.lines().join('\n'));

    startApp(sim.portPath());
    // Until the sweeping sources went through their whole predicted range
    // (the roll of band A is stretched into both ends of its window).
    const auto predictedSpan = [&](int slot) {
        const std::vector<double> v = performance.possibleValues(
            wheels[slot], kFramesCovered, [&](const MotionRecord& record) {
                return double(ScriptedPerformance::sourceValue(wheels[slot], record));
            });
        return std::make_pair(float(v.front()), float(v.back()));
    };
    const auto aRollRange = predictedSpan(0);
    const auto bPitchRange = predictedSpan(5);
    EXPECT_EQ(aRollRange, std::make_pair(0.0f, 127.0f));
    EXPECT_GT(bPitchRange.second - bPitchRange.first, 40.0f);
    const auto sweptThrough = [&](const CrlStream& stream) {
        const auto aRoll = span(stream.values.value("A roll"));
        const auto bPitch = span(stream.values.value("B pitch"));
        return aRoll.first <= aRollRange.first + 1.0f && aRoll.second >= aRollRange.second - 1.0f &&
               bPitch.first <= bPitchRange.first + 1.0f &&
               bPitch.second >= bPitchRange.second - 1.0f;
    };
    const CrlStream first =
        listen(osc, [&](const CrlStream& s) { return everySourceLive(s, 50) && sweptThrough(s); });
    ASSERT_GT(first.packets, 0) << "no \"/crl\" packet named the patch's sources; last other: "
                                << qPrintable(first.lastForeignNames.join(", ")) << "\n"
                                << qPrintable(output);
    EXPECT_EQ(first.wrongLayouts, 0) << "event numbers or channels differ from the patch";
    expectPredictedValues(first, performance);
    EXPECT_TRUE(sweptThrough(first))
        << "A roll " << span(first.values.value("A roll")).first << ".."
        << span(first.values.value("A roll")).second << ", B pitch "
        << span(first.values.value("B pitch")).first << ".."
        << span(first.values.value("B pitch")).second << " (predicted " << aRollRange.first << ".."
        << aRollRange.second << ", " << bPitchRange.first << ".." << bPitchRange.second << ")";

    ASSERT_EQ(terminateApp(), 0) << qPrintable(output);
    sim.stop();

    // SIGTERM saved the settings, the registry (the known bands kept their
    // names, the new one is remembered) and the current patch, in place.
    const QJsonObject settings = readJson(documents + "/settings.json");
    EXPECT_EQ(settings.value("currentPatch").toString(), patchPath);
    EXPECT_TRUE(settings.value("hiResMidi").toBool());
    const QJsonObject registry = readJson(documents + "/devices.json");
    ASSERT_EQ(registry.size(), 3) << qPrintable(QJsonDocument(registry).toJson());
    EXPECT_EQ(registry.value(keyA).toObject().value("name").toString(), "Lefty");
    EXPECT_EQ(registry.value(keyB).toObject().value("name").toString(), "Righty");
    const QString nameC = registry.value(keyC).toObject().value("name").toString();
    EXPECT_FALSE(nameC.isEmpty());
    EXPECT_EQ(registry.value(keyC).toObject().value("index").toInt(-1), 2);
    EXPECT_GT(QFileInfo(patchPath).lastModified(), longAgo.addDays(1)) << "patch not saved";
    const PatchDocument saved = PatchDocument::fromJson(readJson(patchPath));
    ASSERT_EQ(saved.wheels.size(), wheels.size());
    for (int i = 0; i < wheels.size(); ++i) {
        SCOPED_TRACE(i);
        const ControlSourceParams& a = wheels[i];
        const ControlSourceParams& b = saved.wheels[i];
        EXPECT_EQ(b.index, a.index);
        EXPECT_EQ(b.name, a.name);
        EXPECT_EQ(b.deviceId, a.deviceId);
        EXPECT_EQ(b.axis, a.axis);
        EXPECT_EQ(b.eventNumber, a.eventNumber);
        EXPECT_EQ(b.channel, a.channel);
        EXPECT_FLOAT_EQ(b.sensitivity, a.sensitivity);
        EXPECT_FLOAT_EQ(b.lowerbound, a.lowerbound);
        EXPECT_FLOAT_EQ(b.upperbound, a.upperbound);
        EXPECT_EQ(b.isReversed, a.isReversed);
    }

    // --- second run: everything comes back from the saved files -----------
    SimProcess sim2;
    ASSERT_TRUE(
        sim2.start({"--bands", "3", "--rate", QString::number(kRate), "--gesture", "roll-sweep"}))
        << qPrintable(sim2.errorOutput());
    const int before2 = sim2.lineCount();
    sim2.send("gesture pitch-sweep 2");
    ASSERT_TRUE(sim2.waitForLine("^gesture ", before2).hasMatch());
    while (osc.hasPendingDatagrams())
        osc.receiveDatagram();

    startApp(sim2.portPath());
    const CrlStream second = listen(osc, [](const CrlStream& s) { return everySourceLive(s, 50); });
    ASSERT_GT(second.packets, 0) << "the restored patch was not the saved one; last names: "
                                 << qPrintable(second.lastForeignNames.join(", ")) << "\n"
                                 << qPrintable(output);
    EXPECT_EQ(second.wrongLayouts, 0);
    expectPredictedValues(second, performance);
    ASSERT_EQ(terminateApp(), 0) << qPrintable(output);
    sim2.stop();

    const QJsonObject registry2 = readJson(documents + "/devices.json");
    EXPECT_EQ(registry2.size(), 3);
    EXPECT_EQ(registry2.value(keyA).toObject().value("name").toString(), "Lefty");
    EXPECT_EQ(registry2.value(keyB).toObject().value("name").toString(), "Righty");
    EXPECT_EQ(registry2.value(keyC).toObject().value("name").toString(), nameC);
    EXPECT_EQ(readJson(documents + "/settings.json").value("currentPatch").toString(), patchPath);
}

} // namespace
