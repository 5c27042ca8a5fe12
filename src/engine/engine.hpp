// The rules engine: the board record, committing and undoing deltas, playing
// a move, and passing.
//
// Plain C++: no Python, no exceptions. Failures are returned as values.
//
// Running out of memory is the one failure that travels as an exception:
// std::bad_alloc (or std::length_error) thrown by an allocation passes
// through the engine unchanged. A query that throws leaves its board as it
// was: a memo it was filling stays empty. A change that throws leaves its
// board either as it was, once Board::settle() has taken back what the
// change had begun, or broken, when the failure struck while the playable
// area was being reshaped; settle() tells which.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/core.hpp"
#include "cut/cut.hpp"

namespace cellvane {

// The playable area (zone/zone.hpp), which a board owns.
class AliveZone;
enum class DeadZoneFault : std::uint8_t;

// A member kept on the heap, so that this header can name its type without
// its definition; copied deep. Its members are used only where the type is
// complete (the board's own source files).
template <class T>
class Held {
public:
    template <class Arg>
    explicit Held(const Arg& arg) : value_(std::make_unique<T>(arg)) {}
    Held(const Held& other) : value_(std::make_unique<T>(*other.value_)) {}
    Held(Held&& other) noexcept = default;
    Held& operator=(const Held& other) {
        if (this != &other) value_ = std::make_unique<T>(*other.value_);
        return *this;
    }
    Held& operator=(Held&& other) noexcept = default;
    ~Held() = default;
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return value_.get(); }
    const T* operator->() const { return value_.get(); }

private:
    std::unique_ptr<T> value_;
};

// The project version, defined by the build from the one place it is written.
inline constexpr const char* ENGINE_VERSION = CELLVANE_VERSION;

// ------------------------------------------------------------- the record

struct GameDelta {
    std::optional<Stone> new_stone;  // absent for a pass
    std::vector<std::uint32_t> captured_stone_ids;
};

struct HistoryEntry {
    GameDelta delta;
    std::vector<Point> taken_eyes;
    bool provisional = false;
};

enum class Status : std::uint8_t { Playing = 0, NextPassEnds = 1, Ended = 2 };

enum class CommitErrorKind : std::uint8_t {
    StoneExists,
    NoSuchStone,
    CapturedTwice,
    PassCaptures,
    OffBoard,
    DeadZone,
    GameOver,
};

struct CommitError {
    CommitErrorKind kind = CommitErrorKind::GameOver;
    std::uint32_t stone = 0;
    Point position;
    DeadZoneFault dead_zone{};  // DeadZone only
    bool captured_earlier = false;  // StoneExists: the id belongs to a captured stone
    std::string message() const;
};

// Stopped: the thread's StopCheck said stop while the move was judged; the
// board is as it was before the move.
enum class MoveErrorKind : std::uint8_t { GameOver, NotPlaceable, SelfCapture, Delta, Stopped };

struct MoveError {
    MoveErrorKind kind = MoveErrorKind::GameOver;
    Point position;
    Color color = Color::Black;
    CommitError commit;  // Delta only
    std::string message() const;
};

Status status_from_history(const std::vector<HistoryEntry>& history);

// The board area a group of the analysis controls, holes excluded, and
// whether that area holds the point p.
double territory_area(const Group& group);
bool territory_contains(const Group& group, Point p);

class Board;

// A check run after every change a board makes (a commit, an undo, a kept
// trial), given the board and a text naming the change ("a commit", "an
// undo", "a kept trial"). None is installed unless a diagnostic build
// installs one; installing replaces the previous check, nullptr removes it.
using ChangeCheck = void (*)(const Board& board, const char* change);
void set_change_check(ChangeCheck check);

class Board {
public:
    explicit Board(double board_size);
    Board(const Board& other);
    Board(Board&& other) noexcept;
    Board& operator=(const Board& other);
    Board& operator=(Board&& other) noexcept;
    ~Board();

    // Changes. Only these write to a board.
    std::optional<CommitError> commit(GameDelta delta, bool provisional);
    std::optional<GameDelta> undo();
    std::variant<GameDelta, MoveError> try_move(Point position);
    std::optional<MoveError> pass_turn();
    // Cut questions write the cut memo, and carve a trial stone into the
    // playable area for the length of a search, so they need the board
    // exclusively.
    CutAnswer pair_cuttable(std::uint32_t a, std::uint32_t b);
    CutAnswer boundary_cuttable(std::uint32_t stone, BoardEdge edge);

    // After a change or a cut question ended in an allocation failure: takes
    // back the trial of a move cut short (the board is then exactly as it was
    // before the move, revision included) and answers whether the board is
    // whole. A failure part way through reshaping the playable area (placing,
    // capturing or restoring a stone, or a cut question's trial stone) leaves
    // a board nothing can vouch for: settle() answers false, now and ever
    // after. Taking the trial back may itself run out of memory and throw,
    // which breaks the board.
    bool settle();

    // Readers.
    double board_size() const { return frame_.size; }
    const BoardFrame& frame() const { return frame_; }
    std::uint32_t turn() const { return turn_; }
    Color color_to_move() const { return turn_ % 2 == 0 ? Color::Black : Color::White; }
    std::uint32_t captures(Color c) const { return captures_[static_cast<int>(c)]; }
    Status status() const { return status_; }
    std::uint64_t revision() const { return revision_; }
    std::size_t stone_count() const { return stones_in_play_.size(); }
    const Stone* stone(std::uint32_t id) const;
    const std::map<std::uint32_t, Stone>& stones_in_play() const { return stones_in_play_; }
    const std::map<std::uint32_t, Stone>& captured_stones() const { return captured_stones_; }
    const std::vector<HistoryEntry>& history() const { return history_; }
    std::vector<GameDelta> deltas() const;
    std::optional<Stone> last_placed_stone() const;
    const AliveZone& alive_zone() const { return *zone_; }
    // The placeable point nearest to p, if any point is placeable.
    std::optional<Point> nearest_living_move(Point p) const;

    // The position's groups, computed on first use after a change. Work
    // told to stop keeps no memo and answers an empty analysis.
    const PositionAnalysis& analysis() const;
    // Whether analysis() would answer from its memo, at once.
    bool has_analysis() const { return analysis_.has_value(); }
    // Stones of `color` whose group is dead, group after group.
    std::vector<Stone> dead_stones(Color color) const;
    // The stones in play as a list ascending by id, filled on first use
    // after a change.
    const std::vector<Stone>& stones_by_id() const;
    // The answered cut questions.
    const CutMemo& cut_memo() const { return cut_memo_; }

private:
    // Empties the memos after a change.
    void invalidate();

    // Turns the trial placement on top of the history into the committed
    // move capturing `ids` (ascending). See commit.cpp.
    bool keep_trial(std::vector<std::uint32_t>& ids);
    // Takes the listed stones out of play, leaving forced eyes. See commit.cpp.
    void take_captured(const std::vector<std::uint32_t>& ids);
    // The steps of commit after its checks. See commit.cpp.
    std::optional<CommitError> place_stone(const Stone& s, std::vector<Point>& taken_eyes);
    void record_commit(GameDelta delta, std::vector<Point> taken_eyes, bool provisional);
    // Room for one more history entry, so that recording a change never
    // runs out of memory after the change is made.
    void reserve_history();

    std::vector<HistoryEntry> history_;
    Held<AliveZone> zone_;
    BoardFrame frame_;
    std::uint32_t captures_[2] = {0, 0};
    std::uint64_t revision_ = 0;
    std::map<std::uint32_t, Stone> stones_in_play_;
    std::map<std::uint32_t, Stone> captured_stones_;
    mutable std::optional<PositionAnalysis> analysis_;
    // The last analysis once a change emptied the memo: the next analysis is
    // written over it, reusing its storage. A copy of the board starts
    // without one.
    struct SpareAnalysis {
        PositionAnalysis groups;
        SpareAnalysis() = default;
        SpareAnalysis(const SpareAnalysis&) {}
        SpareAnalysis(SpareAnalysis&&) = default;
        SpareAnalysis& operator=(const SpareAnalysis&) {
            groups = PositionAnalysis{};
            return *this;
        }
        SpareAnalysis& operator=(SpareAnalysis&&) = default;
        ~SpareAnalysis() = default;
    };
    mutable SpareAnalysis spare_analysis_;
    mutable std::optional<std::vector<Stone>> stones_by_id_;
    // The last list the stones_by_id memo was filled with (in the memo, or
    // here once a change emptied it) and the stones that entered or left
    // play since, in order: the next list is that one edited, not rebuilt
    // from the map. A copy of the board starts without it.
    struct Spare {
        struct Edit {
            Stone stone;
            bool entered = false;
        };
        // Beyond this many edits the list is rebuilt from the map.
        static constexpr std::size_t MOST_EDITS = 64;
        std::vector<Stone> stones;
        std::vector<Edit> edits;
        // Applies the edits to a list ascending by id; answers false when one
        // does not fit it (a stone entering twice, or leaving unlisted).
        bool replay_edits(std::vector<Stone>& list) const;
        // Whether stones (or the memo) and edits together give the stones in
        // play.
        bool known = false;
        Spare() = default;
        Spare(const Spare&) {}
        Spare(Spare&&) = default;
        Spare& operator=(const Spare&) {
            stones.clear();
            edits.clear();
            known = false;
            return *this;
        }
        Spare& operator=(Spare&&) = default;
        ~Spare() = default;
    };
    // Notes a stone entering (or leaving) play for the next list.
    void note_in_play(const Stone& s, bool entered);
    // The memo is handed out (the list leaves) or taken back (a list that
    // lists the stones in play now).
    void lend_by_id(std::optional<std::vector<Stone>>& other);
    mutable Spare spare_by_id_;
    CutMemo cut_memo_;
    std::uint32_t turn_ = 0;
    Status status_ = Status::Playing;
    // While a move is under way, the revision before it: settle() brings a
    // move cut short back to it.
    std::optional<std::uint64_t> move_from_;
    // An allocation failure struck part way through reshaping the playable
    // area (see settle()).
    bool broken_ = false;
};

}  // namespace cellvane
