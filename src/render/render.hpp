// The SVG picture of a position.
#pragma once

#include <string>

namespace cellvane {

class Board;

// A standalone SVG document of the board's position. Work told to stop
// (core's StopCheck) answers an unfinished document.
std::string dump_svg(const Board& board);

}  // namespace cellvane
