// Helpers shared by the engine tests: building deltas and taking a complete,
// id-independent picture of a board to compare before and after a change.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <tuple>
#include <variant>
#include <vector>

#include "analysis/analysis.hpp"
#include "engine/engine.hpp"
#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"
#include "zone/zone.hpp"

namespace cellvane::testing {

inline Stone stone_at(std::uint32_t id, double x, double y, Color c) { return Stone{Point{x, y}, id, c}; }

inline GameDelta place(std::uint32_t id, double x, double y, Color c, std::vector<std::uint32_t> captured = {}) {
    return GameDelta{stone_at(id, x, y, c), std::move(captured)};
}

inline GameDelta pass_delta() { return GameDelta{}; }

inline bool same_point(Point a, Point b) { return folded_bits(a.x) == folded_bits(b.x) && folded_bits(a.y) == folded_bits(b.y); }

inline bool same_stone(const Stone& a, const Stone& b) {
    return a.id == b.id && a.color == b.color && same_point(a.position, b.position);
}

inline bool same_delta(const GameDelta& a, const GameDelta& b) {
    if (a.new_stone.has_value() != b.new_stone.has_value()) return false;
    if (a.new_stone && !same_stone(*a.new_stone, *b.new_stone)) return false;
    return a.captured_stone_ids == b.captured_stone_ids;
}

using StoneRow = std::tuple<std::uint32_t, std::uint32_t, double, double, int>;  // key, id, x, y, colour
using PieceRow = std::tuple<int, double, double, double, double, double, double>;
using SegmentRow = std::tuple<double, double, double, bool, std::size_t>;  // offset, start, off_board, coverers
using ShapeRow = std::tuple<int, double, double, double, std::vector<SegmentRow>>;  // kind, centre/side, radius

struct HistoryRow {
    GameDelta delta;
    std::vector<Point> taken_eyes;
    bool provisional = false;
};

// Everything a board exposes except revision and memos, written so that two
// alive zones compare equal when they hold the same outlines split at the
// same points, whatever ShapeIds and SegIds they were given.
struct Picture {
    std::vector<StoneRow> in_play;
    std::vector<StoneRow> captured;
    std::vector<std::pair<double, double>> forced_eyes;
    std::vector<std::uint32_t> dead_zone_ids;
    std::vector<PieceRow> exposed;
    std::vector<ShapeRow> shapes;
    std::vector<HistoryRow> history;
    std::uint32_t turn = 0;
    Status status = Status::Playing;
    std::uint32_t captures_black = 0;
    std::uint32_t captures_white = 0;
};

inline std::vector<StoneRow> stone_rows(const std::map<std::uint32_t, Stone>& stones) {
    std::vector<StoneRow> rows;
    for (const auto& [key, s] : stones) {
        rows.emplace_back(key, s.id, s.position.x, s.position.y, static_cast<int>(s.color));
    }
    return rows;
}

inline PieceRow piece_row(const ExposedPiece& piece) {
    if (const auto* c = std::get_if<WholeCircle>(&piece)) return {0, c->centre.x, c->centre.y, c->radius, 0, 0, 0};
    if (const auto* l = std::get_if<LineSeg>(&piece)) return {1, l->from.x, l->from.y, l->to.x, l->to.y, 0, 0};
    const auto& a = std::get<ArcSeg>(piece);
    return {2, a.centre.x, a.centre.y, a.radius, a.start, a.end, 0};
}

inline Picture picture(const Board& board) {
    Picture p;
    p.in_play = stone_rows(board.stones_in_play());
    p.captured = stone_rows(board.captured_stones());
    const AliveZone& zone = board.alive_zone();
    for (const auto& [key, eye] : zone.forced_eyes()) p.forced_eyes.emplace_back(eye.x, eye.y);
    for (const auto& [id, shape] : zone.dead_zones()) p.dead_zone_ids.push_back(id);
    const ClipGraph& graph = zone.graph();
    for (const auto& [id, shape] : graph.shapes()) {
        for (const ExposedPiece& piece : graph.exposed_pieces(id)) p.exposed.push_back(piece_row(piece));
        ShapeRow row;
        if (const auto* c = std::get_if<Circle>(&shape.kind)) {
            row = {0, c->centre.x, c->centre.y, c->radius, {}};
        } else {
            row = {1, static_cast<double>(std::get<Edge>(shape.kind).side), 0, 0, {}};
        }
        for (SegId s : graph.segments_of(id)) {
            const Segment* seg = graph.slot(s);
            if (seg == nullptr) continue;
            std::get<4>(row).emplace_back(seg->offset, seg->start.x, seg->start.y, seg->off_board, graph.covering(s).size());
        }
        std::sort(std::get<4>(row).begin(), std::get<4>(row).end());
        p.shapes.push_back(std::move(row));
    }
    std::sort(p.exposed.begin(), p.exposed.end());
    std::sort(p.shapes.begin(), p.shapes.end());
    for (const HistoryEntry& e : board.history()) p.history.push_back(HistoryRow{e.delta, e.taken_eyes, e.provisional});
    p.turn = board.turn();
    p.status = board.status();
    p.captures_black = board.captures(Color::Black);
    p.captures_white = board.captures(Color::White);
    return p;
}

inline bool same_history(const std::vector<HistoryRow>& a, const std::vector<HistoryRow>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!same_delta(a[i].delta, b[i].delta) || a[i].provisional != b[i].provisional) return false;
        if (a[i].taken_eyes.size() != b[i].taken_eyes.size()) return false;
        for (std::size_t k = 0; k < a[i].taken_eyes.size(); ++k) {
            if (!same_point(a[i].taken_eyes[k], b[i].taken_eyes[k])) return false;
        }
    }
    return true;
}

// gtest-friendly comparison naming the first field that differs.
inline std::optional<const char*> first_difference(const Picture& a, const Picture& b) {
    if (a.in_play != b.in_play) return "stones in play";
    if (a.captured != b.captured) return "captured stones";
    if (a.forced_eyes != b.forced_eyes) return "forced eyes";
    if (a.dead_zone_ids != b.dead_zone_ids) return "dead zones";
    if (a.exposed != b.exposed) return "exposed boundary";
    if (a.shapes != b.shapes) return "outlines";
    if (!same_history(a.history, b.history)) return "history";
    if (a.turn != b.turn) return "turn";
    if (a.status != b.status) return "status";
    if (a.captures_black != b.captures_black || a.captures_white != b.captures_white) return "captures";
    return std::nullopt;
}

}  // namespace cellvane::testing
