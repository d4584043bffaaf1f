// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/PerformanceRecorder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QThread>

#include <mutex>

Q_LOGGING_CATEGORY(lcRecorder, "kinetra.link")

const QByteArray PerformanceRecorder::kMagic = QByteArrayLiteral("KINETREC");

namespace {

void appendUInt(QByteArray& out, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

quint64 readUInt(const char* p, int bytes)
{
    quint64 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | quint8(p[i]);
    return value;
}

quint64 monotonicMicroseconds()
{
    static const QElapsedTimer origin = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return quint64(origin.nsecsElapsed() / 1000);
}

} // namespace

struct PerformanceRecorder::Sink
{
    mutable std::mutex lock;
    QFile file;
    bool recording = false;
    quint64 startUs = 0;
    quint64 lastUs = 0;
    quint64 chunks = 0;
    quint64 bytes = 0;
    QString error;
    Clock clock = &monotonicMicroseconds;

    // Callers hold the lock.
    void finish()
    {
        if (!recording)
            return;
        recording = false;
        if (!file.flush() && error.isEmpty())
            error = file.errorString();
        file.close();
    }

    void fail()
    {
        error = file.errorString();
        qCWarning(lcRecorder) << "recording stopped:" << file.fileName() << error;
        recording = false;
        file.close();
    }

    void append(const QByteArray& data)
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!recording || data.isEmpty())
            return;
        const quint64 now = clock();
        // Never let time run backwards in the file, whatever the clock does.
        const quint64 time = std::max(lastUs, now >= startUs ? now - startUs : 0);
        lastUs = time;
        for (int offset = 0; offset < data.size(); offset += kMaxChunkBytes) {
            const int n = std::min(kMaxChunkBytes, data.size() - offset);
            QByteArray head;
            head.reserve(kChunkHeaderSize);
            appendUInt(head, time, 8);
            appendUInt(head, quint64(n), 4);
            if (file.write(head) != head.size() ||
                file.write(data.constData() + offset, n) != qint64(n)) {
                fail();
                return;
            }
            ++chunks;
            bytes += quint64(n);
        }
    }
};

PerformanceRecorder::PerformanceRecorder() : m_sink(std::make_shared<Sink>()) {}

PerformanceRecorder::~PerformanceRecorder()
{
    stop();
}

bool PerformanceRecorder::start(const QString& path)
{
    std::lock_guard<std::mutex> guard(m_sink->lock);
    m_sink->finish();
    m_sink->error.clear();
    m_sink->chunks = 0;
    m_sink->bytes = 0;
    m_sink->lastUs = 0;
    m_sink->file.setFileName(path);
    if (!m_sink->file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_sink->error = m_sink->file.errorString();
        qCInfo(lcRecorder) << "cannot record to" << path << ':' << m_sink->error;
        return false;
    }
    QByteArray header = kMagic;
    appendUInt(header, kFormatVersion, 4);
    appendUInt(header, 0, 4);
    if (m_sink->file.write(header) != header.size()) {
        m_sink->fail();
        return false;
    }
    m_sink->startUs = m_sink->clock();
    m_sink->recording = true;
    return true;
}

void PerformanceRecorder::stop()
{
    std::lock_guard<std::mutex> guard(m_sink->lock);
    m_sink->finish();
}

bool PerformanceRecorder::isRecording() const
{
    std::lock_guard<std::mutex> guard(m_sink->lock);
    return m_sink->recording;
}

QString PerformanceRecorder::fileName() const
{
    std::lock_guard<std::mutex> guard(m_sink->lock);
    return m_sink->file.fileName();
}

QString PerformanceRecorder::errorString() const
{
    std::lock_guard<std::mutex> guard(m_sink->lock);
    return m_sink->error;
}

quint64 PerformanceRecorder::chunkCount() const
{
    std::lock_guard<std::mutex> guard(m_sink->lock);
    return m_sink->chunks;
}

quint64 PerformanceRecorder::byteCount() const
{
    std::lock_guard<std::mutex> guard(m_sink->lock);
    return m_sink->bytes;
}

void PerformanceRecorder::record(const QByteArray& bytes)
{
    m_sink->append(bytes);
}

std::function<void(const QByteArray&)> PerformanceRecorder::tap() const
{
    std::shared_ptr<Sink> sink = m_sink;
    return [sink](const QByteArray& bytes) { sink->append(bytes); };
}

void PerformanceRecorder::setClock(Clock clock)
{
    std::lock_guard<std::mutex> guard(m_sink->lock);
    m_sink->clock = clock ? std::move(clock) : Clock(&monotonicMicroseconds);
}

PerformanceRecorder::Recording PerformanceRecorder::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Recording r;
        r.error = file.errorString();
        return r;
    }
    return read(file);
}

PerformanceRecorder::Recording PerformanceRecorder::read(QIODevice& device)
{
    Recording r;
    const QByteArray header = device.read(kHeaderSize);
    if (header.size() < kHeaderSize || !header.startsWith(kMagic)) {
        r.error = QStringLiteral("not a performance recording");
        return r;
    }
    const quint64 version = readUInt(header.constData() + 8, 4);
    if (version != kFormatVersion) {
        r.error = QStringLiteral("unsupported recording version %1").arg(version);
        return r;
    }
    r.ok = true;
    quint64 lastUs = 0;
    for (;;) {
        const QByteArray head = device.read(kChunkHeaderSize);
        if (head.isEmpty())
            break;
        if (head.size() < kChunkHeaderSize) {
            r.truncated = true;
            break;
        }
        const quint64 time = readUInt(head.constData(), 8);
        const quint64 size = readUInt(head.constData() + 8, 4);
        if (size == 0 || size > quint64(kMaxChunkBytes) || time < lastUs) {
            r.error = QStringLiteral("damaged recording after %1 chunks").arg(r.chunks.size());
            break;
        }
        Chunk chunk;
        chunk.timeUs = time;
        chunk.bytes = device.read(qint64(size));
        if (chunk.bytes.size() != int(size)) {
            r.truncated = true;
            break;
        }
        lastUs = time;
        r.chunks.append(std::move(chunk));
    }
    return r;
}
