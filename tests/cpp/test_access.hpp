// The tests' one way into private state: the counter of analyses, and the
// structures of a clipping graph, an alive zone and a board, mutable, for
// tests that damage them on purpose. Every class with such state names
// TestAccess its friend; this is the only definition.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "engine/engine.hpp"

namespace cellvane {

// Counted by analyse; declared for the tests alone.
std::uint64_t analyse_runs();

struct TestAccess {
    struct GraphInternals {
        std::vector<SegmentSlot>& arena;
        std::vector<SegId>& free_list;
        std::uint64_t& live_count;
        ShapeTable& shapes;
        PointIndex& index;
        ShapeId& next_shape_id;
        // The list length from which an offset order is kept.
        std::uint64_t& order_from;
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

    // How many times analyse has run in this process.
    static std::uint64_t analyse_runs() { return cellvane::analyse_runs(); }

    static GraphInternals internals(ClipGraph& g) {
        return GraphInternals{g.arena_, g.free_list_, g.live_count_, g.shapes_, g.index_, g.next_shape_id_,
                              g.order_from_};
    }
    static BoardInternals internals(Board& b) {
        return BoardInternals{b.history_,         b.zone_, b.captures_, b.stones_in_play_,
                              b.captured_stones_, b.turn_, b.status_};
    }

    static ClipGraph& graph(AliveZone& z) { return z.graph_; }
    // The shared-start index's hash, to make keys that share a home slot.
    static std::size_t point_hash(PointKey key) { return PointIndex::hash(key); }
    static std::map<std::uint32_t, ShapeId>& dead_zones(AliveZone& z) { return z.dead_zones_; }
    static std::map<PointKey, Point>& forced_eyes(AliveZone& z) { return z.forced_eyes_; }
    static std::vector<ShapeId>& temporary_circles(AliveZone& z) { return z.temporary_circles_; }

    static AliveZone& zone(Board& b) { return b.zone_; }
    static const std::vector<Stone>& stones_by_id(const Board& b) { return b.stones_by_id(); }
    static const CutMemo& cut_memo(const Board& b) { return b.cut_memo_; }
};

}  // namespace cellvane
