#include "analysis/liveness.hpp"

#include <cmath>
#include <limits>
#include <variant>

namespace cellvane {

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();

// Minimum in which a NaN operand never replaces a number.
double min_of(double a, double b) {
    if (std::isnan(b)) return a;
    if (std::isnan(a)) return b;
    return b < a ? b : a;
}

double dist(Point a, Point b) {
    const double dx = a.x - b.x;
    const double dy = a.y - b.y;
    return std::sqrt(dx * dx + dy * dy);
}

double cross(Point u, Point v) { return u.x * v.y - u.y * v.x; }
Point minus(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }

// The point of the piece u-v nearest to x.
Point nearest_on_piece(Point u, Point v, Point x) {
    const Point d = minus(v, u);
    const double len2 = d.x * d.x + d.y * d.y;
    if (len2 == 0) return u;
    double t = ((x.x - u.x) * d.x + (x.y - u.y) * d.y) / len2;
    if (t < 0) t = 0;
    if (t > 1) t = 1;
    return {u.x + t * d.x, u.y + t * d.y};
}

double point_piece_distance(Point x, Point u, Point v) { return dist(x, nearest_on_piece(u, v, x)); }

// Whether the line piece and the piece c-d cross, by the signs of the four
// orientations (strictly).
bool line_crosses(const LineSeg& s, Point c, Point d) {
    const Point a = s.from;
    const Point b = s.to;
    const double o1 = cross(minus(c, a), minus(d, a));
    const double o2 = cross(minus(c, b), minus(d, b));
    const double o3 = cross(minus(b, a), minus(d, a));
    const double o4 = cross(minus(b, a), minus(c, a));
    return o1 * o2 < 0 && o3 * o4 < 0;
}

// The least of the four end-to-piece distances between the two pieces.
double line_end_distance(const LineSeg& s, Point c, Point d) {
    const Point a = s.from;
    const Point b = s.to;
    double r = point_piece_distance(a, c, d);
    r = min_of(r, point_piece_distance(b, c, d));
    r = min_of(r, point_piece_distance(c, a, b));
    r = min_of(r, point_piece_distance(d, a, b));
    return r;
}

double segment_distance(const LineSeg& s, Point c, Point d) {
    if (line_crosses(s, c, d)) return 0.0;
    return line_end_distance(s, c, d);
}

bool on_arc(double theta, double m, double l) {
    if (l >= m) return m <= theta && theta <= l;
    return theta >= m || theta <= l;
}

double circular_gap(double a, double b) {
    const double g = std::fabs(a - b);
    return min_of(g, TWO_PI - g);
}

double normalised(double t) {
    const double r = std::fmod(t, TWO_PI);
    return r < 0 ? r + TWO_PI : r;
}

Point on_circle(Point c, double r, double angle) { return {c.x + r * std::cos(angle), c.y + r * std::sin(angle)}; }

// The liveness measure between an arc and the piece p-q: the least of the
// ends' distances to the arc (their angles clamped onto it), the arc's end
// points' distances to the piece, and, when the piece's point nearest the
// centre faces the arc, that point's distance to the circle. This is not the
// exact distance: a piece crossing the arc between those probes measures
// positive. m and l are the arc's normalised angles, s and e its end points
// taken at the raw angles; they depend on the arc alone.
double arc_measure(Point c, double r, double m, double l, Point s, Point e, Point p, Point q) {
    auto end_distance = [&](Point x) {
        double theta = normalised(std::atan2(x.y - c.y, x.x - c.x));
        if (!on_arc(theta, m, l)) theta = circular_gap(theta, m) < circular_gap(theta, l) ? m : l;
        return dist(x, on_circle(c, r, theta));
    };
    double result = min_of(end_distance(p), end_distance(q));
    result = min_of(result, point_piece_distance(s, p, q));
    result = min_of(result, point_piece_distance(e, p, q));
    const Point f = nearest_on_piece(p, q, c);
    if (on_arc(normalised(std::atan2(f.y - c.y, f.x - c.x)), m, l)) {
        result = min_of(result, std::fabs(dist(c, f) - r));
    }
    return result;
}

double arc_distance(const ArcSeg& arc, Point p, Point q) {
    return arc_measure(arc.centre, arc.radius, normalised(arc.start), normalised(arc.end),
                       on_circle(arc.centre, arc.radius, arc.start), on_circle(arc.centre, arc.radius, arc.end), p, q);
}

// Distance from the piece p-q to a whole circle's outline; 0 when the piece
// crosses it.
double whole_circle_distance(Point c, double r, Point p, Point q) {
    const double a = dist(c, p);
    const double b = dist(c, q);
    const bool in_a = r > a;
    const bool in_b = r > b;
    if (in_a && in_b) return r - (a < b ? b : a);
    if (in_a != in_b) return 0.0;
    const double cf = dist(c, nearest_on_piece(p, q, c));
    return r > cf ? 0.0 : cf - r;
}

double piece_distance(const ExposedPiece& piece, Point p, Point q) {
    if (const auto* line = std::get_if<LineSeg>(&piece)) return segment_distance(*line, p, q);
    if (const auto* arc = std::get_if<ArcSeg>(&piece)) return arc_distance(*arc, p, q);
    return INF;
}

// The start of every exposed segment: every shape in ascending id, its list
// from the head, at most count segments, stopping on return to the head or
// at an unusable slot.
void collect_exposed_starts(const ClipGraph& graph, std::vector<Point>& out) {
    for (const auto& [id, shape] : graph.shapes()) {
        if (!shape.head) continue;
        const SegId head = *shape.head;
        SegId cur = head;
        for (std::uint64_t step = 0; step < shape.count; ++step) {
            const Segment* seg = graph.slot(cur);
            if (seg == nullptr) break;
            if (!seg->off_board && seg->covered_by.empty()) out.push_back(seg->start);
            cur = seg->next;
            if (cur == head) break;
        }
    }
}

using Box = LivenessScene::Box;

Box box_of(Point a, Point b) {
    return {a.x < b.x ? a.x : b.x, a.y < b.y ? a.y : b.y, a.x < b.x ? b.x : a.x, a.y < b.y ? b.y : a.y};
}

// Whether the two boxes lie more than `reach` apart along an axis. Every
// comparison with a NaN is false, so a NaN anywhere separates nothing.
bool separated(const Box& a, const Box& b, double reach) {
    return a.lox - b.hix > reach || b.lox - a.hix > reach || a.loy - b.hiy > reach || b.loy - a.hiy > reach;
}

// Rounding margin of the box tests: far above the few units in the last
// place by which a computed distance can fall short of the distance between
// the two point sets it measures.
double margin(double scale) { return 1e-9 * (1.0 + scale); }

}  // namespace

LivenessScene::LivenessScene(const AliveZone& zone) : zone_(&zone), size_(zone.graph().board_size()) {
    const auto& shapes = zone.graph().shapes();
    for (const auto& [id, shape] : shapes) {
        if (const auto* c = std::get_if<Circle>(&shape.kind)) {
            circles_.push_back(*c);
        } else {
            lines_.push_back(&shape.kind);
        }
    }
}

bool LivenessScene::vertex_in_play(Point v) const {
    // The test depth_at(v) <= 0, decided by the first shape whose depth at v
    // is positive: the maximum is at most 0 exactly when no depth exceeds 0
    // (a NaN depth never raises the maximum).
    const double s = size_;
    if (!(0.0 <= v.x && v.x <= s && 0.0 <= v.y && v.y <= s)) return false;
    const auto& eyes = zone_->forced_eyes();
    if (!eyes.empty() && eyes.contains(point_key(v))) return true;
    for (const ShapeKind* kind : lines_) {
        if (depth_in(*kind, v) > 0) return false;
    }
    for (const Circle& c : circles_) {
        // A centre more than r + 1 away along an axis is farther than r: the
        // depth there is negative, whatever the rounding.
        if (c.radius <= 1e6) {
            const double reach = c.radius + 1.0;
            if (std::fabs(v.x - c.centre.x) > reach || std::fabs(v.y - c.centre.y) > reach) continue;
        }
        if (c.radius - distance(v, c.centre) > 0) return false;
    }
    return true;
}

void LivenessScene::build_pieces() {
    pieces_built_ = true;
    const ClipGraph& graph = zone_->graph();
    for (const auto& [id, shape] : graph.shapes()) {
        ShapeEntry entry;
        const auto* c = std::get_if<Circle>(&shape.kind);
        if (shape.count <= 1) {
            // An edge line with at most one segment bounds nothing.
            if (c == nullptr) continue;
            entry.whole = true;
            entry.c = *c;
            shapes_.push_back(entry);
            continue;
        }
        entry.first = static_cast<std::uint32_t>(pieces_.size());
        graph.for_each_exposed_piece(id, [&](const ExposedPiece& exposed) {
            Piece piece;
            if (const auto* line = std::get_if<LineSeg>(&exposed)) {
                piece.line = *line;
                piece.box = box_of(line->from, line->to);
            } else if (const auto* arc = std::get_if<ArcSeg>(&exposed)) {
                // The terms that need the arc's angles wait until the piece
                // is first measured; until then its circle's box stands in.
                piece.is_arc = true;
                piece.arc = *arc;
                const Point k = arc->centre;
                const double r = arc->radius;
                piece.box = {k.x - r, k.y - r, k.x + r, k.y + r};
            } else {
                return true;
            }
            piece.scale = std::fabs(piece.box.lox) + std::fabs(piece.box.loy) + std::fabs(piece.box.hix) +
                          std::fabs(piece.box.hiy);
            pieces_.push_back(piece);
            return true;
        });
        entry.end = static_cast<std::uint32_t>(pieces_.size());
        if (entry.first == entry.end) continue;  // nothing exposed: nothing to measure
        if (c != nullptr) {
            entry.circle = true;
            entry.c = *c;
            entry.box = {c->centre.x - c->radius, c->centre.y - c->radius, c->centre.x + c->radius,
                         c->centre.y + c->radius};
            entry.scale = std::fabs(c->centre.x) + std::fabs(c->centre.y) + c->radius;
        }
        shapes_.push_back(entry);
    }
}

void LivenessScene::prepare_arc(Piece& piece) {
    piece.prepared = true;
    const ArcSeg& arc = piece.arc;
    const Point k = arc.centre;
    const double r = arc.radius;
    piece.m = normalised(arc.start);
    piece.l = normalised(arc.end);
    piece.from = on_circle(k, r, arc.start);
    piece.to = on_circle(k, r, arc.end);
    // The arc's box: its end points, widened to each axis extreme of the
    // circle that the arc passes.
    piece.box = box_of(piece.from, piece.to);
    if (on_arc(0.0, piece.m, piece.l)) piece.box.hix = k.x + r;
    if (on_arc(PI * 0.5, piece.m, piece.l)) piece.box.hiy = k.y + r;
    if (on_arc(PI, piece.m, piece.l)) piece.box.lox = k.x - r;
    if (on_arc(PI * 1.5, piece.m, piece.l)) piece.box.loy = k.y - r;
    piece.scale = std::fabs(k.x) + std::fabs(k.y) + r + std::fabs(piece.box.lox) + std::fabs(piece.box.loy) +
                  std::fabs(piece.box.hix) + std::fabs(piece.box.hiy);
}

// The first measure at or below the limit decides, since the running
// minimum only falls. Every term of a measure is a computed distance between
// a point of the piece p-q and a point of the outline piece (the crossing
// test of two line pieces aside, which is made first), so a piece whose box
// lies farther than the limit from the box of p-q, by a margin far above
// rounding, cannot decide and is passed over. The same holds for a split
// circle as a whole, whose pieces all lie on it.
bool LivenessScene::clearance_within(Point p, Point q, double limit) {
    if (!pieces_built_) build_pieces();
    const Box query = box_of(p, q);
    const double query_scale = std::fabs(p.x) + std::fabs(p.y) + std::fabs(q.x) + std::fabs(q.y);
    for (const ShapeEntry& entry : shapes_) {
        if (entry.whole) {
            if (whole_circle_distance(entry.c.centre, entry.c.radius, p, q) <= limit) return true;
            continue;
        }
        if (entry.circle) {
            if (separated(entry.box, query, limit + margin(entry.scale + query_scale))) continue;
            const Circle* circle = &entry.c;
            const double bound = dist(circle->centre, nearest_on_piece(p, q, circle->centre)) - circle->radius;
            const double scale = std::fabs(circle->centre.x) + std::fabs(circle->centre.y) + circle->radius +
                                 std::fabs(p.x) + std::fabs(p.y) + std::fabs(q.x) + std::fabs(q.y);
            if (bound > limit + 1e-9 * (1.0 + scale)) continue;
        }
        for (std::uint32_t i = entry.first; i < entry.end; ++i) {
            Piece& piece = pieces_[i];
            if (piece.is_arc) {
                if (!piece.prepared) prepare_arc(piece);
                if (separated(piece.box, query, limit + margin(piece.scale + query_scale))) continue;
                const ArcSeg& a = piece.arc;
                if (arc_measure(a.centre, a.radius, piece.m, piece.l, piece.from, piece.to, p, q) <= limit) return true;
            } else {
                if (line_crosses(piece.line, p, q)) {
                    if (0.0 <= limit) return true;
                    continue;
                }
                if (separated(piece.box, query, limit + margin(piece.scale + query_scale))) continue;
                if (line_end_distance(piece.line, p, q) <= limit) return true;
            }
        }
    }
    for (const auto& [key, eye] : zone_->forced_eyes()) {
        if (dist(eye, nearest_on_piece(p, q, eye)) <= limit) return true;
    }
    return false;
}

bool LivenessScene::is_alive(const std::vector<Ring>& rings) {
    if (rings.empty()) return false;
    // Cheapest first: a vertex in playable space.
    for (const Ring& ring : rings) {
        for (const Point& v : ring) {
            if (vertex_in_play(v)) return true;
        }
    }
    // A territory edge within reach of the playable boundary or a forced eye.
    for (const Ring& ring : rings) {
        const std::size_t len = ring.size();
        if (len < 2) continue;
        for (std::size_t i = 0; i < len; ++i) {
            if (clearance_within(ring[i], ring[(i + 1) % len], 1.0)) return true;
        }
    }
    for (const auto& [key, eye] : zone_->forced_eyes()) {
        if (territory_contains(rings, eye.x, eye.y)) return true;
    }
    return exposed_start_inside(rings);
}

bool LivenessScene::exposed_start_inside(const std::vector<Ring>& rings) {
    if (rings.empty()) return false;
    if (!starts_built_) {
        starts_built_ = true;
        collect_exposed_starts(zone_->graph(), starts_);
    }
    // A start outside the box of ring 0 is not inside ring 0: the crossings
    // of its row with the ring are counted only to its right, and every
    // computed crossing lies within the box up to rounding, so beyond its
    // right side none count and beyond its left side all of them do, an even
    // number on a closed ring. Above or below it no piece of the ring spans
    // the row. Rings with a non-finite point are tested in full.
    const Ring& outer = rings[0];
    bool boxed = outer.size() >= 3;
    Box box{INF, INF, -INF, -INF};
    for (const Point& v : outer) {
        if (!std::isfinite(v.x) || !std::isfinite(v.y)) {
            boxed = false;
            break;
        }
        if (v.x < box.lox) box.lox = v.x;
        if (v.x > box.hix) box.hix = v.x;
        if (v.y < box.loy) box.loy = v.y;
        if (v.y > box.hiy) box.hiy = v.y;
    }
    const double slack = boxed ? margin(std::fabs(box.lox) + std::fabs(box.hix)) : 0.0;
    for (const Point& start : starts_) {
        if (boxed && (start.y < box.loy || start.y > box.hiy || start.x > box.hix + slack || start.x < box.lox - slack)) {
            continue;
        }
        if (territory_contains(rings, start.x, start.y)) return true;
    }
    return false;
}

bool clearance_within(const AliveZone& zone, Point p, Point q, double limit) {
    LivenessScene scene(zone);
    return scene.clearance_within(p, q, limit);
}

double clearance(const AliveZone& zone, Point p, Point q) {
    const ClipGraph& graph = zone.graph();
    double result = INF;
    for (const auto& [id, shape] : graph.shapes()) {
        double h = INF;
        if (shape.count > 1) {
            graph.for_each_exposed_piece(id, [&](const ExposedPiece& piece) {
                h = min_of(h, piece_distance(piece, p, q));
                if (h <= 0) {
                    h = 0.0;
                    return false;
                }
                return true;
            });
        } else if (const auto* circle = std::get_if<Circle>(&shape.kind)) {
            h = whole_circle_distance(circle->centre, circle->radius, p, q);
        }
        result = min_of(result, h);
        if (result <= 0) return 0.0;
    }
    for (const auto& [key, eye] : zone.forced_eyes()) {
        result = min_of(result, dist(eye, nearest_on_piece(p, q, eye)));
        if (result <= 0) return 0.0;
    }
    return result;
}

bool is_alive(const AliveZone& zone, const std::vector<Ring>& rings) {
    if (rings.empty()) return false;
    LivenessScene scene(zone);
    return scene.is_alive(rings);
}

std::vector<Stone> dead_stones(const PositionAnalysis& analysis, const AliveZone& zone, Color color) {
    std::vector<Stone> out;
    const auto& groups = color == Color::Black ? analysis.black : analysis.white;
    if (groups.empty()) return out;
    LivenessScene scene(zone);
    for (const Group& g : groups) {
        if (!scene.is_alive(g.rings)) out.insert(out.end(), g.stones.begin(), g.stones.end());
    }
    return out;
}

}  // namespace cellvane
