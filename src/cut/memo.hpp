// The cut memo's inside, for the cut folder and its tests: the keys of the
// questions, the stored answers, and the reading and filling of the memo.
#pragma once

#include <compare>
#include <cstdint>
#include <variant>
#include <vector>

#include "cut/cut.hpp"

namespace cellvane {

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

struct CutMemoSlot {
    CutKey key;
    CutEntry entry;
};

// Reading and filling a memo.
struct CutMemoTable {
    // The stored answer for a question, or nullptr.
    static const CutEntry* find(const CutMemo& memo, const CutKey& key);
    // Stores (or replaces) the answer for a question.
    static void remember(CutMemo& memo, const CutKey& key, const CutEntry& entry);
    // Every stored answer, ascending by key.
    static const std::vector<CutMemoSlot>& entries(const CutMemo& memo) { return memo.slots_; }
};

}  // namespace cellvane
