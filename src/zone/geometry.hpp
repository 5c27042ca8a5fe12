// The geometry the zone builds the alive zone from: where a point lies along
// an outline and how deep in its dead region, where a new dead zone crosses
// an outline, and the points of a piece nearest a given one. Internal to the
// zone (and its tests).
#pragma once

#include <cmath>
#include <optional>
#include <utility>

#include "zone/zone.hpp"

namespace cellvane {

// Where p lies along an outline: a circle's angle about its centre, an edge
// line's distance along the line (the frame places the lines).
double offset_on(const ShapeKind& kind, Point p, const BoardFrame& frame);
// How far inside an outline's dead region p lies (negative outside).
double depth_in(const ShapeKind& kind, Point p, const BoardFrame& frame);
// Crossings of an existing outline with a new dead zone centred at f.
std::optional<std::pair<Point, Point>> intersect(const ShapeKind& kind, Point f, const BoardFrame& frame);
// The same two points with their offsets along the existing outline, as
// offset_on gives them (a circle's are worked out anyway to order the pair).
struct Crossing {
    Point first;
    Point second;
    double first_offset = 0.0;
    double second_offset = 0.0;
};
std::optional<Crossing> crossing_with(const ShapeKind& kind, Point f, const BoardFrame& frame);

// Whether a circle of radius r centred at f certainly cannot cross the circle
// c: their centres are more than both radii plus 1.0 apart along an axis,
// which puts the exact distance test of the crossing far beyond its
// tolerance. Radii beyond 1e6 are never passed over, so that the margin
// stays far above rounding; NaN anywhere compares false and passes nothing over.
inline bool beyond_reach(const Circle& c, Point f, double r) {
    if (!(c.radius <= 1e6 && r <= 1e6)) return false;
    const double reach = (c.radius + r) + 1.0;
    return std::fabs(c.centre.x - f.x) > reach || std::fabs(c.centre.y - f.y) > reach;
}

// The points of a piece, of an arc and of a whole circle nearest to p.
Point closest_point_on_segment(const SegmentGeometry& g, Point p);
// The same for an arc, given theta = angle_about(arc centre, p).
Point closest_point_on_arc(const ArcSeg& arc, double theta);
Point closest_point_on_circle(Point centre, double radius, Point p);

}  // namespace cellvane
