// The board record: creation, readers, the status rule and the two position
// memos.
#include <algorithm>
#include <utility>

#include "analysis/analysis.hpp"
#include "engine/engine.hpp"
#include "engine/scope_end.hpp"
#include "zone/zone.hpp"

namespace cellvane {

Status status_from_history(const std::vector<HistoryEntry>& history) {
    // Newest committed entry first; provisional entries are the trial of a
    // move in progress and never count.
    const HistoryEntry* last = nullptr;
    const HistoryEntry* before_last = nullptr;
    for (auto it = history.rbegin(); it != history.rend(); ++it) {
        if (it->provisional) continue;
        if (last == nullptr) {
            last = &*it;
        } else {
            before_last = &*it;
            break;
        }
    }
    if (last == nullptr || last->delta.new_stone.has_value()) return Status::Playing;
    if (before_last != nullptr && !before_last->delta.new_stone.has_value()) return Status::Ended;
    return Status::NextPassEnds;
}

Board::Board(double board_size) : zone_(BoardFrame(board_size)), frame_(board_size) {}
Board::Board(const Board& other) = default;
Board::Board(Board&& other) noexcept = default;
Board& Board::operator=(const Board& other) = default;
Board& Board::operator=(Board&& other) noexcept = default;
Board::~Board() = default;

std::optional<Point> Board::nearest_living_move(Point p) const { return zone_->nearest_living_move(p); }

const Stone* Board::stone(std::uint32_t id) const {
    auto it = stones_in_play_.find(id);
    return it == stones_in_play_.end() ? nullptr : &it->second;
}

std::vector<GameDelta> Board::deltas() const {
    std::vector<GameDelta> out;
    out.reserve(history_.size());
    for (const HistoryEntry& entry : history_) {
        if (!entry.provisional) out.push_back(entry.delta);
    }
    return out;
}

std::optional<Stone> Board::last_placed_stone() const {
    for (auto it = history_.rbegin(); it != history_.rend(); ++it) {
        if (it->provisional) continue;
        return it->delta.new_stone;
    }
    return std::nullopt;
}

bool Board::Spare::replay_edits(std::vector<Stone>& list) const {
    const auto by_id = [](const Stone& s, std::uint32_t id) { return s.id < id; };
    for (const Edit& edit : edits) {
        const auto at = std::lower_bound(list.begin(), list.end(), edit.stone.id, by_id);
        const bool listed = at != list.end() && at->id == edit.stone.id;
        if (edit.entered == listed) return false;
        if (edit.entered) {
            list.insert(at, edit.stone);
        } else {
            list.erase(at);
        }
    }
    return true;
}

const std::vector<Stone>& Board::stones_by_id() const {
    if (!stones_by_id_) {
        // The last list, edited; rebuilt from the map when it is not known
        // or the edits do not give the stones in play. The list leaves the
        // spare, which stays unknown until the memo is filled: should the
        // editing run out of memory, the next list is rebuilt.
        Spare& spare = spare_by_id_;
        std::vector<Stone> stones = std::move(spare.stones);
        const bool known = spare.known;
        spare.known = false;
        if (!known || !spare.replay_edits(stones) || stones.size() != stones_in_play_.size()) {
            stones.clear();
            stones.reserve(stones_in_play_.size());
            for (const auto& [id, s] : stones_in_play_) stones.push_back(s);
        }
        spare.edits.clear();
        spare.known = true;
        stones_by_id_.emplace(std::move(stones));
    }
    return *stones_by_id_;
}

void Board::note_in_play(const Stone& s, bool entered) {
    Spare& spare = spare_by_id_;
    if (!spare.known) return;
    if (spare.edits.size() == Spare::MOST_EDITS) {
        spare.known = false;
        spare.edits.clear();
        return;
    }
    spare.edits.push_back(Spare::Edit{s, entered});
}

void Board::lend_by_id(std::optional<std::vector<Stone>>& other) {
    stones_by_id_.swap(other);
    spare_by_id_.edits.clear();
    // A list coming back lists the stones in play now; one going out takes
    // with it the list the edits were counted from.
    spare_by_id_.known = stones_by_id_.has_value();
}

const PositionAnalysis& Board::analysis() const {
    if (!analysis_) {
        const std::vector<Stone>& stones = stones_by_id();
        analysis_.emplace(std::move(spare_analysis_.groups));
        // An analysis that runs out of memory or is told to stop part way is
        // not kept.
        const AtScopeEnd forget([this](bool threw) {
            if (threw) analysis_.reset();
        });
        analyse_into(frame_.size, stones, *analysis_);
        if (stop_requested()) {
            analysis_.reset();
            static const PositionAnalysis none;
            return none;
        }
    }
    return *analysis_;
}

std::vector<Stone> Board::dead_stones(Color color) const { return cellvane::dead_stones(analysis(), *zone_, color); }

double territory_area(const Group& group) { return area(group.rings); }

bool territory_contains(const Group& group, Point p) { return territory_contains(group.rings, p.x, p.y); }

void Board::invalidate() {
    if (analysis_) {
        spare_analysis_.groups = std::move(*analysis_);
        analysis_.reset();
    }
    if (stones_by_id_) {
        spare_by_id_.stones = std::move(*stones_by_id_);
        stones_by_id_.reset();
    }
}

}  // namespace cellvane
