// The liveness scene: the engine's way of answering the capture rule
// (capture_rule.hpp) for many territories of one board state. Internal to
// the analysis (and its tests).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "analysis/analysis.hpp"

namespace cellvane {

// The alive zone read once for many liveness questions about one board
// state. A question asks the zone's own cells of circles for those near the
// territory it asks about, and looks only at them and at the few loose
// circles; a circle's exposed pieces and exposed segment starts are read
// from the zone the first time a question comes near it, a board-edge
// line's pieces the first time a question comes near its line, the edge
// lines' starts once. Every check answers whether some piece, circle, start
// or forced eye decides it, which does not depend on the order they are
// looked at; the ones passed over are exactly those a bounding-box or
// distance test proves too far away to decide, and the circles whose shape
// keeps that their list holds no exposed segment. So the scene answers
// exactly what the same questions asked of the zone directly answer. The
// zone must not change while the scene is in use.
class LivenessScene {
public:
    explicit LivenessScene(const AliveZone& zone);
    ~LivenessScene();
    LivenessScene(const LivenessScene&) = delete;
    LivenessScene& operator=(const LivenessScene&) = delete;

    bool is_alive(const std::vector<Ring>& rings);
    // depth_at(v) <= 0.
    bool vertex_in_play(Point v) const;
    // clearance(zone, p, q) <= limit.
    bool clearance_within(Point p, Point q, double limit);
    // Whether the start of some exposed segment lies in the territory.
    bool exposed_start_inside(const std::vector<Ring>& rings);
    // Stones of `color` whose group is dead, group after group.
    std::vector<Stone> dead_stones(const PositionAnalysis& analysis, Color color);
    // Whether some group of `color` is dead: dead_stones(analysis, color) is
    // not empty. Stops at the first dead group.
    bool any_dead(const PositionAnalysis& analysis, Color color);

    struct Box {
        double lox, loy, hix, hiy;
    };
    // The scene's buffers; one set per thread is reused by successive scenes.
    struct Buffers;

private:
    // Takes the thread's buffers, or new ones when a scene already uses them.
    // The scene's own constructor delegates to this one, so that whatever it
    // throws (an allocation failing) gives the buffers back.
    struct Claim {};
    LivenessScene(const AliveZone& zone, Claim);
    struct Disc;
    template <class F>
    bool any_disc_near(Point lo, Point hi, F&& f);
    double near_depth(Point v) const;
    bool in_play(Point v, double& guess) const;
    struct Record;
    const Shape& shape_at(std::uint32_t slot) const;
    Record& record_of(const Disc& disc) const;
    void build_edge_starts();
    bool disc_within(const Disc& disc, Record& record, const Shape& shape, Point p, Point q, const Box& query,
                     double query_scale, double limit);
    bool starts_inside(std::uint32_t first, std::uint32_t end, const std::vector<Ring>& rings, bool boxed,
                       const Box& box, double slack) const;

    const AliveZone* zone_;
    OutlineSlots slots_;
    CircleCells cells_;
    double size_;
    Buffers* buffers_;
    bool borrowed_;
};

}  // namespace cellvane
