// Groups and territory: the position analysis computed once per board state
// (Voronoi partition of the stone centres, groups, territory rings and
// areas) and the liveness test behind dead stones and captures.
//
// Plain C++: no Python, no exceptions.
#pragma once

#include <cstdint>
#include <vector>

#include "core/core.hpp"
#include "zone/zone.hpp"

namespace cellvane {

// The groups of a position. `stones` ascending by id, every centre on the board.
PositionAnalysis analyse(double board_size, const std::vector<Stone>& stones);
// The same groups written over `out`, whatever it held: its lists, groups,
// stone lists and rings keep their storage and are refilled in place, so an
// analysis into a previous result allocates only where it outgrows it.
void analyse_into(double board_size, const std::vector<Stone>& stones, PositionAnalysis& out);

double area(const std::vector<Ring>& rings);
bool territory_contains(const std::vector<Ring>& rings, double x, double y);

// Stones of `color` whose group is dead, group after group.
std::vector<Stone> dead_stones(const PositionAnalysis& analysis, const AliveZone& zone, Color color);

// The liveness verdicts on the trial position of a move by `mover`: the
// opponent's stones whose group is dead, group after group, and, only when
// there are none, whether some group of the mover's own is dead (the move
// would capture itself). One reading of the zone serves both questions.
struct MoveLiveness {
    std::vector<Stone> captured;
    bool self_capture = false;
};
MoveLiveness judge_move(const PositionAnalysis& analysis, const AliveZone& zone, Color mover);

}  // namespace cellvane
