// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

// Order statistics of a set of measurements (any unit).
struct SampleSummary
{
    size_t count = 0;
    double mean = 0.0;
    double stddev = 0.0;
    double min = 0.0;
    double p1 = 0.0;
    double median = 0.0;
    double p99 = 0.0;
    double max = 0.0;

    // Nearest-rank percentiles; an empty set gives all zeros.
    static SampleSummary of(std::vector<double> values);
    // The share of values above `limit`.
    static double shareAbove(const std::vector<double>& values, double limit);
};
