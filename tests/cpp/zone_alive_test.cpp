#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"
#include "zone_support.hpp"
#include "test_access.hpp"

namespace cellvane {
namespace {

using zone_testing::boundary_picture;
using zone_testing::broken_invariant;
using zone_testing::picture;
using zone_testing::same_bits;
using zone_testing::SegmentPicture;
using zone_testing::shape_picture;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

// Every occupied slot of the graph, every field.
std::vector<SegmentPicture> all_segments(const ClipGraph& g) {
    std::vector<SegmentPicture> out;
    for (SegId i = 0; i < g.arena_size(); ++i) {
        if (const Segment* s = g.slot(i)) out.push_back(picture(i, *s));
    }
    return out;
}

// Sweep of the arc from a segment's start to the next one's, counter-clockwise.
double sweep(const ClipGraph& g, SegId id) {
    const auto arc = std::get<ArcSeg>(*g.segment_geometry(id));
    return normalise_angle(arc.end - arc.start);
}

TEST(ZoneAlive, StoneInTheMiddleCrossesNothing) {
    AliveZone z(19.0);
    const auto square = all_segments(z.graph());
    EXPECT_EQ(z.carve(0, {9.5, 9.5}), std::nullopt);
    EXPECT_EQ(z.dead_zone(0), std::optional<ShapeId>{4});
    EXPECT_EQ(z.graph().shape(4)->count, 0u);
    EXPECT_EQ(all_segments(z.graph()), square);
    EXPECT_EQ(broken_invariant(z), std::nullopt);
}

TEST(ZoneAlive, StoneNearTheCornerCutsBothLines) {
    AliveZone z(19.0);
    ASSERT_EQ(z.carve(7, {2.0, 2.0}), std::nullopt);
    const ClipGraph& g = z.graph();
    const ShapeId c = *z.dead_zone(7);
    EXPECT_EQ(g.shape(0)->count, 6u);
    EXPECT_EQ(g.shape(3)->count, 6u);
    EXPECT_EQ(g.shape(1)->count, 4u);
    EXPECT_EQ(g.shape(2)->count, 4u);
    EXPECT_EQ(g.shape(c)->count, 4u);
    // The pieces of both lines at the corner (1, 1) lie inside the circle.
    for (const SegId id : g.index().at(point_key({1.0, 1.0}))) {
        EXPECT_EQ(g.covering(id), std::vector<ShapeId>{c}) << id;
    }
    const auto left = g.exposed_pieces(0);
    ASSERT_EQ(left.size(), 1u);
    const auto& line = std::get<LineSeg>(left[0]);
    EXPECT_NEAR(line.from.y, 2.0 + std::sqrt(3.0), 1e-15);
    EXPECT_EQ(line.to.y, 18.0);
    // One arc of the circle is exposed: from 330 degrees round to 120.
    const auto arcs = g.exposed_pieces(c);
    ASSERT_EQ(arcs.size(), 1u);
    const auto& arc = std::get<ArcSeg>(arcs[0]);
    EXPECT_NEAR(arc.start, 11 * PI / 6, 1e-14);
    EXPECT_NEAR(arc.end, 2 * PI / 3, 1e-14);
    // The arc by the corner is inside both lines' dead strips.
    std::size_t doubly = 0;
    for (const SegId id : g.segments_of(c)) doubly += g.covering(id).size() == 2;
    EXPECT_EQ(doubly, 1u);
    EXPECT_EQ(broken_invariant(z), std::nullopt);
}

TEST(ZoneAlive, StonesTwoApartCoverAThirdOfEachOther) {
    AliveZone z(19.0);
    z.carve(0, {8.0, 9.0});
    z.carve(1, {10.0, 9.0});
    const ClipGraph& g = z.graph();
    for (const auto& [own, other] : {std::pair<ShapeId, ShapeId>{4, 5}, {5, 4}}) {
        ASSERT_EQ(g.shape(own)->count, 2u);
        double covered = 0.0;
        double exposed = 0.0;
        for (const SegId id : g.segments_of(own)) {
            const std::vector<ShapeId> cover = g.covering(id);
            (cover.empty() ? exposed : covered) += sweep(g, id);
            if (!cover.empty()) {
                EXPECT_EQ(cover, std::vector<ShapeId>{other});
            }
        }
        EXPECT_NEAR(covered, TWO_PI / 3, 1e-12);
        EXPECT_NEAR(exposed, 2 * TWO_PI / 3, 1e-12);
    }
    // The crossing points are shared: one index key holds one segment of each.
    const auto crossing = intersect(Circle{{8.0, 9.0}, 2.0}, {10.0, 9.0}, {});
    EXPECT_EQ(g.index().at(point_key(crossing->first)).size(), 2u);
    EXPECT_EQ(broken_invariant(z), std::nullopt);
}

TEST(ZoneAlive, TangentStonesDoNotSplitEachOther) {
    AliveZone z(19.0);
    z.carve(0, {7.0, 9.0});
    z.carve(1, {11.0, 9.0});
    z.carve(2, {9.0, 9.0 + 3.9999999});
    EXPECT_EQ(z.graph().shape(4)->count, 0u);
    EXPECT_EQ(z.graph().shape(5)->count, 0u);
    EXPECT_EQ(z.graph().shape(6)->count, 0u);
    EXPECT_EQ(z.graph().live_count(), 16u);
}

TEST(ZoneAlive, CarvingTwiceFailsAndChangesNothing) {
    AliveZone z(19.0);
    ASSERT_EQ(z.carve(5, {3.0, 4.0}), std::nullopt);
    const auto after_first = all_segments(z.graph());
    const auto failure = z.carve(5, {9.0, 9.0});
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->fault, DeadZoneFault::AlreadyCarved);
    EXPECT_EQ(failure->stone, 5u);
    EXPECT_EQ(failure->message(), "stone 5's dead zone has already been carved out of the alive zone");
    EXPECT_EQ(all_segments(z.graph()), after_first);
    EXPECT_EQ(z.graph().next_shape_id(), 5u);
    EXPECT_EQ(z.graph().shapes().size(), 5u);

    const auto missing = z.reclaim(4294967295u);
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->fault, DeadZoneFault::NotCarved);
    EXPECT_EQ(missing->message(), "stone 4294967295 has no dead zone carved out of the alive zone");
    EXPECT_EQ(z.reclaim(5), std::nullopt);
    EXPECT_TRUE(z.reclaim(5));
}

// A board used for billions of trial moves makes billions of circles: the
// shape counter runs past 32 bits without coming back round onto the edges.
TEST(ZoneAlive, ShapeIdsRunPastThirtyTwoBitsWithoutWrapping) {
    AliveZone z(19.0);
    TestAccess::internals(TestAccess::graph(z)).next_shape_id = 0xFFFFFFFFu;
    ASSERT_EQ(z.carve(0, {2.0, 2.0}), std::nullopt);
    ASSERT_EQ(z.carve(1, {4.5, 2.0}), std::nullopt);
    EXPECT_EQ(z.dead_zone(0), ShapeId{0xFFFFFFFFu});
    EXPECT_EQ(z.dead_zone(1), ShapeId{0x100000000u});
    ASSERT_NE(z.graph().shape(0), nullptr);
    EXPECT_TRUE(z.graph().shape(0)->is_edge);
    EXPECT_EQ(z.graph().shapes().size(), 6u);
    EXPECT_EQ(broken_invariant(z), std::nullopt);
    ASSERT_EQ(z.reclaim(0), std::nullopt);
    ASSERT_EQ(z.reclaim(1), std::nullopt);
    EXPECT_EQ(boundary_picture(z.graph()), boundary_picture(AliveZone(19.0).graph()));
}

TEST(ZoneAlive, ReclaimLeavesOtherShapesExactlyAsTheyWere) {
    AliveZone z(19.0);
    z.carve(0, {2.5, 3.0});
    z.carve(1, {4.0, 4.5});
    z.carve(2, {12.0, 17.5});
    const auto before = all_segments(z.graph());
    const auto arena_before = z.graph().arena_size();
    // Crosses stones 0 and 1 and the left line.
    z.carve(3, {2.0, 6.0});
    ASSERT_GT(z.graph().shape(7)->count, 4u);
    const auto arena_grown = z.graph().arena_size();
    EXPECT_GT(arena_grown, arena_before);
    ASSERT_EQ(z.reclaim(3), std::nullopt);
    EXPECT_EQ(all_segments(z.graph()), before);
    EXPECT_EQ(z.graph().arena_size(), arena_grown);
    EXPECT_EQ(z.graph().free_list().size(), arena_grown - before.size());
    EXPECT_EQ(z.graph().shape(7), nullptr);
    EXPECT_EQ(z.graph().next_shape_id(), 8u);
    // Carving it again takes a new shape id and the freed slots, most recent first.
    const SegId reused = z.graph().free_list().back();
    z.carve(3, {2.0, 6.0});
    EXPECT_EQ(z.dead_zone(3), std::optional<ShapeId>{8});
    EXPECT_EQ(z.graph().slot(reused)->shape, 0u);  // the first point added goes to the left line
    EXPECT_EQ(broken_invariant(z), std::nullopt);
}

// The causes of the segment of `shape` starting at p, in stored order.
std::vector<ShapeId> causes_at(const ClipGraph& g, ShapeId shape, Point p) {
    for (const SegId id : g.index().at(point_key(p))) {
        const Segment* seg = g.slot(id);
        if (seg->shape == shape) return {seg->causes.begin(), seg->causes.end()};
    }
    ADD_FAILURE() << "shape " << shape << " has no point at " << p.x << "," << p.y;
    return {};
}

TEST(ZoneAlive, APointStaysExactlyWhileAShapeThatCrossedThereStays) {
    // The stone at (3, 5) touches the left line at (1, 5) without crossing
    // it; a stone at (1, 3) crosses the line there. Reclaiming (1, 3) must
    // merge the line back although two other outlines still meet at (1, 5).
    AliveZone z(18.0);
    z.carve(0, {3.0, 5.0});
    z.carve(1, {1.0, 1.0});
    const auto before = all_segments(z.graph());
    z.carve(2, {1.0, 3.0});
    const ShapeId c = *z.dead_zone(2);
    EXPECT_EQ(causes_at(z.graph(), 0, {1.0, 5.0}), std::vector<ShapeId>{c});
    EXPECT_EQ(causes_at(z.graph(), 0, {1.0, 1.0}), std::vector<ShapeId>{c});  // the corner, an edge's own point
    EXPECT_EQ(causes_at(z.graph(), c, {1.0, 5.0}).front(), 0u);
    EXPECT_EQ(broken_invariant(z), std::nullopt);
    ASSERT_EQ(z.reclaim(2), std::nullopt);
    EXPECT_EQ(all_segments(z.graph()), before);
    EXPECT_EQ(broken_invariant(z), std::nullopt);

    // Three outlines through one point: circles at (1, 3) and (1, 7) both
    // cross the left line at (1, 5) and touch each other there. The line's
    // point has two causes and stays until both circles are gone.
    AliveZone t(18.0);
    const auto empty = all_segments(t.graph());
    t.carve(0, {1.0, 7.0});
    const auto lone = all_segments(t.graph());
    t.carve(1, {1.0, 3.0});
    const ShapeId low = *t.dead_zone(1);
    const ShapeId high = *t.dead_zone(0);
    EXPECT_EQ(causes_at(t.graph(), 0, {1.0, 5.0}), (std::vector<ShapeId>{high, low}));
    EXPECT_EQ(causes_at(t.graph(), low, {1.0, 5.0}), std::vector<ShapeId>{0});
    EXPECT_EQ(t.graph().index().at(point_key({1.0, 5.0})).size(), 3u);
    EXPECT_EQ(broken_invariant(t), std::nullopt);
    ASSERT_EQ(t.reclaim(1), std::nullopt);
    EXPECT_EQ(causes_at(t.graph(), 0, {1.0, 5.0}), std::vector<ShapeId>{high});
    EXPECT_EQ(all_segments(t.graph()), lone);
    ASSERT_EQ(t.reclaim(0), std::nullopt);
    EXPECT_EQ(all_segments(t.graph()), empty);

    // Reclaimed the other way round, the same structure remains.
    t.carve(2, {1.0, 7.0});
    t.carve(3, {1.0, 3.0});
    ASSERT_EQ(t.reclaim(2), std::nullopt);
    AliveZone only_low(18.0);
    only_low.carve(0, {1.0, 3.0});
    EXPECT_EQ(zone_testing::boundary_set(t.graph()), zone_testing::boundary_set(only_low.graph()));
    EXPECT_EQ(broken_invariant(t), std::nullopt);
}

TEST(ZoneAlive, ForcedEyesAreTakenByExactHitOrWithinTwo) {
    AliveZone z(19.0);
    z.add_forced_eye({5.0, 5.0});
    z.add_forced_eye({6.0, 5.0});
    z.add_forced_eye({9.0, 5.0});
    // An exact hit takes only that eye, although another lies within 2.0.
    auto taken = z.take_forced_eyes({5.0, 5.0});
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_TRUE(same_bits(taken[0], {5.0, 5.0}));
    EXPECT_EQ(z.forced_eyes().size(), 2u);
    // Exactly 2.0 away counts; just over does not.
    EXPECT_TRUE(z.take_forced_eyes({9.0, 7.0000000001}).empty());
    taken = z.take_forced_eyes({8.0, 5.0});
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_TRUE(same_bits(taken[0], {6.0, 5.0}));
    EXPECT_TRUE(same_bits(taken[1], {9.0, 5.0}));
    EXPECT_TRUE(z.forced_eyes().empty());
    EXPECT_TRUE(z.take_forced_eyes({8.0, 5.0}).empty());
    EXPECT_TRUE(z.take_forced_eyes({NaN, 5.0}).empty());

    // Negative zero is the same eye; filing again replaces the stored point.
    z.add_forced_eye({0.0, 3.0});
    z.add_forced_eye({-0.0, 3.0});
    EXPECT_EQ(z.forced_eyes().size(), 1u);
    EXPECT_EQ(std::signbit(z.forced_eyes().begin()->second.x), true);
    EXPECT_TRUE(z.remove_forced_eye({0.0, 3.0}));
    EXPECT_FALSE(z.remove_forced_eye({0.0, 3.0}));
}

TEST(ZoneAlive, TemporaryCirclesStackAndCountAsDeadZones) {
    AliveZone z(19.0);
    z.carve(0, {5.0, 5.0});
    const auto before = all_segments(z.graph());
    z.pop_temporary_circle();  // empty: nothing happens
    z.push_temporary_circle({6.0, 6.0});
    z.push_temporary_circle({9.0, 9.0});
    EXPECT_EQ(z.temporary_circles(), (std::vector<ShapeId>{5, 6}));
    EXPECT_FALSE(z.is_placeable({9.0, 10.0}));
    EXPECT_EQ(broken_invariant(z), std::nullopt);
    z.pop_temporary_circle();
    EXPECT_TRUE(z.is_placeable({9.0, 10.0}));
    z.pop_temporary_circle();
    z.pop_temporary_circle();
    EXPECT_TRUE(z.temporary_circles().empty());
    EXPECT_EQ(all_segments(z.graph()), before);
    EXPECT_TRUE(z.has_dead_zone(0));
}

TEST(ZoneAlive, CopiesAreDeep) {
    AliveZone z(19.0);
    z.carve(0, {2.0, 2.0});
    z.add_forced_eye({9.0, 9.0});
    const AliveZone copy = z;
    const auto boundary = boundary_picture(copy.graph());
    z.reclaim(0);
    z.carve(1, {3.0, 3.0});
    z.take_forced_eyes({9.0, 9.0});
    EXPECT_EQ(boundary_picture(copy.graph()), boundary);
    EXPECT_TRUE(copy.has_dead_zone(0));
    EXPECT_EQ(copy.forced_eyes().size(), 1u);
    EXPECT_EQ(broken_invariant(copy), std::nullopt);
}

// ------------------------------------------------------------- placeability

TEST(ZonePlace, DepthOnAnEmptyBoard) {
    const AliveZone z(19.0);
    EXPECT_EQ(z.depth_at({1.0, 1.0}), 0.0);
    EXPECT_TRUE(z.is_placeable({1.0, 1.0}));
    EXPECT_EQ(z.depth_at({0.5, 9.0}), 0.5);
    EXPECT_FALSE(z.is_placeable({0.5, 9.0}));
    EXPECT_TRUE(z.is_placeable({1.0 - 5e-8, 9.0}));
    EXPECT_FALSE(z.is_placeable({1.0 - 2e-7, 9.0}));
    EXPECT_EQ(z.depth_at({-0.0, 9.0}), 1.0);
    EXPECT_EQ(z.depth_at({19.5, 9.0}), INF);
    EXPECT_EQ(z.depth_at({19.0, 19.0}), 1.0);
    EXPECT_EQ(z.depth_at({NaN, 9.0}), INF);
    EXPECT_EQ(z.depth_at({9.0, -INF}), INF);
    EXPECT_EQ(z.depth_at({9.0, 9.0}), -8.0);
}

TEST(ZonePlace, DepthCountsStonesWholeAndForcedEyesAlways) {
    AliveZone z(19.0);
    z.carve(0, {9.0, 9.0});
    z.carve(1, {12.0, 9.0});
    EXPECT_EQ(z.depth_at({10.5, 9.0}), 0.5);
    EXPECT_EQ(z.depth_at({9.0, 11.0}), 0.0);
    EXPECT_TRUE(z.is_placeable({9.0, 11.0 - 5e-8}));
    z.add_forced_eye({10.5, 9.0});
    EXPECT_EQ(z.depth_at({10.5, 9.0}), -INF);
    EXPECT_TRUE(z.is_placeable({10.5, 9.0}));
    EXPECT_FALSE(z.is_placeable({10.5, 9.0000001}));
}

TEST(ZonePlace, NearestLivingMoveOnAnEmptyBoard) {
    const AliveZone z(19.0);
    auto nearest = [&z](Point p) { return *z.nearest_living_move(p); };
    EXPECT_TRUE(same_bits(nearest({9.0, 9.0}), {9.0, 9.0}));
    EXPECT_TRUE(same_bits(nearest({0.0, 9.0}), {1.0, 9.0}));
    EXPECT_TRUE(same_bits(nearest({-5.0, 30.0}), {1.0, 18.0}));
    EXPECT_TRUE(same_bits(nearest({0.0, 0.0}), {1.0, 1.0}));
    // So far away that every squared distance overflows: still a boundary
    // point, not "no move at all".
    const auto far = z.nearest_living_move({1e300, 9.0});
    ASSERT_TRUE(far);
    EXPECT_EQ(z.depth_at(*far), 0.0);
    EXPECT_TRUE(z.nearest_living_move({-1e200, -1e300}));
    EXPECT_FALSE(z.nearest_living_move({NaN, 9.0}));
    EXPECT_FALSE(z.nearest_living_move({9.0, INF}));
    EXPECT_FALSE(z.nearest_living_move({-INF, 9.0}));
}

TEST(ZonePlace, NearestLivingMoveLeavesADeadZone) {
    AliveZone z(19.0);
    z.carve(0, {9.0, 9.0});
    EXPECT_TRUE(same_bits(*z.nearest_living_move({9.5, 9.0}), {11.0, 9.0}));
    EXPECT_TRUE(same_bits(*z.nearest_living_move({9.0, 9.0}), {11.0, 9.0}));
    // Placeable through the tolerance, yet not on the boundary: moved to it.
    const Point shallow{9.0, 11.0 - 5e-8};
    ASSERT_TRUE(z.is_placeable(shallow));
    const Point moved = *z.nearest_living_move(shallow);
    EXPECT_EQ(moved.x, 9.0);
    EXPECT_NEAR(moved.y, 11.0, 1e-15);
    // A forced eye as far as the boundary loses; a strictly nearer one wins.
    z.add_forced_eye({8.0, 9.0});
    EXPECT_TRUE(same_bits(*z.nearest_living_move({9.5, 9.0}), {11.0, 9.0}));
    z.add_forced_eye({8.0000001, 9.0});
    EXPECT_TRUE(same_bits(*z.nearest_living_move({9.5, 9.0}), {8.0000001, 9.0}));
}

TEST(ZonePlace, NearestLivingMoveTiesGoToTheSmallerBoundaryPoint) {
    // A stone on the top line cuts it at (7, 1) and (3, 1), both sqrt(5) from
    // (5, 0). The line lists the piece ending at (7, 1) first; the smaller
    // point answers.
    AliveZone z(19.0);
    z.carve(0, {5.0, 1.0});
    EXPECT_TRUE(same_bits(*z.nearest_living_move({5.0, 0.0}), {3.0, 1.0}));
    // A forced eye as far away still loses, even the smaller point.
    z.add_forced_eye({3.0, -1.0});
    EXPECT_TRUE(same_bits(*z.nearest_living_move({5.0, 0.0}), {3.0, 1.0}));
}

TEST(ZonePlace, NearestLivingMoveFollowsTheExposedArcs) {
    AliveZone z(19.0);
    z.carve(0, {8.0, 9.0});
    z.carve(1, {10.0, 9.0});
    // Straight between the two centres: the nearest boundary is a crossing point.
    const Point q = *z.nearest_living_move({9.0, 9.0});
    EXPECT_NEAR(q.x, 9.0, 1e-14);
    EXPECT_NEAR(q.y, 9.0 - std::sqrt(3.0), 1e-14);
    EXPECT_NEAR(z.depth_at(q), 0.0, 1e-14);
    // Never a point inside the other stone's dead zone.
    const Point r = *z.nearest_living_move({8.5, 9.0});
    EXPECT_LE(z.depth_at(r), 1e-14);
    EXPECT_NEAR(distance(r, {8.0, 9.0}), 2.0, 1e-14);
}

TEST(ZonePlace, FullBoardHasNoLivingMoveButItsForcedEyes) {
    AliveZone z(4.0);
    z.carve(0, {2.0, 2.0});  // covers the whole square [1, 3] x [1, 3]
    for (const auto& [id, shape] : z.graph().shapes()) EXPECT_TRUE(z.graph().exposed_pieces(id).empty()) << id;
    EXPECT_FALSE(z.nearest_living_move({2.0, 2.0}));
    EXPECT_FALSE(z.nearest_living_move({-7.0, 2.0}));
    z.add_forced_eye({1.5, 1.5});
    EXPECT_TRUE(same_bits(*z.nearest_living_move({3.0, 3.0}), {1.5, 1.5}));
    EXPECT_EQ(broken_invariant(z), std::nullopt);
}

}  // namespace
}  // namespace cellvane
