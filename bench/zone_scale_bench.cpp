// How the playable area's costs grow with the number of dead zones: a cluster
// of overlapping dead zones (every one crossing every other, as a hostile log
// can make them), and boards of scattered stones at the density of play, on
// which carving, reclaiming, the depth test and the nearest living move should
// cost about the same whatever the number of stones.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"
#include "zone/zone.hpp"

namespace {

using cellvane::AliveZone;
using cellvane::Point;

std::size_t heap_in_use() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// n centres uniform in the disc of radius 1 round the middle of an 18 board.
std::vector<Point> cluster(int n) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Point> out;
    for (int i = 0; i < n; ++i) {
        const double r = std::sqrt(unit(rng));
        const double a = unit(rng) * 6.283185307179586;
        out.push_back({9.0 + r * std::cos(a), 9.0 + r * std::sin(a)});
    }
    return out;
}

void BM_ClusterCarve(benchmark::State& state) {
    const auto centres = cluster(static_cast<int>(state.range(0)));
    double bytes = 0.0;
    for (auto _ : state) {
        const std::size_t before = heap_in_use();
        AliveZone zone(18.0);
        std::uint32_t id = 0;
        for (const Point c : centres) (void)zone.carve(id++, c);
        bytes = static_cast<double>(heap_in_use() - before);
        benchmark::DoNotOptimize(zone.graph().live_count());
    }
    state.counters["MB"] = bytes / 1048576.0;
}
BENCHMARK(BM_ClusterCarve)->Arg(100)->Arg(200)->Arg(400)->Unit(benchmark::kMillisecond)->Iterations(1);

// n centres at least 2.0 apart and 1.0 from the edges, about 8 square units
// of board each; answers the board size.
double scattered(int n, std::vector<Point>& out) {
    const double size = std::sqrt(n * 8.0);
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> coord(1.0, size - 1.0);
    const int cells = static_cast<int>(size / 2.0) + 1;
    std::vector<std::vector<Point>> grid(static_cast<std::size_t>(cells * cells));
    while (static_cast<int>(out.size()) < n) {
        const Point p{coord(rng), coord(rng)};
        const int cx = static_cast<int>(p.x / 2.0);
        const int cy = static_cast<int>(p.y / 2.0);
        bool clear = true;
        for (int gx = cx - 1; gx <= cx + 1 && clear; ++gx) {
            for (int gy = cy - 1; gy <= cy + 1 && clear; ++gy) {
                if (gx < 0 || gy < 0 || gx >= cells || gy >= cells) continue;
                for (const Point q : grid[static_cast<std::size_t>(gx * cells + gy)]) {
                    if ((q.x - p.x) * (q.x - p.x) + (q.y - p.y) * (q.y - p.y) < 4.0) clear = false;
                }
            }
        }
        if (!clear) continue;
        grid[static_cast<std::size_t>(cx * cells + cy)].push_back(p);
        out.push_back(p);
    }
    return size;
}

struct Scattered {
    AliveZone zone;
    std::vector<Point> probes;
};

Scattered scattered_zone(int n) {
    std::vector<Point> centres;
    const double size = scattered(n, centres);
    Scattered out{AliveZone(size), {}};
    std::uint32_t id = 0;
    for (const Point c : centres) (void)out.zone.carve(id++, c);
    std::mt19937_64 rng(13);
    std::uniform_real_distribution<double> coord(0.0, size);
    for (int i = 0; i < 64; ++i) {
        if (const auto q = out.zone.nearest_living_move({coord(rng), coord(rng)})) out.probes.push_back(*q);
    }
    return out;
}

void BM_ScatteredCarveReclaim(benchmark::State& state) {
    Scattered s = scattered_zone(static_cast<int>(state.range(0)));
    std::size_t i = 0;
    for (auto _ : state) {
        (void)s.zone.carve(10000000, s.probes[i++ % s.probes.size()]);
        (void)s.zone.reclaim(10000000);
    }
}
BENCHMARK(BM_ScatteredCarveReclaim)->Arg(1000)->Arg(10000);

void BM_ScatteredDepthAt(benchmark::State& state) {
    const Scattered s = scattered_zone(static_cast<int>(state.range(0)));
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(s.zone.depth_at(s.probes[i++ % s.probes.size()]));
}
BENCHMARK(BM_ScatteredDepthAt)->Arg(1000)->Arg(10000);

void BM_ScatteredNearestLivingMove(benchmark::State& state) {
    const Scattered s = scattered_zone(static_cast<int>(state.range(0)));
    std::mt19937_64 rng(17);
    const double size = s.zone.graph().board_size();
    std::uniform_real_distribution<double> coord(0.0, size);
    std::vector<Point> points;
    for (int i = 0; i < 64; ++i) points.push_back({coord(rng), coord(rng)});
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(s.zone.nearest_living_move(points[i++ % points.size()]));
}
BENCHMARK(BM_ScatteredNearestLivingMove)->Arg(1000)->Arg(10000);

void BM_ScatteredBytesPerStone(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<Point> centres;
    const double size = scattered(n, centres);
    double bytes = 0.0;
    double segments = 0.0;
    double points = 0.0;
    for (auto _ : state) {
        const std::size_t before = heap_in_use();
        AliveZone zone(size);
        std::uint32_t id = 0;
        for (const Point c : centres) (void)zone.carve(id++, c);
        bytes = static_cast<double>(heap_in_use() - before);
        segments = static_cast<double>(zone.graph().live_count());
        points = static_cast<double>(zone.graph().index().size());
    }
    state.counters["bytes_per_stone"] = bytes / n;
    state.counters["segments_per_stone"] = segments / n;
    state.counters["points_per_stone"] = points / n;
}
BENCHMARK(BM_ScatteredBytesPerStone)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
