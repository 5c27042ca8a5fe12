#include "analysis/liveness.hpp"

#include "analysis/capture_rule.hpp"
#include "analysis/nan_aware.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <variant>

namespace cellvane {

// The measures of the capture rule, which the scene takes piece by piece.
using namespace measure;

namespace {

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

namespace scene_parts {

// One exposed piece, filed for the measures. A line keeps its ends in a and
// b. An arc keeps its centre and radius, and its raw start and end angles in
// m and l until it is first measured; then a and b become its end points
// (from the raw angles) and m and l the normalised angles.
struct Piece {
    Box box{};
    double scale = 0.0;  // coordinate magnitude, for the rounding margin
    Point a, b;
    Point centre;
    double radius = 0.0;
    double m = 0.0, l = 0.0;
    bool is_arc = false;
    bool prepared = false;  // arc terms and tight box computed
};

void prepare_arc(Piece& piece) {
    piece.prepared = true;
    const Point k = piece.centre;
    const double r = piece.radius;
    piece.a = on_circle(k, r, piece.m);
    piece.b = on_circle(k, r, piece.l);
    piece.m = normalise_angle(piece.m);
    piece.l = normalise_angle(piece.l);
    // The arc's box: its end points, widened to each axis extreme of the
    // circle that the arc passes.
    piece.box = box_of(piece.a, piece.b);
    if (on_arc(0.0, piece.m, piece.l)) piece.box.hix = k.x + r;
    if (on_arc(PI * 0.5, piece.m, piece.l)) piece.box.hiy = k.y + r;
    if (on_arc(PI, piece.m, piece.l)) piece.box.lox = k.x - r;
    if (on_arc(PI * 1.5, piece.m, piece.l)) piece.box.loy = k.y - r;
    piece.scale = std::fabs(k.x) + std::fabs(k.y) + r + std::fabs(piece.box.lox) + std::fabs(piece.box.loy) +
                  std::fabs(piece.box.hix) + std::fabs(piece.box.hiy);
}

// Files a line piece.
void set_line(Piece& piece, const LineSeg& line) {
    piece.a = line.from;
    piece.b = line.to;
    piece.box = box_of(line.from, line.to);
    piece.scale =
        std::fabs(piece.box.lox) + std::fabs(piece.box.loy) + std::fabs(piece.box.hix) + std::fabs(piece.box.hiy);
}

// Files an arc piece. The terms that need the arc's angles wait until the
// piece is first measured.
void set_arc(Piece& piece, const ArcSeg& arc) {
    piece.is_arc = true;
    piece.centre = arc.centre;
    piece.radius = arc.radius;
    piece.m = arc.start;
    piece.l = arc.end;
}

// Appends the usable exposed pieces of a shape, in the zone's order: every
// piece but a whole circle, filed in place (read through `exposed`).
void append_pieces(const AliveZone& zone, const Shape& shape, std::vector<ExposedPiece>& exposed,
                   std::vector<Piece>& out) {
    // Fewer than two segments: a whole circle, or nothing, is exposed.
    if (shape.count < 2) return;
    exposed.clear();
    zone.append_exposed_pieces(shape, exposed);
    for (const ExposedPiece& piece : exposed) {
        if (const auto* line = std::get_if<LineSeg>(&piece)) {
            set_line(out.emplace_back(), *line);
        } else if (const auto* arc = std::get_if<ArcSeg>(&piece)) {
            set_arc(out.emplace_back(), *arc);
        }
    }
}

// Whether the piece's measure to p-q is at most the limit. The first measure
// at or below the limit decides, since a running minimum only falls. Every
// term of a measure is a computed distance between a point of p-q and a
// point of the outline piece (the crossing test of two line pieces aside,
// which is made first), so a piece whose box lies farther than the limit
// from the box of p-q, by a margin far above rounding, cannot decide.
bool piece_within(Piece& piece, Point p, Point q, const Box& query, double query_scale, double limit) {
    if (piece.is_arc) {
        if (!piece.prepared) prepare_arc(piece);
        if (separated(piece.box, query, limit + margin(piece.scale + query_scale))) return false;
        return arc_measure(piece.centre, piece.radius, piece.m, piece.l, piece.a, piece.b, p, q) <= limit;
    }
    const LineSeg line{piece.a, piece.b};
    if (line_crosses(line, p, q)) return 0.0 <= limit;
    if (separated(piece.box, query, limit + margin(piece.scale + query_scale))) return false;
    return line_end_distance(line, p, q) <= limit;
}

}  // namespace scene_parts

using namespace scene_parts;

// One circle of the zone as a question meets it: a filed circle as the
// zone's cells hold it, or a loose one.
struct LivenessScene::Disc {
    Point centre;
    double radius = 0.0;
    std::uint32_t slot = 0;  // its outline's slot in the table of outlines
};

namespace {

// What the scene has read of an outline: its exposed pieces, its exposed
// starts.
constexpr std::uint32_t PIECES_READ = 1;
constexpr std::uint32_t STARTS_READ = 2;

struct Span {
    std::uint32_t first = 0, end = 0;
};

// The span of `out` that `append` fills: run the first time the `flag` of
// `flags` is asked for, the span kept from then on.
template <class T, class Append>
Span read_once(std::uint32_t& flags, std::uint32_t flag, Span& span, const std::vector<T>& out, Append&& append) {
    if ((flags & flag) == 0) {
        flags |= flag;
        span.first = static_cast<std::uint32_t>(out.size());
        append();
        span.end = static_cast<std::uint32_t>(out.size());
    }
    return span;
}

// One board-edge line. Every exposed piece of an edge line is the line piece
// rebuilt from two offsets on it: the left and right lines' pieces have x
// exactly `at`, the bottom and top lines' y exactly `at` (1, or the board
// size less 1).
struct EdgeLine {
    const Shape* shape = nullptr;
    bool vertical = false;
    bool low = false;  // left or top: the dead strip lies below `at`
    bool bounds = false;  // two segments or more: a line with fewer bounds nothing
    std::uint32_t flags = 0;  // PIECES_READ once its pieces are read
    double at = 0.0;
    Span pieces;
};

}  // namespace

// What the scene numbered `scene` has read of the circle in one slot of the
// table of outlines, and where it put it: its pieces and starts once read.
struct LivenessScene::Record {
    std::uint32_t scene = 0;
    std::uint32_t flags = 0;
    Span pieces, starts;
};

struct LivenessScene::Buffers {
    std::vector<EdgeLine> edges;
    // Where every edge line's depth is at most 0: a point has positive depth
    // in some line exactly when it lies outside [x_from, x_to] x [y_from, y_to]
    // (the left line's depth 1 - x is positive exactly when x < 1, and so on).
    double x_from = 0.0, x_to = 0.0, y_from = 0.0, y_to = 0.0;
    std::vector<Disc> loose;  // circles the zone files by no cell: checked by every question
    // The records of the circles met, by their outline's slot. A record of
    // an earlier scene counts as unread, so no pass over the table clears it
    // for a new scene. (Found by id in a hash table, and their slots by
    // bisection, they ran 1.4% more instructions per trial move on a
    // 55-stone board, callgrind.)
    std::vector<Record> records;
    std::uint32_t scene = 0;
    std::vector<double> guesses;  // the depth guesses at a territory's vertices
    std::vector<Piece> pieces;
    std::vector<ExposedPiece> exposed;  // one outline's pieces as the zone gives them
    std::vector<Point> starts;
    // The forced eyes in ascending key, flat: their keys and their points.
    std::vector<PointKey> eye_keys;
    std::vector<Point> eyes;
    bool edge_starts_read = false;
    std::uint32_t edge_starts_first = 0, edge_starts_end = 0;
    bool in_use = false;
};

namespace {

// The thread's buffers, asked for once per scene. (Out of line, as the
// analysis workspace is, it ran the same instructions to within 0.01% over
// three random games on an 18 board, callgrind: left to the compiler.)
LivenessScene::Buffers& thread_buffers() {
    thread_local LivenessScene::Buffers buffers;
    return buffers;
}

}  // namespace

LivenessScene::LivenessScene(const AliveZone& zone, Claim)
    : zone_(&zone),
      slots_(zone.outlines()),
      cells_(zone.circle_cells()),
      size_(zone.frame().size),
      buffers_(nullptr),
      borrowed_(false) {
    LivenessScene::Buffers& pool = thread_buffers();
    if (!pool.in_use) {
        buffers_ = &pool;
        borrowed_ = true;
        pool.in_use = true;
    } else {
        buffers_ = new Buffers;
    }
}

LivenessScene::LivenessScene(const AliveZone& zone) : LivenessScene(zone, Claim{}) {
    Buffers& b = *buffers_;
    b.edges.clear();
    b.x_from = b.y_from = -INF;
    b.x_to = b.y_to = INF;
    b.loose.clear();
    b.pieces.clear();
    b.starts.clear();
    b.edge_starts_read = false;
    b.eye_keys.clear();
    b.eyes.clear();
    for (const auto& [key, eye] : zone.forced_eyes()) {
        b.eye_keys.push_back(key);
        b.eyes.push_back(eye);
    }
    // A new number frees every record at once; only when the numbers wrap
    // round are the records cleared. New places are numbered 0, no scene's.
    if (++b.scene == 0) {
        b.records.assign(b.records.size(), Record{});
        b.scene = 1;
    }
    if (b.records.size() < slots_.size()) b.records.resize(slots_.size() + slots_.size() / 2);

    // The zone files every dead zone by cell; the loose outlines are the
    // edge lines and the few circles it files by no cell.
    const BoardFrame& frame = zone.frame();
    for (const ShapeId id : zone.loose_outlines()) {
        const std::size_t slot = zone.outline_slot(id);
        const Shape& shape = slots_[slot].second;
        if (const auto* c = std::get_if<Circle>(&shape.kind)) {
            b.loose.push_back(Disc{c->centre, c->radius, static_cast<std::uint32_t>(slot)});
            continue;
        }
        EdgeLine& line = b.edges.emplace_back();
        line.shape = &shape;
        line.bounds = shape.count > 1;
        const Edge& edge = *std::get_if<Edge>(&shape.kind);
        line.vertical = edge.side == EdgeSide::Left || edge.side == EdgeSide::Right;
        line.low = edge.side == EdgeSide::Left || edge.side == EdgeSide::Top;
        line.at = line.low ? frame.near : frame.far;
        double& from = line.vertical ? b.x_from : b.y_from;
        double& to = line.vertical ? b.x_to : b.y_to;
        if (line.low && line.at > from) from = line.at;
        if (!line.low && line.at < to) to = line.at;
    }
}

const Shape& LivenessScene::shape_at(std::uint32_t slot) const { return slots_[slot].second; }

LivenessScene::Record& LivenessScene::record_of(const Disc& disc) const {
    Buffers& b = *buffers_;
    Record& record = b.records[disc.slot];
    if (record.scene != b.scene) record = Record{b.scene, 0, {}, {}};
    return record;
}

LivenessScene::~LivenessScene() {
    if (borrowed_) {
        buffers_->in_use = false;
    } else {
        delete buffers_;
    }
}

// Calls f(disc) for the circles the zone files in the cells that the box
// [lo, hi] overlaps (so for every filed circle whose centre lies in the box,
// and for all of them when a bound is NaN), each once, and for every loose
// circle, until f answers true.
template <class F>
bool LivenessScene::any_disc_near(Point lo, Point hi, F&& f) {
    if (cells_.any_near(lo, hi, [&](const FiledCircle& filed) {
            return f(Disc{filed.centre, DEAD_ZONE_RADIUS, filed.slot});
        })) {
        return true;
    }
    for (const Disc& d : buffers_->loose) {
        if (f(d)) return true;
    }
    return false;
}

// The depth guess at v (see is_alive): R^2 - d^2 for the deepest of the
// circles the zone files in the cells within their radius R of v, a measure
// that orders like the depth for circles of one radius; or, as soon as one
// holds v, for that one. The guess only orders the walk, whose answer does
// not depend on the order, and it is positive exactly when a filed circle
// holds v (looking on for the deepest, a trial move on a 55-stone board ran
// 3.6% more instructions, callgrind).
//
// No other filed circle can hold v: a centre outside the box v +- R lies at
// least R from v along an axis (rounding never crosses a representable
// value), and every step of the computed distance rounds monotonically, so
// its distance is at least R and its depth not positive. A circle holds v
// exactly when R - sqrt(d^2) > 0, with d^2 summed as distance() sums it, and
// that is d^2 < R^2 = 4: a correctly rounded root of a double below 4 stays
// below 2 (it is at most 2 - 2^-52), the root of 4 or more is at least 2,
// and the sign of 4 - d^2 is exact. So no root is taken (with one, a trial
// move on a 55-stone board ran 1.5% more instructions, callgrind).
[[gnu::always_inline]] inline double LivenessScene::near_depth(Point v) const {
    constexpr double R = DEAD_ZONE_RADIUS;
    static_assert(R == 2.0, "the test for a circle holding v takes R^2 = 4");
    double deepest = -INF;
    cells_.any_near({v.x - R, v.y - R}, {v.x + R, v.y + R}, [&](const FiledCircle& filed) {
        const double dx = v.x - filed.centre.x;
        const double dy = v.y - filed.centre.y;
        const double depth = R * R - (dx * dx + dy * dy);
        if (depth > deepest) deepest = depth;
        return depth > 0;
    });
    return deepest;
}

// Inlined into the vertex check, which asks it for every vertex in turn (left
// to the compiler, 0.5% more instructions over 300 trial moves on a 55-stone
// board, callgrind). Puts the depth guess at v in `guess` when it looks at
// the circles near v, and leaves `guess` as it was otherwise.
[[gnu::always_inline]] inline bool LivenessScene::in_play(Point v, double& guess) const {
    // The test depth_at(v) <= 0, decided by any shape whose depth at v is
    // positive: the maximum is at most 0 exactly when no depth exceeds 0 (a
    // NaN depth never raises the maximum).
    const double s = size_;
    if (!(0.0 <= v.x && v.x <= s && 0.0 <= v.y && v.y <= s)) return false;
    Buffers& b = *buffers_;
    if (!b.eye_keys.empty()) {
        // A few keys are looked through in turn, more are bisected (always
        // bisecting ran 0.4% more instructions over 300 trial moves on a
        // 55-stone board, callgrind).
        const PointKey key = point_key(v);
        if (b.eye_keys.size() <= 8) {
            for (const PointKey& eye : b.eye_keys) {
                if (eye == key) return true;
            }
        } else if (std::binary_search(b.eye_keys.begin(), b.eye_keys.end(), key)) {
            return true;
        }
    }
    // The edge lines first, in one test: a vertex on the board's boundary
    // lies in a dead strip, and the answer does not depend on the order.
    if (v.x < b.x_from || v.x > b.x_to || v.y < b.y_from || v.y > b.y_to) return false;
    guess = near_depth(v);
    if (guess > 0) return false;
    for (const Disc& d : b.loose) {
        // A centre more than r + 1 away along an axis is farther than r: the
        // depth there is negative, whatever the rounding.
        if (d.radius <= 1e6) {
            const double reach = d.radius + 1.0;
            if (std::fabs(v.x - d.centre.x) > reach || std::fabs(v.y - d.centre.y) > reach) continue;
        }
        if (circle_depth(d.centre, d.radius, v) > 0) return false;
    }
    return true;
}

bool LivenessScene::vertex_in_play(Point v) const {
    double guess = 0.0;
    return in_play(v, guess);
}

// Called only for a disc whose box is not separated from the query's (see
// clearance_within), with its record and its shape.
bool LivenessScene::disc_within(const Disc& disc, Record& record, const Shape& shape, Point p, Point q,
                                const Box& query, double query_scale, double limit) {
    Buffers& b = *buffers_;
    const Point c = disc.centre;
    const double r = disc.radius;
    // Fewer than two segments: the circle is measured whole.
    if (shape.count <= 1) return whole_circle_distance(c, r, p, q) <= limit;
    // Every exposed piece of the circle lies on its outline, so no measure
    // to it falls below the distance from p-q to the outline, which is at
    // least |c - F| - r for the point F of p-q nearest the centre, up to
    // rounding. Tested before the circle's list is read.
    const double bound = distance(c, nearest_on_piece(p, q, c)) - r;
    const double scale =
        std::fabs(c.x) + std::fabs(c.y) + r + std::fabs(p.x) + std::fabs(p.y) + std::fabs(q.x) + std::fabs(q.y);
    if (bound > limit + 1e-9 * (1.0 + scale)) return false;
    const Span span = read_once(record.flags, PIECES_READ, record.pieces, b.pieces, [&] {
        // A list with no exposed segment has no exposed piece.
        if (zone_->has_exposed_segment(shape)) append_pieces(*zone_, shape, b.exposed, b.pieces);
    });
    for (std::uint32_t i = span.first; i < span.end; ++i) {
        if (piece_within(b.pieces[i], p, q, query, query_scale, limit)) return true;
    }
    return false;
}

bool LivenessScene::clearance_within(Point p, Point q, double limit) {
    Buffers& b = *buffers_;
    const Box query = box_of(p, q);
    const double query_scale = std::fabs(p.x) + std::fabs(p.y) + std::fabs(q.x) + std::fabs(q.y);
    // The reach of the question: beyond the limit by far more than any
    // rounding margin a piece, disc or eye test adds (those stay below 1e-9
    // times the magnitudes involved).
    const double reach = limit + 1e-6 * (1.0 + query_scale + std::fabs(limit));
    const Box near{query.lox - reach, query.loy - reach, query.hix + reach, query.hiy + reach};
    // Every measure against a circle, whole or split, is a computed distance
    // between a point of p-q and a point of the circle's outline (or 0 when
    // p-q enters the disc, which puts the boxes together): a circle whose box
    // lies farther than the limit from the box of p-q cannot decide. A split
    // circle whose shape keeps that its list holds no exposed segment has
    // nothing to measure.
    auto within = [&](const Disc& d) {
        const Point c = d.centre;
        const double r = d.radius;
        const Box box{c.x - r, c.y - r, c.x + r, c.y + r};
        const double scale = std::fabs(c.x) + std::fabs(c.y) + r;
        if (separated(box, query, limit + margin(scale + query_scale))) return false;
        const Shape& shape = shape_at(d.slot);
        if (shape.count > 1 && shape.exposure == Exposure::None) return false;
        return disc_within(d, record_of(d), shape, p, q, query, query_scale, limit);
    };
    // Only the circles filed with their centre in `near` widened by their
    // radius are asked for: the box of any other lies beyond `near` along an
    // axis, farther from the box of p-q than the limit by the slack of
    // `reach`, far above the margin of the test in `within` (1e-9 of the
    // magnitudes of the question and the circle), unless a coordinate of the
    // circle is so large as to make that margin large, and then the circle
    // lies at least as far out along that coordinate's axis. So the test
    // would pass over every one of them.
    constexpr double R = DEAD_ZONE_RADIUS;
    if (any_disc_near({near.lox - R, near.loy - R}, {near.hix + R, near.hiy + R}, within)) return true;
    // Every measure against an edge line's piece is a computed distance
    // between a point of p-q and a point of the line (the crossing test aside,
    // which needs p and q strictly on either side of the line): a line
    // farther than the limit from the box of p-q, by a margin far above
    // rounding, cannot decide, and its list is not read.
    for (EdgeLine& line : b.edges) {
        if (!line.bounds) continue;
        const double lo = line.vertical ? query.lox : query.loy;
        const double hi = line.vertical ? query.hix : query.hiy;
        const double gap = limit + margin(query_scale + std::fabs(line.at));
        if (lo - line.at > gap || line.at - hi > gap) continue;
        const Span span = read_once(line.flags, PIECES_READ, line.pieces, b.pieces,
                                    [&] { append_pieces(*zone_, *line.shape, b.exposed, b.pieces); });
        for (std::uint32_t i = span.first; i < span.end; ++i) {
            if (piece_within(b.pieces[i], p, q, query, query_scale, limit)) return true;
        }
    }
    for (const Point& eye : b.eyes) {
        if (eye.x < near.lox || eye.x > near.hix || eye.y < near.loy || eye.y > near.hiy) continue;
        if (distance(eye, nearest_on_piece(p, q, eye)) <= limit) return true;
    }
    return false;
}

bool LivenessScene::is_alive(const std::vector<Ring>& rings) {
    if (rings.empty()) return false;
    // Cheapest first: a vertex in playable space. The depth guesses for the
    // walk below are taken on the way, where the check looks near a vertex
    // (NaN where it does not).
    Buffers& b = *buffers_;
    b.guesses.clear();
    for (const Ring& ring : rings) {
        for (const Point& v : ring) {
            double guess = std::numeric_limits<double>::quiet_NaN();
            if (in_play(v, guess)) return true;
            b.guesses.push_back(guess);
        }
    }
    // A territory edge within reach of the playable boundary or a forced eye.
    // Whether some edge is answers the same in any order, so each ring is
    // walked from a guess at the edge running nearest to playable space: the
    // one whose shallower end lies least deep in the circles near it. The
    // edges that decide for a living group lie together, and the guess makes
    // them come early.
    std::size_t at = 0;  // the first guess of the ring
    for (const Ring& ring : rings) {
        const std::size_t len = ring.size();
        const std::size_t ring_at = at;
        at += len;
        if (len < 2) continue;
        auto guess = [&](std::size_t i) {
            const double g = b.guesses[ring_at + i];
            return std::isnan(g) ? near_depth(ring[i]) : g;
        };
        std::size_t first = 0;
        double best = INF;
        double previous = guess(0);
        const double at_start = previous;
        for (std::size_t i = 0; i < len; ++i) {
            const double next = i + 1 == len ? at_start : guess(i + 1);
            const double key = previous < next ? previous : next;
            if (key < best) {
                best = key;
                first = i;
            }
            previous = next;
        }
        for (std::size_t step = 0, i = first; step < len; ++step) {
            if (clearance_within(ring[i], ring[i + 1 == len ? 0 : i + 1], LIVENESS_REACH)) return true;
            i = i + 1 == len ? 0 : i + 1;
        }
    }
    for (const Point& eye : b.eyes) {
        if (territory_contains(rings, eye.x, eye.y)) return true;
    }
    return exposed_start_inside(rings);
}

void LivenessScene::build_edge_starts() {
    Buffers& b = *buffers_;
    b.edge_starts_read = true;
    b.edge_starts_first = static_cast<std::uint32_t>(b.starts.size());
    for (const EdgeLine& line : b.edges) zone_->append_exposed_starts(*line.shape, b.starts);
    b.edge_starts_end = static_cast<std::uint32_t>(b.starts.size());
}

bool LivenessScene::starts_inside(std::uint32_t first, std::uint32_t end, const std::vector<Ring>& rings, bool boxed,
                                  const Box& box, double slack) const {
    const Buffers& b = *buffers_;
    for (std::uint32_t i = first; i < end; ++i) {
        const Point start = b.starts[i];
        if (boxed && (start.y < box.loy || start.y > box.hiy || start.x > box.hix + slack || start.x < box.lox - slack)) {
            continue;
        }
        if (territory_contains(rings, start.x, start.y)) return true;
    }
    return false;
}

bool LivenessScene::exposed_start_inside(const std::vector<Ring>& rings) {
    if (rings.empty()) return false;
    Buffers& b = *buffers_;
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
    // Every segment of a circle starts on that circle, up to rounding far
    // below 0.25 plus a millionth of the magnitudes involved (those of the
    // box, unless the circle lies far beyond it): only a circle whose centre
    // lies within its radius and that margin of the ring's box can hold a
    // start that passes the box test.
    const double reach = DEAD_ZONE_RADIUS + 0.25 +
                         1e-6 * (1.0 + std::fabs(box.lox) + std::fabs(box.loy) + std::fabs(box.hix) +
                                 std::fabs(box.hiy));
    const Point lo = boxed ? Point{box.lox - slack - reach, box.loy - reach} : Point{-INF, -INF};
    const Point hi = boxed ? Point{box.hix + slack + reach, box.hiy + reach} : Point{INF, INF};
    auto inside = [&](const Disc& d) {
        Record& record = record_of(d);
        const Span span = read_once(record.flags, STARTS_READ, record.starts, b.starts, [&] {
            // A list with no exposed segment has no exposed start.
            const Shape& shape = shape_at(d.slot);
            if (zone_->has_exposed_segment(shape)) zone_->append_exposed_starts(shape, b.starts);
        });
        return starts_inside(span.first, span.end, rings, boxed, box, slack);
    };
    if (any_disc_near(lo, hi, inside)) return true;
    if (!b.edge_starts_read) build_edge_starts();
    return starts_inside(b.edge_starts_first, b.edge_starts_end, rings, boxed, box, slack);
}

std::vector<Stone> LivenessScene::dead_stones(const PositionAnalysis& analysis, Color color) {
    std::vector<Stone> out;
    StopPoll stop(8);
    for (const Group& g : color == Color::Black ? analysis.black : analysis.white) {
        if (stop()) break;
        if (!is_alive(g.rings)) out.insert(out.end(), g.stones.begin(), g.stones.end());
    }
    return out;
}

bool LivenessScene::any_dead(const PositionAnalysis& analysis, Color color) {
    StopPoll stop(8);
    for (const Group& g : color == Color::Black ? analysis.black : analysis.white) {
        if (stop()) return false;
        if (!g.stones.empty() && !is_alive(g.rings)) return true;
    }
    return false;
}

std::vector<Stone> dead_stones(const PositionAnalysis& analysis, const AliveZone& zone, Color color) {
    const auto& groups = color == Color::Black ? analysis.black : analysis.white;
    if (groups.empty()) return {};
    LivenessScene scene(zone);
    return scene.dead_stones(analysis, color);
}

}  // namespace cellvane
