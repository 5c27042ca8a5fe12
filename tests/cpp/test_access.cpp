// TestAccess's reach into private members. An explicit instantiation may
// name any member, private or not: each Reach below is instantiated with a
// member of an engine class, and hands it out through a friend function
// found by its tag. Nothing here needs the engine's cooperation.
#include "test_access.hpp"

namespace cellvane {
namespace {

template <class Tag, typename Tag::type Member>
struct Reach {
    friend typename Tag::type member(Tag) { return Member; }
};

using StoneMap = std::map<std::uint32_t, Stone>;
using DeadZoneMap = std::map<std::uint32_t, ShapeId>;
using EyeMap = std::map<PointKey, Point>;

// One tag per member: the member's pointer type, and the friend that
// answers it.
#define CELLVANE_TEST_REACH(Tag, Type, Member) \
    struct Tag {                               \
        using type = Type;                     \
        friend type member(Tag);               \
    };                                         \
    template struct Reach<Tag, Member>

CELLVANE_TEST_REACH(Arena, std::vector<SegmentSlot> ClipGraph::*, &ClipGraph::arena_);
CELLVANE_TEST_REACH(FreeList, std::vector<SegId> ClipGraph::*, &ClipGraph::free_list_);
CELLVANE_TEST_REACH(LiveCount, std::uint64_t ClipGraph::*, &ClipGraph::live_count_);
CELLVANE_TEST_REACH(Shapes, ShapeTable ClipGraph::*, &ClipGraph::shapes_);
CELLVANE_TEST_REACH(Index, PointIndex ClipGraph::*, &ClipGraph::index_);
CELLVANE_TEST_REACH(NextShapeId, ShapeId ClipGraph::*, &ClipGraph::next_shape_id_);
CELLVANE_TEST_REACH(PointHash, std::size_t (*)(PointKey), &PointIndex::hash);

CELLVANE_TEST_REACH(Graph, std::unique_ptr<ClipGraph> AliveZone::*, &AliveZone::graph_);
CELLVANE_TEST_REACH(Grid, std::unique_ptr<CircleGrid> AliveZone::*, &AliveZone::grid_);
CELLVANE_TEST_REACH(DeadZones, DeadZoneMap AliveZone::*, &AliveZone::dead_zones_);
CELLVANE_TEST_REACH(ForcedEyes, EyeMap AliveZone::*, &AliveZone::forced_eyes_);
CELLVANE_TEST_REACH(Temporary, std::vector<ShapeId> AliveZone::*, &AliveZone::temporary_circles_);

CELLVANE_TEST_REACH(History, std::vector<HistoryEntry> Board::*, &Board::history_);
CELLVANE_TEST_REACH(Zone, Held<AliveZone> Board::*, &Board::zone_);
CELLVANE_TEST_REACH(Captures, std::uint32_t (Board::*)[2], &Board::captures_);
CELLVANE_TEST_REACH(InPlay, StoneMap Board::*, &Board::stones_in_play_);
CELLVANE_TEST_REACH(Captured, StoneMap Board::*, &Board::captured_stones_);
CELLVANE_TEST_REACH(Turn, std::uint32_t Board::*, &Board::turn_);
CELLVANE_TEST_REACH(StatusOf, Status Board::*, &Board::status_);

#undef CELLVANE_TEST_REACH

}  // namespace

TestAccess::GraphInternals TestAccess::internals(ClipGraph& g) {
    return GraphInternals{g.*member(Arena{}),  g.*member(FreeList{}),    g.*member(LiveCount{}), g.*member(Shapes{}),
                          g.*member(Index{}), g.*member(NextShapeId{})};
}

TestAccess::BoardInternals TestAccess::internals(Board& b) {
    return BoardInternals{b.*member(History{}),  *(b.*member(Zone{})), b.*member(Captures{}), b.*member(InPlay{}),
                          b.*member(Captured{}), b.*member(Turn{}), b.*member(StatusOf{})};
}

ClipGraph& TestAccess::graph(AliveZone& z) { return *(z.*member(Graph{})); }
CircleGrid& TestAccess::grid(AliveZone& z) { return *(z.*member(Grid{})); }
std::size_t TestAccess::point_hash(PointKey key) { return member(PointHash{})(key); }
std::map<std::uint32_t, ShapeId>& TestAccess::dead_zones(AliveZone& z) { return z.*member(DeadZones{}); }
std::map<PointKey, Point>& TestAccess::forced_eyes(AliveZone& z) { return z.*member(ForcedEyes{}); }
std::vector<ShapeId>& TestAccess::temporary_circles(AliveZone& z) { return z.*member(Temporary{}); }
AliveZone& TestAccess::zone(Board& b) { return *(b.*member(Zone{})); }

}  // namespace cellvane
