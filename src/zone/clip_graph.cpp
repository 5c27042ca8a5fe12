// The clipping structure: every outline cut into segments at the points where
// other outlines cross it, each segment knowing which shapes cover it.
//
// Every walk along a list is bounded by the shape's count and stops at a
// vacant or out-of-range id, so a damaged structure can be read and even
// modified without looping or touching a vacant slot.

#include "zone/zone.hpp"

namespace cellvane {

namespace {

struct EdgePlan {
    EdgeSide side;
    Point points[4];
};

}  // namespace

// ------------------------------------------------------------ point index

std::size_t PointIndex::hash(PointKey key) {
    std::uint64_t h = key.x * 0x9E3779B97F4A7C15ULL ^ (key.y + 0x632BE59BD9B4E019ULL + (key.x >> 29));
    h ^= h >> 30;
    h *= 0xBF58476D1CE4E5B9ULL;
    h ^= h >> 27;
    h *= 0x94D049BB133111EBULL;
    h ^= h >> 31;
    return static_cast<std::size_t>(h);
}

std::size_t PointIndex::locate(PointKey key) const {
    if (slots_.empty()) return NONE;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash(key) & mask;; i = (i + 1) & mask) {
        if (used_[i] == 0) return NONE;
        if (slots_[i].first == key) return i;
    }
}

void PointIndex::grow() {
    std::vector<Entry> old = std::move(slots_);
    std::vector<std::uint8_t> old_used = std::move(used_);
    const std::size_t capacity = old.empty() ? 16 : old.size() * 2;
    slots_ = std::vector<Entry>(capacity);
    used_.assign(capacity, 0);
    const std::size_t mask = capacity - 1;
    for (std::size_t j = 0; j < old.size(); ++j) {
        if (old_used[j] == 0) continue;
        std::size_t i = hash(old[j].first) & mask;
        while (used_[i] != 0) i = (i + 1) & mask;
        slots_[i] = std::move(old[j]);
        used_[i] = 1;
    }
}

SegList& PointIndex::operator[](PointKey key) {
    if (const std::size_t at = locate(key); at != NONE) return slots_[at].second;
    if ((size_ + 1) * 4 > slots_.size() * 3) grow();
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash(key) & mask;
    while (used_[i] != 0) i = (i + 1) & mask;
    slots_[i].first = key;
    slots_[i].second = SegList{};
    used_[i] = 1;
    ++size_;
    return slots_[i].second;
}

const SegList& PointIndex::at(PointKey key) const {
    static const SegList none{};
    const std::size_t at = locate(key);
    return at == NONE ? none : slots_[at].second;
}

void PointIndex::erase(iterator it) {
    if (it == end()) return;
    const std::size_t mask = slots_.size() - 1;
    std::size_t hole = static_cast<std::size_t>(&*it - slots_.data());
    slots_[hole] = Entry{};
    used_[hole] = 0;
    --size_;
    // Entries after the hole that probed past it move back into it.
    for (std::size_t j = (hole + 1) & mask; used_[j] != 0; j = (j + 1) & mask) {
        const std::size_t home = hash(slots_[j].first) & mask;
        if (((j - home) & mask) >= ((j - hole) & mask)) {
            slots_[hole] = std::move(slots_[j]);
            used_[hole] = 1;
            slots_[j] = Entry{};
            used_[j] = 0;
            hole = j;
        }
    }
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

ClipGraph::ClipGraph(double board_size) : board_size_(board_size) {
    const double s = board_size;
    const double near = 1.0;
    const double far = s + (-1.0);
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
        const ShapeId id = add_shape(Edge{plan.side, s});
        for (int i = 0; i < 4; ++i) {
            const auto seg = add_point(id, plan.points[i]);
            if (!seg) continue;
            if (Segment* m = slot_mut(*seg)) {
                m->off_board = off_board[i];
                m->permanent = true;
            }
        }
    }
}

const Shape* ClipGraph::shape(ShapeId id) const {
    const auto it = shapes_.find(id);
    return it == shapes_.end() ? nullptr : &it->second;
}

const Segment* ClipGraph::slot(SegId id) const {
    if (id >= arena_.size() || !arena_[id]) return nullptr;
    return &*arena_[id];
}

Segment* ClipGraph::slot_mut(SegId id) {
    if (id >= arena_.size() || !arena_[id]) return nullptr;
    return &*arena_[id];
}

bool ClipGraph::is_exposed(SegId id) const {
    const Segment* seg = slot(id);
    return seg != nullptr && !seg->off_board && seg->covered_by.empty();
}


ShapeId ClipGraph::add_shape(const ShapeKind& kind) {
    const ShapeId id = next_shape_id_;
    ++next_shape_id_;
    Shape shape;
    shape.kind = kind;
    shape.is_edge = std::holds_alternative<Edge>(kind);
    shapes_.insert_or_assign(id, std::move(shape));
    return id;
}

SegId ClipGraph::new_segment(ShapeId shape, Point p, double offset, const Segment* split) {
    Segment made;
    made.offset = offset;
    made.start = p;
    made.shape = shape;
    if (split != nullptr) {
        // Copied before the arena may grow: split points into it.
        if (!split->covered_by.empty()) made.covered_by = split->covered_by;
        made.off_board = split->off_board;
    }

    // Reuse the most recently vacated slot. Entries that no longer name a
    // vacant slot (only a damaged free list holds them) are dropped rather
    // than trusted.
    std::optional<SegId> reused;
    while (!free_list_.empty()) {
        const SegId candidate = free_list_.back();
        free_list_.pop_back();
        if (candidate < arena_.size() && !arena_[candidate]) {
            reused = candidate;
            break;
        }
    }
    SegId id;
    if (reused) {
        id = *reused;
        arena_[id].emplace(std::move(made));
    } else {
        id = static_cast<SegId>(arena_.size());
        arena_.emplace_back(std::move(made));
    }
    ++live_count_;
    Segment& seg = *arena_[id];
    seg.next = id;
    seg.prev = id;

    auto& ids = index_[point_key(p)];
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
    Shape& shape = found->second;
    const double w = offset_on(shape.kind, p);

    if (!shape.head) {
        const SegId m = new_segment(shape_id, p, w, nullptr);
        shape.head = m;
        shape.count = 1;
        return m;
    }

    if (const auto listed = index_.find(point_key(p)); listed != index_.end()) {
        for (const SegId id : listed->second) {
            const Segment* seg = slot(id);
            if (seg != nullptr && seg->shape == shape_id) return id;
        }
    }

    const SegId head = *shape.head;
    std::optional<SegId> split;
    {
        SegId c = head;
        for (std::uint64_t step = 0; step < shape.count; ++step) {
            const Segment* cs = slot(c);
            if (cs == nullptr) break;
            const SegId n = cs->next;
            const Segment* ns = slot(n);
            if (ns == nullptr) break;
            if (shape.is_edge && n == head) break;
            if (cs->offset <= ns->offset) {
                if (cs->offset <= w && w < ns->offset) {
                    split = c;
                    break;
                }
            } else if (cs->offset > ns->offset) {
                if (w >= cs->offset || w < ns->offset) {
                    split = c;
                    break;
                }
            }
            c = n;
        }
    }

    bool becomes_head = false;
    if (!split) {
        if (!shape.is_edge) {
            split = head;
        } else {
            const Segment* hs = slot(head);
            if (hs != nullptr && w < hs->offset) {
                becomes_head = true;
            } else {
                split = hs != nullptr ? hs->prev : head;
            }
        }
    }

    // One geometric point computed two ways (where three outlines meet) can
    // give two points with equal offsets but different keys. They are kept in
    // ascending key order, so that the list does not depend on which was
    // added first: step back over the equal offsets with larger keys.
    if (split) {
        const PointKey key = point_key(p);
        for (std::uint64_t step = 0; step + 1 < shape.count; ++step) {
            if (shape.is_edge && *split == head) break;
            const Segment* cs = slot(*split);
            if (cs == nullptr || cs->offset != w || !(key < point_key(cs->start))) break;
            if (slot(cs->prev) == nullptr) break;
            split = cs->prev;
        }
    }

    SegId m;
    if (becomes_head) {
        // A new first piece of an open line: linked in before the head.
        m = new_segment(shape_id, p, w, nullptr);
        Segment& ms = *arena_[m];
        Segment* hs = slot_mut(head);
        const SegId last = hs != nullptr ? hs->prev : head;
        Segment* ls = slot_mut(last);
        if (ls != nullptr && hs != nullptr) {
            ms.prev = last;
            ms.next = head;
            ls->next = m;
            hs->prev = m;
        }
        shape.head = m;
    } else {
        const SegId c = *split;
        m = new_segment(shape_id, p, w, slot(c));
        Segment& ms = *arena_[m];
        Segment* cs = slot_mut(c);
        if (cs != nullptr) {
            const SegId after = cs->next;
            ms.prev = c;
            ms.next = after;
            if (Segment* as = slot_mut(after)) as->prev = m;
            cs->next = m;
        }
    }
    ++shape.count;
    return m;
}

std::vector<SegId> ClipGraph::segments_of(ShapeId shape_id) const {
    std::vector<SegId> out;
    const Shape* shape = this->shape(shape_id);
    if (shape == nullptr || !shape->head) return out;
    const SegId head = *shape->head;
    SegId cur = head;
    for (std::uint64_t step = 0; step < shape->count; ++step) {
        const Segment* seg = slot(cur);
        if (seg == nullptr) break;
        out.push_back(cur);
        cur = seg->next;
        if (cur == head) break;
    }
    return out;
}

void ClipGraph::remove_segment(SegId id) {
    Segment* seg = slot_mut(id);
    if (seg == nullptr) return;
    const SegId next = seg->next;
    const SegId prev = seg->prev;
    const auto owner = shapes_.find(seg->shape);
    if (next == id) {
        if (owner != shapes_.end()) {
            owner->second.head.reset();
            owner->second.count = 0;
        }
    } else {
        if (Segment* ns = slot_mut(next)) ns->prev = prev;
        if (Segment* ps = slot_mut(prev)) ps->next = next;
        if (owner != shapes_.end()) {
            Shape& shape = owner->second;
            if (shape.head && *shape.head == id) shape.head = next;
            if (shape.count > 0) --shape.count;
        }
    }

    if (const auto listed = index_.find(point_key(seg->start)); listed != index_.end()) {
        auto& ids = listed->second;
        ids.erase(id);
        if (ids.empty()) index_.erase(listed);
    }

    arena_[id].reset();
    if (live_count_ > 0) --live_count_;
    free_list_.push_back(id);
}

std::optional<SegmentGeometry> ClipGraph::segment_geometry(SegId id) const {
    const Segment* seg = slot(id);
    if (seg == nullptr) return std::nullopt;
    const Segment* next = slot(seg->next);
    if (next == nullptr) return std::nullopt;
    const Shape* shape = this->shape(seg->shape);
    if (shape == nullptr) return std::nullopt;
    const double a = seg->offset;
    const double b = next->offset;
    if (const auto* c = std::get_if<Circle>(&shape->kind)) {
        return SegmentGeometry{ArcSeg{c->centre, c->radius, a, b}};
    }
    const auto& e = std::get<Edge>(shape->kind);
    const double s = e.board_size;
    const double far = s + (-1.0);
    switch (e.side) {
        case EdgeSide::Left: return SegmentGeometry{LineSeg{{1.0, a}, {1.0, b}}};
        case EdgeSide::Bottom: return SegmentGeometry{LineSeg{{a, far}, {b, far}}};
        case EdgeSide::Right: return SegmentGeometry{LineSeg{{far, s - a}, {far, s - b}}};
        case EdgeSide::Top: return SegmentGeometry{LineSeg{{s - a, 1.0}, {s - b, 1.0}}};
    }
    return std::nullopt;
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
