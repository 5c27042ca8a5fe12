// The playable area, the alive zone: the board square shrunk by one stone
// radius, less the dead zone round every stone in play and every temporary
// circle, plus the forced eyes that captures leave. This header is what the
// other folders ask of it: carving and reclaiming dead zones, forced eyes and
// temporary circles, the depth of a point, placeability and the nearest
// living move, the pieces of its boundary for the liveness test and the
// picture, and the check of its own invariants. How it holds the zone (the
// clipping structure, the cells of circles and forced eyes) is behind the
// folder's internal headers.
//
// Plain C++: no Python, no exceptions. Failures are returned as values.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/core.hpp"

namespace cellvane {

// ---------------------------------------------------------------- geometry

// Fixed internal order of the four board-edge lines.
enum class EdgeSide : std::uint8_t { Left = 0, Bottom = 1, Right = 2, Top = 3 };

struct Circle {
    Point centre;
    double radius = 0.0;
};
// One of the board's edge lines; where it lies is the board frame's.
struct Edge {
    EdgeSide side = EdgeSide::Left;
};
using ShapeKind = std::variant<Circle, Edge>;

inline double distance(Point a, Point b) {
    const double dx = a.x - b.x;
    const double dy = a.y - b.y;
    return std::sqrt(dx * dx + dy * dy);
}
// An angle reduced to [0, 2pi). fmod leaves a value already in range exactly
// as it is (a negative zero included), and every stored offset of a circle
// is one, so those skip it. Within one turn of the range fmod's exact answer
// is a single subtraction or addition, done without the call: a t in
// (-2pi, 0) is its own remainder, to which 2pi is added as below; a t in
// [2pi, 4pi) gives t - 2pi, which a double holds exactly (t lies within a
// factor of two of 2pi). (fmod alone ran 1.4% more instructions over 300
// trial moves on a 55-stone board, 2.4% over 3,000 nearest moves, callgrind.)
inline double normalise_angle(double t) {
    if (t >= 0.0 && t < TWO_PI) return t;
    if (t < 0.0 && t > -TWO_PI) return t + TWO_PI;
    if (t >= TWO_PI && t < TWO_PI + TWO_PI) return t - TWO_PI;
    const double r = std::fmod(t, TWO_PI);
    if (r < 0.0) return r + TWO_PI;
    return r;
}
inline double angle_about(Point c, Point p) { return normalise_angle(std::atan2(p.y - c.y, p.x - c.x)); }
// How far inside a circle's rim p lies (negative outside): a circle's
// depth, whether asked of its shape or of a copy of its centre and radius.
inline double circle_depth(Point centre, double radius, Point p) { return radius - distance(p, centre); }

// The pieces of an outline: a straight piece of an edge line, an arc of a
// circle, and a circle that counts whole.
struct LineSeg {
    Point from;
    Point to;
};
struct ArcSeg {
    Point centre;
    double radius = 0.0;
    double start = 0.0;  // angle, counter-clockwise from start to end
    double end = 0.0;
};
using SegmentGeometry = std::variant<LineSeg, ArcSeg>;
// A piece of the alive zone's boundary: a circle that crosses nothing (or
// holds fewer than two segments), or the geometry of one exposed segment.
struct WholeCircle {
    Point centre;
    double radius = 0.0;
};
using ExposedPiece = std::variant<WholeCircle, LineSeg, ArcSeg>;

// ---------------------------------------------------------------- outlines

// Shape ids only grow and are never reused. Every trial move carves a circle,
// so a long-lived board can make billions of shapes: the counter is 64 bits
// wide so that it never wraps onto the board's edge lines.
using ShapeId = std::uint64_t;
using SegId = std::uint32_t;

// What a walk of a shape's list last found about its exposed segments
// (those on the board and in no dead region).
enum class Exposure : std::uint8_t { Unknown, None, Some };

// The zone's record of one outline (a board-edge line or a circle): its
// kind, the number of segments its list is cut into, and what the zone
// knows of their exposure. The rest is the zone's bookkeeping of the list.
// Other folders only ever see it read-only.
struct Shape {
    std::optional<SegId> head;
    ShapeKind kind;
    std::uint64_t count = 0;
    // How many shapes' dead regions hold the head segment; the count of every
    // other segment follows from it and the marks along the list.
    std::uint64_t head_cover = 0;
    bool is_edge = false;
    // A long list's segments in ascending offset order: the list itself,
    // started after its one descent, so that a new point finds its place by
    // bisection rather than by a walk. Kept only while the list is long
    // (piled stones cross one another hundreds of times); empty otherwise.
    std::vector<SegId> by_offset;
    // Whether the list has an exposed segment, once a reader has walked it
    // (ClipGraph::has_exposed_segment); Unknown again after any change to the
    // list, its marks or its head count. Readers of a graph they may not
    // change fill it in, hence mutable.
    mutable Exposure exposure = Exposure::Unknown;
};

// One slot of the zone's table of outlines, which holds them in ascending
// ShapeId: an outline, or a slot an erased outline left behind
// (first == ERASED_SLOT), which readers pass over.
inline constexpr ShapeId ERASED_SLOT = ~ShapeId{0};
struct ShapeEntry {
    ShapeId first = 0;
    Shape second;
};

// The zone's table of outlines read in place, slot by slot, for a reader that
// walks them all (the liveness test); valid until the zone next changes.
class OutlineSlots {
public:
    OutlineSlots() = default;
    OutlineSlots(const ShapeEntry* slots, std::size_t size, std::size_t outlines)
        : slots_(slots), size_(size), outlines_(outlines) {}
    // Slots, erased ones included, and outlines.
    std::size_t size() const { return size_; }
    std::size_t outlines() const { return outlines_; }
    const ShapeEntry& operator[](std::size_t slot) const { return slots_[slot]; }

private:
    const ShapeEntry* slots_ = nullptr;
    std::size_t size_ = 0;
    std::size_t outlines_ = 0;
};

// A dead zone's circle (radius DEAD_ZONE_RADIUS, finite centre) as the zone
// files it, by the cell of its centre, with its outline's slot in the table
// of outlines (kept in step as the table moves slots); every other outline
// is loose.
struct FiledCircle {
    ShapeId id = 0;
    Point centre;
    std::uint32_t slot = 0;
};

// The square cells the zone files circles and forced eyes by. v lies in cell
// floor(v / CELL), exactly at any distance (a division by a power of two and
// a floor); cells beyond +-2^62 are clamped to it and a NaN goes to the
// lowest, so the map never decreases as v grows. The floor is a truncation,
// less one below a negative non-integer (std::floor without SSE4.1 ran the
// liveness test's looks at 1.4 times the instructions, callgrind, 64 trial
// moves on 55 stones). A cell's key holds the low 32 bits of each index:
// cells 2^32 apart share a list, whose other entries a search passes over by
// their distance, and a search meets a list once.
struct Cells {
    static constexpr double CELL = 4.0;
    static std::int64_t cell_of(double v) {
        constexpr double BOUND = 4611686018427387904.0;  // 2^62
        const double q = v / CELL;
        if (!(std::fabs(q) < BOUND)) return q > 0.0 ? std::int64_t{1} << 62 : -(std::int64_t{1} << 62);
        const auto t = static_cast<std::int64_t>(q);
        return q < static_cast<double>(t) ? t - 1 : t;
    }
    static std::uint64_t key(std::int64_t x, std::int64_t y) {
        return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(x)) << 32) | static_cast<std::uint32_t>(y);
    }
    // The column folded into the row before the product: the product alone
    // sends a square of cells to few homes (49 cells to 27 of 64 places).
    static std::size_t home(std::uint64_t key, int shift) {
        return static_cast<std::size_t>(((key ^ (key >> 32)) * 0x9E3779B97F4A7C15u) >> shift);
    }
};

// A filled cell: its key and its circles in the order they were filed. A
// place whose list is empty is free.
struct CircleCell {
    std::uint64_t key = 0;
    std::vector<FiledCircle> filed;
};

// The zone's circles by cell, read in place until the zone next changes: a
// table of 2^(64 - shift) places at most half full (a small one at most a
// quarter), probed linearly. Its lookups inline into the asker (through a
// call, the liveness test ran 1.2% more instructions per trial move on a
// 55-stone board, callgrind).
class CircleCells {
public:
    CircleCells() = default;
    CircleCells(const CircleCell* places, std::size_t size, int shift, std::size_t filled)
        : places_(places), mask_(size - 1), shift_(shift), filled_(filled) {}
    // The place holding key, or else the free place that ends its probe.
    std::size_t slot(std::uint64_t key) const {
        std::size_t i = Cells::home(key, shift_);
        while (!places_[i].filed.empty() && places_[i].key != key) i = (i + 1) & mask_;
        return i;
    }
    // Calls f(circle) for the circles filed in the cells the box [lo, hi]
    // overlaps (so for every one whose centre lies in it), until f answers
    // true, and answers whether it did. A box with a NaN bound, or one over
    // more cells than are filled, visits every filled cell instead.
    template <class F>
    bool any_near(Point lo, Point hi, F&& f) const {
        const std::int64_t x0 = Cells::cell_of(lo.x), x1 = Cells::cell_of(hi.x);
        const std::int64_t y0 = Cells::cell_of(lo.y), y1 = Cells::cell_of(hi.y);
        const bool bounded = !std::isnan(lo.x) && !std::isnan(lo.y) && !std::isnan(hi.x) && !std::isnan(hi.y);
        if (bounded && (x1 < x0 || y1 < y0)) return false;  // no point lies in the box
        // Widths unsigned (clamped cells lie 2^63 apart at most), multiplied
        // only when each is below the count of filled cells.
        const std::uint64_t w = static_cast<std::uint64_t>(x1) - static_cast<std::uint64_t>(x0);
        const std::uint64_t h = static_cast<std::uint64_t>(y1) - static_cast<std::uint64_t>(y0);
        const auto any_in = [&f](const CircleCell& place) {
            for (const FiledCircle& circle : place.filed) {
                if (f(circle)) return true;
            }
            return false;
        };
        if (!bounded || w >= filled_ || h >= filled_ || (w + 1) * (h + 1) > filled_) {
            for (std::size_t i = 0; filled_ != 0 && i <= mask_; ++i) {
                if (any_in(places_[i])) return true;
            }
            return false;
        }
        for (std::int64_t x = x0; x <= x1; ++x) {
            for (std::int64_t y = y0; y <= y1; ++y) {
                if (any_in(places_[slot(Cells::key(x, y))])) return true;
            }
        }
        return false;
    }

private:
    const CircleCell* places_ = nullptr;
    std::size_t mask_ = 0;
    int shift_ = 64;
    std::size_t filled_ = 0;
};

// ------------------------------------------------------------- alive zone

enum class DeadZoneFault : std::uint8_t { AlreadyCarved, NotCarved };

struct DeadZoneError {
    DeadZoneFault fault = DeadZoneFault::AlreadyCarved;
    std::uint32_t stone = 0;
    std::string message() const;
};

// Internal to the zone (zone/clip_graph.hpp, zone/circle_grid.hpp).
class ClipGraph;
class CircleGrid;
class EyeCells;

class AliveZone {
public:
    explicit AliveZone(const BoardFrame& frame);
    AliveZone(const AliveZone& other);
    AliveZone& operator=(const AliveZone& other);
    AliveZone(AliveZone&& other) noexcept;
    AliveZone& operator=(AliveZone&& other) noexcept;
    ~AliveZone();

    // Dead zones: a stone's, carved and given back; a circle of that size
    // anywhere, and its removal.
    std::optional<DeadZoneError> carve(std::uint32_t stone, Point centre);
    std::optional<DeadZoneError> reclaim(std::uint32_t stone);
    ShapeId carve_circle(Point centre);
    void remove_shape(ShapeId shape);

    // Forced eyes: filed under their point's key; a new stone takes the one
    // at its own point, or else every one within its dead zone, in key order.
    void add_forced_eye(Point p);
    std::optional<Point> remove_forced_eye(Point p);
    std::vector<Point> take_forced_eyes(Point p);

    // The dead zone of a hypothetical stone, for the length of a cut question.
    void push_temporary_circle(Point centre);
    void pop_temporary_circle();

    // Placeability: how deep p lies in the dead region (plus infinity off the
    // board, minus infinity at a forced eye), whether a stone may be placed
    // there, and the placeable point nearest to p.
    double depth_at(Point p) const;
    bool is_placeable(Point p) const;
    std::optional<Point> nearest_living_move(Point p) const;

    // Readers.
    const BoardFrame& frame() const;
    bool has_dead_zone(std::uint32_t stone) const;
    std::optional<ShapeId> dead_zone(std::uint32_t stone) const;
    const std::map<std::uint32_t, ShapeId>& dead_zones() const { return dead_zones_; }
    const std::map<PointKey, Point>& forced_eyes() const { return forced_eyes_; }
    const std::vector<ShapeId>& temporary_circles() const { return temporary_circles_; }

    // The boundary, outline by outline, for the liveness test: the table of
    // outlines, whether an outline's list has an exposed segment (on the
    // board and in no dead region; known from then on until the list
    // changes), and the exposed pieces and the exposed segments' start points
    // of one outline, appended in list order.
    OutlineSlots outlines() const;
    bool has_exposed_segment(const Shape& shape) const;
    void append_exposed_pieces(const Shape& shape, std::vector<ExposedPiece>& out) const;
    void append_exposed_starts(const Shape& shape, std::vector<Point>& out) const;
    // The zone's circles by cell, read in place for the liveness test until
    // the zone next changes; the loose outlines, ascending; an outline's slot.
    CircleCells circle_cells() const;
    const std::vector<ShapeId>& loose_outlines() const;
    std::size_t outline_slot(ShapeId id) const;
    // The geometry of every exposed segment, outline after outline in
    // ascending ShapeId and in list order, for the picture; and how many
    // segments the structure holds.
    std::vector<SegmentGeometry> exposed_segments() const;
    std::size_t segment_count() const;

    // The first of its invariants that does not hold, as the board's check
    // reports it ("the alive zone is corrupt: ..."), or nothing.
    std::optional<std::string> fault() const;

    // The structures themselves, for the zone's internal headers and tests.
    const ClipGraph& graph() const { return *graph_; }
    const CircleGrid& grid() const { return *grid_; }

private:
    std::unique_ptr<ClipGraph> graph_;
    // The circles by cell, kept in step with the graph's shapes.
    std::unique_ptr<CircleGrid> grid_;
    // The forced eyes by cell, kept in step with the forced-eye map while it
    // holds many: from EYES_BY_CELL eyes until it falls to half as many.
    // Fewer are found by a walk over the map, which takes fewer instructions
    // than a search of nine cells (filing every eye cost 490,000 more in
    // 114 million, callgrind over 300 trial moves on a 55-stone board).
    static constexpr std::size_t EYES_BY_CELL = 32;
    std::unique_ptr<EyeCells> eye_cells_;
    std::vector<ShapeId> temporary_circles_;
    std::map<std::uint32_t, ShapeId> dead_zones_;
    std::map<PointKey, Point> forced_eyes_;
    // The shapes a new circle may cross, reused between carves.
    std::vector<ShapeId> near_;

    double depth_everywhere(Point p) const;
    // Drops a forced eye from the map and the cells.
    void forget_eye(std::map<PointKey, Point>::iterator it);
};

// ---------------------------------------------------------- boundary loops

// One piece of a boundary loop, from `from` to `to`: straight along an edge
// line, or, when `circle` is set, round that circle by growing angle through
// `sweep` radians (2pi for a circle that is a loop on its own).
struct LoopPiece {
    Point from;
    Point to;
    std::optional<Circle> circle;
    double sweep = 0.0;
};
using BoundaryLoop = std::vector<LoopPiece>;

// The alive zone's boundary as closed loops: every exposed piece once (a
// piece that a pile of stones on one centre exposes several times, once),
// each loop a chain of pieces that starts where the one before it ends. The
// pieces join at the structure's own crossing points, so each piece ends
// where the next begins (exactly, or within EPSILON relative to the
// coordinates where rounding has split one crossing of nearly touching
// outlines in two) and the last where the first begins, and the zone lies on
// the same side of every piece: the even-odd rule fills exactly the alive
// zone. A chain that cannot be joined so (only a damaged structure has one)
// ends at its last piece, open.
std::vector<BoundaryLoop> boundary_loops(const AliveZone& zone);

}  // namespace cellvane
