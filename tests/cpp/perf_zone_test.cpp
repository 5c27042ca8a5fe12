// The zone's shortcuts agree with the straightforward computations they
// replace: carving passes over circles too far away to cross, and removing a
// shape takes back only the marks its crossings left.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <tuple>

#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"
#include "zone_support.hpp"
#include "test_access.hpp"

namespace cellvane {
namespace {

using zone_testing::broken_invariant;
using zone_testing::picture;
using zone_testing::SegmentPicture;

// Every occupied slot and every other part of the structure.
struct ZonePicture {
    std::vector<SegmentPicture> segments;
    std::vector<SegId> free_list;
    PointIndex index;
    std::vector<std::tuple<ShapeId, std::uint64_t, std::uint64_t>> shapes;
    ShapeId next_shape_id = 0;
    bool operator==(const ZonePicture&) const = default;
};

ZonePicture zone_picture(const AliveZone& z) {
    const ClipGraph& g = z.graph();
    ZonePicture out;
    for (SegId i = 0; i < g.arena_size(); ++i) {
        if (const Segment* s = g.slot(i)) out.segments.push_back(picture(i, *s));
    }
    out.free_list = g.free_list();
    out.index = g.index();
    for (const auto& [id, shape] : g.shapes()) out.shapes.emplace_back(id, shape.count, shape.head_cover);
    out.next_shape_id = g.next_shape_id();
    return out;
}

TEST(PerfZone, ReclaimKeepsCoverageMarksExact) {
    // Stones packed tightly (many crossings, many coverers per segment, parts
    // that run past a list's head), reclaimed in random order: after each,
    // the marks agree with the counts the walk carries and with the geometry,
    // and a temporary circle pushed and popped leaves every surviving segment
    // as it found it.
    std::mt19937_64 rng(5);
    for (int round = 0; round < 4; ++round) {
        const double size = round % 2 == 0 ? 13.0 : 25.5;
        std::uniform_real_distribution<double> u(0.5, size - 0.5);
        AliveZone zone(size);
        std::vector<std::uint32_t> stones;
        for (std::uint32_t id = 0; id < 160; ++id) {
            const Point p{u(rng), u(rng)};
            // Placement rules ignored on purpose: overlapping dead zones
            // stack coverage deeper than play does.
            if (id % 3 != 0 && zone.depth_at(p) > 1.0) continue;
            ASSERT_EQ(zone.carve(id, p), std::nullopt);
            stones.push_back(id);
        }
        std::shuffle(stones.begin(), stones.end(), rng);
        for (const std::uint32_t id : stones) {
            ASSERT_EQ(zone.reclaim(id), std::nullopt);
            ASSERT_EQ(broken_invariant(zone), std::nullopt) << "round " << round << " stone " << id;
            if (id % 5 == 0) zone_testing::expect_coverage_matches_geometry(zone);
            if (id % 7 == 0) {
                const ZonePicture before = zone_picture(zone);
                zone.push_temporary_circle({u(rng), u(rng)});
                zone.pop_temporary_circle();
                ZonePicture after = zone_picture(zone);
                after.free_list = before.free_list;
                after.next_shape_id = before.next_shape_id;
                ASSERT_TRUE(after == before) << "round " << round << " temporary";
            }
        }
        EXPECT_EQ(zone.graph().shapes().size(), 4u);
    }
}

TEST(PerfZone, LongListsSplitWhereTheWalkWould) {
    // Piled stones: nearly every dead zone crosses every other, so lists grow
    // to hundreds of segments and new points find their place by bisection
    // of the offset order. In a build with assertions, every bisection is
    // checked against the walk from the head where it is made; here the
    // structure, its offset orders included, must stay well formed and the
    // zone must cover what the circles cover after every carve, reclaim and
    // temporary circle. Half the centres are snapped to a grid of quarters,
    // so that offsets tie.
    std::mt19937_64 rng(17);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (const Point pile : {Point{9.0, 9.0}, Point{1.5, 6.0}}) {
        AliveZone zone(18.0);
        std::vector<std::uint32_t> live;
        bool used = false;
        for (std::uint32_t id = 0; id < 160; ++id) {
            if (live.size() > 20 && unit(rng) < 0.3) {
                const std::size_t at = static_cast<std::size_t>(unit(rng) * static_cast<double>(live.size()));
                ASSERT_EQ(zone.reclaim(live[at]), std::nullopt);
                live.erase(live.begin() + static_cast<std::ptrdiff_t>(at));
            } else {
                Point c{pile.x + (unit(rng) * 2.0 - 1.0), pile.y + (unit(rng) * 2.0 - 1.0)};
                if (id % 2 == 0) c = {std::round(c.x * 4.0) / 4.0, std::round(c.y * 4.0) / 4.0};
                ASSERT_EQ(zone.carve(id, c), std::nullopt);
                live.push_back(id);
            }
            for (const auto& [shape_id, shape] : zone.graph().shapes()) used = used || !shape.by_offset.empty();
            if (id % 10 == 0) {
                const ZonePicture before = zone_picture(zone);
                zone.push_temporary_circle({pile.x + unit(rng), pile.y - unit(rng)});
                ASSERT_EQ(broken_invariant(zone), std::nullopt) << "temporary after " << id;
                zone.pop_temporary_circle();
                ZonePicture after = zone_picture(zone);
                after.free_list = before.free_list;
                after.next_shape_id = before.next_shape_id;
                ASSERT_TRUE(after == before) << "temporary after " << id;
                zone_testing::expect_coverage_matches_geometry(zone);
            }
            ASSERT_EQ(broken_invariant(zone), std::nullopt) << "after " << id;
        }
        EXPECT_TRUE(used);
    }
}

TEST(PerfZone, CirclesPassedOverByCarvingNeverCross) {
    // Carving skips an existing circle when the centres are more than the two
    // radii plus 1.0 apart along an axis; the exact test never finds a
    // crossing there, also for small, large and degenerate radii.
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (const double r : {2.0, 0.0, 0.5, 7.0, 1e5}) {
        for (int k = 0; k < 20000; ++k) {
            const Point c{unit(rng) * 100.0, unit(rng) * 100.0};
            const double reach = (r + STONE_DIAMETER) + 1.0;
            const double along = reach * (1.0 + 1e-12 + unit(rng) * 1e-3);
            const double across = (unit(rng) * 2.0 - 1.0) * reach * 2.0;
            const Point f = k % 2 == 0 ? Point{c.x + along, c.y + across} : Point{c.x + across, c.y - along};
            EXPECT_FALSE(intersect(Circle{c, r}, f, {})) << r << " " << k;
        }
    }
}

}  // namespace
}  // namespace cellvane
