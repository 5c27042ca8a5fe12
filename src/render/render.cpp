// The SVG picture of a position: the alive-zone geometry (used as a mask for
// the hatch over dead area), one filled path per drawable group, the stones,
// and every stone labelled with its group's name.
#include "render/render.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/core.hpp"
#include "analysis/analysis.hpp"
#include "engine/engine.hpp"
#include "zone/zone.hpp"
#include "render/labels.hpp"
#include "render/parts.hpp"

namespace cellvane {
namespace render_detail {

void append_group_label(std::string& out, Color color, std::size_t number) {
    if (color == Color::Black) {
        char buf[24];
        auto r = std::to_chars(buf, buf + sizeof buf, number + 1);
        out.append(buf, r.ptr);
        return;
    }
    out.push_back(static_cast<char>('A' + number % 26));
    if (number > 25) out.push_back(static_cast<char>('A' + (number / 26 - 1) % 26));
}

std::string group_label(Color color, std::size_t number) {
    std::string out;
    append_group_label(out, color, number);
    return out;
}

}  // namespace render_detail

namespace {

using render_detail::append_group_path;
using render_detail::append_opening_at;
using render_detail::append_stone;
using render_detail::append_stone_label;
using render_detail::Colour;
using render_detail::Colours;
using render_detail::for_each_drawn_group;
using render_detail::NOT_DRAWN;
using render_detail::StonePaint;

constexpr std::string_view kDarkPalette[24] = {
    "#003257", "#22136a", "#003b2e", "#003941", "#2d0d67", "#063400", "#3a045e", "#001f6c",
    "#1f434d", "#383b55", "#1f453f", "#1c4446", "#3d3953", "#344229", "#433750", "#2f3e55",
    "#000c4b", "#1a0065", "#002116", "#001d2f", "#1f0060", "#001900", "#270054", "#0a0067",
};
constexpr std::string_view kLightPalette[24] = {
    "#ffdb00", "#ff9dd4", "#ffb60b", "#ffa19d", "#ffc100", "#ffa57f", "#ffce00", "#ffae52",
    "#ffd687", "#ffbfd0", "#ffc99c", "#ffc1bb", "#ffcd92", "#ffc3b0", "#ffd18c", "#ffc6a4",
    "#aa8544", "#be7381", "#bb7b56", "#bf7570", "#b77e4e", "#bf7667", "#b18248", "#bd785d",
};

constexpr StonePaint kBlackStone{"#2e2e35", "#868688"};
constexpr StonePaint kWhiteStone{"#ddddd5", "#696966"};

bool is_drawable(const Group& g) {
    if (g.stones.empty()) return false;
    return std::any_of(g.rings.begin(), g.rings.end(), [](const Ring& r) { return !r.empty(); });
}

// Numbers of one colour's groups: drawable groups 0, 1, 2, ... in ascending
// seed (first stone id) order; NOT_DRAWN for the others.
std::vector<std::size_t> number_groups(const std::vector<Group>& groups) {
    std::vector<std::pair<std::uint32_t, std::size_t>> seeds;
    seeds.reserve(groups.size());
    for (std::size_t i = 0; i < groups.size(); ++i) {
        if (is_drawable(groups[i])) seeds.emplace_back(groups[i].stones.front().id, i);
    }
    std::sort(seeds.begin(), seeds.end());
    std::vector<std::size_t> numbers(groups.size(), NOT_DRAWN);
    for (std::size_t k = 0; k < seeds.size(); ++k) numbers[seeds[k].second] = k;
    return numbers;
}

void append_xy_fixed(std::string& out, double x, double y, char sep) {
    append_fixed(out, x);
    out.push_back(sep);
    append_fixed(out, y);
}

void append_piece(std::string& out, const SegmentGeometry& geometry) {
    if (const auto* line = std::get_if<LineSeg>(&geometry)) {
        out.append("M ");
        append_xy_fixed(out, line->from.x, line->from.y, ',');
        out.append(" L ");
        append_xy_fixed(out, line->to.x, line->to.y, ',');
        return;
    }
    const ArcSeg& arc = std::get<ArcSeg>(geometry);
    const double r = arc.radius;
    const double x0 = arc.centre.x + r * std::cos(arc.start);
    const double y0 = arc.centre.y + r * std::sin(arc.start);
    const double x1 = arc.centre.x + r * std::cos(arc.end);
    const double y1 = arc.centre.y + r * std::sin(arc.end);
    double sweep = arc.end - arc.start;
    if (sweep < 0.0) sweep += TWO_PI;
    out.append("M ");
    append_xy_fixed(out, x0, y0, ',');
    out.append(" A ");
    append_xy_fixed(out, r, r, ',');
    out.append(sweep > PI ? " 0 1 1 " : " 0 0 1 ");
    append_xy_fixed(out, x1, y1, ',');
}

// The exposed segments of every shape, ascending by shape and in list order,
// as one path line; nothing when no segment is exposed.
void append_alive_zone_path(std::string& out, const AliveZone& zone) {
    bool any = false;
    StopPoll stop(64);
    for (const SegmentGeometry& geometry : zone.exposed_segments()) {
        if (stop()) break;
        out.append(any ? " " : "<path d=\"");
        any = true;
        append_piece(out, geometry);
    }
    if (any) out.append("\" />\n");
}

std::size_t estimated_length(const Board& board, const PositionAnalysis& analysis) {
    std::size_t n = 1600;
    const AliveZone& zone = board.alive_zone();
    n += std::min<std::size_t>(zone.segment_count(), std::size_t{1} << 20) * 100;
    n += zone.forced_eyes().size() * 64;
    for (const auto* groups : {&analysis.black, &analysis.white}) {
        for (const Group& g : *groups) {
            n += 80 + g.stones.size() * 260;
            for (const Ring& r : g.rings) n += 8 + r.size() * 40;
        }
    }
    return n;
}

// The opening tag: the board square in user units.
void append_svg_open(std::string& out, const std::string& size) {
    out.append("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"");
    out.append(size);
    out.append("\" height=\"");
    out.append(size);
    out.append("\" viewBox=\"0 0 ");
    out.append(size);
    out.push_back(' ');
    out.append(size);
    out.append("\">\n");
}

// A rectangle over the whole board, its further attributes given by `rest`.
void append_board_rect(std::string& out, const std::string& size, std::string_view rest) {
    out.append("<rect width=\"");
    out.append(size);
    out.append("\" height=\"");
    out.append(size);
    out.append(rest);
}

// The alive zone as a reusable group: the exposed segments, then a disc for
// every forced eye.
void append_alive_zone_geometry(std::string& out, const AliveZone& zone) {
    out.append(
        "<g id=\"alive-zone-geometry\" stroke-width=\"inherit\" stroke-linecap=\"round\" "
        "stroke-linejoin=\"round\" fill=\"inherit\" stroke=\"inherit\">\n");
    append_alive_zone_path(out, zone);
    for (const auto& entry : zone.forced_eyes()) {
        append_opening_at(out, "<circle cx=\"", entry.second, "\" cy=\"");
        out.append("\" r=\"1\" stroke=\"none\"/>\n");
    }
    out.append("</g>\n");
}

// The definitions: the alive-zone geometry, the hatch pattern, and the mask
// that leaves the hatch only outside the alive zone.
void append_defs(std::string& out, const std::string& size, const AliveZone& zone) {
    out.append("<defs>\n");
    append_alive_zone_geometry(out, zone);
    out.append(
        "<pattern id=\"deadzone-hatch\" patternUnits=\"userSpaceOnUse\" width=\"0.4\" "
        "height=\"0.4\" patternTransform=\"rotate(-45)\">\n"
        "<rect width=\"0.2\" height=\"0.4\" fill=\"#808080\" fill-opacity=\"0.75\"/>\n"
        "<rect x=\"0.2\" width=\"0.2\" height=\"0.4\" fill=\"#808080\" fill-opacity=\"0.5\"/>\n"
        "</pattern>\n"
        "<mask id=\"deadzone-mask\">\n");
    append_board_rect(out, size, "\" fill=\"white\"/>\n");
    out.append(
        "<use href=\"#alive-zone-geometry\" fill=\"black\" stroke=\"black\" stroke-width=\"2\"/>\n"
        "</mask>\n"
        "</defs>\n");
}

}  // namespace

namespace render_detail {

Colours::Colours(const PositionAnalysis& analysis)
    : of{{&analysis.black, number_groups(analysis.black), kDarkPalette, kBlackStone, Color::Black},
         {&analysis.white, number_groups(analysis.white), kLightPalette, kWhiteStone, Color::White}} {}

void append_opening_at(std::string& out, std::string_view open, Point p, std::string_view between) {
    out.append(open);
    append_plain(out, p.x);
    out.append(between);
    append_plain(out, p.y);
}

void append_group_path(std::string& out, const Group& group, std::string_view fill) {
    out.append("<path d=\"");
    bool first_ring = true;
    for (const Ring& ring : group.rings) {
        if (ring.empty()) continue;
        if (!first_ring) out.push_back(' ');
        first_ring = false;
        out.append("M ");
        append_xy_fixed(out, ring.front().x, ring.front().y, ' ');
        for (std::size_t i = 1; i < ring.size(); ++i) {
            out.append(" L ");
            append_xy_fixed(out, ring[i].x, ring[i].y, ' ');
        }
        out.append(" Z");
    }
    out.append("\" fill=\"");
    out.append(fill);
    out.append("\" fill-rule=\"evenodd\"/>\n");
}

void append_stone(std::string& out, const Stone& stone, const StonePaint& paint) {
    append_opening_at(out, "<circle cx=\"", stone.position, "\" cy=\"");
    out.append("\" r=\"0.95\" fill=\"");
    out.append(paint.fill);
    out.append("\" stroke=\"");
    out.append(paint.stroke);
    out.append("\" stroke-width=\"0.1\"/>\n");
}

void append_stone_label(std::string& out, const Stone& stone, const Colour& c, std::size_t number) {
    append_opening_at(out, "<text x=\"", stone.position, "\" y=\"");
    out.append("\" dy=\"0.33em\" text-anchor=\"middle\" font-size=\"0.9\" font-weight=\"700\" fill=\"");
    out.append(c.stone.stroke);
    out.append("\">");
    render_detail::append_group_label(out, c.color, number);
    out.append("</text>\n");
}

}  // namespace render_detail

std::string dump_svg(const Board& board) {
    const PositionAnalysis& analysis = board.analysis();

    std::string out;
    out.reserve(estimated_length(board, analysis));

    std::string size;
    append_plain(size, board.board_size());

    append_svg_open(out, size);
    append_defs(out, size, board.alive_zone());

    const Colours colours(analysis);
    for_each_drawn_group(colours, [&](const Colour& c, const Group& group, std::size_t number) {
        append_group_path(out, group, c.palette[number % 24]);
    });
    append_board_rect(out, size, "\" fill=\"url(#deadzone-hatch)\" mask=\"url(#deadzone-mask)\"/>\n");
    for_each_drawn_group(colours, [&](const Colour& c, const Group& group, std::size_t) {
        for (const Stone& stone : group.stones) append_stone(out, stone, c.stone);
    });
    for_each_drawn_group(colours, [&](const Colour& c, const Group& group, std::size_t number) {
        for (const Stone& stone : group.stones) append_stone_label(out, stone, c, number);
    });
    out.append("</svg>\n");
    return out;
}

}  // namespace cellvane
