// Body of ClipGraph::for_each_exposed_piece, included at the end of zone.hpp.
#pragma once

#include <type_traits>

namespace cellvane {

template <class F>
void ClipGraph::for_each_exposed_piece(ShapeId shape_id, F&& f) const {
    // f may answer bool (false stops the walk) or nothing (the walk goes on).
    auto emit = [&f](const ExposedPiece& piece) -> bool {
        if constexpr (std::is_void_v<std::invoke_result_t<F&, const ExposedPiece&>>) {
            f(piece);
            return true;
        } else {
            return static_cast<bool>(f(piece));
        }
    };

    const Shape* sh = shape(shape_id);
    if (sh == nullptr) return;
    if (sh->count < 2) {
        // A circle that crosses nothing bounds the alive zone as a whole.
        if (const auto* c = std::get_if<Circle>(&sh->kind)) emit(ExposedPiece{WholeCircle{c->centre, c->radius}});
        return;
    }
    if (!sh->head) return;
    const SegId head = *sh->head;
    SegId cur = head;
    for (std::uint64_t step = 0; step < sh->count; ++step) {
        const Segment* seg = slot(cur);
        if (seg == nullptr) return;
        // An edge line is open: the piece that links its last point back to
        // the head closes the list only and is never part of the boundary.
        if (sh->is_edge && seg->next == head) return;
        if (!seg->off_board && seg->covered_by.empty()) {
            if (const auto g = segment_geometry(cur)) {
                const bool go_on = std::visit([&emit](const auto& piece) { return emit(ExposedPiece{piece}); }, *g);
                if (!go_on) return;
            }
        }
        cur = seg->next;
    }
}

}  // namespace cellvane
