// SPDX-License-Identifier: GPL-3.0-or-later
#include "SampleSummary.h"

#include <algorithm>
#include <cmath>

namespace {

double nearestRank(const std::vector<double>& sorted, double fraction)
{
    const double rank = std::ceil(fraction * double(sorted.size()));
    const size_t index = size_t(std::max(1.0, rank)) - 1;
    return sorted[std::min(index, sorted.size() - 1)];
}

} // namespace

SampleSummary SampleSummary::of(std::vector<double> values)
{
    SampleSummary s;
    s.count = values.size();
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    double sum = 0.0;
    for (double v : values)
        sum += v;
    s.mean = sum / double(values.size());
    double squares = 0.0;
    for (double v : values)
        squares += (v - s.mean) * (v - s.mean);
    s.stddev = values.size() > 1 ? std::sqrt(squares / double(values.size() - 1)) : 0.0;
    s.min = values.front();
    s.p1 = nearestRank(values, 0.01);
    s.median = nearestRank(values, 0.5);
    s.p99 = nearestRank(values, 0.99);
    s.max = values.back();
    return s;
}

double SampleSummary::shareAbove(const std::vector<double>& values, double limit)
{
    if (values.empty())
        return 0.0;
    const auto above =
        std::count_if(values.begin(), values.end(), [limit](double v) { return v > limit; });
    return double(above) / double(values.size());
}
