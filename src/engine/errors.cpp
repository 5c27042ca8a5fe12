// The texts of the engine's own failures.
#include <string>

#include "engine/engine.hpp"
#include "zone/zone.hpp"

namespace cellvane {

namespace {

constexpr const char* GAME_OVER_TEXT = "the game ended on two passes and takes no further turns";

void append_position(std::string& out, Point p) {
    out += '(';
    append_message(out, p.x);
    out += ", ";
    append_message(out, p.y);
    out += ')';
}

const char* color_name(Color c) { return c == Color::Black ? "Black" : "White"; }

}  // namespace

std::string CommitError::message() const {
    std::string out;
    switch (kind) {
        case CommitErrorKind::StoneExists:
            out = "stone " + std::to_string(stone);
            out += captured_earlier ? " was captured earlier and its id cannot be placed again"
                                    : " is already on the board";
            return out;
        case CommitErrorKind::NoSuchStone:
            return "stone " + std::to_string(stone) + " is not on the board and cannot be captured";
        case CommitErrorKind::CapturedTwice:
            return "stone " + std::to_string(stone) + " is captured twice by the same delta";
        case CommitErrorKind::PassCaptures:
            return "a delta that places no stone cannot capture one";
        case CommitErrorKind::OffBoard:
            out = "stone " + std::to_string(stone) + "'s centre ";
            append_position(out, position);
            out += " is not on the board";
            return out;
        case CommitErrorKind::DeadZone:
            return DeadZoneError{dead_zone, stone}.message();
        case CommitErrorKind::GameOver:
            return GAME_OVER_TEXT;
    }
    return GAME_OVER_TEXT;
}

std::string MoveError::message() const {
    std::string out;
    switch (kind) {
        case MoveErrorKind::GameOver:
            return GAME_OVER_TEXT;
        case MoveErrorKind::NotPlaceable:
            out = "no stone may be placed at ";
            append_position(out, position);
            return out;
        case MoveErrorKind::SelfCapture:
            out = "a ";
            out += color_name(color);
            out += " stone at ";
            append_position(out, position);
            out += " would capture only ";
            out += color_name(color);
            out += "'s own stones";
            return out;
        case MoveErrorKind::Delta:
            return commit.message();
        case MoveErrorKind::Stopped:
            out = "the move at ";
            append_position(out, position);
            out += " was stopped before its captures were judged";
            return out;
    }
    return GAME_OVER_TEXT;
}

}  // namespace cellvane
