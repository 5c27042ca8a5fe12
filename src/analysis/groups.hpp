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
// circumcentre index maps to that number through a flat table stamped with
// the group being traced, so nothing is cleared between groups.
struct GroupWorkspace {
    struct Node {
        std::uint32_t head = 0;  // first adjacency entry + 1, or 0
        std::uint32_t tail = 0;  // last adjacency entry + 1, or 0
        bool visited = false;
    };
    struct Link {
        std::uint32_t to = 0;    // vertex number
        std::uint32_t next = 0;  // next entry of the same vertex + 1, or 0
    };
    std::uint64_t generation = 0;
    std::vector<std::uint64_t> stamp;  // by circumcentre index
    std::vector<std::uint32_t> number;  // by circumcentre index, valid when stamped
    std::unordered_map<std::size_t, std::uint32_t> beyond;  // indices past the table
    std::vector<std::size_t> vertex;  // circumcentre index by vertex number
    std::vector<Node> nodes;          // by vertex number
    std::vector<Link> links;
    std::vector<std::uint32_t> ring_vertices;
    std::vector<std::size_t> ring_ends;
    std::vector<Point> points;
    std::vector<Point> work;
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
