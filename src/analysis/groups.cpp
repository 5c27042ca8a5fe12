#include "analysis/groups.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

namespace cellvane {

namespace {

enum class Bound : unsigned char { XMin, XMax, YMin, YMax };

bool inside(Bound bound, Point p, double b) {
    switch (bound) {
        case Bound::XMin: return p.x >= 0;
        case Bound::XMax: return p.x <= b;
        case Bound::YMin: return p.y >= 0;
        case Bound::YMax: return p.y <= b;
    }
    return false;
}

Point crossing(Bound bound, Point prev, Point cur, double b) {
    const double dx = cur.x - prev.x;
    const double dy = cur.y - prev.y;
    switch (bound) {
        case Bound::XMin: return {0.0, prev.y + dy * ((0 - prev.x) / dx)};
        case Bound::XMax: return {b, prev.y + dy * ((b - prev.x) / dx)};
        case Bound::YMin: return {prev.x + ((0 - prev.y) / dy) * dx, 0.0};
        case Bound::YMax: return {prev.x + ((b - prev.y) / dy) * dx, b};
    }
    return prev;
}

// One Sutherland-Hodgman pass against one side of the board square.
void clip_pass(const std::vector<Point>& in, std::vector<Point>& out, Bound bound, double b) {
    out.clear();
    Point prev = in.back();
    bool prev_in = inside(bound, prev, b);
    for (const Point& cur : in) {
        const bool cur_in = inside(bound, cur, b);
        if (cur_in != prev_in) out.push_back(crossing(bound, prev, cur, b));
        if (cur_in) out.push_back(cur);
        prev = cur;
        prev_in = cur_in;
    }
}

// A traced boundary vertex: its neighbours along boundary edges, in the order
// the edges were met.
struct Node {
    std::vector<std::size_t> adjacent;
    bool visited = false;
};

}  // namespace

double enclosed_area(const Ring& ring) {
    const std::size_t len = ring.size();
    if (len < 3) return 0.0;
    double s = 0.0;
    for (std::size_t i = 0; i < len; ++i) {
        const std::size_t j = (i + 1) % len;
        s = (s + ring[i].x * ring[j].y) - ring[i].y * ring[j].x;
    }
    return std::fabs(s) * 0.5;
}

Group build_group(const VoronoiPartition& partition, double board_size, const std::vector<Stone>& stones,
                  const std::vector<std::size_t>& labels, const std::vector<std::size_t>& members,
                  Color color) {
    Group group;
    group.color = color;
    const std::size_t n = partition.stone_count();
    if (members.empty()) return group;
    const std::size_t number = labels[members.front()];

    // Boundary edges, collected into an adjacency keyed by circumcentre.
    std::map<std::size_t, Node> nodes;
    std::vector<std::size_t> order;
    auto attach = [&nodes, &order](std::size_t from, std::size_t to) {
        auto [it, fresh] = nodes.try_emplace(from);
        if (fresh) order.push_back(from);
        it->second.adjacent.push_back(to);
    };
    for (std::size_t m : members) {
        if (m >= n) continue;
        for (const CellEdge* e = partition.cell_begin(m); e != partition.cell_end(m); ++e) {
            if (e->neighbour < n && labels[e->neighbour] == number) continue;
            attach(e->from, e->to);
            attach(e->to, e->from);
        }
    }

    // Trace: from each unvisited vertex, follow the first unvisited neighbour.
    std::vector<std::vector<std::size_t>> traced;
    for (std::size_t k : order) {
        if (nodes[k].visited) continue;
        std::vector<std::size_t> ring;
        std::size_t r = k;
        for (;;) {
            Node& node = nodes[r];
            node.visited = true;
            ring.push_back(r);
            bool moved = false;
            for (std::size_t a : node.adjacent) {
                if (!nodes[a].visited) {
                    r = a;
                    moved = true;
                    break;
                }
            }
            if (!moved) break;
        }
        if (ring.size() >= 3) traced.push_back(std::move(ring));
    }

    // Points, clipped to the board square one side at a time.
    const auto& cc = partition.circumcentres;
    std::vector<Ring> rings;
    std::vector<Point> work;
    for (const auto& indices : traced) {
        Ring pts;
        pts.reserve(indices.size());
        for (std::size_t i : indices) {
            if (i < cc.size()) pts.push_back(cc[i]);
        }
        bool kept = true;
        for (Bound bound : {Bound::XMin, Bound::XMax, Bound::YMin, Bound::YMax}) {
            if (pts.size() < 3) {
                kept = false;
                break;
            }
            clip_pass(pts, work, bound, board_size);
            pts.swap(work);
        }
        if (kept && pts.size() >= 3) rings.push_back(std::move(pts));
    }

    for (std::size_t m : members) {
        if (m < stones.size()) group.stones.push_back(stones[m]);
    }
    std::stable_sort(group.stones.begin(), group.stones.end(),
                     [](const Stone& a, const Stone& b) { return a.id < b.id; });

    // Largest ring first; equal areas keep trace order (NaN areas last).
    std::vector<double> areas(rings.size());
    for (std::size_t i = 0; i < rings.size(); ++i) areas[i] = enclosed_area(rings[i]);
    std::vector<std::size_t> by_area(rings.size());
    std::iota(by_area.begin(), by_area.end(), std::size_t{0});
    std::stable_sort(by_area.begin(), by_area.end(), [&areas](std::size_t a, std::size_t b) {
        const bool na = std::isnan(areas[a]);
        const bool nb = std::isnan(areas[b]);
        if (na || nb) return !na && nb;
        return areas[a] > areas[b];
    });
    group.rings.reserve(rings.size());
    for (std::size_t i : by_area) {
        Ring ring = std::move(rings[i]);
        ring.push_back(ring.front());
        group.rings.push_back(std::move(ring));
    }
    return group;
}

double area(const std::vector<Ring>& rings) {
    if (rings.empty()) return 0.0;
    if (rings.size() == 1) return enclosed_area(rings[0]);
    double holes = -0.0;
    for (std::size_t i = 1; i < rings.size(); ++i) holes += enclosed_area(rings[i]);
    return enclosed_area(rings[0]) - holes;
}

bool ring_contains(const Ring& ring, double x, double y) {
    const std::size_t len = ring.size();
    if (len < 3) return false;
    bool in = false;
    for (std::size_t i = 0; i < len; ++i) {
        const Point& p = ring[i];
        const Point& q = ring[(i + 1) % len];
        if ((y < q.y) != (y < p.y) && x < ((y - p.y) * (q.x - p.x)) / (q.y - p.y) + p.x) in = !in;
    }
    return in;
}

bool territory_contains(const std::vector<Ring>& rings, double x, double y) {
    if (rings.empty() || !ring_contains(rings[0], x, y)) return false;
    for (std::size_t i = 1; i < rings.size(); ++i) {
        if (ring_contains(rings[i], x, y)) return false;
    }
    return true;
}

}  // namespace cellvane
