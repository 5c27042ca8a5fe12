// Internals of the liveness test, reachable from tests.
#pragma once

#include "analysis/analysis.hpp"

namespace cellvane {

// Whether clearance(zone, p, q) <= limit, stopping at the first measure that
// decides and passing over circles too far away to decide.
bool clearance_within(const AliveZone& zone, Point p, Point q, double limit);

}  // namespace cellvane
