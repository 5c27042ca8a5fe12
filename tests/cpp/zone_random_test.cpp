#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <random>

#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"
#include "zone_support.hpp"

namespace cellvane {
namespace {

using zone_testing::boundary_picture;
using zone_testing::boundary_set;
using zone_testing::broken_invariant;
using zone_testing::expect_coverage_matches_geometry;
using zone_testing::same_bits;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

// Every shape's kept answer to has_exposed_segment against a fresh walk of
// its list. Asked after every change, so each answer kept from the last check
// must have been dropped by whatever changed the list since.
void expect_exposure_current(const AliveZone& z) {
    for (const auto& [id, shape] : z.graph().shapes()) {
        bool walked = false;
        z.graph().for_each_segment(shape, [&walked](SegId, const Segment& seg, std::int64_t cover) {
            walked = walked || (!seg.off_board && cover == 0);
        });
        EXPECT_EQ(z.graph().has_exposed_segment(shape), walked) << "shape " << id;
    }
}

class Sequence {
public:
    explicit Sequence(std::uint64_t seed) : rng_(seed) {}

    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

    // A placeable point of one of three families, or nothing after a few tries.
    std::optional<Point> placeable(const AliveZone& z) {
        static constexpr double lines[] = {3.0, 1.0 + 1.9999999, 1.0 + 1.99999999, 1.0 + 2.0000001,
                                           1.0, 18.0 - 2.0,      18.0 - 1.9999999, 18.0 - 1.99999999, 18.0};
        for (int attempt = 0; attempt < 40; ++attempt) {
            Point p{uniform(1.0, 18.0), uniform(1.0, 18.0)};
            const std::size_t family = pick(4);
            if (family == 1 && !stones_.empty()) {
                // Exactly 2.0 from a stone in play.
                auto it = stones_.begin();
                std::advance(it, static_cast<long>(pick(stones_.size())));
                const Point c = it->second;
                const double step[4][2] = {{2.0, 0.0}, {-2.0, 0.0}, {0.0, 2.0}, {0.0, -2.0}};
                const auto& s = step[pick(4)];
                p = {c.x + s[0], c.y + s[1]};
            } else if (family == 2) {
                // On a line's tangency distance, or just either side of it.
                (pick(2) == 0 ? p.x : p.y) = lines[pick(std::size(lines))];
            }
            if (z.is_placeable(p)) return p;
        }
        return std::nullopt;
    }

    std::map<std::uint32_t, Point>& stones() { return stones_; }

private:
    std::mt19937_64 rng_;
    std::map<std::uint32_t, Point> stones_;
};

TEST(ZoneRandom, CarveAndReclaimKeepTheStructureWhole) {
    const AliveZone empty(19.0);
    const auto empty_boundary = boundary_picture(empty.graph());
    for (std::uint64_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        Sequence seq(seed);
        AliveZone z(19.0);
        std::uint32_t next_stone = 0;
        for (int step = 0; step < 300; ++step) {
            const std::size_t op = seq.pick(10);
            if (op < 6) {
                if (const auto p = seq.placeable(z)) {
                    ASSERT_EQ(z.carve(next_stone, *p), std::nullopt);
                    seq.stones()[next_stone++] = *p;
                }
            } else if (op < 9 && !seq.stones().empty()) {
                auto it = seq.stones().begin();
                std::advance(it, static_cast<long>(seq.pick(seq.stones().size())));
                ASSERT_EQ(z.reclaim(it->first), std::nullopt);
                seq.stones().erase(it);
            } else {
                z.push_temporary_circle({seq.uniform(0.0, 19.0), seq.uniform(0.0, 19.0)});
                ASSERT_EQ(broken_invariant(z), std::nullopt);
                expect_exposure_current(z);
                z.pop_temporary_circle();
            }
            ASSERT_EQ(broken_invariant(z), std::nullopt) << "step " << step;
            expect_exposure_current(z);
            if (step % 10 == 0) {
                expect_coverage_matches_geometry(z);
                // The same stones carved afresh, in placing order and in
                // reverse, give the same boundary to the last bit.
                AliveZone forwards(19.0);
                AliveZone backwards(19.0);
                for (const auto& [stone, centre] : seq.stones()) forwards.carve(stone, centre);
                for (auto it = seq.stones().rbegin(); it != seq.stones().rend(); ++it) {
                    backwards.carve(it->first, it->second);
                }
                const auto boundary = boundary_set(z.graph());
                EXPECT_EQ(boundary_set(forwards.graph()), boundary) << "step " << step;
                EXPECT_EQ(boundary_set(backwards.graph()), boundary) << "step " << step;
                for (const auto& [stone, centre] : seq.stones()) {
                    // From a centre every point of its circle is about equally far.
                    const auto q = z.nearest_living_move(centre);
                    const auto f = forwards.nearest_living_move(centre);
                    const auto b = backwards.nearest_living_move(centre);
                    ASSERT_EQ(q.has_value(), f.has_value());
                    ASSERT_EQ(q.has_value(), b.has_value());
                    if (q) {
                        EXPECT_TRUE(same_bits(*q, *f) && same_bits(*q, *b)) << "step " << step;
                    }
                }
                const Point probe{seq.uniform(-2.0, 21.0), seq.uniform(-2.0, 21.0)};
                const auto q = z.nearest_living_move(probe);
                ASSERT_TRUE(q);
                EXPECT_TRUE(z.is_placeable(*q));
            }
            if (::testing::Test::HasFailure()) return;
        }
        for (const auto& [stone, centre] : seq.stones()) ASSERT_EQ(z.reclaim(stone), std::nullopt);
        EXPECT_EQ(broken_invariant(z), std::nullopt);
        EXPECT_EQ(z.graph().live_count(), 16u);
        EXPECT_EQ(z.graph().shapes().size(), 4u);
        EXPECT_EQ(boundary_picture(z.graph()), empty_boundary);
    }
}

TEST(ZoneRandom, DenselyPackedStonesOnALattice) {
    // Stones exactly 2.0 apart in rows: every neighbour crosses every other,
    // then everything is given back in an order unrelated to the carving.
    AliveZone z(19.0);
    std::uint32_t id = 0;
    for (double y = 1.0; y <= 18.0; y += 2.0) {
        for (double x = 1.0; x <= 18.0; x += 2.0) ASSERT_EQ(z.carve(id++, {x, y}), std::nullopt);
    }
    ASSERT_EQ(broken_invariant(z), std::nullopt);
    expect_coverage_matches_geometry(z);
    // No point of the board is 2.0 clear of the lattice: nothing is exposed.
    EXPECT_FALSE(z.is_placeable({2.0, 2.0}));
    EXPECT_EQ(z.depth_at({2.0, 2.0}), 2.0 - std::sqrt(2.0));
    EXPECT_FALSE(z.nearest_living_move({2.0, 2.0}));
    for (std::uint32_t k = 0; k < id; k += 3) z.reclaim(k);
    ASSERT_EQ(broken_invariant(z), std::nullopt);
    expect_coverage_matches_geometry(z);
    for (std::uint32_t k = 0; k < id; ++k) z.reclaim(k);
    EXPECT_EQ(boundary_picture(z.graph()), boundary_picture(ClipGraph(19.0)));
}

TEST(ZoneRandom, ExtremeSizesAndPointsNeverBreakAnything) {
    const double sizes[] = {19.0, 0.0, -0.0, -5.0, 1e-300, 2.0, 4.0, 1e308, INF, -INF, NaN};
    const Point points[] = {{NaN, NaN}, {NaN, 3.0},   {INF, 0.0},     {-INF, INF},  {1e308, 1e308},
                            {-1e308, 5.0}, {1e-300, 1e-300}, {0.0, 0.0}, {-0.0, 1.0}, {1.0, 1.0},
                            {3.0, 3.0},  {2.0, 9.0},  {5e307, 5e307}};
    for (const double s : sizes) {
        SCOPED_TRACE(s);
        AliveZone z(s);
        const auto initial = boundary_picture(z.graph());
        const auto live = z.graph().live_count();
        std::uint32_t id = 0;
        for (const Point p : points) {
            (void)z.depth_at(p);
            (void)z.is_placeable(p);
            (void)z.nearest_living_move(p);
            ASSERT_EQ(z.carve(id++, p), std::nullopt);
            z.add_forced_eye(p);
            z.push_temporary_circle({p.y, p.x});
            (void)z.nearest_living_move({p.y, p.x});
            (void)z.take_forced_eyes({p.y, p.x});
            z.pop_temporary_circle();
        }
        EXPECT_EQ(broken_invariant(z.graph()), std::nullopt);
        for (const Point p : points) (void)z.nearest_living_move(p);
        for (std::uint32_t k = 0; k < id; ++k) EXPECT_EQ(z.reclaim(k), std::nullopt);
        EXPECT_EQ(broken_invariant(z.graph()), std::nullopt);
        if (std::isfinite(s) && s > 4.0) {
            EXPECT_EQ(z.graph().live_count(), live);
            EXPECT_EQ(boundary_picture(z.graph()), initial);
        }
    }
}

}  // namespace
}  // namespace cellvane
