// The clipping structure: every outline cut into segments at the points where
// other outlines cross it, with marks where the parts covered by other shapes
// begin and end.
//
// Every walk along a list is bounded by the shape's count and stops at a
// vacant or out-of-range id, so a damaged structure can be read and even
// modified without looping or touching a vacant slot.

#include <cassert>
#include <limits>

#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"

namespace cellvane {

namespace {

struct EdgePlan {
    EdgeSide side;
    Point points[4];
};

}  // namespace

// ------------------------------------------------------------ point index

std::size_t PointIndex::place(Entry&& entry) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = hash(entry.first) & mask;
    while (used_[at] != 0) at = (at + 1) & mask;
    slots_[at] = std::move(entry);
    used_[at] = 1;
    return at;
}

void PointIndex::grow() {
    std::vector<Entry> old = std::move(slots_);
    std::vector<std::uint8_t> old_used = std::move(used_);
    const std::size_t capacity = old.empty() ? 16 : old.size() * 2;
    slots_ = std::vector<Entry>(capacity);
    used_.assign(capacity, 0);
    for (std::size_t j = 0; j < old.size(); ++j) {
        if (old_used[j] != 0) place(std::move(old[j]));
    }
}

std::size_t PointIndex::slot_for(PointKey key) {
    if (const std::size_t at = locate(key); at != NONE) return at;
    if ((size_ + 1) * 8 > slots_.size() * 7) grow();
    const std::size_t at = place(Entry{key, SegList{}});
    ++size_;
    return at;
}

SegList& PointIndex::operator[](PointKey key) { return slots_[slot_for(key)].second; }

SegList& PointIndex::list_for(PointKey key, Spot& spot) {
    if (spot.found) return slots_[spot.at].second;
    // The search stopped at the empty slot the entry takes, unless the table
    // must grow first.
    if (spot.at == NONE || (size_ + 1) * 8 > slots_.size() * 7) {
        spot.at = slot_for(key);
    } else {
        slots_[spot.at] = Entry{key, SegList{}};
        used_[spot.at] = 1;
        ++size_;
    }
    spot.found = true;
    return slots_[spot.at].second;
}

const SegList& PointIndex::at(PointKey key) const {
    static const SegList none{};
    const std::size_t at = locate(key);
    return at == NONE ? none : slots_[at].second;
}

void PointIndex::erase(iterator it) {
    if (it == end()) return;
    erase_slot(static_cast<std::size_t>(&*it - slots_.data()));
}

void PointIndex::erase_slot(std::size_t hole) {
    const std::size_t mask = slots_.size() - 1;
    --size_;
    // Each later entry of the run moves back into the hole unless its home
    // lies after the hole, up to its own slot (cyclically): a search for it
    // would then never pass the hole.
    for (std::size_t j = (hole + 1) & mask; used_[j] != 0; j = (j + 1) & mask) {
        const std::size_t home = hash(slots_[j].first) & mask;
        const bool stays = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
        if (stays) continue;
        slots_[hole] = std::move(slots_[j]);
        used_[hole] = 1;
        hole = j;
    }
    slots_[hole] = Entry{};
    used_[hole] = 0;
}

std::vector<PointKey> PointIndex::sorted_keys() const {
    std::vector<PointKey> keys;
    keys.reserve(size_);
    for (const Entry& e : *this) keys.push_back(e.first);
    std::sort(keys.begin(), keys.end());
    return keys;
}

bool operator==(const PointIndex& a, const PointIndex& b) {
    if (a.size() != b.size()) return false;
    for (const PointIndex::Entry& e : a) {
        const auto other = b.find(e.first);
        if (other == b.end() || !(other->second == e.second)) return false;
    }
    return true;
}

// ------------------------------------------------------------- clip graph

ClipGraph::ClipGraph(const BoardFrame& frame) : frame_(frame) {
    const double s = frame.size;
    const double near = frame.near;
    const double far = frame.far;
    const double two_s = s + s;
    const double three_s = s + (s + s);
    const double minus_s = s - (s + s);
    const double minus_two_s = -(s + s);
    const EdgePlan plans[4] = {
        {EdgeSide::Left, {{near, minus_two_s}, {near, near}, {near, far}, {near, two_s}}},
        {EdgeSide::Bottom, {{minus_two_s, far}, {near, far}, {far, far}, {two_s, far}}},
        {EdgeSide::Right, {{far, three_s}, {far, far}, {far, s - far}, {far, minus_s}}},
        {EdgeSide::Top, {{three_s, near}, {far, near}, {s - far, near}, {minus_s, near}}},
    };
    // Only the piece from the second point to the third lies on the playable
    // square; the rest of each line runs far off the board in both directions.
    const bool off_board[4] = {true, false, true, true};
    for (const auto& plan : plans) {
        const ShapeId id = add_shape(Edge{plan.side});
        for (int i = 0; i < 4; ++i) {
            const auto seg = add_point(id, plan.points[i]);
            if (!seg) continue;
            if (Segment* m = slot_mut(*seg)) {
                m->off_board = off_board[i];
                m->permanent = true;
            }
            if (const auto made = shapes_.find(id); made != shapes_.end()) made->second.exposure = Exposure::Unknown;
        }
    }
}

const Shape* ClipGraph::shape(ShapeId id) const { return shapes_.get(id); }


ShapeId ClipGraph::add_shape(const ShapeKind& kind) {
    const ShapeId id = next_shape_id_;
    ++next_shape_id_;
    Shape shape;
    shape.kind = kind;
    shape.is_edge = std::holds_alternative<Edge>(kind);
    shapes_.insert_or_assign(id, std::move(shape));
    return id;
}

SegId ClipGraph::new_segment(ShapeId shape, Point p, double offset, const Segment* split, PointIndex::Spot& spot) {
    // A split piece lies where the piece it was cut from lay: it is covered
    // by the same shapes without a mark of its own, and on or off the board
    // alike. Read before the arena may grow: split points into it.
    const bool off_board = split != nullptr && split->off_board;

    // Reuse the most recently vacated slot. Entries that no longer name a
    // vacant slot (only a damaged free list holds them) are dropped rather
    // than trusted.
    bool reused = false;
    SegId id = 0;
    while (!free_list_.empty()) {
        const SegId candidate = free_list_.back();
        free_list_.pop_back();
        if (damaged(candidate >= arena_.size() || arena_[candidate])) continue;
        id = candidate;
        reused = true;
        break;
    }
    if (!reused) {
        id = static_cast<SegId>(arena_.size());
        // The arena grows by half rather than doubling: it holds most of a
        // board's memory, and a doubling leaves up to half of it idle.
        if (arena_.size() == arena_.capacity()) arena_.reserve(arena_.size() + arena_.size() / 2 + 64);
        arena_.emplace_back();
    }
    assert(!arena_[id] && "a new segment takes a vacant slot");
    Segment& seg = arena_[id].fill(shape, p, offset, off_board);
    seg.next = id;
    seg.prev = id;
    ++live_count_;

    auto& ids = index_.list_for(point_key(p), spot);
    bool listed = false;
    for (const SegId other : ids) {
        if (other == id) {
            listed = true;
            break;
        }
    }
    if (!listed) ids.push_back(id);
    return id;
}

std::optional<SegId> ClipGraph::add_point(ShapeId shape_id, Point p) {
    const auto found = shapes_.find(shape_id);
    if (found == shapes_.end()) return std::nullopt;
    PointIndex::Spot spot = index_.seek(point_key(p));
    return add_point_at(shape_id, found->second, p, offset_on(found->second.kind, p, frame_), spot);
}

SegId ClipGraph::add_point_at(ShapeId shape_id, Shape& shape, Point p, double w, PointIndex::Spot& spot) {
    if (!shape.head) {
        shape.exposure = Exposure::Unknown;
        return start_list(shape_id, shape, p, w, spot);
    }
    // The one search of the shared-start index answers both whether the
    // shape already has the point and, when it has not, where the new
    // segment's entry goes: nothing changes the index until it is filed.
    if (spot.found) {
        for (const SegId id : index_.list_at(spot)) {
            const Segment* seg = slot(id);
            if (seg != nullptr && seg->shape == shape_id) return id;
        }
    }
    shape.exposure = Exposure::Unknown;

    std::optional<SegId> after = place_of(shape, w);
    if (after) step_back_over_ties(shape, point_key(p), w, *after);
    const SegId m = after ? link_after(shape_id, *after, p, w, spot) : link_as_head(shape_id, shape, p, w, spot);
    ++shape.count;
    if (!shape.by_offset.empty()) order_insert(shape, m, after.value_or(m), !after, w);
    return m;
}

SegId ClipGraph::start_list(ShapeId shape_id, Shape& shape, Point p, double w, PointIndex::Spot& spot) {
    const SegId m = new_segment(shape_id, p, w, nullptr, spot);
    shape.head = m;
    shape.count = 1;
    return m;
}

std::optional<SegId> ClipGraph::place_of(Shape& shape, double w) {
    if (shape.by_offset.empty() && shape.count >= ORDER_FROM) build_order(shape);
    if (!shape.by_offset.empty()) {
        bool new_head = false;
        const auto split = split_by_order(shape, w, new_head);
        // The bisection answers what the walk from the head would.
        assert(!(split || new_head) || split == walk_place(shape, w));
        if (split || new_head) return split;
    }
    return walk_place(shape, w);
}

std::optional<SegId> ClipGraph::walk_place(const Shape& shape, double w) const {
    const SegId head = *shape.head;
    // The first piece from the head whose offsets hold w: a rising piece
    // from its start up to (not including) its end, or the descent when w
    // lies beyond either end. An edge's closing link holds nothing. The walk
    // of for_each_segment (at most count pieces, stopping at a vacant id or
    // back at the head), with each piece's end carried on as the next start
    // rather than looked up twice.
    SegId c = head;
    const Segment* cs = slot(head);
    for (std::uint64_t step = 0; cs != nullptr && step < shape.count; ++step) {
        const SegId n = cs->next;
        const Segment* ns = slot(n);
        if (ns == nullptr || (shape.is_edge && n == head)) break;
        const double a = cs->offset;
        const double b = ns->offset;
        const bool holds = a <= b ? a <= w && w < b : a > b && (w >= a || w < b);
        if (holds) return c;
        if (n == head) break;
        c = n;
        cs = ns;
    }
    // None holds it: a circle's list (all offsets equal) takes it after the
    // head; an edge takes it as a new head when it comes before the head,
    // else after its last point.
    if (!shape.is_edge) return head;
    const Segment* hs = slot(head);
    if (hs != nullptr && w < hs->offset) return std::nullopt;
    return hs != nullptr ? hs->prev : head;
}

// One geometric point computed two ways (where three outlines meet) can give
// two points with equal offsets but different keys. They are kept in
// ascending key order, so that the list does not depend on which was added
// first: step back over the equal offsets with larger keys.
void ClipGraph::step_back_over_ties(const Shape& shape, PointKey key, double w, SegId& after) const {
    for (std::uint64_t step = 0; step + 1 < shape.count; ++step) {
        if (shape.is_edge && after == *shape.head) break;
        const Segment* cs = slot(after);
        if (cs == nullptr || cs->offset != w || !(key < point_key(cs->start))) break;
        if (slot(cs->prev) == nullptr) break;
        after = cs->prev;
    }
}

SegId ClipGraph::link_after(ShapeId shape_id, SegId c, Point p, double w, PointIndex::Spot& spot) {
    const SegId m = new_segment(shape_id, p, w, slot(c), spot);
    Segment& ms = *arena_[m];
    Segment* cs = slot_mut(c);
    if (!damaged(cs == nullptr)) {
        const SegId after = cs->next;
        ms.prev = c;
        ms.next = after;
        if (Segment* as = slot_mut(after)) as->prev = m;
        cs->next = m;
    }
    return m;
}

// A new first piece of an open line: linked in before the head.
SegId ClipGraph::link_as_head(ShapeId shape_id, Shape& shape, Point p, double w, PointIndex::Spot& spot) {
    const SegId head = *shape.head;
    const SegId m = new_segment(shape_id, p, w, nullptr, spot);
    Segment& ms = *arena_[m];
    Segment* hs = slot_mut(head);
    const SegId last = hs != nullptr ? hs->prev : head;
    Segment* ls = slot_mut(last);
    if (!damaged(ls == nullptr || hs == nullptr)) {
        ms.prev = last;
        ms.next = head;
        ls->next = m;
        hs->prev = m;
        // The new head lies where the list's last piece ran on to: the old
        // head's count less the marks at the old head.
        shape.head_cover =
            static_cast<std::uint64_t>(static_cast<std::int64_t>(shape.head_cover) - hs->causes.cover_step());
    }
    shape.head = m;
    return m;
}

// ------------------------------------------------- offset order of a list

double ClipGraph::offset_of(SegId id) const {
    const Segment* seg = slot(id);
    return seg != nullptr ? seg->offset : std::numeric_limits<double>::quiet_NaN();
}

void ClipGraph::build_order(Shape& shape) {
    std::vector<SegId> ids;
    ids.reserve(shape.count);
    for_each_segment(shape, [&ids](SegId id, const Segment&) { ids.push_back(id); });
    if (ids.size() != shape.count || ids.size() < 2) return;
    // The one descent of a well-formed list (for an edge, the link from its
    // last point back to its head); anything else keeps the walk.
    std::size_t descent = ids.size();
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const double a = offset_of(ids[i]);
        const double b = offset_of(ids[(i + 1) % ids.size()]);
        if (std::isnan(a)) return;
        if (a > b) {
            if (descent != ids.size()) return;
            descent = i;
        }
    }
    if (descent == ids.size() || (shape.is_edge && descent != ids.size() - 1)) return;
    std::rotate(ids.begin(), ids.begin() + static_cast<std::ptrdiff_t>((descent + 1) % ids.size()), ids.end());
    shape.by_offset = std::move(ids);
}

std::size_t ClipGraph::order_position(const Shape& shape, SegId id) const {
    const std::vector<SegId>& by = shape.by_offset;
    const double w = offset_of(id);
    if (std::isnan(w)) return by.size();
    auto at = std::lower_bound(by.begin(), by.end(), w, [this](SegId s, double v) { return offset_of(s) < v; });
    for (; at != by.end() && offset_of(*at) == w; ++at) {
        if (*at == id) return static_cast<std::size_t>(at - by.begin());
    }
    return by.size();
}

// The segment a walk from the head would split for a new point at offset w:
// in a list that rises from its head to one descent and rises again, the
// only piece whose offsets hold w, or the descent when w lies beyond both
// ends. Nothing (and no new head) when the order cannot answer: then the
// list is walked.
std::optional<SegId> ClipGraph::split_by_order(const Shape& shape, double w, bool& becomes_head) const {
    const std::vector<SegId>& by = shape.by_offset;
    if (std::isnan(w) || by.size() < 2) return std::nullopt;
    if (!(offset_of(by.front()) < offset_of(by.back()))) return std::nullopt;
    const auto j = static_cast<std::size_t>(
        std::upper_bound(by.begin(), by.end(), w, [this](double v, SegId s) { return v < offset_of(s); }) - by.begin());
    if (shape.is_edge) {
        if (!shape.head || by.front() != *shape.head) return std::nullopt;
        if (j == 0) {
            becomes_head = true;
            return std::nullopt;
        }
        return by[j - 1];
    }
    if (j == 0 || j == by.size()) return by.back();
    return by[j - 1];
}

void ClipGraph::order_insert(Shape& shape, SegId made, SegId after, bool at_head, double w) {
    std::vector<SegId>& by = shape.by_offset;
    std::size_t pos = 0;
    if (!at_head) {
        const std::size_t pa = order_position(shape, after);
        if (pa == by.size()) {
            by.clear();
            return;
        }
        // After the largest offset comes either a new largest or, past the
        // descent, a new smallest.
        pos = pa + 1 == by.size() && w < offset_of(by.back()) ? 0 : pa + 1;
    }
    if ((pos > 0 && !(offset_of(by[pos - 1]) <= w)) || (pos < by.size() && !(w <= offset_of(by[pos])))) {
        by.clear();
        return;
    }
    by.insert(by.begin() + static_cast<std::ptrdiff_t>(pos), made);
}

void ClipGraph::order_erase(Shape& shape, SegId gone) {
    std::vector<SegId>& by = shape.by_offset;
    const std::size_t pos = order_position(shape, gone);
    if (pos == by.size() || shape.count < ORDER_UNTIL) {
        std::vector<SegId>().swap(by);
        return;
    }
    by.erase(by.begin() + static_cast<std::ptrdiff_t>(pos));
}

bool ClipGraph::order_matches(const Shape& shape) const {
    const std::vector<SegId>& by = shape.by_offset;
    if (by.empty()) return true;
    if (by.size() != shape.count) return false;
    if (!shape.head || std::find(by.begin(), by.end(), *shape.head) == by.end()) return false;
    if (shape.is_edge && by.front() != *shape.head) return false;
    for (std::size_t i = 0; i < by.size(); ++i) {
        const Segment* seg = slot(by[i]);
        if (seg == nullptr) return false;
        if (seg->next != by[(i + 1) % by.size()]) return false;
        if (i + 1 < by.size() && !(seg->offset <= offset_of(by[i + 1]))) return false;
    }
    return true;
}

std::vector<SegId> ClipGraph::segments_of(ShapeId shape_id) const {
    std::vector<SegId> out;
    if (const Shape* shape = this->shape(shape_id)) {
        for_each_segment(*shape, [&out](SegId id, const Segment&) { out.push_back(id); });
    }
    return out;
}

std::vector<ShapeId> ClipGraph::covering(SegId id) const {
    std::vector<ShapeId> active;
    const Segment* target = slot(id);
    const Shape* shape = target != nullptr ? this->shape(target->shape) : nullptr;
    if (shape == nullptr || !shape->head) return active;
    const SegId head = *shape->head;
    auto add = [&active](ShapeId k) {
        const auto at = std::lower_bound(active.begin(), active.end(), k);
        if (at == active.end() || *at != k) active.insert(at, k);
    };
    auto drop = [&active](ShapeId k) {
        const auto at = std::lower_bound(active.begin(), active.end(), k);
        if (at != active.end() && *at == k) active.erase(at);
    };
    // A part holds the head when it opens there, or when its close comes
    // first in a lap from the head. A cause with both roles marks a part of
    // no length.
    std::vector<ShapeId> met;
    for_each_segment(*shape, [&](SegId s, const Segment& seg) {
        seg.causes.each([&](ShapeId k, std::uint8_t roles) {
            if (roles == (Causes::OPENS | Causes::CLOSES)) return;
            const auto at = std::lower_bound(met.begin(), met.end(), k);
            if (at != met.end() && *at == k) return;
            met.insert(at, k);
            if ((s == head) == ((roles & Causes::OPENS) != 0)) add(k);
        });
    });
    // Then the marks from the head up to the segment, which opens or closes
    // its own marks' parts.
    for_each_segment(*shape, [&](SegId s, const Segment& seg) {
        if (s != head) {
            seg.causes.each([&](ShapeId k, std::uint8_t roles) {
                if (roles == Causes::OPENS) add(k);
                if (roles == Causes::CLOSES) drop(k);
            });
        }
        return s != id;
    });
    return active;
}

void ClipGraph::find_exposure(const Shape& shape) const {
    bool found = false;
    for_each_segment(shape, [&found](SegId, const Segment& seg, std::int64_t cover) {
        found = !seg.off_board && cover == 0;
        return !found;
    });
    shape.exposure = found ? Exposure::Some : Exposure::None;
}

bool ClipGraph::part_holds_head(const Shape& shape, SegId open, SegId close) const {
    if (!shape.head || open == close) return false;
    const SegId head = *shape.head;
    if (open == head) return true;
    if (close == head) return false;
    // From the head the offsets rise to the list's largest, then (after the
    // one descent) rise again from its smallest to at most the head's. So an
    // offset above the head's comes before the descent and one below it
    // after, and the part runs past the head exactly when it opens later in
    // that order than it closes. Offsets equal to the head's or to each other
    // (and NaN) cannot be placed that way: the list is walked instead.
    const Segment* h = slot(head);
    const Segment* o = slot(open);
    const Segment* c = slot(close);
    if (h != nullptr && o != nullptr && c != nullptr) {
        const double ho = h->offset;
        const double a = o->offset;
        const double b = c->offset;
        if (a != ho && b != ho && a != b && !std::isnan(a) && !std::isnan(b) && !std::isnan(ho)) {
            const bool a_late = a < ho;
            const bool b_late = b < ho;
            if (a_late != b_late) return a_late;
            return a > b;
        }
    }
    bool holds = false;
    SegId cur = open;
    for (std::uint64_t step = 0; step < shape.count && cur != close; ++step) {
        const Segment* seg = slot(cur);
        if (seg == nullptr) break;
        cur = seg->next;
        if (cur == head && cur != close) holds = true;
    }
    return holds;
}

void ClipGraph::cover_part(ShapeId shape_id, SegId open, SegId close, ShapeId by) {
    const auto found = shapes_.find(shape_id);
    if (found == shapes_.end()) return;
    cover_part_of(found->second, open, close, by);
}

void ClipGraph::cover_part_of(Shape& shape, SegId open, SegId close, ShapeId by) {
    shape.exposure = Exposure::Unknown;
    if (Segment* seg = slot_mut(open)) seg->causes.add(by, Causes::OPENS);
    if (Segment* seg = slot_mut(close)) seg->causes.add(by, Causes::CLOSES);
    if (part_holds_head(shape, open, close)) ++shape.head_cover;
}

void ClipGraph::remove_segment(SegId id) {
    Segment* seg = slot_mut(id);
    if (seg == nullptr) return;
    const auto owner = shapes_.find(seg->shape);
    drop_segment(id, *seg, owner != shapes_.end() ? &owner->second : nullptr, index_.seek(point_key(seg->start)));
}

bool ClipGraph::drop_segment(SegId id, Segment& seg, Shape* owner, const PointIndex::Spot& spot) {
    const SegId next = seg.next;
    const SegId prev = seg.prev;
    if (owner != nullptr) owner->exposure = Exposure::Unknown;
    if (next == id) {
        if (owner != nullptr) {
            owner->head.reset();
            owner->count = 0;
            owner->head_cover = 0;
            owner->by_offset.clear();
        }
    } else {
        Segment* ns = slot_mut(next);
        Segment* ps = slot_mut(prev);
        if (!damaged(ns == nullptr)) ns->prev = prev;
        if (!damaged(ps == nullptr)) ps->next = next;
        if (owner != nullptr) {
            Shape& shape = *owner;
            if (!shape.by_offset.empty()) order_erase(shape, id);
            if (shape.head && *shape.head == id) {
                // The next piece becomes the head, with its own marks added.
                shape.head = next;
                if (ns != nullptr) {
                    shape.head_cover = static_cast<std::uint64_t>(static_cast<std::int64_t>(shape.head_cover) +
                                                                  ns->causes.cover_step());
                }
            }
            if (!damaged(shape.count == 0)) --shape.count;
        }
    }

    bool remains = false;
    if (spot.found) {
        SegList& ids = index_.list_at(spot);
        ids.erase(id);
        if (ids.empty()) {
            index_.erase_at(spot);
        } else {
            remains = true;
        }
    }

    arena_[id].reset();
    if (!damaged(live_count_ == 0)) --live_count_;
    free_list_.push_back(id);
    return remains;
}

// ------------------------------------------------- carving and removing

void ClipGraph::cross_new_circle(ShapeId n, Point f, const std::vector<ShapeId>& candidates) {
    // No shape is added or erased until the loop ends, so the new shape's
    // record is found once.
    Shape* const made = shapes_.get(n);
    assert(made != nullptr && "the new circle is in the table");
    assert(std::is_sorted(candidates.begin(), candidates.end()) && "candidates in ascending id");
    if (made == nullptr) return;
    for (const ShapeId w : candidates) {
        assert(w < n && "a new circle crosses only older shapes");
        Shape* const crossed = shapes_.get(w);
        if (crossed == nullptr) continue;
        if (const auto* c = std::get_if<Circle>(&crossed->kind); c != nullptr && beyond_reach(*c, f, DEAD_ZONE_RADIUS)) {
            continue;
        }
        const auto crossing = crossing_with(crossed->kind, f, frame_);
        if (!crossing) continue;
        const Point first = crossing->first;
        const Point second = crossing->second;
        // Each point's index entry is sought once for both outlines.
        PointIndex::Spot at_first = index_.seek(point_key(first));
        const SegId a = add_point_at(w, *crossed, first, crossing->first_offset, at_first);
        const SegId b = add_point_at(n, *made, first, angle_about(f, first), at_first);
        PointIndex::Spot at_second = index_.seek(point_key(second));
        const SegId e = add_point_at(w, *crossed, second, crossing->second_offset, at_second);
        const SegId d = add_point_at(n, *made, second, angle_about(f, second), at_second);
        // Each of the two points is where w and n cross: it stays while both
        // do. The part of w from first to second lies inside the new circle,
        // and the part of the new circle from second to first lies in w's
        // dead region.
        cover_part_of(*crossed, a, e, n);
        cover_part_of(*made, d, b, w);
    }
}

std::optional<ShapeKind> ClipGraph::remove_shape(ShapeId a) {
    const auto own = shapes_.find(a);
    if (own == shapes_.end()) return std::nullopt;
    const ShapeKind kind = own->second.kind;

    // Removing segments relinks the list, so its ids are taken first.
    std::vector<SegId>& ids = scratch_.ids;
    ids.clear();
    for_each_segment(own->second, [&ids](SegId id, const Segment&) { ids.push_back(id); });

    unmark(a);
    drop_points(a, &own->second);

    const auto still = shapes_.find(a);
    if (still == shapes_.end()) return kind;
    ids.clear();
    for_each_segment(still->second, [&ids](SegId id, const Segment&) { ids.push_back(id); });
    for (const SegId o : ids) remove_segment(o);
    shapes_.erase(a);
    return kind;
}


// Every other outline that a crossed holds a's two marks at a's points,
// where the part of it inside a's dead region begins and ends. A part that
// held the outline's head no longer covers it; then the marks go. A point
// left with no cause existed only because a crossed it there: those fill
// scratch_.merged, ascending.
void ClipGraph::unmark(ShapeId a) {
    const std::vector<SegId>& ids = scratch_.ids;
    std::vector<PartEnd>& ends = scratch_.ends;
    ends.clear();
    for (const SegId o : ids) {
        const Segment* seg = slot(o);
        if (seg == nullptr) continue;
        for (const SegId other : std::as_const(index_).at(point_key(seg->start))) {
            const Segment* there = slot(other);
            if (there == nullptr || there->shape == a) continue;
            if (const std::uint8_t roles = there->causes.roles_of(a)) ends.push_back({there->shape, other, roles});
        }
    }
    std::sort(ends.begin(), ends.end(), [](const PartEnd& x, const PartEnd& y) { return x.shape < y.shape; });
    for (std::size_t i = 0; i < ends.size();) {
        std::size_t j = i;
        std::optional<SegId> open;
        std::optional<SegId> close;
        for (; j < ends.size() && ends[j].shape == ends[i].shape; ++j) {
            if ((ends[j].roles & Causes::OPENS) != 0) open = ends[j].seg;
            if ((ends[j].roles & Causes::CLOSES) != 0) close = ends[j].seg;
        }
        const auto crossed = shapes_.find(ends[i].shape);
        // Its marks by a go below: what it exposes is known no longer.
        if (crossed != shapes_.end()) crossed->second.exposure = Exposure::Unknown;
        if (open && close && crossed != shapes_.end() && crossed->second.head_cover > 0 &&
            part_holds_head(crossed->second, *open, *close)) {
            --crossed->second.head_cover;
        }
        i = j;
    }
    std::vector<SegId>& merged = scratch_.merged;
    merged.clear();
    for (const PartEnd& end : ends) {
        Segment* there = slot_mut(end.seg);
        if (there == nullptr) continue;
        there->causes.remove(a);
        if (there->causes.empty() && !there->permanent) merged.push_back(end.seg);
    }
    std::sort(merged.begin(), merged.end());

}

// Then a's points go (own is a's record), and at each the other outlines'
// points that no crossing holds any more merge back (their two pieces
// become one), in the order the shared-start index lists them. Outlines that
// merely touch or cross each other at the same point keep it.
void ClipGraph::drop_points(ShapeId a, Shape* own) {
    const std::vector<SegId>& ids = scratch_.ids;
    const std::vector<SegId>& merged = scratch_.merged;
    // The list at a point is copied: removing a segment edits it. The index
    // entry of each point is found once: removing a segment leaves an entry
    // that others still start at in its slot. No shape is added or erased
    // until the end, so a's record stays where it is.
    std::vector<SegId>& others = scratch_.at_point;
    for (const SegId o : ids) {
        Segment* seg = slot_mut(o);
        if (seg == nullptr) continue;
        const PointKey key = point_key(seg->start);
        PointIndex::Spot spot = index_.seek(key);
        Shape* owner = own;
        if (seg->shape != a) {
            const auto found = shapes_.find(seg->shape);
            owner = found != shapes_.end() ? &found->second : nullptr;
        }
        if (!drop_segment(o, *seg, owner, spot)) continue;
        const SegList& listed = index_.list_at(spot);
        others.assign(listed.begin(), listed.end());
        for (std::size_t i = 0; i < others.size(); ++i) {
            const SegId other = others[i];
            if (!std::binary_search(merged.begin(), merged.end(), other)) continue;
            Segment* there = slot_mut(other);
            if (there == nullptr) continue;
            // A segment filed under another point than its start (only in a
            // damaged index) is removed by its own point.
            // Removing it may move the entries of the index, so the point's
            // entry is sought again.
            if (damaged(point_key(there->start) != key)) {
                remove_segment(other);
                spot = index_.seek(key);
                if (!spot.found) break;
                continue;
            }
            const auto found = shapes_.find(there->shape);
            const bool remains = drop_segment(other, *there, found != shapes_.end() ? &found->second : nullptr, spot);
            // The entry is gone once its last segment is: nothing later in
            // the copy can still be listed there.
            if (!remains) break;
        }
    }

}

// --------------------------------------------------------------- readers

std::optional<SegmentGeometry> ClipGraph::segment_geometry(SegId id) const {
    const Segment* seg = slot(id);
    if (seg == nullptr) return std::nullopt;
    const Segment* next = slot(seg->next);
    if (next == nullptr) return std::nullopt;
    const Shape* shape = this->shape(seg->shape);
    if (shape == nullptr) return std::nullopt;
    return geometry_between(*shape, *seg, *next);
}

SegmentGeometry ClipGraph::geometry_between(const Shape& shape, const Segment& seg, const Segment& next) const {
    const double a = seg.offset;
    const double b = next.offset;
    if (const auto* c = std::get_if<Circle>(&shape.kind)) {
        return SegmentGeometry{ArcSeg{c->centre, c->radius, a, b}};
    }
    const double s = frame_.size;
    const double near = frame_.near;
    const double far = frame_.far;
    switch (std::get<Edge>(shape.kind).side) {
        case EdgeSide::Left: return SegmentGeometry{LineSeg{{near, a}, {near, b}}};
        case EdgeSide::Bottom: return SegmentGeometry{LineSeg{{a, far}, {b, far}}};
        case EdgeSide::Right: return SegmentGeometry{LineSeg{{far, s - a}, {far, s - b}}};
        case EdgeSide::Top: break;
    }
    return SegmentGeometry{LineSeg{{s - a, near}, {s - b, near}}};
}

std::vector<ExposedPiece> ClipGraph::exposed_pieces(ShapeId shape_id) const {
    std::vector<ExposedPiece> out;
    for_each_exposed_piece(shape_id, [&out](const ExposedPiece& piece) {
        out.push_back(piece);
        return true;
    });
    return out;
}

}  // namespace cellvane
