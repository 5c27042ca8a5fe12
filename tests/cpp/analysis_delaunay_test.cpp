// The exact orientation predicate and the triangulation built on it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <vector>

#include "analysis/delaunay.hpp"
#include "analysis/predicates.hpp"

namespace cellvane {
namespace {

using delaunay::EMPTY;
using delaunay::next_halfedge;
using delaunay::Triangulation;
using predicates::orient_sign;

__extension__ typedef __int128 i128;

int sign(i128 v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); }

// Orientation of integer points, exactly.
int orient_int(std::int64_t px, std::int64_t py, std::int64_t qx, std::int64_t qy, std::int64_t rx, std::int64_t ry) {
    const i128 l = static_cast<i128>(qx - px) * (ry - py);
    const i128 r = static_cast<i128>(qy - py) * (rx - px);
    return sign(l - r);
}

// In-circle determinant of integer points (|coordinates| below 2^20), exactly:
// negative when d lies inside the circle through a clockwise a, b, c.
int in_circle_int(const Point& a, const Point& b, const Point& c, const Point& d) {
    const auto dx = static_cast<i128>(a.x - d.x), dy = static_cast<i128>(a.y - d.y);
    const auto ex = static_cast<i128>(b.x - d.x), ey = static_cast<i128>(b.y - d.y);
    const auto fx = static_cast<i128>(c.x - d.x), fy = static_cast<i128>(c.y - d.y);
    const i128 ap = dx * dx + dy * dy, bp = ex * ex + ey * ey, cp = fx * fx + fy * fy;
    return sign(dx * (ey * cp - bp * fy) - dy * (ex * cp - bp * fx) + ap * (ex * fy - ey * fx));
}

TEST(AnalysisPredicates, OrientMatchesIntegerArithmeticOnNearlyCollinearPoints) {
    // Large integer coordinates are exact doubles, but the products round, so
    // a plain evaluation gets many of these signs wrong.
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<std::int64_t> coord(-(std::int64_t{1} << 51), std::int64_t{1} << 51);
    std::uniform_int_distribution<std::int64_t> wiggle(-3, 3);
    std::uniform_int_distribution<int> scale(-80, 80);
    int zeros = 0, plain_wrong = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::int64_t px = coord(rng) / 2, py = coord(rng) / 2;
        const std::int64_t dx = coord(rng) / 4, dy = coord(rng) / 4;
        const std::int64_t k = wiggle(rng) + 2;
        // r near the line through p and q = p + d, at p + k*d/2 plus a nudge.
        const std::int64_t qx = px + dx, qy = py + dy;
        const std::int64_t rx = px + k * (dx / 2) + wiggle(rng), ry = py + k * (dy / 2) + wiggle(rng);
        const int expected = orient_int(px, py, qx, qy, rx, ry);
        const double s = std::ldexp(1.0, scale(rng));  // exact power-of-two scale keeps the sign
        const Point p{static_cast<double>(px) * s, static_cast<double>(py) * s};
        const Point q{static_cast<double>(qx) * s, static_cast<double>(qy) * s};
        const Point r{static_cast<double>(rx) * s, static_cast<double>(ry) * s};
        ASSERT_EQ(orient_sign(p, q, r), expected) << i;
        ASSERT_EQ(predicates::orient_sign_wide(p, q, r), expected) << i;
        const int ex = predicates::orient_sign_expansion(p, q, r);
        ASSERT_TRUE(ex == expected || ex == 2) << i;
        const double plain = (q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x);
        if ((plain > 0) - (plain < 0) != expected) ++plain_wrong;
        if (expected == 0) ++zeros;
    }
    // The cases are hard enough to matter.
    EXPECT_GT(zeros, 100);
    EXPECT_GT(plain_wrong, 20);
}

TEST(AnalysisPredicates, OrientIsExactAcrossTheWholeExponentRange) {
    const double tiny = std::numeric_limits<double>::denorm_min();
    const double huge = std::ldexp(1.0, 1000);
    // The product underflows to zero in doubles, yet the determinant is tiny^2 > 0.
    EXPECT_EQ(orient_sign({0, 0}, {tiny, 0}, {0, tiny}), 1);
    EXPECT_EQ(orient_sign({0, 0}, {0, tiny}, {tiny, 0}), -1);
    // Exactly collinear on the diagonal, with differences that do not round
    // to doubles (1 - tiny) and would underflow in an expansion.
    EXPECT_EQ(orient_sign({tiny, tiny}, {1, 1}, {huge, huge}), 0);
    // One ulp of 2^1000 off the diagonal decides.
    const double off = huge + std::ldexp(1.0, 948);
    EXPECT_EQ(orient_sign({tiny, tiny}, {1, 1}, {huge, off}), 1);
    EXPECT_EQ(orient_sign({tiny, tiny}, {1, 1}, {off, huge}), -1);
    // Products that overflow in doubles.
    const double max = std::numeric_limits<double>::max();
    EXPECT_EQ(orient_sign({-max, 0}, {max, 0}, {0, max}), 1);
    EXPECT_EQ(orient_sign({-max, -max}, {0, 0}, {max, max}), 0);
    EXPECT_EQ(orient_sign({-max, -max}, {0, 0}, {max, std::nextafter(max, 0.0)}), -1);
    // Non-finite input has no orientation.
    EXPECT_EQ(orient_sign({0, 0}, {1, 0}, {0, std::nan("")}), 0);
    EXPECT_EQ(orient_sign({0, 0}, {1, 0}, {0, std::numeric_limits<double>::infinity()}), 0);
}

TEST(AnalysisPredicates, OrientOfPointsSharingCoordinatesMatchesWideIntegers) {
    // Coordinates drawn from a small pool, so that points often share an x
    // or a y (rows of stones along an edge), across the whole exponent range
    // where products underflow or overflow and the exact path decides.
    const double tiny = std::numeric_limits<double>::denorm_min();
    const double max = std::numeric_limits<double>::max();
    const std::vector<double> pool{0.0, 1.0, -1.0, 3.5, 0.1, tiny, -tiny, 3 * tiny, std::ldexp(1.0, -600),
                                   std::ldexp(1.0, 600), -std::ldexp(1.0, 700), max, -max, 1.0 + 0x1p-52};
    std::mt19937_64 rng(11);
    std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
    int collinear = 0, exact_decided = 0;
    for (int i = 0; i < 50000; ++i) {
        const Point p{pool[pick(rng)], pool[pick(rng)]};
        const Point q{pool[pick(rng)], pool[pick(rng)]};
        const Point r{pool[pick(rng)], pool[pick(rng)]};
        const int expected = predicates::orient_sign_wide(p, q, r);
        ASSERT_EQ(predicates::orient_sign_exact(p, q, r), expected) << i;
        ASSERT_EQ(orient_sign(p, q, r), expected) << i;
        if (expected == 0) ++collinear;
        const double left = (q.x - p.x) * (r.y - p.y);
        const double right = (q.y - p.y) * (r.x - p.x);
        const double mag = std::fabs(left) + std::fabs(right);
        if (!(mag >= 0x1p-900 && mag <= 0x1p1000)) ++exact_decided;
    }
    EXPECT_GT(collinear, 250);
    EXPECT_GT(exact_decided, 2500);
}

TEST(AnalysisDelaunay, KeyedSortIsTheStableSortByKey) {
    // Short and long lists; keys spread evenly, crowded into few values
    // (ties), at the ends of the range, crowded between far outliers (buckets
    // too full for the insertion sort), and as the bits of squared distances,
    // which is what the triangulation sorts.
    std::mt19937_64 rng(5);
    std::vector<std::pair<std::uint64_t, std::size_t>> keyed, spare, expected;
    std::vector<std::uint32_t> counts;
    for (int round = 0; round < 3000; ++round) {
        const std::size_t n = round % 100 == 0 ? 3000 + rng() % 3000 : round % 10 == 0 ? 400 + rng() % 300 : rng() % 140;
        const int kind = (round / 10 + round) % 5;
        keyed.clear();
        for (std::size_t i = 0; i < n; ++i) {
            std::uint64_t key = rng();
            if (kind == 1) key = rng() % 4;
            if (kind == 2) key = (rng() % 3 == 0) ? std::numeric_limits<std::uint64_t>::max() : rng() % 2;
            if (kind == 3) key = rng() % 8 == 0 ? rng() : (std::uint64_t{1} << 40) + rng() % 70000;
            if (kind == 4) {
                const double d = std::ldexp(static_cast<double>(rng() % 1000), static_cast<int>(rng() % 20));
                std::memcpy(&key, &d, sizeof key);
            }
            keyed.push_back({key, i});
        }
        expected = keyed;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::uint64_t lo = 0, hi = 0;
        if (!keyed.empty()) {
            const auto [least, most] = std::minmax_element(keyed.begin(), keyed.end());
            lo = least->first;
            hi = most->first;
        }
        delaunay::sort_keyed(keyed, lo, hi, spare, counts);
        ASSERT_EQ(keyed, expected) << "round " << round << " n " << n;
    }
}

// Structural checks every triangulation must pass; answers the number of
// sites used by some triangle.
std::size_t check_structure(const std::vector<Point>& sites, const Triangulation& t) {
    const auto& tri = t.triangles;
    const auto& he = t.halfedges;
    EXPECT_EQ(tri.size() % 3, 0u);
    EXPECT_EQ(he.size(), tri.size());
    std::set<std::size_t> used;
    std::size_t hull = 0;
    for (std::size_t e = 0; e < tri.size(); ++e) {
        EXPECT_LT(tri[e], sites.size());
        used.insert(tri[e]);
        if (e % 3 == 0) {
            // Every triangle clockwise in a y-up frame, none degenerate.
            EXPECT_EQ(orient_sign(sites[tri[e]], sites[tri[e + 1]], sites[tri[e + 2]]), -1) << "triangle " << e / 3;
        }
        const std::size_t b = he[e];
        if (b == EMPTY) {
            ++hull;
            continue;
        }
        EXPECT_LT(b, he.size());
        if (b >= he.size()) continue;
        EXPECT_EQ(he[b], e);
        EXPECT_NE(b / 3, e / 3);
        // Twins run between the same two sites, the other way.
        EXPECT_EQ(tri[b], tri[next_halfedge(e)]);
        EXPECT_EQ(tri[next_halfedge(b)], tri[e]);
    }
    // Euler: a triangulation of v sites with h of them on the hull has 2v - 2 - h triangles.
    EXPECT_EQ(tri.size() / 3, 2 * used.size() - 2 - hull);
    return used.size();
}

// Every interior edge is locally Delaunay, checked exactly (integer sites).
void check_empty_circles(const std::vector<Point>& sites, const Triangulation& t) {
    for (std::size_t e = 0; e < t.triangles.size(); ++e) {
        const std::size_t b = t.halfedges[e];
        if (b == EMPTY) continue;
        const std::size_t base = e - e % 3;
        const Point& far = sites[t.triangles[b - b % 3 + (b % 3 + 2) % 3]];
        EXPECT_GE(in_circle_int(sites[t.triangles[base]], sites[t.triangles[base + 1]], sites[t.triangles[base + 2]],
                                far),
                  0)
            << "edge " << e;
    }
}

TEST(AnalysisDelaunay, RandomSitesGiveAValidTriangulation) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> u(-50.0, 50.0);
    for (std::size_t n : {3u, 4u, 10u, 100u, 3000u}) {
        std::vector<Point> sites;
        for (std::size_t i = 0; i < n; ++i) sites.push_back({u(rng), u(rng)});
        const auto t = delaunay::triangulate(sites);
        ASSERT_TRUE(t.has_value()) << n;
        EXPECT_EQ(check_structure(sites, *t), n);
    }
}

TEST(AnalysisDelaunay, IntegerSitesAreDelaunayEvenWhenCocircularAndCollinear) {
    // A small grid is full of collinear triples and co-circular quadruples;
    // the in-circle test is exact for such small integers.
    std::mt19937_64 rng(3);
    for (int round = 0; round < 20; ++round) {
        std::uniform_int_distribution<int> c(0, 12 + round);
        std::vector<Point> sites;
        std::set<std::pair<int, int>> seen;
        while (sites.size() < 60) {
            const int x = c(rng), y = c(rng);
            if (seen.insert({x, y}).second) sites.push_back({double(x), double(y)});
        }
        const auto t = delaunay::triangulate(sites);
        ASSERT_TRUE(t.has_value());
        EXPECT_EQ(check_structure(sites, *t), sites.size()) << round;
        check_empty_circles(sites, *t);
    }
    // Wider random integer sites.
    std::uniform_int_distribution<int> wide(-(1 << 19), 1 << 19);
    std::vector<Point> sites;
    for (int i = 0; i < 2000; ++i) sites.push_back({double(wide(rng)), double(wide(rng))});
    const auto t = delaunay::triangulate(sites);
    ASSERT_TRUE(t.has_value());
    check_structure(sites, *t);
    check_empty_circles(sites, *t);
}

TEST(AnalysisDelaunay, DuplicateAndNearDuplicateSitesAreSkipped) {
    const double near = std::ldexp(1.0, -52);
    std::vector<Point> sites{{0, 0}, {10, 0}, {0, 10}, {10, 10}, {3, 4}, {3, 4}, {6, 7}, {6 + near, 7 - near}};
    const auto t = delaunay::triangulate(sites);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(check_structure(sites, *t), 6u);
    std::set<std::size_t> used(t->triangles.begin(), t->triangles.end());
    EXPECT_EQ(used.count(4) + used.count(5), 1u);
    EXPECT_EQ(used.count(6) + used.count(7), 1u);

    // Two ulps of 4 apart (2^-50) is above the 2^-51 tolerance: both stay.
    const double apart = std::ldexp(1.0, -50);
    std::vector<Point> close{{0, 0}, {10, 0}, {0, 10}, {10, 10}, {5, 5}, {5 + apart, 5}};
    const auto t2 = delaunay::triangulate(close);
    ASSERT_TRUE(t2.has_value());
    EXPECT_EQ(check_structure(close, *t2), 6u);
}

TEST(AnalysisDelaunay, DegenerateInputHasNoTriangulation) {
    EXPECT_FALSE(delaunay::triangulate({}).has_value());
    EXPECT_FALSE(delaunay::triangulate({{1, 1}, {2, 2}}).has_value());
    EXPECT_FALSE(delaunay::triangulate({{1, 1}, {1, 1}, {1, 1}, {1, 1}}).has_value());
    EXPECT_FALSE(delaunay::triangulate({{0, 0}, {1, 1}, {2, 2}, {3, 3}, {-5, -5}}).has_value());
    EXPECT_FALSE(delaunay::triangulate({{0, 0}, {1, 0}, {0, 1}, {std::nan(""), 2}}).has_value());
    EXPECT_FALSE(
        delaunay::triangulate({{0, 0}, {1, 0}, {0, 1}, {std::numeric_limits<double>::infinity(), 2}}).has_value());
    // Collinear sites with one off the line do triangulate.
    std::vector<Point> fan{{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {2, 1}};
    const auto t = delaunay::triangulate(fan);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(check_structure(fan, *t), fan.size());
    EXPECT_EQ(t->triangles.size() / 3, 4u);
}

// Four far sites round `centre`, `reach` away along the axes: left, right,
// below, above.
void add_frame(std::vector<Point>& sites, Point centre, double reach) {
    sites.push_back({centre.x - reach, centre.y});
    sites.push_back({centre.x + reach, centre.y});
    sites.push_back({centre.x, centre.y - reach});
    sites.push_back({centre.x, centre.y + reach});
}

TEST(AnalysisDelaunay, CollinearSitesInsideAFrame) {
    // A row of sites on one line (exactly representable and not) inside four
    // far points, as stones in a line on a board.
    for (double step : {1.0, 0.1, 1.0 / 3.0}) {
        std::vector<Point> sites;
        for (int i = 0; i < 40; ++i) sites.push_back({1 + i * step, 1 + i * step});
        add_frame(sites, {9, 9}, 135);
        const auto t = delaunay::triangulate(sites);
        ASSERT_TRUE(t.has_value());
        EXPECT_EQ(check_structure(sites, *t), sites.size());
        EXPECT_EQ(t->triangles.size() / 3, 2 * sites.size() - 6);
    }
}

TEST(AnalysisDelaunay, NearlyCollinearRowsNeedTheExactOrientation) {
    // Sites on lines whose coordinates round off the line: a plain
    // orientation test misjudges which hull edges they see and builds
    // degenerate or inverted triangles.
    std::mt19937_64 rng(19);
    std::uniform_real_distribution<double> u(0.0, 30.0);
    for (const auto& [slope, offset] : {std::pair{0.7, 0.3}, {1.0 / 3.0, 0.1}, {3.0, -0.2}, {-1.1, 30.0}}) {
        std::vector<Point> sites;
        for (int i = 0; i < 300; ++i) {
            const double x = u(rng);
            sites.push_back({x, slope * x + offset});
        }
        add_frame(sites, {0, 0}, 500);
        const auto t = delaunay::triangulate(sites);
        ASSERT_TRUE(t.has_value());
        check_structure(sites, *t);
    }
}

}  // namespace
}  // namespace cellvane
