// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HistoryLineGeometry.h"
#include "ui/KnobRingGeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr float kWidth = 100.0f;
constexpr float kRadius = 50.0f;

std::vector<QSGGeometry::ColoredPoint2D> ring(const KnobRingGeometry::Input& in)
{
    std::vector<QSGGeometry::ColoredPoint2D> v(size_t(KnobRingGeometry::vertexCount(in.segments)));
    KnobRingGeometry::fill(v.data(), in);
    return v;
}

float angleOfVertex(const QSGGeometry::ColoredPoint2D& p)
{
    return std::atan2(p.y - kRadius, p.x - kRadius);
}

// Same angle modulo a full turn.
void expectAngle(float actual, float expected)
{
    const float diff = std::remainder(actual - expected, 6.2831855f);
    EXPECT_NEAR(diff, 0.0f, 1e-3f) << actual << " vs " << expected;
}

KnobRingGeometry::Input input(float lb, float ub, float value)
{
    KnobRingGeometry::Input in;
    in.width = kWidth;
    in.lowerbound = lb;
    in.upperbound = ub;
    in.value = value;
    in.colour = QColor("#00bfff");
    return in;
}

} // namespace

TEST(KnobRingGeometry, FullWindowAtFullValueSweepsThreeHundredDegrees)
{
    const auto v = ring(input(0, 127, 127));
    ASSERT_EQ(v.size(), 258u);
    expectAngle(angleOfVertex(v[0]), KnobRingGeometry::kStartAngle);
    expectAngle(angleOfVertex(v[255]), KnobRingGeometry::kEndAngle);
    EXPECT_NEAR(std::hypot(v[100].x - kRadius, v[100].y - kRadius), kRadius - 7.0f, 1e-3f);
    // The tick: same end point, then 4 pixels further out.
    EXPECT_EQ(v[256].x, v[255].x);
    EXPECT_EQ(v[256].y, v[255].y);
    EXPECT_NEAR(std::hypot(v[257].x - kRadius, v[257].y - kRadius), kRadius - 3.0f, 1e-3f);
    expectAngle(angleOfVertex(v[257]), KnobRingGeometry::kEndAngle);
}

TEST(KnobRingGeometry, NarrowWindowRunsBetweenItsBoundsAngles)
{
    const auto v = ring(input(32, 96, 127));
    expectAngle(angleOfVertex(v[0]), KnobRingGeometry::angleOf(32));
    expectAngle(angleOfVertex(v[255]), KnobRingGeometry::angleOf(96));
}

TEST(KnobRingGeometry, ZeroValueCollapsesOnTheLowerBound)
{
    const auto v = ring(input(20, 100, 0));
    for (const auto& p : v)
        expectAngle(angleOfVertex(p), KnobRingGeometry::angleOf(20));
}

TEST(KnobRingGeometry, ClosedGateGreysTheArcButNotTheTick)
{
    auto in = input(0, 127, 64);
    in.gateOpen = false;
    const auto v = ring(in);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(v[size_t(i)].r, 128);
        ASSERT_EQ(v[size_t(i)].g, 128);
        ASSERT_EQ(v[size_t(i)].b, 128);
    }
    for (size_t i : {256u, 257u}) {
        EXPECT_EQ(v[i].r, 0x00);
        EXPECT_EQ(v[i].g, 0xbf);
        EXPECT_EQ(v[i].b, 0xff);
        EXPECT_EQ(v[i].a, 255);
    }
    in.gateOpen = true;
    EXPECT_EQ(ring(in)[10].g, 0xbf);
}

TEST(HistoryLineGeometry, SamplesMapBetweenTheMarginsNewestLeft)
{
    std::deque<float> history(64, 0.5f);
    history[0] = 1.0f;
    history[63] = 0.0f;
    std::vector<QSGGeometry::Point2D> v(64);
    HistoryLineGeometry::fill(v.data(), history, 128.0f, 50.0f);
    EXPECT_FLOAT_EQ(v[0].x, 0.0f);
    EXPECT_FLOAT_EQ(v[0].y, 3.0f);
    EXPECT_FLOAT_EQ(v[63].x, 126.0f);
    EXPECT_FLOAT_EQ(v[63].y, 47.0f);
    EXPECT_FLOAT_EQ(v[10].y, 25.0f);
}

// Cut to the round face, the line keeps exactly its part inside the disc:
// every piece lies inside, and every point of the line well inside the disc
// is on a piece.
TEST(HistoryLineGeometry, ClippedLineIsThePartInsideTheDisc)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> sample(-0.2f, 1.2f);
    const float side = 46.0f;
    const float r = side / 2.0f;
    const auto inside = [&](float x, float y, float margin) {
        return std::hypot(x - r, y - r) <= r + margin;
    };
    for (int round = 0; round < 50; ++round) {
        std::deque<float> history(64);
        for (float& s : history)
            s = sample(random);
        std::vector<QSGGeometry::Point2D> line(64);
        HistoryLineGeometry::fill(line.data(), history, side, side);
        std::vector<QSGGeometry::Point2D> pieces(
            size_t(HistoryLineGeometry::maxClippedVertices(history.size())));
        const int count = HistoryLineGeometry::fillClipped(pieces.data(), history, side, side);
        ASSERT_EQ(count % 2, 0);
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(inside(pieces[size_t(i)].x, pieces[size_t(i)].y, 1e-3f));
        for (size_t i = 0; i + 1 < line.size(); ++i) {
            for (float t = 0.0f; t <= 1.0f; t += 0.125f) {
                const float x = line[i].x + t * (line[i + 1].x - line[i].x);
                const float y = line[i].y + t * (line[i + 1].y - line[i].y);
                if (!inside(x, y, -0.05f))
                    continue;
                bool covered = false;
                for (int p = 0; p < count && !covered; p += 2) {
                    const auto& a = pieces[size_t(p)];
                    const auto& b = pieces[size_t(p + 1)];
                    const float cross = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
                    const bool between =
                        x >= std::min(a.x, b.x) - 1e-3f && x <= std::max(a.x, b.x) + 1e-3f;
                    covered = std::fabs(cross) < 1e-2f && between;
                }
                ASSERT_TRUE(covered) << "segment " << i << " at t " << t;
            }
        }
    }
}
