// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LinkHealth.h"

#include "protocol/FrameCodec.h"

namespace {

// Every skipped byte was part of a frame that did not arrive whole; the
// bands send motion frames, so a motion frame's length of them is one lost
// frame, and a shorter remainder (a cut frame) is one too.
uint64_t lostFramesIn(uint64_t skippedBytes)
{
    const auto length = uint64_t(FrameCodec::kMotionLength);
    return (skippedBytes + length - 1) / length;
}

QString ageText(int64_t ageMs)
{
    if (ageMs < 0)
        return QStringLiteral("no frame yet");
    if (ageMs < 10000)
        return QStringLiteral("last frame %1 ms ago").arg(ageMs);
    return QStringLiteral("last frame %1 s ago").arg(ageMs / 1000);
}

QString batteryText(int battery)
{
    return battery == LinkHealth::kUnknownBattery ? QStringLiteral("battery unknown")
                                                  : QStringLiteral("battery %1%").arg(battery);
}

} // namespace

LinkHealth::LinkHealth(double expectedRate) : m_expectedRate(expectedRate) {}

const std::vector<LinkHealth::Band>& LinkHealth::update(const Reading& reading)
{
    const uint64_t lostTotal = lostFramesIn(reading.skippedBytes);
    const int64_t spanMs = m_havePrevious ? reading.nowMs - m_previousMs : 0;
    const uint64_t lost =
        m_havePrevious && lostTotal > m_previousLost ? lostTotal - m_previousLost : 0;

    // Frames each band delivered since the previous reading.
    std::vector<uint64_t> received(reading.bands.size(), 0);
    std::vector<bool> measured(reading.bands.size(), false);
    uint64_t receivedTotal = 0;
    for (size_t i = 0; i < reading.bands.size(); ++i) {
        const auto& b = reading.bands[i];
        const auto previous = m_previousFrames.find(b.uuid);
        if (!m_havePrevious || previous == m_previousFrames.end() || previous->second > b.frames)
            continue;
        measured[i] = spanMs > 0;
        received[i] = b.frames - previous->second;
        receivedTotal += received[i];
    }
    const double ratio = lost == 0 ? 0.0 : double(lost) / double(lost + receivedTotal);

    m_bands.clear();
    m_previousFrames.clear();
    for (size_t i = 0; i < reading.bands.size(); ++i) {
        const auto& b = reading.bands[i];
        Band out;
        out.uuid = b.uuid;
        out.battery = b.battery;
        out.lastFrameAgeMs =
            b.lastFrameMs < 0 ? -1 : std::max<int64_t>(0, reading.nowMs - b.lastFrameMs);
        out.measured = measured[i];
        if (out.measured) {
            out.framesPerSecond = double(received[i]) * 1000.0 / double(spanMs);
            // With nothing received at all, every band shares the loss.
            out.framesLost = receivedTotal > 0
                                 ? double(lost) * double(received[i]) / double(receivedTotal)
                                 : double(lost) / double(reading.bands.size());
            out.lossRatio = ratio;
            out.warning =
                out.framesPerSecond < m_expectedRate / 2.0 || out.lossRatio > kLossWarning;
        }
        m_previousFrames[b.uuid] = b.frames;
        m_bands.push_back(out);
    }
    m_linkLost = double(lost);
    m_havePrevious = true;
    m_previousMs = reading.nowMs;
    m_previousLost = lostTotal;
    return m_bands;
}

const LinkHealth::Band* LinkHealth::band(uint64_t uuid) const
{
    for (const Band& b : m_bands)
        if (b.uuid == uuid)
            return &b;
    return nullptr;
}

QString LinkHealth::describe(const Band& band)
{
    QString text = band.measured ? QStringLiteral("%1 fps · %2% lost · ")
                                       .arg(qRound(band.framesPerSecond))
                                       .arg(band.lossRatio * 100.0, 0, 'f', 1)
                                 : QStringLiteral("measuring · ");
    text += ageText(band.lastFrameAgeMs);
    // The short line leaves out a battery that never reported.
    if (band.battery != kUnknownBattery)
        text += QStringLiteral(" · ") + batteryText(band.battery);
    return text;
}

QString LinkHealth::describeInWords(const Band& band)
{
    QString text = band.measured ? QStringLiteral("Link: %1 frames per second, %2 percent lost, ")
                                       .arg(qRound(band.framesPerSecond))
                                       .arg(band.lossRatio * 100.0, 0, 'f', 1)
                                 : QStringLiteral("Link: measuring, ");
    text += ageText(band.lastFrameAgeMs)
                .replace(QStringLiteral(" ms"), QStringLiteral(" milliseconds"));
    text += QStringLiteral(", ") +
            batteryText(band.battery).replace(QLatin1Char('%'), QStringLiteral(" percent"));
    if (band.warning)
        text += QStringLiteral(", poor link");
    return text;
}
