// Group territories: tracing the boundary of a group's Voronoi cells into
// rings and clipping them to the board square.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "analysis/analysis.hpp"
#include "analysis/partition.hpp"

namespace cellvane {

// Builds the group whose members are the stone indices `members`, in the
// order the labelling visited them; `labels` holds every stone's group
// number, and the members' number is the group's.
Group build_group(const VoronoiPartition& partition, double board_size, const std::vector<Stone>& stones,
                  const std::vector<std::size_t>& labels, const std::vector<std::size_t>& members,
                  Color color);

// Buffers of the ring tracing, kept between groups and between analyses.
// A boundary vertex's node sits at its circumcentre index and carries the
// generation (the group being traced) that last met it, so nothing is
// cleared between groups; the vertices are listed in the order first met.
struct GroupWorkspace {
    struct Node {
        // The generation that last met the vertex in the high 32 bits, and
        // in the low 32 the neighbours attached, with VISITED set once the
        // trace has passed the vertex; the low half is read only in the
        // node's generation. When the generation count wraps, every
        // node's stamp is cleared.
        std::uint64_t stamp;
        std::uint32_t near[2];  // the first two neighbours, in the order attached
    };
    static constexpr std::uint32_t VISITED = std::uint32_t{1} << 31;
    // A neighbour past a vertex's second. A circumcentre index names a
    // triangle, and a group's boundary crosses none or two of its sides, so
    // only a partition unlike those built from stones gives a vertex more.
    struct Link {
        std::uint32_t to = 0;    // vertex
        std::uint32_t next = 0;  // next entry of the same vertex + 1, or 0
    };
    // A vertex's list of neighbours past the second, apart from its node so
    // that the nodes stay small: read only for a vertex that has them.
    struct More {
        std::uint32_t first = 0;  // entry of the third neighbour + 1
        std::uint32_t last = 0;   // entry of the last neighbour past the second + 1
    };
    std::uint32_t generation = 0;
    // By circumcentre index; then, from the partition's circumcentre count
    // on, the vertices at indices past it, numbered as first met.
    std::vector<Node> nodes;
    std::unordered_map<std::size_t, std::uint32_t> beyond;  // indices past the circumcentres
    std::vector<std::uint32_t> order;  // vertices in the order first met
    std::vector<Link> links;
    std::vector<More> more;  // by vertex, as long as the nodes once a vertex needs it
    std::vector<Point> points;             // the traced rings' points, ring after ring
    std::vector<std::uint32_t> ring_ends;  // where each traced ring's points end
    std::vector<Point> work;   // the clipping passes write here and
    std::vector<Point> spare;  // here by turns
    std::vector<Ring> rings;   // the rings in area order, moved through here
    std::vector<double> areas;
    std::vector<std::size_t> by_area;
    std::vector<std::size_t> members;
};

// What the labelling already knows of a group, to spare build_group_into
// work.
struct GroupHints {
    // The members by ascending index, when the stones' ids strictly ascend:
    // the group's stones are then read in that order instead of being sorted
    // by id.
    const std::size_t* ascending = nullptr;
    // The members' cell edges that may lie on the group's boundary, member
    // after member in member order, each member's in cell order: all of
    // them but some shared with a stone of the group. Null: every cell edge
    // of the members.
    const CellEdge* const* edges = nullptr;
    std::size_t edge_count = 0;
};

// build_group with the member list given as a range and the buffers in `ws`,
// written over `group`, so that the caller's list of groups can hold it from
// the start: whatever stones and rings it held are replaced, their storage
// reused.
void build_group_into(const VoronoiPartition& partition, double board_size, const std::vector<Stone>& stones,
                      const std::vector<std::size_t>& labels, const std::size_t* members, std::size_t member_count,
                      Color color, GroupWorkspace& ws, Group& group, const GroupHints& hints = {});

// Area enclosed by one ring (closed or not), whatever its orientation.
double enclosed_area(const Ring& ring);
// Whether (x, y) lies inside one ring, whatever its orientation.
bool ring_contains(const Ring& ring, double x, double y);

}  // namespace cellvane
