// Bodies of ClipGraph's walks, included at the end of clip_graph.hpp.
#pragma once

#include <type_traits>

namespace cellvane {

namespace walk_detail {

// Calls f with args; a callback that answers nothing always goes on.
template <class F, class... Args>
bool go_on(F& f, Args&&... args) {
    if constexpr (std::is_void_v<std::invoke_result_t<F&, Args...>>) {
        f(std::forward<Args>(args)...);
        return true;
    } else {
        return static_cast<bool>(f(std::forward<Args>(args)...));
    }
}

}  // namespace walk_detail

template <class F>
void ClipGraph::for_each_segment(const Shape& shape, F&& f) const {
    // A callback that takes only the id and the segment is spared the count.
    constexpr bool counts = std::is_invocable_v<F&, SegId, const Segment&, std::int64_t>;
    if (!shape.head) return;
    const SegId head = *shape.head;
    auto cover = static_cast<std::int64_t>(shape.head_cover);
    // A walk leaves the arena as it is, so its extent is read once.
    const SegmentSlot* const slots = arena_.data();
    const std::size_t extent = arena_.size();
    SegId cur = head;
    for (std::uint64_t step = 0; step < shape.count; ++step) {
        if (cur >= extent || !slots[cur]) return;
        const Segment* seg = &*slots[cur];
        if constexpr (counts) {
            if (step > 0) cover += seg->causes.cover_step();
            if (!walk_detail::go_on(f, cur, *seg, cover)) return;
        } else {
            if (!walk_detail::go_on(f, cur, *seg)) return;
        }
        cur = seg->next;
        if (cur == head) return;
    }
}

template <class F>
void ClipGraph::for_each_exposed_piece(ShapeId shape_id, F&& f) const {
    if (const Shape* sh = shape(shape_id)) for_each_exposed_piece(*sh, std::forward<F>(f));
}

template <class F>
void ClipGraph::for_each_exposed_piece(const Shape& shape, F&& f) const {
    const Shape* sh = &shape;
    if (sh->count < 2) {
        // A circle that crosses nothing bounds the alive zone as a whole.
        if (const auto* c = std::get_if<Circle>(&sh->kind)) {
            walk_detail::go_on(f, ExposedPiece{WholeCircle{c->centre, c->radius}});
        }
        return;
    }
    if (!sh->head) return;
    const SegId head = *sh->head;
    for_each_segment(*sh, [&](SegId, const Segment& seg, std::int64_t cover) {
        // An edge line is open: the piece that links its last point back to
        // the head closes the list only and is never part of the boundary.
        if (sh->is_edge && seg.next == head) return false;
        if (seg.off_board || cover != 0) return true;
        const Segment* next = slot(seg.next);
        if (next == nullptr) return true;
        return std::visit([&f](const auto& piece) { return walk_detail::go_on(f, ExposedPiece{piece}); },
                          geometry_between(*sh, seg, *next));
    });
}

}  // namespace cellvane
