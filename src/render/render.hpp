// The SVG picture of a position.
#pragma once

#include <string>

namespace cellvane {

class Board;

// A standalone SVG document of the board's position.
std::string dump_svg(const Board& board);

}  // namespace cellvane
