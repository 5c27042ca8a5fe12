// The board's invariants, checked on demand in a fixed order.
#pragma once

#include <optional>
#include <string>

namespace cellvane {

class Board;

// The message of the first invariant that does not hold, or nothing. Work
// told to stop (core's StopCheck) answers nothing at once: its answer says
// nothing about the board.
std::optional<std::string> validate(const Board& board);

}  // namespace cellvane
