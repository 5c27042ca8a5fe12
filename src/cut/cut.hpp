// Cut questions: whether an enemy pair can be wedged between two stones, or
// between a stone and a board edge, with the memo of answered questions.
//
// Plain C++: no Python, no exceptions.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "core/core.hpp"

namespace cellvane {

class AliveZone;

enum class CutKind : std::uint8_t { Connected = 0, Cuttable = 1, TooFar = 2 };

// Host edge order: left, right, top, bottom.
enum class BoardEdge : std::uint8_t { Left = 0, Right = 1, Top = 2, Bottom = 3 };

// One stored answer; its keys and layout are the cut folder's own (memo.hpp).
struct CutMemoSlot;

// Answered cut questions, forgotten near every changed stone. The engine
// holds one by value and only makes, copies and thins it; the questions
// below read and fill it.
class CutMemo {
public:
    CutMemo();
    CutMemo(const CutMemo& other);
    CutMemo(CutMemo&& other) noexcept;
    CutMemo& operator=(const CutMemo& other);
    CutMemo& operator=(CutMemo&& other) noexcept;
    ~CutMemo();

    // Drops every answer whose two points have their midpoint within the
    // reach of a cut question of p.
    void forget_cuts_near(Point p);

    std::size_t size() const;

private:
    friend struct CutMemoTable;

    // Ascending by key.
    std::vector<CutMemoSlot> slots_;
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
