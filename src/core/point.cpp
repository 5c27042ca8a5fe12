// The exact identity of a point.
#include <bit>

#include "core/core.hpp"

namespace cellvane {

namespace {

constexpr std::uint64_t NEGATIVE_ZERO_BITS = 0x8000000000000000ULL;

}  // namespace

std::uint64_t folded_bits(double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    return bits == NEGATIVE_ZERO_BITS ? 0 : bits;
}

PointKey point_key(Point p) { return PointKey{folded_bits(p.x), folded_bits(p.y)}; }

}  // namespace cellvane
