#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <vector>

#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"
#include "zone_support.hpp"
#include "test_access.hpp"

namespace cellvane {
namespace {

using zone_testing::bits;
using zone_testing::broken_invariant;
using zone_testing::same_bits;
using zone_testing::shape_picture;

bool is_line(const ExposedPiece& piece, Point from, Point to) {
    const auto* line = std::get_if<LineSeg>(&piece);
    return line != nullptr && same_bits(line->from, from) && same_bits(line->to, to);
}

TEST(ZoneGraph, NewGraphHoldsTheFourLinesAndTheEmptySquare) {
    const ClipGraph g(19.0);
    EXPECT_EQ(g.shapes().size(), 4u);
    EXPECT_EQ(g.arena_size(), 16u);
    EXPECT_EQ(g.live_count(), 16u);
    EXPECT_TRUE(g.free_list().empty());
    EXPECT_EQ(g.next_shape_id(), 4u);
    EXPECT_EQ(broken_invariant(g), std::nullopt);

    const EdgeSide sides[] = {EdgeSide::Left, EdgeSide::Bottom, EdgeSide::Right, EdgeSide::Top};
    for (ShapeId e = 0; e < 4; ++e) {
        const Shape* shape = g.shape(e);
        ASSERT_NE(shape, nullptr);
        EXPECT_TRUE(shape->is_edge);
        EXPECT_EQ(std::get<Edge>(shape->kind).side, sides[e]);
        const SegId first = static_cast<SegId>(4 * e);
        const std::vector<SegId> expected{first, first + 1, first + 2, first + 3};
        EXPECT_EQ(g.segments_of(e), expected);
        const double offsets[] = {-38.0, 1.0, 18.0, 38.0};
        const bool off_board[] = {true, false, true, true};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(bits(g.slot(expected[i])->offset), bits(offsets[i])) << e << " " << i;
            EXPECT_EQ(g.slot(expected[i])->off_board, off_board[i]);
            EXPECT_TRUE(g.covering(expected[i]).empty());
        }
    }

    const Point corners[] = {{1, 1}, {1, 18}, {18, 18}, {18, 1}};
    for (ShapeId e = 0; e < 4; ++e) {
        const auto pieces = g.exposed_pieces(e);
        ASSERT_EQ(pieces.size(), 1u);
        EXPECT_TRUE(is_line(pieces[0], corners[e], corners[(e + 1) % 4])) << e;
    }
    EXPECT_EQ(g.index().size(), 12u);
    for (const Point c : corners) EXPECT_EQ(g.index().at(point_key(c)).size(), 2u);
    for (const auto& [key, ids] : g.index()) EXPECT_LE(ids.size(), 2u);
}

TEST(ZoneGraph, AddPointSplitsOnceAndAnswersExistingStarts) {
    ClipGraph g(19.0);
    const auto first = g.add_point(0, {1.0, 5.0});
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, 16u);
    const Segment* made = g.slot(16);
    EXPECT_EQ(made->prev, 1u);
    EXPECT_EQ(made->next, 2u);
    EXPECT_FALSE(made->off_board);  // inherited from the piece it split
    EXPECT_EQ(g.shape(0)->count, 5u);

    const auto index_before = g.index();
    const auto again = g.add_point(0, {1.0, 5.0});
    EXPECT_EQ(again, first);
    EXPECT_EQ(g.shape(0)->count, 5u);
    EXPECT_EQ(g.arena_size(), 17u);
    EXPECT_EQ(g.index(), index_before);
    // Negative zero shares the key of positive zero.
    const auto zero = g.add_point(1, {0.0, 18.0});
    EXPECT_EQ(g.add_point(1, {-0.0, 18.0}), zero);
    EXPECT_EQ(g.index().at(point_key({0.0, 18.0})).size(), 1u);

    EXPECT_FALSE(g.add_point(99, {1.0, 1.0}));
    // A point before the first offset of a line becomes its new head.
    const auto before = g.add_point(0, {1.0, -100.0});
    EXPECT_EQ(g.shape(0)->head, before);
    EXPECT_EQ(g.slot(*before)->next, 0u);
    EXPECT_EQ(broken_invariant(g), std::nullopt);
}

TEST(ZoneGraph, CircleWithOneSegmentStillCountsWhole) {
    ClipGraph g(19.0);
    const ShapeId c = g.add_shape(Circle{{9.0, 9.0}, 2.0});
    EXPECT_EQ(c, 4u);
    EXPECT_TRUE(g.segments_of(c).empty());
    ASSERT_EQ(g.exposed_pieces(c).size(), 1u);
    const auto one = g.add_point(c, {11.0, 9.0});
    ASSERT_TRUE(one);
    EXPECT_EQ(g.slot(*one)->next, *one);
    EXPECT_EQ(g.slot(*one)->prev, *one);
    TestAccess::internals(g).shapes[c].head_cover = 1;
    // Whole whatever its single segment's coverage says.
    const auto whole = g.exposed_pieces(c);
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_TRUE(std::holds_alternative<WholeCircle>(whole[0]));

    // The piece split off lies where its parent lay: covered too.
    const auto two = g.add_point(c, {9.0, 11.0});
    EXPECT_EQ(g.segments_of(c), (std::vector<SegId>{*one, *two}));
    EXPECT_TRUE(g.exposed_pieces(c).empty());
    // The quarter from 0 to 90 degrees uncovered, the rest inside shape 0's
    // dead region (marks as a crossing would leave them).
    TestAccess::internals(g).shapes[c].head_cover = 0;
    g.cover_part(c, *two, *one, 0);
    EXPECT_EQ(g.covering(*two), std::vector<ShapeId>{0});
    EXPECT_TRUE(g.covering(*one).empty());
    const auto arcs = g.exposed_pieces(c);
    ASSERT_EQ(arcs.size(), 1u);  // the second arc is still covered
    const auto& arc = std::get<ArcSeg>(arcs[0]);
    EXPECT_EQ(arc.start, 0.0);
    EXPECT_EQ(arc.end, PI / 2);
    EXPECT_EQ(broken_invariant(g), std::nullopt);
}

TEST(ZoneGraph, CausesAreASetInInsertionOrderAndNeverInherited) {
    Causes c;
    // Past the inline ones; a second entry for one id adds its role.
    for (const ShapeId id : {7, 3, 7, 9, 4, 3}) c.add(id, id == 3 ? Causes::CLOSES : Causes::OPENS);
    c.add(9, Causes::CLOSES);
    EXPECT_EQ(std::vector<ShapeId>(c.begin(), c.end()), (std::vector<ShapeId>{7, 3, 9, 4}));
    EXPECT_EQ(c.roles_of(9), Causes::OPENS | Causes::CLOSES);
    EXPECT_EQ(c.roles_of(5), 0);
    EXPECT_EQ(c.cover_step(), 1);  // 7 and 4 open, 3 closes, 9 opens and closes
    EXPECT_TRUE(c.contains(4));
    EXPECT_EQ(c.remove(3), Causes::CLOSES);
    EXPECT_FALSE(c.remove(3));
    const Causes copy = c;
    EXPECT_TRUE(c.remove(7));  // back to the inline ones
    EXPECT_EQ(std::vector<ShapeId>(c.begin(), c.end()), (std::vector<ShapeId>{9, 4}));
    EXPECT_EQ(std::vector<ShapeId>(copy.begin(), copy.end()), (std::vector<ShapeId>{7, 9, 4}));
    EXPECT_TRUE(c.remove(4));
    EXPECT_TRUE(c.remove(9));
    EXPECT_TRUE(c.empty());
    EXPECT_FALSE(c.contains(9));

    // An edge's own four points are permanent; a split inherits coverage but
    // neither causes nor permanence: its point has causes of its own.
    ClipGraph g(19.0);
    for (const SegId id : g.segments_of(0)) EXPECT_TRUE(g.slot(id)->permanent);
    auto in = TestAccess::internals(g);
    in.arena[1]->causes.add(2, Causes::OPENS);
    const SegId made = *g.add_point(0, {1.0, 5.0});
    EXPECT_EQ(g.covering(made), std::vector<ShapeId>{2});
    EXPECT_TRUE(g.slot(made)->causes.empty());
    EXPECT_FALSE(g.slot(made)->permanent);
}

// Points of one outline at equal offsets but with different keys (one point
// computed two ways) are listed in ascending key order, whatever order they
// came in.
TEST(ZoneGraph, EqualOffsetsAreOrderedByKey) {
    const double above = std::nextafter(1.0, 2.0);
    const double below = std::nextafter(1.0, 0.0);
    // On the left line the offset is y: all three points have offset 5.
    const Point line[] = {{1.0, 5.0}, {above, 5.0}, {below, 5.0}};
    // On a circle about (9, 9) all three lie at angle 0.
    const Point arc[] = {{11.0, 9.0}, {std::nextafter(11.0, 12.0), 9.0}, {std::nextafter(11.0, 10.0), 9.0}};
    auto starts = [](const ClipGraph& g, ShapeId shape) {
        std::vector<PointKey> out;
        for (const SegId id : g.segments_of(shape)) out.push_back(point_key(g.slot(id)->start));
        return out;
    };
    const int orders[][3] = {{0, 1, 2}, {2, 1, 0}, {1, 0, 2}, {2, 0, 1}};
    std::vector<PointKey> first_line;
    std::vector<PointKey> first_arc;
    for (const auto& order : orders) {
        ClipGraph g(19.0);
        const ShapeId c = g.add_shape(Circle{{9.0, 9.0}, 2.0});
        g.add_point(c, {9.0, 11.0});
        g.add_point(c, {7.0, 9.0});
        for (const int i : order) {
            g.add_point(0, line[i]);
            g.add_point(c, arc[i]);
        }
        EXPECT_EQ(broken_invariant(g), std::nullopt);
        const auto on_line = starts(g, 0);
        const auto on_arc = starts(g, c);
        // Ascending keys among the run of equal offsets.
        EXPECT_TRUE(std::is_sorted(on_line.begin() + 2, on_line.begin() + 5));
        if (first_line.empty()) {
            first_line = on_line;
            first_arc = on_arc;
        }
        EXPECT_EQ(on_line, first_line);
        EXPECT_EQ(on_arc, first_arc);
    }
}

TEST(ZoneGraph, RemovingSegmentsRelinksAndReusesSlotsLastInFirstOut) {
    ClipGraph g(19.0);
    const ShapeId c = g.add_shape(Circle{{9.0, 9.0}, 2.0});
    const SegId only = *g.add_point(c, {11.0, 9.0});
    g.remove_segment(only);
    EXPECT_FALSE(g.shape(c)->head);
    EXPECT_EQ(g.shape(c)->count, 0u);
    EXPECT_EQ(g.free_list(), std::vector<SegId>{only});
    EXPECT_EQ(g.slot(only), nullptr);
    EXPECT_EQ(*g.add_point(c, {9.0, 11.0}), only);

    // Removing the head of a line passes the head on; the predecessor reaches over.
    g.remove_segment(0);
    EXPECT_EQ(g.shape(0)->head, std::optional<SegId>{1});
    EXPECT_EQ(g.slot(3)->next, 1u);
    EXPECT_EQ(g.slot(1)->prev, 3u);
    g.remove_segment(6);
    EXPECT_EQ(g.free_list(), (std::vector<SegId>{0, 6}));
    EXPECT_EQ(*g.add_point(2, {18.0, 10.0}), 6u);
    EXPECT_EQ(*g.add_point(2, {18.0, 11.0}), 0u);
    EXPECT_EQ(*g.add_point(2, {18.0, 12.0}), 17u);  // free list empty: a fresh slot
    EXPECT_EQ(broken_invariant(g), std::nullopt);

    const auto live = g.live_count();
    g.remove_segment(0);
    g.remove_segment(0);  // vacant now
    g.remove_segment(100000);
    EXPECT_EQ(g.live_count(), live - 1);
    EXPECT_FALSE(g.segment_geometry(0));
    EXPECT_FALSE(g.segment_geometry(100000));
    EXPECT_EQ(broken_invariant(g), std::nullopt);
}

TEST(ZoneGraph, EdgeGeometryIsRebuiltFromOffsets) {
    const ClipGraph g(19.0);
    const auto right = g.segment_geometry(9);
    ASSERT_TRUE(right);
    EXPECT_TRUE(same_bits(std::get<LineSeg>(*right).from, {18.0, 18.0}));
    EXPECT_TRUE(same_bits(std::get<LineSeg>(*right).to, {18.0, 1.0}));
    // The closing link of a line has geometry but is never exposed.
    EXPECT_TRUE(g.segment_geometry(3));
    int visited = 0;
    g.for_each_exposed_piece(0, [&visited](const ExposedPiece&) {
        ++visited;
        return false;
    });
    EXPECT_EQ(visited, 1);
}

TEST(ZoneGraph, DamagedListsAreWalkedWithinBounds) {
    ClipGraph g(19.0);
    auto in = TestAccess::internals(g);
    // A count far beyond the list, a link into a vacant slot, a bogus free list.
    in.shapes.at(0).count = 1000000;
    in.arena[2]->next = 12345;
    in.arena[9]->next = 9;
    in.free_list.push_back(77777);
    in.free_list.push_back(5);  // occupied
    EXPECT_LE(g.segments_of(0).size(), 3u);
    EXPECT_LE(g.exposed_pieces(0).size(), 3u);
    EXPECT_LE(g.segments_of(2).size(), 4u);
    const auto added = g.add_point(0, {1.0, 30.0});
    ASSERT_TRUE(added);
    EXPECT_EQ(*added, 16u);  // neither bogus free-list entry was trusted
    EXPECT_TRUE(g.add_point(2, {18.0, 5.0}));
    in.shapes.at(3).head = 4000;
    EXPECT_TRUE(g.segments_of(3).empty());
    EXPECT_TRUE(g.exposed_pieces(3).empty());
    EXPECT_TRUE(g.add_point(3, {5.0, 1.0}));
    for (SegId i = 0; i < 20; ++i) g.remove_segment(i);
    EXPECT_NE(broken_invariant(g), std::nullopt);
}

TEST(ZoneGraph, CopiesAreDeep) {
    ClipGraph g(19.0);
    const ClipGraph copy = g;
    const auto before = shape_picture(copy, 0);
    g.add_point(0, {1.0, 5.0});
    TestAccess::internals(g).arena[1]->causes.add(3, Causes::CLOSES);
    EXPECT_EQ(shape_picture(copy, 0), before);
    EXPECT_EQ(copy.live_count(), 16u);
}

// The shared-start index against a plain map, under random adds and removals
// of ids and points, half the points sharing two neighbouring home slots in
// every table the index grows through (so entries sit hundreds of slots from
// home) and lists long enough to move to the heap and back. Every point is looked up, the table walked and copied as it goes.
TEST(ZoneGraph, SharedStartIndexMatchesAMap) {
    std::mt19937_64 rng(41);
    constexpr std::size_t HOME_MASK = 2047;
    std::vector<PointKey> keys;
    while (keys.size() < 300) {
        const PointKey k{rng(), rng()};
        if ((TestAccess::point_hash(k) & HOME_MASK) == 100 + keys.size() % 2) keys.push_back(k);
    }
    const std::size_t crowded = keys.size();
    while (keys.size() < 600) keys.push_back(PointKey{rng(), rng()});

    PointIndex index;
    std::map<PointKey, std::vector<SegId>> model;
    std::size_t most_crowded = 0;
    for (int step = 0; step < 12000; ++step) {
        const std::size_t pick = rng() % keys.size();
        const PointKey key = keys[pick];
        const auto roll = rng() % 10;
        const SegId id = static_cast<SegId>(rng() % 8);
        if (roll < 6) {
            SegList& ids = index[key];
            if (!ids.contains(id)) {
                ids.push_back(id);
                model[key].push_back(id);
            }
        } else if (const auto it = index.find(key); it != index.end()) {
            auto& listed = model.at(key);
            if (roll < 9) {
                it->second.erase(id);
                listed.erase(std::remove(listed.begin(), listed.end(), id), listed.end());
            }
            if (roll == 9 || it->second.empty()) {
                index.erase(it);
                model.erase(key);
            }
        }
        std::size_t present = 0;
        for (std::size_t i = 0; i < crowded; ++i) present += model.count(keys[i]);
        most_crowded = std::max(most_crowded, present);
        if (step % 20 != 0) continue;

        ASSERT_EQ(index.size(), model.size()) << step;
        for (const PointKey& k : keys) {
            const auto it = model.find(k);
            ASSERT_EQ(index.contains(k), it != model.end()) << step;
            const SegList& ids = std::as_const(index).at(k);
            const std::vector<SegId> got(ids.begin(), ids.end());
            ASSERT_EQ(got, it == model.end() ? std::vector<SegId>{} : it->second) << step;
        }
        std::size_t walked = 0;
        for (const auto& [k, ids] : index) {
            ++walked;
            ASSERT_EQ(std::vector<SegId>(ids.begin(), ids.end()), model.at(k)) << step;
        }
        ASSERT_EQ(walked, model.size());
        std::vector<PointKey> model_keys;
        for (const auto& [k, ids] : model) model_keys.push_back(k);
        ASSERT_EQ(index.sorted_keys(), model_keys);
        const PointIndex copy = index;
        ASSERT_TRUE(copy == index);
    }
    // The crowded points filled a run of hundreds of slots.
    EXPECT_GT(most_crowded, 255u);
}

}  // namespace
}  // namespace cellvane
