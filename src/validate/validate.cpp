// Board invariants: the alive zone's (the clipping structure, then the rest
// of the zone, which the zone checks itself), then the board record's. The
// first check that fails names the fault; nothing after it runs.
#include "validate/validate.hpp"

#include <cstdint>
#include <string_view>

#include "core/core.hpp"
#include "engine/engine.hpp"
#include "zone/zone.hpp"

namespace cellvane {
namespace {

std::string_view color_name(Color c) { return c == Color::Black ? "Black" : "White"; }

std::string_view status_name(Status s) {
    switch (s) {
        case Status::Playing:
            return "Playing";
        case Status::NextPassEnds:
            return "NextPassEnds";
        case Status::Ended:
            return "Ended";
    }
    return "Playing";
}

std::optional<std::string> board_fault(const Board& board) {
    const AliveZone& zone = board.alive_zone();
    const auto& in_play = board.stones_in_play();
    const auto& captured = board.captured_stones();

    for (const auto& [key, stone] : in_play) {
        if (stone.id != key) {
            return MessageText().s("stone ").n(stone.id).s(" is filed under id ").n(key).done();
        }
        if (!zone.has_dead_zone(key)) {
            return MessageText().s("stone ").n(key).s(" is in play with no dead zone carved for it").done();
        }
        if (captured.contains(key)) {
            return MessageText().s("stone ").n(key).s(" is both in play and captured").done();
        }
    }
    for (const auto& [key, stone] : captured) {
        if (stone.id != key) {
            return MessageText().s("stone ").n(stone.id).s(" is filed under id ").n(key).done();
        }
        if (zone.has_dead_zone(key)) {
            return MessageText().s("captured stone ").n(key)
                .s(" still has a dead zone carved for it").done();
        }
    }

    const auto& history = board.history();
    std::uint64_t committed = 0;
    std::uint64_t credited[2] = {0, 0};
    for (const HistoryEntry& entry : history) {
        if (!entry.provisional) ++committed;
        if (entry.delta.new_stone) {
            credited[static_cast<int>(entry.delta.new_stone->color) & 1] +=
                entry.delta.captured_stone_ids.size();
        }
    }
    if (board.turn() != committed) {
        return MessageText().s("the turn is ").n(board.turn()).s(" but history holds ").n(committed)
            .s(" committed turns").done();
    }
    const Status derived = status_from_history(history);
    if (board.status() != derived) {
        return MessageText().s("the status is ").s(status_name(board.status()))
            .s(" but the committed turns imply ").s(status_name(derived)).done();
    }
    for (const Color c : {Color::Black, Color::White}) {
        const std::uint64_t sum = credited[static_cast<int>(c)];
        if (board.captures(c) != sum) {
            return MessageText().s(color_name(c)).s(" is credited with ").n(board.captures(c))
                .s(" captures but history holds ").n(sum).done();
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> validate(const Board& board) {
    if (auto f = board.alive_zone().fault()) return f;
    return board_fault(board);
}

}  // namespace cellvane
