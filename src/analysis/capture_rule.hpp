// The capture rule: a group is dead, and is captured, when its territory no
// longer touches playable space.
//
// Playable space is the alive zone (zone/zone.hpp): where a stone's centre
// may be placed, together with the forced eyes that captures leave. A stone
// placed there covers everything within STONE_RADIUS of its centre. A
// group's territory (its rings: ring 0 the outer boundary, later rings its
// holes) touches playable space when one of four checks succeeds, tried in
// this order:
//
//   1. a vertex of the territory is in play: the zone's depth there is at
//      most 0 (a forced eye's own point counts, at depth minus infinity);
//   2. an edge of the territory comes within LIVENESS_REACH of the alive
//      zone's boundary or of a forced eye, by the clearance measure below;
//   3. a forced eye lies inside the territory;
//   4. a piece of the alive zone's boundary starts inside the territory (an
//      island of playable space the territory encloses).
//
// A group with no territory (no rings) is dead. This file states the rule
// directly on the zone, reading every piece. The engine answers it with the
// liveness scene (liveness.hpp), which passes over whatever is too far away
// to decide; the tests hold the scene's answers to the functions here.
#pragma once

#include <cmath>
#include <cstddef>
#include <limits>
#include <variant>
#include <vector>

#include "analysis/analysis.hpp"
#include "analysis/nan_aware.hpp"
#include "core/core.hpp"
#include "zone/zone.hpp"

namespace cellvane {

// ------------------------------------------------------------ the measures

// The distances the edge check compares with LIVENESS_REACH, between a piece
// of territory edge p-q and one piece of the boundary. Every minimum is taken
// so that a NaN operand never replaces a number.
namespace measure {

inline constexpr double INF = std::numeric_limits<double>::infinity();

inline double cross(Point u, Point v) { return u.x * v.y - u.y * v.x; }
inline Point minus(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }

// The point of the piece u-v nearest to x.
inline Point nearest_on_piece(Point u, Point v, Point x) {
    const Point d = minus(v, u);
    const double len2 = d.x * d.x + d.y * d.y;
    if (len2 == 0) return u;
    double t = ((x.x - u.x) * d.x + (x.y - u.y) * d.y) / len2;
    if (t < 0) t = 0;
    if (t > 1) t = 1;
    return {u.x + t * d.x, u.y + t * d.y};
}

inline double point_piece_distance(Point x, Point u, Point v) { return distance(x, nearest_on_piece(u, v, x)); }

// Whether the line piece and the piece c-d cross, by the signs of the four
// orientations (strictly).
inline bool line_crosses(const LineSeg& s, Point c, Point d) {
    const Point a = s.from;
    const Point b = s.to;
    const double o1 = cross(minus(c, a), minus(d, a));
    const double o2 = cross(minus(c, b), minus(d, b));
    const double o3 = cross(minus(b, a), minus(d, a));
    const double o4 = cross(minus(b, a), minus(c, a));
    return o1 * o2 < 0 && o3 * o4 < 0;
}

// The least of the four end-to-piece distances between the two pieces.
inline double line_end_distance(const LineSeg& s, Point c, Point d) {
    const Point a = s.from;
    const Point b = s.to;
    double r = point_piece_distance(a, c, d);
    r = min_of(r, point_piece_distance(b, c, d));
    r = min_of(r, point_piece_distance(c, a, b));
    r = min_of(r, point_piece_distance(d, a, b));
    return r;
}

inline double segment_distance(const LineSeg& s, Point c, Point d) {
    if (line_crosses(s, c, d)) return 0.0;
    return line_end_distance(s, c, d);
}

inline bool on_arc(double theta, double m, double l) {
    if (l >= m) return m <= theta && theta <= l;
    return theta >= m || theta <= l;
}

inline double circular_gap(double a, double b) {
    const double g = std::fabs(a - b);
    return min_of(g, TWO_PI - g);
}

inline Point on_circle(Point c, double r, double angle) { return {c.x + r * std::cos(angle), c.y + r * std::sin(angle)}; }

// The liveness measure between an arc and the piece p-q: the least of the
// ends' distances to the arc (their angles clamped onto it), the arc's end
// points' distances to the piece, and, when the piece's point nearest the
// centre faces the arc, that point's distance to the circle. This is not the
// exact distance: a piece crossing the arc between those probes measures
// positive. m and l are the arc's normalised angles, s and e its end points
// taken at the raw angles; they depend on the arc alone.
inline double arc_measure(Point c, double r, double m, double l, Point s, Point e, Point p, Point q) {
    auto end_distance = [&](Point x) {
        double theta = angle_about(c, x);
        if (!on_arc(theta, m, l)) theta = circular_gap(theta, m) < circular_gap(theta, l) ? m : l;
        return distance(x, on_circle(c, r, theta));
    };
    double result = min_of(end_distance(p), end_distance(q));
    result = min_of(result, point_piece_distance(s, p, q));
    result = min_of(result, point_piece_distance(e, p, q));
    const Point f = nearest_on_piece(p, q, c);
    if (on_arc(angle_about(c, f), m, l)) {
        result = min_of(result, std::fabs(distance(c, f) - r));
    }
    return result;
}

inline double arc_distance(const ArcSeg& arc, Point p, Point q) {
    return arc_measure(arc.centre, arc.radius, normalise_angle(arc.start), normalise_angle(arc.end),
                       on_circle(arc.centre, arc.radius, arc.start), on_circle(arc.centre, arc.radius, arc.end), p, q);
}

// Distance from the piece p-q to a whole circle's outline; 0 when the piece
// crosses it.
inline double whole_circle_distance(Point c, double r, Point p, Point q) {
    const double a = distance(c, p);
    const double b = distance(c, q);
    const bool in_a = r > a;
    const bool in_b = r > b;
    if (in_a && in_b) return r - (a < b ? b : a);
    if (in_a != in_b) return 0.0;
    const double cf = distance(c, nearest_on_piece(p, q, c));
    return r > cf ? 0.0 : cf - r;
}

inline double piece_distance(const ExposedPiece& piece, Point p, Point q) {
    if (const auto* line = std::get_if<LineSeg>(&piece)) return segment_distance(*line, p, q);
    if (const auto* arc = std::get_if<ArcSeg>(&piece)) return arc_distance(*arc, p, q);
    return INF;
}

}  // namespace measure

// How near the piece p-q comes to playable space: the least of its measures
// to every exposed piece of every outline (a circle that crosses nothing
// counts whole) and its distances to every forced eye; infinity when there
// is nothing to measure against, and 0 as soon as a measure reaches 0.
inline double clearance(const AliveZone& zone, Point p, Point q) {
    using namespace measure;
    const OutlineSlots slots = zone.outlines();
    std::vector<ExposedPiece> pieces;
    double result = INF;
    for (std::size_t slot = 0; slot < slots.size(); ++slot) {
        if (slots[slot].first == ERASED_SLOT) continue;
        const Shape& shape = slots[slot].second;
        double h = INF;
        if (shape.count > 1) {
            pieces.clear();
            zone.append_exposed_pieces(shape, pieces);
            for (const ExposedPiece& piece : pieces) {
                h = min_of(h, piece_distance(piece, p, q));
                if (h <= 0) {
                    h = 0.0;
                    break;
                }
            }
        } else if (const auto* circle = std::get_if<Circle>(&shape.kind)) {
            h = whole_circle_distance(circle->centre, circle->radius, p, q);
        }
        result = min_of(result, h);
        if (result <= 0) return 0.0;
    }
    for (const auto& [key, eye] : zone.forced_eyes()) {
        result = min_of(result, distance(eye, nearest_on_piece(p, q, eye)));
        if (result <= 0) return 0.0;
    }
    return result;
}

// ---------------------------------------------------------- the four checks

// 1. A vertex of the territory in play.
inline bool vertex_in_play(const AliveZone& zone, const std::vector<Ring>& rings) {
    for (const Ring& ring : rings) {
        for (const Point& v : ring) {
            if (zone.depth_at(v) <= 0) return true;
        }
    }
    return false;
}

// 2. An edge of the territory within reach: for each ring of at least two
// points, the piece from each point to the next (a closed ring's last piece
// has no length).
inline bool edge_within_reach(const AliveZone& zone, const std::vector<Ring>& rings) {
    for (const Ring& ring : rings) {
        const std::size_t len = ring.size();
        if (len < 2) continue;
        for (std::size_t i = 0; i < len; ++i) {
            if (clearance(zone, ring[i], ring[(i + 1) % len]) <= LIVENESS_REACH) return true;
        }
    }
    return false;
}

// 3. A forced eye inside the territory (inside ring 0, in none of its holes).
inline bool forced_eye_inside(const AliveZone& zone, const std::vector<Ring>& rings) {
    for (const auto& [key, eye] : zone.forced_eyes()) {
        if (territory_contains(rings, eye.x, eye.y)) return true;
    }
    return false;
}

// 4. The start of an exposed segment (on the board, in no dead region)
// inside the territory, outline after outline.
inline bool exposed_start_inside(const AliveZone& zone, const std::vector<Ring>& rings) {
    const OutlineSlots slots = zone.outlines();
    std::vector<Point> starts;
    for (std::size_t slot = 0; slot < slots.size(); ++slot) {
        if (slots[slot].first == ERASED_SLOT) continue;
        starts.clear();
        zone.append_exposed_starts(slots[slot].second, starts);
        for (const Point& start : starts) {
            if (territory_contains(rings, start.x, start.y)) return true;
        }
    }
    return false;
}

// The rule: whether the territory touches playable space.
inline bool touches_playable_space(const AliveZone& zone, const std::vector<Ring>& rings) {
    if (rings.empty()) return false;
    return vertex_in_play(zone, rings) || edge_within_reach(zone, rings) || forced_eye_inside(zone, rings) ||
           exposed_start_inside(zone, rings);
}

}  // namespace cellvane
