// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdint>
#include <functional>
#include <memory>

class QIODevice;

// Records what the receiver sends, byte for byte and with its timing, so
// that a performance can be replayed later by the receiver simulator
// (rehearsing and tuning mappings without wearing the bands, or replaying a
// real performance in a test).
//
// File format (".kinrec"; every integer little-endian):
//
//   header, 16 bytes
//     0   8  magic "KINETREC"
//     8   4  format version, 1
//     12  4  reserved, 0
//   then any number of chunks, in the order the bytes arrived
//     0   8  unsigned time of arrival in microseconds since the recording
//            started; never decreases from one chunk to the next
//     8   4  unsigned byte count n, 1 .. kMaxChunkBytes
//     12  n  the bytes exactly as read from the receiver's port
//
// A chunk cut short at the end of the file (the program died while
// writing) is ignored and everything before it is kept. A chunk with an
// impossible byte count or a time that runs backwards ends the readable
// part of the file; loading keeps the chunks before it and reports the
// damage.
//
// Threads: record() and the tap run on the link thread while start() and
// stop() are called from the GUI thread; the open file sits behind a short
// lock. The tap keeps the file state alive on its own, so a handler that
// still holds it after the recorder is gone writes nothing rather than
// crashing.
class PerformanceRecorder
{
public:
    static constexpr quint32 kFormatVersion = 1;
    static constexpr int kHeaderSize = 16;
    static constexpr int kChunkHeaderSize = 12;
    static constexpr int kMaxChunkBytes = 1 << 16;
    static const QByteArray kMagic;

    struct Chunk
    {
        quint64 timeUs = 0;
        QByteArray bytes;
    };

    struct Recording
    {
        QVector<Chunk> chunks;
        // False when the file could not be read as a recording at all.
        bool ok = false;
        // The last chunk was cut short and has been left out.
        bool truncated = false;
        // What went wrong: the file could not be opened, is no recording,
        // or is damaged from some chunk on (then `ok` stays true and
        // `chunks` holds what came before the damage).
        QString error;
    };

    // Monotonic microseconds; replaceable for tests.
    using Clock = std::function<quint64()>;

    PerformanceRecorder();
    ~PerformanceRecorder();
    PerformanceRecorder(const PerformanceRecorder&) = delete;
    PerformanceRecorder& operator=(const PerformanceRecorder&) = delete;

    // Creates (or truncates) `path` and starts a recording; a recording in
    // progress is finished first. False when the file cannot be written.
    bool start(const QString& path);
    // Finishes the recording: flushes and closes the file.
    void stop();
    bool isRecording() const;
    QString fileName() const;
    // Why the last recording stopped on its own or could not start.
    QString errorString() const;
    quint64 chunkCount() const;
    quint64 byteCount() const;

    // Appends one chunk of received bytes (nothing when not recording).
    // Safe from any thread.
    void record(const QByteArray& bytes);
    // A function for the receiver link's raw tap that records into this
    // recorder.
    std::function<void(const QByteArray&)> tap() const;

    void setClock(Clock clock);

    static Recording load(const QString& path);
    static Recording read(QIODevice& device);

private:
    struct Sink;
    std::shared_ptr<Sink> m_sink;
};
