// What the engine's fixed SVG text and the picture for people draw alike:
// the groups' numbers and colours, their territory paths, the stones and
// their labels.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/core.hpp"
#include "analysis/analysis.hpp"
#include "engine/engine.hpp"

namespace cellvane::render_detail {

struct StonePaint {
    std::string_view fill;
    std::string_view stroke;  // also the label colour
};

// One colour's groups with their numbers and paints.
struct Colour {
    const std::vector<Group>* groups;
    std::vector<std::size_t> numbers;
    const std::string_view* palette;
    StonePaint stone;
    Color color;
};

// Black's groups then White's, each numbered among its colour's drawable
// groups.
struct Colours {
    Colour of[2];
    explicit Colours(const PositionAnalysis& analysis);
};

// The number kept by a group that is not drawn: one without stones or
// without a ring with a point.
inline constexpr std::size_t NOT_DRAWN = static_cast<std::size_t>(-1);

// Calls f(colour, group, number) for every drawn group, black first, each
// colour's in list order.
template <class F>
void for_each_drawn_group(const Colours& colours, F&& f) {
    StopPoll stop(64);
    for (const Colour& c : colours.of) {
        for (std::size_t i = 0; i < c.groups->size(); ++i) {
            if (stop()) return;
            if (c.numbers[i] == NOT_DRAWN) continue;
            f(c, (*c.groups)[i], c.numbers[i]);
        }
    }
}

// The group's rings as one even-odd path filled with its colour.
void append_group_path(std::string& out, const Group& group, std::string_view fill);
// The stone's disc, and its group's label on it.
void append_stone(std::string& out, const Stone& stone, const StonePaint& paint);
void append_stone_label(std::string& out, const Stone& stone, const Colour& c, std::size_t number);
// An element opened up to its position: `open`, x, `between`, y, both in
// plain form; the caller closes the y attribute's quote.
void append_opening_at(std::string& out, std::string_view open, Point p, std::string_view between);

}  // namespace cellvane::render_detail
