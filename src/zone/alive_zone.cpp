// The alive zone: the board square shrunk by one stone radius, minus the dead
// zone of every stone in play and of every temporary circle, plus the forced
// eyes that captures leave behind.

#include <cmath>
#include <limits>

#include "zone/circle_grid.hpp"
#include "zone/zone.hpp"

namespace cellvane {

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();

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

// How far (along each axis) from a carved or removed circle's centre another
// filed circle's centre may lie and still be within beyond_reach's reach
// (5.0 for two radius-2 circles), with a margin far above rounding.
constexpr double NEAR_AXIS = 6.0;

// Visits the filed circles cell ring by cell ring round p's cell (p finite),
// calling visit(filed) for each. After ring k, every circle not yet visited
// has its centre more than k * CELL from p; done(bound) is then asked with
// that distance less a margin and answers whether to stop. The margin, 1.0
// plus 2^-48 of p's coordinate magnitude, lies far above the rounding of a
// point computed on such a circle and of its distance from p, however far
// from the origin they lie. The search also stops once every filled cell has
// been visited, and once the rings would hold more cells than there are
// circles (a sparse board, or circles far apart): then every filed circle is
// visited once more instead, which the callers' maximum and minimum absorb.
template <class Visit, class Done>
void ring_search(const CircleGrid& grid, Point p, Visit&& visit, Done&& done) {
    const std::int64_t cx = CircleGrid::cell_of(p.x);
    const std::int64_t cy = CircleGrid::cell_of(p.y);
    auto at = [&](std::int64_t x, std::int64_t y) {
        if (const auto* filed = grid.cell(x, y)) {
            for (const CircleGrid::Filed& f : *filed) visit(f);
        }
    };
    const double margin = 1.0 + 0x1p-48 * (std::fabs(p.x) + std::fabs(p.y));
    const double cells_allowed = 4.0 * static_cast<double>(grid.filed()) + 64.0;
    for (std::int64_t k = 0;; ++k) {
        const double side = static_cast<double>(2 * k + 1);
        if (side * side > cells_allowed) {
            grid.for_each_filed(visit);
            return;
        }
        if (k == 0) {
            at(cx, cy);
        } else {
            for (std::int64_t x = cx - k; x <= cx + k; ++x) {
                at(x, cy - k);
                at(x, cy + k);
            }
            for (std::int64_t y = cy - k + 1; y <= cy + k - 1; ++y) {
                at(cx - k, y);
                at(cx + k, y);
            }
        }
        if (grid.covers_all(cx - k, cx + k, cy - k, cy + k)) return;
        if (done(static_cast<double>(k) * CircleGrid::CELL - margin)) return;
    }
}

// Below this many filed circles a search simply looks at every shape.
constexpr std::size_t FEW_CIRCLES = 16;

bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

}  // namespace

bool CircleGrid::filed_by_cell(const ShapeKind& kind) {
    const auto* c = std::get_if<Circle>(&kind);
    return c != nullptr && c->radius == DEAD_ZONE_RADIUS && finite(c->centre);
}

void CircleGrid::add(ShapeId id, const ShapeKind& kind) {
    if (!filed_by_cell(kind)) {
        loose_.insert(std::upper_bound(loose_.begin(), loose_.end(), id), id);
        return;
    }
    const Point c = std::get<Circle>(kind).centre;
    const std::int64_t x = cell_of(c.x);
    const std::int64_t y = cell_of(c.y);
    cells_[Cells::key(x, y)].push_back(Filed{id, c});
    if (filed_ == 0) {
        min_x_ = max_x_ = x;
        min_y_ = max_y_ = y;
    } else {
        min_x_ = std::min(min_x_, x);
        max_x_ = std::max(max_x_, x);
        min_y_ = std::min(min_y_, y);
        max_y_ = std::max(max_y_, y);
    }
    ++filed_;
}

void CircleGrid::remove(ShapeId id, const ShapeKind& kind) {
    if (!filed_by_cell(kind)) {
        const auto it = std::lower_bound(loose_.begin(), loose_.end(), id);
        if (it != loose_.end() && *it == id) loose_.erase(it);
        return;
    }
    const Point c = std::get<Circle>(kind).centre;
    const auto found = cells_.find(Cells::key(cell_of(c.x), cell_of(c.y)));
    if (found == cells_.end()) return;
    auto& filed = found->second;
    const auto it = std::find_if(filed.begin(), filed.end(), [id](const Filed& f) { return f.id == id; });
    if (it == filed.end()) return;
    filed.erase(it);
    if (filed.empty()) cells_.erase(found);
    --filed_;
}

const std::vector<CircleGrid::Filed>* CircleGrid::cell(std::int64_t x, std::int64_t y) const {
    const auto found = cells_.find(Cells::key(x, y));
    return found == cells_.end() ? nullptr : &found->second;
}

void EyeCells::add(Point p) {
    if (!finite(p)) return;
    const PointKey key = point_key(p);
    std::vector<Eye>& eyes = cells_[Cells::key(Cells::cell_of(p.x), Cells::cell_of(p.y))];
    for (Eye& eye : eyes) {
        if (eye.key == key) {
            eye.at = p;
            return;
        }
    }
    eyes.push_back(Eye{key, p});
}

void EyeCells::remove(Point p) {
    if (!finite(p)) return;
    const PointKey key = point_key(p);
    const auto found = cells_.find(Cells::key(Cells::cell_of(p.x), Cells::cell_of(p.y)));
    if (found == cells_.end()) return;
    std::vector<Eye>& eyes = found->second;
    for (std::size_t i = 0; i < eyes.size(); ++i) {
        if (eyes[i].key == key) {
            eyes[i] = eyes.back();
            eyes.pop_back();
            break;
        }
    }
    if (eyes.empty()) cells_.erase(found);
}

void EyeCells::near(Point p, double reach, std::vector<Eye>& out) const {
    // An eye within reach of p along an axis lies between the rounded ends
    // p - reach and p + reach (rounding never crosses a representable value),
    // so in the cells between theirs.
    const std::int64_t x0 = Cells::cell_of(p.x - reach);
    const std::int64_t x1 = Cells::cell_of(p.x + reach);
    const std::int64_t y0 = Cells::cell_of(p.y - reach);
    const std::int64_t y1 = Cells::cell_of(p.y + reach);
    for (std::int64_t x = x0; x <= x1; ++x) {
        for (std::int64_t y = y0; y <= y1; ++y) {
            const auto found = cells_.find(Cells::key(x, y));
            if (found != cells_.end()) out.insert(out.end(), found->second.begin(), found->second.end());
        }
    }
}

std::string DeadZoneError::message() const {
    const std::string id = std::to_string(stone);
    if (fault == DeadZoneFault::AlreadyCarved) {
        return "stone " + id + "'s dead zone has already been carved out of the alive zone";
    }
    return "stone " + id + " has no dead zone carved out of the alive zone";
}

AliveZone::AliveZone(const BoardFrame& frame) : graph_(frame), grid_(std::make_unique<CircleGrid>()) {
    for (const auto& [id, shape] : graph_.shapes_) grid_->add(id, shape.kind);
}

// A copy files the same circles in a grid of its own; scratch space is not
// copied.
AliveZone::AliveZone(const AliveZone& other)
    : graph_(other.graph_),
      temporary_circles_(other.temporary_circles_),
      dead_zones_(other.dead_zones_),
      forced_eyes_(other.forced_eyes_),
      grid_(std::make_unique<CircleGrid>(*other.grid_)),
      eye_cells_(other.eye_cells_ ? std::make_unique<EyeCells>(*other.eye_cells_) : nullptr) {}

AliveZone& AliveZone::operator=(const AliveZone& other) {
    if (this != &other) *this = AliveZone(other);
    return *this;
}

AliveZone::AliveZone(AliveZone&& other) noexcept = default;
AliveZone& AliveZone::operator=(AliveZone&& other) noexcept = default;
AliveZone::~AliveZone() = default;

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
    const ShapeId n = g.add_shape(Circle{centre, DEAD_ZONE_RADIUS});
    // No shape is added or erased until the loop below ends, so the new
    // shape's record is found once.
    Shape& made = g.shapes_.find(n)->second;

    // The shapes that existed before this call are exactly those below the
    // new id (ids only grow). Only those the new circle can cross matter: the
    // loose shapes and the circles filed within NEAR_AXIS of the centre along
    // both axes (every other one is beyond reach), less those the grid's
    // centres already put beyond reach (the test below, on the same centre
    // and radius). They are visited in ascending id, as a walk over all
    // shapes would meet them.
    std::vector<ShapeId>& near = scratch_shapes_;
    near.clear();
    const bool local = finite(centre);
    if (local) {
        for (const ShapeId id : grid_->loose()) {
            if (id < n) near.push_back(id);
        }
        grid_->collect(CircleGrid::cell_of(centre.x - NEAR_AXIS), CircleGrid::cell_of(centre.x + NEAR_AXIS),
                       CircleGrid::cell_of(centre.y - NEAR_AXIS), CircleGrid::cell_of(centre.y + NEAR_AXIS), near,
                       [centre](Point c) { return !beyond_reach(Circle{c, DEAD_ZONE_RADIUS}, centre, DEAD_ZONE_RADIUS); });
        std::sort(near.begin(), near.end());
    } else {
        for (const auto& entry : g.shapes_) {
            if (entry.first < n) near.push_back(entry.first);
        }
    }

    for (const ShapeId w : near) {
        Shape* const crossed = g.shapes_.get(w);
        if (crossed == nullptr) continue;
        if (const auto* c = std::get_if<Circle>(&crossed->kind); c != nullptr && beyond_reach(*c, centre, DEAD_ZONE_RADIUS)) {
            continue;
        }
        const auto crossing = crossing_with(crossed->kind, centre, g.frame_);
        if (!crossing) continue;
        const Point first = crossing->first;
        const Point second = crossing->second;
        // Each point's index entry is sought once for both outlines.
        PointIndex::Spot at_first = g.index_.seek(point_key(first));
        const SegId a = g.add_point_at(w, *crossed, first, crossing->first_offset, at_first);
        const SegId b = g.add_point_at(n, made, first, angle_about(centre, first), at_first);
        PointIndex::Spot at_second = g.index_.seek(point_key(second));
        const SegId e = g.add_point_at(w, *crossed, second, crossing->second_offset, at_second);
        const SegId d = g.add_point_at(n, made, second, angle_about(centre, second), at_second);
        // Each of the two points is where w and n cross: it stays while both
        // do. The part of w from first to second lies inside the new circle,
        // and the part of the new circle from second to first lies in w's
        // dead region.
        g.cover_part_of(*crossed, a, e, n);
        g.cover_part_of(made, d, b, w);
    }
    grid_->add(n, ShapeKind{Circle{centre, DEAD_ZONE_RADIUS}});
    return n;
}

void AliveZone::remove_shape(ShapeId a) {
    ClipGraph& g = graph_;
    const auto own = g.shapes_.find(a);
    if (own == g.shapes_.end()) return;

    // Removing segments relinks the list, so its ids are taken first.
    std::vector<SegId>& ids = scratch_;
    ids.clear();
    g.for_each_segment(own->second, [&ids](SegId id, const Segment&) { ids.push_back(id); });

    // Every other outline that a crossed holds a's two marks at a's points,
    // where the part of it inside a's dead region begins and ends. A part
    // that held the outline's head no longer covers it; then the marks go.
    // A point left with no cause existed only because a crossed it there.
    std::vector<PartEnd>& ends = scratch_ends_;
    ends.clear();
    for (const SegId o : ids) {
        const Segment* seg = g.slot(o);
        if (seg == nullptr) continue;
        for (const SegId other : std::as_const(g.index_).at(point_key(seg->start))) {
            const Segment* there = g.slot(other);
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
        const auto crossed = g.shapes_.find(ends[i].shape);
        // Its marks by a go below: what it exposes is known no longer.
        if (crossed != g.shapes_.end()) crossed->second.exposure = Exposure::Unknown;
        if (open && close && crossed != g.shapes_.end() && crossed->second.head_cover > 0 &&
            g.part_holds_head(crossed->second, *open, *close)) {
            --crossed->second.head_cover;
        }
        i = j;
    }
    std::vector<SegId>& merged = scratch_others_;
    merged.clear();
    for (const PartEnd& end : ends) {
        Segment* there = g.slot_mut(end.seg);
        if (there == nullptr) continue;
        there->causes.remove(a);
        if (there->causes.empty() && !there->permanent) merged.push_back(end.seg);
    }
    std::sort(merged.begin(), merged.end());

    // Then a's points go, and at each the other outlines' points that no
    // crossing holds any more merge back (their two pieces become one), in
    // the order the shared-start index lists them. Outlines that merely touch
    // or cross each other at the same point keep it. The list is copied:
    // removing a segment edits it.
    // The index entry of each point is found once: removing a segment leaves
    // an entry that others still start at in its slot. No shape is added or
    // erased until the end, so a's record stays where it is.
    std::vector<SegId>& others = scratch_at_point_;
    Shape* const own_shape = &own->second;
    for (const SegId o : ids) {
        Segment* seg = g.slot_mut(o);
        if (seg == nullptr) continue;
        const PointKey key = point_key(seg->start);
        PointIndex::Spot spot = g.index_.seek(key);
        Shape* owner = own_shape;
        if (seg->shape != a) {
            const auto found = g.shapes_.find(seg->shape);
            owner = found != g.shapes_.end() ? &found->second : nullptr;
        }
        if (!g.drop_segment(o, *seg, owner, spot)) continue;
        const SegList& listed = g.index_.list_at(spot);
        others.assign(listed.begin(), listed.end());
        for (std::size_t i = 0; i < others.size(); ++i) {
            const SegId other = others[i];
            if (!std::binary_search(merged.begin(), merged.end(), other)) continue;
            Segment* there = g.slot_mut(other);
            if (there == nullptr) continue;
            // A segment filed under another point than its start (only in a
            // damaged index) is removed by its own point.
            // Removing it may move the entries of the index, so the point's
            // entry is sought again.
            if (point_key(there->start) != key) {
                g.remove_segment(other);
                spot = g.index_.seek(key);
                if (!spot.found) break;
                continue;
            }
            const auto found = g.shapes_.find(there->shape);
            const bool remains = g.drop_segment(other, *there, found != g.shapes_.end() ? &found->second : nullptr, spot);
            // The entry is gone once its last segment is: nothing later in
            // the copy can still be listed there.
            if (!remains) break;
        }
    }

    const auto still = g.shapes_.find(a);
    if (still == g.shapes_.end()) return;
    ids.clear();
    g.for_each_segment(still->second, [&ids](SegId id, const Segment&) { ids.push_back(id); });
    for (const SegId o : ids) g.remove_segment(o);
    grid_->remove(a, still->second.kind);
    g.shapes_.erase(a);
}

void AliveZone::add_forced_eye(Point p) {
    forced_eyes_.insert_or_assign(point_key(p), p);
    if (eye_cells_) {
        eye_cells_->add(p);
    } else if (forced_eyes_.size() >= EYES_BY_CELL) {
        eye_cells_ = std::make_unique<EyeCells>();
        for (const auto& entry : forced_eyes_) eye_cells_->add(entry.second);
    }
}

void AliveZone::forget_eye(std::map<PointKey, Point>::iterator it) {
    if (eye_cells_) {
        eye_cells_->remove(it->second);
        if (forced_eyes_.size() <= EYES_BY_CELL / 2) eye_cells_.reset();
    }
    forced_eyes_.erase(it);
}

std::optional<Point> AliveZone::remove_forced_eye(Point p) {
    const auto it = forced_eyes_.find(point_key(p));
    if (it == forced_eyes_.end()) return std::nullopt;
    const Point removed = it->second;
    forget_eye(it);
    return removed;
}

std::vector<Point> AliveZone::take_forced_eyes(Point p) {
    std::vector<Point> taken;
    if (forced_eyes_.empty()) return taken;
    if (const auto exact = forced_eyes_.find(point_key(p)); exact != forced_eyes_.end()) {
        taken.push_back(exact->second);
        forget_eye(exact);
        return taken;
    }
    if (!eye_cells_ || !finite(p)) {
        // Few eyes, or a point off every cell: a walk over every eye.
        for (auto it = forced_eyes_.begin(); it != forced_eyes_.end(); ++it) {
            if (distance(it->second, p) <= DEAD_ZONE_RADIUS) taken.push_back(it->second);
        }
    } else {
        // The eyes within 2.0 of p lie within 2.0 of it along both axes,
        // give or take the rounding of a difference: those of the cells
        // within 3.0 of p hold them all. Taken in key order, as a walk over
        // every eye meets them.
        std::vector<EyeCells::Eye> near;
        eye_cells_->near(p, DEAD_ZONE_RADIUS + 1.0, near);
        std::sort(near.begin(), near.end(),
                  [](const EyeCells::Eye& a, const EyeCells::Eye& b) { return a.key < b.key; });
        for (const EyeCells::Eye& eye : near) {
            if (distance(eye.at, p) <= DEAD_ZONE_RADIUS) taken.push_back(eye.at);
        }
    }
    for (const Point q : taken) {
        const auto it = forced_eyes_.find(point_key(q));
        if (it != forced_eyes_.end()) forget_eye(it);
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

double AliveZone::depth_everywhere(Point p) const {
    double deepest = -INF;
    for (const auto& entry : graph_.shapes_) {
        const double d = depth_in(entry.second.kind, p, graph_.frame_);
        if (d > deepest) deepest = d;
    }
    return deepest;
}

double AliveZone::depth_at(Point p) const {
    const double s = graph_.frame_.size;
    if (!(0.0 <= p.x && p.x <= s && 0.0 <= p.y && p.y <= s)) return INF;
    if (!forced_eyes_.empty() && forced_eyes_.contains(point_key(p))) return -INF;
    if (grid_->filed() < FEW_CIRCLES || !finite(p)) return depth_everywhere(p);
    // The deepest of the loose shapes and of the filed circles nearest p:
    // once every circle left is farther than 2.0 - deepest from p, none of
    // them can be as deep. A filed circle's depth is never NaN here (finite
    // centre and point). Of terms equal to the maximum only zeros differ (in
    // sign), and a walk in id order keeps the first zero it meets: the zero
    // term of the lowest id.
    double deepest = -INF;
    ShapeId zero_id = 0;
    double zero = 0.0;
    bool zero_seen = false;
    auto take = [&](ShapeId id, double d) {
        if (d > deepest) deepest = d;
        if (d == 0.0 && (!zero_seen || id < zero_id)) {
            zero_seen = true;
            zero_id = id;
            zero = d;
        }
    };
    for (const ShapeId id : grid_->loose()) {
        if (const Shape* shape = graph_.shape(id)) take(id, depth_in(shape->kind, p, graph_.frame_));
    }
    // A filed circle's radius is DEAD_ZONE_RADIUS; its centre is the grid's.
    auto take_filed = [&](const CircleGrid::Filed& f) { take(f.id, circle_depth(f.centre, DEAD_ZONE_RADIUS, p)); };
    ring_search(*grid_, p, take_filed,
                [&](double beyond) { return beyond > 0.0 && DEAD_ZONE_RADIUS - beyond < deepest; });
    if (deepest == 0.0) return zero;
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
    auto pieces_of = [&](ShapeId id) {
        // No point of a circle lies nearer p than |distance(p, centre) - r|.
        // A circle farther than that from p than the best distance so far
        // (by a margin far above the rounding of either distance) has no
        // piece that could be kept, so its list is not walked.
        const Shape* shape = graph_.shape(id);
        if (shape == nullptr) return;
        if (best != INF) {
            if (const auto* c = std::get_if<Circle>(&shape->kind)) {
                const double gap = std::fabs(distance(p, c->centre) - c->radius);
                const double margin = 1e-9 * (1.0 + std::fabs(p.x) + std::fabs(p.y) + std::fabs(c->centre.x) +
                                              std::fabs(c->centre.y) + std::fabs(c->radius));
                if (gap - margin > best) return;
            }
        }
        // A list of two or more segments none of which is exposed has no
        // exposed piece (fewer stand for the whole outline).
        if (shape->count >= 2 && !graph_.has_exposed_segment(*shape)) return;
        // The arcs of one circle share their centre, so p's angle about it
        // is worked out once per shape.
        std::optional<double> theta;
        graph_.for_each_exposed_piece(*shape, [&](const ExposedPiece& piece) {
            if (const auto* whole = std::get_if<WholeCircle>(&piece)) {
                consider(closest_point_on_circle(whole->centre, whole->radius, p), true);
            } else if (const auto* line = std::get_if<LineSeg>(&piece)) {
                consider(closest_point_on_segment(SegmentGeometry{*line}, p), true);
            } else {
                const ArcSeg& arc = std::get<ArcSeg>(piece);
                if (!theta) theta = angle_about(arc.centre, p);
                consider(closest_point_on_arc(arc, *theta), true);
            }
            return true;
        });
    };
    // The boundary candidate kept is the nearest, ties to the smaller point,
    // whatever order the shapes are visited in. So only the loose shapes and
    // the filed circles nearest p need visiting: a circle whose centre is
    // more than best + 2.0 from p has no piece as near as best.
    if (grid_->filed() < FEW_CIRCLES) {
        for (const auto& entry : graph_.shapes_) pieces_of(entry.first);
    } else {
        for (const ShapeId id : grid_->loose()) pieces_of(id);
        ring_search(*grid_, p, [&](const CircleGrid::Filed& f) { pieces_of(f.id); },
                    [&](double beyond) { return beyond - DEAD_ZONE_RADIUS > best; });
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
