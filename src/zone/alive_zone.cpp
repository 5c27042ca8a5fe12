// The alive zone: the board square shrunk by one stone radius, minus the dead
// zone of every stone in play and of every temporary circle, plus the forced
// eyes that captures leave behind.

#include <cmath>
#include <limits>

#include "zone/zone.hpp"

namespace cellvane {

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();

// Calls f(id, segment) for each segment of a shape's list, in list order,
// bounded like every other walk. Reads the list as it goes, so f must not
// unlink segments.
template <class Graph, class F>
void walk_segments(Graph& graph, const Shape& shape, F&& f) {
    if (!shape.head) return;
    const SegId head = *shape.head;
    SegId cur = head;
    for (std::uint64_t step = 0; step < shape.count; ++step) {
        auto* seg = graph(cur);
        if (seg == nullptr) return;
        f(cur, *seg);
        cur = seg->next;
        if (cur == head) return;
    }
}

// Whether a circle of radius r centred at f certainly cannot cross the circle
// c: their centres are more than both radii plus 1.0 apart along an axis,
// which puts the exact distance test of the crossing far beyond its
// tolerance. Radii beyond 1e6 are never passed over, so that the margin
// stays far above rounding; NaN anywhere compares false and passes nothing over.
bool beyond_reach(const Circle& c, Point f, double r) {
    if (!(c.radius <= 1e6 && r <= 1e6)) return false;
    const double reach = (c.radius + r) + 1.0;
    return std::fabs(c.centre.x - f.x) > reach || std::fabs(c.centre.y - f.y) > reach;
}

}  // namespace

std::string DeadZoneError::message() const {
    const std::string id = std::to_string(stone);
    if (fault == DeadZoneFault::AlreadyCarved) {
        return "stone " + id + "'s dead zone has already been carved out of the alive zone";
    }
    return "stone " + id + " has no dead zone carved out of the alive zone";
}

AliveZone::AliveZone(double board_size) : graph_(board_size) {}

std::optional<DeadZoneError> AliveZone::carve(std::uint32_t stone, Point centre) {
    if (dead_zones_.contains(stone)) return DeadZoneError{DeadZoneFault::AlreadyCarved, stone};
    const ShapeId id = carve_circle(centre);
    dead_zones_.emplace(stone, id);
    return std::nullopt;
}

std::optional<DeadZoneError> AliveZone::reclaim(std::uint32_t stone) {
    const auto it = dead_zones_.find(stone);
    if (it == dead_zones_.end()) return DeadZoneError{DeadZoneFault::NotCarved, stone};
    const ShapeId id = it->second;
    dead_zones_.erase(it);
    remove_shape(id);
    return std::nullopt;
}

ShapeId AliveZone::carve_circle(Point centre) {
    ClipGraph& g = graph_;
    // Shape ids only grow, so the shapes that existed before this call are
    // exactly those below the new id: walking the map up to it needs no copy.
    const ShapeId n = g.add_shape(Circle{centre, STONE_DIAMETER});
    auto mut = [&g](SegId id) { return g.slot_mut(id); };

    for (auto it = g.shapes_.begin(); it != g.shapes_.end() && it->first < n; ++it) {
        const ShapeId w = it->first;
        if (const auto* c = std::get_if<Circle>(&it->second.kind); c != nullptr && beyond_reach(*c, centre, STONE_DIAMETER)) {
            continue;
        }
        const auto crossing = intersect(it->second.kind, centre);
        if (!crossing) continue;
        const auto [first, second] = *crossing;
        const auto a = g.add_point(w, first);
        if (!a) continue;
        const auto b = g.add_point(n, first);
        if (!b) continue;
        const auto e = g.add_point(w, second);
        if (!e) continue;
        const auto d = g.add_point(n, second);
        if (!d) continue;
        // Each of the two points is where w and n cross: it stays while both do.
        for (const SegId on_w : {*a, *e}) {
            if (Segment* seg = mut(on_w)) seg->causes.add(n);
        }
        for (const SegId on_n : {*b, *d}) {
            if (Segment* seg = mut(on_n)) seg->causes.add(w);
        }

        // The part of w from first to second lies inside the new circle.
        {
            const std::uint64_t limit = it->second.count;
            SegId cur = *a;
            for (std::uint64_t step = 0; step < limit && cur != *e; ++step) {
                Segment* seg = mut(cur);
                if (seg == nullptr) break;
                seg->covered_by.insert(n);
                cur = seg->next;
            }
        }
        // The part of the new circle from second to first lies in w's dead region.
        {
            const Shape* ns = g.shape(n);
            const std::uint64_t limit = ns != nullptr ? ns->count : 0;
            SegId cur = *d;
            for (std::uint64_t step = 0; step < limit && cur != *b; ++step) {
                Segment* seg = mut(cur);
                if (seg == nullptr) break;
                seg->covered_by.insert(w);
                cur = seg->next;
            }
        }
    }
    return n;
}

void AliveZone::remove_shape(ShapeId a) {
    ClipGraph& g = graph_;
    auto mut = [&g](SegId id) { return g.slot_mut(id); };

    // Only a shape that crossed a, or that a crossed, can hold a in its
    // segments' covered_by sets: coverage is recorded only between two
    // circles (or a circle and a line) that cross, and splits pass it on
    // within one shape. A circle too far from a circular a to cross it has
    // nothing to give back.
    const auto own = g.shapes_.find(a);
    const Circle* removed = own != g.shapes_.end() ? std::get_if<Circle>(&own->second.kind) : nullptr;
    for (const auto& [id, shape] : g.shapes_) {
        if (id == a) continue;
        if (removed != nullptr) {
            const auto* c = std::get_if<Circle>(&shape.kind);
            if (c != nullptr && beyond_reach(*c, removed->centre, removed->radius)) continue;
        }
        walk_segments(mut, shape, [a](SegId, Segment& seg) { seg.covered_by.erase(a); });
    }

    if (own == g.shapes_.end()) return;

    // Removing segments relinks the list, so its ids are taken first.
    std::vector<SegId>& ids = scratch_;
    ids.clear();
    walk_segments(mut, own->second, [&ids](SegId id, Segment&) { ids.push_back(id); });
    std::vector<SegId>& others = scratch_others_;
    for (const SegId o : ids) {
        const Segment* seg = g.slot(o);
        if (seg == nullptr) continue;
        const PointKey key = point_key(seg->start);
        g.remove_segment(o);
        // Every other outline that a crossed at this point loses a as a cause;
        // one left with no cause existed only because a crossed it there, and
        // its two pieces merge back. Outlines that merely touch or cross each
        // other at the same point keep it. The list is copied: removing a
        // segment edits it.
        const auto listed = g.index_.find(key);
        if (listed == g.index_.end()) continue;
        others.assign(listed->second.begin(), listed->second.end());
        for (const SegId other : others) {
            Segment* there = mut(other);
            if (there == nullptr || !there->causes.remove(a)) continue;
            if (there->causes.empty() && !there->permanent) g.remove_segment(other);
        }
    }

    const auto still = g.shapes_.find(a);
    if (still == g.shapes_.end()) return;
    ids.clear();
    walk_segments(mut, still->second, [&ids](SegId id, Segment&) { ids.push_back(id); });
    for (const SegId o : ids) g.remove_segment(o);
    g.shapes_.erase(a);
}

void AliveZone::add_forced_eye(Point p) { forced_eyes_.insert_or_assign(point_key(p), p); }

std::optional<Point> AliveZone::remove_forced_eye(Point p) {
    const auto it = forced_eyes_.find(point_key(p));
    if (it == forced_eyes_.end()) return std::nullopt;
    const Point removed = it->second;
    forced_eyes_.erase(it);
    return removed;
}

std::vector<Point> AliveZone::take_forced_eyes(Point p) {
    std::vector<Point> taken;
    if (const auto exact = forced_eyes_.find(point_key(p)); exact != forced_eyes_.end()) {
        taken.push_back(exact->second);
        forced_eyes_.erase(exact);
        return taken;
    }
    for (auto it = forced_eyes_.begin(); it != forced_eyes_.end();) {
        if (distance(it->second, p) <= STONE_DIAMETER) {
            taken.push_back(it->second);
            it = forced_eyes_.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

void AliveZone::push_temporary_circle(Point centre) { temporary_circles_.push_back(carve_circle(centre)); }

void AliveZone::pop_temporary_circle() {
    if (temporary_circles_.empty()) return;
    const ShapeId id = temporary_circles_.back();
    temporary_circles_.pop_back();
    remove_shape(id);
}

double AliveZone::depth_at(Point p) const {
    const double s = graph_.board_size_;
    if (!(0.0 <= p.x && p.x <= s && 0.0 <= p.y && p.y <= s)) return INF;
    if (!forced_eyes_.empty() && forced_eyes_.contains(point_key(p))) return -INF;
    double deepest = -INF;
    for (const auto& entry : graph_.shapes_) {
        const double d = depth_in(entry.second.kind, p);
        if (d > deepest) deepest = d;
    }
    return deepest;
}

bool AliveZone::is_placeable(Point p) const { return depth_at(p) <= EPSILON; }

std::optional<Point> AliveZone::nearest_living_move(Point p) const {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return std::nullopt;
    if (depth_at(p) <= 0.0) return p;
    double best = INF;
    // Far from the board the squared distances overflow and every candidate
    // is infinitely far; those are then told apart by halved coordinates,
    // which cannot overflow, instead of answering that no move exists.
    double far_best = INF;
    std::optional<Point> answer;
    // Boundary points at exactly the best distance go to the smaller point
    // (x, then y): shape ids and list order follow the order of carving, the
    // position does not. A forced eye must be strictly nearer than the boundary.
    auto smaller = [&answer](Point q) {
        return answer && (q.x < answer->x || (q.x == answer->x && q.y < answer->y));
    };
    auto consider = [&](Point q, bool boundary) {
        const double d = distance(p, q);
        if (d < best || (boundary && d == best && d != INF && smaller(q))) {
            best = d;
            answer = q;
        } else if (d == INF && best == INF) {
            const double far = std::hypot(p.x * 0.5 - q.x * 0.5, p.y * 0.5 - q.y * 0.5);
            if (far < far_best || (boundary && far == far_best && smaller(q))) {
                far_best = far;
                answer = q;
            }
        }
    };
    for (const auto& entry : graph_.shapes_) {
        graph_.for_each_exposed_piece(entry.first, [&](const ExposedPiece& piece) {
            if (const auto* whole = std::get_if<WholeCircle>(&piece)) {
                consider(closest_point_on_circle(whole->centre, whole->radius, p), true);
            } else if (const auto* line = std::get_if<LineSeg>(&piece)) {
                consider(closest_point_on_segment(SegmentGeometry{*line}, p), true);
            } else {
                consider(closest_point_on_segment(SegmentGeometry{std::get<ArcSeg>(piece)}, p), true);
            }
            return true;
        });
    }
    for (const auto& entry : forced_eyes_) consider(entry.second, false);
    return answer;
}

bool AliveZone::has_dead_zone(std::uint32_t stone) const { return dead_zones_.contains(stone); }

std::optional<ShapeId> AliveZone::dead_zone(std::uint32_t stone) const {
    const auto it = dead_zones_.find(stone);
    if (it == dead_zones_.end()) return std::nullopt;
    return it->second;
}

}  // namespace cellvane
