// Group numbering helpers shared by the SVG writer and its tests.
#pragma once

#include <cstddef>
#include <string>

#include "core/core.hpp"

namespace cellvane::render_detail {

// The label of the drawable group numbered `number` among its colour's
// groups: "1", "2", ... for black; "A" ... "Z", "AA", "BA", ... for white.
void append_group_label(std::string& out, Color color, std::size_t number);
std::string group_label(Color color, std::size_t number);

}  // namespace cellvane::render_detail
