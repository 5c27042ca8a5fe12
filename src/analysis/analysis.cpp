#include "analysis/analysis.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "analysis/groups.hpp"
#include "analysis/liveness.hpp"
#include "analysis/partition.hpp"

namespace cellvane {

namespace {

// The label of a stone not yet in a group names its colour, so that the
// labelling tells a same-coloured stone still free by its label alone. Group
// numbers lie below them all.
constexpr std::size_t UNLABELLED = std::numeric_limits<std::size_t>::max() - 255;
inline std::size_t unlabelled(Color color) { return UNLABELLED + static_cast<std::uint8_t>(color); }
// The label of a frame site: neither a group number nor a free label.
constexpr std::size_t FRAME = std::numeric_limits<std::size_t>::max();

// cells_touch out of line, for the few edges of the labelling whose ends do
// not both lie in the board square (inlined, this and the rare paths of the
// trace ran 2% more instructions over three random games, callgrind).
[[gnu::noinline]] bool touches_reaching_out(const VoronoiPartition& partition, const CellEdge& edge,
                                            double board_size) {
    return cells_touch(partition, edge, board_size);
}

// The next group of `list`, the `used`-th: one left from a previous result,
// its stones and rings still in it for their storage, or past them a new
// one.
Group& next_group(std::vector<Group>& list, std::size_t& used) {
    if (used == list.size()) {
        ++used;
        return list.emplace_back();
    }
    return list[used++];
}

// Every stone a group of its own, with no territory.
void single_stone_groups(const std::vector<Stone>& stones, PositionAnalysis& out) {
    std::size_t black = 0;
    std::size_t white = 0;
    for (const Stone& s : stones) {
        Group& group = s.color == Color::Black ? next_group(out.black, black) : next_group(out.white, white);
        group.stones.assign(1, s);
        group.rings.clear();
        group.color = s.color;
    }
    out.black.resize(black);
    out.white.resize(white);
}

}  // namespace

namespace {

// Buffers of the analysis, kept between calls on this thread: an analysis of
// a position of a size met before allocates only the groups it answers.
struct AnalysisWorkspace {
    VoronoiPartition partition;
    PartitionWorkspace partition_ws;
    std::vector<std::size_t> labels;
    std::vector<std::size_t> members;       // every group's members, group after group
    std::vector<std::size_t> group_starts;  // where each group's members start
    std::vector<std::size_t> stack;
    std::vector<const CellEdge*> boundary;   // every group's listed cell edges, group after group
    std::vector<std::size_t> edge_starts;    // where each group's listed edges start
    std::vector<std::size_t> ascending;  // every group's members by ascending index, group after group
    std::vector<std::size_t> cursor;
    GroupWorkspace group_ws;
};

// Out of line, so that a caller works out the thread's copy once and then
// holds a plain reference: in a shared library each inlined use of a
// thread_local would ask the runtime for its address again. (Inlined, it ran
// 0.9% more instructions over three random games on an 18 board, the engine
// linked into a shared library, callgrind.)
[[gnu::noinline]] AnalysisWorkspace& workspace() {
    thread_local AnalysisWorkspace ws;
    return ws;
}

}  // namespace

PositionAnalysis analyse(double board_size, const std::vector<Stone>& stones) {
    PositionAnalysis out;
    analyse_into(board_size, stones, out);
    return out;
}

void analyse_into(double board_size, const std::vector<Stone>& stones, PositionAnalysis& out) {
    const std::size_t n = stones.size();
    if (n == 0) {
        out.black.clear();
        out.white.clear();
        return;
    }

    // Sizes whose squared scale is not a normal number (zero, subnormal,
    // infinite, NaN) would make the frame and the circumcentres meaningless.
    const double scale = 16.0 * board_size;
    if (!std::isnormal(scale * scale)) return single_stone_groups(stones, out);

    // One pass over the stones: their centres, their first labels, and
    // whether their ids strictly ascend. The four frame sites that follow
    // the stones carry a label no group number or free label equals, so
    // that the labelling reads any cell edge's neighbour label alike.
    AnalysisWorkspace& ws = workspace();
    // The centres go straight to the partition's sites, which the frame
    // points then follow.
    std::vector<Point>& sites = ws.partition.sites;
    sites.reserve(n + 4);
    sites.resize(n);
    std::vector<std::size_t>& labels = ws.labels;
    labels.resize(n + 4);
    bool ids_ascend = true;
    {
        Point* const centre = sites.data();
        std::size_t* const label = labels.data();
        const Stone* const stone = stones.data();
        centre[0] = stone[0].position;
        label[0] = unlabelled(stone[0].color);
        for (std::size_t o = 1; o < n; ++o) {
            centre[o] = stone[o].position;
            label[o] = unlabelled(stone[o].color);
            ids_ascend &= stone[o - 1].id < stone[o].id;
        }
        for (std::size_t f = n; f < n + 4; ++f) label[f] = FRAME;
    }
    if (!build_partition_in_place(board_size, ws.partition, ws.partition_ws)) {
        if (stop_requested()) return;
        return single_stone_groups(stones, out);
    }
    const VoronoiPartition& partition = ws.partition;

    // Depth-first labelling: same-coloured neighbours whose shared cell edge
    // reaches into the board join the group. On the way each group lists the
    // cell edges that may lie on its boundary: all but those to a stone
    // already in it or pushed to join it.
    std::vector<std::size_t>& starts = ws.group_starts;
    starts.clear();
    std::vector<std::size_t>& edge_starts = ws.edge_starts;
    edge_starts.clear();
    // A group's search pushes its first stone and then at most the cell
    // edges of each stone it labels, so the stack never holds more than
    // every cell edge and one more; the members are the n stones, the
    // listed edges at most every cell edge.
    const std::size_t cell_edges = partition.edges.size();
    if (ws.stack.size() < cell_edges + 1) ws.stack.resize(cell_edges + 1);
    if (ws.members.size() < n) ws.members.resize(n);
    if (ws.boundary.size() < cell_edges) ws.boundary.resize(cell_edges);
    std::size_t* const stack = ws.stack.data();
    std::size_t* const member = ws.members.data();
    const CellEdge** const boundary = ws.boundary.data();
    std::size_t* const label = labels.data();
    const Stone* const stone = stones.data();
    const Point* const cc = partition.circumcentres.data();
    const std::uint64_t limit = square_limit(board_size);
    std::size_t labelled = 0;
    std::size_t listed = 0;
    std::size_t black_groups = 0;
    StopPoll stop(16);
    for (std::size_t o = 0; o < n; ++o) {
        if (label[o] < UNLABELLED) continue;
        if (stop()) return;
        const std::size_t number = starts.size();
        const Color color = stone[o].color;
        const std::size_t free_label = label[o];
        if (color == Color::Black) ++black_groups;
        starts.push_back(labelled);
        edge_starts.push_back(listed);
        std::size_t top = 0;
        stack[top++] = o;
        while (top != 0) {
            const std::size_t v = stack[--top];
            if (label[v] < UNLABELLED) continue;
            label[v] = number;
            member[labelled++] = v;
            // An edge to a free stone of the colour that reaches into the
            // board pushes that stone (a stone already labelled would be
            // passed over when taken from the stack, so it is not pushed).
            // Every edge but those and the ones to a stone of this group is
            // listed: the list is written always and kept by advancing its
            // count, so that only the test for a free stone branches.
            const CellEdge* const cell_end = partition.cell_end(v);
            for (const CellEdge* e = partition.cell_begin(v); e != cell_end; ++e) {
                const std::size_t w = e->neighbour;
                const std::size_t lw = label[w];
                bool listed_here = lw != number;
                if (lw == free_label) {
                    const TouchInside inside = touch_inside(cc[e->from], cc[e->to], limit);
                    const bool push = inside.decided ? inside.touches : touches_reaching_out(partition, *e, board_size);
                    stack[top] = w;
                    top += push;
                    listed_here = !push;
                }
                boundary[listed] = e;
                listed += listed_here;
            }
        }
    }
    const std::vector<std::size_t>& members = ws.members;
    const std::size_t group_count = starts.size();
    starts.push_back(labelled);
    edge_starts.push_back(listed);

    // With ids strictly ascending, a group's stones by id are its members by
    // index: one pass over the labels lists them so, group after group.
    const std::size_t* ascending = nullptr;
    if (ids_ascend) {
        ws.cursor.assign(starts.begin(), starts.end() - 1);
        ws.ascending.resize(n);
        for (std::size_t o = 0; o < n; ++o) ws.ascending[ws.cursor[labels[o]]++] = o;
        ascending = ws.ascending.data();
    }

    out.black.reserve(black_groups);
    out.white.reserve(group_count - black_groups);
    std::size_t black_used = 0;
    std::size_t white_used = 0;
    for (std::size_t g = 0; g < group_count; ++g) {
        if (stop()) return;
        const std::size_t* first = members.data() + starts[g];
        const std::size_t count = starts[g + 1] - starts[g];
        GroupHints hints;
        hints.ascending = ascending == nullptr ? nullptr : ascending + starts[g];
        hints.edges = ws.boundary.data() + edge_starts[g];
        hints.edge_count = edge_starts[g + 1] - edge_starts[g];
        const Color color = stones[*first].color;
        Group& group = color == Color::Black ? next_group(out.black, black_used) : next_group(out.white, white_used);
        build_group_into(partition, board_size, stones, labels, first, count, color, ws.group_ws, group, hints);
    }
    out.black.resize(black_used);
    out.white.resize(white_used);
}

MoveLiveness judge_move(const PositionAnalysis& analysis, const AliveZone& zone, Color mover) {
    MoveLiveness out;
    LivenessScene scene(zone);
    out.captured = scene.dead_stones(analysis, opposite(mover));
    if (out.captured.empty()) out.self_capture = scene.any_dead(analysis, mover);
    return out;
}

}  // namespace cellvane
