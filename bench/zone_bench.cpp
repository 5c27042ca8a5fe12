// Cost of the playable area's per-move work as the board fills: the depth
// test every move makes, carving and reclaiming one dead zone (every commit
// and undo), and the nearest living move (cut questions).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"
#include "zone/zone.hpp"

namespace {

using cellvane::AliveZone;
using cellvane::Point;

constexpr double SPACING = 3.0;

// A k x k grid of dead zones three units apart (neighbours cross), with the
// centre left free. Answers the zone and the free point.
AliveZone grid_zone(int k, Point& free_point) {
    AliveZone zone(2.0 * 2.0 + SPACING * (k - 1));
    std::uint32_t id = 0;
    for (int i = 0; i < k; ++i) {
        for (int j = 0; j < k; ++j) {
            const Point p{2.0 + SPACING * i, 2.0 + SPACING * j};
            if (i == k / 2 && j == k / 2) {
                free_point = p;
                continue;
            }
            (void)zone.carve(id++, p);
        }
    }
    return zone;
}

void BM_DepthAt(benchmark::State& state) {
    Point free_point;
    const AliveZone zone = grid_zone(static_cast<int>(state.range(0)), free_point);
    for (auto _ : state) benchmark::DoNotOptimize(zone.depth_at(free_point));
}
BENCHMARK(BM_DepthAt)->Arg(3)->Arg(7)->Arg(13);

void BM_CarveReclaim(benchmark::State& state) {
    Point free_point;
    AliveZone zone = grid_zone(static_cast<int>(state.range(0)), free_point);
    for (auto _ : state) {
        (void)zone.carve(1000000, free_point);
        (void)zone.reclaim(1000000);
    }
}
BENCHMARK(BM_CarveReclaim)->Arg(3)->Arg(7)->Arg(13);

void BM_NearestLivingMove(benchmark::State& state) {
    Point free_point;
    const AliveZone zone = grid_zone(static_cast<int>(state.range(0)), free_point);
    const Point inside{2.5, 2.0};
    for (auto _ : state) benchmark::DoNotOptimize(zone.nearest_living_move(inside));
}
BENCHMARK(BM_NearestLivingMove)->Arg(3)->Arg(7)->Arg(13);

}  // namespace
