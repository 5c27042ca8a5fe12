// The alive zone's check of its own invariants: the clipping structure, then
// the rest of the zone. The first check that fails names the fault; nothing
// after it runs. Every walk is bounded and every id is tested for occupancy
// before its slot is read, so a damaged structure can neither loop nor make
// the check read out of range.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <map>
#include <set>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"
#include "zone/zone.hpp"

namespace cellvane {
namespace {

constexpr std::string_view kGraphPrefix =
    "the alive zone is corrupt: the clipping structure is corrupt: ";
constexpr std::string_view kZonePrefix = "the alive zone is corrupt: ";

bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool is_edge_kind(const ShapeKind& kind) { return std::holds_alternative<Edge>(kind); }

// Whether `id` occurs in `ids` before position `end`. Index lists hold a
// couple of ids each, so a scan is cheaper than a set; a long (damaged) list
// switches to a set so the check stays n log n.
class SeenUnderKey {
public:
    void reset(const SegList& ids) {
        ids_ = &ids;
        big_ = ids.size() > 32;
        set_.clear();
    }
    // Answers whether ids[pos] appeared earlier, and records it.
    bool seen_before(std::size_t pos) {
        const SegId id = (*ids_)[pos];
        if (big_) return !set_.insert(id).second;
        for (std::size_t i = 0; i < pos; ++i) {
            if ((*ids_)[i] == id) return true;
        }
        return false;
    }

private:
    const SegList* ids_ = nullptr;
    bool big_ = false;
    std::set<SegId> set_;
};

MessageText graph_text() { return MessageText(kGraphPrefix); }

std::string missing_segment(ShapeId id, SegId t) {
    return graph_text().s("shape ").id("ShapeId", id).s(" links to segment ").id("SegId", t).s(", which is not in the arena").done();
}

// Segment t, a neighbour of segment s in shape `id`'s list: it exists, and
// its link `back` (prev for s's next, next for s's prev) leads to s.
std::optional<std::string> neighbour_fault(const ClipGraph& g, ShapeId id, SegId s, SegId t, SegId Segment::*back) {
    const Segment* other = g.slot(t);
    if (other == nullptr) return missing_segment(id, t);
    if (other->*back != s) {
        const bool t_before = back == &Segment::next;
        return graph_text().s("segments ").id("SegId", t_before ? t : s).s(" and ").id("SegId", t_before ? s : t)
            .s(" do not agree about the link between them").done();
    }
    return std::nullopt;
}

// Segment s of shape `id`: it exists, belongs to the shape, is reached by no
// other walk, and agrees with both neighbours about the links between them.
// Marks it reached.
std::optional<std::string> link_fault(const ClipGraph& g, ShapeId id, SegId s, std::vector<std::uint8_t>& reached) {
    const Segment* seg = g.slot(s);
    if (seg == nullptr) return missing_segment(id, s);
    if (seg->shape != id) {
        return graph_text().s("segment ").id("SegId", s).s(" is in shape ").id("ShapeId", id)
            .s("'s list but belongs to ").id("ShapeId", seg->shape).done();
    }
    if (reached[s] != 0) {
        return graph_text().s("segment ").id("SegId", s).s(" is in more than one shape's list").done();
    }
    reached[s] = 1;
    if (auto f = neighbour_fault(g, id, s, seg->next, &Segment::prev)) return f;
    return neighbour_fault(g, id, s, seg->prev, &Segment::next);
}

// Shape k, named by segment s of shape `id` as a cause of its start point,
// is another shape that exists.
template <class Shapes>
std::optional<std::string> named_cause_fault(const Shapes& shapes, ShapeId id, SegId s, ShapeId k) {
    if (k == id) return graph_text().s("shape ").id("ShapeId", k).s(" is named as crossing its own outline").done();
    if (!shapes.contains(k)) {
        return graph_text().s("segment ").id("SegId", s).s(" starts where shape ").id("ShapeId", k)
            .s(" crossed it, which no longer exists").done();
    }
    return std::nullopt;
}

// Coverage is held as marks where the parts of an outline inside other
// shapes' dead regions begin and end: every shape that marks the list opens
// one part and closes it, and the head's count is what those marks give.
std::optional<std::string> coverage_fault(const ClipGraph& g, ShapeId id, const Shape& shape) {
    std::map<ShapeId, std::pair<int, int>> ends;
    g.for_each_segment(shape, [&ends](SegId, const Segment& seg) {
        seg.causes.each([&ends](ShapeId k, std::uint8_t roles) {
            auto& tally = ends[k];
            tally.first += (roles & Causes::OPENS) != 0;
            tally.second += (roles & Causes::CLOSES) != 0;
        });
    });
    for (const auto& [k, tally] : ends) {
        if (tally.first != 1 || tally.second != 1) {
            return graph_text().s("shape ").id("ShapeId", id).s("'s list does not open and close the part covered by shape ")
                .id("ShapeId", k).s(" once each").done();
        }
    }
    const std::uint64_t given = shape.head ? g.covering(*shape.head).size() : 0;
    if (given != shape.head_cover) {
        return graph_text().s("shape ").id("ShapeId", id).s("'s head is covered by ").n(shape.head_cover)
            .s(" shapes, but the marks along its list give ").n(given).done();
    }
    if (!g.order_matches(shape)) {
        return graph_text().s("shape ").id("ShapeId", id).s("'s offset order does not match its list").done();
    }
    return std::nullopt;
}

// The start point of segment s of shape `id`: its offset, its place in the
// shared-start index, and the causes of the
// point -- the shapes that crossed this outline there, each with a point of
// its own there. A point with no cause (other than an edge's own four) would
// never merge back.
std::optional<std::string> start_fault(const ClipGraph& g, ShapeId id, const Shape& shape, SegId s,
                                       const Segment& seg) {
    const auto& shapes = g.shapes();
    const auto& index = g.index();
    if (!same_bits(seg.offset, offset_on(shape.kind, seg.start, g.frame()))) {
        return graph_text().s("segment ").id("SegId", s).s("'s offset is not the offset of its start point").done();
    }
    const auto entry = index.find(point_key(seg.start));
    if (entry == index.end() || std::find(entry->second.begin(), entry->second.end(), s) == entry->second.end()) {
        return graph_text().s("segment ").id("SegId", s).s(" is not indexed under the point it starts at").done();
    }
    for (const ShapeId k : seg.causes) {
        if (auto f = named_cause_fault(shapes, id, s, k)) return f;
        const bool answered = std::any_of(entry->second.begin(), entry->second.end(), [&](SegId t) {
            const Segment* there = g.slot(t);
            return there != nullptr && there->shape == k;
        });
        if (!answered) {
            return graph_text().s("segment ").id("SegId", s).s(" starts where shape ").id("ShapeId", k)
                .s(" crossed it, but that shape has no point there").done();
        }
    }
    if (seg.causes.empty() && !seg.permanent) {
        return graph_text().s("segment ").id("SegId", s).s(" starts at a point that no crossing put there").done();
    }
    return std::nullopt;
}

// One shape's list, walked from its head: every segment sound, the count
// recorded matching the list, and the offsets in order (at most one descent,
// and for an edge only the one back into the head). Each pass marks a new
// segment as reached or fails, so the walk ends within arena_size() + 1
// passes whatever the count says.
std::optional<std::string> shape_fault(const ClipGraph& g, ShapeId id, const Shape& shape,
                                       std::vector<std::uint8_t>& reached) {
    if (!shape.head) {
        if (shape.count != 0) {
            return graph_text().s("shape ").id("ShapeId", id).s(" records ").n(shape.count)
                .s(" segments but its list holds 0").done();
        }
        return std::nullopt;
    }
    const SegId head = *shape.head;
    SegId s = head;
    std::uint64_t steps = 0;
    std::uint64_t descents = 0;
    bool descent_into_head = false;
    for (;;) {
        if (auto f = link_fault(g, id, s, reached)) return f;
        const Segment& seg = *g.slot(s);
        if (auto f = start_fault(g, id, shape, s, seg)) return f;
        ++steps;
        if (steps > shape.count) {
            return graph_text().s("walking shape ").id("ShapeId", id)
                .s("'s list did not return to its head within ").n(shape.count).s(" segments").done();
        }
        const SegId n = seg.next;
        if (seg.offset > g.slot(n)->offset) {
            ++descents;
            descent_into_head = n == head;
        }
        if (n == head) break;
        s = n;
    }
    if (steps != shape.count) {
        return graph_text().s("shape ").id("ShapeId", id).s(" records ").n(shape.count)
            .s(" segments but its list holds ").n(steps).done();
    }
    if (descents > 1 || (shape.is_edge && descents == 1 && !descent_into_head)) {
        return graph_text().s("shape ").id("ShapeId", id).s("'s segment offsets are not in order").done();
    }
    return coverage_fault(g, id, shape);
}

// Every live segment is reached by some shape's walk.
std::optional<std::string> unreached_fault(const ClipGraph& g, const std::vector<std::uint8_t>& reached) {
    for (std::size_t i = 0; i < g.arena_size(); ++i) {
        const SegId id = static_cast<SegId>(i);
        if (g.slot(id) != nullptr && reached[i] == 0) {
            return graph_text().s("segment ").id("SegId", id).s(" is alive but no shape's list reaches it").done();
        }
    }
    return std::nullopt;
}

// The shared-start index: no empty point, no segment twice under a point,
// every segment listed alive and starting at its point, and as many entries
// as live segments. In key order, so that the first fault found does not
// depend on how the index is laid out in memory.
std::optional<std::string> index_fault(const ClipGraph& g) {
    const auto& index = g.index();
    std::uint64_t total = 0;
    SeenUnderKey seen;
    StopPoll stop(256);
    for (const PointKey& key : index.sorted_keys()) {
        if (stop()) return std::nullopt;
        const SegList& ids = index.at(key);
        if (ids.empty()) {
            return graph_text().s("the shared-start index holds a point with no segments").done();
        }
        seen.reset(ids);
        for (std::size_t pos = 0; pos < ids.size(); ++pos) {
            const SegId t = ids[pos];
            if (seen.seen_before(pos)) {
                return graph_text().s("the shared-start index lists segment ").id("SegId", t)
                    .s(" twice under one point").done();
            }
            const Segment* seg = g.slot(t);
            if (seg == nullptr) {
                return graph_text().s("the shared-start index refers to segment ").id("SegId", t)
                    .s(", which is not in the arena").done();
            }
            if (point_key(seg->start) != key) {
                return graph_text().s("segment ").id("SegId", t).s(" is indexed under a point it does not start at").done();
            }
        }
        total += ids.size();
    }
    if (total != g.live_count()) {
        return graph_text().s("the shared-start index holds ").n(total).s(" segments but ")
            .n(g.live_count()).s(" are alive").done();
    }
    return std::nullopt;
}

std::optional<std::string> graph_fault(const ClipGraph& g) {
    // Segments reached by some shape's walk; one record serves all shapes.
    std::vector<std::uint8_t> reached(g.arena_size(), 0);
    StopPoll stop(16);
    for (const auto& [id, shape] : g.shapes()) {
        if (stop()) return std::nullopt;
        if (auto f = shape_fault(g, id, shape, reached)) return f;
    }
    if (auto f = unreached_fault(g, reached)) return f;
    return index_fault(g);
}

std::optional<std::string> zone_fault(const AliveZone& zone) {
    auto fault = [] { return MessageText(kZonePrefix); };
    const auto& shapes = zone.graph().shapes();

    // Shapes named by a temporary circle or a dead zone, as flags beside the
    // ascending list of shape ids (only existing shapes are ever marked).
    std::vector<ShapeId> ids;
    ids.reserve(shapes.size());
    for (const auto& entry : shapes) ids.push_back(entry.first);
    std::vector<std::uint8_t> named(ids.size(), 0);
    auto flag = [&](ShapeId id) -> std::uint8_t& {
        const auto it = std::lower_bound(ids.begin(), ids.end(), id);
        return named[static_cast<std::size_t>(it - ids.begin())];
    };

    for (const ShapeId t : zone.temporary_circles()) {
        const auto it = shapes.find(t);
        if (it == shapes.end() || is_edge_kind(it->second.kind)) {
            return fault().s("the temporary circle names shape ").id("ShapeId", t)
                .s(", which is not a dead zone in the graph").done();
        }
        flag(t) = 1;
    }
    for (const auto& [stone, shape_id] : zone.dead_zones()) {
        const auto it = shapes.find(shape_id);
        if (it == shapes.end()) {
            return fault().s("stone ").n(stone).s("'s dead zone names shape ").id("ShapeId", shape_id)
                .s(", which is not in the graph").done();
        }
        if (is_edge_kind(it->second.kind)) {
            return fault().s("stone ").n(stone).s("'s dead zone names shape ").id("ShapeId", shape_id)
                .s(", which is a board edge").done();
        }
        std::uint8_t& mark = flag(shape_id);
        if (mark != 0) {
            return fault().s("shape ").id("ShapeId", shape_id)
                .s(" is named as the dead zone of more than one stone").done();
        }
        mark = 1;
    }
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (named[i] == 0 && !is_edge_kind(shapes.at(ids[i]).kind)) {
            return fault().s("shape ").id("ShapeId", ids[i]).s(" is a dead zone that no stone names").done();
        }
    }
    for (const auto& [key, eye] : zone.forced_eyes()) {
        if (point_key(eye) != key) {
            return fault().s("the forced eye at ").point(eye)
                .s(" is filed under another point's key").done();
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> AliveZone::fault() const {
    if (auto f = graph_fault(*graph_)) return f;
    if (stop_requested()) return std::nullopt;
    return zone_fault(*this);
}

}  // namespace cellvane
