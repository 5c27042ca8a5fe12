// Cost of the turn operations as the board fills: commit and undo should
// stay near constant (they touch only the zone round the stone), try_move
// is dominated by one position analysis.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <optional>
#include <random>
#include <variant>
#include <vector>

#include "engine/engine.hpp"

namespace {

using cellvane::Board;
using cellvane::Color;
using cellvane::GameDelta;
using cellvane::Point;
using cellvane::Stone;

constexpr double SPACING = 3.0;

// A k x k grid of stones three units apart, alternating colours, with the
// centre point left empty. Answers the board and the free centre.
Board grid_board(int k, Point& free_point) {
    const double size = 2.0 * 2.0 + SPACING * (k - 1);
    Board board(size);
    const int centre = k / 2;
    std::uint32_t id = 0;
    for (int i = 0; i < k; ++i) {
        for (int j = 0; j < k; ++j) {
            const Point p{2.0 + SPACING * i, 2.0 + SPACING * j};
            if (i == centre && j == centre) {
                free_point = p;
                continue;
            }
            const Color c = (i + j) % 2 == 0 ? Color::Black : Color::White;
            (void)board.commit(GameDelta{Stone{p, id, c}, {}}, false);
            ++id;
        }
    }
    return board;
}

void BM_CommitUndo(benchmark::State& state) {
    Point free_point;
    Board board = grid_board(static_cast<int>(state.range(0)), free_point);
    const Stone stone{free_point, board.turn(), board.color_to_move()};
    for (auto _ : state) {
        (void)board.commit(GameDelta{stone, {}}, true);
        benchmark::DoNotOptimize(board.undo());
    }
    state.counters["stones"] = static_cast<double>(board.stone_count());
}
BENCHMARK(BM_CommitUndo)->Arg(4)->Arg(8)->Arg(16)->Arg(32);

// The alive zone's share of a commit and undo: carving and reclaiming the
// same dead zone on the same board, with nothing of the engine around it.
void BM_ZoneCarveReclaim(benchmark::State& state) {
    Point free_point;
    Board board = grid_board(static_cast<int>(state.range(0)), free_point);
    cellvane::AliveZone& zone = board.alive_zone_mut();
    const std::uint32_t id = board.turn();
    for (auto _ : state) {
        benchmark::DoNotOptimize(zone.carve(id, free_point));
        benchmark::DoNotOptimize(zone.reclaim(id));
    }
}
BENCHMARK(BM_ZoneCarveReclaim)->Arg(4)->Arg(8)->Arg(16)->Arg(32);

void BM_PassUndo(benchmark::State& state) {
    Point free_point;
    Board board = grid_board(static_cast<int>(state.range(0)), free_point);
    for (auto _ : state) {
        (void)board.pass_turn();
        benchmark::DoNotOptimize(board.undo());
    }
}
BENCHMARK(BM_PassUndo)->Arg(4)->Arg(32);

void BM_TryMoveUndo(benchmark::State& state) {
    Point free_point;
    Board board = grid_board(static_cast<int>(state.range(0)), free_point);
    for (auto _ : state) {
        auto result = board.try_move(free_point);
        benchmark::DoNotOptimize(result);
        board.undo();
    }
    state.counters["stones"] = static_cast<double>(board.stone_count());
}
BENCHMARK(BM_TryMoveUndo)->Arg(4)->Arg(8)->Arg(16)->Arg(32);

// The move followed by the queries a bot makes: the analysis of the trial
// serves them when nothing was captured.
void BM_TryMoveQueryUndo(benchmark::State& state) {
    Point free_point;
    Board board = grid_board(static_cast<int>(state.range(0)), free_point);
    for (auto _ : state) {
        auto result = board.try_move(free_point);
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(cellvane::dead_stones(board.analysis(), board.alive_zone(), Color::Black));
        board.undo();
    }
}
BENCHMARK(BM_TryMoveQueryUndo)->Arg(8)->Arg(16);

void BM_Clone(benchmark::State& state) {
    Point free_point;
    const Board board = grid_board(static_cast<int>(state.range(0)), free_point);
    for (auto _ : state) {
        Board copy(board);
        benchmark::DoNotOptimize(copy.revision());
    }
}
BENCHMARK(BM_Clone)->Arg(8)->Arg(32);

}  // namespace

// ------------------------------------------------- positions of random play

namespace {

using cellvane::MoveError;

// One step of seeded random play: a uniform point of the board square,
// snapped to the nearest living move, then played. Answers false when
// nothing on the board is placeable any more; a refused move counts in
// `refused` and changes nothing.
bool random_step(Board& board, std::mt19937_64& rng, int& refused) {
    std::uniform_real_distribution<double> u(0.0, board.board_size());
    const Point aim{u(rng), u(rng)};
    const std::optional<Point> snapped = board.alive_zone().nearest_living_move(aim);
    if (!snapped) return false;
    auto result = board.try_move(*snapped);
    if (std::holds_alternative<MoveError>(result)) {
        ++refused;
    } else {
        refused = 0;
    }
    return true;
}

// A board reached by random play with `stones` stones in play, or as close
// as random play gets.
Board random_play_board(double size, std::size_t stones, std::uint64_t seed) {
    Board board(size);
    std::mt19937_64 rng(seed);
    int refused = 0;
    while (board.stone_count() < stones && refused < 50) {
        if (!random_step(board, rng, refused)) break;
    }
    return board;
}

// Candidate moves on a board: snapped random points, whatever try_move makes
// of them (a refused move costs as much as an accepted one up to its verdict).
std::vector<Point> candidate_moves(const Board& board, std::size_t count, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(0.0, board.board_size());
    std::vector<Point> out;
    for (std::size_t tries = 0; out.size() < count && tries < 100 * count; ++tries) {
        if (const auto p = board.alive_zone().nearest_living_move(Point{u(rng), u(rng)})) out.push_back(*p);
    }
    return out;
}

// try_move and, when the move was committed, undo, over a cycle of candidate
// moves on a position of random play. Args: board size times 10, stones.
void BM_RandomTryMoveUndo(benchmark::State& state) {
    const double size = static_cast<double>(state.range(0)) / 10.0;
    Board board = random_play_board(size, static_cast<std::size_t>(state.range(1)), 2024);
    const std::vector<Point> moves = candidate_moves(board, 32, 77);
    if (moves.empty()) {
        state.SkipWithError("no placeable point");
        return;
    }
    std::size_t i = 0;
    std::size_t accepted = 0;
    for (auto _ : state) {
        auto result = board.try_move(moves[i]);
        if (!std::holds_alternative<MoveError>(result)) {
            ++accepted;
            board.undo();
        }
        benchmark::DoNotOptimize(result);
        i = (i + 1) % moves.size();
    }
    state.counters["stones"] = static_cast<double>(board.stone_count());
    state.counters["accepted"] =
        benchmark::Counter(static_cast<double>(accepted) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_RandomTryMoveUndo)->Args({180, 25})->Args({180, 50})->Args({255, 100})->Unit(benchmark::kMicrosecond);

// A whole random game on an 18 board: play until nothing is placeable or 50
// moves in a row are refused, then two passes.
void BM_RandomGame(benchmark::State& state) {
    std::size_t turns = 0;
    for (auto _ : state) {
        Board board(18.0);
        std::mt19937_64 rng(99);
        int refused = 0;
        while (refused < 50 && random_step(board, rng, refused)) {
        }
        (void)board.pass_turn();
        (void)board.pass_turn();
        turns = board.turn();
        benchmark::DoNotOptimize(board.revision());
    }
    state.counters["turns"] = static_cast<double>(turns);
}
BENCHMARK(BM_RandomGame)->Unit(benchmark::kMillisecond);

}  // namespace
