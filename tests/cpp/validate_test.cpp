// Board invariants: healthy boards pass, and each kind of deliberate damage is
// reported with its exact message, behind the prefix of its layer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <variant>

#include "analysis/analysis.hpp"
#include "engine/engine.hpp"
#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"
#include "zone/zone.hpp"
#include "validate/validate.hpp"
#include "test_access.hpp"

namespace cellvane {
namespace {

const std::string kGraph = "the alive zone is corrupt: the clipping structure is corrupt: ";
const std::string kZone = "the alive zone is corrupt: ";

// On an empty board the left edge (shape 0) is the list 0 -> 1 -> 2 -> 3 with
// offsets -2s, 1, s - 1, 2s; segment 1 is the exposed piece starting at (1, 1).
TestAccess::GraphInternals graph_of(Board& b) {
    return TestAccess::internals(TestAccess::graph(TestAccess::zone(b)));
}

Segment& seg(Board& b, SegId id) { return *graph_of(b).arena.at(id); }

std::string shape_name(ShapeId id) { return "ShapeId(" + std::to_string(id) + ")"; }

std::string fault(const Board& b) { return validate(b).value_or("<valid>"); }

void play(Board& b, Point p) {
    auto r = b.try_move(p);
    ASSERT_TRUE(std::holds_alternative<GameDelta>(r)) << std::get<MoveError>(r).message();
}

TEST(Validate, NewBoardsOfSeveralSizesAreValid) {
    for (double size : {19.0, 9.0, 4.0, 3.0, 18.5, 1000.0}) {
        Board b(size);
        EXPECT_EQ(validate(b), std::nullopt) << "size " << size;
    }
}

TEST(Validate, BoardsStayValidThroughMovesPassesAndUndos) {
    Board b(19.0);
    play(b, {4.0, 4.0});
    EXPECT_EQ(validate(b), std::nullopt);
    play(b, {2.0, 2.0 + 2.5});  // crosses the left edge and the first stone
    EXPECT_EQ(validate(b), std::nullopt);
    play(b, {1.0, 1.0});  // corner: crosses two edges
    EXPECT_EQ(validate(b), std::nullopt);
    ASSERT_EQ(b.pass_turn(), std::nullopt);
    EXPECT_EQ(validate(b), std::nullopt);
    play(b, {7.0, 5.0});
    EXPECT_EQ(validate(b), std::nullopt);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(b.undo().has_value());
        EXPECT_EQ(validate(b), std::nullopt) << "after undo " << i;
    }
    EXPECT_EQ(b.turn(), 0u);
    // Cut questions carve and drop a temporary circle; none may be left.
    play(b, {4.0, 4.0});
    play(b, {12.0, 4.0});
    play(b, {8.0, 4.0});
    (void)b.pair_cuttable(0, 2);
    (void)b.boundary_cuttable(1, BoardEdge::Top);
    EXPECT_TRUE(b.alive_zone().temporary_circles().empty());
    EXPECT_EQ(validate(b), std::nullopt);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(b.undo().has_value());
    // Replaying the same turns by commit keeps every invariant too.
    play(b, {4.0, 4.0});
    ASSERT_EQ(b.commit(GameDelta{std::nullopt, {}}, false), std::nullopt);
    ASSERT_EQ(b.commit(GameDelta{std::nullopt, {}}, false), std::nullopt);
    EXPECT_EQ(b.status(), Status::Ended);
    EXPECT_EQ(validate(b), std::nullopt);
}

TEST(Validate, CapturesBackAndForthLeaveValidBoards) {
    // On a 4 x 4 board a black stone in the middle leaves playable space only
    // at forced eyes: it takes the white corner stone, then White's stone in
    // that eye takes it back.
    Board b(4.0);
    ASSERT_EQ(b.commit(GameDelta{Stone{{0.5, 0.5}, 0, Color::White}, {}}, false), std::nullopt);
    ASSERT_EQ(b.commit(GameDelta{std::nullopt, {}}, false), std::nullopt);
    EXPECT_EQ(validate(b), std::nullopt);
    play(b, {2.0, 2.0});
    EXPECT_EQ(b.captures(Color::Black), 1u);
    EXPECT_EQ(validate(b), std::nullopt);
    play(b, {0.5, 0.5});
    EXPECT_EQ(b.captures(Color::White), 1u);
    EXPECT_EQ(b.captured_stones().size(), 2u);
    EXPECT_EQ(validate(b), std::nullopt);
    while (b.undo().has_value()) EXPECT_EQ(validate(b), std::nullopt) << "turn " << b.turn();
    EXPECT_EQ(b.turn(), 0u);
}

// ------------------------------------------------------ clipping structure

// Damage done to a new 19 board's clipping structure: `damage` breaks the
// board and answers the fault it must produce.
struct GraphDamage {
    const char* name;
    std::string (*damage)(Board& b);
};

std::ostream& operator<<(std::ostream& os, const GraphDamage& d) { return os << d.name; }

class ValidateGraphDamage : public ::testing::TestWithParam<GraphDamage> {};

TEST_P(ValidateGraphDamage, IsReportedWithItsMessage) {
    Board b(19.0);
    const std::string expected = GetParam().damage(b);
    EXPECT_EQ(fault(b), expected);
}

std::string damage_name(const ::testing::TestParamInfo<GraphDamage>& info) { return info.param.name; }

const GraphDamage kWrongOffset[] = {
    {"Arbitrary",
     [](Board& b) {
         seg(b, 1).offset = 1.5;
         return kGraph + "segment SegId(1)'s offset is not the offset of its start point";
     }},
    {"OneUnitInTheLastPlace",
     [](Board& b) {
         // Bit for bit: one unit in the last place is already wrong.
         Segment& s = seg(b, 1);
         s.offset = std::nextafter(s.offset, 2.0);
         return kGraph + "segment SegId(1)'s offset is not the offset of its start point";
     }},
};
INSTANTIATE_TEST_SUITE_P(WrongOffset, ValidateGraphDamage, ::testing::ValuesIn(kWrongOffset), damage_name);

const GraphDamage kBrokenLinks[] = {
    {"NextDisagrees",
     [](Board& b) {
         seg(b, 2).prev = 0;  // 1 -> 2, but 2 says its predecessor is 0
         return kGraph + "segments SegId(1) and SegId(2) do not agree about the link between them";
     }},
    {"PrevDisagrees",
     [](Board& b) {
         seg(b, 0).prev = 2;  // 0's prev is 2, but 2 continues to 3
         return kGraph + "segments SegId(2) and SegId(0) do not agree about the link between them";
     }},
    {"NextOutsideTheArena",
     [](Board& b) {
         seg(b, 1).next = 99;
         return kGraph + "shape ShapeId(0) links to segment SegId(99), which is not in the arena";
     }},
    {"HeadOutsideTheArena",
     [](Board& b) {
         graph_of(b).shapes.at(1).head = 1000000;  // bottom edge's head far outside the arena
         return kGraph + "shape ShapeId(1) links to segment SegId(1000000), which is not in the arena";
     }},
    {"VacantSlotStillLinked",
     [](Board& b) {
         graph_of(b).arena.at(2).reset();  // a vacant slot still linked from 1 and 3
         return kGraph + "shape ShapeId(0) links to segment SegId(2), which is not in the arena";
     }},
    {"SegmentOfAnotherShape",
     [](Board& b) {
         seg(b, 5).shape = 2;
         return kGraph + "segment SegId(5) is in shape ShapeId(1)'s list but belongs to ShapeId(2)";
     }},
};
INSTANTIATE_TEST_SUITE_P(BrokenLinks, ValidateGraphDamage, ::testing::ValuesIn(kBrokenLinks), damage_name);

const GraphDamage kCountsAndLoops[] = {
    {"CountShort",
     [](Board& b) {
         graph_of(b).shapes.at(0).count = 3;
         return kGraph + "walking shape ShapeId(0)'s list did not return to its head within 3 segments";
     }},
    {"CountFarBeyondTheList",
     [](Board& b) {
         // A count far beyond the list: the walk still ends at the head.
         graph_of(b).shapes.at(0).count = std::numeric_limits<std::uint64_t>::max();
         return kGraph + "shape ShapeId(0) records 18446744073709551615 segments but its list holds 4";
     }},
    {"NoHead",
     [](Board& b) {
         graph_of(b).shapes.at(3).head.reset();
         return kGraph + "shape ShapeId(3) records 4 segments but its list holds 0";
     }},
    {"LoopPastTheHead",
     [](Board& b) {
         // A list that loops back into itself without passing its head: 0 -> 1
         // -> 2 -> 1. The link checks catch it before any segment is read twice.
         seg(b, 2).next = 1;
         return kGraph + "segments SegId(2) and SegId(1) do not agree about the link between them";
     }},
    {"OrphanedSlot",
     [](Board& b) {
         // Unlink segment 2 cleanly: the list is consistent, the slot is orphaned.
         seg(b, 1).next = 3;
         seg(b, 3).prev = 1;
         graph_of(b).shapes.at(0).count = 3;
         return kGraph + "segment SegId(2) is alive but no shape's list reaches it";
     }},
};
INSTANTIATE_TEST_SUITE_P(CountsAndLoopsAreBounded, ValidateGraphDamage, ::testing::ValuesIn(kCountsAndLoops),
                         damage_name);

TEST(Validate, OffsetsOutOfOrder) {
    // Rotating an edge list's head puts its one descent in the middle.
    Board b(19.0);
    graph_of(b).shapes.at(2).head = 9;
    EXPECT_EQ(fault(b), kGraph + "shape ShapeId(2)'s segment offsets are not in order");

    // A circle may descend anywhere: rotate the head of a stone's circle.
    Board c(19.0);
    play(c, {2.0, 2.0});
    const ShapeId circle = *c.alive_zone().dead_zone(0);
    Shape& shape = graph_of(c).shapes.at(circle);
    ASSERT_GE(shape.count, 2u);
    for (std::uint64_t i = 0; i < shape.count; ++i) {
        shape.head = seg(c, *shape.head).next;
        shape.head_cover = static_cast<std::uint64_t>(static_cast<std::int64_t>(shape.head_cover) +
                                                      seg(c, *shape.head).causes.cover_step());
        EXPECT_EQ(validate(c), std::nullopt) << "head rotated " << i + 1;
    }

    // Two descents are too many: swap two neighbours of the left edge.
    Board d(19.0);
    // Relink the left edge as 0 -> 2 -> 1 -> 3 -> 0 (offsets -38, 18, 1, 38).
    seg(d, 0).next = 2;
    seg(d, 2).prev = 0;
    seg(d, 2).next = 1;
    seg(d, 1).prev = 2;
    seg(d, 1).next = 3;
    seg(d, 3).prev = 1;
    EXPECT_EQ(fault(d), kGraph + "shape ShapeId(0)'s segment offsets are not in order");
}

const GraphDamage kCoverage[] = {
    {"PairBroken",
     [](Board& b) {
         // A stone at (2, 2) covers the left line from (1, 2 - sqrt 3) to
         // (1, 2 + sqrt 3): a second close for it there breaks the pair.
         play(b, {2.0, 2.0});
         const ShapeId stone = *b.alive_zone().dead_zone(0);
         for (const SegId id : b.alive_zone().graph().segments_of(0)) {
             if (seg(b, id).causes.roles_of(stone) == Causes::OPENS) seg(b, id).causes.add(stone, Causes::CLOSES);
         }
         return kGraph + "shape ShapeId(0)'s list does not open and close the part covered by shape ShapeId(" +
                std::to_string(stone) + ") once each";
     }},
    {"HeadCount",
     [](Board& b) {
         graph_of(b).shapes[0].head_cover = 1;
         return kGraph + "shape ShapeId(0)'s head is covered by 1 shapes, but the marks along its list give 0";
     }},
};
INSTANTIATE_TEST_SUITE_P(CoverageMarksPairUpAndGiveTheHeadCount, ValidateGraphDamage, ::testing::ValuesIn(kCoverage),
                         damage_name);

// A stone at (2, 2) crosses the left line at (1, 2 - sqrt 3) and (1, 2 + sqrt 3):
// plays it and answers the first segment of the left line starting at such a
// crossing.
SegId crossed(Board& b) {
    play(b, {2.0, 2.0});
    const ClipGraph& g = b.alive_zone().graph();
    for (const SegId id : g.segments_of(0)) {
        if (!g.slot(id)->permanent) return id;
    }
    return SegId{0};
}

const GraphDamage kCauses[] = {
    {"OwnShape",
     [](Board& b) {
         const SegId id = crossed(b);
         seg(b, id).causes.add(0, Causes::OPENS);
         return kGraph + "shape ShapeId(0) is named as crossing its own outline";
     }},
    {"ShapeGone",
     [](Board& b) {
         const SegId id = crossed(b);
         seg(b, id).causes.add(42, Causes::OPENS);
         return kGraph + "segment SegId(" + std::to_string(id) +
                ") starts where shape ShapeId(42) crossed it, which no longer exists";
     }},
    {"NoPointThere",
     [](Board& b) {
         const SegId id = crossed(b);
         seg(b, id).causes.add(2, Causes::OPENS);  // the right line is nowhere near
         return kGraph + "segment SegId(" + std::to_string(id) +
                ") starts where shape ShapeId(2) crossed it, but that shape has no point there";
     }},
    {"NoCause",
     [](Board& b) {
         const SegId id = crossed(b);
         seg(b, id).causes.remove(*b.alive_zone().dead_zone(0));
         return kGraph + "segment SegId(" + std::to_string(id) + ") starts at a point that no crossing put there";
     }},
};
INSTANTIATE_TEST_SUITE_P(CausesNameOtherShapesWithAPointThere, ValidateGraphDamage, ::testing::ValuesIn(kCauses),
                         damage_name);

const PointKey kCorner = point_key({1.0, 1.0});

const GraphDamage kSharedStartIndex[] = {
    {"SegmentMissing",
     [](Board& b) {
         auto& ids = graph_of(b).index.at(kCorner);
         ids.erase(SegId{1});
         return kGraph + "segment SegId(1) is not indexed under the point it starts at";
     }},
    {"StrayEntry",
     [](Board& b) {
         graph_of(b).index[point_key({5.0, 5.0})] = {1};  // a stray entry
         return kGraph + "segment SegId(1) is indexed under a point it does not start at";
     }},
    {"EmptyPoint",
     [](Board& b) {
         graph_of(b).index[point_key({5.0, 5.0})];
         return kGraph + "the shared-start index holds a point with no segments";
     }},
    {"SegmentTwice",
     [](Board& b) {
         graph_of(b).index.at(kCorner).push_back(1);
         return kGraph + "the shared-start index lists segment SegId(1) twice under one point";
     }},
    {"SegmentOutsideTheArena",
     [](Board& b) {
         graph_of(b).index[point_key({5.0, 5.0})] = {500};
         return kGraph + "the shared-start index refers to segment SegId(500), which is not in the arena";
     }},
    {"LiveCountOff",
     [](Board& b) {
         graph_of(b).live_count += 1;
         return kGraph + "the shared-start index holds 16 segments but 17 are alive";
     }},
};
INSTANTIATE_TEST_SUITE_P(SharedStartIndex, ValidateGraphDamage, ::testing::ValuesIn(kSharedStartIndex), damage_name);

// ---------------------------------------------------------- alive zone

TEST(Validate, DeadZonesAndTemporaryCircles) {
    {
        Board b(19.0);
        TestAccess::temporary_circles(TestAccess::zone(b)).push_back(0);
        EXPECT_EQ(fault(b), kZone + "the temporary circle names shape ShapeId(0), which is not a dead zone in the graph");
    }
    {
        // A temporary circle that really is in the graph is fine on its own.
        Board b(19.0);
        TestAccess::zone(b).push_temporary_circle({9.0, 9.0});
        EXPECT_EQ(validate(b), std::nullopt);
        TestAccess::zone(b).pop_temporary_circle();
        EXPECT_EQ(validate(b), std::nullopt);
    }
    {
        Board b(19.0);
        TestAccess::dead_zones(TestAccess::zone(b))[7] = 99;
        EXPECT_EQ(fault(b), kZone + "stone 7's dead zone names shape ShapeId(99), which is not in the graph");
    }
    {
        Board b(19.0);
        TestAccess::dead_zones(TestAccess::zone(b))[7] = 2;
        EXPECT_EQ(fault(b), kZone + "stone 7's dead zone names shape ShapeId(2), which is a board edge");
    }
    {
        Board b(19.0);
        play(b, {9.0, 9.0});
        const ShapeId z = *b.alive_zone().dead_zone(0);
        TestAccess::dead_zones(TestAccess::zone(b))[1] = z;
        EXPECT_EQ(fault(b), kZone + "shape " + shape_name(z) + " is named as the dead zone of more than one stone");
    }
    {
        Board b(19.0);
        play(b, {9.0, 9.0});
        const ShapeId z = *b.alive_zone().dead_zone(0);
        TestAccess::temporary_circles(TestAccess::zone(b)).push_back(z);
        EXPECT_EQ(fault(b), kZone + "shape " + shape_name(z) + " is named as the dead zone of more than one stone");
    }
    {
        // A circle in the graph that no stone or search names.
        Board b(19.0);
        TestAccess::zone(b).carve_circle({6.0, 6.0});
        EXPECT_EQ(fault(b), kZone + "shape ShapeId(4) is a dead zone that no stone names");
    }
    {
        // A stone whose circle was removed is caught by the zone layer before
        // the board layer can say the stone has no dead zone.
        Board b(19.0);
        play(b, {9.0, 9.0});
        const ShapeId z = *b.alive_zone().dead_zone(0);
        TestAccess::dead_zones(TestAccess::zone(b)).clear();
        EXPECT_EQ(fault(b), kZone + "shape " + shape_name(z) + " is a dead zone that no stone names");
    }
}

TEST(Validate, ForcedEyeUnderAnotherKey) {
    Board b(19.0);
    TestAccess::zone(b).add_forced_eye({3.0, 4.0});
    EXPECT_EQ(validate(b), std::nullopt);
    TestAccess::forced_eyes(TestAccess::zone(b))[point_key({3.0, 4.0})] = Point{2.0, 0.5};
    EXPECT_EQ(fault(b), kZone + "the forced eye at Point { x: 2.0, y: 0.5 } is filed under another point's key");
}

// ------------------------------------------------------------- board record

TEST(Validate, StoneTables) {
    {
        Board b(19.0);
        play(b, {9.0, 9.0});
        auto in = TestAccess::internals(b);
        in.stones_in_play.at(0).id = 5;
        EXPECT_EQ(fault(b), "stone 5 is filed under id 0");
    }
    {
        Board b(19.0);
        TestAccess::internals(b).stones_in_play[3] = Stone{{12.0, 12.0}, 3, Color::White};
        EXPECT_EQ(fault(b), "stone 3 is in play with no dead zone carved for it");
    }
    {
        Board b(19.0);
        play(b, {9.0, 9.0});
        auto in = TestAccess::internals(b);
        in.captured_stones[0] = in.stones_in_play.at(0);
        EXPECT_EQ(fault(b), "stone 0 is both in play and captured");
    }
    {
        Board b(19.0);
        TestAccess::internals(b).captured_stones[4] = Stone{{3.0, 3.0}, 6, Color::Black};
        EXPECT_EQ(fault(b), "stone 6 is filed under id 4");
    }
    {
        Board b(19.0);
        TestAccess::internals(b).captured_stones[4] = Stone{{3.0, 3.0}, 4, Color::Black};
        ASSERT_EQ(TestAccess::zone(b).carve(4, {3.0, 3.0}), std::nullopt);
        EXPECT_EQ(fault(b), "captured stone 4 still has a dead zone carved for it");
    }
}

TEST(Validate, TurnStatusAndCaptureCounters) {
    {
        Board b(19.0);
        TestAccess::internals(b).turn = 5;
        EXPECT_EQ(fault(b), "the turn is 5 but history holds 0 committed turns");
    }
    {
        // A provisional entry is not a committed turn.
        Board b(19.0);
        auto in = TestAccess::internals(b);
        in.history.push_back(HistoryEntry{GameDelta{std::nullopt, {}}, {}, true});
        EXPECT_EQ(validate(b), std::nullopt);
        in.turn = 1;
        EXPECT_EQ(fault(b), "the turn is 1 but history holds 0 committed turns");
    }
    {
        Board b(19.0);
        ASSERT_EQ(b.pass_turn(), std::nullopt);
        ASSERT_EQ(b.pass_turn(), std::nullopt);
        EXPECT_EQ(validate(b), std::nullopt);
        TestAccess::internals(b).status = Status::NextPassEnds;
        EXPECT_EQ(fault(b), "the status is NextPassEnds but the committed turns imply Ended");
    }
    {
        Board b(19.0);
        play(b, {9.0, 9.0});
        TestAccess::internals(b).status = Status::Ended;
        EXPECT_EQ(fault(b), "the status is Ended but the committed turns imply Playing");
    }
    {
        Board b(19.0);
        TestAccess::internals(b).captures[1] = 2;
        EXPECT_EQ(fault(b), "White is credited with 2 captures but history holds 0");
    }
    {
        // Capture lists are credited to the colour of the stone placed; Black
        // is checked before White.
        Board b(19.0);
        auto in = TestAccess::internals(b);
        in.history.push_back(HistoryEntry{GameDelta{Stone{{9.0, 9.0}, 0, Color::Black}, {7, 8}}, {}, false});
        ASSERT_EQ(TestAccess::zone(b).carve(0, {9.0, 9.0}), std::nullopt);
        in.stones_in_play[0] = Stone{{9.0, 9.0}, 0, Color::Black};
        in.turn = 1;
        in.captures[1] = 1;
        EXPECT_EQ(fault(b), "Black is credited with 0 captures but history holds 2");
        in.captures[0] = 2;
        EXPECT_EQ(fault(b), "White is credited with 1 captures but history holds 0");
        in.captures[1] = 0;
        EXPECT_EQ(validate(b), std::nullopt);
    }
}

TEST(Validate, LayersReportInOrder) {
    // Damage in all three layers at once: the clipping structure speaks first,
    // then the rest of the zone, then the board.
    Board b(19.0);
    TestAccess::internals(b).turn = 9;
    TestAccess::dead_zones(TestAccess::zone(b))[7] = 99;
    graph_of(b).shapes[1].head_cover = 2;
    EXPECT_EQ(fault(b), kGraph + "shape ShapeId(1)'s head is covered by 2 shapes, but the marks along its list give 0");
    graph_of(b).shapes[1].head_cover = 0;
    EXPECT_EQ(fault(b), kZone + "stone 7's dead zone names shape ShapeId(99), which is not in the graph");
    TestAccess::dead_zones(TestAccess::zone(b)).clear();
    EXPECT_EQ(fault(b), "the turn is 9 but history holds 0 committed turns");
}

}  // namespace
}  // namespace cellvane
