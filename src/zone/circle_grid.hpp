// The circles of the alive zone filed by cell: internal to the zone.
#pragma once

#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "zone/zone.hpp"

namespace cellvane {

// The circles of the alive zone filed by the square cell of side CELL that
// holds their centre, so that the circles near a point are found without
// looking at the others. Only dead-zone sized circles (radius 2.0) with a
// centre within LIMIT of the origin are filed by cell; every other shape (the
// edge lines, and circles no carve makes) is kept on a short list of loose
// shapes that every search visits.
class CircleGrid {
public:
    static constexpr double CELL = 4.0;
    static constexpr double LIMIT = 1e9;

    // Whether searches round p can use the cells (p finite and within LIMIT).
    static bool near_origin(Point p) { return std::fabs(p.x) <= LIMIT && std::fabs(p.y) <= LIMIT; }
    static bool filed_by_cell(const ShapeKind& kind);
    static std::int64_t cell_of(double v) { return static_cast<std::int64_t>(std::floor(v / CELL)); }

    // A filed circle: its id and its centre (its radius is STONE_DIAMETER),
    // so that a search can pass over a circle out of reach without looking
    // its shape up.
    struct Filed {
        ShapeId id = 0;
        Point centre;
    };

    void add(ShapeId id, const ShapeKind& kind);
    void remove(ShapeId id, const ShapeKind& kind);

    // The ids of the circles filed in the cells [x0, x1] x [y0, y1] whose
    // centre keep(centre) accepts, appended to out.
    template <class Keep>
    void collect(std::int64_t x0, std::int64_t x1, std::int64_t y0, std::int64_t y1, std::vector<ShapeId>& out,
                 Keep&& keep) const {
        for (std::int64_t x = x0; x <= x1; ++x) {
            for (std::int64_t y = y0; y <= y1; ++y) {
                if (const auto* filed = cell(x, y)) {
                    for (const Filed& f : *filed) {
                        if (keep(f.centre)) out.push_back(f.id);
                    }
                }
            }
        }
    }
    // The circles filed in one cell, in the order they were filed, or nullptr.
    const std::vector<Filed>* cell(std::int64_t x, std::int64_t y) const;
    // Calls f(filed) for every filed circle, in no particular order.
    template <class F>
    void for_each_filed(F&& f) const {
        for (const auto& entry : cells_) {
            for (const Filed& filed : entry.second) f(filed);
        }
    }
    // Loose shapes, ascending.
    const std::vector<ShapeId>& loose() const { return loose_; }
    std::size_t filed() const { return filed_; }
    // Whether the square of cells [x0, x1] x [y0, y1] holds every cell that
    // was ever filled (a bound that only grows).
    bool covers_all(std::int64_t x0, std::int64_t x1, std::int64_t y0, std::int64_t y1) const {
        return filed_ == 0 || (x0 <= min_x_ && max_x_ <= x1 && y0 <= min_y_ && max_y_ <= y1);
    }

private:
    static std::uint64_t key(std::int64_t x, std::int64_t y) {
        return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(x)) << 32) |
               static_cast<std::uint32_t>(y);
    }
    std::unordered_map<std::uint64_t, std::vector<Filed>> cells_;
    std::vector<ShapeId> loose_;
    std::size_t filed_ = 0;
    std::int64_t min_x_ = 0, max_x_ = 0, min_y_ = 0, max_y_ = 0;
};

}  // namespace cellvane
