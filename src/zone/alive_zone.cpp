// The alive zone: the board square shrunk by one stone radius, minus the dead
// zone of every stone in play and of every temporary circle, plus the forced
// eyes that captures leave behind.

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

#include "zone/circle_grid.hpp"
#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"
#include "zone/zone.hpp"

namespace cellvane {

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();

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
    assert(std::isfinite(p.x) && std::isfinite(p.y));
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

std::string DeadZoneError::message() const {
    const std::string id = std::to_string(stone);
    if (fault == DeadZoneFault::AlreadyCarved) {
        return "stone " + id + "'s dead zone has already been carved out of the alive zone";
    }
    return "stone " + id + " has no dead zone carved out of the alive zone";
}

AliveZone::AliveZone(const BoardFrame& frame)
    : graph_(std::make_unique<ClipGraph>(frame)), grid_(std::make_unique<CircleGrid>()) {
    for (const auto& [id, shape] : graph_->shapes()) grid_->add(id, shape.kind, graph_->shapes().slot_of(id));
}

// A copy files the same circles in a grid of its own; scratch space is not
// copied.
AliveZone::AliveZone(const AliveZone& other)
    : graph_(std::make_unique<ClipGraph>(*other.graph_)),
      grid_(std::make_unique<CircleGrid>(*other.grid_)),
      eye_cells_(other.eye_cells_ ? std::make_unique<EyeCells>(*other.eye_cells_) : nullptr),
      temporary_circles_(other.temporary_circles_),
      dead_zones_(other.dead_zones_),
      forced_eyes_(other.forced_eyes_) {}

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
    ClipGraph& g = *graph_;
    const ShapeId n = g.add_shape(Circle{centre, DEAD_ZONE_RADIUS});

    // The shapes that existed before this call are exactly those below the
    // new id (ids only grow). Only those the new circle can cross matter: the
    // loose shapes and the circles filed within NEAR_AXIS of the centre along
    // both axes (every other one is beyond reach), less those the grid's
    // centres already put beyond reach (the test the graph makes again, on
    // the same centre and radius). They are visited in ascending id, as a
    // walk over all shapes would meet them.
    std::vector<ShapeId>& near = near_;
    near.clear();
    if (finite(centre)) {
        for (const ShapeId id : grid_->loose()) {
            if (id < n) near.push_back(id);
        }
        grid_->collect(CircleGrid::cell_of(centre.x - NEAR_AXIS), CircleGrid::cell_of(centre.x + NEAR_AXIS),
                       CircleGrid::cell_of(centre.y - NEAR_AXIS), CircleGrid::cell_of(centre.y + NEAR_AXIS), near,
                       [centre](Point c) { return !beyond_reach(Circle{c, DEAD_ZONE_RADIUS}, centre, DEAD_ZONE_RADIUS); });
        std::sort(near.begin(), near.end());
    } else {
        for (const auto& entry : g.shapes()) {
            if (entry.first < n) near.push_back(entry.first);
        }
    }
    g.cross_new_circle(n, centre, near);
    grid_->add(n, ShapeKind{Circle{centre, DEAD_ZONE_RADIUS}}, g.shapes().slot_of(n));
    // Every shape is filed once: by its cell, or loose.
    assert(grid_->filed() + grid_->loose().size() == g.shapes().size());
    return n;
}

void AliveZone::remove_shape(ShapeId a) {
    const ShapeTable& shapes = graph_->shapes();
    const std::uint64_t squeezes = shapes.squeezes();
    if (const std::optional<ShapeKind> kind = graph_->remove_shape(a)) grid_->remove(a, *kind);
    // A squeeze of the table moves slots (rarely: once the erased slots
    // outnumber the shapes), and the filed circles follow.
    if (shapes.squeezes() != squeezes) grid_->reslot([&shapes](ShapeId id) { return shapes.slot_of(id); });
    assert(grid_->filed() + grid_->loose().size() == graph_->shapes().size());
}

void AliveZone::add_forced_eye(Point p) {
    forced_eyes_.insert_or_assign(point_key(p), p);
    if (eye_cells_) {
        eye_cells_->add(p);
    } else if (forced_eyes_.size() >= EYES_BY_CELL) {
        eye_cells_ = std::make_unique<EyeCells>();
        for (const auto& entry : forced_eyes_) eye_cells_->add(entry.second);
    }
    // The cells hold the eyes at finite points, each once.
    assert(!eye_cells_ || eye_cells_->size() <= forced_eyes_.size());
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
        if (!damaged(it == forced_eyes_.end())) forget_eye(it);
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
    for (const auto& entry : graph_->shapes()) {
        const double d = depth_in(entry.second.kind, p, graph_->frame());
        if (d > deepest) deepest = d;
    }
    return deepest;
}

double AliveZone::depth_at(Point p) const {
    const double s = graph_->frame().size;
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
        if (const Shape* shape = graph_->shape(id)) take(id, depth_in(shape->kind, p, graph_->frame()));
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
        const Shape* shape = graph_->shape(id);
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
        if (shape->count >= 2 && !graph_->has_exposed_segment(*shape)) return;
        // The arcs of one circle share their centre, so p's angle about it
        // is worked out once per shape.
        std::optional<double> theta;
        graph_->for_each_exposed_piece(*shape, [&](const ExposedPiece& piece) {
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
        for (const auto& entry : graph_->shapes()) pieces_of(entry.first);
    } else {
        for (const ShapeId id : grid_->loose()) pieces_of(id);
        ring_search(*grid_, p, [&](const CircleGrid::Filed& f) { pieces_of(f.id); },
                    [&](double beyond) { return beyond - DEAD_ZONE_RADIUS > best; });
    }
    for (const auto& entry : forced_eyes_) consider(entry.second, false);
    return answer;
}

const BoardFrame& AliveZone::frame() const { return graph_->frame(); }

bool AliveZone::has_dead_zone(std::uint32_t stone) const { return dead_zones_.contains(stone); }

std::optional<ShapeId> AliveZone::dead_zone(std::uint32_t stone) const {
    const auto it = dead_zones_.find(stone);
    if (it == dead_zones_.end()) return std::nullopt;
    return it->second;
}

// --------------------------------------------------------------- readers

OutlineSlots AliveZone::outlines() const { return graph_->shapes().all_slots(); }

CircleCells AliveZone::circle_cells() const { return grid_->view(); }

const std::vector<ShapeId>& AliveZone::loose_outlines() const { return grid_->loose(); }

std::size_t AliveZone::outline_slot(ShapeId id) const { return graph_->shapes().slot_of(id); }

bool AliveZone::has_exposed_segment(const Shape& shape) const { return graph_->has_exposed_segment(shape); }

void AliveZone::append_exposed_pieces(const Shape& shape, std::vector<ExposedPiece>& out) const {
    graph_->for_each_exposed_piece(shape, [&out](const ExposedPiece& piece) {
        out.push_back(piece);
        return true;
    });
}

void AliveZone::append_exposed_starts(const Shape& shape, std::vector<Point>& out) const {
    graph_->for_each_segment(shape, [&out](SegId, const Segment& seg, std::int64_t cover) {
        if (!seg.off_board && cover == 0) out.push_back(seg.start);
    });
}

std::vector<SegmentGeometry> AliveZone::exposed_segments() const {
    std::vector<SegmentGeometry> out;
    const ClipGraph& g = *graph_;
    for (const auto& entry : g.shapes()) {
        const Shape& shape = entry.second;
        if (!shape.head) continue;
        const SegId head = *shape.head;
        g.for_each_segment(shape, [&](SegId s, const Segment& seg, std::int64_t cover) {
            // An edge list's last segment only closes the circular list.
            if (shape.is_edge && seg.next == head) return false;
            if (seg.off_board || cover != 0) return true;
            if (const auto geometry = g.segment_geometry(s)) out.push_back(*geometry);
            return true;
        });
    }
    return out;
}

std::size_t AliveZone::segment_count() const { return static_cast<std::size_t>(graph_->live_count()); }

}  // namespace cellvane
