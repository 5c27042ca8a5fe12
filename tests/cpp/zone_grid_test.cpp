// The circle grid only narrows which shapes a search looks at: every answer
// must be the one a walk over all shapes in ascending id would give, ties and
// the sign of zero included.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>

#include "zone/circle_grid.hpp"
#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"
#include "zone/zone.hpp"

namespace cellvane {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// depth_at by its definition: every shape, ascending id, NaN terms ignored.
double depth_by_scan(const AliveZone& z, Point p) {
    const double s = z.graph().board_size();
    if (!(0.0 <= p.x && p.x <= s && 0.0 <= p.y && p.y <= s)) return INF;
    if (z.forced_eyes().contains(point_key(p))) return -INF;
    double deepest = -INF;
    for (const auto& [id, shape] : z.graph().shapes()) {
        const double d = depth_in(shape.kind, p, z.graph().frame());
        if (d > deepest) deepest = d;
    }
    return deepest;
}

// nearest_living_move by its definition: every exposed piece of every shape
// in ascending id, the nearest kept with ties to the smaller point, then the
// forced eyes in key order, each only when strictly nearer.
std::optional<Point> nearest_by_scan(const AliveZone& z, Point p) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return std::nullopt;
    if (depth_by_scan(z, p) <= 0.0) return p;
    double best = INF;
    double far_best = INF;
    std::optional<Point> answer;
    auto smaller = [&](Point q) { return answer && (q.x < answer->x || (q.x == answer->x && q.y < answer->y)); };
    auto consider = [&](Point q, bool boundary) {
        const double d = distance(p, q);
        if (d < best || (boundary && d == best && d != INF && smaller(q))) {
            best = d;
            answer = q;
        } else if (d == INF && best == INF) {
            const double far = std::hypot(p.x * 0.5 - q.x * 0.5, p.y * 0.5 - q.y * 0.5);
            if (far < far_best || (boundary && far == far_best && smaller(q))) {
                far_best = far;
                answer = q;
            }
        }
    };
    for (const auto& [id, shape] : z.graph().shapes()) {
        for (const ExposedPiece& piece : z.graph().exposed_pieces(id)) {
            if (const auto* whole = std::get_if<WholeCircle>(&piece)) {
                consider(closest_point_on_circle(whole->centre, whole->radius, p), true);
            } else if (const auto* line = std::get_if<LineSeg>(&piece)) {
                consider(closest_point_on_segment(SegmentGeometry{*line}, p), true);
            } else {
                consider(closest_point_on_segment(SegmentGeometry{std::get<ArcSeg>(piece)}, p), true);
            }
        }
    }
    for (const auto& [key, eye] : z.forced_eyes()) consider(eye, false);
    return answer;
}

// Every circle of the graph is filed exactly once: by its cell when it can
// be, otherwise on the loose list with the edge lines.
void expect_grid_in_step(const AliveZone& z) {
    const CircleGrid& grid = z.grid();
    std::size_t filed = 0;
    for (const auto& [id, shape] : z.graph().shapes()) {
        const bool loose = std::binary_search(grid.loose().begin(), grid.loose().end(), id);
        if (CircleGrid::filed_by_cell(shape.kind)) {
            const Point c = std::get<Circle>(shape.kind).centre;
            const auto* cell = grid.cell(CircleGrid::cell_of(c.x), CircleGrid::cell_of(c.y));
            ASSERT_NE(cell, nullptr) << "circle " << id;
            // Filed once, with the circle's own centre to the bit and its
            // outline's present slot.
            const auto same = [&](const CircleGrid::Filed& f) {
                return f.id == id && f.slot == z.graph().shapes().slot_of(id) &&
                       std::bit_cast<std::uint64_t>(f.centre.x) == std::bit_cast<std::uint64_t>(c.x) &&
                       std::bit_cast<std::uint64_t>(f.centre.y) == std::bit_cast<std::uint64_t>(c.y);
            };
            EXPECT_EQ(std::count_if(cell->begin(), cell->end(), same), 1) << "circle " << id;
            EXPECT_FALSE(loose) << "circle " << id;
            ++filed;
        } else {
            EXPECT_TRUE(loose) << "shape " << id;
        }
    }
    EXPECT_EQ(grid.filed(), filed);
    EXPECT_EQ(grid.loose().size() + filed, z.graph().shapes().size());
}

class Dice {
public:
    explicit Dice(std::uint64_t seed) : rng_(seed) {}
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

private:
    std::mt19937_64 rng_;
};

// A point chosen to sit where a narrowed search could go wrong: on cell
// borders, exactly 2.0 or 4.0 from a centre, on the edge lines, off the
// board, or anywhere.
Point awkward(Dice& dice, const std::vector<Point>& centres, double size) {
    switch (dice.pick(7)) {
        case 0: {
            const double cell = CircleGrid::CELL;
            const double tiny[] = {0.0, 1e-12, -1e-12, 5e-8};
            return {cell * static_cast<double>(dice.pick(static_cast<std::size_t>(size / cell) + 1)) + tiny[dice.pick(4)],
                    dice.uniform(0.0, size)};
        }
        case 1:
        case 2:
            if (!centres.empty()) {
                const Point c = centres[dice.pick(centres.size())];
                const double reach[] = {2.0, 4.0, 6.0, 1.0, 0.0};
                const double r = reach[dice.pick(5)];
                const double a = dice.uniform(0.0, TWO_PI);
                return dice.pick(2) == 0 ? Point{c.x + r, c.y} : Point{c.x + r * std::cos(a), c.y + r * std::sin(a)};
            }
            break;
        case 3: {
            const double lines[] = {0.0, 1.0, size - 1.0, size, -0.0, size + 1e-9};
            return {lines[dice.pick(6)], dice.uniform(0.0, size)};
        }
        case 4: return {dice.uniform(-size, 2.0 * size), dice.uniform(-size, 2.0 * size)};
        default: break;
    }
    return {dice.uniform(0.0, size), dice.uniform(0.0, size)};
}

// A random zone's stones: their ids in play and every centre carved so far.
struct Carving {
    std::uint32_t next = 0;
    std::vector<std::uint32_t> alive;
    std::vector<Point> centres;

    // Carves a new stone's dead zone at c, or reclaims a stone in play.
    void step(AliveZone& z, Dice& dice, bool carve, Point c) {
        if (carve || alive.empty()) {
            ASSERT_EQ(z.carve(next, c), std::nullopt);
            alive.push_back(next++);
            centres.push_back(c);
        } else {
            const std::size_t at = dice.pick(alive.size());
            ASSERT_EQ(z.reclaim(alive[at]), std::nullopt);
            alive.erase(alive.begin() + static_cast<long>(at));
        }
    }
};

bool same(const std::optional<Point>& a, const std::optional<Point>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || (bits(a->x) == bits(b->x) && bits(a->y) == bits(b->y));
}

TEST(ZoneGrid, NarrowedSearchesAgreeWithScansOverEveryShape) {
    const Point odd[] = {{NaN, 5.0}, {2e9, 3.0}, {-1e12, 1e12}, {INF, 2.0}};
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        Dice dice(seed);
        // The last board is so sparse that searches give up on rings.
        const double sizes[] = {19.0, 30.0, 47.5, 64.0, 1e6};
        const double size = sizes[seed % 5];
        AliveZone z(size);
        Carving carving;
        const std::vector<Point>& centres = carving.centres;
        const std::vector<std::uint32_t>& alive = carving.alive;
        const int steps = 60 + static_cast<int>(dice.pick(120));
        for (int step = 0; step < steps; ++step) {
            const std::size_t what = dice.pick(10);
            if (what < 6 || alive.empty()) {
                // Clusters, chains exactly 2.0 or 4.0 apart, cell borders.
                const Point c = dice.pick(30) == 0 ? odd[dice.pick(4)] : awkward(dice, centres, size);
                ASSERT_NO_FATAL_FAILURE(carving.step(z, dice, true, c));
            } else if (what < 8) {
                ASSERT_NO_FATAL_FAILURE(carving.step(z, dice, false, {}));
            } else if (what == 8) {
                z.add_forced_eye(awkward(dice, centres, size));
            } else if (!centres.empty()) {
                (void)z.take_forced_eyes(centres[dice.pick(centres.size())]);
            }
            if (step % 7 != 0) continue;
            expect_grid_in_step(z);
            // A temporary circle on top, as a cut question carves one, and a
            // copy that must answer alike.
            const bool temporary = dice.pick(3) == 0;
            if (temporary) z.push_temporary_circle(awkward(dice, centres, size));
            const AliveZone copy = z;
            for (int probe = 0; probe < 30; ++probe) {
                Point p = awkward(dice, centres, size);
                if (probe == 0 && !z.forced_eyes().empty()) p = z.forced_eyes().begin()->second;
                if (probe == 1) p = odd[dice.pick(4)];
                const double want = depth_by_scan(z, p);
                ASSERT_EQ(bits(z.depth_at(p)), bits(want)) << "seed " << seed << " at (" << p.x << ", " << p.y << ")";
                ASSERT_EQ(bits(copy.depth_at(p)), bits(want));
                const auto nearest = nearest_by_scan(z, p);
                ASSERT_TRUE(same(z.nearest_living_move(p), nearest))
                    << "seed " << seed << " at (" << p.x << ", " << p.y << ")";
                ASSERT_TRUE(same(copy.nearest_living_move(p), nearest));
            }
            if (temporary) z.pop_temporary_circle();
        }
        // Everything reclaimed: the grid is empty again but for the edges.
        for (const std::uint32_t stone : alive) ASSERT_EQ(z.reclaim(stone), std::nullopt);
        expect_grid_in_step(z);
        EXPECT_EQ(z.grid().filed(), 0u);
        EXPECT_EQ(z.grid().loose().size(), 4u);
    }
}

// take_forced_eyes by its definition: the eye under p's own key alone, else
// every eye within 2.0 of p, in key order.
std::vector<Point> taken_by_scan(const AliveZone& z, Point p) {
    if (const auto exact = z.forced_eyes().find(point_key(p)); exact != z.forced_eyes().end()) return {exact->second};
    std::vector<Point> out;
    for (const auto& [key, eye] : z.forced_eyes()) {
        if (distance(eye, p) <= STONE_DIAMETER) out.push_back(eye);
    }
    return out;
}

// Boards whose stones lie far from the origin (where the rounding of a
// coordinate reaches the cell size and beyond) are filed by cell like any
// other, and forced eyes are found by cell: depth, nearest move and the eyes
// a stone takes are still exactly what the scans over everything answer.
TEST(ZoneGrid, FarFromTheOriginAndForcedEyesAgreeWithScans) {
    const double origins[] = {0.0, 3e9, 7.3e14, 2.5e17};
    for (std::uint64_t seed = 1; seed <= 24; ++seed) {
        Dice dice(seed * 7919);
        const double o = origins[seed % 4];
        const double span = 60.0;
        AliveZone z(o + span);
        auto near = [&](Point c) {
            const double reach[] = {2.0, 4.0, 1.0, 0.0, 3.0};
            const double r = reach[dice.pick(5)];
            const double a = dice.uniform(0.0, TWO_PI);
            return dice.pick(2) == 0 ? Point{c.x + r, c.y} : Point{c.x + r * std::cos(a), c.y + r * std::sin(a)};
        };
        auto anywhere = [&] { return Point{o + dice.uniform(0.0, span), o + dice.uniform(0.0, span)}; };
        Carving carving;
        const std::vector<Point>& centres = carving.centres;
        // Many forced eyes on odd seeds, so that they are found both with
        // and without their cells as the takes thin them out.
        if (seed % 2 == 1) {
            for (int i = 0; i < 60; ++i) z.add_forced_eye(anywhere());
        }
        for (int step = 0; step < 150; ++step) {
            const std::size_t what = dice.pick(10);
            const Point somewhere = centres.empty() || dice.pick(2) == 0 ? anywhere() : near(centres[dice.pick(centres.size())]);
            if (what < 6) {
                ASSERT_NO_FATAL_FAILURE(carving.step(z, dice, what < 5, somewhere));
            } else if (what < 8) {
                z.add_forced_eye(somewhere);
            } else {
                const Point p = dice.pick(4) == 0 && !z.forced_eyes().empty() ? z.forced_eyes().begin()->second : somewhere;
                const std::vector<Point> want = taken_by_scan(z, p);
                const std::vector<Point> got = z.take_forced_eyes(p);
                ASSERT_EQ(got.size(), want.size()) << "seed " << seed << " step " << step;
                for (std::size_t i = 0; i < got.size(); ++i) ASSERT_TRUE(same(got[i], want[i])) << "seed " << seed;
                for (const Point& q : want) ASSERT_FALSE(z.forced_eyes().contains(point_key(q)));
            }
            if (step % 5 != 0) continue;
            expect_grid_in_step(z);
            for (int probe = 0; probe < 20; ++probe) {
                const Point p = centres.empty() || dice.pick(2) == 0 ? anywhere() : near(centres[dice.pick(centres.size())]);
                ASSERT_EQ(bits(z.depth_at(p)), bits(depth_by_scan(z, p))) << "seed " << seed;
                ASSERT_TRUE(same(z.nearest_living_move(p), nearest_by_scan(z, p))) << "seed " << seed;
            }
        }
        // Only the edge lines stay loose, however far the circles lie.
        EXPECT_EQ(z.grid().loose().size(), 4u);
    }
}

}  // namespace
}  // namespace cellvane
