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

// Starts the node of a vertex met for the first time in this generation.
inline void meet(GroupWorkspace& ws, std::uint32_t& count, std::uint32_t v) {
    GroupWorkspace::Node& node = ws.nodes[v];
    node.stamp = std::uint64_t{ws.generation} << 32;
    ws.order[count++] = v;
}

// vertex_of for an index past the circumcentres, kept out of line: only a
// partition with more circumcentres than it lists comes here. Such vertices
// take the nodes from `table` on, in the order first met. (Inlined, this and
// the other rare paths of the trace and the labelling ran 2% more
// instructions over three random games on an 18 board, callgrind.)
[[gnu::noinline]] std::uint32_t vertex_beyond(GroupWorkspace& ws, std::uint32_t& count, std::size_t index,
                                              std::size_t table) {
    const auto v = static_cast<std::uint32_t>(table + ws.beyond.size());
    const auto [it, fresh] = ws.beyond.try_emplace(index, v);
    if (!fresh) return it->second;
    // Vertices number at most the nodes in use, which the order list
    // outgrows only here; it keeps one entry more, which vertex_of writes
    // when every vertex has been met.
    if (ws.nodes.size() <= v) ws.nodes.resize(std::size_t{v} + 1, GroupWorkspace::Node{});
    if (ws.order.size() <= std::size_t{v} + 1) ws.order.resize(std::size_t{v} + 2);
    meet(ws, count, v);
    return v;
}

// The collection's hold on the workspace: its nodes, its order list and
// its generation, and the vertices met so far, as plain values.
struct Meeting {
    GroupWorkspace::Node* nodes;
    std::uint32_t* order;
    std::uint64_t floor;  // the generation's stamp with no neighbours
    std::uint32_t count;
};

// The vertex at circumcentre `index`: the index itself below `table`, the
// partition's circumcentre count. Whether the vertex is new to this
// generation decides nothing by a branch: the order list is written always
// and kept by advancing its count, and the stamp is renewed by a maximum,
// as every vertex is met about as often for the first time as again. (The
// plain branch ran 0.7% fewer instructions but mispredicted 13% more branches
// over random play to 1,000 stones on a 90 board, callgrind, and took 5%
// longer.)
inline std::uint32_t vertex_of(GroupWorkspace& ws, Meeting& m, std::size_t index, std::size_t table) {
    if (index >= table) [[unlikely]] {
        std::uint32_t count = m.count;
        const std::uint32_t v = vertex_beyond(ws, count, index, table);
        m = {ws.nodes.data(), ws.order.data(), m.floor, count};
        return v;
    }
    const auto v = static_cast<std::uint32_t>(index);
    GroupWorkspace::Node& node = m.nodes[v];
    // A stamp of an earlier generation lies below the floor, one of this
    // generation at or above it: the greater of the two is the stamp kept.
    const std::uint64_t stamp = node.stamp;
    m.order[m.count] = v;
    m.count += stamp < m.floor;
    node.stamp = std::max(stamp, m.floor);
    return v;
}

// Appends a neighbour past the second to the list of `node`, kept out of
// line: only a partition unlike those built from stones comes here (see
// vertex_beyond for the figure).
[[gnu::noinline]] void attach_more(GroupWorkspace& ws, const GroupWorkspace::Node& node, std::uint32_t from,
                                   std::uint32_t to) {
    ws.links.push_back({to, 0});
    const auto entry = static_cast<std::uint32_t>(ws.links.size());
    if (ws.more.size() < ws.nodes.size()) ws.more.resize(ws.nodes.size());
    GroupWorkspace::More& more = ws.more[from];
    if (static_cast<std::uint32_t>(node.stamp) == 2) {
        more.first = entry;
    } else {
        ws.links[more.last - 1].next = entry;
    }
    more.last = entry;
}

// Appends `to` to the adjacency of vertex `from`.
inline void attach(GroupWorkspace& ws, GroupWorkspace::Node* nodes, std::uint32_t from, std::uint32_t to) {
    GroupWorkspace::Node& node = nodes[from];
    const auto degree = static_cast<std::uint32_t>(node.stamp);
    if (degree < 2) {
        node.near[degree] = to;
    } else {
        attach_more(ws, node, from, to);
    }
    ++node.stamp;
}

// Boundary edges of the group's cells -- those not shared with a stone of
// the same group -- collected into an adjacency of vertices, starting a new
// generation. The edges looked at are `hints.edges` when given, otherwise
// every cell edge of the members. Answers the number of vertices.
std::uint32_t collect_boundary(const VoronoiPartition& partition, const std::vector<std::size_t>& labels,
                               const std::size_t* members, std::size_t member_count, const GroupHints& hints,
                               GroupWorkspace& ws) {
    const std::size_t n = partition.stone_count();
    const std::size_t number = labels[members[0]];
    const std::size_t table = partition.circumcentres.size();
    if (ws.nodes.size() < table) ws.nodes.resize(table, GroupWorkspace::Node{});
    if (++ws.generation == 0) [[unlikely]] {
        // The count wrapped: no node may carry the new generation.
        for (GroupWorkspace::Node& node : ws.nodes) node.stamp = 0;
        ws.generation = 1;
    }
    // One entry past the vertices, which vertex_of writes and drops once
    // every vertex has been met.
    if (ws.order.size() < table + 1) ws.order.resize(table + 1);
    if (!ws.beyond.empty()) ws.beyond.clear();
    ws.links.clear();
    Meeting m{ws.nodes.data(), ws.order.data(), std::uint64_t{ws.generation} << 32, 0};
    const std::size_t* const label = labels.data();
    auto take = [&](const CellEdge& e) {
        if (e.neighbour < n && label[e.neighbour] == number) return;
        const std::uint32_t from = vertex_of(ws, m, e.from, table);
        const std::uint32_t to = vertex_of(ws, m, e.to, table);
        attach(ws, m.nodes, from, to);
        attach(ws, m.nodes, to, from);
    };
    if (hints.edges != nullptr) {
        for (std::size_t i = 0; i < hints.edge_count; ++i) take(*hints.edges[i]);
        return m.count;
    }
    for (std::size_t i = 0; i < member_count; ++i) {
        const std::size_t member = members[i];
        if (member >= n) continue;
        const CellEdge* const end = partition.cell_end(member);
        for (const CellEdge* e = partition.cell_begin(member); e != end; ++e) take(*e);
    }
    return m.count;
}

inline bool is_visited(const GroupWorkspace::Node& node) { return (node.stamp & GroupWorkspace::VISITED) != 0; }

// next_unvisited for a vertex of more than two neighbours, out of line:
// only a partition unlike those built from stones has one (see
// vertex_beyond for the figure).
[[gnu::noinline]] std::uint32_t next_unvisited_of_many(const GroupWorkspace& ws, std::uint32_t vertex,
                                                       std::uint32_t none) {
    const GroupWorkspace::Node* const nodes = ws.nodes.data();
    for (const std::uint32_t a : nodes[vertex].near) {
        if (!is_visited(nodes[a])) return a;
    }
    for (std::uint32_t entry = ws.more[vertex].first; entry != 0; entry = ws.links[entry - 1].next) {
        const std::uint32_t a = ws.links[entry - 1].to;
        if (!is_visited(nodes[a])) return a;
    }
    return none;
}

// The first neighbour of `vertex` not yet visited, or `none`. Branches, not
// selects: the trace goes from vertex to vertex, and a predicted branch lets
// the next steps start before the visited marks are read, where selects
// would wait for them at every step.
inline std::uint32_t next_unvisited(const GroupWorkspace& ws, std::uint32_t vertex, std::uint32_t none) {
    const GroupWorkspace::Node* const nodes = ws.nodes.data();
    const GroupWorkspace::Node& node = nodes[vertex];
    const std::uint32_t degree = static_cast<std::uint32_t>(node.stamp) & ~GroupWorkspace::VISITED;
    if (degree > 2) [[unlikely]] return next_unvisited_of_many(ws, vertex, none);
    if (degree > 0 && !is_visited(nodes[node.near[0]])) return node.near[0];
    if (degree > 1 && !is_visited(nodes[node.near[1]])) return node.near[1];
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
    const std::uint32_t* const order = ws.order.data();
    const std::size_t known = cc.size();
    // No vertex is numbered this: there are fewer nodes.
    const auto none = static_cast<std::uint32_t>(-1);
    std::uint32_t len = 0;
    // Vertices visited so far: once all are, no trace is left to start.
    std::uint32_t seen = 0;
    for (std::uint32_t k = 0; seen < vertices; ++k) {
        if (is_visited(nodes[order[k]])) continue;
        const std::uint32_t begin = len;
        const std::uint32_t before = seen;
        std::uint32_t r = order[k];
        do {
            GroupWorkspace::Node& node = nodes[r];
            node.stamp |= GroupWorkspace::VISITED;
            ++seen;
            if (r < known) pts[len++] = cc[r];
            r = next_unvisited(ws, r, none);
        } while (r != none);
        if (seen - before >= 3) {
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
// The points are taken a run at a time: a run inside is copied whole after
// the crossing into it, a run outside gives the crossing out of the run
// before it.
template <Bound bound>
std::size_t clip_pass(const Point*& in, std::size_t len, std::vector<Point>& out, double b) {
    const Point* const src = in;
    std::size_t i = 0;
    while (i < len && inside(bound, src[i], b)) ++i;
    if (i == len) return len;
    if (out.size() < 2 * len) out.resize(2 * len);
    Point* const dst = out.data();
    std::size_t written = 0;
    // The run inside that opens the ring, entered from the last point.
    if (i > 0) {
        if (!inside(bound, src[len - 1], b)) dst[written++] = crossing(bound, src[len - 1], src[0], b);
        for (std::size_t k = 0; k < i; ++k) dst[written++] = src[k];
    }
    // From here on each outside run is followed by an inside run, and the
    // point before an outside run is inside unless it is the first point's
    // predecessor, the last point.
    while (i < len) {
        const Point& before = i > 0 ? src[i - 1] : src[len - 1];
        if (inside(bound, before, b)) dst[written++] = crossing(bound, before, src[i], b);
        ++i;
        while (i < len && !inside(bound, src[i], b)) ++i;
        if (i == len) break;
        const std::size_t run = i;
        dst[written++] = crossing(bound, src[i - 1], src[i], b);
        ++i;
        while (i < len && inside(bound, src[i], b)) ++i;
        for (std::size_t k = run; k < i; ++k) dst[written++] = src[k];
    }
    in = dst;
    return written;
}

// The traced rings clipped to the board square one side at a time, written
// over `rings`, whose rings are refilled in their storage; a ring left with
// fewer than three points goes. Each ring has room for its closing point.
void clip_rings(double board_size, GroupWorkspace& ws, std::vector<Ring>& rings) {
    rings.reserve(ws.ring_ends.size());
    std::size_t used = 0;
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
        Ring& ring = used < rings.size() ? rings[used] : rings.emplace_back();
        ++used;
        ring.reserve(len + 1);
        ring.assign(in, in + len);
    }
    rings.erase(rings.begin() + static_cast<std::ptrdiff_t>(used), rings.end());
}

// The members' stones ascending by id into `out`; equal ids keep member
// order. A sort
// that breaks ties by position is the stable sort, without the buffer that
// std::stable_sort allocates.
void member_stones(const std::vector<Stone>& stones, const std::size_t* members, std::size_t member_count,
                   GroupWorkspace& ws, std::vector<Stone>& out) {
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
    out.clear();
    out.reserve(order.size());
    for (const std::size_t i : order) out.push_back(stones[members[i]]);
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

void build_group_into(const VoronoiPartition& partition, double board_size, const std::vector<Stone>& stones,
                      const std::vector<std::size_t>& labels, const std::size_t* members, std::size_t member_count,
                      Color color, GroupWorkspace& ws, Group& group, const GroupHints& hints) {
    group.color = color;
    if (member_count == 0) {
        group.stones.clear();
        group.rings.clear();
        return;
    }
    const std::uint32_t vertices = collect_boundary(partition, labels, members, member_count, hints, ws);
    trace_rings(partition.circumcentres, vertices, ws);
    clip_rings(board_size, ws, group.rings);
    if (hints.ascending != nullptr) {
        group.stones.clear();
        group.stones.reserve(member_count);
        for (std::size_t i = 0; i < member_count; ++i) group.stones.push_back(stones[hints.ascending[i]]);
    } else {
        member_stones(stones, members, member_count, ws, group.stones);
    }
    order_rings(group.rings, ws);
}

Group build_group(const VoronoiPartition& partition, double board_size, const std::vector<Stone>& stones,
                  const std::vector<std::size_t>& labels, const std::vector<std::size_t>& members,
                  Color color) {
    GroupWorkspace ws;
    Group group;
    build_group_into(partition, board_size, stones, labels, members.data(), members.size(), color, ws, group);
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
