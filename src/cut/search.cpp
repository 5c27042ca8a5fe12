// The two cut questions: checks, distance limits, memo, shortcuts, and the
// search that wedges a hypothetical enemy pair between the friendly stones
// and asks whether any stretch of their bisector survives it.
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "cut/memo.hpp"
#include "zone/zone.hpp"

namespace cellvane {

namespace {

// An obstacle this close to the line through the friendly centres is taken as
// lying on it.
constexpr double ON_LINE = 1e-7;
// A bisector stretch shorter than this counts as none.
constexpr double EMPTY_STRETCH = 1e-8;

// One question in the search's terms: the friendly centres A and B (for an
// edge, B is A mirrored in the edge line), half their distance, the midpoint
// and the unit normal of B - A, which runs along the bisector.
struct Question {
    double w = 0.0;
    Point mid;
    Point normal;
    Color colour = Color::Black;
};

Question make_question(Point a, Point b, double d, Color colour) {
    Question q;
    q.w = d / 2;
    q.mid = Point{(a.x + b.x) / 2, (a.y + b.y) / 2};
    q.normal = Point{(a.y - b.y) / d, (b.x - a.x) / d};
    q.colour = colour;
    return q;
}

CutKind search(AliveZone& zone, const std::vector<Stone>& by_id, double board_size, const Question& q) {
    const Point mid = q.mid;
    const Point n = q.normal;

    // The enemy pair, placed greedily nearest the midpoint; the first stays
    // carved only while the second is sought.
    const std::optional<Point> p1 = zone.nearest_living_move(mid);
    std::optional<Point> p2;
    if (p1) {
        // The first is carved for the length of the second's search. An
        // allocation failing meanwhile leaves it carved: the zone is then
        // not as it was, and its board counts as broken.
        zone.push_temporary_circle(*p1);
        p2 = zone.nearest_living_move(mid);
        zone.pop_temporary_circle();
    }

    // The bisector mid + s * n, clipped to the board square.
    double lo = -std::numeric_limits<double>::infinity();
    double hi = std::numeric_limits<double>::infinity();
    // Narrows [lo, hi] to where the coordinate m + s * d lies within the
    // board; a direction along the axis (d == 0) leaves it as it is.
    const auto clip_axis = [&](double m, double d) {
        if (d == 0.0) return;
        const double e = (0.0 - m) / d;
        const double f = (board_size - m) / d;
        lo = std::max(lo, std::min(e, f));
        hi = std::min(hi, std::max(e, f));
    };
    clip_axis(mid.x, n.x);
    clip_axis(mid.y, n.y);

    // Keeps the part of the bisector at least as close to the friendly
    // centres as to r. Answers true when r sits between the friendly centres,
    // which cuts them whatever else is near.
    const double w2 = q.w * q.w;
    auto narrow = [&](Point r) {
        const Point e{mid.x - r.x, mid.y - r.y};
        const double j = n.x * e.x + n.y * e.y;
        const double g = e.x * e.x + e.y * e.y;
        if (std::fabs(j) < ON_LINE) return g < w2;
        const double t = (w2 - g) / (2 * j);
        if (j > 0) {
            lo = std::max(lo, t);
        } else if (j < 0) {
            hi = std::min(hi, t);
        }
        return false;
    };

    if (p1 && narrow(*p1)) return CutKind::Cuttable;
    if (p2 && narrow(*p2)) return CutKind::Cuttable;
    for (const Stone& stone : by_id) {
        if (stone.color == q.colour) continue;
        if (!(distance(stone.position, mid) <= CUT_REACH)) continue;
        if (narrow(stone.position)) return CutKind::Cuttable;
    }
    return lo > hi - EMPTY_STRETCH ? CutKind::Cuttable : CutKind::Connected;
}

}  // namespace

CutAnswer pair_cuttable(CutMemo& memo, AliveZone& zone, const std::map<std::uint32_t, Stone>& in_play,
                        const std::vector<Stone>& by_id, std::uint32_t a, std::uint32_t b) {
    const auto first = in_play.find(a);
    if (first == in_play.end()) return CutFault{CutFaultKind::NotInPlay, a, 0};
    const auto second = in_play.find(b);
    if (second == in_play.end()) return CutFault{CutFaultKind::NotInPlay, b, 0};
    if (a == b) return CutFault{CutFaultKind::AgainstItself, a, 0};
    const Stone& stone_a = first->second;
    const Stone& stone_b = second->second;
    if (stone_a.color != stone_b.color) return CutFault{CutFaultKind::TwoColours, a, b};

    const Point pa = stone_a.position;
    const Point pb = stone_b.position;
    const double d = distance(pa, pb);
    if (d > MAX_PAIR_CUT_DISTANCE) return CutKind::TooFar;

    const CutKey key = PairCutKey{std::min(a, b), std::max(a, b)};
    if (const CutEntry* known = CutMemoTable::find(memo, key)) return known->kind;

    const CutKind kind = d < PAIR_CUT_SHORTCUT
                             ? CutKind::Connected
                             : search(zone, by_id, zone.frame().size, make_question(pa, pb, d, stone_a.color));
    CutMemoTable::remember(memo, key, CutEntry{pa, pb, kind});
    return kind;
}

CutAnswer boundary_cuttable(CutMemo& memo, AliveZone& zone, const std::map<std::uint32_t, Stone>& in_play,
                            const std::vector<Stone>& by_id, std::uint32_t stone, BoardEdge edge) {
    const auto found = in_play.find(stone);
    if (found == in_play.end()) return CutFault{CutFaultKind::NotInPlay, stone, 0};
    const Stone& s = found->second;
    const Point pa = s.position;
    const double size = zone.frame().size;

    // Foot point of the stone's centre on the edge.
    Point foot = pa;
    switch (edge) {
        case BoardEdge::Left: foot = Point{0.0, pa.y}; break;
        case BoardEdge::Right: foot = Point{size, pa.y}; break;
        case BoardEdge::Top: foot = Point{pa.x, 0.0}; break;
        case BoardEdge::Bottom: foot = Point{pa.x, size}; break;
    }
    if (distance(pa, foot) > MAX_BOUNDARY_CUT_DISTANCE) return CutKind::TooFar;

    const CutKey key = BoundaryCutKey{stone, edge};
    if (const CutEntry* known = CutMemoTable::find(memo, key)) return known->kind;

    // The stone's mirror image in the edge stands in for the second stone.
    const Point mirror{2 * foot.x - pa.x, 2 * foot.y - pa.y};
    const double d = distance(pa, mirror);
    const CutKind kind = d / 2 < BOUNDARY_CUT_SHORTCUT
                             ? CutKind::Connected
                             : search(zone, by_id, size, make_question(pa, mirror, d, s.color));
    CutMemoTable::remember(memo, key, CutEntry{pa, foot, kind});
    return kind;
}

}  // namespace cellvane
