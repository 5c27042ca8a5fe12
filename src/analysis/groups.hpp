// Group territories: tracing the boundary of a group's Voronoi cells into
// rings and clipping them to the board square.
#pragma once

#include <cstddef>
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

// Area enclosed by one ring (closed or not), whatever its orientation.
double enclosed_area(const Ring& ring);

}  // namespace cellvane
