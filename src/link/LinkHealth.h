// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <map>
#include <vector>

// How well each band reaches us, worked out once a second from readings of
// the link's counters: frames per second, frames lost, how long ago the last
// frame came and the battery. Pure arithmetic: the caller takes the
// readings and says what time it is.
//
// Motion frames carry no sequence number, so a loss cannot be pinned on a
// band: every byte the framer skipped belonged to a frame that did not
// arrive whole, and a run of skipped bytes as long as a motion frame counts
// as one lost frame. Those losses are shared out among the bands in
// proportion to the frames each delivered, which gives every band the
// link's loss ratio.
class LinkHealth
{
public:
    // What the bands stream when all is well (frames per second each).
    static constexpr double kDefaultExpectedRate = 100.0;
    // Above this share of frames lost the link needs attention.
    static constexpr double kLossWarning = 0.01;
    // The battery level a band reports before it has told us anything.
    static constexpr int kUnknownBattery = -1;

    struct Reading
    {
        struct Band
        {
            uint64_t uuid = 0;
            // Frames received since the start (they only grow).
            uint64_t frames = 0;
            // Monotonic milliseconds of the last frame, -1 for none yet.
            int64_t lastFrameMs = -1;
            int battery = kUnknownBattery;
        };
        int64_t nowMs = 0;
        // Bytes the framer skipped since the start.
        uint64_t skippedBytes = 0;
        std::vector<Band> bands;
    };

    struct Band
    {
        uint64_t uuid = 0;
        // False for the first reading of a band: nothing to compare with.
        bool measured = false;
        double framesPerSecond = 0.0;
        // This band's share of the frames lost since the last reading.
        double framesLost = 0.0;
        // Frames lost over frames sent on the whole link since the last
        // reading.
        double lossRatio = 0.0;
        // Milliseconds since the last frame, -1 when none came yet.
        int64_t lastFrameAgeMs = -1;
        int battery = kUnknownBattery;
        // Rate below half the expected one, or loss above kLossWarning.
        bool warning = false;
    };

    explicit LinkHealth(double expectedRate = kDefaultExpectedRate);

    double expectedRate() const { return m_expectedRate; }
    // Takes a new reading and returns the figures since the previous one,
    // one per band of the reading, in its order.
    const std::vector<Band>& update(const Reading& reading);
    const std::vector<Band>& bands() const { return m_bands; }
    // The band of `uuid` in the last update, or null.
    const Band* band(uint64_t uuid) const;
    // Frames lost on the whole link since the last reading.
    double linkFramesLost() const { return m_linkLost; }

    // "98 fps · 0.0% lost · last frame 12 ms ago" (and " · battery 80%"
    // once a band reported it)
    static QString describe(const Band& band);
    // The same in whole words, for the screen reader.
    static QString describeInWords(const Band& band);

private:
    double m_expectedRate;
    bool m_havePrevious = false;
    int64_t m_previousMs = 0;
    uint64_t m_previousLost = 0;
    std::map<uint64_t, uint64_t> m_previousFrames;
    std::vector<Band> m_bands;
    double m_linkLost = 0.0;
};
