#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <variant>

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

GameDelta played(Board& board, Point p) {
    std::variant<GameDelta, MoveError> result = board.try_move(p);
    if (auto* e = std::get_if<MoveError>(&result)) {
        ADD_FAILURE() << "move at (" << p.x << ", " << p.y << ") refused: " << e->message();
        return GameDelta{};
    }
    return std::get<GameDelta>(std::move(result));
}

MoveError refused(Board& board, Point p) {
    std::variant<GameDelta, MoveError> result = board.try_move(p);
    if (!std::holds_alternative<MoveError>(result)) {
        ADD_FAILURE() << "move at (" << p.x << ", " << p.y << ") was played";
        return MoveError{};
    }
    return std::get<MoveError>(result);
}

// A 4 x 4 board holds a single playable centre region, [1, 3] x [1, 3], and
// one stone at (2, 2) covers all of it.
TEST(EngineMove, FirstMoveOnAnEmptyBoard) {
    Board board(19.0);
    const GameDelta d = played(board, Point{4.0, 4.0});
    ASSERT_TRUE(d.new_stone.has_value());
    EXPECT_EQ(d.new_stone->id, 0u);
    EXPECT_EQ(d.new_stone->color, Color::Black);
    EXPECT_EQ(d.new_stone->position.x, 4.0);
    EXPECT_TRUE(d.captured_stone_ids.empty());
    EXPECT_EQ(board.turn(), 1u);
    EXPECT_EQ(board.color_to_move(), Color::White);
    EXPECT_EQ(board.revision(), 3u);
    EXPECT_EQ(board.history().size(), 1u);
    EXPECT_FALSE(board.history().back().provisional);
    EXPECT_EQ(board.status(), Status::Playing);
}

TEST(EngineMove, IdsCountPasses) {
    Board board(19.0);
    played(board, Point{4, 4});
    ASSERT_FALSE(board.pass_turn());
    const GameDelta third = played(board, Point{10, 10});
    EXPECT_EQ(third.new_stone->id, 2u);
    EXPECT_EQ(third.new_stone->color, Color::Black);
    EXPECT_EQ(board.turn(), 3u);
    EXPECT_EQ(board.revision(), 7u);  // 3 + 1 + 3
    ASSERT_NE(board.stone(0), nullptr);
    ASSERT_NE(board.stone(2), nullptr);
    EXPECT_EQ(board.stone(1), nullptr);

    // Undo gives the id back.
    ASSERT_TRUE(board.undo());
    EXPECT_EQ(played(board, Point{14, 14}).new_stone->id, 2u);
}

TEST(EngineMove, UnplaceablePositionsChangeNothing) {
    Board board(19.0);
    played(board, Point{9, 9});
    const testing::Picture before = picture(board);
    const std::uint64_t revision = board.revision();
    for (Point p : {Point{0.5, 9}, Point{10, 10}, Point{19.5, 9}, Point{-1, -1},
                    Point{std::numeric_limits<double>::quiet_NaN(), 4}, Point{1 - 2 * EPSILON, 5}}) {
        const MoveError e = refused(board, p);
        EXPECT_EQ(e.kind, MoveErrorKind::NotPlaceable);
        EXPECT_EQ(board.revision(), revision);
        EXPECT_EQ(first_difference(picture(board), before), std::nullopt);
    }
    EXPECT_EQ(refused(board, Point{19.5, 9}).message(), "no stone may be placed at (19.5, 9)");
    EXPECT_EQ(refused(board, Point{0.25, 4}).message(), "no stone may be placed at (0.25, 4)");
    // Within the tolerance of the edge strip is placeable.
    EXPECT_EQ(played(board, Point{1 - 5e-8, 4}).new_stone->id, 1u);
}

TEST(EngineMove, TwoPassesEndTheGame) {
    Board board(19.0);
    played(board, Point{4, 4});
    ASSERT_FALSE(board.pass_turn());
    EXPECT_EQ(board.status(), Status::NextPassEnds);
    played(board, Point{10, 10});
    EXPECT_EQ(board.status(), Status::Playing);
    ASSERT_FALSE(board.pass_turn());
    ASSERT_FALSE(board.pass_turn());
    EXPECT_EQ(board.status(), Status::Ended);

    const std::uint64_t revision = board.revision();
    std::optional<MoveError> third = board.pass_turn();
    ASSERT_TRUE(third.has_value());
    EXPECT_EQ(third->kind, MoveErrorKind::GameOver);
    EXPECT_EQ(third->message(), "the game ended on two passes and takes no further turns");
    EXPECT_EQ(refused(board, Point{14, 14}).kind, MoveErrorKind::GameOver);
    EXPECT_EQ(refused(board, Point{0, 0}).kind, MoveErrorKind::GameOver);  // game over comes first
    EXPECT_EQ(board.revision(), revision);
    EXPECT_EQ(board.turn(), 5u);

    std::optional<GameDelta> back = board.undo();
    ASSERT_TRUE(back.has_value());
    EXPECT_FALSE(back->new_stone.has_value());
    EXPECT_EQ(board.status(), Status::NextPassEnds);
    EXPECT_EQ(played(board, Point{14, 14}).new_stone->id, 4u);
}

TEST(EngineMove, SelfCaptureIsRefusedAndUndone) {
    Board board(4.0);
    const testing::Picture before = picture(board);
    const MoveError e = refused(board, Point{2, 2});
    EXPECT_EQ(e.kind, MoveErrorKind::SelfCapture);
    EXPECT_EQ(e.color, Color::Black);
    EXPECT_EQ(e.position.x, 2.0);
    EXPECT_EQ(e.message(), "a Black stone at (2, 2) would capture only Black's own stones");
    EXPECT_EQ(board.revision(), 2u);
    EXPECT_EQ(first_difference(picture(board), before), std::nullopt);

    ASSERT_FALSE(board.pass_turn());
    const MoveError white = refused(board, Point{2.25, 1.75});
    EXPECT_EQ(white.color, Color::White);
    EXPECT_EQ(white.message(), "a White stone at (2.25, 1.75) would capture only White's own stones");
    EXPECT_EQ(board.revision(), 5u);
    EXPECT_EQ(board.turn(), 1u);
}

// White stones sit in the corners of a 4 x 4 board, outside the playable
// square; Black's stone in the middle leaves no playable space anywhere, so
// every white group is dead and is taken.
TEST(EngineMove, CaptureTakesDeadEnemyStonesAscending) {
    Board board(4.0);
    ASSERT_FALSE(board.commit(place(5, 0.5, 0.5, Color::White), false));
    ASSERT_FALSE(board.commit(place(1, 3.5, 3.5, Color::White), false));
    const std::uint64_t revision = board.revision();

    const GameDelta d = played(board, Point{2, 2});
    EXPECT_EQ(d.new_stone->id, 2u);
    EXPECT_EQ(d.new_stone->color, Color::Black);
    EXPECT_EQ(d.captured_stone_ids, (std::vector<std::uint32_t>{1, 5}));
    EXPECT_EQ(board.revision(), revision + 3);
    EXPECT_EQ(board.captures(Color::Black), 2u);
    EXPECT_EQ(board.stone_count(), 1u);
    EXPECT_EQ(board.captured_stones().size(), 2u);
    // The captured centres are forced eyes, placeable whatever lies around them.
    EXPECT_TRUE(board.alive_zone().is_placeable(Point{0.5, 0.5}));
    EXPECT_TRUE(board.alive_zone().is_placeable(Point{3.5, 3.5}));
    // The forced eyes keep the black stone alive.
    EXPECT_TRUE(dead_stones(board.analysis(), board.alive_zone(), Color::Black).empty());

    // White's stone in one eye would leave Black the other: self-capture,
    // and the eye it took comes back.
    const testing::Picture before = picture(board);
    const MoveError e = refused(board, Point{0.5, 0.5});
    EXPECT_EQ(e.kind, MoveErrorKind::SelfCapture);
    EXPECT_EQ(e.color, Color::White);
    EXPECT_EQ(first_difference(picture(board), before), std::nullopt);
    EXPECT_EQ(board.alive_zone().forced_eyes().size(), 2u);
}

TEST(EngineMove, CaptureOfTheCapturer) {
    Board board(4.0);
    ASSERT_FALSE(board.commit(place(0, 0.5, 0.5, Color::White), false));
    ASSERT_FALSE(board.commit(pass_delta(), false));
    EXPECT_EQ(played(board, Point{2, 2}).captured_stone_ids, (std::vector<std::uint32_t>{0}));
    // White plays into the only eye: Black no longer touches playable space.
    const GameDelta back = played(board, Point{0.5, 0.5});
    EXPECT_EQ(back.new_stone->id, 3u);
    EXPECT_EQ(back.new_stone->color, Color::White);
    EXPECT_EQ(back.captured_stone_ids, (std::vector<std::uint32_t>{2}));
    EXPECT_EQ(board.captures(Color::White), 1u);
    EXPECT_EQ(board.captures(Color::Black), 1u);
    ASSERT_EQ(board.history().back().taken_eyes.size(), 1u);
    EXPECT_EQ(board.history().back().taken_eyes[0].x, 0.5);
    ASSERT_EQ(board.alive_zone().forced_eyes().size(), 1u);
    EXPECT_EQ(board.alive_zone().forced_eyes().begin()->second.x, 2.0);
    EXPECT_EQ(validate(board), std::nullopt);
}

TEST(EngineMove, UndoOfACaptureRestoresEverything) {
    Board board(4.0);
    ASSERT_FALSE(board.commit(place(0, 0.5, 0.5, Color::White), false));
    ASSERT_FALSE(board.commit(pass_delta(), false));
    const testing::Picture before = picture(board);
    const GameDelta d = played(board, Point{2, 2});
    EXPECT_EQ(d.captured_stone_ids, (std::vector<std::uint32_t>{0}));
    const std::uint64_t revision = board.revision();
    std::optional<GameDelta> back = board.undo();
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(testing::same_delta(*back, d));
    EXPECT_EQ(board.revision(), revision + 1);
    EXPECT_EQ(first_difference(picture(board), before), std::nullopt);
}

TEST(EngineMove, TrialOfAnIdTakenByReplayIsRefusedUnchanged) {
    Board board(19.0);
    // A hand-made log with ids ahead of the turn count.
    ASSERT_FALSE(board.commit(place(1, 4, 4, Color::White), false));
    const testing::Picture before = picture(board);
    const MoveError e = refused(board, Point{10, 10});
    EXPECT_EQ(e.kind, MoveErrorKind::Delta);
    EXPECT_EQ(e.commit.kind, CommitErrorKind::StoneExists);
    EXPECT_EQ(e.commit.stone, 1u);
    EXPECT_EQ(e.message(), "stone 1 is already on the board");
    EXPECT_EQ(board.revision(), 1u);
    EXPECT_EQ(first_difference(picture(board), before), std::nullopt);
}

TEST(EngineMemo, AnalysisRunsOncePerBoardState) {
    Board board(19.0);
    ASSERT_FALSE(board.commit(place(0, 4, 4, Color::Black), false));
    ASSERT_FALSE(board.commit(place(1, 10, 10, Color::White), false));

    std::uint64_t runs = TestAccess::analyse_runs();
    const PositionAnalysis& first = board.analysis();
    const PositionAnalysis& again = board.analysis();
    EXPECT_EQ(&first, &again);
    dead_stones(board.analysis(), board.alive_zone(), Color::White);
    dead_stones(board.analysis(), board.alive_zone(), Color::Black);
    TestAccess::stones_by_id(board);
    EXPECT_EQ(TestAccess::analyse_runs(), runs + 1);

    // A copy carries the filled memo with it.
    runs = TestAccess::analyse_runs();
    Board copy(board);
    EXPECT_EQ(copy.analysis().black.size(), 1u);
    EXPECT_EQ(copy.analysis().white.size(), 1u);
    EXPECT_EQ(TestAccess::analyse_runs(), runs);

    // A move without captures analyses its trial once, and that analysis
    // answers for the committed board.
    runs = TestAccess::analyse_runs();
    played(board, Point{15, 4});
    EXPECT_EQ(TestAccess::analyse_runs(), runs + 1);
    ASSERT_EQ(board.analysis().black.size(), 1u);
    EXPECT_EQ(board.analysis().black[0].stones.size(), 2u);
    ASSERT_EQ(board.analysis().white.size(), 1u);
    EXPECT_EQ(TestAccess::stones_by_id(board).size(), 3u);
    EXPECT_EQ(TestAccess::analyse_runs(), runs + 1);
    // ...and it is the analysis of the board as it stands.
    const PositionAnalysis fresh = analyse(board.board_size(), TestAccess::stones_by_id(board));
    ASSERT_EQ(fresh.black.size(), 1u);
    ASSERT_EQ(fresh.black[0].rings.size(), board.analysis().black[0].rings.size());
    for (std::size_t r = 0; r < fresh.black[0].rings.size(); ++r) {
        const Ring& want = fresh.black[0].rings[r];
        const Ring& got = board.analysis().black[0].rings[r];
        ASSERT_EQ(want.size(), got.size());
        for (std::size_t i = 0; i < want.size(); ++i) EXPECT_TRUE(testing::same_point(want[i], got[i]));
    }

    // Every change empties the memo; the next query fills it once.
    board.undo();
    runs = TestAccess::analyse_runs();
    EXPECT_EQ(board.analysis().black[0].stones.size(), 1u);
    board.analysis();
    EXPECT_EQ(TestAccess::analyse_runs(), runs + 1);
    ASSERT_FALSE(board.pass_turn());
    EXPECT_EQ(TestAccess::stones_by_id(board).size(), 2u);
    board.analysis();
    EXPECT_EQ(TestAccess::analyse_runs(), runs + 2);
}

TEST(EngineMemo, CapturingMoveAnalysesTheNewPositionAfresh) {
    Board board(4.0);
    ASSERT_FALSE(board.commit(place(0, 0.5, 0.5, Color::White), false));
    ASSERT_FALSE(board.commit(pass_delta(), false));
    played(board, Point{2, 2});
    const std::uint64_t runs = TestAccess::analyse_runs();
    // The trial board held the captured stone; the memo must not describe it.
    EXPECT_TRUE(board.analysis().white.empty());
    EXPECT_EQ(board.analysis().black.size(), 1u);
    EXPECT_EQ(TestAccess::analyse_runs(), runs + 1);
}

TEST(EngineCut, WrappersReachTheCutQuestions) {
    Board board(19.0);
    played(board, Point{4, 4});
    ASSERT_FALSE(board.pass_turn());
    played(board, Point{7, 4});
    EXPECT_TRUE(std::holds_alternative<CutKind>(board.pair_cuttable(0, 2)));
    const CutAnswer missing = board.pair_cuttable(0, 1);
    ASSERT_TRUE(std::holds_alternative<CutFault>(missing));
    EXPECT_EQ(std::get<CutFault>(missing).kind, CutFaultKind::NotInPlay);
    EXPECT_EQ(std::get<CutFault>(missing).a, 1u);
    EXPECT_TRUE(std::holds_alternative<CutKind>(board.boundary_cuttable(0, BoardEdge::Left)));
    // The search leaves no temporary circle behind.
    EXPECT_TRUE(board.alive_zone().temporary_circles().empty());
}

}  // namespace
}  // namespace cellvane

namespace cellvane {
namespace {

// A long random game on a small board: every state along the way is valid,
// undoing everything gives back the empty board, and committing the game's
// deltas onto a new board rebuilds the same position.
TEST(EngineGame, RandomPlayUndoAndRebuild) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> coordinate(0.0, 9.0);
    std::uniform_int_distribution<int> action(0, 19);
    Board board(9.0);
    const testing::Picture empty = picture(board);
    std::uint32_t captures_seen = 0;
    int moves = 0;
    for (int step = 0; step < 400 && board.status() != Status::Ended; ++step) {
        const int a = action(random);
        const std::uint64_t revision = board.revision();
        if (a == 0) {
            ASSERT_FALSE(board.pass_turn());
            EXPECT_EQ(board.revision(), revision + 1);
        } else if (a <= 2) {
            const bool had_history = !board.history().empty();
            EXPECT_EQ(board.undo().has_value(), had_history);
            EXPECT_EQ(board.revision(), revision + (had_history ? 1 : 0));
        } else {
            const std::optional<Point> p = board.alive_zone().nearest_living_move(Point{coordinate(random), coordinate(random)});
            if (!p) continue;
            std::variant<GameDelta, MoveError> result = board.try_move(*p);
            if (const auto* d = std::get_if<GameDelta>(&result)) {
                ++moves;
                captures_seen += static_cast<std::uint32_t>(d->captured_stone_ids.size());
                EXPECT_TRUE(std::is_sorted(d->captured_stone_ids.begin(), d->captured_stone_ids.end()));
                EXPECT_EQ(board.revision(), revision + 3);
            } else {
                const MoveError& e = std::get<MoveError>(result);
                ASSERT_NE(e.kind, MoveErrorKind::Delta) << e.message();
                EXPECT_EQ(board.revision(), revision + (e.kind == MoveErrorKind::SelfCapture ? 2 : 0));
            }
        }
        ASSERT_EQ(validate(board), std::nullopt) << "step " << step;
        // The list of stones by id is edited from the last one rather than
        // rebuilt; read every third step, so edits pile up in between.
        if (step % 3 == 0) {
            std::vector<Stone> listed;
            for (const auto& [id, s] : board.stones_in_play()) listed.push_back(s);
            const std::vector<Stone>& by_id = TestAccess::stones_by_id(board);
            ASSERT_EQ(by_id.size(), listed.size()) << "step " << step;
            for (std::size_t i = 0; i < listed.size(); ++i) {
                ASSERT_EQ(by_id[i].id, listed[i].id) << "step " << step;
                ASSERT_TRUE(testing::same_point(by_id[i].position, listed[i].position)) << "step " << step;
            }
        }
    }
    EXPECT_GT(moves, 50);
    EXPECT_GT(captures_seen, 0u);  // the board is small enough for fights

    Board rebuilt(9.0);
    for (const GameDelta& d : board.deltas()) ASSERT_FALSE(rebuilt.commit(d, false));
    EXPECT_EQ(first_difference(picture(rebuilt), picture(board)), std::nullopt);
    EXPECT_EQ(rebuilt.revision(), board.deltas().size());

    while (board.undo()) ASSERT_EQ(validate(board), std::nullopt);
    EXPECT_EQ(first_difference(picture(board), empty), std::nullopt);
}

}  // namespace
}  // namespace cellvane
