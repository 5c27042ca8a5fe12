#include "analysis/analysis.hpp"

#include <atomic>
#include <cmath>
#include <limits>

#include "analysis/groups.hpp"
#include "analysis/partition.hpp"

namespace cellvane {

namespace {

std::atomic<std::uint64_t> runs{0};

constexpr std::size_t UNLABELLED = std::numeric_limits<std::size_t>::max();

void file_group(PositionAnalysis& out, Group&& group) {
    if (group.color == Color::Black) {
        out.black.push_back(std::move(group));
    } else {
        out.white.push_back(std::move(group));
    }
}

// Every stone a group of its own, with no territory.
PositionAnalysis single_stone_groups(const std::vector<Stone>& stones) {
    PositionAnalysis out;
    for (const Stone& s : stones) file_group(out, Group{{s}, {}, s.color});
    return out;
}

}  // namespace

std::uint64_t analyse_runs() { return runs.load(std::memory_order_relaxed); }

PositionAnalysis analyse(double board_size, const std::vector<Stone>& stones) {
    runs.fetch_add(1, std::memory_order_relaxed);
    const std::size_t n = stones.size();
    if (n == 0) return {};

    // Sizes whose squared scale is not a normal number (zero, subnormal,
    // infinite, NaN) would make the frame and the circumcentres meaningless.
    const double scale = 16.0 * board_size;
    if (!std::isnormal(scale * scale)) return single_stone_groups(stones);

    std::vector<Point> centres;
    centres.reserve(n);
    for (const Stone& s : stones) centres.push_back(s.position);
    const auto partition = build_partition(board_size, centres);
    if (!partition) return single_stone_groups(stones);

    // Depth-first labelling: same-coloured neighbours whose shared cell edge
    // reaches into the board join the group.
    std::vector<std::size_t> labels(n, UNLABELLED);
    std::vector<std::vector<std::size_t>> groups;
    std::vector<std::size_t> stack;
    for (std::size_t o = 0; o < n; ++o) {
        if (labels[o] != UNLABELLED) continue;
        const std::size_t number = groups.size();
        const Color color = stones[o].color;
        std::vector<std::size_t> members;
        stack.clear();
        stack.push_back(o);
        while (!stack.empty()) {
            const std::size_t v = stack.back();
            stack.pop_back();
            if (labels[v] != UNLABELLED) continue;
            labels[v] = number;
            members.push_back(v);
            for (const CellEdge* e = partition->cell_begin(v); e != partition->cell_end(v); ++e) {
                const std::size_t w = e->neighbour;
                if (w < n && stones[w].color == color && cells_touch(*partition, *e, board_size)) {
                    stack.push_back(w);
                }
            }
        }
        groups.push_back(std::move(members));
    }

    PositionAnalysis out;
    for (const auto& members : groups) {
        file_group(out, build_group(*partition, board_size, stones, labels, members, stones[members.front()].color));
    }
    return out;
}

}  // namespace cellvane
