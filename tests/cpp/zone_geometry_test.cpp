#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"
#include "zone_support.hpp"

namespace cellvane {
namespace {

using zone_testing::bits;
using zone_testing::same_bits;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

const ShapeKind RADIUS_TWO_AT_ORIGIN = Circle{{0.0, 0.0}, 2.0};

TEST(ZoneGeometry, PointKeyFoldsNegativeZeroOnly) {
    EXPECT_EQ(point_key({-0.0, -0.0}), point_key({0.0, 0.0}));
    EXPECT_EQ(folded_bits(-0.0), 0u);
    EXPECT_NE(point_key({1e-17, 0.0}), point_key({0.0, 0.0}));
    EXPECT_NE(point_key({0.0, 1e-17}), point_key({0.0, 0.0}));
    // Bit order, x first: every negative coordinate sorts after every positive one.
    EXPECT_LT(point_key({1.0, 5.0}), point_key({-1.0, 0.0}));
    EXPECT_LT(point_key({1.0, 5.0}), point_key({2.0, 0.0}));
    EXPECT_LT(point_key({1.0, 0.0}), point_key({1.0, 5.0}));
    // NaNs have a key like any other pattern and do not disturb the order.
    EXPECT_EQ(point_key({NaN, 1.0}), point_key({NaN, 1.0}));
}

TEST(ZoneGeometry, AnglesAreReducedToOneTurn) {
    EXPECT_EQ(angle_about({3.0, 4.0}, {1.0, 4.0}), PI);
    const double below = angle_about({0.0, 0.0}, {1.0, -1e-9});
    EXPECT_GT(below, 6.28);
    EXPECT_LT(below, TWO_PI);
    EXPECT_EQ(angle_about({0.0, 0.0}, {0.0, 2.0}), PI / 2);
    EXPECT_EQ(normalise_angle(-PI / 2), -PI / 2 + TWO_PI);
    EXPECT_EQ(normalise_angle(7.0), std::fmod(7.0, TWO_PI));
    EXPECT_TRUE(std::isnan(normalise_angle(INF)));

    // Every angle, whichever way it is reduced, lands on the bits fmod's
    // remainder gives (moved up by a turn when negative): values near the
    // turn boundaries, and values spread over three turns either side.
    auto by_fmod = [](double t) {
        if (t >= 0.0 && t < TWO_PI) return t;
        const double r = std::fmod(t, TWO_PI);
        return r < 0.0 ? r + TWO_PI : r;
    };
    std::vector<double> angles{-0.0, 0.0, -1e-300, 1e-300, NaN, -INF};
    for (const double turn : {-3 * TWO_PI, -2 * TWO_PI, -TWO_PI, TWO_PI, 2 * TWO_PI, 3 * TWO_PI}) {
        double t = turn;
        for (int i = 0; i < 4; ++i) t = std::nextafter(t, -INF);
        for (int i = 0; i < 8; ++i, t = std::nextafter(t, INF)) angles.push_back(t);
    }
    std::mt19937_64 rng(12);
    std::uniform_real_distribution<double> spread(-3 * TWO_PI, 3 * TWO_PI);
    for (int i = 0; i < 20000; ++i) angles.push_back(spread(rng));
    for (const double t : angles) EXPECT_EQ(bits(normalise_angle(t)), bits(by_fmod(t))) << t;
}

TEST(ZoneGeometry, EdgeOffsetsGoRoundTheBoardAndDepthsPointOutwards) {
    const double s = 19.0;
    const Point p{4.0, 7.0};
    EXPECT_EQ(offset_on(Edge{EdgeSide::Left}, p, s), 7.0);
    EXPECT_EQ(offset_on(Edge{EdgeSide::Bottom}, p, s), 4.0);
    EXPECT_EQ(offset_on(Edge{EdgeSide::Right}, p, s), 12.0);
    EXPECT_EQ(offset_on(Edge{EdgeSide::Top}, p, s), 15.0);
    EXPECT_EQ(depth_in(Edge{EdgeSide::Left}, p, s), -3.0);
    EXPECT_EQ(depth_in(Edge{EdgeSide::Bottom}, p, s), 7.0 - 18.0);
    EXPECT_EQ(depth_in(Edge{EdgeSide::Right}, p, s), 4.0 - 18.0);
    EXPECT_EQ(depth_in(Edge{EdgeSide::Top}, p, s), -6.0);
    // s - 1 is s + (-1.0): for a huge board it rounds back to s.
    EXPECT_EQ(depth_in(Edge{EdgeSide::Right}, {1e17, 0.0}, 1e17), 0.0);
    EXPECT_EQ(depth_in(RADIUS_TWO_AT_ORIGIN, {0.5, 0.0}, {}), 1.5);
    EXPECT_EQ(depth_in(RADIUS_TWO_AT_ORIGIN, {3.0, 4.0}, {}), -3.0);
    EXPECT_EQ(offset_on(RADIUS_TWO_AT_ORIGIN, {-2.0, 0.0}, {}), PI);
}

TEST(ZoneGeometry, CirclesCrossOnlyClearOfTangency) {
    EXPECT_FALSE(intersect(RADIUS_TWO_AT_ORIGIN, {4.0, 0.0}, {}));
    EXPECT_FALSE(intersect(RADIUS_TWO_AT_ORIGIN, {3.9999999, 0.0}, {}));
    EXPECT_FALSE(intersect(RADIUS_TWO_AT_ORIGIN, {0.0, 4.0000001}, {}));
    EXPECT_FALSE(intersect(RADIUS_TWO_AT_ORIGIN, {0.0, 0.0}, {}));
    EXPECT_FALSE(intersect(RADIUS_TWO_AT_ORIGIN, {5e-8, 0.0}, {}));
    const auto near = intersect(RADIUS_TWO_AT_ORIGIN, {3.9999998, 0.0}, {});
    ASSERT_TRUE(near);
    const double gap = distance(near->first, near->second);
    EXPECT_GT(gap, 0.00125);
    EXPECT_LT(gap, 0.00127);
    // Inner tangency of circles of other radii (only radius 2 is ever added).
    EXPECT_FALSE(intersect(Circle{{0.0, 0.0}, 3.0}, {1.0, 0.0}, {}));
    EXPECT_FALSE(intersect(Circle{{0.0, 0.0}, 5.0}, {0.5, 0.0}, {}));
    EXPECT_TRUE(intersect(Circle{{0.0, 0.0}, 3.0}, {1.5, 0.0}, {}));
}

TEST(ZoneGeometry, CirclePairIsOrderedSoTheArcFromFirstToSecondIsInside) {
    const Point centres[] = {{2.0, 0.0}, {0.0, 2.0}, {-2.0, 0.0}, {0.0, -2.0}, {1.3, -2.9}, {-3.5, 0.1}};
    for (const Point f : centres) {
        const auto hit = intersect(RADIUS_TWO_AT_ORIGIN, f, {});
        ASSERT_TRUE(hit);
        EXPECT_NEAR(distance(hit->first, {0.0, 0.0}), 2.0, 1e-12);
        EXPECT_NEAR(distance(hit->first, f), 2.0, 1e-12);
        EXPECT_NEAR(distance(hit->second, f), 2.0, 1e-12);
        // Midpoint of the existing circle's arc from first to second, counter-clockwise.
        const double a = angle_about({0.0, 0.0}, hit->first);
        const double span = normalise_angle(angle_about({0.0, 0.0}, hit->second) - a);
        const double mid = a + span / 2;
        EXPECT_LT(distance({2.0 * std::cos(mid), 2.0 * std::sin(mid)}, f), 2.0) << f.x << "," << f.y;
        // And the new circle's arc from second to first lies inside the existing one.
        const double b = angle_about(f, hit->second);
        const double back = normalise_angle(angle_about(f, hit->first) - b);
        const double mid2 = b + back / 2;
        EXPECT_LT(distance({f.x + 2.0 * std::cos(mid2), f.y + 2.0 * std::sin(mid2)}, {0.0, 0.0}), 2.0);
    }
    const auto two_apart = intersect(RADIUS_TWO_AT_ORIGIN, {2.0, 0.0}, {});
    EXPECT_NEAR(two_apart->first.x, 1.0, 1e-15);
    EXPECT_NEAR(two_apart->first.y, -std::sqrt(3.0), 1e-15);
    EXPECT_NEAR(two_apart->second.y, std::sqrt(3.0), 1e-15);
}

// Two circles cross at the same two points, to the last bit, whichever of
// them is the existing one: the pair is only ordered differently.
TEST(ZoneGeometry, CirclePairCrossesAtTheSamePointsInEitherOrder) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> any(0.0, 10.0);
    std::uniform_int_distribution<int> half(2, 18);
    std::size_t pairs = 0;
    while (pairs < 2000) {
        // Centres anywhere, or on a grid of halves where coincidences abound.
        const bool grid = pairs % 2 == 0;
        const Point k = grid ? Point{half(rng) / 2.0, half(rng) / 2.0} : Point{any(rng), any(rng)};
        const Point f = grid ? Point{half(rng) / 2.0, half(rng) / 2.0}
                             : Point{k.x + any(rng) / 2.5 - 2.0, k.y + any(rng) / 2.5 - 2.0};
        const auto one = intersect(Circle{k, 2.0}, f, {});
        const auto other = intersect(Circle{f, 2.0}, k, {});
        ASSERT_EQ(one.has_value(), other.has_value());
        if (!one) continue;
        ++pairs;
        const bool same = same_bits(one->first, other->first) && same_bits(one->second, other->second);
        const bool swapped = same_bits(one->first, other->second) && same_bits(one->second, other->first);
        EXPECT_TRUE(same || swapped) << k.x << "," << k.y << " and " << f.x << "," << f.y;
        if (::testing::Test::HasFailure()) return;
    }
}

TEST(ZoneGeometry, EdgeCrossingsUseTheSquaredHalfChord) {
    const double s = 19.0;
    // Centre 1.9999999 inside each line crosses it; 1.99999999 does not.
    struct Case {
        EdgeSide side;
        Point crossing;
        Point missing;
    };
    const Case cases[] = {
        {EdgeSide::Left, {1.0 + 1.9999999, 9.0}, {1.0 + 1.99999999, 9.0}},
        {EdgeSide::Bottom, {9.0, 18.0 - 1.9999999}, {9.0, 18.0 - 1.99999999}},
        {EdgeSide::Right, {18.0 - 1.9999999, 9.0}, {18.0 - 1.99999999, 9.0}},
        {EdgeSide::Top, {9.0, 1.0 + 1.9999999}, {9.0, 1.0 + 1.99999999}},
    };
    for (const auto& c : cases) {
        const Edge edge{c.side};
        const auto hit = intersect(edge, c.crossing, s);
        ASSERT_TRUE(hit) << int(c.side);
        EXPECT_FALSE(intersect(edge, c.missing, s)) << int(c.side);
        // The line enters the new circle at first, by increasing offset.
        EXPECT_LT(offset_on(edge, hit->first, s), offset_on(edge, hit->second, s));
        EXPECT_NEAR(distance(hit->first, hit->second), 2 * std::sqrt(4e-7), 2e-9);
        EXPECT_EQ(depth_in(edge, hit->first, s), 0.0);
    }
    // Exactly tangent: w is zero.
    EXPECT_FALSE(intersect(Edge{EdgeSide::Left}, {3.0, 9.0}, s));
    const auto through = intersect(Edge{EdgeSide::Left}, {1.0, 9.0}, s);
    EXPECT_TRUE(same_bits(through->first, {1.0, 7.0}));
    EXPECT_TRUE(same_bits(through->second, {1.0, 11.0}));
}

TEST(ZoneGeometry, NonFiniteOutlinesCrossNothing) {
    EXPECT_FALSE(intersect(RADIUS_TWO_AT_ORIGIN, {NaN, 0.0}, {}));
    EXPECT_FALSE(intersect(RADIUS_TWO_AT_ORIGIN, {INF, 0.0}, {}));
    EXPECT_FALSE(intersect(Circle{{NaN, NaN}, 2.0}, {1.0, 0.0}, {}));
    EXPECT_FALSE(intersect(Circle{{0.0, 0.0}, NaN}, {1.0, 0.0}, {}));
    EXPECT_FALSE(intersect(Edge{EdgeSide::Left}, {2.0, NaN}, 19.0));
    EXPECT_FALSE(intersect(Edge{EdgeSide::Left}, {2.0, INF}, 19.0));
    EXPECT_FALSE(intersect(Edge{EdgeSide::Right}, {2.0, 3.0}, NaN));
    // Huge but finite values still cross; an overflowing square does not.
    EXPECT_TRUE(intersect(Edge{EdgeSide::Bottom}, {1e308, 1e308}, 1e308));
    EXPECT_FALSE(intersect(Edge{EdgeSide::Bottom}, {0.0, 0.0}, 1e308));
}

TEST(ZoneGeometry, ClosestPointOnLinePiece) {
    const SegmentGeometry line = LineSeg{{1.0, 1.0}, {1.0, 18.0}};
    EXPECT_TRUE(same_bits(closest_point_on_segment(line, {0.0, 9.0}), {1.0, 9.0}));
    EXPECT_TRUE(same_bits(closest_point_on_segment(line, {-5.0, -30.0}), {1.0, 1.0}));
    EXPECT_TRUE(same_bits(closest_point_on_segment(line, {-5.0, 30.0}), {1.0, 18.0}));
    const SegmentGeometry dot = LineSeg{{2.0, 3.0}, {2.0, 3.0}};
    EXPECT_TRUE(same_bits(closest_point_on_segment(dot, {7.0, 7.0}), {2.0, 3.0}));
    const Point lost = closest_point_on_segment(line, {NaN, 0.0});
    EXPECT_TRUE(std::isnan(lost.y));
}

TEST(ZoneGeometry, ClosestPointOnArcWrapsAndBreaksTiesToTheEnd) {
    const double deg = PI / 180.0;
    const SegmentGeometry wrap = ArcSeg{{0.0, 0.0}, 2.0, 350 * deg, 10 * deg};
    EXPECT_TRUE(same_bits(closest_point_on_segment(wrap, {5.0, 0.0}), {2.0, 0.0}));
    const Point at355 = closest_point_on_segment(wrap, {std::cos(355 * deg), std::sin(355 * deg)});
    EXPECT_NEAR(angle_about({0.0, 0.0}, at355), 355 * deg, 1e-12);
    // Start and end exactly 0.5 either side of pi: a point at pi is a tie.
    const SegmentGeometry wide = ArcSeg{{0.0, 0.0}, 1.0, PI + 0.5, PI - 0.5};
    const Point tie = closest_point_on_segment(wide, {-3.0, 0.0});
    EXPECT_TRUE(same_bits(tie, {std::cos(PI - 0.5), std::sin(PI - 0.5)}));
    const Point near_start = closest_point_on_segment(wide, {-3.0, -0.1});
    EXPECT_TRUE(same_bits(near_start, {std::cos(PI + 0.5), std::sin(PI + 0.5)}));
    // Angles outside one turn are reduced before the test.
    const SegmentGeometry plain = ArcSeg{{1.0, 1.0}, 2.0, TWO_PI + 0.25, 1.0};
    EXPECT_NEAR(angle_about({1.0, 1.0}, closest_point_on_segment(plain, {1.0, 5.0})), 1.0, 1e-15);
    EXPECT_NEAR(angle_about({1.0, 1.0}, closest_point_on_segment(plain, {9.0, 1.0})), 0.25, 1e-15);
}

TEST(ZoneGeometry, ClosestPointOnCircle) {
    EXPECT_TRUE(same_bits(closest_point_on_circle({9.0, 9.0}, 2.0, {9.0, 9.0}), {11.0, 9.0}));
    EXPECT_TRUE(same_bits(closest_point_on_circle({9.0, 9.0}, 2.0, {9.5, 9.0}), {11.0, 9.0}));
    EXPECT_TRUE(same_bits(closest_point_on_circle({9.0, 9.0}, 2.0, {9.0, 1.0}), {9.0, 7.0}));
    EXPECT_TRUE(same_bits(closest_point_on_circle({9.0, 9.0}, 2.0, {-0.0, 9.0}), {7.0, 9.0}));
    EXPECT_TRUE(std::isnan(closest_point_on_circle({9.0, 9.0}, 2.0, {NaN, 9.0}).x));
}

}  // namespace
}  // namespace cellvane
