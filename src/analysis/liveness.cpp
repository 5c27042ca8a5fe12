#include <cmath>
#include <limits>
#include <variant>

#include "analysis/liveness.hpp"

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

double segment_distance(const LineSeg& s, Point c, Point d) {
    const Point a = s.from;
    const Point b = s.to;
    const double o1 = cross(minus(c, a), minus(d, a));
    const double o2 = cross(minus(c, b), minus(d, b));
    const double o3 = cross(minus(b, a), minus(d, a));
    const double o4 = cross(minus(b, a), minus(c, a));
    if (o1 * o2 < 0 && o3 * o4 < 0) return 0.0;
    double r = point_piece_distance(a, c, d);
    r = min_of(r, point_piece_distance(b, c, d));
    r = min_of(r, point_piece_distance(c, a, b));
    r = min_of(r, point_piece_distance(d, a, b));
    return r;
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

// The liveness measure between an arc and the piece p-q: the least of the
// ends' distances to the arc (their angles clamped onto it), the arc's end
// points' distances to the piece, and, when the piece's point nearest the
// centre faces the arc, that point's distance to the circle. This is not the
// exact distance: a piece crossing the arc between those probes measures
// positive.
double arc_distance(const ArcSeg& arc, Point p, Point q) {
    const Point c = arc.centre;
    const double r = arc.radius;
    const double m = normalised(arc.start);
    const double l = normalised(arc.end);
    auto end_distance = [&](Point x) {
        double theta = normalised(std::atan2(x.y - c.y, x.x - c.x));
        if (!on_arc(theta, m, l)) theta = circular_gap(theta, m) < circular_gap(theta, l) ? m : l;
        return dist(x, Point{c.x + r * std::cos(theta), c.y + r * std::sin(theta)});
    };
    double result = min_of(end_distance(p), end_distance(q));
    const Point s{c.x + r * std::cos(arc.start), c.y + r * std::sin(arc.start)};
    const Point e{c.x + r * std::cos(arc.end), c.y + r * std::sin(arc.end)};
    result = min_of(result, point_piece_distance(s, p, q));
    result = min_of(result, point_piece_distance(e, p, q));
    const Point f = nearest_on_piece(p, q, c);
    if (on_arc(normalised(std::atan2(f.y - c.y, f.x - c.x)), m, l)) {
        result = min_of(result, std::fabs(dist(c, f) - r));
    }
    return result;
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

// Whether the segment's start lies in the territory, for any exposed segment
// of any shape.
bool exposed_start_inside(const ClipGraph& graph, const std::vector<Ring>& rings) {
    for (const auto& [id, shape] : graph.shapes()) {
        if (!shape.head) continue;
        const SegId head = *shape.head;
        SegId cur = head;
        for (std::uint64_t step = 0; step < shape.count; ++step) {
            const Segment* seg = graph.slot(cur);
            if (seg == nullptr) break;
            if (graph.is_exposed(cur) && territory_contains(rings, seg->start.x, seg->start.y)) return true;
            cur = seg->next;
            if (cur == head) break;
        }
    }
    return false;
}

}  // namespace

// Whether clearance(zone, p, q) <= limit, without computing it in full: the
// running minimum only falls, so the first value at or below the limit
// decides. A circle's pieces all lie on the circle, and every term of the
// measure (end to circle point, arc end to piece, nearest point to outline) is
// at least the piece's distance to the centre minus the radius; a circle whose
// bound clears the limit by a margin far above rounding error cannot decide,
// and is passed over.
bool clearance_within(const AliveZone& zone, Point p, Point q, double limit) {
    const ClipGraph& graph = zone.graph();
    for (const auto& [id, shape] : graph.shapes()) {
        if (shape.count > 1) {
            if (const auto* circle = std::get_if<Circle>(&shape.kind)) {
                const double bound = dist(circle->centre, nearest_on_piece(p, q, circle->centre)) - circle->radius;
                const double scale = std::fabs(circle->centre.x) + std::fabs(circle->centre.y) + circle->radius +
                                     std::fabs(p.x) + std::fabs(p.y) + std::fabs(q.x) + std::fabs(q.y);
                if (bound > limit + 1e-9 * (1.0 + scale)) continue;
            }
            bool reached = false;
            graph.for_each_exposed_piece(id, [&](const ExposedPiece& piece) {
                reached = piece_distance(piece, p, q) <= limit;
                return !reached;
            });
            if (reached) return true;
        } else if (const auto* circle = std::get_if<Circle>(&shape.kind)) {
            if (whole_circle_distance(circle->centre, circle->radius, p, q) <= limit) return true;
        }
    }
    for (const auto& [key, eye] : zone.forced_eyes()) {
        if (dist(eye, nearest_on_piece(p, q, eye)) <= limit) return true;
    }
    return false;
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
    // Cheapest first: a vertex in playable space.
    for (const Ring& ring : rings) {
        for (const Point& v : ring) {
            if (zone.depth_at(v) <= 0) return true;
        }
    }
    // A territory edge within reach of the playable boundary or a forced eye.
    for (const Ring& ring : rings) {
        const std::size_t len = ring.size();
        if (len < 2) continue;
        for (std::size_t i = 0; i < len; ++i) {
            if (clearance_within(zone, ring[i], ring[(i + 1) % len], 1.0)) return true;
        }
    }
    for (const auto& [key, eye] : zone.forced_eyes()) {
        if (territory_contains(rings, eye.x, eye.y)) return true;
    }
    return exposed_start_inside(zone.graph(), rings);
}

std::vector<Stone> dead_stones(const PositionAnalysis& analysis, const AliveZone& zone, Color color) {
    std::vector<Stone> out;
    const auto& groups = color == Color::Black ? analysis.black : analysis.white;
    for (const Group& g : groups) {
        if (!is_alive(zone, g.rings)) out.insert(out.end(), g.stones.begin(), g.stones.end());
    }
    return out;
}

}  // namespace cellvane
