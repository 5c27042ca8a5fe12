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

// A new vertex number for circumcentre `index`; the vertex arrays have room.
inline std::uint32_t new_vertex(GroupWorkspace& ws, std::uint32_t& count, std::size_t index) {
    const std::uint32_t v = count++;
    ws.vertex[v] = index;
    GroupWorkspace::Node& node = ws.nodes[v];
    node.degree = 0;
    node.more = 0;
    node.visited = false;
    return v;
}

// vertex_of for an index past the slot table, kept out of line: only a
// partition with more circumcentres than it lists comes here.
[[gnu::noinline]] std::uint32_t vertex_beyond(GroupWorkspace& ws, std::uint32_t& count, std::size_t index) {
    const auto [it, fresh] = ws.beyond.try_emplace(index, count);
    if (!fresh) return it->second;
    return new_vertex(ws, count, index);
}

// The number of the boundary vertex at circumcentre `index`, handed out in
// the order vertices are first met in the current generation.
inline std::uint32_t vertex_of(GroupWorkspace& ws, std::uint32_t& count, std::size_t index) {
    if (index >= ws.slot.size()) return vertex_beyond(ws, count, index);
    const std::uint64_t slot = ws.slot[index];
    const std::uint64_t stamp = std::uint64_t{ws.generation} << 32;
    if ((slot & ~std::uint64_t{0xffffffff}) == stamp) return static_cast<std::uint32_t>(slot);
    ws.slot[index] = stamp | count;
    return new_vertex(ws, count, index);
}

// Appends a neighbour past the second to the list of `node`, kept out of
// line for the same reason.
[[gnu::noinline]] void attach_more(GroupWorkspace& ws, GroupWorkspace::Node& node, std::uint32_t to) {
    ws.links.push_back({to, 0});
    const auto entry = static_cast<std::uint32_t>(ws.links.size());
    if (node.more == 0) {
        node.more = entry;
    } else {
        ws.links[node.last - 1].next = entry;
    }
    node.last = entry;
}

// Appends `to` to the adjacency of vertex `from`.
inline void attach(GroupWorkspace& ws, std::uint32_t from, std::uint32_t to) {
    GroupWorkspace::Node& node = ws.nodes[from];
    if (node.degree < 2) {
        node.near[node.degree] = to;
    } else {
        attach_more(ws, node, to);
    }
    ++node.degree;
}

// Boundary edges of the group's cells -- those not shared with a stone of
// the same group -- collected into an adjacency by vertex number, starting
// a new generation of vertex numbers. Answers the number of vertices.
std::uint32_t collect_boundary(const VoronoiPartition& partition, const std::vector<std::size_t>& labels,
                               const std::size_t* members, std::size_t member_count, GroupWorkspace& ws) {
    const std::size_t n = partition.stone_count();
    const std::size_t number = labels[members[0]];
    const std::size_t circumcentres = partition.circumcentres.size();
    if (++ws.generation == 0) {
        // Every stamp ever written is of a generation before this one.
        std::fill(ws.slot.begin(), ws.slot.end(), 0);
        ws.generation = 1;
    }
    if (ws.slot.size() < circumcentres) ws.slot.resize(circumcentres, 0);
    // Each boundary edge brings at most two new vertices, and every
    // boundary edge is a cell edge of the partition.
    const std::size_t most = 2 * partition.edges.size();
    if (ws.nodes.size() < most) {
        ws.nodes.resize(most);
        ws.vertex.resize(most);
    }
    if (!ws.beyond.empty()) ws.beyond.clear();
    ws.links.clear();
    std::uint32_t count = 0;
    const std::size_t* const label = labels.data();
    for (std::size_t i = 0; i < member_count; ++i) {
        const std::size_t m = members[i];
        if (m >= n) continue;
        const CellEdge* const end = partition.cell_end(m);
        for (const CellEdge* e = partition.cell_begin(m); e != end; ++e) {
            if (e->neighbour < n && label[e->neighbour] == number) continue;
            const std::uint32_t from = vertex_of(ws, count, e->from);
            const std::uint32_t to = vertex_of(ws, count, e->to);
            attach(ws, from, to);
            attach(ws, to, from);
        }
    }
    return count;
}

// The first neighbour of `node` not yet visited, or `none`.
inline std::uint32_t next_unvisited(const GroupWorkspace& ws, const GroupWorkspace::Node& node, std::uint32_t none) {
    const GroupWorkspace::Node* const nodes = ws.nodes.data();
    const std::uint32_t near = node.degree < 2 ? node.degree : 2;
    for (std::uint32_t i = 0; i < near; ++i) {
        if (!nodes[node.near[i]].visited) return node.near[i];
    }
    for (std::uint32_t entry = node.more; entry != 0; entry = ws.links[entry - 1].next) {
        const std::uint32_t a = ws.links[entry - 1].to;
        if (!nodes[a].visited) return a;
    }
    return none;
}

// Trace: from each unvisited vertex in the order first met, follow the first
// unvisited neighbour; a trace of three or more vertices is a ring. Its
// vertices that name a circumcentre go to ws.points as that point.
void trace_rings(const std::vector<Point>& cc, std::uint32_t vertices, GroupWorkspace& ws) {
    ws.ring_ends.clear();
    if (ws.points.size() < vertices) ws.points.resize(vertices);
    Point* const pts = ws.points.data();
    GroupWorkspace::Node* const nodes = ws.nodes.data();
    const std::size_t* const vertex = ws.vertex.data();
    const std::size_t known = cc.size();
    std::uint32_t len = 0;
    for (std::uint32_t k = 0; k < vertices; ++k) {
        if (nodes[k].visited) continue;
        const std::uint32_t begin = len;
        std::uint32_t traced = 0;
        std::uint32_t r = k;
        do {
            GroupWorkspace::Node& node = nodes[r];
            node.visited = true;
            ++traced;
            const std::size_t index = vertex[r];
            if (index < known) pts[len++] = cc[index];
            r = next_unvisited(ws, node, vertices);
        } while (r != vertices);
        if (traced >= 3) {
            ws.ring_ends.push_back(len);
        } else {
            len = begin;
        }
    }
}

// One Sutherland-Hodgman pass against one side of the board square over
// in[0 .. len). A pass that finds every point inside emits them unchanged,
// so it is skipped: `in` stays as it is. Otherwise the points go to `out`,
// grown to hold twice as many (each point emits at most itself and a
// crossing), and `in` is pointed at them. Answers the number of points.
template <Bound bound>
std::size_t clip_pass(const Point*& in, std::size_t len, std::vector<Point>& out, double b) {
    std::size_t first_out = 0;
    while (first_out < len && inside(bound, in[first_out], b)) ++first_out;
    if (first_out == len) return len;
    if (out.size() < 2 * len) out.resize(2 * len);
    Point* const dst = out.data();
    std::size_t written = 0;
    Point prev = in[len - 1];
    bool prev_in = inside(bound, prev, b);
    for (std::size_t i = 0; i < len; ++i) {
        const Point cur = in[i];
        const bool cur_in = inside(bound, cur, b);
        if (cur_in != prev_in) dst[written++] = crossing(bound, prev, cur, b);
        if (cur_in) dst[written++] = cur;
        prev = cur;
        prev_in = cur_in;
    }
    in = dst;
    return written;
}

// The traced rings clipped to the board square one side at a time, into
// `rings`; a ring left with fewer than three points goes. Each ring has room
// for its closing point.
void clip_rings(double board_size, GroupWorkspace& ws, std::vector<Ring>& rings) {
    rings.reserve(ws.ring_ends.size());
    const Point* const pts = ws.points.data();
    std::uint32_t begin = 0;
    for (const std::uint32_t end : ws.ring_ends) {
        const Point* in = pts + begin;
        std::size_t len = end - begin;
        begin = end;
        // The passes alternate between the two buffers; a skipped pass
        // leaves its input where it is, which is never the buffer written
        // next.
        if (len < 3) continue;
        len = clip_pass<Bound::XMin>(in, len, ws.work, board_size);
        if (len < 3) continue;
        len = clip_pass<Bound::XMax>(in, len, in == ws.work.data() ? ws.spare : ws.work, board_size);
        if (len < 3) continue;
        len = clip_pass<Bound::YMin>(in, len, in == ws.work.data() ? ws.spare : ws.work, board_size);
        if (len < 3) continue;
        len = clip_pass<Bound::YMax>(in, len, in == ws.work.data() ? ws.spare : ws.work, board_size);
        if (len < 3) continue;
        Ring& ring = rings.emplace_back();
        ring.reserve(len + 1);
        ring.assign(in, in + len);
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

// Puts the rings largest first, each closed; equal areas keep trace order
// (NaN areas last), again with ties broken by position. A lone ring needs
// no measuring.
void order_rings(std::vector<Ring>& rings, GroupWorkspace& ws) {
    if (rings.size() > 1) {
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
        // Through the workspace's list, whose storage is kept: rings move,
        // nothing is allocated.
        std::vector<Ring>& sorted = ws.rings;
        sorted.clear();
        for (const std::size_t i : by_area) sorted.push_back(std::move(rings[i]));
        for (std::size_t i = 0; i < rings.size(); ++i) rings[i] = std::move(sorted[i]);
        sorted.clear();
    }
    for (Ring& ring : rings) ring.push_back(ring.front());
}

}  // namespace

Group build_group_into(const VoronoiPartition& partition, double board_size, const std::vector<Stone>& stones,
                       const std::vector<std::size_t>& labels, const std::size_t* members, std::size_t member_count,
                       Color color, GroupWorkspace& ws, const std::size_t* ascending) {
    Group group;
    group.color = color;
    if (member_count == 0) return group;
    const std::uint32_t vertices = collect_boundary(partition, labels, members, member_count, ws);
    trace_rings(partition.circumcentres, vertices, ws);
    clip_rings(board_size, ws, group.rings);
    if (ascending != nullptr) {
        group.stones.reserve(member_count);
        for (std::size_t i = 0; i < member_count; ++i) group.stones.push_back(stones[ascending[i]]);
    } else {
        group.stones = member_stones(stones, members, member_count, ws);
    }
    order_rings(group.rings, ws);
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
