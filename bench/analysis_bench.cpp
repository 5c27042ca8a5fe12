// Triangulation, partition, position analysis and liveness on random input.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"
#include "analysis/analysis.hpp"
#include "analysis/delaunay.hpp"
#include "analysis/partition.hpp"

namespace {

using namespace cellvane;

std::vector<Point> random_sites(std::size_t n, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1000.0);
    std::vector<Point> sites(n);
    for (Point& p : sites) p = {u(rng), u(rng)};
    return sites;
}

// Stones at least 2.0 apart on a board of size b, alternating colours.
std::vector<Stone> random_position(std::size_t count, double b, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(1.0, b - 1.0);
    std::vector<Stone> stones;
    for (int tries = 0; stones.size() < count && tries < 1000000; ++tries) {
        const Point p{u(rng), u(rng)};
        bool ok = true;
        for (const Stone& s : stones) {
            const double dx = s.position.x - p.x, dy = s.position.y - p.y;
            if (dx * dx + dy * dy < 4.0) {
                ok = false;
                break;
            }
        }
        if (!ok) continue;
        const auto id = static_cast<std::uint32_t>(stones.size());
        stones.push_back({p, id, id % 2 ? Color::White : Color::Black});
    }
    return stones;
}

void BM_Triangulate(benchmark::State& state) {
    const auto sites = random_sites(static_cast<std::size_t>(state.range(0)), 42);
    for (auto _ : state) {
        auto t = delaunay::triangulate(sites);
        benchmark::DoNotOptimize(t);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Triangulate)->RangeMultiplier(10)->Range(10, 100000)->Complexity(benchmark::oNLogN);

// The same with the buffers kept from one run to the next, as the position
// analysis keeps them.
void BM_TriangulateInto(benchmark::State& state) {
    const auto sites = random_sites(static_cast<std::size_t>(state.range(0)), 42);
    delaunay::Triangulation out;
    delaunay::Workspace ws;
    for (auto _ : state) {
        const bool ok = delaunay::triangulate_into(sites, out, ws);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(out.triangles.data());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_TriangulateInto)->RangeMultiplier(10)->Range(100, 100000)->Complexity(benchmark::oNLogN);

// Sites on a grid: many collinear triples, so the exact orientation path runs often.
void BM_TriangulateGrid(benchmark::State& state) {
    const auto side = static_cast<std::size_t>(state.range(0));
    std::vector<Point> sites;
    for (std::size_t i = 0; i < side; ++i) {
        for (std::size_t j = 0; j < side; ++j) sites.push_back({static_cast<double>(i) * 2.5, static_cast<double>(j) * 2.5});
    }
    for (auto _ : state) {
        auto t = delaunay::triangulate(sites);
        benchmark::DoNotOptimize(t);
    }
    state.counters["sites"] = static_cast<double>(sites.size());
}
BENCHMARK(BM_TriangulateGrid)->Arg(10)->Arg(100);

void BM_BuildPartition(benchmark::State& state) {
    const auto stones = random_position(static_cast<std::size_t>(state.range(0)), 25.5, 7);
    std::vector<Point> centres;
    for (const Stone& s : stones) centres.push_back(s.position);
    for (auto _ : state) {
        auto p = build_partition(25.5, centres);
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_BuildPartition)->Arg(100);

// The partition with its buffers kept, on a random position and on one
// whose stones also fill rows along two board edges (sites sharing a
// coordinate, where orientations are exactly zero).
void BM_BuildPartitionInto(benchmark::State& state) {
    // The board grows with the stones, 100 of them on a 25.5 board.
    const double b = 25.5 * std::sqrt(static_cast<double>(state.range(0)) / 100.0);
    auto stones = random_position(static_cast<std::size_t>(state.range(0)), b, 7);
    std::vector<Point> centres;
    for (const Stone& s : stones) centres.push_back(s.position);
    if (state.range(1) != 0) {
        for (double t = 1.0; t < b - 1.0; t += 2.5) {
            centres.push_back({1.0, t + 0.25});
            centres.push_back({t + 0.5, b - 1.0});
        }
    }
    VoronoiPartition part;
    PartitionWorkspace ws;
    for (auto _ : state) {
        const bool ok = build_partition_into(b, centres, part, ws);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(part.edges.data());
    }
    state.counters["stones"] = static_cast<double>(centres.size());
}
BENCHMARK(BM_BuildPartitionInto)->Args({100, 0})->Args({100, 1})->Args({1000, 0});

void BM_Analyse(benchmark::State& state) {
    const auto stones = random_position(static_cast<std::size_t>(state.range(0)), 25.5, 7);
    for (auto _ : state) {
        auto a = analyse(25.5, stones);
        benchmark::DoNotOptimize(a);
    }
    state.counters["stones"] = static_cast<double>(stones.size());
}
BENCHMARK(BM_Analyse)->Arg(10)->Arg(50)->Arg(100);

// The analysis written over the previous result, whose storage it reuses.
void BM_AnalyseInto(benchmark::State& state) {
    const auto stones = random_position(static_cast<std::size_t>(state.range(0)), 25.5, 7);
    PositionAnalysis a;
    for (auto _ : state) {
        analyse_into(25.5, stones, a);
        benchmark::DoNotOptimize(a);
    }
    state.counters["stones"] = static_cast<double>(stones.size());
}
BENCHMARK(BM_AnalyseInto)->Arg(10)->Arg(50)->Arg(100);

// The analysis as a host asks it after other work: before each run, out of
// the timing, a sort of random numbers scrambles the branch predictors and
// a sweep over a buffer larger than the second-level cache evicts the
// analysis' buffers, as the interpreter's own work between two positions
// does.
void BM_AnalyseCold(benchmark::State& state) {
    const auto stones = random_position(static_cast<std::size_t>(state.range(0)), 25.5, 7);
    PositionAnalysis a;
    std::mt19937 rng(11);
    std::vector<std::uint32_t> pile(60000);
    std::vector<unsigned char> sweep(8u << 20);
    for (auto _ : state) {
        state.PauseTiming();
        for (auto& v : pile) v = static_cast<std::uint32_t>(rng());
        std::sort(pile.begin(), pile.end());
        for (std::size_t k = 0; k < sweep.size(); k += 64) ++sweep[k];
        benchmark::DoNotOptimize(pile.data());
        benchmark::DoNotOptimize(sweep.data());
        state.ResumeTiming();
        analyse_into(25.5, stones, a);
        benchmark::DoNotOptimize(a);
    }
    state.counters["stones"] = static_cast<double>(stones.size());
}
BENCHMARK(BM_AnalyseCold)->Arg(100);

void BM_DeadStones(benchmark::State& state) {
    const auto stones = random_position(static_cast<std::size_t>(state.range(0)), 25.5, 7);
    AliveZone zone(25.5);
    for (const Stone& s : stones) zone.carve(s.id, s.position);
    const auto analysis = analyse(25.5, stones);
    for (auto _ : state) {
        auto black = dead_stones(analysis, zone, Color::Black);
        auto white = dead_stones(analysis, zone, Color::White);
        benchmark::DoNotOptimize(black);
        benchmark::DoNotOptimize(white);
    }
}
BENCHMARK(BM_DeadStones)->Arg(100);

}  // namespace
