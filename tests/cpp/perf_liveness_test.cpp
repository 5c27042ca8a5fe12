// The liveness scene answers what the capture rule (capture_rule.hpp)
// answers when every check is made directly on the zone: the vertex check
// through depth_at, the edge check through the full clearance, the
// exposed-start check by walking every list.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"
#include "analysis/analysis.hpp"
#include "analysis/capture_rule.hpp"
#include "analysis/liveness.hpp"
#include "test_access.hpp"

namespace cellvane {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

bool reference_start_inside(const AliveZone& zone, const std::vector<Ring>& rings) {
    const ClipGraph& g = zone.graph();
    for (const auto& [id, shape] : g.shapes()) {
        for (const SegId s : g.segments_of(id)) {
            const Point start = g.slot(s)->start;
            if (!g.slot(s)->off_board && g.covering(s).empty() && territory_contains(rings, start.x, start.y)) return true;
        }
    }
    return false;
}

// The capture rule as stated, every check made on the zone itself; its
// exposed-start check agrees with the walk above.
bool reference_is_alive(const AliveZone& zone, const std::vector<Ring>& rings) {
    EXPECT_EQ(exposed_start_inside(zone, rings), reference_start_inside(zone, rings));
    return touches_playable_space(zone, rings);
}

// A dense position of random play rules (centres 2.0 apart), a few stones
// taken off again with their forced eyes left behind.
struct Dense {
    AliveZone zone;
    std::vector<Stone> stones;
    Dense(double size, std::mt19937_64& rng, int eyes, std::size_t most = 1000) : zone(size) {
        std::uniform_real_distribution<double> u(0.0, size);
        for (int tries = 0; tries < 3000 && stones.size() < most; ++tries) {
            Point p{u(rng), u(rng)};
            if (zone.depth_at(p) > 0) {
                const auto snapped = zone.nearest_living_move(p);
                if (!snapped) break;
                p = *snapped;
            }
            const auto id = static_cast<std::uint32_t>(tries);
            if (zone.carve(id, p)) continue;
            stones.push_back({p, id, tries % 2 ? Color::White : Color::Black});
        }
        for (int k = 0; k < eyes && !stones.empty(); ++k) {
            const Stone gone = stones[static_cast<std::size_t>(rng() % stones.size())];
            zone.add_forced_eye(gone.position);
            EXPECT_EQ(zone.reclaim(gone.id), std::nullopt);
            std::erase_if(stones, [&](const Stone& s) { return s.id == gone.id; });
        }
    }
};

TEST(PerfLiveness, VerdictsAgreeWithTheDirectChecksOnDensePositions) {
    std::mt19937_64 rng(17);
    int dead = 0;
    int alive = 0;
    for (int round = 0; round < 10; ++round) {
        const double size = round % 2 == 0 ? 18.0 : 25.5;
        Dense pos(size, rng, round % 4);
        const PositionAnalysis a = analyse(size, pos.stones);
        LivenessScene scene(pos.zone);
        for (const auto* groups : {&a.black, &a.white}) {
            for (const Group& g : *groups) {
                const bool expected = reference_is_alive(pos.zone, g.rings);
                ASSERT_EQ(scene.is_alive(g.rings), expected) << "round " << round << " stone " << g.stones[0].id;
                ASSERT_EQ(LivenessScene(pos.zone).is_alive(g.rings), expected);
                (expected ? alive : dead) += 1;
            }
        }
        for (const Color c : {Color::Black, Color::White}) {
            std::vector<std::uint32_t> expected;
            for (const Group& g : c == Color::Black ? a.black : a.white) {
                if (!reference_is_alive(pos.zone, g.rings)) {
                    for (const Stone& s : g.stones) expected.push_back(s.id);
                }
            }
            std::vector<std::uint32_t> got;
            for (const Stone& s : dead_stones(a, pos.zone, c)) got.push_back(s.id);
            EXPECT_EQ(got, expected);
        }
        // Territories shifted anywhere on and off the board: rings of other
        // groups moved by a random offset reach every check.
        std::uniform_real_distribution<double> shift(-3.0, 3.0);
        for (const auto* groups : {&a.black, &a.white}) {
            for (const Group& g : *groups) {
                std::vector<Ring> moved = g.rings;
                const double dx = shift(rng), dy = shift(rng);
                for (Ring& r : moved) {
                    for (Point& p : r) p = {p.x + dx, p.y + dy};
                }
                ASSERT_EQ(scene.is_alive(moved), reference_is_alive(pos.zone, moved)) << "round " << round;
            }
        }
    }
    // Random play leaves both kinds of group, and the dead ones run every check.
    EXPECT_GT(dead, 20);
    EXPECT_GT(alive, 20);
}

TEST(PerfLiveness, VertexCheckAgreesWithTheDepth) {
    // A few forced eyes and many: the scene looks through a short list of
    // them in turn and bisects a long one.
    for (const int eyes : {3, 14}) {
        std::mt19937_64 rng(23);
        Dense pos(18.0, rng, eyes, 30);
        // And one in the left dead strip, where every other point is out of play.
        pos.zone.add_forced_eye({0.5, 9.0});
        ASSERT_EQ(pos.zone.forced_eyes().size(), static_cast<std::size_t>(eyes) + 1);
        LivenessScene scene(pos.zone);
        std::uniform_real_distribution<double> u(-1.0, 19.0);
        std::uniform_real_distribution<double> angle(0.0, TWO_PI);
        int inside = 0;
        for (int k = 0; k < 20000; ++k) {
            Point v{u(rng), u(rng)};
            if (k % 3 == 0) {
                // On or next to a dead zone's rim, where the depth is near 0.
                const Point c = pos.stones[static_cast<std::size_t>(k) % pos.stones.size()].position;
                const double t = angle(rng);
                const double r = 2.0 + (k % 2 ? 1e-15 : -1e-15) * (k % 5);
                v = {c.x + r * std::cos(t), c.y + r * std::sin(t)};
            }
            const bool expected = pos.zone.depth_at(v) <= 0;
            ASSERT_EQ(scene.vertex_in_play(v), expected) << v.x << " " << v.y;
            inside += expected;
        }
        for (const auto& [key, eye] : pos.zone.forced_eyes()) {
            EXPECT_TRUE(scene.vertex_in_play(eye));
            // A point next to an eye is no eye.
            const Point beside{std::nextafter(eye.x, 100.0), eye.y};
            EXPECT_EQ(scene.vertex_in_play(beside), pos.zone.depth_at(beside) <= 0);
        }
        for (const Point v :
             {Point{NaN, 5.0}, Point{1.0, 1.0}, Point{17.0, 17.0}, Point{-0.0, 9.0}, Point{18.0, 0.0}}) {
            EXPECT_EQ(scene.vertex_in_play(v), pos.zone.depth_at(v) <= 0);
        }
        EXPECT_GT(inside, 1000);
    }
}

TEST(PerfLiveness, ExposedStartCheckAgreesWithTheFullWalk) {
    // Small triangles and quadrilaterals round the starts themselves, so that
    // starts fall just inside and just outside every side of a ring's box.
    std::mt19937_64 rng(31);
    Dense pos(18.0, rng, 0, 40);
    LivenessScene scene(pos.zone);
    std::vector<Point> starts;
    const ClipGraph& g = pos.zone.graph();
    for (const auto& [id, shape] : g.shapes()) {
        for (const SegId s : g.segments_of(id)) {
            if (!g.slot(s)->off_board && g.covering(s).empty()) starts.push_back(g.slot(s)->start);
        }
    }
    ASSERT_GT(starts.size(), 20u);
    std::uniform_real_distribution<double> near(-0.3, 0.3);
    std::uniform_real_distribution<double> tiny(-1e-12, 1e-12);
    int inside = 0;
    for (int k = 0; k < 4000; ++k) {
        const Point s = starts[static_cast<std::size_t>(k) % starts.size()];
        auto jitter = [&](double v) { return k % 2 ? v + near(rng) : v + tiny(rng); };
        Ring ring{{jitter(s.x), jitter(s.y)}, {jitter(s.x), jitter(s.y)}, {jitter(s.x), jitter(s.y)}};
        if (k % 3 == 0) ring.push_back({jitter(s.x), jitter(s.y)});
        ring.push_back(ring.front());
        const bool expected = reference_start_inside(pos.zone, {ring});
        ASSERT_EQ(scene.exposed_start_inside({ring}), expected) << "ring " << k;
        inside += expected;
    }
    EXPECT_GT(inside, 200);
    EXPECT_LT(inside, 3800);
}

TEST(PerfLiveness, CirclesOfEveryRadiusAgreeWithTheDirectChecks) {
    // Whole circles far smaller and far larger than a dead zone, some off the
    // board, among a dense position: the scene files or passes over each
    // and must still answer as the checks made on every shape do.
    std::mt19937_64 rng(37);
    Dense pos(18.0, rng, 2, 40);
    ClipGraph& graph = TestAccess::graph(pos.zone);
    // Added to the graph directly, and so filed in the zone's cells by hand.
    const auto add = [&](Circle c) {
        const ShapeId id = graph.add_shape(c);
        TestAccess::grid(pos.zone).add(id, c, graph.shapes().slot_of(id));
    };
    std::uniform_real_distribution<double> u(-4.0, 22.0);
    for (const double radius : {0.0, 0.3, 1.1, 2.6, 4.0, 7.5}) add(Circle{{u(rng), u(rng)}, radius});
    add(Circle{{-29.0, 9.0}, 30.0});
    add(Circle{{9.0, 2e6 + 17.0}, 2e6});
    LivenessScene scene(pos.zone);
    const double size = graph.board_size();
    int in_play = 0;
    int within = 0;
    std::uniform_real_distribution<double> step(-2.5, 2.5);
    for (int k = 0; k < 6000; ++k) {
        const Point v{u(rng), u(rng)};
        bool expected = 0.0 <= v.x && v.x <= size && 0.0 <= v.y && v.y <= size;
        if (expected && !pos.zone.forced_eyes().contains(point_key(v))) {
            for (const auto& [id, shape] : graph.shapes()) expected = expected && !(depth_in(shape.kind, v, graph.frame()) > 0);
        }
        ASSERT_EQ(scene.vertex_in_play(v), expected) << v.x << " " << v.y;
        in_play += expected;
        const Point q{v.x + step(rng), v.y + step(rng)};
        const bool near = clearance(pos.zone, v, q) <= 1.0;
        ASSERT_EQ(scene.clearance_within(v, q, 1.0), near) << "piece " << k;
        within += near;
    }
    EXPECT_GT(in_play, 50);
    EXPECT_GT(within, 500);
    EXPECT_LT(within, 5500);
}

TEST(PerfLiveness, RingsWithNonFinitePointsAreTestedInFull) {
    std::mt19937_64 rng(29);
    Dense pos(18.0, rng, 2);
    LivenessScene scene(pos.zone);
    const Ring around{{-50, -50}, {70, -50}, {70, 70}, {-50, 70}, {-50, -50}};
    for (const double bad : {NaN, std::numeric_limits<double>::infinity()}) {
        Ring odd = around;
        odd[2].x = bad;
        EXPECT_EQ(scene.is_alive({odd}), reference_is_alive(pos.zone, {odd}));
        EXPECT_EQ(scene.is_alive({around, odd}), reference_is_alive(pos.zone, {around, odd}));
    }
}

}  // namespace
}  // namespace cellvane
