// The board's invariants, checked on demand in a fixed order.
#pragma once

#include <optional>
#include <string>

namespace cellvane {

class Board;

// The message of the first invariant that does not hold, or nothing.
std::optional<std::string> validate(const Board& board);

}  // namespace cellvane
