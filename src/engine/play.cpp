// The turn operations: playing a move, passing, and the cut questions that
// read the board.
#include <algorithm>
#include <cassert>
#include <utility>

#include "analysis/analysis.hpp"
#include "engine/engine.hpp"
#include "engine/scope_end.hpp"
#include "zone/zone.hpp"

namespace cellvane {

namespace {

MoveError move_error(MoveErrorKind kind, Point position = {}, Color color = Color::Black) {
    MoveError e;
    e.kind = kind;
    e.position = position;
    e.color = color;
    return e;
}

MoveError delta_error(CommitError commit) {
    MoveError e;
    e.kind = MoveErrorKind::Delta;
    e.commit = std::move(commit);
    return e;
}

}  // namespace

std::variant<GameDelta, MoveError> Board::try_move(Point position) {
    if (status_ == Status::Ended) return move_error(MoveErrorKind::GameOver);
    if (!zone_->is_placeable(position)) return move_error(MoveErrorKind::NotPlaceable, position);

    const std::uint32_t id = turn_;
    const Color color = id % 2 == 0 ? Color::Black : Color::White;
    const Stone stone{position, id, color};

    // An allocation failing from here on leaves the move for settle() to
    // take back; returning by any other way ends it.
    move_from_ = revision_;
    const AtScopeEnd ends([this](bool threw) {
        if (!threw) move_from_.reset();
    });

    if (std::optional<CommitError> refused = commit(GameDelta{stone, {}}, true)) return delta_error(*refused);
    assert(!history_.empty() && history_.back().provisional && "the trial is on top of the history");

    // The trial stays on top of the history until it is kept or taken back.
    std::vector<std::uint32_t> captured;
    bool self_capture = false;
    {
        const MoveLiveness verdict = judge_move(analysis(), *zone_, color);
        if (stop_requested()) {
            // The verdict is incomplete: the move is taken back, and the
            // board is exactly as it was, revision included.
            undo();
            revision_ = *move_from_;
            return move_error(MoveErrorKind::Stopped, position, color);
        }
        captured.reserve(verdict.captured.size());
        for (const Stone& s : verdict.captured) captured.push_back(s.id);
        self_capture = verdict.self_capture;
    }
    // When the move captures nothing, the board it leaves holds exactly the
    // stones of the trial board, so the trial's memos describe it too.
    std::optional<PositionAnalysis> trial_analysis;
    std::optional<std::vector<Stone>> trial_by_id;
    if (!self_capture) {
        std::sort(captured.begin(), captured.end());
        // The stone stays where the trial put it; only the captures and the
        // counters are still to come.
        if (keep_trial(captured)) return history_.back().delta;
        if (captured.empty()) {
            trial_analysis.swap(analysis_);
            lend_by_id(trial_by_id);
        }
    }
    undo();

    if (self_capture) return move_error(MoveErrorKind::SelfCapture, position, color);
    if (std::optional<CommitError> refused = commit(GameDelta{stone, std::move(captured)}, false)) {
        return delta_error(*refused);
    }
    if (trial_analysis) {
        analysis_.swap(trial_analysis);
        lend_by_id(trial_by_id);
    }
    return history_.back().delta;
}

std::optional<MoveError> Board::pass_turn() {
    if (status_ == Status::Ended) return move_error(MoveErrorKind::GameOver);
    if (std::optional<CommitError> refused = commit(GameDelta{}, false)) return delta_error(*refused);
    return std::nullopt;
}

// The search carves a trial stone into the playable area: an allocation
// failing during the question breaks the board.
CutAnswer Board::pair_cuttable(std::uint32_t a, std::uint32_t b) {
    const std::vector<Stone>& by_id = stones_by_id();
    const AtScopeEnd breaks([this](bool threw) { broken_ = broken_ || threw; });
    return cellvane::pair_cuttable(cut_memo_, *zone_, stones_in_play_, by_id, a, b);
}

CutAnswer Board::boundary_cuttable(std::uint32_t stone, BoardEdge edge) {
    const std::vector<Stone>& by_id = stones_by_id();
    const AtScopeEnd breaks([this](bool threw) { broken_ = broken_ || threw; });
    return cellvane::boundary_cuttable(cut_memo_, *zone_, stones_in_play_, by_id, stone, edge);
}

bool Board::settle() {
    if (broken_) return false;
    if (move_from_) {
        if (!history_.empty() && history_.back().provisional) undo();
        revision_ = *move_from_;
        move_from_.reset();
    }
    return !broken_;
}

}  // namespace cellvane
