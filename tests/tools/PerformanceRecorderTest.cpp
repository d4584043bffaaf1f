// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/PerformanceRecorder.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class Recorder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("take.kinrec"));
        recorder.setClock([this] { return now.load(); });
    }

    QTemporaryDir dir;
    QString path;
    std::atomic<quint64> now{5'000'000};
    PerformanceRecorder recorder;
};

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

TEST_F(Recorder, ChunksComeBackWithTheirTimesSinceTheStart)
{
    ASSERT_TRUE(recorder.start(path));
    EXPECT_TRUE(recorder.isRecording());
    now += 1500;
    recorder.record(QByteArray("\x01\x02\x03", 3));
    now += 250'000;
    recorder.tap()(QByteArray("se"));
    recorder.record(QByteArray()); // nothing read, nothing written
    recorder.stop();
    EXPECT_FALSE(recorder.isRecording());
    recorder.record(QByteArray("late")); // after the stop: ignored
    EXPECT_EQ(recorder.chunkCount(), 2u);
    EXPECT_EQ(recorder.byteCount(), 5u);

    const auto r = PerformanceRecorder::load(path);
    ASSERT_TRUE(r.ok);
    EXPECT_FALSE(r.truncated);
    EXPECT_TRUE(r.error.isEmpty());
    ASSERT_EQ(r.chunks.size(), 2);
    EXPECT_EQ(r.chunks[0].timeUs, 1500u);
    EXPECT_EQ(r.chunks[0].bytes, QByteArray("\x01\x02\x03", 3));
    EXPECT_EQ(r.chunks[1].timeUs, 251'500u);
    EXPECT_EQ(r.chunks[1].bytes, QByteArray("se"));
}

TEST_F(Recorder, FileLayoutIsTheDocumentedOne)
{
    ASSERT_TRUE(recorder.start(path));
    now += 0x0102;
    recorder.record(QByteArray("ab"));
    recorder.stop();
    const QByteArray expected = QByteArray("KINETREC") + QByteArray::fromHex("01000000 00000000") +
                                QByteArray::fromHex("0201000000000000 02000000") + QByteArray("ab");
    EXPECT_EQ(fileBytes(path).toHex(), expected.toHex());
}

TEST_F(Recorder, LargeReadsAreSplitIntoChunksOfTheSameTime)
{
    ASSERT_TRUE(recorder.start(path));
    QByteArray big(PerformanceRecorder::kMaxChunkBytes * 2 + 10, 'x');
    big[0] = 'a';
    big[big.size() - 1] = 'z';
    recorder.record(big);
    recorder.stop();
    const auto r = PerformanceRecorder::load(path);
    ASSERT_EQ(r.chunks.size(), 3);
    QByteArray joined;
    for (const auto& c : r.chunks) {
        EXPECT_EQ(c.timeUs, 0u);
        joined += c.bytes;
    }
    EXPECT_EQ(joined, big);
}

TEST_F(Recorder, AClockGoingBackwardsNeverMakesTimeRunBackwardsInTheFile)
{
    ASSERT_TRUE(recorder.start(path));
    now += 1000;
    recorder.record(QByteArray("a"));
    now -= 900;
    recorder.record(QByteArray("b"));
    now = 0; // before the start
    recorder.record(QByteArray("c"));
    recorder.stop();
    const auto r = PerformanceRecorder::load(path);
    ASSERT_EQ(r.chunks.size(), 3);
    EXPECT_TRUE(r.error.isEmpty());
    EXPECT_EQ(r.chunks[1].timeUs, 1000u);
    EXPECT_EQ(r.chunks[2].timeUs, 1000u);
}

TEST_F(Recorder, ACutOffTailKeepsEverythingBeforeIt)
{
    ASSERT_TRUE(recorder.start(path));
    recorder.record(QByteArray("first"));
    recorder.record(QByteArray("second"));
    recorder.stop();
    const QByteArray whole = fileBytes(path);
    for (int cut : {3, 8, 12}) {
        writeBytes(path, whole.left(whole.size() - cut));
        const auto r = PerformanceRecorder::load(path);
        ASSERT_TRUE(r.ok) << cut;
        EXPECT_TRUE(r.truncated) << cut;
        ASSERT_EQ(r.chunks.size(), 1) << cut;
        EXPECT_EQ(r.chunks[0].bytes, QByteArray("first"));
    }
}

TEST_F(Recorder, DamageIsReportedAndWhatCameBeforeIsKept)
{
    ASSERT_TRUE(recorder.start(path));
    now += 100;
    recorder.record(QByteArray("first"));
    now += 100;
    recorder.record(QByteArray("second"));
    recorder.stop();
    QByteArray bytes = fileBytes(path);
    const int second = PerformanceRecorder::kHeaderSize + PerformanceRecorder::kChunkHeaderSize + 5;

    QByteArray backwards = bytes;
    backwards[second] = 0; // time 0 after time 100
    writeBytes(path, backwards);
    auto r = PerformanceRecorder::load(path);
    EXPECT_TRUE(r.ok);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_EQ(r.chunks.size(), 1);

    QByteArray huge = bytes;
    huge[second + 11] = char(0x7F); // byte count far beyond the limit
    writeBytes(path, huge);
    r = PerformanceRecorder::load(path);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_EQ(r.chunks.size(), 1);
}

TEST_F(Recorder, FilesThatAreNoRecordingAreRefused)
{
    auto r = PerformanceRecorder::load(dir.filePath(QStringLiteral("missing.kinrec")));
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.isEmpty());

    writeBytes(path, QByteArray("just some text, not a recording"));
    r = PerformanceRecorder::load(path);
    EXPECT_FALSE(r.ok);

    QByteArray future = QByteArray("KINETREC") + QByteArray::fromHex("02000000 00000000");
    writeBytes(path, future);
    r = PerformanceRecorder::load(path);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains(QStringLiteral("version")));

    QBuffer empty;
    empty.open(QIODevice::ReadOnly);
    EXPECT_FALSE(PerformanceRecorder::read(empty).ok);
}

TEST_F(Recorder, StartFailsCleanlyWhereNothingCanBeWritten)
{
    EXPECT_FALSE(recorder.start(dir.filePath(QStringLiteral("no/such/folder/take.kinrec"))));
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(recorder.errorString().isEmpty());
    recorder.record(QByteArray("ignored"));
    EXPECT_EQ(recorder.chunkCount(), 0u);
    // A later good start works and clears the error.
    ASSERT_TRUE(recorder.start(path));
    EXPECT_TRUE(recorder.errorString().isEmpty());
}

TEST_F(Recorder, RestartingBeginsAFreshFile)
{
    ASSERT_TRUE(recorder.start(path));
    recorder.record(QByteArray("one"));
    const QString other = dir.filePath(QStringLiteral("second.kinrec"));
    ASSERT_TRUE(recorder.start(other));
    recorder.record(QByteArray("two"));
    recorder.stop();
    EXPECT_EQ(PerformanceRecorder::load(path).chunks.size(), 1);
    const auto r = PerformanceRecorder::load(other);
    ASSERT_EQ(r.chunks.size(), 1);
    EXPECT_EQ(r.chunks[0].bytes, QByteArray("two"));
}

TEST_F(Recorder, ATapOutlivingItsRecorderWritesNothing)
{
    std::function<void(const QByteArray&)> tap;
    {
        PerformanceRecorder shortLived;
        ASSERT_TRUE(shortLived.start(path));
        tap = shortLived.tap();
        tap(QByteArray("kept"));
    }
    tap(QByteArray("after the end"));
    const auto r = PerformanceRecorder::load(path);
    ASSERT_EQ(r.chunks.size(), 1);
    EXPECT_EQ(r.chunks[0].bytes, QByteArray("kept"));
}

TEST_F(Recorder, LinkThreadTapsWhileTheGuiThreadStartsAndStops)
{
    // The tap runs on the link thread; start and stop come from the GUI
    // thread. Every file must stay readable and hold whole chunks only.
    auto tap = recorder.tap();
    std::atomic<bool> running{true};
    std::thread link([&] {
        const QByteArray frame(29, char(0x11));
        while (running.load()) {
            ++now;
            tap(frame);
        }
    });
    for (int i = 0; i < 20; ++i) {
        const QString file = dir.filePath(QStringLiteral("part%1.kinrec").arg(i));
        ASSERT_TRUE(recorder.start(file));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        recorder.stop();
        (void)recorder.chunkCount();
    }
    running = false;
    link.join();
    for (int i = 0; i < 20; ++i) {
        const auto r =
            PerformanceRecorder::load(dir.filePath(QStringLiteral("part%1.kinrec").arg(i)));
        ASSERT_TRUE(r.ok);
        EXPECT_FALSE(r.truncated);
        EXPECT_TRUE(r.error.isEmpty());
        for (const auto& c : r.chunks)
            ASSERT_EQ(c.bytes.size(), 29);
    }
}
