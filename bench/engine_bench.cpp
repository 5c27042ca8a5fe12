// Cost of the turn operations as the board fills: commit and undo should
// stay near constant (they touch only the zone round the stone), try_move
// is dominated by one position analysis.
#include <benchmark/benchmark.h>

#include <cstdint>

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
