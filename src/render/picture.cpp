// The picture for people: the board drawn in board units inside a picture
// sized in pixels, with its edge, coordinates along the edges, the groups'
// territories, the area no stone could ever cover hatched, the stones with
// their groups' labels, rings round highlighted stones and a mark on the
// last placed stone.
//
// The hatch covers exactly the points farther than one stone radius from
// every placeable position. Its mask is white over the board and black over
// the alive zone widened by a stone radius: the zone's boundary loops filled
// (even-odd) and stroked 2 wide with round joins, which covers every point
// within 1 of the boundary, and a disc of radius 1 round every forced eye.
#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "core/core.hpp"
#include "analysis/analysis.hpp"
#include "engine/engine.hpp"
#include "zone/zone.hpp"
#include "render/parts.hpp"
#include "render/render.hpp"

namespace cellvane {
namespace {

using render_detail::append_opening_at;

// ------------------------------------------------------------------ ids

// Mixes the bits of a 64-bit value (the finaliser of SplitMix64).
std::uint64_t mixed(std::uint64_t h) {
    h ^= h >> 30;
    h *= 0xBF58476D1CE4E5B9ULL;
    h ^= h >> 27;
    h *= 0x94D049BB133111EBULL;
    h ^= h >> 31;
    return h;
}

// Where this process's count of pictures starts: drawn from the clocks and
// from where the program was loaded, so that pictures made by different
// processes (put on one page by a host) do not share ids either.
std::uint64_t first_picture_number() {
    static const int here = 0;
    const auto wall = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    const auto steady = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return mixed(wall ^ mixed(steady ^ mixed(reinterpret_cast<std::uintptr_t>(&here))));
}

// A prefix no other picture of this process has: "cv" and a number from a
// count shared by every thread.
std::string new_id_prefix() {
    static std::atomic<std::uint64_t> next{first_picture_number()};
    const std::uint64_t n = next.fetch_add(1, std::memory_order_relaxed);
    char buf[24] = "cv";
    const auto r = std::to_chars(buf + 2, buf + sizeof buf, n, 16);
    return std::string(buf, r.ptr);
}

// -------------------------------------------------------------- writing

// ` name="value"` with the value in plain form.
void append_attribute(std::string& out, std::string_view name, double value) {
    out.push_back(' ');
    out.append(name);
    out.append("=\"");
    append_plain(out, value);
    out.push_back('"');
}

void append_point(std::string& out, Point p) {
    append_plain(out, p.x);
    out.push_back(',');
    append_plain(out, p.y);
}

// A circle at c of radius r, its further attributes in `rest` (which closes
// the element).
void append_circle(std::string& out, Point c, double r, std::string_view rest) {
    append_opening_at(out, "<circle cx=\"", c, "\" cy=\"");
    out.push_back('"');
    append_attribute(out, "r", r);
    out.append(rest);
}

// A rectangle from (x, y), w by h, its further attributes in `rest`.
void append_rect(std::string& out, double x, double y, double w, double h, std::string_view rest) {
    out.append("<rect");
    append_attribute(out, "x", x);
    append_attribute(out, "y", y);
    append_attribute(out, "width", w);
    append_attribute(out, "height", h);
    out.append(rest);
}

// The arc of a loop piece to its end. SVG draws an arc from its two ends,
// its radius and which of the two possible arcs it is; past half a turn the
// arc goes in two halves, so that ends close together (a circle that barely
// crosses a line) never leave a renderer to tell the two arcs apart.
void append_arc(std::string& out, const LoopPiece& piece) {
    const Circle& c = *piece.circle;
    auto arc_to = [&](Point p) {
        out.append(" A ");
        append_plain(out, c.radius);
        out.push_back(',');
        append_plain(out, c.radius);
        out.append(" 0 0 1 ");
        append_point(out, p);
    };
    if (piece.sweep > PI) {
        const double middle = angle_about(c.centre, piece.from) + piece.sweep * 0.5;
        arc_to({c.centre.x + c.radius * std::cos(middle), c.centre.y + c.radius * std::sin(middle)});
    }
    arc_to(piece.to);
}

// The loops as one path text: each loop a closed subpath on a line of its
// own, so that a loop that stays as it was from one turn to the next keeps
// its line (the viewer page stores each distinct line once).
void append_loops(std::string& out, const std::vector<BoundaryLoop>& loops) {
    bool first = true;
    for (const BoundaryLoop& loop : loops) {
        out.append(first ? "M " : "\nM ");
        first = false;
        append_point(out, loop.front().from);
        for (const LoopPiece& piece : loop) {
            if (piece.circle) {
                append_arc(out, piece);
            } else {
                out.append(" L ");
                append_point(out, piece.to);
            }
        }
        out.append(" Z");
    }
}

// -------------------------------------------------------------- layout

// The picture's frame in board units: the board square [0, s] x [0, s] and a
// margin round it. Decorations that belong to the picture rather than to a
// stone (the edge, the coordinates, the hatch) scale with `unit`, one
// eighteenth of the board, so every board looks alike at any size.
struct Frame {
    double s = 0.0;
    double unit = 0.0;
    double margin = 0.0;
};

// The step between coordinates along an edge: 1, 2 or 5 times a power of ten,
// as `times` and the power's exponent.
struct Step {
    double times = 1.0;
    int exponent = 0;
    // The k-th coordinate, as the decimal it stands for.
    double at(int k) const {
        const double t = static_cast<double>(k) * times;
        return exponent >= 0 ? t * std::pow(10.0, exponent) : t / std::pow(10.0, -exponent);
    }
    // The next larger step: 1, 2, 5, 10, 20, ...
    Step next() const { return times == 5.0 ? Step{1.0, exponent + 1} : Step{times == 1.0 ? 2.0 : 5.0, exponent}; }
};

// The smallest step that puts at most ten steps along the edge and leaves
// room between two coordinates for the longest one (in units of `unit`,
// where a digit of the coordinates' font is about 0.3 wide).
Step coordinate_step(const Frame& f) {
    Step step{1.0, static_cast<int>(std::floor(std::log10(f.s / 10.0)))};
    while (step.at(1) < f.s / 10.0) step = step.next();
    auto room_for_text = [&](const Step& st) {
        std::string longest;
        append_plain(longest, st.at(static_cast<int>(std::floor(f.s / st.at(1)))));
        return st.at(1) / f.unit >= 0.32 * static_cast<double>(longest.size()) + 0.4;
    };
    for (int tries = 0; tries < 8 && !room_for_text(step); ++tries) step = step.next();
    return step;
}

// Coordinates along all four edges, with a tick at each.
void append_coordinates(std::string& out, const Frame& f) {
    const Step step = coordinate_step(f);
    std::vector<double> at;
    for (int k = 0; k <= 10 && step.at(k) <= f.s; ++k) at.push_back(step.at(k));
    const double tick = 0.25 * f.unit;
    // Each tick: where it meets the edge, and its length outwards.
    struct Tick {
        Point at;
        Point outwards;
    };
    out.append("<path d=\"");
    for (const double v : at) {
        for (const Tick t : {Tick{{v, 0.0}, {0.0, -tick}}, Tick{{v, f.s}, {0.0, tick}}, Tick{{0.0, v}, {-tick, 0.0}},
                             Tick{{f.s, v}, {tick, 0.0}}}) {
            out.append("M ");
            append_point(out, t.at);
            out.append(" l ");
            append_point(out, t.outwards);
            out.push_back(' ');
        }
    }
    out.pop_back();
    out.append("\" stroke=\"#4a4a4a\"");
    append_attribute(out, "stroke-width", 0.04 * f.unit);
    // The text is laid out in units of `unit`, so that its font size is the
    // same small number on every board (text renderers refuse huge ones).
    out.append("/>\n<g transform=\"scale(");
    append_plain(out, f.unit);
    out.append(")\" font-family=\"sans-serif\" font-size=\"0.5\" text-anchor=\"middle\" fill=\"#4a4a4a\">\n");
    const double near = -0.6;
    const double far = f.s / f.unit + 0.6;
    for (const double v : at) {
        const double w = v / f.unit;
        for (const Point p : {Point{w, near}, Point{w, far}, Point{near, w}, Point{far, w}}) {
            append_opening_at(out, "<text x=\"", p, "\" y=\"");
            out.append("\" dy=\"0.35em\">");
            append_plain(out, v);
            out.append("</text>\n");
        }
    }
    out.append("</g>\n");
}

// The hatch pattern and the mask that keeps it to the area no stone could
// ever cover.
void append_hatch_defs(std::string& out, const Board& board, const Frame& f, const std::string& id) {
    const double w = 0.4 * f.unit;
    out.append("<defs>\n<pattern id=\"");
    out.append(id);
    out.append("-hatch\" patternUnits=\"userSpaceOnUse\"");
    append_attribute(out, "width", w);
    append_attribute(out, "height", w);
    out.append(" patternTransform=\"rotate(-45)\">\n");
    append_rect(out, 0.0, 0.0, w * 0.5, w, " fill=\"#808080\" fill-opacity=\"0.75\"/>\n");
    append_rect(out, w * 0.5, 0.0, w * 0.5, w, " fill=\"#808080\" fill-opacity=\"0.5\"/>\n");
    out.append("</pattern>\n<mask id=\"");
    out.append(id);
    out.append("-dead\" maskUnits=\"userSpaceOnUse\"");
    append_attribute(out, "x", 0.0);
    append_attribute(out, "y", 0.0);
    append_attribute(out, "width", f.s);
    append_attribute(out, "height", f.s);
    out.append(">\n");
    append_rect(out, 0.0, 0.0, f.s, f.s, " fill=\"white\"/>\n");
    const AliveZone& zone = board.alive_zone();
    const double far = f.s + (-1.0);
    // Below a board of 2 the shrunk square [1, s - 1] is empty and nothing is
    // placeable; at 2 exactly it is the one point (1, 1).
    if (far > 1.0) {
        const std::vector<BoundaryLoop> loops = boundary_loops(zone);
        if (!loops.empty()) {
            out.append("<path d=\"");
            append_loops(out, loops);
            out.append(
                "\" fill=\"black\" fill-rule=\"evenodd\" stroke=\"black\" stroke-width=\"2\" "
                "stroke-linejoin=\"round\" stroke-linecap=\"round\"/>\n");
        }
    } else if (far == 1.0) {
        append_circle(out, {1.0, 1.0}, STONE_RADIUS, " fill=\"black\"/>\n");
    }
    for (const auto& entry : zone.forced_eyes()) append_circle(out, entry.second, STONE_RADIUS, " fill=\"black\"/>\n");
    out.append("</mask>\n</defs>\n");
}

// ------------------------------------------------------------- the title

void append_fixed_1(std::string& out, double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 1);
    out.append(buf, r.ptr);
}

// "After 40 turns: White to play. Captures: Black 3, White 1. Territory:
// Black 160.2, White 163.8."
void append_title(std::string& out, const Board& board, const PositionAnalysis& analysis) {
    out.append("<title>After ");
    out.append(std::to_string(board.turn()));
    out.append(board.turn() == 1 ? " turn: " : " turns: ");
    if (board.status() == Status::Ended) {
        out.append("the game has ended");
    } else {
        out.append(board.color_to_move() == Color::Black ? "Black to play" : "White to play");
    }
    out.append(". Captures: Black ");
    out.append(std::to_string(board.captures(Color::Black)));
    out.append(", White ");
    out.append(std::to_string(board.captures(Color::White)));
    double area[2] = {-0.0, -0.0};
    for (const Group& g : analysis.black) area[0] += territory_area(g);
    for (const Group& g : analysis.white) area[1] += territory_area(g);
    out.append(". Territory: Black ");
    append_fixed_1(out, area[0]);
    out.append(", White ");
    append_fixed_1(out, area[1]);
    out.append(".</title>\n");
}

}  // namespace

std::string picture(const Board& board, const PictureOptions& options) {
    std::string out;
    out.append("<svg xmlns=\"http://www.w3.org/2000/svg\"");
    append_attribute(out, "width", options.size);
    append_attribute(out, "height", options.size);
    const double s = board.board_size();
    if (!(s > 0.0 && s < std::numeric_limits<double>::infinity())) {
        // A board with no area: nothing to draw.
        out.append(" viewBox=\"0 0 1 1\">\n</svg>\n");
        return out;
    }
    Frame f;
    f.s = s;
    f.unit = s / 18.0;
    f.margin = (options.coordinates ? 1.2 : 0.1) * f.unit;
    out.append(" viewBox=\"");
    append_plain(out, -f.margin);
    out.push_back(' ');
    append_plain(out, -f.margin);
    out.push_back(' ');
    append_plain(out, s + 2.0 * f.margin);
    out.push_back(' ');
    append_plain(out, s + 2.0 * f.margin);
    out.append("\">\n");

    const PositionAnalysis& analysis = board.analysis();
    const render_detail::Colours colours(analysis);
    append_title(out, board, analysis);
    const std::string id = options.hatch ? new_id_prefix() : std::string();
    if (options.hatch) append_hatch_defs(out, board, f, id);

    append_rect(out, -f.margin, -f.margin, s + 2.0 * f.margin, s + 2.0 * f.margin, " fill=\"#faf7ef\"/>\n");
    append_rect(out, 0.0, 0.0, s, s, " fill=\"#e9dfc4\"/>\n");
    if (options.territory) {
        render_detail::for_each_drawn_group(
            colours, [&](const render_detail::Colour& c, const Group& group, std::size_t number) {
                render_detail::append_group_path(out, group, c.palette[number % 24]);
            });
    }
    if (options.hatch) {
        append_rect(out, 0.0, 0.0, s, s, "");
        out.append(" fill=\"url(#" + id + "-hatch)\" mask=\"url(#" + id + "-dead)\"/>\n");
    }
    append_rect(out, 0.0, 0.0, s, s, " fill=\"none\" stroke=\"#4a4a4a\"");
    append_attribute(out, "stroke-width", 0.06 * f.unit);
    out.append("/>\n");
    if (options.coordinates) append_coordinates(out, f);

    // Rings round the highlighted stones, under the stones, so that they
    // show round each stone and never over a neighbour.
    std::vector<std::uint32_t> highlighted = options.highlighted;
    std::sort(highlighted.begin(), highlighted.end());
    for (const auto& [stone_id, stone] : board.stones_in_play()) {
        if (!std::binary_search(highlighted.begin(), highlighted.end(), stone_id)) continue;
        append_circle(out, stone.position, 1.15, " fill=\"none\" stroke=\"#1f77d0\" stroke-width=\"0.3\"/>\n");
    }
    for (const auto& entry : board.stones_in_play()) {
        const Stone& stone = entry.second;
        render_detail::append_stone(out, stone, colours.of[static_cast<int>(stone.color)].stone);
    }
    if (const std::optional<Stone> last = board.last_placed_stone()) {
        append_circle(out, last->position, 0.72, " fill=\"none\" stroke=\"#e0302a\" stroke-width=\"0.14\"/>\n");
    }
    if (options.labels) {
        render_detail::for_each_drawn_group(
            colours, [&](const render_detail::Colour& c, const Group& group, std::size_t number) {
                for (const Stone& stone : group.stones) render_detail::append_stone_label(out, stone, c, number);
            });
    }
    out.append("</svg>\n");
    return out;
}

}  // namespace cellvane
