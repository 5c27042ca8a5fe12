// The alive zone's boundary chained into closed loops, for a picture that
// fills the zone.
//
// Every exposed piece runs from its segment's start to the start of the next
// segment of its list, and both are points of the shared-start index: where
// one outline leaves the boundary, the other outline crossing there has a
// segment starting at the very same point. Edge lines run the square round
// one way and circles run by growing angle, which keeps the zone on the same
// side of every piece, so the piece that carries the boundary on from a point
// is always one that starts there.
#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>
#include <utility>

#include "zone/clip_graph.hpp"
#include "zone/zone.hpp"

namespace cellvane {

namespace {

// A piece with the key of its end point.
struct Chained {
    LoopPiece piece;
    PointKey to;
};

// Which pieces have been met: a pile of stones on one centre carves the same
// circle several times, and each copy exposes the same pieces.
class Seen {
public:
    // Whether a piece from `from` to `to` round `circle` (or straight, with
    // no circle) is met for the first time.
    bool first(Point from, Point to, const std::optional<Circle>& circle) {
        Key key{point_key(from), point_key(to), PointKey{}, 0, circle.has_value()};
        if (circle) {
            key = Key{key.from, key.to, point_key(circle->centre), folded_bits(circle->radius), true};
        }
        return keys_.insert(key).second;
    }

private:
    struct Key {
        PointKey from;
        PointKey to;
        PointKey centre;
        std::uint64_t radius = 0;
        bool round = false;
        friend auto operator<=>(const Key&, const Key&) = default;
    };
    std::set<Key> keys_;
};

// The exposed pieces of every shape, ascending by shape and in list order, as
// pieces with the key of the point each ends at. A circle with fewer than two
// segments crosses nothing and is a whole loop, answered in `whole`.
std::vector<Chained> exposed(const ClipGraph& graph, std::vector<BoundaryLoop>& whole) {
    std::vector<Chained> pieces;
    Seen seen;
    for (const auto& entry : graph.shapes()) {
        const Shape& shape = entry.second;
        const Circle* circle = std::get_if<Circle>(&shape.kind);
        if (shape.count < 2) {
            if (circle == nullptr) continue;
            const Point from{circle->centre.x + circle->radius, circle->centre.y};
            if (seen.first(from, from, *circle)) whole.push_back({LoopPiece{from, from, *circle, TWO_PI}});
            continue;
        }
        const SegId head = *shape.head;
        graph.for_each_segment(shape, [&](SegId, const Segment& seg, std::int64_t cover) {
            // An edge line's last segment only closes its list.
            if (shape.is_edge && seg.next == head) return false;
            const Segment* next = graph.slot(seg.next);
            if (seg.off_board || cover != 0 || next == nullptr) return true;
            LoopPiece piece{seg.start, next->start, std::nullopt, 0.0};
            if (circle != nullptr) {
                piece.circle = *circle;
                piece.sweep = next->offset - seg.offset;
                if (piece.sweep < 0.0) piece.sweep += TWO_PI;
            }
            if (seen.first(seg.start, next->start, piece.circle)) pieces.push_back({piece, point_key(next->start)});
            return true;
        });
    }
    return pieces;
}

// Marks a chain that closes at its own first point.
constexpr std::size_t CLOSED = static_cast<std::size_t>(-1);

}  // namespace

std::vector<BoundaryLoop> boundary_loops(const AliveZone& zone) {
    std::vector<BoundaryLoop> loops;
    const std::vector<Chained> pieces = exposed(zone.graph(), loops);

    // The pieces by the key of their start point.
    std::vector<std::pair<PointKey, std::size_t>> starts;
    starts.reserve(pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) starts.emplace_back(point_key(pieces[i].piece.from), i);
    std::sort(starts.begin(), starts.end());
    std::vector<bool> used(pieces.size(), false);
    // The first piece not yet chained that starts at `key`, or nothing.
    auto unused_from = [&](PointKey key) -> std::optional<std::size_t> {
        auto it = std::lower_bound(starts.begin(), starts.end(), std::make_pair(key, std::size_t{0}));
        for (; it != starts.end() && it->first == key; ++it) {
            if (!used[it->second]) return it->second;
        }
        return std::nullopt;
    };

    // Where outlines nearly touch, or three meet at one point, rounding can
    // put the end of one piece and the start of the next a few units in the
    // last place apart, so that no piece starts at exactly the end of the one
    // before. The chain then goes on at the nearest start not yet chained, or
    // closes at its own first point, whichever is nearer, if that is within
    // EPSILON (relative to the size of the coordinates).
    auto nearest_from = [&](Point to, Point first) -> std::optional<std::size_t> {
        const double reach = EPSILON * std::max({1.0, std::fabs(to.x), std::fabs(to.y)});
        double best = distance(to, first);
        std::optional<std::size_t> answer;
        for (std::size_t k = 0; k < pieces.size(); ++k) {
            const double d = distance(to, pieces[k].piece.from);
            if (!used[k] && d < best) {
                best = d;
                answer = k;
            }
        }
        if (!(best <= reach)) return std::nullopt;
        return answer ? answer : std::optional<std::size_t>{CLOSED};
    };

    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (used[i]) continue;
        const Point first = pieces[i].piece.from;
        BoundaryLoop loop;
        std::size_t at = i;
        while (true) {
            used[at] = true;
            loop.push_back(pieces[at].piece);
            if (pieces[at].to == point_key(first)) break;
            std::optional<std::size_t> next = unused_from(pieces[at].to);
            if (!next) next = nearest_from(pieces[at].piece.to, first);
            if (!next || *next == CLOSED) break;
            at = *next;
        }
        loops.push_back(std::move(loop));
    }
    return loops;
}

}  // namespace cellvane
