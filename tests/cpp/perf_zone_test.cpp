// The zone's shortcuts agree with the straightforward computations they
// replace: carving passes over circles too far away to cross, and removing a
// shape clears its id only from shapes near enough to have recorded it.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

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
    std::vector<std::pair<ShapeId, std::uint64_t>> shapes;
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
    for (const auto& [id, shape] : g.shapes()) out.shapes.emplace_back(id, shape.count);
    out.next_shape_id = g.next_shape_id();
    return out;
}

// The first step of removing a shape done the long way: its id taken out of
// the covered_by set of every segment of every other shape.
void forget_everywhere(AliveZone& z, ShapeId gone) {
    for (auto& slot : TestAccess::internals(TestAccess::graph(z)).arena) {
        if (slot && slot->shape != gone) slot->covered_by.erase(gone);
    }
}

TEST(PerfZone, ReclaimAgreesWithForgettingTheShapeEverywhere) {
    // Stones packed tightly (many crossings, many coverers per segment),
    // reclaimed in random order on one zone as it is and on a twin that is
    // first cleared of the shape's id the long way.
    std::mt19937_64 rng(5);
    for (int round = 0; round < 4; ++round) {
        const double size = round % 2 == 0 ? 13.0 : 25.5;
        std::uniform_real_distribution<double> u(0.5, size - 0.5);
        AliveZone fast(size);
        std::vector<std::uint32_t> stones;
        for (std::uint32_t id = 0; id < 160; ++id) {
            const Point p{u(rng), u(rng)};
            // Placement rules ignored on purpose: overlapping dead zones
            // stack coverage deeper than play does.
            if (id % 3 != 0 && fast.depth_at(p) > 1.0) continue;
            ASSERT_EQ(fast.carve(id, p), std::nullopt);
            stones.push_back(id);
        }
        std::shuffle(stones.begin(), stones.end(), rng);
        AliveZone slow = fast;
        for (const std::uint32_t id : stones) {
            forget_everywhere(slow, *slow.dead_zone(id));
            ASSERT_EQ(fast.reclaim(id), std::nullopt);
            ASSERT_EQ(slow.reclaim(id), std::nullopt);
            ASSERT_TRUE(zone_picture(fast) == zone_picture(slow)) << "round " << round << " stone " << id;
            if (id % 7 == 0) {
                const Point t{u(rng), u(rng)};
                fast.push_temporary_circle(t);
                slow.push_temporary_circle(t);
                forget_everywhere(slow, slow.temporary_circles().back());
                fast.pop_temporary_circle();
                slow.pop_temporary_circle();
                ASSERT_TRUE(zone_picture(fast) == zone_picture(slow)) << "round " << round << " temporary";
            }
        }
        EXPECT_EQ(broken_invariant(fast), std::nullopt);
        EXPECT_EQ(fast.graph().shapes().size(), 4u);
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
            EXPECT_FALSE(intersect(Circle{c, r}, f)) << r << " " << k;
        }
    }
}

}  // namespace
}  // namespace cellvane
