#include <gtest/gtest.h>

#include <limits>

#include "analysis/analysis.hpp"
#include "engine/engine.hpp"
#include "zone/zone.hpp"
#include "engine_fixtures.hpp"
#include "test_access.hpp"

namespace cellvane {
namespace {

using testing::pass_delta;
using testing::place;

HistoryEntry entry_of(GameDelta delta, bool provisional = false) { return HistoryEntry{std::move(delta), {}, provisional}; }

TEST(EngineStatus, FollowsTheLastTwoCommittedEntries) {
    const GameDelta stone = place(0, 5, 5, Color::Black);
    EXPECT_EQ(status_from_history({}), Status::Playing);
    EXPECT_EQ(status_from_history({entry_of(stone)}), Status::Playing);
    EXPECT_EQ(status_from_history({entry_of(pass_delta())}), Status::NextPassEnds);
    EXPECT_EQ(status_from_history({entry_of(stone), entry_of(pass_delta())}), Status::NextPassEnds);
    EXPECT_EQ(status_from_history({entry_of(pass_delta()), entry_of(stone)}), Status::Playing);
    EXPECT_EQ(status_from_history({entry_of(pass_delta()), entry_of(pass_delta())}), Status::Ended);
    EXPECT_EQ(status_from_history({entry_of(stone), entry_of(pass_delta()), entry_of(pass_delta())}), Status::Ended);
    EXPECT_EQ(status_from_history({entry_of(pass_delta()), entry_of(stone), entry_of(pass_delta())}),
              Status::NextPassEnds);
}

TEST(EngineStatus, SkipsProvisionalEntries) {
    const GameDelta stone = place(0, 5, 5, Color::Black);
    // A trial stone after a pass does not reopen play.
    EXPECT_EQ(status_from_history({entry_of(pass_delta()), entry_of(stone, true)}), Status::NextPassEnds);
    // A provisional entry between two passes does not separate them.
    EXPECT_EQ(status_from_history({entry_of(pass_delta()), entry_of(stone, true), entry_of(pass_delta())}),
              Status::Ended);
    EXPECT_EQ(status_from_history({entry_of(stone, true)}), Status::Playing);
    EXPECT_EQ(status_from_history({entry_of(pass_delta(), true)}), Status::Playing);
}

TEST(EngineBoard, NewBoardIsEmpty) {
    Board board(19.0);
    EXPECT_EQ(board.board_size(), 19.0);
    EXPECT_EQ(board.turn(), 0u);
    EXPECT_EQ(board.color_to_move(), Color::Black);
    EXPECT_EQ(board.status(), Status::Playing);
    EXPECT_EQ(board.captures(Color::Black), 0u);
    EXPECT_EQ(board.captures(Color::White), 0u);
    EXPECT_EQ(board.revision(), 0u);
    EXPECT_EQ(board.stone_count(), 0u);
    EXPECT_TRUE(board.stones_in_play().empty());
    EXPECT_TRUE(board.captured_stones().empty());
    EXPECT_TRUE(board.history().empty());
    EXPECT_TRUE(board.deltas().empty());
    EXPECT_FALSE(board.last_placed_stone().has_value());
    EXPECT_EQ(board.stone(0), nullptr);
    EXPECT_EQ(board.frame().size, 19.0);
    EXPECT_EQ(board.alive_zone().graph().frame().size, 19.0);
    EXPECT_EQ(TestAccess::cut_memo(board).size(), 0u);
    EXPECT_EQ(board.alive_zone().graph().shapes().size(), 4u);
    EXPECT_TRUE(board.alive_zone().forced_eyes().empty());
    EXPECT_TRUE(TestAccess::stones_by_id(board).empty());
}

TEST(EngineBoard, AnySizeIsTakenAsGiven) {
    for (double size : {0.0, -3.0, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
        Board board(size);
        EXPECT_EQ(board.turn(), 0u);
        EXPECT_EQ(board.status(), Status::Playing);
    }
    // No centre lies on an empty or undefined board square.
    for (double size : {0.0, -3.0, std::numeric_limits<double>::quiet_NaN()}) {
        Board board(size);
        const std::optional<CommitError> refused = board.commit(place(0, 1, 1, Color::Black), false);
        ASSERT_TRUE(refused.has_value());
        EXPECT_EQ(refused->kind, CommitErrorKind::OffBoard);
        EXPECT_EQ(board.revision(), 0u);
    }
}

TEST(EngineBoard, ReadersSkipProvisionalEntries) {
    Board board(19.0);
    ASSERT_FALSE(board.commit(place(0, 4, 4, Color::Black), false));
    ASSERT_FALSE(board.commit(pass_delta(), false));
    EXPECT_FALSE(board.last_placed_stone().has_value());  // newest entry is a pass
    ASSERT_FALSE(board.commit(place(2, 10, 10, Color::Black), true));

    const std::vector<GameDelta> deltas = board.deltas();
    ASSERT_EQ(deltas.size(), 2u);
    EXPECT_EQ(deltas[0].new_stone->id, 0u);
    EXPECT_FALSE(deltas[1].new_stone.has_value());
    EXPECT_FALSE(board.last_placed_stone().has_value());  // the provisional stone does not count
    EXPECT_EQ(board.turn(), 2u);
    EXPECT_EQ(board.stone_count(), 2u);
    ASSERT_NE(board.stone(2), nullptr);
    EXPECT_EQ(board.stone(2)->position.x, 10.0);

    board.undo();
    ASSERT_FALSE(board.commit(place(2, 10, 10, Color::Black), false));
    ASSERT_TRUE(board.last_placed_stone().has_value());
    EXPECT_EQ(board.last_placed_stone()->id, 2u);
    EXPECT_EQ(board.deltas().size(), 3u);
}

TEST(EngineBoard, StonesByIdAscendAndFollowChanges) {
    Board board(19.0);
    ASSERT_FALSE(board.commit(place(7, 4, 4, Color::White), false));
    ASSERT_FALSE(board.commit(place(3, 10, 10, Color::Black), false));
    std::vector<std::uint32_t> ids;
    for (const Stone& s : TestAccess::stones_by_id(board)) ids.push_back(s.id);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{3, 7}));
    ASSERT_FALSE(board.commit(place(5, 15, 15, Color::Black, {7}), false));
    ids.clear();
    for (const Stone& s : TestAccess::stones_by_id(board)) ids.push_back(s.id);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{3, 5}));
}

TEST(EngineBoard, CloneEvolvesIndependently) {
    Board board(19.0);
    ASSERT_FALSE(board.commit(place(0, 4, 4, Color::Black), false));
    ASSERT_FALSE(board.commit(place(1, 8, 4, Color::White), false));
    ASSERT_FALSE(board.commit(place(2, 12, 4, Color::Black, {1}), false));
    const testing::Picture before = testing::picture(board);
    const std::uint64_t revision = board.revision();

    Board copy(board);
    EXPECT_FALSE(testing::first_difference(testing::picture(copy), before));
    EXPECT_EQ(copy.revision(), revision);

    ASSERT_FALSE(copy.commit(place(3, 15, 15, Color::White), false));
    ASSERT_TRUE(copy.undo());
    ASSERT_TRUE(copy.undo());  // brings stone 1 back into the copy only
    EXPECT_EQ(copy.stone_count(), 2u);
    EXPECT_EQ(copy.captures(Color::Black), 0u);

    EXPECT_FALSE(testing::first_difference(testing::picture(board), before));
    EXPECT_EQ(board.revision(), revision);
    EXPECT_EQ(board.captures(Color::Black), 1u);

    // And the other way round: the original changes, the copy does not.
    const testing::Picture copy_before = testing::picture(copy);
    ASSERT_TRUE(board.undo());
    EXPECT_FALSE(testing::first_difference(testing::picture(copy), copy_before));
}

}  // namespace
}  // namespace cellvane
