// Points, outlines (circles and board-edge lines) and the small routines the
// playable area is built from. Every formula is evaluated in a fixed order:
// the placeability and crossing tests compare against tolerances close to
// rounding error, so a reordered expression can change answers at the edges.

#include <cmath>

#include "zone/geometry.hpp"
#include "zone/zone.hpp"

namespace cellvane {

namespace {

bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// A dead zone's radius, squared.
constexpr double DEAD_ZONE_SQUARED = DEAD_ZONE_RADIUS * DEAD_ZONE_RADIUS;

}  // namespace

double offset_on(const ShapeKind& kind, Point p, const BoardFrame& frame) {
    if (const auto* c = std::get_if<Circle>(&kind)) return angle_about(c->centre, p);
    switch (std::get<Edge>(kind).side) {
        case EdgeSide::Left: return p.y;
        case EdgeSide::Bottom: return p.x;
        case EdgeSide::Right: return frame.size - p.y;
        case EdgeSide::Top: return frame.size - p.x;
    }
    return p.y;
}

double depth_in(const ShapeKind& kind, Point p, const BoardFrame& frame) {
    if (const auto* c = std::get_if<Circle>(&kind)) return circle_depth(c->centre, c->radius, p);
    switch (std::get<Edge>(kind).side) {
        case EdgeSide::Left: return frame.near - p.x;
        case EdgeSide::Bottom: return p.y - frame.far;
        case EdgeSide::Right: return p.x - frame.far;
        case EdgeSide::Top: return frame.near - p.y;
    }
    return frame.near - p.x;
}

namespace {

// The two points where a circle about `from` (radius squared from_sq) meets
// one about `to` (to_sq), q apart, worked out from `from`.
std::pair<Point, Point> crossings_from(Point from, Point to, double q, double from_sq, double to_sq) {
    const double a = (q * q + (from_sq - to_sq)) / (q + q);
    const double h = std::sqrt(from_sq - a * a);
    const double dx = to.x - from.x;
    const double dy = to.y - from.y;
    const double X = dx * a / q + from.x;
    const double Y = a * dy / q + from.y;
    return {Point{X + dy * h / q, Y - dx * h / q}, Point{X - dy * h / q, Y + dx * h / q}};
}

std::optional<Crossing> intersect_circle(const Circle& c, Point f) {
    const Point k = c.centre;
    const double r = c.radius;
    const double q = distance(k, f);
    const double n = DEAD_ZONE_RADIUS;
    if (q > (r + n) + EPSILON) return std::nullopt;
    if (std::fabs(r - n) - EPSILON > q) return std::nullopt;
    if (q < EPSILON) return std::nullopt;
    if (std::fabs(q - (r + n)) < EPSILON) return std::nullopt;
    if (std::fabs(q - std::fabs(r - n)) < EPSILON) return std::nullopt;

    // The crossing points are worked out from the smaller of the two centres
    // (x, then y), so that a pair of circles gives the same points to the
    // last bit whichever of them was carved first.
    const bool from_new = f.x < k.x || (f.x == k.x && f.y < k.y);
    const auto [p1, p2] = from_new ? crossings_from(f, k, q, DEAD_ZONE_SQUARED, r * r)
                                   : crossings_from(k, f, q, r * r, DEAD_ZONE_SQUARED);
    // Ordered about the existing centre: its arc from first to second lies
    // inside the new circle.
    const double w1 = angle_about(k, p1);
    const double w2 = angle_about(k, p2);
    const double d = normalise_angle(w2 - w1 + TWO_PI);
    if (d < PI) return Crossing{p1, p2, w1, w2};
    return Crossing{p2, p1, w2, w1};
}

std::optional<std::pair<Point, Point>> intersect_edge(const Edge& e, Point f, const BoardFrame& frame) {
    switch (e.side) {
        case EdgeSide::Left:
        case EdgeSide::Right: {
            const double L = e.side == EdgeSide::Left ? frame.near : frame.far;
            const double t = L - f.x;
            const double w = DEAD_ZONE_SQUARED - t * t;
            if (EPSILON >= w) return std::nullopt;
            double R = std::sqrt(w);
            if (e.side == EdgeSide::Left) R = -R;
            return std::make_pair(Point{L, f.y + R}, Point{L, f.y - R});
        }
        case EdgeSide::Bottom:
        case EdgeSide::Top: {
            const double L = e.side == EdgeSide::Bottom ? frame.far : frame.near;
            const double t = L - f.y;
            const double w = DEAD_ZONE_SQUARED - t * t;
            if (EPSILON >= w) return std::nullopt;
            double R = std::sqrt(w);
            if (e.side == EdgeSide::Bottom) R = -R;
            return std::make_pair(Point{f.x + R, L}, Point{f.x - R, L});
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<Crossing> crossing_with(const ShapeKind& kind, Point f, const BoardFrame& frame) {
    std::optional<Crossing> hit;
    if (const auto* c = std::get_if<Circle>(&kind)) {
        hit = intersect_circle(*c, f);
    } else if (const auto pair = intersect_edge(std::get<Edge>(kind), f, frame)) {
        hit = Crossing{pair->first, pair->second, offset_on(kind, pair->first, frame),
                       offset_on(kind, pair->second, frame)};
    }
    // A NaN or infinite centre, radius or board size slips through the
    // comparisons above (every test against NaN is false) and would produce
    // crossing points that are not points at all. Such outlines cross nothing.
    if (hit && !(finite(hit->first) && finite(hit->second))) return std::nullopt;
    return hit;
}

std::optional<std::pair<Point, Point>> intersect(const ShapeKind& kind, Point f, const BoardFrame& frame) {
    const auto hit = crossing_with(kind, f, frame);
    if (!hit) return std::nullopt;
    return std::make_pair(hit->first, hit->second);
}

Point closest_point_on_segment(const SegmentGeometry& g, Point p) {
    if (const auto* line = std::get_if<LineSeg>(&g)) {
        const Point a = line->from;
        const double dx = line->to.x - a.x;
        const double dy = line->to.y - a.y;
        const double e = dx * dx + dy * dy;
        if (e == 0.0) return a;
        double t = ((p.x - a.x) * dx + (p.y - a.y) * dy) / e;
        if (t < 0.0) t = 0.0;
        if (t > 1.0) t = 1.0;
        return Point{a.x + t * dx, a.y + t * dy};
    }
    const auto& arc = std::get<ArcSeg>(g);
    return closest_point_on_arc(arc, angle_about(arc.centre, p));
}

Point closest_point_on_arc(const ArcSeg& arc, double theta) {
    const Point c = arc.centre;
    const double s0 = normalise_angle(arc.start);
    const double e0 = normalise_angle(arc.end);
    const bool inside = (s0 <= e0) ? (s0 <= theta && theta <= e0) : (s0 > e0 && (theta >= s0 || theta <= e0));
    if (!inside) {
        auto gap = [theta](double end) {
            const double g0 = std::fabs(theta - end);
            if (std::isnan(g0)) return g0;
            const double other = TWO_PI - g0;
            return other < g0 ? other : g0;
        };
        theta = gap(s0) < gap(e0) ? s0 : e0;
    }
    return Point{c.x + std::cos(theta) * arc.radius, c.y + std::sin(theta) * arc.radius};
}

Point closest_point_on_circle(Point centre, double radius, Point p) {
    const double dx = p.x - centre.x;
    const double dy = p.y - centre.y;
    const double q = dx * dx + dy * dy;
    if (q == 0.0) return Point{centre.x + radius, centre.y};
    const double k = radius / std::sqrt(q);
    return Point{centre.x + dx * k, centre.y + dy * k};
}

}  // namespace cellvane
