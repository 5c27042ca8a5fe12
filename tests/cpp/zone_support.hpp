// Helpers shared by the playable-area tests: exact comparisons, a full
// picture of the clipping structure, and a checker of its invariants.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"
#include "zone/zone.hpp"

namespace cellvane::zone_testing {

inline std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

inline bool same_bits(Point a, Point b) { return bits(a.x) == bits(b.x) && bits(a.y) == bits(b.y); }

// Every field of one occupied segment, floats as bit patterns, causes in
// their stored order with their roles.
using SegmentPicture = std::tuple<SegId, std::uint64_t, std::uint64_t, std::uint64_t,
                                  std::vector<std::pair<ShapeId, std::uint8_t>>, ShapeId, SegId, SegId, bool, bool>;

inline SegmentPicture picture(SegId id, const Segment& s) {
    std::vector<std::pair<ShapeId, std::uint8_t>> causes;
    s.causes.each([&causes](ShapeId k, std::uint8_t roles) { causes.emplace_back(k, roles); });
    return {id,
            bits(s.offset),
            bits(s.start.x),
            bits(s.start.y),
            std::move(causes),
            s.shape,
            s.next,
            s.prev,
            s.off_board,
            s.permanent};
}

// The segments of one shape in list order, every field included.
inline std::vector<SegmentPicture> shape_picture(const ClipGraph& g, ShapeId shape) {
    std::vector<SegmentPicture> out;
    for (const SegId id : g.segments_of(shape)) out.push_back(picture(id, *g.slot(id)));
    return out;
}

// Every exposed piece of the boundary, shape by shape, as bit patterns.
inline std::vector<std::vector<std::uint64_t>> boundary_picture(const ClipGraph& g) {
    std::vector<std::vector<std::uint64_t>> out;
    for (const auto& [id, shape] : g.shapes()) {
        for (const auto& piece : g.exposed_pieces(id)) {
            std::vector<std::uint64_t> row{id, piece.index()};
            if (const auto* w = std::get_if<WholeCircle>(&piece)) {
                row.insert(row.end(), {bits(w->centre.x), bits(w->centre.y), bits(w->radius)});
            } else if (const auto* l = std::get_if<LineSeg>(&piece)) {
                row.insert(row.end(), {bits(l->from.x), bits(l->from.y), bits(l->to.x), bits(l->to.y)});
            } else {
                const auto& a = std::get<ArcSeg>(piece);
                row.insert(row.end(),
                           {bits(a.centre.x), bits(a.centre.y), bits(a.radius), bits(a.start), bits(a.end)});
            }
            out.push_back(row);
        }
    }
    return out;
}

// The exposed pieces as a sorted set, shape ids left out: two zones holding
// the same outlines, carved in different orders, give the same set.
inline std::vector<std::vector<std::uint64_t>> boundary_set(const ClipGraph& g) {
    auto rows = boundary_picture(g);
    for (auto& row : rows) row.erase(row.begin());
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The first broken invariant of the structure, or nothing.
inline std::optional<std::string> broken_invariant(const ClipGraph& g) {
    const auto& shapes = g.shapes();
    std::set<SegId> reached;
    for (const auto& [id, shape] : shapes) {
        if (shape.is_edge != std::holds_alternative<Edge>(shape.kind)) return "is_edge disagrees with kind";
        if (!shape.head) {
            if (shape.count != 0) return "shape without head has a count";
            continue;
        }
        SegId cur = *shape.head;
        std::uint64_t walked = 0;
        int decreases = 0;
        bool last_decrease_at_head = false;
        do {
            const Segment* seg = g.slot(cur);
            if (seg == nullptr) return "reached a vacant slot from shape " + std::to_string(id);
            if (seg->shape != id) return "segment names another shape";
            if (!reached.insert(cur).second) return "segment reached twice";
            const Segment* next = g.slot(seg->next);
            if (next == nullptr) return "next is vacant";
            if (next->prev != cur) return "links disagree at segment " + std::to_string(cur);
            if (next->offset < seg->offset) {
                ++decreases;
                last_decrease_at_head = seg->next == *shape.head;
            }
            if (bits(seg->offset) != bits(offset_on(shape.kind, seg->start, g.frame()))) return "offset not bit-equal";
            for (const ShapeId c : g.covering(cur)) {
                if (c == id) return "segment covered by its own shape";
                if (!shapes.contains(c)) return "covered by a missing shape";
            }
            if (!shape.is_edge && seg->off_board) return "circle segment off the board";
            ++walked;
            cur = seg->next;
            if (walked > g.arena_size()) return "list does not return to its head";
        } while (cur != *shape.head);
        if (walked != shape.count) return "count does not match the walk of shape " + std::to_string(id);
        if (decreases > 1) return "offsets decrease twice";
        if (shape.is_edge && decreases == 1 && !last_decrease_at_head) return "edge wraps before its head";
        // The counts the walk carries (the head's, then the marks) agree with
        // the shapes the marks name.
        std::optional<std::string> miscounted;
        g.for_each_segment(shape, [&](SegId s, const Segment&, std::int64_t cover) {
            if (cover == static_cast<std::int64_t>(g.covering(s).size())) return true;
            miscounted = "coverage count of segment " + std::to_string(s) + " disagrees with its marks";
            return false;
        });
        if (miscounted) return miscounted;
    }

    std::uint64_t occupied = 0;
    std::set<SegId> vacant;
    for (SegId i = 0; i < g.arena_size(); ++i) {
        const Segment* seg = g.slot(i);
        if (seg == nullptr) {
            vacant.insert(i);
            continue;
        }
        ++occupied;
        if (!reached.contains(i)) return "occupied segment reached from no shape";
        const auto listed = g.index().find(point_key(seg->start));
        if (listed == g.index().end()) return "segment missing from the index";
        if (std::find(listed->second.begin(), listed->second.end(), i) == listed->second.end()) {
            return "segment missing from its index list";
        }
    }
    if (occupied != g.live_count()) return "live count wrong";
    if (std::set<SegId>(g.free_list().begin(), g.free_list().end()) != vacant ||
        g.free_list().size() != vacant.size()) {
        return "free list is not the vacant slots";
    }
    std::uint64_t indexed = 0;
    for (const auto& [key, ids] : g.index()) {
        if (ids.empty()) return "empty index list";
        std::set<SegId> seen;
        for (const SegId id : ids) {
            const Segment* seg = g.slot(id);
            if (seg == nullptr) return "index names a vacant slot";
            if (point_key(seg->start) != key) return "index key differs from the start";
            if (!seen.insert(id).second) return "id listed twice under one key";
            ++indexed;
        }
    }
    if (indexed != occupied) return "index size differs from the live segments";
    return std::nullopt;
}

// The causes of the points of a carved structure: each point of an outline
// that is not one of an edge's own four was put there by a crossing with
// another shape, which has a point there too, caused by this one.
inline std::optional<std::string> broken_causes(const ClipGraph& g) {
    for (SegId i = 0; i < g.arena_size(); ++i) {
        const Segment* seg = g.slot(i);
        if (seg == nullptr) continue;
        const std::string at = "segment " + std::to_string(i);
        if (seg->permanent && !g.shape(seg->shape)->is_edge) return at + ": a permanent point on a circle";
        if (seg->causes.empty() && !seg->permanent) return at + ": a point that nothing put there";
        for (const ShapeId c : seg->causes) {
            if (c == seg->shape) return at + ": caused by its own shape";
            if (g.shape(c) == nullptr) return at + ": caused by a missing shape";
            bool answered = false;
            for (const SegId other : g.index().at(point_key(seg->start))) {
                const Segment* there = g.slot(other);
                answered |= there->shape == c && there->causes.contains(seg->shape);
            }
            if (!answered) return at + ": its cause has no point there caused by it";
        }
    }
    return std::nullopt;
}

inline std::optional<std::string> broken_invariant(const AliveZone& z) {
    if (auto fault = broken_invariant(z.graph())) return fault;
    if (auto fault = broken_causes(z.graph())) return fault;
    std::set<ShapeId> named;
    for (const auto& [stone, id] : z.dead_zones()) {
        const Shape* s = z.graph().shape(id);
        if (s == nullptr || s->is_edge) return "dead zone names no circle";
        if (!named.insert(id).second) return "two dead zones name one shape";
    }
    for (const ShapeId id : z.temporary_circles()) {
        const Shape* s = z.graph().shape(id);
        if (s == nullptr || s->is_edge) return "temporary circle names no circle";
        named.insert(id);
    }
    for (const auto& [id, s] : z.graph().shapes()) {
        if (!s.is_edge && !named.contains(id)) return "circle owned by nothing";
    }
    for (const auto& [key, p] : z.forced_eyes()) {
        if (point_key(p) != key) return "forced eye filed under another key";
    }
    return std::nullopt;
}

// A point in the middle of a piece of outline.
inline Point middle(const SegmentGeometry& g) {
    if (const auto* line = std::get_if<LineSeg>(&g)) {
        return {(line->from.x + line->to.x) / 2, (line->from.y + line->to.y) / 2};
    }
    const auto& arc = std::get<ArcSeg>(g);
    const double mid = arc.start + normalise_angle(arc.end - arc.start) / 2;
    return {arc.centre.x + arc.radius * std::cos(mid), arc.centre.y + arc.radius * std::sin(mid)};
}

// The coverage recorded in the structure agrees with the geometry: exposed
// pieces lie on the alive zone's boundary, covered ones inside their coverers.
inline void expect_coverage_matches_geometry(const AliveZone& z) {
    const ClipGraph& g = z.graph();
    for (SegId id = 0; id < g.arena_size(); ++id) {
        const Segment* seg = g.slot(id);
        if (seg == nullptr || seg->off_board) continue;
        const Shape* shape = g.shape(seg->shape);
        if (shape->is_edge && seg->next == *shape->head) continue;
        if (!shape->is_edge && shape->count < 2) continue;
        const auto geometry = g.segment_geometry(id);
        ASSERT_TRUE(geometry);
        const Point mid = middle(*geometry);
        const std::vector<ShapeId> covering = g.covering(id);
        if (covering.empty()) {
            const double depth = z.depth_at(mid);
            EXPECT_LE(depth, EPSILON) << "exposed segment " << id << " lies in a dead region";
            EXPECT_GE(depth, -1e-9) << "exposed segment " << id << " lies off the boundary";
        }
        for (const ShapeId c : covering) {
            EXPECT_GT(depth_in(g.shape(c)->kind, mid, g.frame()), -1e-9) << "segment " << id << " not inside shape " << c;
        }
    }
}

}  // namespace cellvane::zone_testing
