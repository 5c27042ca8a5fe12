// The SVG pictures of a position: the engine's fixed text, and the picture
// for people.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cellvane {

class Board;

// A standalone SVG document of the board's position. Its text is fixed: the
// same position always gives the same characters. Work told to stop (core's
// StopCheck) answers an unfinished document.
std::string dump_svg(const Board& board);

// What the picture for people shows besides the board, its edge, the
// stones and the mark on the last placed stone.
struct PictureOptions {
    double size = 480.0;       // width and height in pixels
    bool hatch = true;         // the area no stone could ever cover
    bool territory = true;     // each group's territory in its own colour
    bool labels = true;        // each stone labelled with its group
    bool coordinates = true;   // board coordinates along the edges
    std::vector<std::uint32_t> highlighted;  // stones ringed, by id
};

// The picture for people: sized in pixels, drawn in board units. Every id
// in it is new to the process, so any number of pictures share one page.
std::string picture(const Board& board, const PictureOptions& options);

}  // namespace cellvane
