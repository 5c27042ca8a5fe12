#include "analysis/groups.hpp"

#include <algorithm>
#include <cmath>
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

}  // namespace

double enclosed_area(const Ring& ring) {
    const std::size_t len = ring.size();
    if (len < 3) return 0.0;
    double s = 0.0;
    for (std::size_t i = 0; i < len; ++i) {
        const std::size_t j = i + 1 == len ? 0 : i + 1;
        s = (s + ring[i].x * ring[j].y) - ring[i].y * ring[j].x;
    }
    return std::fabs(s) * 0.5;
}

namespace {

// A new vertex number for circumcentre `index`.
std::uint32_t new_vertex(GroupWorkspace& ws, std::size_t index) {
    ws.vertex.push_back(index);
    ws.nodes.push_back({});
    return static_cast<std::uint32_t>(ws.vertex.size() - 1);
}

// vertex_of for an index past the stamped table, kept out of line: only a
// partition with more circumcentres than it lists comes here.
[[gnu::noinline]] std::uint32_t vertex_beyond(GroupWorkspace& ws, std::size_t index) {
    const auto [it, fresh] = ws.beyond.try_emplace(index, static_cast<std::uint32_t>(ws.vertex.size()));
    if (!fresh) return it->second;
    return new_vertex(ws, index);
}

// The number of the boundary vertex at circumcentre `index`, handed out in
// the order vertices are first met in the current generation.
inline std::uint32_t vertex_of(GroupWorkspace& ws, std::size_t index) {
    if (index >= ws.stamp.size()) return vertex_beyond(ws, index);
    if (ws.stamp[index] == ws.generation) return ws.number[index];
    ws.stamp[index] = ws.generation;
    ws.number[index] = static_cast<std::uint32_t>(ws.vertex.size());
    return new_vertex(ws, index);
}

// Appends `to` to the adjacency of vertex `from`.
inline void attach(GroupWorkspace& ws, std::uint32_t from, std::uint32_t to) {
    ws.links.push_back({to, 0});
    const auto entry = static_cast<std::uint32_t>(ws.links.size());
    GroupWorkspace::Node& node = ws.nodes[from];
    if (node.tail == 0) {
        node.head = entry;
    } else {
        ws.links[node.tail - 1].next = entry;
    }
    node.tail = entry;
}

// Boundary edges of the group's cells -- those not shared with a stone of
// the same group -- collected into an adjacency by vertex number, starting
// a new generation of vertex numbers.
void collect_boundary(const VoronoiPartition& partition, const std::vector<std::size_t>& labels,
                      const std::size_t* members, std::size_t member_count, GroupWorkspace& ws) {
    const std::size_t n = partition.stone_count();
    const std::size_t number = labels[members[0]];
    const std::size_t circumcentres = partition.circumcentres.size();
    ++ws.generation;
    if (ws.stamp.size() < circumcentres) {
        ws.stamp.resize(circumcentres, 0);
        ws.number.resize(circumcentres, 0);
    }
    ws.beyond.clear();
    ws.vertex.clear();
    ws.nodes.clear();
    ws.links.clear();
    for (std::size_t i = 0; i < member_count; ++i) {
        const std::size_t m = members[i];
        if (m >= n) continue;
        for (const CellEdge* e = partition.cell_begin(m); e != partition.cell_end(m); ++e) {
            if (e->neighbour < n && labels[e->neighbour] == number) continue;
            const std::uint32_t from = vertex_of(ws, e->from);
            const std::uint32_t to = vertex_of(ws, e->to);
            attach(ws, from, to);
            attach(ws, to, from);
        }
    }
}

// Trace: from each unvisited vertex in the order first met, follow the first
// unvisited neighbour; a trace of three or more vertices is a ring.
void trace_rings(GroupWorkspace& ws) {
    ws.ring_vertices.clear();
    ws.ring_ends.clear();
    const auto vertices = static_cast<std::uint32_t>(ws.vertex.size());
    for (std::uint32_t k = 0; k < vertices; ++k) {
        if (ws.nodes[k].visited) continue;
        const std::size_t begin = ws.ring_vertices.size();
        std::uint32_t r = k;
        for (;;) {
            GroupWorkspace::Node& node = ws.nodes[r];
            node.visited = true;
            ws.ring_vertices.push_back(r);
            bool moved = false;
            for (std::uint32_t entry = node.head; entry != 0; entry = ws.links[entry - 1].next) {
                const std::uint32_t a = ws.links[entry - 1].to;
                if (!ws.nodes[a].visited) {
                    r = a;
                    moved = true;
                    break;
                }
            }
            if (!moved) break;
        }
        if (ws.ring_vertices.size() - begin >= 3) {
            ws.ring_ends.push_back(ws.ring_vertices.size());
        } else {
            ws.ring_vertices.resize(begin);
        }
    }
}

// The traced rings as points, clipped to the board square one side at a
// time, into ws.rings; a ring left with fewer than three points goes.
void clip_rings(const std::vector<Point>& cc, double board_size, GroupWorkspace& ws) {
    std::vector<Ring>& rings = ws.rings;
    rings.clear();
    std::vector<Point>& pts = ws.points;
    std::vector<Point>& work = ws.work;
    std::size_t begin = 0;
    for (const std::size_t end : ws.ring_ends) {
        pts.clear();
        for (std::size_t j = begin; j < end; ++j) {
            const std::size_t index = ws.vertex[ws.ring_vertices[j]];
            if (index < cc.size()) pts.push_back(cc[index]);
        }
        begin = end;
        // A ring with every point inside the closed square passes each side
        // unchanged.
        bool inside_all = true;
        for (const Point& v : pts) {
            if (!(inside(Bound::XMin, v, board_size) && inside(Bound::XMax, v, board_size) &&
                  inside(Bound::YMin, v, board_size) && inside(Bound::YMax, v, board_size))) {
                inside_all = false;
                break;
            }
        }
        bool kept = true;
        for (Bound bound : {Bound::XMin, Bound::XMax, Bound::YMin, Bound::YMax}) {
            if (pts.size() < 3) {
                kept = false;
                break;
            }
            if (inside_all) continue;
            clip_pass(pts, work, bound, board_size);
            pts.swap(work);
        }
        if (kept && pts.size() >= 3) {
            // Room for the closing point, added once the rings are ordered.
            Ring ring;
            ring.reserve(pts.size() + 1);
            ring.assign(pts.begin(), pts.end());
            rings.push_back(std::move(ring));
        }
    }
}

// The members' stones ascending by id; equal ids keep member order. A sort
// that breaks ties by position is the stable sort, without the buffer that
// std::stable_sort allocates.
std::vector<Stone> member_stones(const std::vector<Stone>& stones, const std::size_t* members,
                                std::size_t member_count, GroupWorkspace& ws) {
    std::vector<std::size_t>& order = ws.members;
    order.clear();
    for (std::size_t i = 0; i < member_count; ++i) {
        if (members[i] < stones.size()) order.push_back(i);
    }
    std::sort(order.begin(), order.end(), [&stones, members](std::size_t a, std::size_t b) {
        const std::uint32_t ia = stones[members[a]].id;
        const std::uint32_t ib = stones[members[b]].id;
        return ia != ib ? ia < ib : a < b;
    });
    std::vector<Stone> out;
    out.reserve(order.size());
    for (const std::size_t i : order) out.push_back(stones[members[i]]);
    return out;
}

// The clipped rings, largest first, each closed; equal areas keep trace
// order (NaN areas last), again with ties broken by position.
std::vector<Ring> rings_by_area(GroupWorkspace& ws) {
    std::vector<Ring>& rings = ws.rings;
    std::vector<double>& areas = ws.areas;
    areas.resize(rings.size());
    for (std::size_t i = 0; i < rings.size(); ++i) areas[i] = enclosed_area(rings[i]);
    std::vector<std::size_t>& by_area = ws.by_area;
    by_area.resize(rings.size());
    std::iota(by_area.begin(), by_area.end(), std::size_t{0});
    std::sort(by_area.begin(), by_area.end(), [&areas](std::size_t a, std::size_t b) {
        const bool na = std::isnan(areas[a]);
        const bool nb = std::isnan(areas[b]);
        if (na != nb) return nb;
        if (!na && areas[a] != areas[b]) return areas[a] > areas[b];
        return a < b;
    });
    std::vector<Ring> out;
    out.reserve(rings.size());
    for (std::size_t i : by_area) {
        Ring ring = std::move(rings[i]);
        ring.push_back(ring.front());
        out.push_back(std::move(ring));
    }
    return out;
}

}  // namespace

Group build_group_into(const VoronoiPartition& partition, double board_size, const std::vector<Stone>& stones,
                       const std::vector<std::size_t>& labels, const std::size_t* members, std::size_t member_count,
                       Color color, GroupWorkspace& ws, const std::size_t* ascending) {
    Group group;
    group.color = color;
    if (member_count == 0) return group;
    collect_boundary(partition, labels, members, member_count, ws);
    trace_rings(ws);
    clip_rings(partition.circumcentres, board_size, ws);
    if (ascending != nullptr) {
        group.stones.reserve(member_count);
        for (std::size_t i = 0; i < member_count; ++i) group.stones.push_back(stones[ascending[i]]);
    } else {
        group.stones = member_stones(stones, members, member_count, ws);
    }
    group.rings = rings_by_area(ws);
    return group;
}

Group build_group(const VoronoiPartition& partition, double board_size, const std::vector<Stone>& stones,
                  const std::vector<std::size_t>& labels, const std::vector<std::size_t>& members,
                  Color color) {
    GroupWorkspace ws;
    return build_group_into(partition, board_size, stones, labels, members.data(), members.size(), color, ws);
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
        const Point& q = ring[i + 1 == len ? 0 : i + 1];
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
