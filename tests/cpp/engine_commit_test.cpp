#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "analysis/analysis.hpp"
#include "engine/engine.hpp"
#include "zone/zone.hpp"
#include "validate/validate.hpp"
#include "engine_fixtures.hpp"
#include "test_access.hpp"

namespace cellvane {
namespace {

using testing::first_difference;
using testing::pass_delta;
using testing::picture;
using testing::place;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Commits a delta that must be refused, and checks the board did not move.
CommitError refuse(Board& board, GameDelta delta) {
    const testing::Picture before = picture(board);
    const std::uint64_t revision = board.revision();
    std::optional<CommitError> refused = board.commit(std::move(delta), false);
    EXPECT_TRUE(refused.has_value());
    EXPECT_EQ(board.revision(), revision);
    EXPECT_EQ(first_difference(picture(board), before), std::nullopt);
    return refused.value_or(CommitError{});
}

// Stones 0 (Black) and 5 (White) in play, far apart on a 19 board.
Board two_stones() {
    Board board(19.0);
    EXPECT_FALSE(board.commit(place(0, 4, 4, Color::Black), false));
    EXPECT_FALSE(board.commit(place(5, 14, 14, Color::White), false));
    return board;
}

TEST(EngineCommit, PassAdvancesTheTurn) {
    Board board(19.0);
    ASSERT_FALSE(board.commit(pass_delta(), false));
    EXPECT_EQ(board.turn(), 1u);
    EXPECT_EQ(board.status(), Status::NextPassEnds);
    EXPECT_EQ(board.captures(Color::Black), 0u);
    EXPECT_EQ(board.captures(Color::White), 0u);
    EXPECT_EQ(board.history().size(), 1u);
    EXPECT_EQ(board.revision(), 1u);
    ASSERT_FALSE(board.commit(place(1, 4, 4, Color::White), false));
    EXPECT_EQ(board.status(), Status::Playing);
    ASSERT_FALSE(board.commit(pass_delta(), false));
    ASSERT_FALSE(board.commit(pass_delta(), false));
    EXPECT_EQ(board.status(), Status::Ended);
    EXPECT_EQ(board.revision(), 4u);
}

TEST(EngineCommit, EndedBoardRefusesEverythingFirst) {
    Board board = two_stones();
    ASSERT_FALSE(board.commit(pass_delta(), false));
    ASSERT_FALSE(board.commit(pass_delta(), false));
    EXPECT_EQ(refuse(board, pass_delta()).kind, CommitErrorKind::GameOver);
    EXPECT_EQ(refuse(board, GameDelta{std::nullopt, {4}}).kind, CommitErrorKind::GameOver);
    EXPECT_EQ(refuse(board, place(0, -1, 4, Color::Black)).kind, CommitErrorKind::GameOver);
    const CommitError over = refuse(board, place(9, 9, 9, Color::Black));
    EXPECT_EQ(over.kind, CommitErrorKind::GameOver);
    EXPECT_EQ(over.message(), "the game ended on two passes and takes no further turns");
    // A provisional commit is refused the same way.
    EXPECT_TRUE(board.commit(place(9, 9, 9, Color::Black), true).has_value());
    EXPECT_EQ(board.history().size(), 4u);
}

TEST(EngineCommit, PassMayNotCapture) {
    Board board = two_stones();
    const CommitError e = refuse(board, GameDelta{std::nullopt, {4}});  // 4 is not even in play
    EXPECT_EQ(e.kind, CommitErrorKind::PassCaptures);
    EXPECT_EQ(e.message(), "a delta that places no stone cannot capture one");
    EXPECT_EQ(refuse(board, GameDelta{std::nullopt, {5}}).kind, CommitErrorKind::PassCaptures);
}

TEST(EngineCommit, CentreMustLieOnTheBoardSquare) {
    Board board(19.0);
    ASSERT_FALSE(board.commit(place(0, 19, 19, Color::Black), false));  // the far corner is on the square
    ASSERT_FALSE(board.commit(place(1, -0.0, 0.0, Color::White), false));
    EXPECT_EQ(board.stone_count(), 2u);

    for (Point bad : {Point{NaN, 4}, Point{4, NaN}, Point{-1e-300, 4}, Point{4, std::nextafter(19.0, 20.0)},
                      Point{-std::numeric_limits<double>::infinity(), 4}}) {
        const CommitError e = refuse(board, place(3, bad.x, bad.y, Color::Black));
        EXPECT_EQ(e.kind, CommitErrorKind::OffBoard);
        EXPECT_EQ(e.stone, 3u);
        EXPECT_TRUE(testing::same_point(e.position, bad) || std::isnan(e.position.x) || std::isnan(e.position.y));
    }
    const CommitError e = refuse(board, place(3, -1.5, 2.0, Color::Black));
    EXPECT_EQ(e.message(), "stone 3's centre (-1.5, 2) is not on the board");
    // The position is checked before the id: stone 0 is in play.
    EXPECT_EQ(refuse(board, place(0, 20, 4, Color::Black)).kind, CommitErrorKind::OffBoard);
}

TEST(EngineCommit, PlacedIdMustBeFree) {
    Board board = two_stones();
    // Stone checks come before the capture list is looked at.
    CommitError e = refuse(board, place(5, 9, 9, Color::White, {42}));
    EXPECT_EQ(e.kind, CommitErrorKind::StoneExists);
    EXPECT_EQ(e.stone, 5u);
    EXPECT_FALSE(e.captured_earlier);
    EXPECT_EQ(e.position.x, 9.0);
    EXPECT_EQ(e.message(), "stone 5 is already on the board");

    // An id whose dead zone is carved counts as taken even when no stone holds it.
    TestAccess::zone(board).carve(8, Point{9, 9});
    e = refuse(board, place(8, 16, 4, Color::Black));
    EXPECT_EQ(e.kind, CommitErrorKind::StoneExists);
    EXPECT_EQ(e.stone, 8u);
    EXPECT_FALSE(e.captured_earlier);
}

TEST(EngineCommit, CapturedIdCannotBePlacedAgain) {
    Board board = two_stones();
    ASSERT_FALSE(board.commit(place(6, 14, 4, Color::Black, {5}), false));
    const CommitError e = refuse(board, place(5, 9, 14, Color::White));
    EXPECT_EQ(e.kind, CommitErrorKind::StoneExists);
    EXPECT_EQ(e.stone, 5u);
    EXPECT_TRUE(e.captured_earlier);
    EXPECT_EQ(e.message(), "stone 5 was captured earlier and its id cannot be placed again");
    // Provisional commits are held to the same rule.
    EXPECT_TRUE(board.commit(place(5, 9, 14, Color::White), true).has_value());

    // Undoing the capture frees nothing: stone 5 is in play again.
    ASSERT_TRUE(board.undo());
    EXPECT_FALSE(refuse(board, place(5, 9, 14, Color::White)).captured_earlier);
    // Undoing the placement of 5 makes its id free.
    ASSERT_TRUE(board.undo());
    EXPECT_FALSE(board.commit(place(5, 9, 14, Color::White), false));
}

TEST(EngineCommit, CaptureListIsCheckedInOrder) {
    Board board = two_stones();
    CommitError e = refuse(board, place(7, 9, 9, Color::Black, {5, 5}));
    EXPECT_EQ(e.kind, CommitErrorKind::CapturedTwice);
    EXPECT_EQ(e.stone, 5u);
    EXPECT_EQ(e.message(), "stone 5 is captured twice by the same delta");

    e = refuse(board, place(7, 9, 9, Color::Black, {9, 5, 5}));
    EXPECT_EQ(e.kind, CommitErrorKind::NoSuchStone);
    EXPECT_EQ(e.stone, 9u);
    EXPECT_EQ(e.message(), "stone 9 is not on the board and cannot be captured");

    e = refuse(board, place(7, 9, 9, Color::Black, {5, 0, 5, 9}));
    EXPECT_EQ(e.kind, CommitErrorKind::CapturedTwice);

    // The placed stone is not in play while its own list is checked.
    e = refuse(board, place(7, 9, 9, Color::Black, {7}));
    EXPECT_EQ(e.kind, CommitErrorKind::NoSuchStone);
    EXPECT_EQ(e.stone, 7u);
}

TEST(EngineCommit, LongCaptureListsFindRepeats) {
    Board board(70.0);
    std::vector<std::uint32_t> ids;
    for (std::uint32_t i = 0; i < 24; ++i) {
        ASSERT_FALSE(board.commit(place(i, 3.0 + 2.5 * i, 3, Color::White), false));
        ids.push_back(23 - i);
    }
    std::vector<std::uint32_t> repeated = ids;
    repeated.push_back(12);
    CommitError e = refuse(board, place(100, 30, 30, Color::Black, repeated));
    EXPECT_EQ(e.kind, CommitErrorKind::CapturedTwice);
    EXPECT_EQ(e.stone, 12u);
    repeated.back() = 99;
    e = refuse(board, place(100, 30, 30, Color::Black, repeated));
    EXPECT_EQ(e.kind, CommitErrorKind::NoSuchStone);
    EXPECT_EQ(e.stone, 99u);

    ASSERT_FALSE(board.commit(place(100, 30, 30, Color::Black, ids), false));
    EXPECT_EQ(board.stone_count(), 1u);
    EXPECT_EQ(board.captured_stones().size(), 24u);
    EXPECT_EQ(board.captures(Color::Black), 24u);
    EXPECT_EQ(board.alive_zone().forced_eyes().size(), 24u);
}

TEST(EngineCommit, CapturedStoneWithoutDeadZoneLeavesTheBoardAlone) {
    Board board = two_stones();
    // Damage the board: stone 5 is in play but its dead zone is gone.
    ASSERT_FALSE(TestAccess::zone(board).reclaim(5));
    const CommitError e = refuse(board, place(7, 9, 9, Color::Black, {5}));
    EXPECT_EQ(e.kind, CommitErrorKind::DeadZone);
    EXPECT_EQ(e.dead_zone, DeadZoneFault::NotCarved);
    EXPECT_EQ(e.stone, 5u);
    EXPECT_EQ(e.message(), (DeadZoneError{DeadZoneFault::NotCarved, 5}.message()));
    EXPECT_EQ(e.message(), "stone 5 has no dead zone carved out of the alive zone");
    EXPECT_FALSE(board.stone(7));
}

TEST(EngineCommit, CaptureMovesStonesAndLeavesForcedEyes) {
    Board board = two_stones();
    ASSERT_FALSE(board.commit(place(1, 10, 4, Color::White), false));
    ASSERT_FALSE(board.commit(place(2, 4, 14, Color::White), false));
    // The counter that rises is the placed stone's colour, whatever the turn.
    ASSERT_FALSE(board.commit(place(3, 9, 9, Color::White, {0}), false));
    EXPECT_EQ(board.captures(Color::White), 1u);
    EXPECT_EQ(board.captures(Color::Black), 0u);
    ASSERT_FALSE(board.commit(place(4, 16, 9, Color::Black, {5, 1}), false));
    EXPECT_EQ(board.captures(Color::Black), 2u);
    EXPECT_EQ(board.turn(), 6u);

    EXPECT_EQ(board.stone(5), nullptr);
    ASSERT_EQ(board.captured_stones().count(5), 1u);
    EXPECT_EQ(board.captured_stones().at(1).position.x, 10.0);
    EXPECT_FALSE(board.alive_zone().has_dead_zone(5));
    EXPECT_FALSE(board.alive_zone().has_dead_zone(1));
    EXPECT_TRUE(board.alive_zone().has_dead_zone(4));
    EXPECT_EQ(board.alive_zone().forced_eyes().size(), 3u);
    EXPECT_TRUE(board.alive_zone().forced_eyes().count(point_key(Point{14, 14})));
    EXPECT_TRUE(std::isinf(board.alive_zone().depth_at(Point{10, 4})));
    // The history keeps the list in the order the delta gave it.
    EXPECT_EQ(board.history().back().delta.captured_stone_ids, (std::vector<std::uint32_t>{5, 1}));

    // A stone on a forced eye takes that eye alone; one nearby takes every
    // eye within reach.
    ASSERT_FALSE(board.commit(place(6, 4, 4, Color::White), false));
    ASSERT_EQ(board.history().back().taken_eyes.size(), 1u);
    EXPECT_EQ(board.alive_zone().forced_eyes().size(), 2u);
    ASSERT_FALSE(board.commit(place(7, 12, 4, Color::Black), false));
    ASSERT_EQ(board.history().back().taken_eyes.size(), 1u);
    EXPECT_EQ(board.history().back().taken_eyes[0].x, 10.0);
    EXPECT_EQ(board.alive_zone().forced_eyes().size(), 1u);
}

TEST(EngineUndo, EmptyHistoryChangesNothing) {
    Board board(19.0);
    EXPECT_FALSE(board.undo().has_value());
    EXPECT_EQ(board.revision(), 0u);
    EXPECT_EQ(board.turn(), 0u);
}

TEST(EngineUndo, EveryCommitIsTakenBackExactly) {
    Board board(19.0);
    const std::vector<GameDelta> deltas = {
        place(0, 4, 4, Color::Black),
        place(1, 6.5, 4, Color::White),
        place(2, 5, 6.5, Color::Black),
        pass_delta(),
        place(4, 9, 5, Color::Black, {1}),   // leaves a forced eye at (6.5, 4)
        place(5, 14, 14, Color::White),
        place(6, 7, 3, Color::White, {0}),   // takes the eye, leaves one at (4, 4)
        place(7, 12, 14, Color::Black, {5, 6}),
        pass_delta(),
        pass_delta(),
    };
    std::vector<testing::Picture> pictures;
    for (const GameDelta& d : deltas) {
        pictures.push_back(picture(board));
        ASSERT_FALSE(board.commit(d, false));
        EXPECT_EQ(validate(board), std::nullopt) << "after delta " << pictures.size() - 1;
    }
    EXPECT_EQ(board.status(), Status::Ended);
    EXPECT_EQ(board.history()[6].taken_eyes.size(), 1u);
    EXPECT_EQ(board.revision(), deltas.size());

    for (std::size_t i = deltas.size(); i-- > 0;) {
        const std::uint64_t revision = board.revision();
        std::optional<GameDelta> taken = board.undo();
        ASSERT_TRUE(taken.has_value());
        EXPECT_TRUE(testing::same_delta(*taken, deltas[i])) << "delta " << i;
        EXPECT_EQ(board.revision(), revision + 1);
        EXPECT_EQ(first_difference(picture(board), pictures[i]), std::nullopt) << "after undoing delta " << i;
        EXPECT_EQ(validate(board), std::nullopt) << "after undoing delta " << i;
    }
    EXPECT_EQ(board.revision(), 2 * deltas.size());
    EXPECT_FALSE(board.undo());
}

TEST(EngineUndo, CapturedStonesComeBackInTheDeltasOrder) {
    // The restored dead zones take new shape ids in the order they are carved
    // again, and shape order decides ties in nearest-point searches: undo
    // walks the capture list as the delta gives it, not backwards.
    Board board(19.0);
    ASSERT_FALSE(board.commit(place(0, 4, 4, Color::White), false));
    ASSERT_FALSE(board.commit(place(1, 14, 4, Color::White), false));
    ASSERT_FALSE(board.commit(place(2, 9, 14, Color::White), false));
    ASSERT_FALSE(board.commit(place(3, 9, 9, Color::Black, {2, 0, 1}), false));
    ASSERT_TRUE(board.undo());
    const std::map<std::uint32_t, ShapeId>& zones = board.alive_zone().dead_zones();
    ASSERT_EQ(zones.size(), 3u);
    EXPECT_LT(zones.at(2), zones.at(0));
    EXPECT_LT(zones.at(0), zones.at(1));
    EXPECT_EQ(board.captures(Color::Black), 0u);
}

TEST(EngineUndo, ProvisionalEntryKeepsTheTurn) {
    Board board(19.0);
    ASSERT_FALSE(board.commit(pass_delta(), false));
    const testing::Picture before = picture(board);
    ASSERT_FALSE(board.commit(place(1, 9, 9, Color::White), true));
    EXPECT_EQ(board.turn(), 1u);
    EXPECT_EQ(board.status(), Status::NextPassEnds);
    EXPECT_EQ(board.stone_count(), 1u);
    ASSERT_TRUE(board.undo());
    EXPECT_EQ(first_difference(picture(board), before), std::nullopt);
    EXPECT_EQ(board.revision(), 3u);
}

}  // namespace
}  // namespace cellvane

#ifdef CELLVANE_CHECK_EVERY_CHANGE
namespace cellvane {
namespace {

TEST(EngineCheckDeathTest, DiagnosticBuildStopsAtABrokenBoard) {
    Board board(19.0);
    ASSERT_FALSE(board.commit(testing::place(0, 4, 4, Color::Black), false));
    ASSERT_FALSE(board.commit(testing::place(1, 14, 4, Color::White), false));
    TestAccess::zone(board).reclaim(0);  // stone 0 stays in play without its dead zone
    EXPECT_DEATH(board.commit(testing::place(2, 9, 14, Color::Black), false),
                 "board invalid after a commit .*stone 0 is in play with no dead zone carved for it");
    EXPECT_DEATH(board.undo(), "board invalid after an undo");
}

}  // namespace
}  // namespace cellvane
#endif
