// Cost of the turn operations as the board fills: commit and undo should
// stay near constant (they touch only the zone round the stone), try_move
// is dominated by one position analysis.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"
#include "analysis/analysis.hpp"
#include "engine/engine.hpp"
#include "zone/zone.hpp"

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
// same dead zone in a copy of the board's zone, with nothing of the engine
// around it.
void BM_ZoneCarveReclaim(benchmark::State& state) {
    Point free_point;
    const Board board = grid_board(static_cast<int>(state.range(0)), free_point);
    cellvane::AliveZone zone = board.alive_zone();
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

// try_move and, when the move was committed, undo, over a cycle of `moves`
// on `board`, which comes back as it was; counts the stones and the share of
// moves committed.
void try_move_undo_cycle(benchmark::State& state, Board& board, const std::vector<Point>& moves) {
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

// try_move and, when the move was committed, undo, over a cycle of candidate
// moves on a position of random play. Args: board size times 10, stones.
void BM_RandomTryMoveUndo(benchmark::State& state) {
    const double size = static_cast<double>(state.range(0)) / 10.0;
    Board board = random_play_board(size, static_cast<std::size_t>(state.range(1)), 2024);
    try_move_undo_cycle(state, board, candidate_moves(board, 32, 77));
}
BENCHMARK(BM_RandomTryMoveUndo)
    ->Args({180, 25})
    ->Args({180, 50})
    ->Args({180, 55})
    ->Args({255, 100})
    ->Unit(benchmark::kMicrosecond);

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

// --------------------------------------------------- large scattered boards

namespace {

// Area of board per stone on the scattered boards: about 70% of the density
// at which random placement jams.
constexpr double AREA_PER_STONE = 8.0;

// A board of `stones` stones scattered at random: uniform points kept when
// they are placeable (at least 1 from every edge, 2 from every stone kept so
// far), black or white by the parity of the count kept so far, committed as
// turns without a life-and-death verdict, as a replayed log would be. Stones
// of dead groups are then taken out and the count refilled the same way
// until no group is dead, as on a board that play reached. The board's side
// grows with the square root of the count, so the density stays the same.
Board scattered_board(std::size_t stones, std::uint64_t seed) {
    const double size = std::sqrt(static_cast<double>(stones) * AREA_PER_STONE);
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(1.0, size - 1.0);
    // Kept centres by cell of side 2, so the spacing test looks at nine cells.
    const auto cells = static_cast<std::size_t>(size / 2.0) + 1;
    auto cell_of = [cells](Point p) {
        return static_cast<std::size_t>(p.x / 2.0) * cells + static_cast<std::size_t>(p.y / 2.0);
    };
    std::vector<std::vector<Point>> grid(cells * cells);
    std::vector<Stone> kept;
    for (;;) {
        while (kept.size() < stones) {
            const Point p{u(rng), u(rng)};
            const auto cx = static_cast<std::size_t>(p.x / 2.0);
            const auto cy = static_cast<std::size_t>(p.y / 2.0);
            bool free = true;
            for (std::size_t gx = cx == 0 ? 0 : cx - 1; free && gx <= cx + 1 && gx < cells; ++gx) {
                for (std::size_t gy = cy == 0 ? 0 : cy - 1; free && gy <= cy + 1 && gy < cells; ++gy) {
                    for (const Point& q : grid[gx * cells + gy]) {
                        const double dx = q.x - p.x;
                        const double dy = q.y - p.y;
                        if (dx * dx + dy * dy < 4.0) {
                            free = false;
                            break;
                        }
                    }
                }
            }
            if (!free) continue;
            grid[cell_of(p)].push_back(p);
            kept.push_back(Stone{p, 0, kept.size() % 2 == 0 ? Color::Black : Color::White});
        }
        Board board(size);
        for (std::size_t i = 0; i < kept.size(); ++i) {
            Stone s = kept[i];
            s.id = static_cast<std::uint32_t>(i);
            (void)board.commit(GameDelta{s, {}}, false);
        }
        std::vector<bool> dead(kept.size(), false);
        bool any = false;
        for (const Color c : {Color::Black, Color::White}) {
            for (const Stone& s : cellvane::dead_stones(board.analysis(), board.alive_zone(), c)) {
                dead[s.id] = true;
                any = true;
            }
        }
        if (!any) return board;
        std::vector<Stone> alive;
        for (std::size_t i = 0; i < kept.size(); ++i) {
            if (!dead[i]) {
                alive.push_back(kept[i]);
                continue;
            }
            auto& cell = grid[cell_of(kept[i].position)];
            for (auto it = cell.begin(); it != cell.end(); ++it) {
                if (it->x == kept[i].position.x && it->y == kept[i].position.y) {
                    cell.erase(it);
                    break;
                }
            }
        }
        kept.swap(alive);
    }
}

// Boards are built once per process: the largest takes a while to carve.
Board& cached_scattered_board(std::size_t stones) {
    static std::map<std::size_t, Board> boards;
    auto it = boards.find(stones);
    if (it == boards.end()) it = boards.emplace(stones, scattered_board(stones, 31)).first;
    return it->second;
}

// try_move and, when committed, undo over snapped random points of a
// scattered board; the growth from 1,000 to 10,000 stones is the measure.
void BM_ScatteredTryMoveUndo(benchmark::State& state) {
    Board& board = cached_scattered_board(static_cast<std::size_t>(state.range(0)));
    try_move_undo_cycle(state, board, candidate_moves(board, 32, 77));
}
BENCHMARK(BM_ScatteredTryMoveUndo)->Arg(300)->Arg(1000)->Arg(3000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// Every same-colour pair of a scattered board within the pair cut distance,
// asked in a shuffled order on a fresh copy of the board (the copy is not
// timed): searches and the filling of the cut memo.
void BM_ScatteredCutQuestions(benchmark::State& state) {
    const Board& board = cached_scattered_board(static_cast<std::size_t>(state.range(0)));
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    const auto& in_play = board.stones_in_play();
    for (const auto& [a, sa] : in_play) {
        for (auto it = in_play.upper_bound(a); it != in_play.end(); ++it) {
            const Stone& sb = it->second;
            const double d = cellvane::distance(sa.position, sb.position);
            if (sa.color == sb.color && d <= cellvane::MAX_PAIR_CUT_DISTANCE) pairs.emplace_back(a, it->first);
        }
    }
    std::shuffle(pairs.begin(), pairs.end(), std::mt19937_64(5));
    for (auto _ : state) {
        state.PauseTiming();
        Board copy(board);
        state.ResumeTiming();
        for (const auto& [a, b] : pairs) benchmark::DoNotOptimize(copy.pair_cuttable(a, b));
    }
    state.counters["pairs"] = static_cast<double>(pairs.size());
}
BENCHMARK(BM_ScatteredCutQuestions)->Arg(300)->Arg(3000)->Unit(benchmark::kMillisecond);

}  // namespace

// ------------------------------------------- the performance table's positions

namespace {

// bench/table.py times the module on positions made with Python's random
// numbers. To set the engine alone beside it on the very same work, it writes
// each such row as a script into the folder named by CELLVANE_BENCH_SCRIPTS,
// one line per item:
//   size X                          the board's side
//   delta X Y ID COLOUR [CAPTURED]  a turn of the position's log (COLOUR 0 for
//   delta pass                      black, 1 for white), committed as a replay would
//   probe X Y                       a point of the timed cycle: try_move, then
//                                   undo when the move was committed
//   aim X Y                         a turn of the timed game: the nearest
//                                   living move to (X, Y), played if there is one
//   pass                            a pass of the timed game
// Numbers are written in hexadecimal floating point, so every point is the
// table's to the bit. A script with probes times one probe per iteration on
// its committed log; one with aims or passes times its whole game from an
// empty board. Each file becomes the benchmark BM_Script/<file stem>.
struct Script {
    double size = 0.0;
    std::vector<GameDelta> log;
    std::vector<Point> probes;
    std::vector<std::optional<Point>> game;  // aims, and nullopt for a pass
};

bool read_number(std::istringstream& in, double& out) {
    std::string token;
    if (!(in >> token)) return false;
    char* end = nullptr;
    out = std::strtod(token.c_str(), &end);
    return end == token.c_str() + token.size();
}

bool read_point(std::istringstream& in, Point& out) { return read_number(in, out.x) && read_number(in, out.y); }

// The script in `path`, or nullopt (with the faulty line on stderr) when a
// line does not read as one of the items above.
std::optional<Script> read_script(const std::filesystem::path& path) {
    std::ifstream file(path);
    Script script;
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream in(line);
        std::string item;
        in >> item;
        bool read = true;
        if (item == "size") {
            read = read_number(in, script.size);
        } else if (item == "delta") {
            GameDelta delta;
            std::string first;
            std::streampos mark = in.tellg();
            if (in >> first && first != "pass") {
                in.seekg(mark);
                Stone stone{};
                double id = 0.0;
                double colour = 0.0;
                read = read_point(in, stone.position) && read_number(in, id) && read_number(in, colour);
                stone.id = static_cast<std::uint32_t>(id);
                stone.color = colour == 0.0 ? Color::Black : Color::White;
                delta.new_stone = stone;
            }
            double captured = 0.0;
            while (read && read_number(in, captured)) delta.captured_stone_ids.push_back(static_cast<std::uint32_t>(captured));
            script.log.push_back(std::move(delta));
        } else if (item == "probe") {
            Point p;
            read = read_point(in, p);
            script.probes.push_back(p);
        } else if (item == "aim") {
            Point p;
            read = read_point(in, p);
            script.game.emplace_back(p);
        } else if (item == "pass") {
            script.game.emplace_back(std::nullopt);
        } else {
            read = item.empty();
        }
        if (!read) {
            std::fprintf(stderr, "%s: cannot read the line \"%s\"\n", path.c_str(), line.c_str());
            return std::nullopt;
        }
    }
    return script;
}

// The board of a script's log, or nullopt when the engine refuses a turn of it.
std::optional<Board> logged_board(const Script& script) {
    Board board(script.size);
    for (const GameDelta& delta : script.log) {
        if (board.commit(delta, false)) return std::nullopt;
    }
    return board;
}

void run_script(benchmark::State& state, const Script& script) {
    std::optional<Board> board = logged_board(script);
    if (!board) {
        state.SkipWithError("the engine refuses a turn of the script's log");
        return;
    }
    if (!script.probes.empty()) {
        try_move_undo_cycle(state, *board, script.probes);
        return;
    }
    for (auto _ : state) {
        std::optional<Board> game = logged_board(script);
        for (const std::optional<Point>& aim : script.game) {
            if (!aim) {
                (void)game->pass_turn();
            } else if (const std::optional<Point> snapped = game->nearest_living_move(*aim)) {
                benchmark::DoNotOptimize(game->try_move(*snapped));
            }
        }
        benchmark::DoNotOptimize(game->revision());
        state.counters["turns"] = static_cast<double>(game->turn());
    }
}

// Registers one benchmark per script file of the folder named by
// CELLVANE_BENCH_SCRIPTS, before the benchmark library reads its command line.
[[maybe_unused]] const bool scripts_registered = [] {
    const char* folder = std::getenv("CELLVANE_BENCH_SCRIPTS");
    if (folder == nullptr) return false;
    std::error_code error;
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    for (const auto& path : paths) {
        std::optional<Script> script = read_script(path);
        if (!script) continue;
        const std::string name = "BM_Script/" + path.stem().string();
        benchmark::RegisterBenchmark(name.c_str(), [script = std::move(*script)](benchmark::State& state) {
            run_script(state, script);
        })->Unit(benchmark::kMicrosecond);
    }
    return true;
}();

}  // namespace
