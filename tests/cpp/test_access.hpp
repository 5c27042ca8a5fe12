// The tests' one way into private state: the count of analyses, and the
// structures of a clipping graph, an alive zone and a board, mutable, for
// tests that damage them on purpose. The engine declares nothing for it:
// test_access.cpp names the private members in explicit template
// instantiations, where the language does not check access, and the count
// of analyses comes from wrapping the two analysis entry points when the
// tests are linked (see CMakeLists.txt).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "analysis/analysis.hpp"
#include "engine/engine.hpp"
#include "zone/circle_grid.hpp"
#include "zone/clip_graph.hpp"
#include "zone/zone.hpp"

namespace cellvane {

struct TestAccess {
    struct GraphInternals {
        std::vector<SegmentSlot>& arena;
        std::vector<SegId>& free_list;
        std::uint64_t& live_count;
        ShapeTable& shapes;
        PointIndex& index;
        ShapeId& next_shape_id;
    };
    struct BoardInternals {
        std::vector<HistoryEntry>& history;
        AliveZone& zone;
        std::uint32_t (&captures)[2];
        std::map<std::uint32_t, Stone>& stones_in_play;
        std::map<std::uint32_t, Stone>& captured_stones;
        std::uint32_t& turn;
        Status& status;
    };

    // How many times analyse or analyse_into has been called in this process.
    static std::uint64_t analyse_runs();

    static GraphInternals internals(ClipGraph& g);
    static BoardInternals internals(Board& b);

    static ClipGraph& graph(AliveZone& z);
    // The zone's cells of circles, to file a shape added to its graph directly.
    static CircleGrid& grid(AliveZone& z);
    // The shared-start index's hash, to make keys that share a home slot.
    static std::size_t point_hash(PointKey key);
    static std::map<std::uint32_t, ShapeId>& dead_zones(AliveZone& z);
    static std::map<PointKey, Point>& forced_eyes(AliveZone& z);
    static std::vector<ShapeId>& temporary_circles(AliveZone& z);

    static AliveZone& zone(Board& b);
    static const std::vector<Stone>& stones_by_id(const Board& b) { return b.stones_by_id(); }
    static const CutMemo& cut_memo(const Board& b) { return b.cut_memo(); }
};

}  // namespace cellvane
