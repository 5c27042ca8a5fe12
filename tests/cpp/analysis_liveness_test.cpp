// Liveness: whether a territory touches playable space, and the dead stones
// of a position.
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

namespace cellvane {
namespace {

// The engine's verdicts, as the liveness scene gives them.
bool is_alive(const AliveZone& zone, const std::vector<Ring>& rings) { return LivenessScene(zone).is_alive(rings); }
bool clearance_within(const AliveZone& zone, Point p, Point q, double limit) {
    return LivenessScene(zone).clearance_within(p, q, limit);
}

Ring square(double x0, double y0, double x1, double y1) { return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}}; }

std::vector<std::uint32_t> ids(const std::vector<Stone>& stones) {
    std::vector<std::uint32_t> out;
    for (const Stone& s : stones) out.push_back(s.id);
    return out;
}

// Places the stones on a zone of the given size and analyses the position.
struct Position {
    AliveZone zone;
    std::vector<Stone> stones;
    explicit Position(double size) : zone(size) {}
    void place(double x, double y, Color c) {
        const auto id = static_cast<std::uint32_t>(stones.size());
        stones.push_back({{x, y}, id, c});
        EXPECT_EQ(zone.carve(id, {x, y}), std::nullopt);
    }
    PositionAnalysis analysis() const { return analyse(zone.graph().board_size(), stones); }
};

TEST(AnalysisLiveness, LoneStoneIsAlive) {
    Position pos(18.0);
    pos.place(9, 9, Color::Black);
    const auto a = pos.analysis();
    ASSERT_EQ(a.black.size(), 1u);
    EXPECT_TRUE(is_alive(pos.zone, a.black[0].rings));
    EXPECT_TRUE(dead_stones(a, pos.zone, Color::Black).empty());
    EXPECT_TRUE(dead_stones(a, pos.zone, Color::White).empty());
}

// A white stone at (9, 9) on an 18 board and `count` black stones touching
// it, one every sixth of a turn from angle 0.
Position ringed_white_stone(int count) {
    Position pos(18.0);
    pos.place(9, 9, Color::White);
    for (int k = 0; k < count; ++k) {
        const double t = k * PI / 3;
        pos.place(9 + 2 * std::cos(t), 9 + 2 * std::sin(t), Color::Black);
    }
    return pos;
}

TEST(AnalysisLiveness, StoneSurroundedByTouchingStonesIsDead) {
    // Six black stones touching the white one and each other: white's cell is
    // a small hexagon deep inside the dead zones.
    const Position pos = ringed_white_stone(6);
    const auto a = pos.analysis();
    ASSERT_EQ(a.white.size(), 1u);
    EXPECT_FALSE(is_alive(pos.zone, a.white[0].rings));
    EXPECT_EQ(ids(dead_stones(a, pos.zone, Color::White)), std::vector<std::uint32_t>{0});
    EXPECT_TRUE(dead_stones(a, pos.zone, Color::Black).empty());

    // With one black stone missing, white's cell opens to playable space.
    const Position open = ringed_white_stone(5);
    const auto b = open.analysis();
    ASSERT_EQ(b.white.size(), 1u);
    EXPECT_TRUE(is_alive(open.zone, b.white[0].rings));
}

TEST(AnalysisLiveness, NoRingsIsDead) {
    AliveZone zone(18.0);
    zone.add_forced_eye({9, 9});
    EXPECT_FALSE(is_alive(zone, {}));
}

TEST(AnalysisLiveness, VertexCheckUsesZeroNotEpsilon) {
    AliveZone zone(18.0);
    // A vertex on the alive zone's boundary (depth 0) is alive; the ring is
    // otherwise far (more than 1.0) from everything playable.
    const Ring touching{{1, 9}, {-3, 8}, {-3, 10}, {1, 9}};
    EXPECT_TRUE(is_alive(zone, {touching}));
    const Ring inside_tolerance{{1 - 5e-8, 9}, {-3, 8}, {-3, 10}, {1 - 5e-8, 9}};
    // Depth 5e-8 is placeable, but not alive by the vertex check; the edge
    // check then finds the boundary within 1.0.
    EXPECT_GT(zone.depth_at(inside_tolerance[0]), 0.0);
    EXPECT_TRUE(is_alive(zone, {inside_tolerance}));
}

TEST(AnalysisLiveness, EdgeWithinExactlyOneOfTheBoundaryIsAlive) {
    AliveZone zone(18.0);  // alive zone: the square [1, 17] x [1, 17]
    // Vertices in the left strip (depth 1 or off the board), the ring's
    // right side exactly 1.0 from the line x = 1.
    const Ring at_one{{0, 5}, {0, 6}, {-1, 5.5}, {0, 5}};
    EXPECT_EQ(clearance(zone, {0, 5}, {0, 6}), 1.0);
    EXPECT_TRUE(is_alive(zone, {at_one}));
    const double x = -std::ldexp(1.0, -40);
    const Ring beyond{{x, 5}, {x, 6}, {-1, 5.5}, {x, 5}};
    EXPECT_GT(clearance(zone, {x, 5}, {x, 6}), 1.0);
    EXPECT_FALSE(is_alive(zone, {beyond}));
}

TEST(AnalysisLiveness, ForcedEyeInsideTheTerritoryButNotInAHole) {
    AliveZone zone(18.0);
    zone.add_forced_eye({100, 100});
    // Far off the board: no vertex, edge or boundary start helps.
    const Ring outer = square(90, 90, 110, 110);
    const Ring hole = square(95, 95, 105, 105);
    EXPECT_TRUE(is_alive(zone, {outer}));
    EXPECT_FALSE(is_alive(zone, {outer, hole}));
    // A hole elsewhere does not matter.
    EXPECT_TRUE(is_alive(zone, {outer, square(91, 91, 92, 92)}));
    // An eye within 1.0 of an edge keeps the group alive through the edge check.
    EXPECT_TRUE(is_alive(zone, {outer, square(99.5, 99.5, 105, 105)}));
}

TEST(AnalysisLiveness, TerritoryEnclosingPlayableSpaceIsAlive) {
    AliveZone zone(18.0);
    // A ring round the whole board, everywhere far from it: only the start
    // of an exposed segment lies inside.
    const Ring around = square(-50, -50, 68, 68);
    EXPECT_TRUE(is_alive(zone, {around}));
    EXPECT_FALSE(is_alive(zone, {around, square(-10, -10, 28, 28)}));

    // An island: 24 stones on a circle leave playable space inside their
    // ring of dead zones. The territory through their centres has every
    // vertex deep in a dead zone and every edge more than 1.0 from playable
    // space, yet the island's boundary starts inside it.
    Position pos(40.0);
    Ring ring;
    for (int k = 0; k < 24; ++k) {
        const double t = k * PI / 12;
        pos.place(20 + 9 * std::cos(t), 20 + 9 * std::sin(t), Color::Black);
        ring.push_back(pos.stones.back().position);
    }
    ring.push_back(ring.front());
    for (std::size_t i = 0; i + 1 < ring.size(); ++i) {
        EXPECT_GT(pos.zone.depth_at(ring[i]), 0.0);
        EXPECT_GT(clearance(pos.zone, ring[i], ring[i + 1]), 1.0);
    }
    EXPECT_TRUE(is_alive(pos.zone, {ring}));
    // The same ring as a hole takes the island away again.
    EXPECT_FALSE(is_alive(pos.zone, {ring, ring}));
}

TEST(AnalysisLiveness, ClearanceMeasures) {
    AliveZone empty(18.0);
    EXPECT_EQ(clearance(empty, {9, 9}, {9, 9}), 8.0);
    EXPECT_EQ(clearance(empty, {0, 5}, {2, 5}), 0.0);  // crosses the line x = 1
    EXPECT_EQ(clearance(empty, {9, 9}, {13, 9}), 4.0);

    // A whole circle (crossing nothing) is measured as a disc outline.
    AliveZone one(18.0);
    one.carve(0, {9, 9});
    EXPECT_EQ(clearance(one, {9, 9}, {9, 9.5}), 1.5);   // both ends inside
    EXPECT_EQ(clearance(one, {9, 9}, {9, 12}), 0.0);    // one end inside
    EXPECT_EQ(clearance(one, {12, 8}, {12, 10}), 1.0);  // passing outside
    EXPECT_EQ(clearance(one, {5, 9}, {13, 9}), 0.0);    // passing through

    // An arc: the measure probes the ends, the arc's end points and the
    // piece's point nearest the centre; a piece crossing the arc between
    // them measures positive.
    AliveZone arc(18.0);
    arc.carve(0, {2, 9});  // cut by the line x = 1
    EXPECT_EQ(clearance(arc, {3.5, 9}, {4.5, 9}), 0.5);
    EXPECT_EQ(clearance(arc, {5, 9}, {5, 10}), 1.0);

    // Forced eyes count as points.
    AliveZone eyes(18.0);
    eyes.add_forced_eye({9, 9});
    EXPECT_EQ(clearance(eyes, {9, 8}, {9, 10}), 0.0);
    EXPECT_EQ(clearance(eyes, {9.5, 8}, {9.5, 10}), 0.5);
    EXPECT_EQ(clearance(eyes, {9.5, 9}, {9.5, 9}), 0.5);
}

TEST(AnalysisLiveness, DeadStonesComeGroupAfterGroup) {
    const Ring board = square(0, 0, 18, 18);
    PositionAnalysis a;
    a.black.push_back(Group{{{{2, 2}, 0, Color::Black}, {{3, 3}, 4, Color::Black}}, {}, Color::Black});
    a.black.push_back(Group{{{{5, 5}, 2, Color::Black}}, {}, Color::Black});
    a.black.push_back(Group{{{{9, 9}, 6, Color::Black}}, {board}, Color::Black});
    a.white.push_back(Group{{{{7, 7}, 1, Color::White}}, {}, Color::White});
    AliveZone zone(18.0);
    EXPECT_EQ(ids(dead_stones(a, zone, Color::Black)), (std::vector<std::uint32_t>{0, 4, 2}));
    EXPECT_EQ(ids(dead_stones(a, zone, Color::White)), std::vector<std::uint32_t>{1});
}

TEST(AnalysisLiveness, ShortcutEdgeCheckAgreesWithTheFullClearance) {
    // Dense random positions with a few forced eyes; pieces of every length
    // anywhere on and near the board, many of them near the 1.0 threshold.
    std::mt19937_64 rng(99);
    for (int round = 0; round < 6; ++round) {
        const double size = 19.0;
        std::uniform_real_distribution<double> u(1.0, size - 1.0);
        Position pos(size);
        for (int tries = 0; tries < 4000 && pos.stones.size() < 40; ++tries) {
            const Point p{u(rng), u(rng)};
            if (pos.zone.depth_at(p) <= 0) pos.place(p.x, p.y, tries % 2 ? Color::White : Color::Black);
        }
        for (int k = 0; k < round; ++k) pos.zone.add_forced_eye({u(rng), u(rng)});
        std::uniform_real_distribution<double> anywhere(-2.0, size + 2.0);
        std::uniform_real_distribution<double> step(-3.0, 3.0);
        int near_threshold = 0;
        for (int k = 0; k < 3000; ++k) {
            const Point p{anywhere(rng), anywhere(rng)};
            const Point q = k % 5 == 0 ? p : Point{p.x + step(rng), p.y + step(rng)};
            const double full = clearance(pos.zone, p, q);
            for (double limit : {0.0, 0.5, 1.0, 1.5}) {
                ASSERT_EQ(clearance_within(pos.zone, p, q, limit), full <= limit)
                    << "round " << round << " piece " << k << " limit " << limit << " clearance " << full;
            }
            if (std::fabs(full - 1.0) < 0.05) ++near_threshold;
        }
        EXPECT_GT(near_threshold, 10);
    }
}

}  // namespace
}  // namespace cellvane
