// The turn operations: playing a move, passing, and the cut questions that
// read the board.
#include <algorithm>
#include <cassert>
#include <utility>

#include "analysis/analysis.hpp"
#include "engine/engine.hpp"
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

// Takes back the trial placement of a move however the scope is left, so no
// provisional entry outlives the call.
class TrialGuard {
public:
    explicit TrialGuard(Board& board) : board_(&board) {}
    TrialGuard(const TrialGuard&) = delete;
    TrialGuard& operator=(const TrialGuard&) = delete;
    ~TrialGuard() {
        if (board_ != nullptr) board_->undo();
    }
    void undo_now() {
        Board* board = board_;
        board_ = nullptr;
        board->undo();
    }
    // The trial became the committed turn: nothing to take back.
    void release() { board_ = nullptr; }

private:
    Board* board_;
};

}  // namespace

std::variant<GameDelta, MoveError> Board::try_move(Point position) {
    if (status_ == Status::Ended) return move_error(MoveErrorKind::GameOver);
    if (!zone_->is_placeable(position)) return move_error(MoveErrorKind::NotPlaceable, position);

    const std::uint32_t id = turn_;
    const Color color = id % 2 == 0 ? Color::Black : Color::White;
    const Stone stone{position, id, color};

    if (std::optional<CommitError> refused = commit(GameDelta{stone, {}}, true)) return delta_error(*refused);
    assert(!history_.empty() && history_.back().provisional && "the trial is on top of the history");

    std::vector<std::uint32_t> captured;
    bool self_capture = false;
    // When the move captures nothing, the board it leaves holds exactly the
    // stones of the trial board, so the trial's memos describe it too.
    std::optional<PositionAnalysis> trial_analysis;
    std::optional<std::vector<Stone>> trial_by_id;
    {
        TrialGuard trial(*this);
        {
            const MoveLiveness verdict = judge_move(analysis(), *zone_, color);
            captured.reserve(verdict.captured.size());
            for (const Stone& s : verdict.captured) captured.push_back(s.id);
            self_capture = verdict.self_capture;
        }
        if (!self_capture) {
            std::sort(captured.begin(), captured.end());
            // The stone stays where the trial put it; only the captures and
            // the counters are still to come.
            if (keep_trial(captured)) {
                trial.release();
                return history_.back().delta;
            }
            if (captured.empty()) {
                trial_analysis.swap(analysis_);
                lend_by_id(trial_by_id);
            }
        }
        trial.undo_now();
    }

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

CutAnswer Board::pair_cuttable(std::uint32_t a, std::uint32_t b) {
    const std::vector<Stone>& by_id = stones_by_id();
    return cellvane::pair_cuttable(cut_memo_, *zone_, stones_in_play_, by_id, a, b);
}

CutAnswer Board::boundary_cuttable(std::uint32_t stone, BoardEdge edge) {
    const std::vector<Stone>& by_id = stones_by_id();
    return cellvane::boundary_cuttable(cut_memo_, *zone_, stones_in_play_, by_id, stone, edge);
}

}  // namespace cellvane
