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
// Boundary vertices are numbered in the order they are first met; a
// circumcentre index maps to that number through a flat table of slots that
// carry the generation (the group being traced) beside the number, so
// nothing is cleared between groups. The vertex arrays are sized once for
// the largest group a partition can have and written in place.
struct GroupWorkspace {
    struct Node {
        std::uint32_t near[2];  // the first two neighbours, in the order attached
        std::uint32_t degree;   // neighbours attached
        std::uint32_t more;     // entry of the third neighbour + 1, or 0
        std::uint32_t last;     // entry of the last neighbour past the second + 1, or 0
        bool visited;
    };
    // A neighbour past a vertex's second, rare: only where four or more
    // cells meet at one circumcentre index.
    struct Link {
        std::uint32_t to = 0;    // vertex number
        std::uint32_t next = 0;  // next entry of the same vertex + 1, or 0
    };
    std::uint32_t generation = 0;
    std::vector<std::uint64_t> slot;  // by circumcentre index: generation << 32 | vertex number
    std::unordered_map<std::size_t, std::uint32_t> beyond;  // indices past the table
    std::vector<std::size_t> vertex;  // circumcentre index by vertex number
    std::vector<Node> nodes;          // by vertex number
    std::vector<Link> links;
    std::vector<Point> points;             // the traced rings' points, ring after ring
    std::vector<std::uint32_t> ring_ends;  // where each traced ring's points end
    std::vector<Point> work;
    std::vector<Point> spare;
    std::vector<Ring> rings;
    std::vector<double> areas;
    std::vector<std::size_t> by_area;
    std::vector<std::size_t> members;
};

// build_group with the member list given as a range and the buffers in `ws`.
// `ascending`, when given, holds the same members by ascending index, and the
// stones' ids strictly ascend: the group's stones are then read in that order
// instead of being sorted by id.
Group build_group_into(const VoronoiPartition& partition, double board_size, const std::vector<Stone>& stones,
                       const std::vector<std::size_t>& labels, const std::size_t* members, std::size_t member_count,
                       Color color, GroupWorkspace& ws, const std::size_t* ascending = nullptr);

// Area enclosed by one ring (closed or not), whatever its orientation.
double enclosed_area(const Ring& ring);
// Whether (x, y) lies inside one ring, whatever its orientation.
bool ring_contains(const Ring& ring, double x, double y);

}  // namespace cellvane
