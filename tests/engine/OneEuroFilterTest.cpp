// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/OneEuroFilter.h"
#include "engine/ContinuousControlSource.h"
#include "engine/ControlSourceParams.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr double kFrame = ContinuousControlSource::kFramePeriodSeconds;

// A raised-cosine sweep from `from` to `to` over `seconds`, sampled every
// frame, with still stretches before and after.
std::vector<double> sweep(double from, double to, double seconds)
{
    std::vector<double> xs(50, from);
    const int frames = int(std::lround(seconds / kFrame));
    for (int i = 1; i <= frames; ++i)
        xs.push_back(from + (to - from) * (0.5 - 0.5 * std::cos(M_PI * i / frames)));
    xs.insert(xs.end(), 100, to);
    return xs;
}

// The first (fractional) frame at which `ys` reaches `level` going up.
double crossing(const std::vector<double>& ys, double level)
{
    for (size_t i = 1; i < ys.size(); ++i)
        if (ys[i] >= level)
            return double(i - 1) + (level - ys[i - 1]) / (ys[i] - ys[i - 1]);
    return 1e9;
}

} // namespace

// For many settings and seeds, on the wheel's 0-127 scale: a value at rest
// ends exactly where it rests and stays; noise at rest comes out at half
// its spread or less; with the wheel's default settings a full-range sweep as
// fast as a flick of the wrist (a quarter to half a second) arrives at most one
// frame later than without the filter, at every level it passes.
TEST(OneEuroFilterTest, RestsExactlyQuietsNoiseAndFollowsAFastSweep)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> cutoffs(0.3, 3.0);
    // A speed coefficient small enough that the jitter's own speed does not
    // open the filter up.
    std::uniform_real_distribution<double> betas(0.0, 0.3);
    std::uniform_real_distribution<double> levels(0.0, 127.0);
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        OneEuroFilter filter(cutoffs(random), betas(random),
                             ContinuousControlSource::kSmoothingSnap);
        const double start = levels(random);
        const double rest = levels(random);
        EXPECT_EQ(filter.filter(start, kFrame), start); // the first sample passes
        int frames = 0;
        while (filter.filter(rest, kFrame) != rest && frames < 2000)
            ++frames;
        EXPECT_LT(frames, 2000);
        for (int i = 0; i < 100; ++i)
            ASSERT_EQ(filter.filter(rest, kFrame), rest);

        std::normal_distribution<double> noise(0.0, 0.5);
        double rawSquares = 0.0;
        double filteredSquares = 0.0;
        for (int i = 0; i < 500; ++i) {
            const double jitter = noise(random);
            const double out = filter.filter(rest + jitter, kFrame);
            if (i >= 100) {
                rawSquares += jitter * jitter;
                filteredSquares += (out - rest) * (out - rest);
            }
        }
        EXPECT_LT(filteredSquares, rawSquares / 4.0); // half the spread or less
    }

    for (double seconds : {0.25, 0.5}) {
        for (const auto& [from, to] : {std::pair{0.0, 127.0}, std::pair{20.0, 107.0}}) {
            SCOPED_TRACE(seconds);
            OneEuroFilter filter(ControlSourceParams::kDefaultSmoothingMinCutoff,
                                 ControlSourceParams::kDefaultSmoothingBeta,
                                 ContinuousControlSource::kSmoothingSnap);
            const std::vector<double> xs = sweep(from, to, seconds);
            std::vector<double> ys;
            for (double x : xs)
                ys.push_back(filter.filter(x, kFrame));
            for (double level = from + 2.0; level <= to - 2.0; level += 1.0)
                EXPECT_LE(crossing(ys, level) - crossing(xs, level), 1.0) << "level " << level;
            EXPECT_EQ(ys.back(), to);
        }
    }
}
