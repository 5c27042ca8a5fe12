// Cut questions: whether an enemy pair can be wedged between two stones, or
// between a stone and a board edge, with the memo of answered questions.
//
// Plain C++: no Python, no exceptions.
#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "analysis/analysis.hpp"
#include "zone/zone.hpp"

namespace cellvane {

enum class CutKind : std::uint8_t { Connected = 0, Cuttable = 1, TooFar = 2 };

// Host edge order: left, right, top, bottom.
enum class BoardEdge : std::uint8_t { Left = 0, Right = 1, Top = 2, Bottom = 3 };

inline constexpr double MAX_PAIR_CUT_DISTANCE = 3.4641016151377544;
inline constexpr double MAX_BOUNDARY_CUT_DISTANCE = 2.732050807568877;
// Reach of a cut question: an enemy stone further than this from the
// midpoint of the question's two points cannot reach the bisector stretch
// that matters, so the search ignores it and a change there keeps the
// stored answer.
inline constexpr double CUT_REACH = 4.02;

// Key of a pair question: the two ids, smaller first, so that both ways of
// asking share one entry.
struct PairCutKey {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    friend auto operator<=>(const PairCutKey&, const PairCutKey&) = default;
};

// Key of a stone-to-edge question.
struct BoundaryCutKey {
    std::uint32_t stone = 0;
    BoardEdge edge = BoardEdge::Left;
    friend auto operator<=>(const BoundaryCutKey&, const BoundaryCutKey&) = default;
};

// Pair keys order before boundary keys.
using CutKey = std::variant<PairCutKey, BoundaryCutKey>;

// A stored answer with the two points it was asked about: the two stone
// centres of a pair, or the stone centre and its foot point on the edge.
struct CutEntry {
    Point first;
    Point second;
    CutKind kind = CutKind::Connected;
};

// Answered cut questions, forgotten near every changed stone.
class CutMemo {
public:
    explicit CutMemo(double board_size = 0.0) : board_size_(board_size) {}

    // Drops every entry whose two points have their midpoint within CUT_REACH
    // of p.
    void forget_cuts_near(Point p);

    double board_size() const { return board_size_; }
    std::size_t size() const;

    // The stored answer for a question, or nullptr.
    const CutEntry* find(const CutKey& key) const;
    // Stores (or replaces) the answer for a question.
    void remember(const CutKey& key, const CutEntry& entry);
    const std::map<CutKey, CutEntry>& entries() const { return entries_; }

private:
    double board_size_ = 0.0;
    std::map<CutKey, CutEntry> entries_;
};

enum class CutFaultKind : std::uint8_t { NotInPlay, AgainstItself, TwoColours };

// A cut question that is not about a connection. `a` is the id named by
// NotInPlay and AgainstItself; TwoColours names `a` and `b`.
struct CutFault {
    CutFaultKind kind = CutFaultKind::NotInPlay;
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    std::string message() const;
};

using CutAnswer = std::variant<CutKind, CutFault>;

// The two questions. `in_play` and `by_id` are the board's stones in play
// (the map and the same stones as a list ascending by id). The zone carries a
// temporary circle for the length of one search and comes back unchanged.
CutAnswer pair_cuttable(CutMemo& memo, AliveZone& zone, const std::map<std::uint32_t, Stone>& in_play,
                        const std::vector<Stone>& by_id, std::uint32_t a, std::uint32_t b);
CutAnswer boundary_cuttable(CutMemo& memo, AliveZone& zone, const std::map<std::uint32_t, Stone>& in_play,
                            const std::vector<Stone>& by_id, std::uint32_t stone, BoardEdge edge);

}  // namespace cellvane
