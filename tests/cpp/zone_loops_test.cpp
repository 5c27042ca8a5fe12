// The alive zone's boundary as closed loops: over played positions, every
// loop closes exactly, every exposed piece is in one loop, and the even-odd
// rule over the loops holds exactly the points of negative depth.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <random>
#include <variant>
#include <vector>

#include "engine/engine.hpp"
#include "engine_fixtures.hpp"

namespace cellvane {
namespace {

using testing::place;
using testing::same_point;

// How many times the ray from p towards growing x crosses the piece. Points
// on the ray's line through a piece's end are not drawn by the test below.
int crossings(const LoopPiece& piece, Point p) {
    if (!piece.circle) {
        const Point a = piece.from;
        const Point b = piece.to;
        if ((a.y > p.y) == (b.y > p.y)) return 0;
        const double x = a.x + (p.y - a.y) / (b.y - a.y) * (b.x - a.x);
        return x > p.x ? 1 : 0;
    }
    const Circle& c = *piece.circle;
    const double dy = p.y - c.centre.y;
    if (std::fabs(dy) >= c.radius) return 0;
    const double half = std::sqrt(c.radius * c.radius - dy * dy);
    const double start = angle_about(c.centre, piece.from);
    int n = 0;
    for (const double dx : {half, -half}) {
        if (c.centre.x + dx <= p.x) continue;
        const double along = normalise_angle(std::atan2(dy, dx) - start);
        if (along < piece.sweep) ++n;
    }
    return n;
}

bool inside_loops(const std::vector<BoundaryLoop>& loops, Point p) {
    int n = 0;
    for (const BoundaryLoop& loop : loops) {
        for (const LoopPiece& piece : loop) n += crossings(piece, p);
    }
    return n % 2 == 1;
}

std::size_t exposed_count(const AliveZone& zone) {
    std::size_t n = 0;
    for (const auto& entry : zone.graph().shapes()) n += zone.graph().exposed_pieces(entry.first).size();
    return n;
}

// Answers how many joins were not exact; counts the sampled points inside the
// zone in `inside`.
std::size_t expect_loops_bound_the_zone(const AliveZone& zone, std::mt19937_64& rng, std::size_t pieces,
                                        int& inside) {
    const std::vector<BoundaryLoop> loops = boundary_loops(zone);
    std::size_t inexact = 0;
    const double s = zone.graph().board_size();
    std::size_t chained = 0;
    for (const BoundaryLoop& loop : loops) {
        EXPECT_FALSE(loop.empty());
        for (std::size_t i = 0; i < loop.size(); ++i) {
            // Exactly, but where rounding split a crossing of nearly
            // touching outlines in two.
            const Point next = loop[(i + 1) % loop.size()].from;
            if (!same_point(loop[i].to, next)) ++inexact;
            EXPECT_LE(distance(loop[i].to, next), 1e-12 * s) << "piece " << i;
        }
        chained += loop.size();
    }
    EXPECT_EQ(chained, pieces);
    std::uniform_real_distribution<double> coordinate(0.0, s);
    for (int k = 0; k < 4000; ++k) {
        const Point p{coordinate(rng), coordinate(rng)};
        const double depth = zone.depth_at(p);
        if (std::fabs(depth) < 1e-9) continue;
        EXPECT_EQ(inside_loops(loops, p), depth < 0.0) << p.x << ", " << p.y << " at depth " << depth;
        inside += depth < 0.0 ? 1 : 0;
    }
    return inexact;
}

TEST(ZoneLoops, LoopsCloseAndFillExactlyTheZone) {
    for (const double size : {18.0, 18.3, 7.7, 12.0, 25.5}) {
        std::mt19937_64 rng(static_cast<std::uint64_t>(size * 10));
        Board board(size);
        std::uniform_real_distribution<double> coordinate(0.0, size);
        int captures = 0;
        std::size_t inexact = 0;
        std::size_t joins = 0;
        int inside = 0;
        for (int turn = 0; turn < 140; ++turn) {
            SCOPED_TRACE(::testing::Message() << "size " << size << ", turn " << turn);
            if (turn % 10 == 0) {
                const std::size_t pieces = exposed_count(board.alive_zone());
                inexact += expect_loops_bound_the_zone(board.alive_zone(), rng, pieces, inside);
                joins += pieces;
            }
            const std::optional<Point> spot = board.nearest_living_move({coordinate(rng), coordinate(rng)});
            if (!spot) break;
            const auto played = board.try_move(*spot);
            if (const auto* delta = std::get_if<GameDelta>(&played)) {
                captures += static_cast<int>(delta->captured_stone_ids.size());
            } else {
                board.pass_turn();
            }
        }
        EXPECT_GT(captures, 0) << "size " << size;
        EXPECT_GT(inside, 1000) << "size " << size;
        EXPECT_LT(inexact * 10, joins) << "size " << size;
    }
}

TEST(ZoneLoops, APileOnOneCentreBoundsTheZoneOnce) {
    Board board(18.0);
    // Three stones on one centre and two on another near the edge: a replayed
    // log may pile stones that play never would.
    ASSERT_FALSE(board.commit(place(0, 9.0, 9.0, Color::Black), false));
    ASSERT_FALSE(board.commit(place(1, 9.0, 9.0, Color::White), false));
    ASSERT_FALSE(board.commit(place(2, 9.0, 9.0, Color::Black), false));
    ASSERT_FALSE(board.commit(place(3, 2.0, 5.0, Color::White), false));
    ASSERT_FALSE(board.commit(place(4, 2.0, 5.0, Color::Black), false));
    std::mt19937_64 rng(3);
    // Each copy of a circle is exposed in full: the loops leave out the two
    // further copies of the whole circle and the second copy of the arc.
    const std::size_t pieces = exposed_count(board.alive_zone());
    int inside = 0;
    EXPECT_EQ(expect_loops_bound_the_zone(board.alive_zone(), rng, pieces - 3, inside), 0u);
    EXPECT_GT(inside, 1000);
}

}  // namespace
}  // namespace cellvane
