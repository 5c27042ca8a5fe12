// Internals of the liveness test, reachable from tests.
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/analysis.hpp"

namespace cellvane {

// The alive zone read once for many liveness questions about one board
// state: the shapes and forced eyes the vertex check needs, and, built on the
// first edge check, the exposed pieces with their bounding boxes and (on
// the first measure of each arc) the terms of the arc measure that depend on
// the arc alone. Answers exactly what the same questions asked of the zone
// directly answer; the zone must not change while the scene is in use.
class LivenessScene {
public:
    explicit LivenessScene(const AliveZone& zone);

    bool is_alive(const std::vector<Ring>& rings);
    // depth_at(v) <= 0.
    bool vertex_in_play(Point v) const;
    // clearance(zone, p, q) <= limit.
    bool clearance_within(Point p, Point q, double limit);
    // Whether the start of some exposed segment lies in the territory.
    bool exposed_start_inside(const std::vector<Ring>& rings);

    struct Box {
        double lox, loy, hix, hiy;
    };
    struct Piece {
        bool is_arc = false;
        bool prepared = false;  // arc terms and tight box computed
        LineSeg line;
        ArcSeg arc;
        double m = 0.0, l = 0.0;  // arc angles, normalised
        Point from, to;           // arc end points, from the raw angles
        Box box{};
        double scale = 0.0;       // coordinate magnitude, for the rounding margin
    };
    struct ShapeEntry {
        bool whole = false;   // a circle taken whole: count 0 or 1
        bool circle = false;  // a split circle: its pieces share one box
        Circle c;
        Box box{};
        double scale = 0.0;
        std::uint32_t first = 0, end = 0;  // its pieces
    };

private:
    void build_pieces();
    static void prepare_arc(Piece& piece);

    const AliveZone* zone_;
    double size_;
    std::vector<const ShapeKind*> lines_;  // edge shapes, for the vertex check
    std::vector<Circle> circles_;          // every circle, for the vertex check
    bool pieces_built_ = false;
    std::vector<ShapeEntry> shapes_;
    std::vector<Piece> pieces_;
    bool starts_built_ = false;
    std::vector<Point> starts_;  // starts of the exposed segments, in walk order
};

// Whether clearance(zone, p, q) <= limit, stopping at the first measure that
// decides and passing over pieces too far away to decide.
bool clearance_within(const AliveZone& zone, Point p, Point q, double limit);

}  // namespace cellvane
