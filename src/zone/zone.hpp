// The playable area: points and outline geometry, the clipping structure that
// holds the alive zone exactly, dead zones, forced eyes, temporary circles,
// placeability and the nearest living move.
//
// Plain C++: no Python, no exceptions. Failures are returned as values.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace cellvane {

// ---------------------------------------------------------------- geometry

struct Point {
    double x = 0.0;
    double y = 0.0;
};

inline constexpr double EPSILON = 1e-7;
inline constexpr double STONE_RADIUS = 1.0;
inline constexpr double STONE_DIAMETER = 2.0;
inline constexpr double PI = 3.141592653589793;
inline constexpr double TWO_PI = 6.283185307179586;

// Bit pattern of a coordinate with negative zero folded to positive zero.
std::uint64_t folded_bits(double v);

// Exact identity of a point: folded bit patterns, compared unsigned, x first.
struct PointKey {
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    friend auto operator<=>(const PointKey&, const PointKey&) = default;
};
PointKey point_key(Point p);

// Fixed internal order of the four board-edge lines.
enum class EdgeSide : std::uint8_t { Left = 0, Bottom = 1, Right = 2, Top = 3 };

struct Circle {
    Point centre;
    double radius = 0.0;
};
struct Edge {
    EdgeSide side = EdgeSide::Left;
    double board_size = 0.0;
};
using ShapeKind = std::variant<Circle, Edge>;

double distance(Point a, Point b);
double normalise_angle(double t);
double angle_about(Point c, Point p);
double offset_on(const ShapeKind& kind, Point p);
double depth_in(const ShapeKind& kind, Point p);
// Crossings of an existing outline with a new radius-2 circle centred at f.
std::optional<std::pair<Point, Point>> intersect(const ShapeKind& kind, Point f);

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

Point closest_point_on_segment(const SegmentGeometry& g, Point p);
Point closest_point_on_circle(Point centre, double radius, Point p);

// ------------------------------------------------------ clipping structure

// Shape ids only grow and are never reused. Every trial move carves a circle,
// so a long-lived board can make billions of shapes: the counter is 64 bits
// wide so that it never wraps onto the board's edge lines.
using ShapeId = std::uint64_t;
using SegId = std::uint32_t;

// The shapes whose crossings with a segment's own shape put its start point
// where it is. A point stays in the structure exactly as long as one of them
// is there, so removing a shape merges back every split it alone made, also
// where other outlines touch or cross at the same point. Nearly every point
// has one cause and a point where three outlines meet has two, so the first
// few are held inline; more move to the heap. Insertion order, no repeats.
class Causes {
public:
    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }
    const ShapeId* begin() const { return size_ > INLINE ? spilled_.data() : inline_; }
    const ShapeId* end() const { return begin() + size_; }
    bool contains(ShapeId id) const {
        for (const ShapeId c : *this) {
            if (c == id) return true;
        }
        return false;
    }
    // Adds id unless it is there already.
    void add(ShapeId id) {
        if (contains(id)) return;
        if (size_ < INLINE) {
            inline_[size_++] = id;
            return;
        }
        if (size_ == INLINE) spilled_.assign(inline_, inline_ + INLINE);
        spilled_.push_back(id);
        ++size_;
    }
    // Drops id, keeping the others in order; answers whether it was there.
    bool remove(ShapeId id) {
        ShapeId* first = size_ > INLINE ? spilled_.data() : inline_;
        std::size_t at = 0;
        while (at < size_ && first[at] != id) ++at;
        if (at == size_) return false;
        for (std::size_t i = at + 1; i < size_; ++i) first[i - 1] = first[i];
        --size_;
        if (size_ == INLINE) {
            for (std::size_t i = 0; i < INLINE; ++i) inline_[i] = spilled_[i];
            spilled_.clear();
        } else if (size_ > INLINE) {
            spilled_.pop_back();
        }
        return true;
    }
    friend bool operator==(const Causes& a, const Causes& b) {
        return a.size_ == b.size_ && std::equal(a.begin(), a.end(), b.begin());
    }

private:
    static constexpr std::size_t INLINE = 2;
    std::size_t size_ = 0;
    ShapeId inline_[INLINE] = {};
    std::vector<ShapeId> spilled_;  // all of them once there are more than INLINE
};

struct Segment {
    double offset = 0.0;
    Point start;
    std::set<ShapeId> covered_by;
    // Shapes whose crossings put the start point here (see Causes).
    Causes causes;
    ShapeId shape = 0;
    SegId next = 0;
    SegId prev = 0;
    bool off_board = false;
    // One of an edge line's own four points, which no removal merges away.
    bool permanent = false;
};

struct Shape {
    std::optional<SegId> head;
    ShapeKind kind;
    std::uint64_t count = 0;
    bool is_edge = false;
};

// A piece of the alive zone's boundary: a circle that crosses nothing (or
// holds fewer than two segments), or the geometry of one exposed segment.
struct WholeCircle {
    Point centre;
    double radius = 0.0;
};
using ExposedPiece = std::variant<WholeCircle, LineSeg, ArcSeg>;

class ClipGraph {
public:
    explicit ClipGraph(double board_size);

    ShapeId add_shape(const ShapeKind& kind);
    std::optional<SegId> add_point(ShapeId shape, Point p);
    std::vector<SegId> segments_of(ShapeId shape) const;
    void remove_segment(SegId id);
    std::optional<SegmentGeometry> segment_geometry(SegId id) const;
    std::vector<ExposedPiece> exposed_pieces(ShapeId shape) const;

    // Calls f(const ExposedPiece&) for each exposed piece of the shape, in the
    // order exposed_pieces lists them, without building a list. f answers
    // true to go on, false to stop early.
    template <class F>
    void for_each_exposed_piece(ShapeId shape, F&& f) const;

    // Read-only views.
    double board_size() const { return board_size_; }
    const std::map<ShapeId, Shape>& shapes() const { return shapes_; }
    const Shape* shape(ShapeId id) const;
    // The segment in slot id, or nullptr when the slot is vacant or out of range.
    const Segment* slot(SegId id) const;
    std::size_t arena_size() const { return arena_.size(); }
    std::uint64_t live_count() const { return live_count_; }
    const std::vector<SegId>& free_list() const { return free_list_; }
    const std::map<PointKey, std::vector<SegId>>& index() const { return index_; }
    ShapeId next_shape_id() const { return next_shape_id_; }
    // Occupied, on the board and covered by no shape.
    bool is_exposed(SegId id) const;

    // Mutable access for tests that damage the structure on purpose.
    struct Internals;
    Internals internals_for_testing();

private:
    friend class AliveZone;
    std::vector<std::optional<Segment>> arena_;
    std::vector<SegId> free_list_;
    std::uint64_t live_count_ = 0;
    double board_size_ = 0.0;
    std::map<ShapeId, Shape> shapes_;
    std::map<PointKey, std::vector<SegId>> index_;
    ShapeId next_shape_id_ = 0;

    Segment* slot_mut(SegId id);
    SegId new_segment(ShapeId shape, Point p, double offset, const Segment* split);
};

struct ClipGraph::Internals {
    std::vector<std::optional<Segment>>& arena;
    std::vector<SegId>& free_list;
    std::uint64_t& live_count;
    std::map<ShapeId, Shape>& shapes;
    std::map<PointKey, std::vector<SegId>>& index;
    ShapeId& next_shape_id;
};

// ------------------------------------------------------------- alive zone

enum class DeadZoneFault : std::uint8_t { AlreadyCarved, NotCarved };

struct DeadZoneError {
    DeadZoneFault fault = DeadZoneFault::AlreadyCarved;
    std::uint32_t stone = 0;
    std::string message() const;
};

class AliveZone {
public:
    explicit AliveZone(double board_size);

    std::optional<DeadZoneError> carve(std::uint32_t stone, Point centre);
    std::optional<DeadZoneError> reclaim(std::uint32_t stone);
    ShapeId carve_circle(Point centre);
    void remove_shape(ShapeId shape);

    void add_forced_eye(Point p);
    std::optional<Point> remove_forced_eye(Point p);
    std::vector<Point> take_forced_eyes(Point p);

    void push_temporary_circle(Point centre);
    void pop_temporary_circle();

    // Placeability.
    double depth_at(Point p) const;
    bool is_placeable(Point p) const;
    std::optional<Point> nearest_living_move(Point p) const;

    // Read-only views.
    bool has_dead_zone(std::uint32_t stone) const;
    std::optional<ShapeId> dead_zone(std::uint32_t stone) const;
    const std::map<std::uint32_t, ShapeId>& dead_zones() const { return dead_zones_; }
    const std::map<PointKey, Point>& forced_eyes() const { return forced_eyes_; }
    const std::vector<ShapeId>& temporary_circles() const { return temporary_circles_; }
    const ClipGraph& graph() const { return graph_; }

    // Mutable access for tests that damage the structure on purpose.
    ClipGraph& graph_for_testing() { return graph_; }
    std::map<std::uint32_t, ShapeId>& dead_zones_for_testing() { return dead_zones_; }
    std::map<PointKey, Point>& forced_eyes_for_testing() { return forced_eyes_; }
    std::vector<ShapeId>& temporary_circles_for_testing() { return temporary_circles_; }

private:
    ClipGraph graph_;
    std::vector<ShapeId> temporary_circles_;
    std::map<std::uint32_t, ShapeId> dead_zones_;
    std::map<PointKey, Point> forced_eyes_;
    // Reused between calls so that removing a shape allocates nothing once warm.
    std::vector<SegId> scratch_;
    std::vector<SegId> scratch_others_;
};

}  // namespace cellvane

#include "zone/exposed_pieces.inl"
