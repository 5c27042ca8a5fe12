// Committing a delta to the board and undoing the newest one.
#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "engine/engine.hpp"
#include "engine/scope_end.hpp"
#include "zone/zone.hpp"

namespace cellvane {

namespace {

ChangeCheck change_check = nullptr;

void after_change(const Board& board, const char* change) {
    if (change_check != nullptr) change_check(board, change);
}

bool on_board(Point p, double board_size) {
    // Written so that a NaN coordinate (or size) fails.
    return 0.0 <= p.x && p.x <= board_size && 0.0 <= p.y && p.y <= board_size;
}

CommitError error_of(CommitErrorKind kind, std::uint32_t stone = 0, Point position = {}) {
    CommitError e;
    e.kind = kind;
    e.stone = stone;
    e.position = position;
    return e;
}

// Capture lists of a move are short; below this length the duplicate check
// scans the ids already met instead of building a set.
constexpr std::size_t SHORT_LIST = 16;

// Why the placed stone cannot go on the board: off the board, or an id that
// is in play, has a dead zone, or belongs to a captured stone.
std::optional<CommitError> placement_refusal(const Board& board, const Stone& s) {
    if (!on_board(s.position, board.board_size())) return error_of(CommitErrorKind::OffBoard, s.id, s.position);
    if (board.stones_in_play().count(s.id) != 0) return error_of(CommitErrorKind::StoneExists, s.id, s.position);
    if (board.alive_zone().has_dead_zone(s.id)) return error_of(CommitErrorKind::StoneExists, s.id, s.position);
    // An id that belongs to a captured stone cannot come back: the board
    // would hold two stones under one id, and a later capture of the new
    // one would overwrite the captured record that undo needs.
    if (board.captured_stones().count(s.id) != 0) {
        CommitError e = error_of(CommitErrorKind::StoneExists, s.id, s.position);
        e.captured_earlier = true;
        return e;
    }
    return std::nullopt;
}

// The first captured id, in list order, that is not in play or repeats an
// earlier one.
std::optional<CommitError> capture_list_refusal(const Board& board, const std::vector<std::uint32_t>& ids) {
    const std::map<std::uint32_t, Stone>& in_play = board.stones_in_play();
    if (ids.size() <= SHORT_LIST) {
        for (std::size_t i = 0; i < ids.size(); ++i) {
            if (in_play.count(ids[i]) == 0) return error_of(CommitErrorKind::NoSuchStone, ids[i]);
            if (std::find(ids.begin(), ids.begin() + static_cast<std::ptrdiff_t>(i), ids[i]) !=
                ids.begin() + static_cast<std::ptrdiff_t>(i)) {
                return error_of(CommitErrorKind::CapturedTwice, ids[i]);
            }
        }
    } else {
        std::set<std::uint32_t> met;
        for (std::uint32_t id : ids) {
            if (in_play.count(id) == 0) return error_of(CommitErrorKind::NoSuchStone, id);
            if (!met.insert(id).second) return error_of(CommitErrorKind::CapturedTwice, id);
        }
    }
    return std::nullopt;
}

// A captured stone must give its dead zone back. Only a board whose alive
// zone disagrees with its stones can fail here; finding it before any change
// keeps such a board as it was instead of half committed. (The placed
// stone's own carve cannot fail: its id has no dead zone.)
std::optional<CommitError> uncarved_capture(const Board& board, const std::vector<std::uint32_t>& ids) {
    for (std::uint32_t id : ids) {
        if (!board.alive_zone().has_dead_zone(id)) {
            CommitError e = error_of(CommitErrorKind::DeadZone, id);
            e.dead_zone = DeadZoneFault::NotCarved;
            return e;
        }
    }
    return std::nullopt;
}

// Why a delta cannot be committed to a board still in play, or nothing:
// the checks in their fixed order, the first failing one answering.
std::optional<CommitError> delta_refusal(const Board& board, const GameDelta& delta) {
    const std::vector<std::uint32_t>& ids = delta.captured_stone_ids;
    if (!delta.new_stone && !ids.empty()) return error_of(CommitErrorKind::PassCaptures);
    if (delta.new_stone) {
        if (std::optional<CommitError> refused = placement_refusal(board, *delta.new_stone)) return refused;
    }
    if (std::optional<CommitError> refused = capture_list_refusal(board, ids)) return refused;
    return uncarved_capture(board, ids);
}

}  // namespace

void set_change_check(ChangeCheck check) { change_check = check; }

void Board::reserve_history() {
    // Grown by doubling, as push_back would grow it.
    if (history_.size() == history_.capacity()) history_.reserve(history_.empty() ? 8 : 2 * history_.capacity());
}

// Moves each captured stone (ascending id, each checked to have a dead zone)
// out of play: its centre becomes a forced eye and its dead zone is given back.
void Board::take_captured(const std::vector<std::uint32_t>& ids) {
    for (std::uint32_t id : ids) {
        auto node = stones_in_play_.extract(id);
        const Point centre = node.mapped().position;
        note_in_play(node.mapped(), false);
        captured_stones_.insert(std::move(node));
        zone_->add_forced_eye(centre);
        (void)zone_->reclaim(id);  // checked by the caller: the stone has a dead zone
    }
}

std::optional<CommitError> Board::commit(GameDelta delta, bool provisional) {
    // Checks. Nothing is touched until all of them pass.
    if (status_ == Status::Ended) return error_of(CommitErrorKind::GameOver);
    if (std::optional<CommitError> refused = delta_refusal(*this, delta)) return refused;
    reserve_history();

    // Effects. An allocation failing among them leaves the board broken.
    const AtScopeEnd breaks([this](bool threw) { broken_ = broken_ || threw; });
    std::vector<Point> taken_eyes;
    if (delta.new_stone) {
        if (std::optional<CommitError> refused = place_stone(*delta.new_stone, taken_eyes)) return refused;
    }
    take_captured(delta.captured_stone_ids);
    record_commit(std::move(delta), std::move(taken_eyes), provisional);
    after_change(*this, "a commit");
    return std::nullopt;
}

// Puts the stone in play and carves its dead zone, taking the forced eyes it
// covers into taken_eyes. The carve cannot fail once the checks have passed
// (the id has no dead zone); if it does, the stone leaves play again and the
// board is as it was.
std::optional<CommitError> Board::place_stone(const Stone& s, std::vector<Point>& taken_eyes) {
    stones_in_play_.emplace(s.id, s);
    note_in_play(s, true);
    if (std::optional<DeadZoneError> fault = zone_->carve(s.id, s.position)) {
        stones_in_play_.erase(s.id);
        note_in_play(s, false);
        CommitError e = error_of(CommitErrorKind::DeadZone, s.id, s.position);
        e.dead_zone = fault->fault;
        return e;
    }
    taken_eyes = zone_->take_forced_eyes(s.position);
    return std::nullopt;
}

// What is left of a commit once its stones have moved: the mover's capture
// counter, the turn (a provisional entry takes none), the cut memo round
// every changed stone, the memos, the history entry, the status and the
// revision.
void Board::record_commit(GameDelta delta, std::vector<Point> taken_eyes, bool provisional) {
    const std::vector<std::uint32_t>& ids = delta.captured_stone_ids;
    if (delta.new_stone) {
        std::uint32_t& counter = captures_[static_cast<int>(delta.new_stone->color)];
        counter += static_cast<std::uint32_t>(ids.size());
    }
    if (!provisional) turn_ += 1;
    if (delta.new_stone) cut_memo_.forget_cuts_near(delta.new_stone->position);
    for (std::uint32_t id : ids) cut_memo_.forget_cuts_near(captured_stones_.find(id)->second.position);
    invalidate();
    history_.push_back(HistoryEntry{std::move(delta), std::move(taken_eyes), provisional});
    status_ = status_from_history(history_);
    revision_ += 1;
}

std::optional<GameDelta> Board::undo() {
    if (history_.empty()) return std::nullopt;
    const AtScopeEnd breaks([this](bool threw) { broken_ = broken_ || threw; });
    HistoryEntry entry = std::move(history_.back());
    history_.pop_back();
    if (!entry.provisional && turn_ > 0) turn_ -= 1;
    status_ = status_from_history(history_);

    const std::vector<std::uint32_t>& ids = entry.delta.captured_stone_ids;
    for (std::uint32_t id : ids) {
        auto node = captured_stones_.extract(id);
        if (node.empty()) continue;
        const Point centre = node.mapped().position;
        note_in_play(node.mapped(), true);
        stones_in_play_.insert(std::move(node));
        (void)zone_->carve(id, centre);
        (void)zone_->remove_forced_eye(centre);
    }
    const std::optional<Stone>& placed = entry.delta.new_stone;
    if (placed) {
        std::uint32_t& counter = captures_[static_cast<int>(placed->color)];
        const std::uint32_t n = ids.size() < counter ? static_cast<std::uint32_t>(ids.size()) : counter;
        counter -= n;
        if (stones_in_play_.erase(placed->id) != 0) note_in_play(*placed, false);
        (void)zone_->reclaim(placed->id);
    }
    for (Point eye : entry.taken_eyes) zone_->add_forced_eye(eye);
    if (placed) cut_memo_.forget_cuts_near(placed->position);
    for (std::uint32_t id : ids) {
        auto it = stones_in_play_.find(id);
        if (it != stones_in_play_.end()) cut_memo_.forget_cuts_near(it->second.position);
    }
    invalidate();
    revision_ += 1;
    after_change(*this, "an undo");
    return std::move(entry.delta);
}

// The trial placement of a move (a provisional entry placing a stone and
// capturing nothing, on top of the history) becomes the committed move
// capturing `ids`, ascending: the board ends exactly as an undo of the trial
// followed by commit(stone, ids, not provisional) would leave it. That undo
// would give the stone's dead zone back and the commit carve it again,
// splitting the same outlines at the same points, take the same forced eyes
// (the undo files them back under the same keys) and come last in shape order
// as it does now; only its ShapeId would be one higher and its segments
// filed in other slots. What remains of that commit is done here in its
// order: the captures, the counters, the turn, the cut memo round the
// captured stones (the trial already forgot round the stone), the memos
// (those of the trial still describe a board that captured nothing), the
// history entry, the status, and the revision, which grows by the 2 that
// undo and commit would add. Answers false, changing nothing, when the top
// entry is not such a trial or commit would refuse the list.
bool Board::keep_trial(std::vector<std::uint32_t>& ids) {
    if (history_.empty() || status_ == Status::Ended) return false;
    HistoryEntry& entry = history_.back();
    if (!entry.provisional || !entry.delta.new_stone || !entry.delta.captured_stone_ids.empty()) return false;
    const Stone stone = *entry.delta.new_stone;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] == stone.id || (i > 0 && ids[i] <= ids[i - 1])) return false;
        if (stones_in_play_.count(ids[i]) == 0 || !zone_->has_dead_zone(ids[i])) return false;
    }

    const AtScopeEnd breaks([this](bool threw) { broken_ = broken_ || threw; });
    take_captured(ids);
    captures_[static_cast<int>(stone.color)] += static_cast<std::uint32_t>(ids.size());
    turn_ += 1;
    for (std::uint32_t id : ids) cut_memo_.forget_cuts_near(captured_stones_.find(id)->second.position);
    if (!ids.empty()) invalidate();
    entry.delta.captured_stone_ids = std::move(ids);
    entry.provisional = false;
    status_ = status_from_history(history_);
    revision_ += 2;
    after_change(*this, "a kept trial");
    return true;
}

}  // namespace cellvane
